#pragma once
// One track-metadata document from the stream, parsed: what is playing (song, album,
// artist and their catalogue ids, or an audio ad), its length, what comes soon, banner
// ads; links for the song, album and artist from the "MetadataLinks" table; and the
// download of the track's album art, whose end is posted as "kAlbumArtNotificationName"
// with the parser as object. Main thread only.

#include "app/services/NotificationCenter.h"
#include "app/radio/AlbumArtFetcher.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class DMXMLDocument;
class ZYMRadioStationBanner;

class RadioMetadataParser : private AlbumArtFetchClient {
public:
    static inline const QString kAlbumArtNotificationName = QStringLiteral("kAlbumArtNotificationName");

    // A text that does not parse gives an empty document (every query answers none) and
    // one line in the log. `fetchers` makes the album-art downloads (the curl one when
    // empty); `notifications` hears their end (the default center when null).
    explicit RadioMetadataParser(const QString& xml, AlbumArtFetcherFactory fetchers = {},
                                 NotificationCenter* notifications = nullptr);
    ~RadioMetadataParser();
    RadioMetadataParser(const RadioMetadataParser&) = delete;
    RadioMetadataParser& operator=(const RadioMetadataParser&) = delete;

    // The text as it is handed to the XML parser.
    static QString validXmlDocStringFromString(const QString& text);
    // False when the text did not parse.
    bool isValid() const { return valid_; }

    bool isSong() const;
    bool isPromo() const;
    bool hasSongName() const;
    bool hasSongAlbum() const;
    bool hasSongArtist() const;
    std::optional<QString> songName() const { return contentsOfSongNode("name"); }
    std::optional<QString> songAlbum() const { return contentsOfSongNode("album"); }
    std::optional<QString> songArtist() const { return contentsOfSongNode("artist"); }
    std::optional<QString> songAlbumArtPartialURL() const { return contentsOfSongNode("album_art"); }
    int songLength() const;
    float songLengthSeconds() const { return float(songLength()) / 1000.0f; }
    // In document order, each entry once, none empty.
    QStringList comingSoon() const;
    std::optional<QString> iTunesSongID() const { return contentsOfSongNode("itunes_song_id"); }
    std::optional<QString> iTunesAlbumID() const { return contentsOfSongNode("itunes_album_id"); }
    std::optional<QString> iTunesArtistID() const { return contentsOfSongNode("itunes_artist_id"); }
    std::optional<QString> amgAlbumID() const { return massageRadio3AMGData(contentsOfSongNode("amg_album_id")); }
    std::optional<QString> amgArtistID() const { return massageRadio3AMGData(contentsOfSongNode("amg_artist_id")); }
    // None without a `banners` element.
    std::optional<std::vector<std::shared_ptr<const ZYMRadioStationBanner>>> banners() const;

    QString amgURLForSong() const;
    QString amgURLForAlbum() const;
    QString amgURLForArtist() const;
    QString iTunesURLForSong() const;
    QString iTunesURLForAlbum() const;
    QString iTunesURLForArtist() const;
    static QString iTunesSearchURL(const std::optional<QString>& song, const std::optional<QString>& artist,
                                   const std::optional<QString>& album);

    // True when a download was started.
    bool fetchAlbumArtWithArtURL(const QString& url);
    bool fetchAlbumArtWithBaseURL(const QString& baseURL, const QString& artURL);
    bool fetchAlbumArtWithBaseURL(const QString& baseURL);
    const QImage& albumArtImage() const { return albumArtImage_; }
    bool albumArtPending() const { return bool(albumArtFetcher_); }
    const QString& albumArtUrlString() const { return albumArtUrlString_; }

    // The largest album art decoded, in pixels a side.
    static constexpr int kMaxAlbumArtSide = 4096;

    static std::optional<QString> massageRadio3AMGData(const std::optional<QString>& text);
    static bool isValidAssetID(const std::optional<QString>& id);

private:
    std::optional<QString> contentsOfSongNode(const char* name) const;
    std::optional<QString> contentsOfMetaDataNode(const char* name) const;
    void resourceFetchCompleted(AlbumArtFetcher& fetcher, const QByteArray& data) override;
    void resourceFetchFailed(AlbumArtFetcher& fetcher, const QString& reason) override;
    void postAlbumArtFetchCompleted();
    void releaseCallingFetcher();
    void clearAlbumArt();

    std::unique_ptr<DMXMLDocument> xmlDocument_;
    bool valid_ = false;
    AlbumArtFetcherFactory fetchers_;
    NotificationCenter* notifications_;
    std::unique_ptr<AlbumArtFetcher> albumArtFetcher_;
    QImage albumArtImage_;
    QString albumArtUrlString_;
};
