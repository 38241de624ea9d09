#include "app/radio/RadioPlayer.h"

#include "app/foundation/NSLog.h"
#include "app/foundation/ServiceLayerError.h"
#include "engine/MetaDataListener.h"
#include "engine/PlayStateListener.h"
#include "engine/RadioPlayer.h"

#include <cmath>

namespace {

class AmpEngine : public RadioPlayerEngine {
public:
    explicit AmpEngine(const std::string& userAgent) : player_(userAgent) {}
    void Play(const std::string& url) override { player_.Play(url); }
    void Stop() override { player_.Stop(); }
    bool IsPlaying() override { return player_.IsPlaying(); }
    int GetPlayState() override { return player_.GetPlayState(); }
    void SetVolume(float v) override { player_.SetVolume(v); }
    float GetVolume() override { return player_.GetVolume(); }
    void SetBufferingLevels(float lo, float hi) override { player_.SetBufferingLevels(lo, hi); }
    void GetBufferingLevels(float& lo, float& hi) override { player_.GetBufferingLevels(lo, hi); }
    void SetStreamConnectionStartTimeout(float s) override { player_.SetStreamConnectionStartTimeout(s); }
    void SetStreamConnectionStaleTimeout(float s) override { player_.SetStreamConnectionStaleTimeout(s); }
    float GetStreamConnectionStartTimeout() override { return player_.GetStreamConnectionStartTimeout(); }
    float GetStreamConnectionStaleTimeout() override { return player_.GetStreamConnectionStaleTimeout(); }
    void AddPlayStateListener(Amp::PlayStateListener* l) override { player_.AddPlayStateListener(l); }
    void AddMetaDataListener(Amp::MetaDataListener* l) override { player_.AddMetaDataListener(l); }

private:
    Amp::RadioPlayer player_;
};

// Core strings are UTF-8.
QString FromCore(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

}  // namespace

RadioPlayerEngineFactory AmpRadioPlayerEngineFactory() {
    return [](const std::string& userAgent) { return std::make_unique<AmpEngine>(userAgent); };
}

class RadioPlayStateListener : public Amp::PlayStateListener {
public:
    explicit RadioPlayStateListener(RadioPlayer* owner) : owner_(owner) {}
    virtual ~RadioPlayStateListener() = default;

    // Entries from the event loop: nothing may escape into the engine's dispatch.
    void PlayStateChanged(const std::string& url, int fromState, int toState) override {
        Guarded("RadioPlayStateListener::PlayStateChanged",
                [&] { owner_->playStateChanged(fromState, toState, FromCore(url)); });
    }
    void PlayPosition(const std::string& url, float position, float trackLength, float bufferedTime) override {
        Guarded("RadioPlayStateListener::PlayPosition",
                [&] { owner_->playPositionAt(position, trackLength, bufferedTime, FromCore(url)); });
    }
    void PlayingError(const std::string& url, int domain, int code) override {
        Guarded("RadioPlayStateListener::PlayingError",
                [&] { owner_->playingErrorDomain(domain, code, FromCore(url)); });
    }

private:
    RadioPlayer* owner_;
};

class RadioMetaDataListener : public Amp::MetaDataListener {
public:
    explicit RadioMetaDataListener(RadioPlayer* owner) : owner_(owner) {}
    virtual ~RadioMetaDataListener() = default;

    void ReceivedMetaData(const std::string& url, const uint8_t* bytes, uint32_t length, double trackStart) override {
        Guarded("RadioMetaDataListener::ReceivedMetaData", [&] {
            const QByteArray metaData(reinterpret_cast<const char*>(bytes), bytes ? qsizetype(length) : 0);
            const QDateTime start = std::isfinite(trackStart) ? QDateTime::fromMSecsSinceEpoch(
                                                                    qint64(std::llround(trackStart * 1000.0)), Qt::UTC)
                                                              : QDateTime();
            owner_->receivedMetaData(metaData, start, FromCore(url));
        });
    }

private:
    RadioPlayer* owner_;
};

struct RadioPlayer::Internals {
    std::unique_ptr<RadioPlayerEngine> engine;
    std::unique_ptr<RadioPlayStateListener> playStateListener;
    std::unique_ptr<RadioMetaDataListener> metaDataListener;

