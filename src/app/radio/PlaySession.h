#pragma once
// One listener's play, below any window: the road from a station to audio with its
// fall-back over formats and URLs; the player's reports, of which only those of the
// current URL count; the track metadata swapped in at each track's start; muting to the
// end of a song; and what is remembered of the playing and the chosen station. It shows
// nothing: the main window and zymradio-cli each drive one and show what it reports.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

#include "app/foundation/Clock.h"
#include "app/radio/RadioPlayer.h"
#include "app/radio/ZYMRadioStationFormat.h"

class RadioMetadataParser;
class UserDefaults;
class ZYMRadioService;
class ZYMRadioStation;

// Usage statistics as a play counts them; the default counts nothing and reads 0.
class PlayStatistics {
public:
    virtual ~PlayStatistics() = default;
    virtual void increment(int) {}
    virtual qint64 number(int) { return 0; }
    virtual void startTimer(int) {}
    virtual void stopTimer(int) {}
};

struct PlaySessionEnvironment {
    UserDefaults* defaults = nullptr;  // the standard ones when null
    Clock* clock = nullptr;            // the system's when null
    Scheduler* scheduler = nullptr;    // the main loop's when null
    PlayStatistics* statistics = nullptr;
    RadioPlayerEngineFactory playerEngines;  // the real engine when empty
    QString playerAgent;
    QString playerConfigPath;                 // the bundled playerConfig.plist when empty
    std::function<int()> bandwidthLimit;      // bit/s the formats must fit; no limit when empty
    std::function<bool()> applicationActive;  // never active when empty
};

class PlaySession : public QObject, public RadioPlayerDelegate {
    Q_OBJECT
public:
    static constexpr int kStatClientID = 22;
    static constexpr int kStatStationPlays = 4392;
    static constexpr int kStatPlayingTime = 4394;
    static constexpr int kStatActivePlayingTime = 4396;
    static constexpr int kNetworkUnreachable = 16;

    PlaySession(ZYMRadioService& service, PlaySessionEnvironment environment);
    ~PlaySession() override;

    RadioPlayer* player() const { return player_.get(); }

    // The play road. A station already playing is left alone; one the directory does not
    // list is not played.
    void startPlaying(const std::shared_ptr<ZYMRadioStation>& station, bool makeActive);
    // The current URL again, or with `moveOn` the next URL, then the next format.
    void tryPlayingStation(bool moveOn);
    // The service came back after a loss: the station that was being played resumes.
    bool resumePlaying();
    void stop();
    // A stream played by its address: a station named by the URL, identifier "-1", played
    // as given with no fall-back. False when there is no player or no URL.
    bool playStationWithURL(const QString& url);
    static bool isPlayedByAddress(const ZYMRadioStation& station);

    void setPlayingStation(const std::shared_ptr<ZYMRadioStation>& station);
    void setPlayingStationFormats(ZYMRadioStationFormat::List formats);
    void setPlayingStationURLs(const QStringList& urls);
    // No station plays nor waits for its formats any more.
    void clearPlayingStation();
    void setActiveStation(const std::shared_ptr<ZYMRadioStation>& station);
    std::shared_ptr<ZYMRadioStation> playingStation() const { return playingStation_; }
    std::shared_ptr<ZYMRadioStation> activeStation() const { return activeStation_; }
    bool playingStationFormatsAvailable() const;
    bool playingStationURLsAvailable() const;
    bool isPlaying() const { return bool(playingStation_); }
    // The player reported that the current URL plays.
    bool streamPlaying() const { return streamPlaying_; }
    QString playingStationURL() const;
    bool isStationURLPlaying(const QString& url) const;
    // The description of the format being tried; empty when there is none.
    QString formatDescription() const;
    // The stream's name in the progress texts: its format's description, else the station's name.
    QString streamName() const;
    void configurePlayerBufferingLevelsForBitRate(int bitRate);
    void configurePlayerConnectionTimeouts();

    // The directory's answers to a URL request of this play.
    void stationURLWillLoad();
    void stationURLDidLoad(const QString& progId, const QStringList& urls);
    void stationURLDidFail(const QString& progId);

    // What is remembered of the stations for the next launch.
    void savePlayingStationToDefaults();
    // As the program quits: a play a fault ended keeps its station for the next launch.
    void savePlayingStationForNextLaunch();
    void saveActiveStationToDefaults();
    std::optional<QString> savedPlayingStationID() const;
    QString savedActiveStationID() const;
    // The play ended by a fault, not by the listener: its station stays remembered.
    void notePlayEndedByFault() { playEndedByFault_ = true; }

