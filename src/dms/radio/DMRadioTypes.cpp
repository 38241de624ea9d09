#include "dms/radio/DMRadioTypes.h"

#include <charconv>
#include <cstring>

#include "dms/core/DMNumberText.h"
#include "dms/radio/DMRadioCoding.h"

namespace dmradio {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

const char* SkipBlanks(const char* p, const char* end) {
    while (p != end && IsBlank(*p))
        ++p;
    return p;
}

}  // namespace

bool ReadFlag(const std::string& text) {
    const char* end = text.data() + text.size();
    const char* p = SkipBlanks(text.data(), end);
    while (end != p && IsBlank(end[-1]))
        --end;
    const std::string word(p, end);
    return !(word == "0" || DMStringEqual(word, "false", false));
}

}  // namespace dmradio

template <class V>
void DMRadio_GenreType::Fields(V& v) {
    v.Value("Id", mId);
    v.Text("Name", mName);
    v.Text("Desc", mDesc);
}

template <class V>
void DMRadio_StationType::Fields(V& v) {
    v.Value("Id", mId);
    v.Text("Name", mName);
    v.ListAlwaysRead("Genres", "Genre", mGenres);
}

template <class V>
void DMRadio_StationFormatType::Fields(V& v) {
    v.Value("Id", mId);
    v.Text("Proto", mProto);
    v.Text("Type", mType);
    v.Text("Codec", mCodec);
    v.Int("BitRate", mBitRate);
    v.Flag("VBR", mVBR);
    v.Float("Channels", mChannels);
}

template <class V>
void DMRadio_StationBaseInfoType::Fields(V& v) {
    v.Text("PlayMode", mPlayMode);
    v.Text("Type", mType);
    v.List("Formats", "Formats", mFormats);
    v.Text("Name", mName);
    v.Text("Desc", mDesc);
    v.Text("LongDesc", mLongDesc);
    v.Text("Number", mNumber);
    v.List("Genres", "Genre", mGenres);
    v.Text("ImgUrlBase", mImgUrlBase);
    v.Related("Related", "Station", mRelated);
}

template <class V>
void DMRadio_StationInfoType::Fields(V& v) {
    v.Value("Id", mId);
    v.Value("Base", mBase);
    v.Text("ShareUrl", mShareUrl);
    v.Text("Rules", mRules);
    v.Text("Banners", mBanners);
    v.Text("Partners", mPartners);
}

template <class V>
void DMRadio_PresetType::Fields(V& v) {
    v.Int("Idx", mIdx);
    v.PresetStationId("StationId", mStationId);
}

template <class V>
void DMRadio_StationUrlType::Fields(V& v) {
    v.Value("StationId", mStationId);
    v.Repeated("Url", mUrls);
}

template <class V>
void DMRadio_ImageType::Fields(V& v) {
    v.Text("Url", mUrl);
    v.Text("Type", mType);
    v.Text("Geom", mGeom);
}

template <class V>
void DMRadio_TrkDetailsType::Fields(V& v) {
    v.Text("Type", mType);
    v.Text("TrackTitle", mTrackTitle);
    v.List("TrackIds", "TrackId", mTrackIds);
    v.Text("AlbumTitle", mAlbumTitle);
    v.List("AlbumIds", "AlbumId", mAlbumIds);
    v.Text("ArtistName", mArtistName);
    v.List("ArtistIds", "ArtistId", mArtistIds);
}

template <class V>
void DMRadio_TrkInfoType::Fields(V& v) {
    v.Value("Details", mDetails);
    v.Text("Lyrics", mLyrics);
    v.List("Images", "Image", mImages);
    v.Text("Next", mNext);
    v.Int("Duration", mDuration);
    v.Int("Time", mTime);
    v.Int("Serial", mSerial);
    v.Text("Commerce", mCommerce);
}

template <class V>
void DMRadio_StationStateType::Fields(V& v) {
    v.Value("StationId", mStationId);
    v.List("Tracks", "Track", mTracks);
}

DMRADIO_DEFINE_VALUE_CODING(DMRadio_GenreType)
DMRADIO_DEFINE_VALUE_CODING(DMRadio_StationType)
DMRADIO_DEFINE_VALUE_CODING(DMRadio_StationFormatType)
DMRADIO_DEFINE_VALUE_CODING(DMRadio_StationBaseInfoType)
DMRADIO_DEFINE_VALUE_CODING(DMRadio_StationInfoType)
DMRADIO_DEFINE_VALUE_CODING(DMRadio_PresetType)
DMRADIO_DEFINE_VALUE_CODING(DMRadio_StationUrlType)
DMRADIO_DEFINE_VALUE_CODING(DMRadio_ImageType)
DMRADIO_DEFINE_VALUE_CODING(DMRadio_TrkDetailsType)
DMRADIO_DEFINE_VALUE_CODING(DMRadio_TrkInfoType)
DMRADIO_DEFINE_VALUE_CODING(DMRadio_StationStateType)