    ~Internals() {
        // The engine first, so that no callback can reach a deleted listener.
        engine.reset();
        playStateListener.reset();
        metaDataListener.reset();
    }
};

RadioPlayer::RadioPlayer() = default;

RadioPlayer::~RadioPlayer() { internals_.reset(); }

std::unique_ptr<RadioPlayer> RadioPlayer::create(const QString& userAgent,
                                                 const RadioPlayerEngineFactory& engineFactory) {
    std::unique_ptr<RadioPlayer> player(new RadioPlayer());
    try {
        if (userAgent.isNull() || !engineFactory) throw std::invalid_argument("no user agent");
        auto internals = std::make_unique<Internals>();
        internals->engine = engineFactory(userAgent.toStdString());
        if (!internals->engine) throw std::runtime_error("no engine");
        internals->playStateListener = std::make_unique<RadioPlayStateListener>(player.get());
        internals->engine->AddPlayStateListener(internals->playStateListener.get());
        internals->metaDataListener = std::make_unique<RadioMetaDataListener>(player.get());
        internals->engine->AddMetaDataListener(internals->metaDataListener.get());
        player->internals_ = std::move(internals);
    } catch (...) {
        NSLog(QStringLiteral("Error creating player"));
        return nullptr;
    }
    return player;
}

namespace {

// One engine call: any failure logs its fixed line and the caller gets `fallback`.
template <class T, class Call>
T EngineCall(const char* line, T fallback, Call&& call) noexcept {
    try {
        return call();
    } catch (...) {
        try {
            NSLog(QString::fromLatin1(line));
        } catch (...) {}
        return fallback;
    }
}

template <class Call>
void EngineCall(const char* line, Call&& call) noexcept {
    EngineCall<int>(line, 0, [&] {
        call();
        return 0;
    });
}

}  // namespace

void RadioPlayer::play(const QString& url) {
    EngineCall("Error playing", [&] {
        if (url.isNull()) throw std::invalid_argument("no URL");
        internals_->engine->Play(url.toStdString());
    });
}

void RadioPlayer::stop() {
    EngineCall("Error stopping", [&] { internals_->engine->Stop(); });
}

bool RadioPlayer::isActive() {
    return EngineCall("Error calling IsPlaying", false, [&] { return internals_->engine->IsPlaying(); });
}

int RadioPlayer::playerState() {
    const int engineState =
        EngineCall("Error calling GetPlayState", -1, [&] { return internals_->engine->GetPlayState(); });
    switch (engineState) {
    case Amp::kPlayStateStopped: return Stopped;
    case Amp::kPlayStateConnecting: return Connecting;
    case Amp::kPlayStateBuffering: return Buffering;
    case Amp::kPlayStatePrebuffered: return Prebuffered;
    case Amp::kPlayStatePlaying: return Playing;
    case 0: return EngineStateZero;
    default: return Stopped;
    }
}

void RadioPlayer::setVolume(float volume) {
    EngineCall("Error setting volume", [&] { internals_->engine->SetVolume(volume); });
}

float RadioPlayer::volume() {
    return EngineCall("Error getting volume", 0.0f, [&] { return internals_->engine->GetVolume(); });
}

void RadioPlayer::setBufferingLevels(float minSeconds, float maxSeconds) {
    EngineCall("Error setting buffer levels", [&] { internals_->engine->SetBufferingLevels(minSeconds, maxSeconds); });
}

void RadioPlayer::getBufferingLevels(float* minSeconds, float* maxSeconds) {
    if (!minSeconds || !maxSeconds) return;
    EngineCall("Error getting buffer levels", [&] {
        float lo = 0, hi = 0;
        internals_->engine->GetBufferingLevels(lo, hi);
        *minSeconds = lo;
        *maxSeconds = hi;
    });
}

void RadioPlayer::setStreamConnectionStartTimeout(float seconds) {
    if (seconds < 0) return;
    EngineCall("Error setting connection start timeout",
               [&] { internals_->engine->SetStreamConnectionStartTimeout(seconds); });
}

void RadioPlayer::setStreamConnectionStaleTimeout(float seconds) {
    if (seconds < 0) return;
    EngineCall("Error setting connection stale timeout",
               [&] { internals_->engine->SetStreamConnectionStaleTimeout(seconds); });
}

float RadioPlayer::streamConnectionStartTimeout() {
    return EngineCall("Error getting connection start timeout", -1.0f,
                      [&] { return internals_->engine->GetStreamConnectionStartTimeout(); });
}

float RadioPlayer::streamConnectionStaleTimeout() {
    return EngineCall("Error getting connection stale timeout", -1.0f,
                      [&] { return internals_->engine->GetStreamConnectionStaleTimeout(); });
}

void RadioPlayer::playStateChanged(int fromState, int toState, const QString& streamURL) {
    (void)fromState;  // only where the player is now matters
    if (!delegate_) return;
    switch (toState) {
    case Amp::kPlayStateStopped: delegate_->playingStopped(streamURL); break;
    case Amp::kPlayStateConnecting: delegate_->connecting(streamURL); break;
    case Amp::kPlayStateBuffering: delegate_->bufferingStarted(streamURL); break;
    case Amp::kPlayStatePrebuffered: delegate_->playingWillStart(streamURL); break;
    case Amp::kPlayStatePlaying: delegate_->playingStarted(streamURL); break;
    default: break;
    }
}

void RadioPlayer::playPositionAt(float position, float trackLength, float bufferedTime, const QString& streamURL) {
    if (delegate_) delegate_->trackProgressAt(position, trackLength, bufferedTime, streamURL);
}

void RadioPlayer::receivedMetaData(const QByteArray& metaData, const QDateTime& trackStart, const QString& streamURL) {
    if (delegate_) delegate_->receivedMetaData(metaData, trackStart, streamURL);
}

void RadioPlayer::playingErrorDomain(int domain, int code, const QString& streamURL) {
    const QString domainText = domain == 1   ? kPOSIXErrorDomain
                               : domain == 2 ? kOSStatusErrorDomain
                                             : kErrorDescApplicationErrorDomain;
    const ErrorDescription error(domainText, code);
    if (delegate_) delegate_->playingError(error, streamURL);
}
