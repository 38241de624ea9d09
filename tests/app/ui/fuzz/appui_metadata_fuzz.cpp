// Any text as a track-metadata document: every query and every link is asked (the
// album-art download is left out: it needs the network).

#include "app/radio/ZYMRadioStationState.h"
#include "app/radio/RadioMetadataParser.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    NotificationCenter center;
    RadioMetadataParser parser(text, &center);
    (void)parser.isSong();
    (void)parser.isPromo();
    (void)parser.hasSongName();
    (void)parser.hasSongAlbum();
    (void)parser.hasSongArtist();
    (void)parser.songName();
    (void)parser.songAlbum();
    (void)parser.songArtist();
    (void)parser.songLengthSeconds();
    (void)parser.comingSoon();
    (void)parser.iTunesSongID();
    (void)parser.amgAlbumID();
    (void)parser.amgArtistID();
    if (auto banners = parser.banners())
        for (const auto& banner : *banners)
            (void)banner->description();
    (void)parser.amgURLForSong();
    (void)parser.amgURLForAlbum();
    (void)parser.amgURLForArtist();
    (void)parser.iTunesURLForSong();
    (void)parser.iTunesURLForAlbum();
    (void)parser.iTunesURLForArtist();
    return 0;
}