    // Track metadata: the current track's and the one waiting for its start.
    RadioMetadataParser* currentTrackMetadata() const { return currentTrack_.get(); }
    RadioMetadataParser* nextTrackMetadata() const { return nextTrack_.get(); }
    // The player has reported a position past the first second.
    bool displayElapsedTime() const { return displayElapsedTime_; }
    // True once after the listener changed stations: the first song is not announced.
    bool takeSongChangedDueToUserAction() { return std::exchange(songChangedDueToUserAction_, false); }

    // Muting to the end of the current song. `volume` is the listener's volume now; false
    // when there is no song to mute.
    bool muteTilEndOfCurrentSong(float volume);
    bool isMuting() const { return isMuting_; }
    int mutingOptions() const { return mutingOptions_; }
    void setMutingOptions(int options) { mutingOptions_ = options; }
    bool mutingShouldContinue() const;
    // Muting ends; the volume to go back to, none when nothing was muted.
    std::optional<float> undoMuting();
    void stopMuting();
    // After the playing station changed: true when muting should end (another station, or
    // the muted one again after it stopped).
    bool playingStationEndsMuting();

    // RadioPlayerDelegate: every report first passes the stale-URL filter.
    void connecting(const QString& url) override;
    void bufferingStarted(const QString& url) override;
    void playingWillStart(const QString& url) override;
    void playingStarted(const QString& url) override;
    void playingStopped(const QString& url) override;
    void playingError(const ErrorDescription& error, const QString& url) override;
    void trackProgressAt(float position, float total, float buffered, const QString& url) override;
    void receivedMetaData(const QByteArray& text, const QDateTime& trackStart, const QString& url) override;

signals:
    // The progress text to show; empty for none.
    void progressTextChanged(const QString& text);
    // Something the window's controls show changed.
    void changed();
    // A new play starts: what the last station showed (art, ad) goes.
    void playStarting();
    // The playing station was set (also to none), or the stream began to play.
    void playingStateChanged();
    void activeStationChanged();
    // A station of the directory began to be played (not one played by its address).
    void stationPlayed(const std::shared_ptr<ZYMRadioStation>& station);
    // The player is handed a URL of the play.
    void playAttempted(const QString& url);
    // Every URL of every format failed.
    void playGivenUp(const QString& stationName);
    // The current stream's reports, after the stale-URL filter.
    void streamConnecting(const QString& url);
    void streamBuffering(const QString& url);
    void streamStarted(const QString& url);
    // `played`: the stream had begun to play before it ended.
    void streamStopped(const QString& url, bool played);
    void streamFailed(const QString& domain, int code, const QString& url);
    void metadataReceived(const QByteArray& text, const QString& url);
    // The heard position (the read one less the buffer) and the track's length, in seconds.
    void trackProgress(float position, float total);
    // The waiting metadata became the current track's.
    void trackStarted(const QString& url);
    void trackEnded();

private:
    std::shared_ptr<ZYMRadioStationFormat> currentFormat() const;
    void givePlayUp();
    void onTrackEnd();
    void trackChangeUpdate(const QString& url);
    void playStationWithURLInternal(const QString& url);
    float playerConfigValue(const QString& key, float fallback) const;
    int bandwidthLimit() const;
    static QString text(const char* key);

    struct MutedSong {
        QString songName, songAlbum, songArtist;
        float volume = 0;
    };
    MutedSong currentSong() const;

    ZYMRadioService& radioService_;
    PlaySessionEnvironment env_;
    UserDefaults& defaults_;
    PlayStatistics defaultStatistics_;
    std::unique_ptr<RadioPlayer> player_;

    std::shared_ptr<ZYMRadioStation> playingStation_;
    ZYMRadioStationFormat::List formats_;
    bool haveFormats_ = false;
    int formatIndex_ = 0;
    QStringList urls_;
    int urlIndex_ = 0;
    std::shared_ptr<ZYMRadioStation> activeStation_;
    bool songChangedDueToUserAction_ = false;
    bool displayElapsedTime_ = false;
    bool streamPlaying_ = false;
    bool playEndedByFault_ = false;

    std::unique_ptr<RadioMetadataParser> currentTrack_;
    std::unique_ptr<RadioMetadataParser> nextTrack_;
    QByteArray nextTrackText_;  // what nextTrack_ was read from
    std::unique_ptr<ScheduledTimer> trackChangeTimer_;

    bool isMuting_ = false;
    int mutingOptions_ = 0;
    std::optional<MutedSong> mutedSong_;
    std::shared_ptr<ZYMRadioStation> mutedStation_;
    bool mutedStationStopped_ = false;
};
