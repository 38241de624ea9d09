#include "app/radio/ZYMRadioService.h"

#include <QUrl>

#include <algorithm>

#include "app/foundation/Clock.h"
#include "app/foundation/NotificationCenter.h"
#include "app/foundation/PropertyList.h"
#include "app/radio/RadioServiceListener.h"
#include "app/foundation/Resources.h"
#include "app/foundation/ServiceLayerError.h"
#include "dms/radio3/DMRadio3Service.h"
#include "engine/SysNetworkConnectivity.h"
#include "runtime/LogMessage.h"

namespace {

QByteArray utf8(const QString& s) { return s.toUtf8(); }

// A bundle list of strings; the built-in one when the resource is absent, and also,
// logged once per read, when it exists but is no array of strings: a broken resource
// must not leave every station unplayable.
QStringList supportedList(const QString& name, const QStringList& builtIn) {
    const QString path = Resources::find(name, QStringLiteral("plist"));
    if (path.isEmpty()) return builtIn;
    const auto value = PropertyList::readFile(path);
    if (value && value->typeId() == QMetaType::QVariantList) {
        QStringList list;
        bool allStrings = true;
        for (const QVariant& item : value->toList()) {
            if (item.typeId() != QMetaType::QString) allStrings = false;
            list.append(item.toString());
        }
        if (allStrings) return list;
    }
    LogMessage(kLogError, "Unreadable supported-format list %s; using the built-in one\n", utf8(path).constData());
    return builtIn;
}

}  // namespace

ZYMRadioService::ZYMRadioService(ZYMServiceEnvironment environment, RadioEnvironment radio)
    : ZYMGenericService(environment), radioEnv_(std::move(radio)) {
    filteredArraysAreStale_ = true;
    stationMaxPresets_ = 5;
    ensureStationPresetArray();
    resetInformationLoading();
}

ZYMRadioService::~ZYMRadioService() {
    informationRefreshTimer_.reset();
    // The generic service deletes the core object after this; it must not reach a
    // listener that is gone.
    if (auto* radio = dynamic_cast<DMRadio3Service*>(genericService())) radio->SetListener(nullptr);
    radioService_ = nullptr;
    serviceListener_.reset();
}

DMRadio3Service& ZYMRadioService::ensureRadioService() const {
    if (!radioService_) throw ServiceLayerError(kImplementationError, "Radio service not available");
    return *radioService_;
}

// --- hand-over, loss, sign-on flow ---

void ZYMRadioService::retireGenericService(std::unique_ptr<DMGenericService> service) {
    if (auto* radio = dynamic_cast<DMRadio3Service*>(service.get())) {
        radio->SetListener(nullptr);
        if (radioService_ == radio) radioService_ = nullptr;
    }
    ZYMGenericService::retireGenericService(std::move(service));
}

void ZYMRadioService::serviceRequestSucceeded(DMGenericService* service) {
    // The object held before, lost or not, has been retired by now; its listener goes
    // with it, before the new object gets the cache.
    radioService_ = nullptr;
    serviceListener_.reset();
    ZYMGenericService::serviceRequestSucceeded(service);

    auto* radio = dynamic_cast<DMRadio3Service*>(service);
    if (!radio) throw ServiceLayerError(kImplementationError, "Can't get radio service");
    radioService_ = radio;
    serviceListener_ = std::make_unique<RadioServiceListener>(this);
    radio->SetListener(serviceListener_.get());
    if (radioDelegate_) radioDelegate_->serviceRequestDone(true);
    preloadInformation(true, true);
    startInformationRefreshTimer();
}

void ZYMRadioService::serviceRequestFailedWithReason(int reason) {
    ZYMGenericService::serviceRequestFailedWithReason(reason);
    if (radioDelegate_) radioDelegate_->serviceRequestDone(false);
}

void ZYMRadioService::serviceDidBecomeInvalidWithReason(const QString& reason) {
    // The core object itself stays held: a lost one may still deliver a result. What
    // its load received is written now, not when the object goes.
    holdCacheWrites(false);
    radioService_ = nullptr;
    genres_.reset();
    genresDict_.reset();
    stations_.reset();
    stationsDict_.reset();
    resetInformationLoading();
    setServiceAvailable(false);
    ZYMGenericService::serviceDidBecomeInvalidWithReason(reason);
}

