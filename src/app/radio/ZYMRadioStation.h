#pragma once

// Stations, genres and the playing track as the application sees them, made by the radio
// service from the directory's values. Objects are shared (std::shared_ptr) and equal
// by identifier. A station's formats, banners and images are immutable lists that
// copies share.

#include "app/radio/ZYMModelObject.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class ZYMRadioStationFormat;
class ZYMRadioStationBanner;
class ZYMRadioStationImage;
class ZYMRadioStation;

using ZYMRadioStationFormats = std::shared_ptr<const std::vector<std::shared_ptr<ZYMRadioStationFormat>>>;
using ZYMRadioStationBanners = std::shared_ptr<const std::vector<std::shared_ptr<const ZYMRadioStationBanner>>>;
using ZYMRadioStationImages = std::shared_ptr<const std::vector<std::shared_ptr<const ZYMRadioStationImage>>>;
using ZYMRadioStationList = std::vector<std::shared_ptr<ZYMRadioStation>>;

class ZYMRadioStation : public ZYMModelObject {
public:
    // Station type values of setStationTypeWithString.
    enum : int { kTypeZYM = 0, kTypeLive = 1, kTypeUser = 2, kTypeOther = 3 };

    ZYMRadioStation(const QString& name, const QString& stationID, const QStringList& genreIDs = {});
    static std::shared_ptr<ZYMRadioStation> create(const QString& name, const QString& stationID,
                                                   const QStringList& genreIDs = {});

    // A copy drops what belongs to one use of the station: no URL, neither flag set.
    // The format, banner and image lists are shared with this station.
    std::shared_ptr<ZYMRadioStation> clone() const;
    ZYMRadioStation(const ZYMRadioStation&) = delete;
    ZYMRadioStation& operator=(const ZYMRadioStation&) = delete;

    const QString& name() const { return name_; }
    // Absent until station information arrives.
    const std::optional<QString>& stationDescription() const { return description_; }
    const QString& stationID() const { return stationID_; }
    // Absent unless set; the radio service never sets it.
    const std::optional<QString>& url() const { return url_; }
    const std::optional<QString>& albumArtBaseURL() const { return albumArtBaseURL_; }
    const std::optional<QString>& playMode() const { return playMode_; }
    int stationType() const { return stationType_; }
    const QStringList& genreIDs() const { return genreIDs_; }
    const QStringList& unfilteredGenreIDs() const { return unfilteredGenreIDs_; }
    // Null until station information arrives.
    const ZYMRadioStationFormats& formats() const { return formats_; }
    // Never null; empty at first.
    const ZYMRadioStationBanners& banners() const { return banners_; }
    const ZYMRadioStationImages& images() const { return images_; }
    bool stationInfoPending() const { return infoPending_; }
    bool haveStationInfo() const { return haveInfo_; }

    void setStationDescription(std::optional<QString> text) { description_ = std::move(text); }
    void setUrl(std::optional<QString> url) { url_ = std::move(url); }
    void setAlbumArtBaseURL(std::optional<QString> url) { albumArtBaseURL_ = std::move(url); }
    void setPlayMode(std::optional<QString> mode) { playMode_ = std::move(mode); }
    void setFormats(ZYMRadioStationFormats formats) { formats_ = std::move(formats); }
    // Null gives an empty list: the lists are never absent.
    void setBanners(ZYMRadioStationBanners banners);
    void setImages(ZYMRadioStationImages images);
    void setStationType(int type) { stationType_ = type; }
    // "zym", "live", "user" in any case give 0, 1, 2; anything else 3.
    void setStationTypeWithString(const QString& type);
    void setStationInfoPending(bool pending) { infoPending_ = pending; }
    // Once set it stays set.
    void setHaveStationInfo() { haveInfo_ = true; }

    // Replacing keeps the given order, duplicates included; adding skips an identifier
    // already listed. The unfiltered list has no remove.
    void setGenreIDs(const QStringList& ids) { genreIDs_ = ids; }
    void setUnfilteredGenreIDs(const QStringList& ids) { unfilteredGenreIDs_ = ids; }
    void addGenreID(const QString& id);
    void addUnfilteredGenreID(const QString& id);
    // Removes every equal identifier.
    void removeGenreID(const QString& id);

    // "ZYMRadioStation <identifier> <name>".
    QString description() const override;
    // Exactly a station (not a subclass) with an equal identifier.
    bool isEqual(const ZYMModelObject& other) const override;

private:
    QString name_;
    std::optional<QString> description_;
    QString stationID_;
    std::optional<QString> url_;
    std::optional<QString> albumArtBaseURL_;
    std::optional<QString> playMode_;
    int stationType_ = kTypeOther;
    QStringList genreIDs_;
    QStringList unfilteredGenreIDs_;
    ZYMRadioStationFormats formats_;
    ZYMRadioStationBanners banners_;
    ZYMRadioStationImages images_;
    bool infoPending_ = false;
    bool haveInfo_ = false;
};

class ZYMRadioGenre : public ZYMModelObject {
public:
    ZYMRadioGenre(const QString& name, const QString& description, const QString& genreID);
    static std::shared_ptr<ZYMRadioGenre> create(const QString& name, const QString& description,
                                                 const QString& genreID);

    // Name, description and identifier; no stations.
    std::shared_ptr<ZYMRadioGenre> clone() const;
    ZYMRadioGenre(const ZYMRadioGenre&) = delete;
    ZYMRadioGenre& operator=(const ZYMRadioGenre&) = delete;

    const QString& name() const { return name_; }
    const QString& genreDescription() const { return description_; }
    const QString& genreID() const { return genreID_; }
    // The stations that pass the current filter, and all of them.
    const ZYMRadioStationList& radioStations() const { return stations_; }
    const ZYMRadioStationList& unfilteredRadioStations() const { return unfilteredStations_; }

    void setRadioStations(const ZYMRadioStationList& stations) { stations_ = stations; }
    void setUnfilteredRadioStations(const ZYMRadioStationList& stations) { unfilteredStations_ = stations; }
    // Adding skips a station equal (same identifier) to one listed.
    void addStation(const std::shared_ptr<ZYMRadioStation>& station);
    void addUnfilteredStation(const std::shared_ptr<ZYMRadioStation>& station);
    // Removes every equal station from the filtered list.
    void removeStation(const ZYMRadioStation& station);

    // "ZYMRadioGenre <identifier> <name>".
    QString description() const override;
    bool isEqual(const ZYMModelObject& other) const override;

private:
    QString name_;
    QString description_;
    QString genreID_;
    ZYMRadioStationList unfilteredStations_;
    ZYMRadioStationList stations_;
};

class ZYMRadioTrack : public ZYMModelObject {
public:
    ZYMRadioTrack(const QString& name, const QString& artistName, const QString& albumName)
        : name_(name), artistName_(artistName), albumName_(albumName) {}
    // A track is a plain value: copies keep all three texts.
    ZYMRadioTrack(const ZYMRadioTrack&) = default;
    ZYMRadioTrack& operator=(const ZYMRadioTrack&) = default;

    const QString& name() const { return name_; }
    const QString& artistName() const { return artistName_; }
    const QString& albumName() const { return albumName_; }

    // "ZYMRadioTrack <name> <artist> <album>".
    QString description() const override;

private:
    QString name_;
    QString artistName_;
    QString albumName_;
};
