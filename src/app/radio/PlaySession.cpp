#include "app/radio/PlaySession.h"

#include <QFile>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <climits>

#include "app/radio/RadioMetadataParser.h"
#include "app/foundation/ErrorDescription.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/PropertyList.h"
#include "app/foundation/Resources.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioService.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/radio/ZYMRadioStationState.h"
#include "dms/radio3/DMRadio3Types.h"
#include "runtime/LogMessage.h"

namespace {
constexpr int kNarrowband = 32768;
const QString kStationIDPlayedByURL = QStringLiteral("-1");
const QString kPlayingStation = QStringLiteral("playing_station");
const QString kActiveStation = QStringLiteral("active_station");

QByteArray utf8(const QString& s) { return s.toUtf8(); }

QString format(const char* key, const QStringList& args) {
    return formatOnePass(Localizer::shared().text(QString::fromLatin1(key)), args);
}
}  // namespace

PlaySession::PlaySession(ZYMRadioService& service, PlaySessionEnvironment environment)
    : radioService_(service),
      env_(std::move(environment)),
      defaults_(env_.defaults ? *env_.defaults : UserDefaults::standardUserDefaults()) {
    if (!env_.clock) env_.clock = &Clock::system();
    if (!env_.scheduler) env_.scheduler = &Scheduler::main();
    if (!env_.statistics) env_.statistics = &defaultStatistics_;
    player_ = env_.playerEngines ? RadioPlayer::create(env_.playerAgent, env_.playerEngines)
                                 : RadioPlayer::create(env_.playerAgent);
    if (player_) player_->setDelegate(this);
    configurePlayerConnectionTimeouts();
}

PlaySession::~PlaySession() {
    trackChangeTimer_.reset();
    if (player_) player_->setDelegate(nullptr);
}

QString PlaySession::text(const char* key) { return Localizer::shared().text(QString::fromLatin1(key)); }

int PlaySession::bandwidthLimit() const { return env_.bandwidthLimit ? env_.bandwidthLimit() : INT_MAX; }

// ---- the play road -------------------------------------------------------------------

void PlaySession::startPlaying(const std::shared_ptr<ZYMRadioStation>& station, bool makeActive) {
    if (station == playingStation_) return;
    if (station && !(radioService_.serviceAvailable() && radioService_.stationWithID(station->stationID()))) {
        LogMessage(kLogInfo,
                   "The station [%s] could not be played, since it does not exist in the current valid station list.\n",
                   utf8(station->stationID()).constData());
        return;
    }
    env_.statistics->increment(kStatStationPlays);
    if (player_) player_->stop();
    const QString current = playingStationURL();
    if (!current.isEmpty()) playingStopped(current);
    emit playStarting();
    if (makeActive) setActiveStation(station);
    setPlayingStation(station);
    if (station) setPlayingStationFormats(radioService_.stationFormats(station->stationID(), bandwidthLimit()));
    songChangedDueToUserAction_ = true;
    displayElapsedTime_ = false;
    emit progressTextChanged(text("FetchingStationURLProgressString"));
    tryPlayingStation(false);
    emit changed();
}

void PlaySession::tryPlayingStation(bool moveOn) {
    if (!radioService_.serviceAvailable()) {
        // Signed off, nothing can be asked for; a failed stream (one played by its
        // address) must still end, or it would stay "playing" with no sound.
        if (moveOn && playingStation_) givePlayUp();
        return;
    }
    if (moveOn) {
        ++urlIndex_;
        if (!playingStationURLsAvailable()) {
            setPlayingStationURLs({});
            urlIndex_ = 0;
            ++formatIndex_;
        }
    }
    const QString name = playingStation_ ? playingStation_->name() : QString();
    const QString id = playingStation_ ? playingStation_->stationID() : QString();
    if (playingStationURLsAvailable() && playingStationFormatsAvailable()) {
        const QString url = urls_[urlIndex_];
        auto f = currentFormat();
        LogMessage(kLogInfo,
                   "tryPlayingStation - trying station '%s' (%s) with format %d of %d (%s) and url %d of %d (%s)\n",
                   utf8(name).constData(), utf8(id).constData(), formatIndex_ + 1, int(formats_.size()),
                   utf8(formatDescription()).constData(), urlIndex_ + 1, int(urls_.size()), utf8(url).constData());
        configurePlayerBufferingLevelsForBitRate(f->bitRate());
        emit playAttempted(url);
        if (player_) player_->play(url);
        return;
    }
    if (playingStationFormatsAvailable()) {
        LogMessage(kLogInfo, "tryPlayingStation - requesting URLs for station '%s' (%s) with format %d of %d (%s)\n",
                   utf8(name).constData(), utf8(id).constData(), formatIndex_ + 1, int(formats_.size()),
                   utf8(formatDescription()).constData());
        radioService_.requestURLForStation(id, currentFormat());
        return;
    }
    givePlayUp();
}

