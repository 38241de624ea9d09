#include "app/ui/MenuValidation.h"

#include "app/ui/DisplayTexts.h"

namespace {
QString presetTitle(const StringKey& used, const StringKey& unused, int slot, const std::optional<QString>& name) {
    const QString number = QString::number(slot);
    if (name) return localizedFormat(used, {number, *name});
    return localizedFormat(unused, {number});
}

std::optional<QString> dockLine(int tag, const MenuState& s) {
    switch (tag) {
    case 100:
        if (s.songName) return s.songName;
        if (s.playingStationName) return s.playingStationName;
        return localized(DisplayKeys::NoSongDockItem);
    case 101: return s.songArtist ? s.songArtist : localized(DisplayKeys::NoArtistDockItem);
    case 102: return s.songAlbum ? s.songAlbum : localized(DisplayKeys::NoAlbumDockItem);
    default: return std::nullopt;
    }
}
}  // namespace

MenuValidation validate(const MenuItem& item, const MenuState& s) {
    MenuValidation v;
    v.action = item.action;
    if (item.tag == kPlayStopMenuTag) {
        if (!s.preparingBufferingOrPlaying) {
            v.title = localized(StringKeys::PlayContextMenuItem);
            v.action = MenuAction::Play;
        } else {
            v.title = localized(StringKeys::StopContextMenuItem);
            v.action = MenuAction::StopPlaying;
        }
    }
    const bool free = !s.sheetOpen;
    const auto slotName = [&](int slot) {
        return s.presetStationName ? s.presetStationName(slot) : std::optional<QString>();
    };
    switch (v.action) {
    case MenuAction::Play: v.enabled = s.canPlay && !s.preparingBufferingOrPlaying && free; break;
    case MenuAction::StopPlaying: v.enabled = s.preparingBufferingOrPlaying && free; break;
    case MenuAction::CopyStationLocation: v.enabled = (s.hasPlayingStation || s.hasActiveStation) && free; break;
    case MenuAction::PlayPreset: {
        const auto name = slotName(item.tag);
        v.title =
            presetTitle(DisplayKeys::UsedPlayPresetMenuItem, DisplayKeys::UnusedPlayPresetMenuItem, item.tag, name);
        v.enabled = name.has_value() && free;
        break;
    }
    case MenuAction::StorePlayingOnPreset:
    case MenuAction::StoreSelectionOnPreset:
        v.title = presetTitle(DisplayKeys::StoreToUsedPresetMenuItem, DisplayKeys::StoreToUnusedPresetMenuItem,
                              item.tag, slotName(item.tag));
        // A slot the account does not have would store nothing.
        v.enabled = (v.action == MenuAction::StoreSelectionOnPreset || s.hasPlayingStation) && free &&
                    (s.presetSlots < 0 || item.tag <= s.presetSlots);
        break;
    case MenuAction::CopyPlayingStationLocation: v.enabled = s.hasPlayingStation && free; break;
    case MenuAction::NowPlayingDisplay:
        if (const auto line = dockLine(item.tag, s); line && !line->isEmpty())
            v.title = localizedFormat(DisplayKeys::NowPlayingDockItemFormat, {*line});
        v.enabled = false;
        break;
    case MenuAction::CopySongInfo: v.enabled = s.hasSongDocument && free; break;
    case MenuAction::ToggleSignedIn:
        // Always there to take the listener out of a sign-on that hangs, sheet or not.
        v.title = localized(s.signOnInProgressOrValid ? StringKeys::SignOffString : StringKeys::SignOnString);
        v.enabled = true;
        break;
    case MenuAction::ShowRadioWindow: v.enabled = !s.windowVisible; break;
    case MenuAction::Other: v.enabled = true; break;
    }
    return v;
}
