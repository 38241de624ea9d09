// `zymradio:` and `qint:` URLs as a web page or a bus client hands them in, and the launch
// arguments they arrive in. Whatever the text, at most one command runs; a station is played
// by number or name only when the directory has it; only a `qint` URL reaches the player,
// and whole.

#include "app/support/ZYMScriptCommands.h"

#include "app/foundation/NSLog.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

class Target : public ZYMScriptingTarget {
public:
    int commands = 0;
    bool authenticated = false;
    QString url;
    const QList<ZYMScriptStation> known{{"123", "Jazz"}, {"9", "Smooth Jazz"}, {"", "No Number"}};

    void playStation(const ZYMScriptStation&) override { ++commands; }
    void play() override { ++commands; }
    void playStationWithID(const QString& id) override {
        ++commands;
        if (!stationWithID(id)) abort();
    }
    void playStationWithName(const QString& name) override {
        ++commands;
        if (!stationWithName(name)) abort();
    }
    void playStationWithURL(const QString& u) override {
        ++commands;
        url = u;
    }
    void stopPlaying() override { ++commands; }
    void togglePlaying() override { ++commands; }
    void signOff() override { ++commands; }
    void signOnWithUserName(const QString&) override { ++commands; }
    std::optional<ZYMScriptStation> stationWithID(const QString& id) const override {
        for (const auto& s : known)
            if (!s.identifier.isEmpty() && s.identifier == id) return s;
        return std::nullopt;
    }
    std::optional<ZYMScriptStation> stationWithName(const QString& name) const override {
        for (const auto& s : known)
            if (s.name.compare(name, Qt::CaseInsensitive) == 0) return s;
        return std::nullopt;
    }
    void forceSignOnAndPlayStationID(const std::optional<QString>&, const std::optional<QString>&) override {
        ++commands;
        if (authenticated) abort();
    }
    std::optional<ZYMScriptStation> playingStation() const override { return std::nullopt; }
    QList<ZYMScriptStation> radioStations() const override { return known; }
    QList<ZYMScriptStation> radioGenres() const override { return {}; }
    int soundVolume() const override { return 50; }
    void setSoundVolume(int) override { ++commands; }
    qint64 currentTrackPlayingTime() const override { return 0; }
    qint64 currentTrackTotalTime() const override { return 0; }
    std::optional<ZYMScriptTrack> currentTrack() const override { return std::nullopt; }
    bool isPlaying() const override { return false; }
    bool isAuthenticated() const override { return authenticated; }
    std::optional<QString> authenticatedUsername() const override { return std::nullopt; }
    QList<std::optional<ZYMScriptStation>> presetsArray() const override { return {}; }
    int maxNumberOfPresets() const override { return 0; }
    std::optional<QString> setPresetsArray(const QList<std::optional<ZYMScriptStation>>&) override {
        ++commands;
        return std::nullopt;
    }
    QString albumArtUrl() const override { return {}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The log lines of refused input would only slow the run down.
    static const bool quiet = (SetNSLogSink([](const QString&) {}), true);
    (void)quiet;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const bool signedOn : {false, true}) {
        Target target;
        target.authenticated = signedOn;
        ZYMScriptCommands::getURL(target, text);
        if (target.commands > 1) abort();
        if (!target.url.isNull() &&
            (target.url != text || !text.trimmed().startsWith(QLatin1String("qint:"), Qt::CaseInsensitive)))
            abort();
    }

    // The same bytes as a command line, one argument a line.
    const QStringList arguments = text.split(QLatin1Char('\n'));
    const std::optional<QString> launched = ZYMScriptCommands::launchURL(arguments);
    if (launched && (launched->startsWith(QLatin1Char('-')) || !arguments.mid(1).contains(*launched))) abort();
    return 0;
}