void PlaySession::givePlayUp() {
    const QString name = playingStation_ ? playingStation_->name() : QString();
    LogMessage(kLogInfo, "tryPlayingStation - no more station formats/urls\n");
    setPlayingStation(nullptr);
    playEndedByFault_ = true;
    // The failure stays shown until the next status replaces it.
    emit progressTextChanged(format("FetchingStationURLFailedFormatString", {name}));
    emit playGivenUp(name);
    emit changed();
}

bool PlaySession::resumePlaying() {
    if (!playingStation_ || !haveFormats_) return false;
    LogMessage(kLogInfo, "serviceRequestDone - resuming '%s' after the service came back\n",
               utf8(playingStation_->name()).constData());
    tryPlayingStation(false);
    return true;
}

void PlaySession::stop() {
    playEndedByFault_ = false;
    if (player_) player_->stop();
    trackChangeTimer_.reset();
    const QString current = playingStationURL();
    if (!current.isEmpty())
        playingStopped(current);
    else
        setPlayingStation(nullptr);
}

bool PlaySession::isPlayedByAddress(const ZYMRadioStation& station) {
    return station.stationID() == kStationIDPlayedByURL;
}

bool PlaySession::playStationWithURL(const QString& url) {
    if (!player_ || url.isEmpty()) return false;
    player_->stop();
    const QString current = playingStationURL();
    if (!current.isEmpty()) playingStopped(current);
    emit progressTextChanged(QString());
    setPlayingStation(ZYMRadioStation::create(url, kStationIDPlayedByURL, {}));
    playStationWithURLInternal(url);
    return true;
}

void PlaySession::playStationWithURLInternal(const QString& url) {
    // An address handed in from outside (a web link, a script, the command line) may name
    // any host: it is played as given, without the listener's number, which only the
    // directory's own station URLs carry.
    urls_ = {url};
    urlIndex_ = 0;
    // A format of its own makes the URL the current one, so the player's reports for it
    // pass the stale-URL filter; a failure then ends the play as the last format's would.
    formats_ = {std::make_shared<ZYMRadioStationFormat>(DMRadio3_StationFormatType())};
    haveFormats_ = true;
    formatIndex_ = 0;
    const QString played = urls_.value(0);
    LogMessage(kLogDebug, "playStationWithURLInternal(%s)\n", played.toUtf8().constData());
    if (player_) player_->play(played);
}

void PlaySession::setPlayingStation(const std::shared_ptr<ZYMRadioStation>& station) {
    // The track documents belong to the station that sent them: a stream without
    // metadata must not show the last station's song, nor its waiting one come in later.
    if (station != playingStation_) {
        trackChangeTimer_.reset();
        nextTrack_.reset();
        onTrackEnd();
    }
    playingStation_ = station;
    streamPlaying_ = false;
    haveFormats_ = false;
    formats_.clear();
    formatIndex_ = 0;
    setPlayingStationURLs({});
    if (!station) {
        emit playingStateChanged();
        return;
    }
    setActiveStation(station);
    playEndedByFault_ = false;
    // A stream played by its address is no station to play again from the list.
    if (!isPlayedByAddress(*station)) emit stationPlayed(station);
    emit playingStateChanged();
}

void PlaySession::clearPlayingStation() {
    setPlayingStation(nullptr);
    setPlayingStationFormats({});
    formatIndex_ = 0;
}

void PlaySession::setActiveStation(const std::shared_ptr<ZYMRadioStation>& station) {
    activeStation_ = station ? station : playingStation_;
    emit activeStationChanged();
}

void PlaySession::setPlayingStationFormats(ZYMRadioStationFormat::List formats) {
    formats_ = std::move(formats);
    haveFormats_ = true;
    formatIndex_ = 0;
}

void PlaySession::setPlayingStationURLs(const QStringList& urls) {
    const qint64 number = env_.statistics->number(kStatClientID);
    const QString uid = QStringLiteral("macclient-%1").arg(number);
    QStringList list;
    for (const QString& u : urls) {
        // The listener's number goes in as a query item, whatever query the URL has.
        QUrl url(u);
        QUrlQuery query(url);
        query.removeAllQueryItems(QStringLiteral("uid"));
        query.addQueryItem(QStringLiteral("uid"), uid);
        url.setQuery(query);
        const QString formed = url.toString(QUrl::FullyEncoded);
        if (list.contains(formed)) {
            LogMessage(kLogDebug, "setPlayingStationURLs - url is a duplicate. DROPPED. [%s]\n",
                       utf8(formed).constData());
            continue;
        }
        list.push_back(formed);
    }
    urls_ = list;
    urlIndex_ = 0;
}

