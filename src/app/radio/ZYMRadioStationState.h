#pragma once

// What a station plays now, its advertising banners and its images.

#include "app/radio/ZYMModelObject.h"

#include <QString>

#include <memory>
#include <optional>

class DMRadio3_StationStateType;
class DMRadio3_TrkInfoType;
class DMRadio3_BannerType;
class DMRadio3_ImageType;

// The track details are the first track of the directory's state; without one the
// texts answer nothing, the type answers 2 and the other details are programming
// errors (ServiceLayerError "Implementation Error", "Can't get track details").
class ZYMRadioStationState : public ZYMModelObject {
public:
    enum : int { kTrackSong = 0, kTrackPromo = 1, kTrackOther = 2 };

    // No state of the directory and no identifier.
    ZYMRadioStationState();
    explicit ZYMRadioStationState(const DMRadio3_StationStateType& state);
    ~ZYMRadioStationState() override;
    ZYMRadioStationState(const ZYMRadioStationState&) = delete;
    ZYMRadioStationState& operator=(const ZYMRadioStationState&) = delete;

    // The identifier set here, else the state's own; absent when there is neither.
    std::optional<QString> stationID() const;
    void setStationID(std::optional<QString> id) { stationID_ = std::move(id); }

    bool canGetTrackDetails() const;
    const DMRadio3_TrkInfoType& trackDetails() const;
    std::optional<QString> currentTrackTitle() const;
    std::optional<QString> currentTrackAlbumTitle() const;
    std::optional<QString> currentTrackArtistName() const;
    QString comingNext() const;
    // Seconds; a stored -1 (not known) stays exactly -1.
    double trackDuration() const;
    double trackTime() const;
    // "song" 0, "promo" 1 (exactly, case matters), anything else and no track 2.
    int currentTrackType() const;

    QString description() const override;

private:
    std::unique_ptr<DMRadio3_StationStateType> state_;
    std::optional<QString> stationID_;
};

// Width and height, as the directory gives them.
struct ZYMSize {
    float width = 0.0f;
    float height = 0.0f;
    bool operator==(const ZYMSize&) const = default;
};

// "{width, height}", numbers as %g writes them in the "C" locale.
QString ZYMStringFromSize(ZYMSize size);

// The texts are never null: what is absent is the empty string.
class ZYMRadioStationBanner : public ZYMModelObject {
public:
    // From station information: no image URL (the banner's Image and Url are not used).
    explicit ZYMRadioStationBanner(const DMRadio3_BannerType& banner);
    // Named by track metadata: no size.
    static std::shared_ptr<ZYMRadioStationBanner> withFlavor(const QString& bannerId, const QString& flavorId,
                                                             const QString& magicNumber);
    static std::shared_ptr<ZYMRadioStationBanner> withImageURL(const QString& bannerId, const QString& imageURL,
                                                               const QString& magicNumber);
    ZYMRadioStationBanner(const QString& bannerId, const QString& flavorId, const QString& magicNumber,
                          const QString& imageURL, ZYMSize size);

    const QString& bannerId() const { return bannerId_; }
    const QString& flavorId() const { return flavorId_; }
    const QString& magicNumber() const { return magicNumber_; }
    const QString& imageURL() const { return imageURL_; }
    ZYMSize size() const { return size_; }

    // "id = …, flavor = …, magicNumber = …, imageURL = …, size = {w, h}".
    QString description() const override;

private:
    QString bannerId_;
    QString flavorId_;
    QString magicNumber_;
    QString imageURL_;
    ZYMSize size_;
};

class ZYMRadioStationImage : public ZYMModelObject {
public:
    explicit ZYMRadioStationImage(const DMRadio3_ImageType& image);
    // An image known only by its URL: no type, no measures.
    explicit ZYMRadioStationImage(const QString& url) : url_(url), type_(QLatin1String("")) {}

    const QString& url() const { return url_; }
    const QString& type() const { return type_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int colorDepth() const { return colorDepth_; }

    QString description() const override;

private:
    QString url_;
    QString type_;
    int width_ = 0;
    int height_ = 0;
    int colorDepth_ = 0;
};
