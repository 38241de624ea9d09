// zymradio-play URL: plays a stream through Amp::RadioPlayer and prints every callback,
// one line each. Exits at the end of the stream, on an error, or on Ctrl-C.
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "engine/MetaDataListener.h"
#include "engine/PlayStateListener.h"
#include "engine/RadioPlayer.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &c, 1);
}

// The text between <tag> and </tag>, "" when absent.
std::string Element(const std::string& xml, const std::string& tag) {
    const size_t b = xml.find("<" + tag + ">");
    if (b == std::string::npos) return "";
    const size_t start = b + tag.size() + 2;
    const size_t e = xml.find("</" + tag + ">", start);
    return e == std::string::npos ? "" : xml.substr(start, e - start);
}

class Printer : public Amp::PlayStateListener, public Amp::MetaDataListener {
public:
    void PlayStateChanged(const std::string&, int from, int to) override {
        std::printf("state %d -> %d\n", from, to);
        std::fflush(stdout);
        if (to == 1 && from != 1) QCoreApplication::exit(exitCode_);
    }
    void PlayPosition(const std::string&, float position, float length, float buffered) override {
        std::printf("progress %.2f of %.2f s, %.2f s buffered\n", position, length, buffered);
        std::fflush(stdout);
    }
    void PlayingError(const std::string&, int domain, int code) override {
        std::printf("error %d, %d\n", domain, code);
        std::fflush(stdout);
        exitCode_ = 1;
        // An error before the output started buffering is followed by no state change.
        QCoreApplication::exit(1);
    }
    void ReceivedMetaData(const std::string&, const uint8_t* bytes, uint32_t length, double trackStart) override {
        const std::string xml(reinterpret_cast<const char*>(bytes), length);
        const std::string song = Element(xml, "name"), artist = Element(xml, "artist");
        std::printf("metadata at %.3f: song \"%s\" artist \"%s\"\n", trackStart, song.c_str(), artist.c_str());
        std::fflush(stdout);
    }

private:
    int exitCode_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zymradio-play URL\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return 1;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    QSocketNotifier interrupt(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupt, &QSocketNotifier::activated, [] { QCoreApplication::exit(130); });

    Printer printer;
    int code = 0;
    {
        Amp::RadioPlayer player("");
        player.AddPlayStateListener(&printer);
        player.AddMetaDataListener(&printer);
        player.Play(argv[1]);
        if (!player.IsPlaying()) {
            std::printf("error: the stream could not be set up\n");
            return 1;
        }
        code = app.exec();
        player.Stop();
        // Deliver the stopped stream's end event before the player goes.
        QCoreApplication::processEvents();
    }
    return code;
}
