#include "app/radio/ZYMRadioStation.h"

#include "app/radio/ZYMRadioStationFormat.h"
#include "app/radio/ZYMRadioStationState.h"

#include <typeinfo>

namespace {

template <class List>
std::shared_ptr<const List> emptyList() {
    return std::make_shared<const List>();
}

}  // namespace

// --- ZYMRadioStation ---

ZYMRadioStation::ZYMRadioStation(const QString& name, const QString& stationID, const QStringList& genreIDs)
    : name_(name),
      stationID_(stationID),
      genreIDs_(genreIDs),
      banners_(emptyList<ZYMRadioStationBanners::element_type>()),
      images_(emptyList<ZYMRadioStationImages::element_type>()) {}

std::shared_ptr<ZYMRadioStation> ZYMRadioStation::create(const QString& name, const QString& stationID,
                                                         const QStringList& genreIDs) {
    return std::make_shared<ZYMRadioStation>(name, stationID, genreIDs);
}

std::shared_ptr<ZYMRadioStation> ZYMRadioStation::clone() const {
    auto copy = create(name_, stationID_, genreIDs_);
    copy->setStationDescription(description_);
    copy->setAlbumArtBaseURL(albumArtBaseURL_);
    copy->setFormats(formats_);
    copy->setBanners(banners_);
    copy->setImages(images_);
    copy->setGenreIDs(genreIDs_);
    copy->setUnfilteredGenreIDs(unfilteredGenreIDs_);
    copy->setPlayMode(playMode_);
    copy->setStationType(stationType_);
    return copy;
}

void ZYMRadioStation::setBanners(ZYMRadioStationBanners banners) {
    banners_ = banners ? std::move(banners) : emptyList<ZYMRadioStationBanners::element_type>();
}

void ZYMRadioStation::setImages(ZYMRadioStationImages images) {
    images_ = images ? std::move(images) : emptyList<ZYMRadioStationImages::element_type>();
}

void ZYMRadioStation::setStationTypeWithString(const QString& type) {
    if (type.compare(QLatin1String("zym"), Qt::CaseInsensitive) == 0)
        stationType_ = kTypeZYM;
    else if (type.compare(QLatin1String("live"), Qt::CaseInsensitive) == 0)
        stationType_ = kTypeLive;
    else if (type.compare(QLatin1String("user"), Qt::CaseInsensitive) == 0)
        stationType_ = kTypeUser;
    else
        stationType_ = kTypeOther;
}

void ZYMRadioStation::addGenreID(const QString& id) {
    if (!genreIDs_.contains(id)) genreIDs_.append(id);
}

void ZYMRadioStation::addUnfilteredGenreID(const QString& id) {
    if (!unfilteredGenreIDs_.contains(id)) unfilteredGenreIDs_.append(id);
}

void ZYMRadioStation::removeGenreID(const QString& id) { genreIDs_.removeAll(id); }

QString ZYMRadioStation::description() const { return QStringLiteral("ZYMRadioStation ") + stationID_ + u' ' + name_; }

bool ZYMRadioStation::isEqual(const ZYMModelObject& other) const {
    if (typeid(other) != typeid(ZYMRadioStation)) return false;
    return static_cast<const ZYMRadioStation&>(other).stationID_ == stationID_;
}

// --- ZYMRadioGenre ---

ZYMRadioGenre::ZYMRadioGenre(const QString& name, const QString& description, const QString& genreID)
    : name_(name), description_(description), genreID_(genreID) {}

std::shared_ptr<ZYMRadioGenre> ZYMRadioGenre::create(const QString& name, const QString& description,
                                                     const QString& genreID) {
    return std::make_shared<ZYMRadioGenre>(name, description, genreID);
}

std::shared_ptr<ZYMRadioGenre> ZYMRadioGenre::clone() const { return create(name_, description_, genreID_); }

void ZYMRadioGenre::addStation(const std::shared_ptr<ZYMRadioStation>& station) {
    if (station && !ZYMContainsEqual(stations_, *station)) stations_.push_back(station);
}

void ZYMRadioGenre::addUnfilteredStation(const std::shared_ptr<ZYMRadioStation>& station) {
    if (station && !ZYMContainsEqual(unfilteredStations_, *station)) unfilteredStations_.push_back(station);
}

void ZYMRadioGenre::removeStation(const ZYMRadioStation& station) {
    std::erase_if(stations_, [&](const auto& s) { return s && s->isEqual(station); });
}

QString ZYMRadioGenre::description() const { return QStringLiteral("ZYMRadioGenre ") + genreID_ + u' ' + name_; }

bool ZYMRadioGenre::isEqual(const ZYMModelObject& other) const {
    if (typeid(other) != typeid(ZYMRadioGenre)) return false;
    return static_cast<const ZYMRadioGenre&>(other).genreID_ == genreID_;
}

// --- ZYMRadioTrack ---

QString ZYMRadioTrack::description() const {
    return QStringLiteral("ZYMRadioTrack ") + name_ + u' ' + artistName_ + u' ' + albumName_;
}
