#include "engine/RadioPlayer.h"

#include <exception>
#include <memory>
#include <vector>

#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"
#include "engine/PlayerEvents.h"

namespace Amp {

namespace {

// A failure of the stream set-up that is not a player_exception.
struct SetupFailure {
    const char* text;
};

}  // namespace

RadioPlayer::RadioPlayer(const std::string& userAgent) : userAgent_(userAgent), queue_(LThreadEventQueue::Create()) {}

RadioPlayer::~RadioPlayer() {
    Stop();
    queue_->Release();
    // Their threads have been joined by Stop; their end events, still queued on their
    // own queues, go with them unfired.
    for (PlayStreamInterface* stream : endingStreams_)
        delete stream;
}

void RadioPlayer::Play(const std::string& url) {
    if (url == url_) return;
    Stop();
    url_ = url;
    StartStream(url);
}

void RadioPlayer::StartStream(const std::string& url) {
    std::unique_ptr<PlayStreamInterface> stream;
    try {
        const PlayStreamFactory& factory = GetPlayStreamFactory();
        if (!factory) throw SetupFailure{"unknown error setting up play stream\n"};
        stream.reset(factory(*this, url, userAgent_));
        if (!stream) throw SetupFailure{"unknown error setting up play stream\n"};
        stream_ = stream.get();
        stream->SetBufferingLevels(minBuffering_, maxBuffering_);
        stream->SetVolume(volume_);
        stream->SetStreamConnectionStartTimeout(startTimeout_);
        stream->SetStreamConnectionStaleTimeout(staleTimeout_);
        // A stream whose thread never ran would stay current and silent for good.
        if (!stream->Start()) throw SetupFailure{"error setting up play stream: its thread could not be started\n"};
        stream.release();
        return;
    } catch (const player_exception& e) {
        LogMessage(kLogError, "error setting up play stream. domain=%d, code=%d\n", e.domain, e.code);
    } catch (const SetupFailure& failure) {
        LogMessage(kLogError, "%s", failure.text);
    } catch (...) {
        LogMessage(kLogError, "unknown error setting up play stream\n");
    }
    // The failed stream is deleted (by `stream`) rather than left behind.
    stream_ = nullptr;
    url_.clear();
}

void RadioPlayer::Stop() {
    if (stream_) {
        PlayStreamInterface* stream = stream_;
        stream->Stop();
        stream_ = nullptr;
        endingStreams_.insert(stream);
    }
    url_.clear();
}

bool RadioPlayer::IsPlaying() const { return stream_ != nullptr; }

int RadioPlayer::GetPlayState() const { return playState_; }

void RadioPlayer::SetBufferingLevels(float minSeconds, float maxSeconds) {
    minBuffering_ = minSeconds;
    maxBuffering_ = maxSeconds;
    if (stream_) stream_->SetBufferingLevels(minSeconds, maxSeconds);
}

void RadioPlayer::GetBufferingLevels(float& minSeconds, float& maxSeconds) const {
    minSeconds = minBuffering_;
    maxSeconds = maxBuffering_;
}

void RadioPlayer::SetVolume(float volume) {
    volume_ = volume;
    if (stream_) stream_->SetVolume(volume);
}

float RadioPlayer::GetVolume() const { return volume_; }

void RadioPlayer::SetStreamConnectionStartTimeout(float seconds) {
    startTimeout_ = seconds;
    if (stream_) stream_->SetStreamConnectionStartTimeout(seconds);
}

float RadioPlayer::GetStreamConnectionStartTimeout() const { return startTimeout_; }

void RadioPlayer::SetStreamConnectionStaleTimeout(float seconds) {
    staleTimeout_ = seconds;
    if (stream_) stream_->SetStreamConnectionStaleTimeout(seconds);
}

float RadioPlayer::GetStreamConnectionStaleTimeout() const { return staleTimeout_; }

void RadioPlayer::AddPlayStateListener(PlayStateListener* listener) {
    if (listener) playStateListeners_.insert(listener);
}

void RadioPlayer::AddMetaDataListener(MetaDataListener* listener) {
    if (listener) metaDataListeners_.insert(listener);
}

void RadioPlayer::PostPlayStateChange(const std::string& url, int from, int to) {
    queue_->Post(new PlayStateChangeEvent(this, url, from, to));
}

void RadioPlayer::PostTrackProgress(const std::string& url, float position, float trackLength, float bufferedTime) {
    queue_->Post(new TrackProgressEvent(this, url, position, trackLength, bufferedTime));
}

void RadioPlayer::PostMetaData(const std::string& url, const void* bytes, uint32_t length, double trackStart) {
    queue_->Post(new MetaDataEvent(this, url, bytes, length, trackStart));
}

void RadioPlayer::PostPlayerError(const std::string& url, int domain, int code) {
    queue_->Post(new PlayerErrorEvent(this, url, domain, code));
}

// The Notify operations walk a copy of the set: a listener may add listeners.

void RadioPlayer::NotifyPlayStateChanged(const std::string& url, int from, int to) {
    playState_ = to;
    const std::vector<PlayStateListener*> listeners(playStateListeners_.begin(), playStateListeners_.end());
    for (PlayStateListener* listener : listeners)
        listener->PlayStateChanged(url, from, to);
}

void RadioPlayer::NotifyPlayPosition(const std::string& url, float position, float trackLength, float bufferedTime) {
    const std::vector<PlayStateListener*> listeners(playStateListeners_.begin(), playStateListeners_.end());
    for (PlayStateListener* listener : listeners)
        listener->PlayPosition(url, position, trackLength, bufferedTime);
}

void RadioPlayer::NotifyPlayingError(const std::string& url, int domain, int code) {
    const std::vector<PlayStateListener*> listeners(playStateListeners_.begin(), playStateListeners_.end());
    for (PlayStateListener* listener : listeners)
        listener->PlayingError(url, domain, code);
}

void RadioPlayer::NotifyMetaData(const std::string& url, const uint8_t* bytes, uint32_t length, double trackStart) {
    const std::vector<MetaDataListener*> listeners(metaDataListeners_.begin(), metaDataListeners_.end());
    for (MetaDataListener* listener : listeners)
        listener->ReceivedMetaData(url, bytes, length, trackStart);
}

void RadioPlayer::PlayStreamEnded(PlayStreamInterface* stream) {
    if (stream == stream_) Stop();  // it ended by itself: end of data or an error
    endingStreams_.erase(stream);
    delete stream;
}

}  // namespace Amp