bool PlaySession::playingStationFormatsAvailable() const {
    return playingStation_ && haveFormats_ && formatIndex_ >= 0 && formatIndex_ < int(formats_.size());
}

bool PlaySession::playingStationURLsAvailable() const { return urlIndex_ >= 0 && urlIndex_ < urls_.size(); }

std::shared_ptr<ZYMRadioStationFormat> PlaySession::currentFormat() const {
    if (formatIndex_ < 0 || formatIndex_ >= int(formats_.size())) return nullptr;
    return formats_[std::size_t(formatIndex_)];
}

QString PlaySession::formatDescription() const {
    auto f = currentFormat();
    return f && f->mediaFormat() ? f->mediaFormat()->theDescription() : QString();
}

QString PlaySession::streamName() const {
    // A format the directory does not describe, or a stream played by its address, is
    // named by its station rather than by nothing.
    const QString description = formatDescription();
    if (!description.isEmpty() || !playingStation_) return description;
    return playingStation_->name();
}

QString PlaySession::playingStationURL() const {
    if (playingStation_ && playingStationFormatsAvailable() && playingStationURLsAvailable()) return urls_[urlIndex_];
    return QString("");
}

bool PlaySession::isStationURLPlaying(const QString& url) const {
    const QString current = playingStationURL();
    const QUrl playing(current), check(url);
    if (!current.isEmpty() && playing.adjusted(QUrl::RemoveScheme) == check.adjusted(QUrl::RemoveScheme)) return true;
    LogMessage(kLogDebug, "isStationURLActive - playing[%s] vs check[%s] - result = %d\n",
               utf8(playing.adjusted(QUrl::RemoveScheme).toString(QUrl::FullyEncoded)).constData(),
               utf8(check.adjusted(QUrl::RemoveScheme).toString(QUrl::FullyEncoded)).constData(), 0);
    return false;
}

// ---- the directory's answers ---------------------------------------------------------

void PlaySession::stationURLWillLoad() {
    emit progressTextChanged(text("FetchingStationURLProgressString"));
    emit changed();
}

void PlaySession::stationURLDidLoad(const QString& progId, const QStringList& urls) {
    auto f = currentFormat();
    if (!playingStation_ || !f || f->progID() != progId) return;
    if (!urls.isEmpty()) {
        setPlayingStationURLs(urls);
        tryPlayingStation(false);
    } else {
        // Nothing to try in this format: go on with the next rather than wait forever.
        tryPlayingStation(true);
    }
    emit changed();
}

void PlaySession::stationURLDidFail(const QString& progId) {
    LogMessage(kLogError, "RadioServiceDelegate - radioServiceStationURLDidFail - %s\n", utf8(progId).constData());
    // A late failure of a format no longer tried must not skip the current one.
    auto f = currentFormat();
    if (!playingStation_ || !f || f->progID() != progId) return;
    tryPlayingStation(true);
}

// ---- the player's configuration ------------------------------------------------------

float PlaySession::playerConfigValue(const QString& key, float fallback) const {
    float value = fallback;
    const QString path = env_.playerConfigPath.isEmpty()
                             ? Resources::find(QStringLiteral("playerConfig"), QStringLiteral("plist"))
                             : env_.playerConfigPath;
    if (!path.isEmpty() && QFile::exists(path)) {
        const auto plist = PropertyList::readFile(path);
        if (plist && plist->typeId() == QMetaType::QVariantMap) {
            const QVariant v = plist->toMap().value(key);
            bool ok = false;
            const float f = v.toString().toFloat(&ok);
            if (v.isValid() && ok) value = f;
        }
    }
    if (defaults_.object(key).isValid()) value = defaults_.floatValue(key);
    return value;
}

void PlaySession::configurePlayerBufferingLevelsForBitRate(int bitRate) {
    if (!player_) return;
    if (bitRate < kNarrowband)
        player_->setBufferingLevels(playerConfigValue(QStringLiteral("nb_low_watermark"), 5.0f),
                                    playerConfigValue(QStringLiteral("nb_high_watermark"), 7.0f));
    else
        player_->setBufferingLevels(playerConfigValue(QStringLiteral("bb_low_watermark"), 2.0f),
                                    playerConfigValue(QStringLiteral("bb_high_watermark"), 4.0f));
}