int ZYMRadioService::shouldMethodFailureInvalidateService(DMServiceRequestToken* token) {
    const int verdict = ZYMGenericService::shouldMethodFailureInvalidateService(token);
    const std::string host = radioEnv_.reachabilityHost.empty() ? QUrl(provider().serviceURL()).host().toStdString()
                                                                : radioEnv_.reachabilityHost;
    const bool reachable = radioEnv_.isNetworkAddressReachable ? radioEnv_.isNetworkAddressReachable(host)
                                                               : IsNetworkAddressReachable(host.c_str());
    return reachable ? verdict : 2;
}

void ZYMRadioService::credentialsTimerTask(const QString& userName) {
    if (genericService()) genericService()->ResetCache();
    ZYMGenericService::credentialsTimerTask(userName);
}

void ZYMRadioService::authenticationStartingForUsername(const QString& userName) {
    ZYMGenericService::authenticationStartingForUsername(userName);
    notifyAuthenticationStartedForUsername(userName);
}

void ZYMRadioService::authenticationSucceeded() {
    ZYMGenericService::authenticationSucceeded();
    if (radioDelegate_) radioDelegate_->authenticationDone(true);
}

void ZYMRadioService::authenticationFailedWithReason(int reason) {
    ZYMGenericService::authenticationFailedWithReason(reason);
    if (!radioDelegate_) return;
    if (reason == 3)
        radioDelegate_->authenticationCancelled();
    else
        radioDelegate_->authenticationDone(false);
}

// --- look-ups ---

std::shared_ptr<ZYMRadioStation> ZYMRadioService::stationWithID(const QString& stationID) const {
    if (!stationsDict_) return nullptr;
    if (auto it = stationsDict_->constFind(stationID); it != stationsDict_->constEnd()) return *it;
    QString key = stationID;
    if (key.size() >= 2 && ((key.startsWith('"') && key.endsWith('"')) || (key.startsWith('\'') && key.endsWith('\''))))
        key = key.mid(1, key.size() - 2);
    static const QString kAggregate = QStringLiteral("radio:aggregate:");
    static const QString kRadio3 = QStringLiteral("radio3:");
    if (key.startsWith(kAggregate)) {
        // used as it is
    } else if (key.startsWith(kRadio3)) {
        key = key.mid(kRadio3.size());
    } else if (std::all_of(key.begin(), key.end(), [](QChar c) { return c.isDigit(); })) {
        key = kAggregate + key;
    }
    if (auto it = stationsDict_->constFind(key); it != stationsDict_->constEnd()) return *it;
    return nullptr;
}

std::shared_ptr<ZYMRadioStation> ZYMRadioService::stationWithName(const QString& name) const {
    if (!stations_) return nullptr;
    for (const auto& station : *stations_)
        if (station->name().compare(name, Qt::CaseInsensitive) == 0) return station;
    return nullptr;
}

std::shared_ptr<ZYMRadioStation> ZYMRadioService::stationWithProgId(const QString& progId) const {
    if (!stations_) return nullptr;
    for (const auto& station : *stations_) {
        if (!station->formats()) continue;
        const QString qualified = station->stationID() + ',' + progId;
        for (const auto& format : *station->formats()) {
            const QString id = format->progID();
            if (id.compare(progId, Qt::CaseInsensitive) == 0 || id.compare(qualified, Qt::CaseInsensitive) == 0)
                return station;
        }
    }
    return nullptr;
}

std::shared_ptr<ZYMRadioGenre> ZYMRadioService::genreWithID(const QString& genreID) const {
    if (!genresDict_) return nullptr;
    return genresDict_->value(genreID);
}

bool ZYMRadioService::haveAllStationInfo() const {
    if (!stations_ || stations_->empty()) return false;
    return std::all_of(stations_->begin(), stations_->end(), [](const auto& s) { return s->haveStationInfo(); });
}

// --- filter ---

QStringList ZYMRadioService::supportedRadioMediaFormatClasses() {
    return supportedList(QStringLiteral("SupportedRadioMediaFormatClasses"), {QStringLiteral("audio")});
}

QStringList ZYMRadioService::supportedRadioMediaFormatProtocols() {
    // The resource name's spelling is the one bundles carry.
    return supportedList(QStringLiteral("SupportedRadioMediaFormatProtcols"),
                         {QStringLiteral("qint:"), QStringLiteral("http:")});
}

QStringList ZYMRadioService::supportedRadioMediaFormatCodecs() {
    return supportedList(QStringLiteral("SupportedRadioMediaFormatCodecs"),
                         {QStringLiteral("MP3"), QStringLiteral("VLB")});
}

ZYMRadioService::SupportedFormats ZYMRadioService::supportedFormats() {
    return {supportedRadioMediaFormatClasses(), supportedRadioMediaFormatProtocols(),
            supportedRadioMediaFormatCodecs()};
}

