#pragma once
// The texts of the now-playing display, the service's progress, the presets bar and the
// menus, each with its number of arguments.

#include "app/ui/LocalizedText.h"

namespace DisplayKeys {
inline constexpr StringKey MP3Line1Format{"MP3Line1Format", 0};
inline constexpr StringKey MP3Line2Format{"MP3Line2Format", 2};
inline constexpr StringKey NowPlayingLine1Format{"NowPlayingLine1Format", 0};
inline constexpr StringKey NowPlayingLine2Format{"NowPlayingLine2Format", 0};
inline constexpr StringKey AudioAdLine1Format{"AudioAdLine1Format", 0};
inline constexpr StringKey AudioAdLine2Format{"AudioAdLine2Format", 0};
inline constexpr StringKey ComingSoonFormat{"ComingSoonFormat", 1};
inline constexpr StringKey ComingSoonConcatString{"ComingSoonConcatString", 0};
inline constexpr StringKey NotConnectedLine1Format{"NotConnectedLine1Format", 0};
inline constexpr StringKey NotConnectedLine2Format{"NotConnectedLine2Format", 0};
inline constexpr StringKey BlankDisplayText{"BlankDisplayText", 0};
inline constexpr StringKey UnknownArtistName{"UnknownArtistName", 0};
inline constexpr StringKey UnknownSongName{"UnknownSongName", 0};
inline constexpr StringKey UnknownAlbumName{"UnknownAlbumName", 0};
inline constexpr StringKey SignOnButtonLabel{"SignOnButtonLabel", 0};
inline constexpr StringKey ClipboardSongInfoFormat{"ClipboardSongInfoFormat", 0};
inline constexpr StringKey UsedPlayPresetMenuItem{"UsedPlayPresetMenuItem", 2};
inline constexpr StringKey UnusedPlayPresetMenuItem{"UnusedPlayPresetMenuItem", 1};
inline constexpr StringKey StoreToUsedPresetMenuItem{"StoreToUsedPresetMenuItem", 2};
inline constexpr StringKey StoreToUnusedPresetMenuItem{"StoreToUnusedPresetMenuItem", 1};
inline constexpr StringKey NowPlayingDockItemFormat{"NowPlayingDockItemFormat", 1};
inline constexpr StringKey NoSongDockItem{"NoSongDockItem", 0};
inline constexpr StringKey NoArtistDockItem{"NoArtistDockItem", 0};
inline constexpr StringKey NoAlbumDockItem{"NoAlbumDockItem", 0};
inline constexpr StringKey EmptyPresetLabel{"EmptyPresetLabel", 0};
inline constexpr StringKey PresetLabel{"PresetLabel", 0};
inline constexpr StringKey NowPlayingLabelFormat{"NowPlayingLabelFormat", 3};
inline constexpr StringKey NowPlayingNoInformationLabelFormat{"NowPlayingNoInformationLabelFormat", 1};
inline constexpr StringKey RadioWindowTitlePlaying{"RadioWindowTitlePlaying", 1};
inline constexpr StringKey RadioWindowTitleIdle{"RadioWindowTitleIdle", 0};
inline constexpr StringKey AuthenticatingProgressString{"AuthenticatingProgressString", 1};
inline constexpr StringKey AuthenticationFailedStatusString{"AuthenticationFailedStatusString", 0};
inline constexpr StringKey AuthenticationCancelledStatusString{"AuthenticationCancelledStatusString", 0};
inline constexpr StringKey DiscoveringProgressString{"DiscoveringProgressString", 0};
inline constexpr StringKey RadioUnavailableStatusString{"RadioUnavailableStatusString", 0};
inline constexpr StringKey RadioServiceErrorFaultFormatString{"RadioServiceErrorFaultFormatString", 1};
inline constexpr StringKey UpdatingStationsProgressString{"UpdatingStationsProgressString", 0};
inline constexpr StringKey FetchingStationInfoProgressString{"FetchingStationInfoProgressString", 0};
inline constexpr StringKey NoRadioStationsFit{"NoRadioStationsFit", 0};
inline constexpr StringKey RadioInfoRequestProgressTitle{"RadioInfoRequest_ProgressPanel_Title", 0};
inline constexpr StringKey ProgressPanelTitle{"ProgressPanel_Title", 0};
inline constexpr StringKey ProgressPanelButton{"ProgressPanel_Button", 0};
inline constexpr StringKey PresetsOutOfDateTitle{"PresetsOutOfDateTitle", 0};
inline constexpr StringKey PresetsOutOfDateMsg{"PresetsOutOfDateMsg", 0};
inline constexpr StringKey PresetsOutOfDateReload{"PresetsOutOfDateReload", 0};
inline constexpr StringKey PresetsOutOfDateForce{"PresetsOutOfDateForce", 0};
inline constexpr StringKey LiveStationAnimationFrames{"LiveStationAnimationFrames", 0};
inline constexpr StringKey LiveStationBannerFormat{"LiveStationBannerFormat", 1};
inline constexpr StringKey SongTimeProgressFormat{"SongTimeProgressFormat", 2};
inline constexpr StringKey TimeFormatUnknown{"TimeFormatUnknown", 0};
inline constexpr StringKey LinkMenuStoreItem{"LinkMenuStoreItem", 0};
inline constexpr StringKey LinkMenuGuideItem{"LinkMenuGuideItem", 0};
inline constexpr StringKey CopySongInfoMenuItem{"CopySongInfoMenuItem", 0};
inline constexpr StringKey CopyStationLocationMenuItem{"CopyStationLocationMenuItem", 0};
inline constexpr StringKey CopyPlayingStationLocationMenuItem{"CopyPlayingStationLocationMenuItem", 0};
inline constexpr StringKey RadioMenuTitle{"RadioMenuTitle", 0};
inline constexpr StringKey StoreSelectionMenuTitle{"StoreSelectionMenuTitle", 0};
inline constexpr StringKey ZoomMenuItem{"ZoomMenuItem", 0};
inline constexpr StringKey PlayButtonLabel{"PlayButtonLabel", 0};
inline constexpr StringKey StopButtonLabel{"StopButtonLabel", 0};
inline constexpr StringKey EditMenuTitle{"EditMenuTitle", 0};
inline constexpr StringKey FindMenuItem{"FindMenuItem", 0};
inline constexpr StringKey PresetUnavailableTitle{"PresetUnavailableTitle", 0};
inline constexpr StringKey PresetUnavailableMsg{"PresetUnavailableMsg", 2};
inline constexpr StringKey PresetUnavailableOK{"PresetUnavailableOK", 0};
}  // namespace DisplayKeys
