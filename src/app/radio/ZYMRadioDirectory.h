#pragma once

// The directory the radio service holds: genres, stations, station formats and media
// formats, taken in from what the core holds (its answers of this run, or the user's
// cache restored before any answer); the look-ups by identifier, name and program
// identifier; the bandwidth and codec filter; and the day rule that decides whether a
// load may start from the cache.

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

#include "app/radio/ZYMRadioStation.h"
#include "app/radio/ZYMRadioStationFormat.h"

class DMRadio3_MediaFormatType;
class DMRadio3_StationFormatType;
class DMRadio3_StationInfoType;
class ZYMRadioService;

using ZYMRadioGenreList = std::vector<std::shared_ptr<ZYMRadioGenre>>;

class ZYMRadioDirectory {
public:
    explicit ZYMRadioDirectory(ZYMRadioService& service) : service_(service) {}

    // --- held model, look-ups and filter ---
    // Null while absent (before the first load, after the loss of the service).
    const ZYMRadioStationList* stations() const { return stations_ ? &*stations_ : nullptr; }
    const ZYMRadioGenreList* genres() const { return genres_ ? &*genres_ : nullptr; }
    const ZYMRadioStationList& filteredStations() const { return filteredStations_; }
    const ZYMRadioGenreList& filteredGenres() const { return filteredGenres_; }
    bool filteredArraysAreStale() const { return filteredArraysAreStale_; }
    std::shared_ptr<ZYMRadioStation> stationWithID(const QString& stationID) const;
    // Only the identifier as held, no aliases.
    std::shared_ptr<ZYMRadioStation> storedStation(const QString& stationID) const {
        return stationsDict_ ? stationsDict_->value(stationID) : nullptr;
    }
    std::shared_ptr<ZYMRadioStation> stationWithName(const QString& name) const;
    std::shared_ptr<ZYMRadioStation> stationWithProgId(const QString& progId) const;
    std::shared_ptr<ZYMRadioGenre> genreWithID(const QString& genreID) const;
    bool haveAllStationInfo() const;
    void rebuildFilteredArraysWithBandwidth(int bitsPerSecond);
    ZYMRadioStationFormat::List stationFormats(const QString& stationID, int bitsPerSecond) const;
    std::shared_ptr<ZYMRadioStationFormat> chooseBestFormat(const QString& stationID, int bandwidthLimit) const;
    ZYMRadioStationList stations(int bitsPerSecond) const;
    ZYMRadioGenreList genresOfStations(const ZYMRadioStationList& stations) const;
    static QStringList supportedRadioMediaFormatClasses();
    static QStringList supportedRadioMediaFormatProtocols();
    static QStringList supportedRadioMediaFormatCodecs();
    const QHash<QString, std::shared_ptr<ZYMRadioMediaFormat>>& mediaFormats() const { return mediaFormats_; }
    std::size_t stationFormatCount() const { return stationFormats_.size(); }

    // --- taken in, cleared, and the day's cache ---
    static bool sameGMTDay(const QDateTime& loadDate, const QDateTime& now);
    bool cacheIsGood();
    void loadInformationFromCache();
    void cachedInformationLoaded();
    void loadGenresFromCache(bool notify);
    void loadStationsFromCache(bool notify);
    void loadStationInfosFromCache(bool notify);
    void loadMediaFormatsFromCache(bool notify);
    void clearStations(bool notify);
    void clearGenres(bool notify);
    void clearMediaFormats(bool notify);
    void clearCacheableInformation();
    // The service was lost: the model is absent until the next load.
    void dropStationsAndGenres();
    void updateInfoForStation(const DMRadio3_StationInfoType& info);
    std::shared_ptr<ZYMRadioStationFormat> ensureRadioFormat(const DMRadio3_StationFormatType& format);
    // Media formats the server answered, given to every station format that names them.
    void takeMediaFormats(const std::vector<DMRadio3_MediaFormatType>& formats);
    bool mediaFormatsMissing() const;

private:
    void rebuildFilteredInternalReferences();
    void applyStationGenres(const std::shared_ptr<ZYMRadioStation>& station, const QStringList& genreIDs);
    // The supported classes, protocols and codecs, read from their resources once per use.
    struct SupportedFormats {
        QStringList classes, protocols, codecs;
    };
    static SupportedFormats supportedFormats();
    ZYMRadioStationFormat::List stationFormats(const ZYMRadioStation& station, int bitsPerSecond,
                                               const SupportedFormats& supported) const;

    ZYMRadioService& service_;
    std::optional<ZYMRadioGenreList> genres_;
    std::optional<QHash<QString, std::shared_ptr<ZYMRadioGenre>>> genresDict_;
    std::optional<ZYMRadioStationList> stations_;
    std::optional<QHash<QString, std::shared_ptr<ZYMRadioStation>>> stationsDict_;
    ZYMRadioStationList filteredStations_;
    ZYMRadioGenreList filteredGenres_;
    bool filteredArraysAreStale_ = true;
    QHash<QString, std::shared_ptr<ZYMRadioStationFormat>> stationFormats_;
    QHash<QString, std::shared_ptr<ZYMRadioMediaFormat>> mediaFormats_;
};
