#include "dms/radio/DMRadioMethods.h"

#include "dms/radio/DMRadioCoding.h"

namespace {

bool StrictVersionOK(const std::string& version) { return version.empty() || version == "2.0"; }

}  // namespace

// ---- inputs ------------------------------------------------------------------------------

template <class V>
void DMRadio_ListGenres_InputType::Fields(V& v) {
    v.Attr("changedSince", mChangedSince);
    v.IntIfSet("Offset", mOffset);
    v.IntIfSet("Count", mCount);
}

template <class V>
void DMRadio_ListStations_InputType::Fields(V& v) {
    v.Attr("changedSince", mChangedSince);
    v.AttrFlag("onlyPlayable", mOnlyPlayable);
    v.IntIfSet("Offset", mOffset);
    v.IntIfSet("Count", mCount);
    v.List("Genres", "Genre", mGenres);
}

template <class V>
void DMRadio_GetStationInfo_InputType::Fields(V& v) {
    v.Attr("strictVersion", mStrictVersion);
    v.List("Stations", "Station", mStations);
    v.List("Fields", "Field", mFields);
}

bool DMRadio_GetStationInfo_InputType::IsValid() { return StrictVersionOK(mStrictVersion) && !mStations.empty(); }

template <class V>
void DMRadio_GetStationState_InputType::Fields(V& v) {
    v.Attr("strictVersion", mStrictVersion);
    v.AttrInt("maxFutureTrks", mMaxFutureTrks);
    v.List("Stations", "Station", mStations);
    v.List("Fields", "Field", mFields);
}

bool DMRadio_GetStationState_InputType::IsValid() { return StrictVersionOK(mStrictVersion) && !mStations.empty(); }

template <class V>
void DMRadio_GetStationUrl_InputType::Fields(V& v) {
    v.Value("Station", mStation);
    v.Value("Format", mFormat);
}

bool DMRadio_GetStationUrl_InputType::IsValid() { return !mStation.GetValue().empty() && !mFormat.GetValue().empty(); }

template <class V>
void DMRadio_GetMaxPresets_InputType::Fields(V&) {}

template <class V>
void DMRadio_GetPresets_InputType::Fields(V& v) {
    v.Attr("changedSince", mChangedSince);
}

template <class V>
void DMRadio_SetPresets_InputType::Fields(V& v) {
    v.Text("Timestamp", mTimestamp);
    v.List("Presets", "Preset", mPresets);
}

bool DMRadio_SetPresets_InputType::IsValid() { return !mTimestamp.empty() && !mPresets.empty(); }

template <class V>
void DMRadio_GetRatingsRange_InputType::Fields(V&) {}

template <class V>
void DMRadio_RateTrack_InputType::Fields(V& v) {
    v.Value("TrackId", mTrackId);
    v.Value("StationId", mStationId);
    v.Value("GenreId", mGenreId);
    v.Int("Rating", mRating);
}

bool DMRadio_RateTrack_InputType::IsValid() {
    return !mTrackId.GetValue().empty() && !mStationId.GetValue().empty() && !mGenreId.GetValue().empty();
}

// ---- outputs -----------------------------------------------------------------------------

template <class V>
void DMRadio_ListGenres_OutputType::Fields(V& v) {
    v.TimeStamp(mTimeStamp, true);
    v.Status(status);
    v.IntIfSet("Remaining", mRemaining);
    v.List("Genres", "Genre", mGenres);
}

template <class V>
void DMRadio_ListStations_OutputType::Fields(V& v) {
    v.TimeStamp(mTimeStamp, true);
    v.Status(status);
    v.IntIfSet("Remaining", mRemaining);
    v.List("Stations", "Station", mStations);
}

template <class V>
void DMRadio_GetStationInfo_OutputType::Fields(V& v) {
    v.Status(status);
    v.List("StationInfo", "Info", mStationInfo);
}

template <class V>
void DMRadio_GetStationState_OutputType::Fields(V& v) {
    v.Status(status);
    v.List("StationState", "State", mStationState);
}

template <class V>
void DMRadio_GetStationUrl_OutputType::Fields(V& v) {
    v.Status(status);
    v.Value("Url", mUrl);
}

template <class V>
void DMRadio_GetMaxPresets_OutputType::Fields(V& v) {
    v.Status(status);
    v.IntIfSet("MaxPresets", mMaxPresets);
}

template <class V>
void DMRadio_GetPresets_OutputType::Fields(V& v) {
    v.TimeStamp(mTimeStamp, false);
    v.Status(status);
    v.List("Presets", "Preset", mPresets);
}

template <class V>
void DMRadio_SetPresets_OutputType::Fields(V& v) {
    v.TimeStamp(mTimeStamp, false);
    v.Status(status);
}

template <class V>
void DMRadio_GetRatingsRange_OutputType::Fields(V& v) {
    v.Status(status);
    v.Int("Min", mMin);
    v.Int("Max", mMax);
}

template <class V>
void DMRadio_RateTrack_OutputType::Fields(V& v) {
    v.Status(status);
}

DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_ListGenres_InputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_ListStations_InputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetStationInfo_InputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetStationState_InputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetStationUrl_InputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetMaxPresets_InputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetPresets_InputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_SetPresets_InputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetRatingsRange_InputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_RateTrack_InputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_ListGenres_OutputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_ListStations_OutputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetStationInfo_OutputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetStationState_OutputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetStationUrl_OutputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetMaxPresets_OutputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetPresets_OutputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_SetPresets_OutputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_GetRatingsRange_OutputType)
DMRADIO_DEFINE_MESSAGE_CODING(DMRadio_RateTrack_OutputType)