ZYMRadioStationFormat::List ZYMRadioService::stationFormats(const QString& stationID, int bitsPerSecond) const {
    const auto station = stationWithID(stationID);
    if (!station) return {};
    return stationFormats(*station, bitsPerSecond, supportedFormats());
}

ZYMRadioStationFormat::List ZYMRadioService::stationFormats(const ZYMRadioStation& station, int bitsPerSecond,
                                                            const SupportedFormats& supported) const {
    if (!station.formats() || station.formats()->empty()) {
        LogMessage(kLogInfo, "Station %s [%s] contains no Station Formats\n", utf8(station.stationID()).constData(),
                   utf8(station.name()).constData());
        return {};
    }
    const QStringList& classes = supported.classes;
    const QStringList& protocols = supported.protocols;
    const QStringList& codecs = supported.codecs;
    ZYMRadioStationFormat::List usable;
    for (const auto& format : *station.formats()) {
        const auto media = mediaFormats_.value(format->formatID());
        if (!media) continue;
        const bool ok = std::any_of(media->theChannels().begin(), media->theChannels().end(), [&](const auto& c) {
            return classes.contains(c->theClass()) && codecs.contains(c->theCodec()) &&
                   protocols.contains(c->theProto()) && c->theBitrate() <= bitsPerSecond;
        });
        if (ok && std::find(usable.begin(), usable.end(), format) == usable.end()) usable.push_back(format);
    }
    return ZYMRadioStationFormat::sortedByPriority(std::move(usable));
}

std::shared_ptr<ZYMRadioStationFormat> ZYMRadioService::chooseBestFormat(const QString& stationID,
                                                                         int bandwidthLimit) const {
    const auto formats = stationFormats(stationID, bandwidthLimit);
    if (formats.empty()) return nullptr;
    LogMessage(kLogInfo, "Choosing media format: %s\n", utf8(formats.front()->formatID()).constData());
    return formats.front();
}

ZYMRadioStationList ZYMRadioService::stations(int bitsPerSecond) const {
    ZYMRadioStationList result;
    if (!stations_) return result;
    // Read once for the whole directory, not once per station from disk.
    const SupportedFormats supported = supportedFormats();
    for (const auto& station : *stations_) {
        const auto& mode = station->playMode();
        const bool playable = !mode || mode->compare(QLatin1String("full"), Qt::CaseInsensitive) == 0 ||
                              mode->compare(QLatin1String("sample"), Qt::CaseInsensitive) == 0;
        if (playable && !stationFormats(*station, bitsPerSecond, supported).empty()) result.push_back(station);
    }
    return result;
}

ZYMRadioGenreList ZYMRadioService::genresOfStations(const ZYMRadioStationList& stations) const {
    ZYMRadioGenreList result;
    for (const auto& station : stations) {
        for (const QString& id : station->genreIDs()) {
            const auto genre = genreWithID(id);
            if (genre && std::find(result.begin(), result.end(), genre) == result.end()) result.push_back(genre);
        }
    }
    return result;
}

void ZYMRadioService::rebuildFilteredArraysWithBandwidth(int bitsPerSecond) {
    filteredStations_ = stations(bitsPerSecond);
    filteredGenres_ = genresOfStations(filteredStations_);
    rebuildFilteredInternalReferences();
    filteredArraysAreStale_ = false;
    notifyRadioFilteredInformationDidChange();
}

void ZYMRadioService::rebuildFilteredInternalReferences() {
    QSet<QString> genreIDs;
    for (const auto& genre : filteredGenres_)
        genreIDs.insert(genre->genreID());
    QSet<QString> stationIDs;
    for (const auto& station : filteredStations_)
        stationIDs.insert(station->stationID());
    for (const auto& genre : filteredGenres_) {
        ZYMRadioStationList kept;
        for (const auto& station : genre->unfilteredRadioStations()) {
            if (stationIDs.contains(station->stationID())) {
                kept.push_back(station);
            } else {
                LogMessage(kLogDebug,
                           "rebuildFilteredInternalReferences - genre [%s] - remove reference to filtered out "
                           "station [%s,%s]\n",
                           utf8(genre->genreID()).constData(), utf8(station->stationID()).constData(),
                           utf8(station->name()).constData());
            }
        }
        genre->setRadioStations(kept);
    }
    for (const auto& station : filteredStations_) {
        QStringList kept;
        for (const QString& id : station->unfilteredGenreIDs()) {
            if (genreIDs.contains(id)) {
                kept.append(id);
            } else {
                LogMessage(kLogDebug,
                           "rebuildFilteredInternalReferences - station [%s,%s] - remove reference to filtered "
                           "out genre [%s]\n",
                           utf8(station->stationID()).constData(), utf8(station->name()).constData(),
                           utf8(id).constData());
            }
        }
        station->setGenreIDs(kept);
    }
}

