#pragma once
// One track-metadata document from the stream, parsed: what is playing (song, album,
// artist and their catalogue ids, or an audio ad), its length, what comes soon, banner
// ads; links for the song, album and artist from the "MetadataLinks" table; and the
// download of the track's album art, whose end is posted as "kAlbumArtNotificationName"
// with the parser as object. Main thread only.

#include "app/foundation/NotificationCenter.h"
#include "app/support/ResourceFetcher.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class DMXMLDocument;
class ZYMRadioStationBanner;

class RadioMetadataParser : private ResourceFetcherClient {
public:
    static inline const QString kAlbumArtNotificationName = QStringLiteral("kAlbumArtNotificationName");

    // A text that does not parse gives an empty document (every query answers none) and
    // one line in the log. `notifications` hears the end of the album-art download (the
    // default center when null).
    explicit RadioMetadataParser(const QString& xml, NotificationCenter* notifications = nullptr);
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
    // What an album-art download may take: 8 MiB, 60 s without a byte, 120 s in all.
    static ResourceFetcher::Limits albumArtLimits();
    // For the downloads started afterwards.
    void setAlbumArtLimits(const ResourceFetcher::Limits& limits) { limits_ = limits; }

    static std::optional<QString> massageRadio3AMGData(const std::optional<QString>& text);
    static bool isValidAssetID(const std::optional<QString>& id);

private:
    std::optional<QString> contentsOfSongNode(const char* name) const;
    std::optional<QString> contentsOfMetaDataNode(const char* name) const;
    void resourceFetchCompletedWithData(ResourceFetcher* fetcher, const QByteArray& data,
                                        const QVariant& context) override;
    void resourceFetchFailedWithReason(ResourceFetcher* fetcher, const QString& reason,
                                       const QVariant& context) override;
    void postAlbumArtFetchCompleted();
    void clearAlbumArt();

    std::unique_ptr<DMXMLDocument> xmlDocument_;
    bool valid_ = false;
    NotificationCenter* notifications_;
    ResourceFetcher::Limits limits_ = albumArtLimits();
    std::shared_ptr<ResourceFetcher> albumArtFetcher_;
    QString albumArtFetchURL_;
    QImage albumArtImage_;
    QString albumArtUrlString_;
};
