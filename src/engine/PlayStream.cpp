#include "engine/PlayStream.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <exception>

#include "engine/AudioProgressGuard.h"
#include "engine/DecoderWrapper.h"
#include "engine/DeviceAudioOut.h"
#include "engine/HttpStreamReader.h"
#include "runtime/LThreadEvent.h"
#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"
#include "engine/QintPacket.h"
#include "engine/player_exception.h"

namespace Amp {

namespace {

class PlayStreamEndEvent : public LThreadEvent {
public:
    PlayStreamEndEvent(PlayStreamHost* player, PlayStream* stream) : player_(player), stream_(stream) {}
    void Fire() override { player_->PlayStreamEnded(stream_); }

private:
    PlayStreamHost* player_;
    PlayStream* stream_;
};

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

}  // namespace

std::string trim_whitespace(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string GetHeaderLineKey(const std::string& line) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return "";
    return Lowered(trim_whitespace(line.substr(0, colon)));
}

std::string GetHeaderLineValue(const std::string& line) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return "";
    return trim_whitespace(line.substr(colon + 1));
}

PlayStreamInterface* CreatePlayStream(PlayStreamHost& player, const std::string& url, const std::string& userAgent) {
    return new PlayStream(&player, url, userAgent);
}

PlayStream::PlayStream(PlayStreamHost* player, const std::string& url, const std::string& userAgent)
    : player_(player), queue_(LThreadEventQueue::Create()), url_(url) {
    try {
        std::string working = url;
        if (working.compare(0, 4, "qint") == 0) working.replace(0, 4, "http");
        reader_ = std::make_unique<HTTPReader>(working.c_str(), userAgent.c_str());
        reader_->SetStopFlag(&stopRequested_);
        // While the output holds plenty the stream thread rests before it waits for the
        // network: the bytes gather in the socket and are read in fewer, larger blocks.
        reader_->SetEmptyReadHook([this] { output_->RestWhileWellFed(); });
        output_ = std::make_unique<DeviceAudioOut>(this);
        output_->SetVolume(player->GetVolume());
    } catch (...) {
        queue_->Release();
        throw;
    }
}

PlayStream::~PlayStream() {
    Stop();
    queue_->Release();
}

void PlayStream::Stop() {
    stopRequested_.store(true);
    if (reader_) reader_->WakeUp();
    if (output_) output_->Stop();
    Join();
    reader_.reset();
    demuxer_.reset();
    decoder_.reset();
    guard_.reset();
    output_.reset();
}

void PlayStream::SetBufferingLevels(float minSeconds, float maxSeconds) {
    if (output_) output_->SetBufferingLevels(minSeconds, maxSeconds);
}

void PlayStream::SetVolume(float volume) {
    if (output_) output_->SetVolume(volume);
}

void PlayStream::SetStreamConnectionStartTimeout(float seconds) {
    if (reader_) reader_->SetConnectionStartTimeout(seconds);
}

void PlayStream::SetStreamConnectionStaleTimeout(float seconds) {
    if (reader_) reader_->SetConnectionStaleTimeout(seconds);
}

void PlayStream::PlayStateChanged(int from, int to) { player_->PostPlayStateChange(url_, from, to); }

void PlayStream::TrackProgress(float position, float trackLength, float bufferedTime) {
    player_->PostTrackProgress(url_, position, trackLength, bufferedTime);
}

void PlayStream::MetaDataReceived(const char* bytes, uint32_t length, double trackStart) {
    player_->PostMetaData(url_, bytes, length, trackStart);
}

bool PlayStream::IsOutputStopped() { return output_->IsStopped(); }

float PlayStream::GetSecondsBuffered() { return output_->GetSecondsBuffered(); }

void PlayStream::Run() {
    try {
        ConnectAndPlay();
    } catch (const stream_stopped&) {
        output_->Stop();
    } catch (const player_exception& e) {
        // An error caused by a requested stop is no error of the stream's.
        if (!stopRequested_.load()) {
            LogMessage(kLogError, "player exception. domain=%d, code=%d\n", e.domain, e.code);
            player_->PostPlayerError(url_, e.domain, e.code);
        }
        output_->Stop();
    } catch (...) {
        if (!stopRequested_.load()) {
            LogMessage(kLogError, "unknown exception\n");
            player_->PostPlayerError(url_, kPlayerErrorEngine, int(EngineError::kOtherFailure));
        }
        output_->Stop();
    }
    queue_->Post(new PlayStreamEndEvent(player_, this));
}

void PlayStream::ConnectAndPlay() {
    PlayStateChanged(1, 2);
    reader_->Connect();
    std::string contentType = reader_->GetResponseHeader("Content-Type");
    if (contentType.empty()) contentType = ReadContentType();
    contentType = Lowered(contentType);
    if (contentType == "audio/aac" || contentType == "audio/aacp")
        SetupDecoding(kCodecAACPlus);
    else if (contentType == "audio/mpeg")
        SetupDecoding(kCodecMP3);
    else
        SetupQintDecoding();
    output_->Run();
}

void PlayStream::MakeGuard() {
    guard_ = std::make_unique<AudioProgressGuard>(reader_.get(), reader_->GetConnectionStartTimeout(),
                                                  reader_->GetConnectionStaleTimeout());
}

void PlayStream::SetupDecoding(uint32_t codec) {
    MakeGuard();
    decoder_ = std::make_unique<DecoderWrapper>(codec);
    decoder_->SetAudioOut(output_.get());
    decoder_->SetSource(guard_->StreamInput(true));
    output_->SetSource(guard_->Output(decoder_.get()));
}

void PlayStream::SetupQintDecoding() {
    MakeGuard();
    demuxer_ = std::make_unique<QintDemuxer>(this);
    demuxer_->SetSource(guard_->StreamInput(false));
    const long maxMessage = std::atol(reader_->GetResponseHeader("Quintrel-Max-Msg").c_str());
    // Negative values are clamped by the demultiplexer like huge ones.
    if (maxMessage != 0)
        demuxer_->SetMaxMessageSize(maxMessage < 0 ? UINT32_MAX : uint32_t(std::min(maxMessage, long(UINT32_MAX))));
    const long bitrate = std::atol(reader_->GetResponseHeader("Quintrel-Avg-Bitrate").c_str());
    if (bitrate > 0) demuxer_->SetAverageBitrate(uint32_t(std::min(bitrate, long(UINT32_MAX))));
    decoder_ = std::make_unique<DecoderWrapper>(kCodecVLB);
    demuxer_->SetDecoder(decoder_.get());
    decoder_->SetAudioOut(output_.get());
    decoder_->SetSource(guard_->AudioInput(demuxer_.get()));
    output_->SetSource(guard_->Output(decoder_.get()));
}

bool PlayStream::ReadHeaderLine(std::string& line, size_t limit) {
    line.clear();
    while (line.size() < limit) {
        char byte = 0;
        const int got = reader_->Read(&byte, 1);
        // "Nothing yet" is waited out (the reader's time-outs and the stop still apply): a
        // slow server must not get the wrong chain.
        if (got == 0) continue;
        if (got != 1) return false;
        line += byte;
        if (line.size() >= 2 && line[line.size() - 2] == '\r' && byte == '\n') {
            line.resize(line.size() - 2);
            return true;
        }
    }
    return false;
}

std::string PlayStream::ReadContentType() {
    std::string result;
    std::string line;
    while (ReadHeaderLine(line, kMaxHeaderLine)) {
        if (GetHeaderLineKey(line) == "content-type") result = GetHeaderLineValue(line);
        if (line.empty()) break;
    }
    return result;
}

}  // namespace Amp