// --- delegate or notification ---

void ZYMRadioService::notify(const QString& name, Delegated (RadioServiceDelegate::*message)()) {
    if (radioDelegate_ && (radioDelegate_->*message)() == Delegated::Handled) return;
    notifications().post(name, this);
}

void ZYMRadioService::notifyDetails(const QString& name,
                                    Delegated (RadioServiceDelegate::*message)(const std::optional<QString>&),
                                    const std::optional<QString>& stationID) {
    if (radioDelegate_ && (radioDelegate_->*message)(stationID) == Delegated::Handled) return;
    NotificationCenter::UserInfo info;
    if (stationID) info[QStringLiteral("object1")] = *stationID;
    notifications().post(name, this, std::move(info));
}

void ZYMRadioService::notifyAuthenticationStartedForUsername(const QString& userName) {
    if (radioDelegate_ && radioDelegate_->authenticationStartedForUsername(userName) == Delegated::Handled) return;
    notifications().post(RadioServiceNotification::kAuthenticationForUsernameDidStart, this,
                         {{QStringLiteral("object1"), userName}});
}

namespace N = RadioServiceNotification;
using D = RadioServiceDelegate;

void ZYMRadioService::notifyRadioInformationWillLoad() {
    notify(N::kInformationWillLoad, &D::radioServiceInformationWillLoad);
}
void ZYMRadioService::notifyRadioServerInformationWillLoad() {
    notify(N::kServerInformationWillLoad, &D::radioServiceServerInformationWillLoad);
}
void ZYMRadioService::notifyRadioInformationDidLoad() {
    notify(N::kInformationDidLoad, &D::radioServiceInformationDidLoad);
}
void ZYMRadioService::notifyRadioServerInformationDidFail() {
    notify(N::kServerInformationDidFail, &D::radioServiceServerInformationDidFail);
}
void ZYMRadioService::notifyRadioCachedInformationDidLoad() {
    notify(N::kCachedInformationDidLoad, &D::radioServiceCachedInformationDidLoad);
}
void ZYMRadioService::notifyRadioFilteredInformationDidChange() {
    notify(N::kFilteredInformationDidChange, &D::radioServiceFilteredInformationDidChange);
}
void ZYMRadioService::notifyRadioStationsWillLoad() { notify(N::kStationsWillLoad, &D::radioServiceStationsWillLoad); }
void ZYMRadioService::notifyRadioStationsDidLoad() { notify(N::kStationsDidLoad, &D::radioServiceStationsDidLoad); }
void ZYMRadioService::notifyRadioStationDetailsWillLoad(const std::optional<QString>& stationID) {
    notifyDetails(N::kStationDetailsWillLoad, &D::radioServiceStationDetailsWillLoad, stationID);
}
void ZYMRadioService::notifyRadioStationDetailsDidLoad(const std::optional<QString>& stationID) {
    notifyDetails(N::kStationDetailsDidLoad, &D::radioServiceStationDetailsDidLoad, stationID);
}
void ZYMRadioService::notifyRadioGenresWillLoad() { notify(N::kGenresWillLoad, &D::radioServiceGenresWillLoad); }
void ZYMRadioService::notifyRadioGenresDidLoad() { notify(N::kGenresDidLoad, &D::radioServiceGenresDidLoad); }
void ZYMRadioService::notifyRadioMediaFormatsWillLoad() {
    notify(N::kMediaFormatsWillLoad, &D::radioServiceMediaFormatsWillLoad);
}
void ZYMRadioService::notifyRadioMediaFormatsDidLoad() {
    notify(N::kMediaFormatsDidLoad, &D::radioServiceMediaFormatsDidLoad);
}
void ZYMRadioService::notifyRadioMaxPresetsWillLoad() {
    notify(N::kMaxPresetsWillLoad, &D::radioServiceMaxPresetsWillLoad);
}
void ZYMRadioService::notifyRadioMaxPresetsDidLoad() {
    notify(N::kMaxPresetsDidLoad, &D::radioServiceMaxPresetsDidLoad);
}
void ZYMRadioService::notifyRadioPresetsWillLoad() { notify(N::kPresetsWillLoad, &D::radioServicePresetsWillLoad); }
void ZYMRadioService::notifyRadioPresetsDidLoad() { notify(N::kPresetsDidLoad, &D::radioServicePresetsDidLoad); }
