#include "app/radio/ZYMRadioStationState.h"

#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/ZYMStringUtils.h"
#include "dms/radio3/DMRadio3Types.h"

#include <charconv>

// --- ZYMRadioStationState ---

ZYMRadioStationState::ZYMRadioStationState() = default;

ZYMRadioStationState::ZYMRadioStationState(const DMRadio3_StationStateType& state)
    : state_(std::make_unique<DMRadio3_StationStateType>(state)) {}

ZYMRadioStationState::~ZYMRadioStationState() = default;

std::optional<QString> ZYMRadioStationState::stationID() const {
    if (stationID_) return stationID_;
    if (state_) return stringWith_stdstring(state_->mStationId.GetValue());
    return std::nullopt;
}

bool ZYMRadioStationState::canGetTrackDetails() const { return state_ && !state_->mTracks.empty(); }

const DMRadio3_TrkInfoType& ZYMRadioStationState::trackDetails() const {
    if (!canGetTrackDetails()) throw ServiceLayerError(kImplementationError, "Can't get track details");
    return state_->mTracks.front();
}

std::optional<QString> ZYMRadioStationState::currentTrackTitle() const {
    if (!canGetTrackDetails()) return std::nullopt;
    return stringWith_LocString(trackDetails().mTrackTitle);
}

std::optional<QString> ZYMRadioStationState::currentTrackAlbumTitle() const {
    if (!canGetTrackDetails()) return std::nullopt;
    return stringWith_LocString(trackDetails().mAlbumTitle);
}

std::optional<QString> ZYMRadioStationState::currentTrackArtistName() const {
    if (!canGetTrackDetails()) return std::nullopt;
    return stringWith_LocString(trackDetails().mArtistName);
}

QString ZYMRadioStationState::comingNext() const { return textWith_LocString(trackDetails().mNext); }

namespace {

double seconds(std::int32_t milliseconds) { return milliseconds == -1 ? -1.0 : milliseconds / 1000.0; }

}  // namespace

double ZYMRadioStationState::trackDuration() const { return seconds(trackDetails().mDuration); }

double ZYMRadioStationState::trackTime() const { return seconds(trackDetails().mTime); }

int ZYMRadioStationState::currentTrackType() const {
    if (!canGetTrackDetails()) return kTrackOther;
    const std::string& type = trackDetails().mType;
    if (type == "song") return kTrackSong;
    if (type == "promo") return kTrackPromo;
    return kTrackOther;
}

QString ZYMRadioStationState::description() const { return ZYMDefaultDescription("ZYMRadioStationState", this); }

// --- ZYMRadioStationBanner ---

QString ZYMStringFromSize(ZYMSize size) {
    auto number = [](float value) {
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, double(value), std::chars_format::general, 6).ptr;
        return QString::fromLatin1(text, end - text);
    };
    return u'{' + number(size.width) + QStringLiteral(", ") + number(size.height) + u'}';
}

ZYMRadioStationBanner::ZYMRadioStationBanner(const DMRadio3_BannerType& banner)
    : bannerId_(textWith_stdstring(banner.mBannerId)),
      flavorId_(textWith_stdstring(banner.mFlavorId)),
      magicNumber_(textWith_stdstring(banner.mMagicNumber)),
      imageURL_(QLatin1String("")),
      size_{float(banner.mWidth), float(banner.mHeight)} {}

ZYMRadioStationBanner::ZYMRadioStationBanner(const QString& bannerId, const QString& flavorId,
                                             const QString& magicNumber, const QString& imageURL, ZYMSize size)
    : bannerId_(bannerId), flavorId_(flavorId), magicNumber_(magicNumber), imageURL_(imageURL), size_(size) {}

std::shared_ptr<ZYMRadioStationBanner> ZYMRadioStationBanner::withFlavor(const QString& bannerId,
                                                                         const QString& flavorId,
                                                                         const QString& magicNumber) {
    return std::make_shared<ZYMRadioStationBanner>(bannerId, flavorId, magicNumber, QLatin1String(""), ZYMSize{});
}

std::shared_ptr<ZYMRadioStationBanner> ZYMRadioStationBanner::withImageURL(const QString& bannerId,
                                                                           const QString& imageURL,
                                                                           const QString& magicNumber) {
    return std::make_shared<ZYMRadioStationBanner>(bannerId, QLatin1String(""), magicNumber, imageURL, ZYMSize{});
}

QString ZYMRadioStationBanner::description() const {
    return QStringLiteral("id = ") + bannerId_ + QStringLiteral(", flavor = ") + flavorId_ +
           QStringLiteral(", magicNumber = ") + magicNumber_ + QStringLiteral(", imageURL = ") + imageURL_ +
           QStringLiteral(", size = ") + ZYMStringFromSize(size_);
}

// --- ZYMRadioStationImage ---

ZYMRadioStationImage::ZYMRadioStationImage(const DMRadio3_ImageType& image)
    : url_(textWith_stdstring(image.mUrl)),
      type_(textWith_stdstring(image.mType)),
      width_(image.mWidth),
      height_(image.mHeight),
      colorDepth_(image.mColorDepth) {}

QString ZYMRadioStationImage::description() const { return ZYMDefaultDescription("ZYMRadioStationImage", this); }