void PlaySession::configurePlayerConnectionTimeouts() {
    if (!player_) return;
    const float start = playerConfigValue(QStringLiteral("stream_start_timeout"), -1.0f);
    const float stale = playerConfigValue(QStringLiteral("stream_stale_timeout"), -1.0f);
    if (start >= 0 && start <= 1000) player_->setStreamConnectionStartTimeout(start);
    if (stale >= 0 && stale <= 1000) player_->setStreamConnectionStaleTimeout(stale);
}

// ---- what is remembered --------------------------------------------------------------

void PlaySession::savePlayingStationToDefaults() {
    if (playingStation_ && isPlayedByAddress(*playingStation_)) return;
    defaults_.setString(kPlayingStation, playingStation_ ? playingStation_->stationID() : QString(""));
}

void PlaySession::savePlayingStationForNextLaunch() {
    // After a fault ended the play, the station the listener left playing stays the one
    // to play at the next launch.
    if (playingStation_ || !playEndedByFault_) savePlayingStationToDefaults();
}

void PlaySession::saveActiveStationToDefaults() {
    // A stream played by its address is no station of the directory; with none chosen (a
    // fault or a sign-off emptied the lists) the last one chosen stays remembered.
    if (activeStation_ && !isPlayedByAddress(*activeStation_))
        defaults_.setString(kActiveStation, activeStation_->stationID());
}

std::optional<QString> PlaySession::savedPlayingStationID() const {
    if (!defaults_.object(kPlayingStation).isValid()) return std::nullopt;
    return defaults_.string(kPlayingStation);
}

QString PlaySession::savedActiveStationID() const { return defaults_.string(kActiveStation); }

// ---- player reports ------------------------------------------------------------------

void PlaySession::connecting(const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "connecting: ignored.  old url.\n");
    emit progressTextChanged(format("ConnectingProgressString", {streamName()}));
    emit streamConnecting(url);
}

void PlaySession::bufferingStarted(const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "bufferingStarted: ignored.  old url.\n");
    emit progressTextChanged(format("BufferingProgressString", {streamName()}));
    emit changed();
    emit streamBuffering(url);
}

void PlaySession::playingWillStart(const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "playingWillStart: ignored.  old url.\n");
    // A document already waiting for its swap is the first track's own; an empty one in its
    // place would lose it.
    if (!currentTrack_ && !nextTrack_) receivedMetaData("<metadata></metadata>", env_.clock->now(), url);
}

void PlaySession::playingStarted(const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "playingStarted: ignored.  old url.\n");
    env_.statistics->startTimer(kStatPlayingTime);
    if (env_.applicationActive && env_.applicationActive()) env_.statistics->startTimer(kStatActivePlayingTime);
    emit progressTextChanged(QString());
    streamPlaying_ = true;
    savePlayingStationToDefaults();
    emit changed();
    emit playingStateChanged();
    emit streamStarted(url);
}

void PlaySession::playingStopped(const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "playingStopped: ignored.  old url.\n");
    LogMessage(kLogDebug, "playingStopped: [%s]\n", utf8(url).constData());
    env_.statistics->stopTimer(kStatPlayingTime);
    env_.statistics->stopTimer(kStatActivePlayingTime);
    // A stream that ends before it ever played (a payload the decoder refuses) failed:
    // that stays shown, not the buffering text, nor nothing.
    const bool played = streamPlaying_;
    const QString failed = played || !playingStation_
                               ? QString()
                               : format("FetchingStationURLFailedFormatString", {playingStation_->name()});
    emit streamStopped(url, played);
    onTrackEnd();
    setPlayingStation(nullptr);
    emit progressTextChanged(failed);
    emit changed();
}

void PlaySession::playingError(const ErrorDescription& error, const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "playingError: ignored.  old url.\n");
    LogMessage(kLogDebug, "playingError: [%s]\n", utf8(url).constData());
    LogMessage(kLogError, "Got playing error (domain %s, error %d)\n", utf8(error.domain()).constData(), error.code());
    emit streamFailed(error.domain(), error.code(), url);
    if (error.code() == kNetworkUnreachable) {
        LogMessage(kLogInfo, "playingError: network disconnect. playing aborted.\n");
        setPlayingStation(nullptr);
        playEndedByFault_ = true;
    } else if (!playingStation_) {
        LogMessage(kLogInfo, "playingError: mPlayingStation is nil. playing aborted.\n");
    } else {
        LogMessage(kLogInfo, "playingError: mPlayingStation is [%s]. try playing again.\n",
                   utf8(playingStation_->name()).constData());
        tryPlayingStation(true);
    }
    emit changed();
}

