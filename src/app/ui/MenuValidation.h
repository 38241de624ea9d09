#pragma once
// Whether a menu command of the main window can run now, and the title it shows: a pure
// function of the command and the window's state, applied when a menu is about to show
// and after each change of the window.

#include <QString>

#include <functional>
#include <optional>

enum class MenuAction {
    Play,
    StopPlaying,
    CopyStationLocation,
    PlayPreset,
    StorePlayingOnPreset,
    StoreSelectionOnPreset,
    CopyPlayingStationLocation,
    NowPlayingDisplay,  // information lines of the tray menu: tag 100 song, 101 artist, 102 album
    CopySongInfo,
    ToggleSignedIn,   // the application menu's Sign On / Sign Off
    ShowRadioWindow,  // the Window menu's item of the main window
    Other,
};

// The tag that turns an item into Play or Stop, whichever applies.
inline constexpr int kPlayStopMenuTag = 500;

struct MenuItem {
    MenuAction action = MenuAction::Other;
    int tag = 0;  // the preset slot of the preset commands
};

struct MenuState {
    bool canPlay = false;
    bool preparingBufferingOrPlaying = false;
    bool hasPlayingStation = false;
    bool hasActiveStation = false;
    bool sheetOpen = false;
    bool signOnInProgressOrValid = false;
    bool windowVisible = false;
    // The current track's document, when there is one.
    bool hasSongDocument = false;
    std::optional<QString> songName, songArtist, songAlbum;
    std::optional<QString> playingStationName;
    // The account's number of preset slots; -1 while unknown (no slot is then refused).
    int presetSlots = -1;
    // The name of the station on a preset slot; nullopt for an empty slot.
    std::function<std::optional<QString>(int slot)> presetStationName;
};

struct MenuValidation {
    MenuAction action = MenuAction::Other;  // tag 500 becomes Play or StopPlaying
    bool enabled = true;
    std::optional<QString> title;  // nullopt: the title stays
};

MenuValidation validate(const MenuItem& item, const MenuState& state);