void PlaySession::trackProgressAt(float position, float total, float buffered, const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "trackProgressAt: ignored.  old url.\n");
    if (position > 1.0f) displayElapsedTime_ = true;
    // The position is where the stream has been read to; what is heard lags by the buffer.
    emit trackProgress(std::max(0.0f, position - buffered), total);
}

void PlaySession::receivedMetaData(const QByteArray& text, const QDateTime& trackStart, const QString& url) {
    if (!isStationURLPlaying(url)) return LogMessage(kLogDebug, "receivedMetaData: ignored.  old url.\n");
    emit metadataReceived(text, url);
    // A stream may repeat the waiting document by the thousand: read it and fetch its art once.
    const bool repeated = nextTrack_ && text == nextTrackText_;
    if (!repeated) {
        nextTrack_ = std::make_unique<RadioMetadataParser>(QString::fromUtf8(text));
        nextTrackText_ = text;
    }
    if (playingStation_ && !repeated) {
        const auto partial = nextTrack_->songAlbumArtPartialURL();
        if (partial && !partial->isEmpty()) {
            nextTrack_->fetchAlbumArtWithBaseURL(playingStation_->albumArtBaseURL().value_or(QString()));
        } else if (const auto& images = playingStation_->images(); images && !images->empty() && images->front()) {
            nextTrack_->fetchAlbumArtWithArtURL(images->front()->url());
        }
    }
    trackChangeTimer_.reset();
    const qint64 ms = std::max<qint64>(0, env_.clock->now().msecsTo(trackStart));
    trackChangeTimer_ =
        env_.scheduler->singleShot(std::chrono::milliseconds(ms), [this, url] { trackChangeUpdate(url); });
}

void PlaySession::trackChangeUpdate(const QString& url) {
    // One line per track change: a stream may send metadata packets by the thousand.
    LogMessage(kLogDebug, "trackChangeUpdate: the next track starts\n");
    onTrackEnd();
    currentTrack_ = std::move(nextTrack_);
    emit trackStarted(url);
    trackProgressAt(0, currentTrack_ ? currentTrack_->songLengthSeconds() : 0, 0, url);
    trackChangeTimer_.reset();
}

void PlaySession::onTrackEnd() {
    currentTrack_.reset();
    emit trackEnded();
}

// ---- muting to the end of the song ---------------------------------------------------

PlaySession::MutedSong PlaySession::currentSong() const {
    // A field the metadata lacks is kept and compared as "", never as a missing value.
    MutedSong song;
    if (currentTrack_) {
        song.songName = currentTrack_->songName().value_or(QString(""));
        song.songAlbum = currentTrack_->songAlbum().value_or(QString(""));
        song.songArtist = currentTrack_->songArtist().value_or(QString(""));
    }
    return song;
}

bool PlaySession::muteTilEndOfCurrentSong(float volume) {
    if (!isPlaying() || !currentTrack_) return false;
    MutedSong song = currentSong();
    // Muting again keeps the volume from before the first time, not the silence.
    song.volume = isMuting_ && mutedSong_ ? mutedSong_->volume : volume;
    mutedSong_ = song;
    mutedStation_ = playingStation_;
    mutedStationStopped_ = false;
    mutingOptions_ = 1;
    isMuting_ = true;
    return true;
}

bool PlaySession::mutingShouldContinue() const {
    if (!isMuting_ || !isPlaying() || !currentTrack_ || mutingOptions_ != 1 || !mutedSong_) return false;
    const MutedSong now = currentSong();
    return now.songName == mutedSong_->songName && now.songAlbum == mutedSong_->songAlbum &&
           now.songArtist == mutedSong_->songArtist;
}

std::optional<float> PlaySession::undoMuting() {
    if (!isMuting_ || !mutedSong_) return std::nullopt;
    isMuting_ = false;
    const float volume = mutedSong_->volume;
    mutedSong_.reset();
    mutedStation_.reset();
    mutingOptions_ = 0;
    return volume;
}

void PlaySession::stopMuting() {
    isMuting_ = false;
    mutedSong_.reset();
    mutedStation_.reset();
    mutingOptions_ = 0;
}

bool PlaySession::playingStationEndsMuting() {
    if (!isMuting_) return false;
    if (!playingStation_) {
        mutedStationStopped_ = true;
        return false;
    }
    return playingStation_ != mutedStation_ || mutedStationStopped_;
}
