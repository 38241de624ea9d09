#include "app/radio/RadioMetadataParser.h"

#include "app/foundation/Localizer.h"
#include "app/radio/ZYMRadioStationState.h"
#include "dms/core/DMXMLDocument.h"
#include "runtime/LogMessage.h"

#include <QBuffer>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <charconv>

namespace {

// A failed text can be as long as the parser's limit; the log keeps its start.
constexpr qsizetype kLoggedTextBytes = 4096;

QString linkFormat(const char* key) {
    return Localizer::shared().text(QString::fromLatin1(key), QString(), QStringLiteral("MetadataLinks"));
}

// Names and titles go into query values: everything but the unreserved characters is
// escaped, so "&", "#", "?" and "+" in a title stay part of it.
QString escaped(const QString& s) { return QString::fromLatin1(QUrl::toPercentEncoding(s)); }

QString link(const char* key, const QStringList& arguments) { return formatOnePass(linkFormat(key), arguments); }

}  // namespace

RadioMetadataParser::RadioMetadataParser(const QString& xml, NotificationCenter* notifications)
    : notifications_(notifications ? notifications : &NotificationCenter::defaultCenter()) {
    const QByteArray prepared = validXmlDocStringFromString(xml).toUtf8();
    try {
        xmlDocument_ = std::make_unique<DMXMLDocument>(prepared.toStdString());
        valid_ = true;
    } catch (const std::exception&) {
        const QByteArray shown = prepared.left(kLoggedTextBytes);
        LogMessage(kLogError, "RadioMetadataParser - Metadata XML parse failed: [%s]\n", shown.constData());
        xmlDocument_ = std::make_unique<DMXMLDocument>();
    }
}

RadioMetadataParser::~RadioMetadataParser() {
    if (albumArtFetcher_) albumArtFetcher_->invalidateClient();
}

QString RadioMetadataParser::validXmlDocStringFromString(const QString& text) {
    QString out = text;
    if (!text.trimmed().toLower().contains(QLatin1String("<?xml")))
        out.prepend(QLatin1String("<?xml version=\"1.0\" encoding=\"utf-8\" ?>"));
    // Stations write titles such as "R&B" unescaped. Only the predefined entities and
    // character references can be meant: a document with a DTD is refused anyway.
    static const QRegularExpression bareAmpersand(
        QStringLiteral("&(?!(?:amp|lt|gt|quot|apos|#[0-9]+|#[xX][0-9a-fA-F]+);)"));
    out.replace(bareAmpersand, QStringLiteral("&amp;"));
    return out;
}

std::optional<QString> RadioMetadataParser::contentsOfMetaDataNode(const char* name) const {
    xmlNodePtr root = xmlDocument_->GetRootElement();
    if (!root) return std::nullopt;
    xmlNodePtr node = xmlDocument_->FindChildElement(root, name, std::string());
    if (!node) return std::nullopt;
    return QString::fromStdString(xmlDocument_->GetNodeContent(node));
}

std::optional<QString> RadioMetadataParser::contentsOfSongNode(const char* name) const {
    xmlNodePtr root = xmlDocument_->GetRootElement();
    if (!root) return std::nullopt;
    xmlNodePtr song = xmlDocument_->FindChildElement(root, "song", std::string());
    if (!song) return std::nullopt;
    xmlNodePtr node = xmlDocument_->FindChildElement(song, name, std::string());
    if (!node) return std::nullopt;
    return QString::fromStdString(xmlDocument_->GetNodeContent(node));
}

bool RadioMetadataParser::isSong() const {
    xmlNodePtr root = xmlDocument_->GetRootElement();
    return root && xmlDocument_->FindChildElement(root, "song", std::string());
}

bool RadioMetadataParser::isPromo() const {
    xmlNodePtr root = xmlDocument_->GetRootElement();
    return root && xmlDocument_->FindChildElement(root, "audio_ad", std::string());
}

bool RadioMetadataParser::hasSongName() const { return songName().has_value(); }
bool RadioMetadataParser::hasSongAlbum() const { return songAlbum().has_value(); }
bool RadioMetadataParser::hasSongArtist() const { return songArtist().has_value(); }

int RadioMetadataParser::songLength() const {
    const auto text = contentsOfMetaDataNode("length");
    if (!text) return 0;
    // The number at the start of the text, as the C library reads one.
    const std::string s = text->trimmed().toStdString();
    std::size_t start = 0;
    if (start < s.size() && s[start] == '+') ++start;
    int value = 0;
    const auto result = std::from_chars(s.data() + start, s.data() + s.size(), value);
    return result.ec == std::errc() ? value : 0;
}

QStringList RadioMetadataParser::comingSoon() const {
    QStringList out;
    const auto text = contentsOfMetaDataNode("soon");
    if (!text) return out;
    QSet<QString> seen;
    for (const QString& entry : text->split(QLatin1Char(';'))) {
        if (entry.isEmpty() || seen.contains(entry)) continue;
        seen.insert(entry);
        out.append(entry);
    }
    return out;
}

std::optional<std::vector<std::shared_ptr<const ZYMRadioStationBanner>>> RadioMetadataParser::banners() const {
    xmlNodePtr root = xmlDocument_->GetRootElement();
    if (!root) return std::nullopt;
    xmlNodePtr banners = xmlDocument_->FindChildElement(root, "banners", std::string());
    if (!banners) return std::nullopt;
    std::vector<std::shared_ptr<const ZYMRadioStationBanner>> out;
    const unsigned count = xmlDocument_->GetChildElementCount(banners);
    for (unsigned i = 0; i < count; ++i) {
        xmlNodePtr child = xmlDocument_->GetChildElement(banners, i);
        auto text = [&](const char* name) {
            xmlNodePtr node = xmlDocument_->FindChildElement(child, name, std::string());
            return node ? QString::fromStdString(xmlDocument_->GetNodeContent(node)) : QString(QLatin1String(""));
        };
        if (auto banner = ZYMRadioStationBanner::withImageURL(text("id"), text("img"), text("link")))
            out.push_back(std::move(banner));
    }
    return out;
}

std::optional<QString> RadioMetadataParser::massageRadio3AMGData(const std::optional<QString>& text) {
    if (!text) return std::nullopt;
    const QStringList parts = text->split(QLatin1Char(' '));
    if (parts.size() > 1) return parts[1];
    return parts.value(0);
}

bool RadioMetadataParser::isValidAssetID(const std::optional<QString>& id) {
    return id && !id->isEmpty() && *id != QLatin1String("-1");
}

QString RadioMetadataParser::amgURLForSong() const {
    return link("ZYMMusicSongSearchLink", {escaped(songName().value_or(QString()))});
}

QString RadioMetadataParser::amgURLForAlbum() const {
    const auto id = amgAlbumID();
    if (isValidAssetID(id)) return link("ZYMMusicAlbumLink", {*id});
    return link("ZYMMusicAlbumSearchLink", {escaped(songAlbum().value_or(QString()))});
}

QString RadioMetadataParser::amgURLForArtist() const {
    const auto id = amgArtistID();
    if (isValidAssetID(id)) return link("ZYMMusicArtistLink", {*id});
    return link("ZYMMusicArtistSearchLink", {escaped(songArtist().value_or(QString()))});
}

QString RadioMetadataParser::iTunesURLForSong() const {
    const auto song = iTunesSongID();
    const auto album = iTunesAlbumID();
    if (isValidAssetID(song) && isValidAssetID(album)) return link("ITunesBuySongLink", {*song, *album});
    return iTunesSearchURL(songName(), songArtist(), std::nullopt);
}

QString RadioMetadataParser::iTunesURLForAlbum() const {
    const auto album = iTunesAlbumID();
    if (isValidAssetID(album)) return link("ITunesViewAlbumLink", {*album});
    return iTunesSearchURL(std::nullopt, songArtist(), songAlbum());
}

QString RadioMetadataParser::iTunesURLForArtist() const {
    const auto artist = iTunesArtistID();
    if (isValidAssetID(artist)) return link("ITunesViewArtistLink", {*artist});
    return iTunesSearchURL(std::nullopt, songArtist(), std::nullopt);
}

QString RadioMetadataParser::iTunesSearchURL(const std::optional<QString>& song, const std::optional<QString>& artist,
                                             const std::optional<QString>& album) {
    const int n = int(song.has_value()) + int(artist.has_value()) + int(album.has_value());
    if (n == 0) return QString(QLatin1String(""));
    QString url;
    if (n == 1) {
        url = linkFormat("ITunesSimpleSearchURLBase") + linkFormat("ITunesSimpleSearchTermParam");
        const char* type = song     ? "ITunesSimpleSearchSongType"
                           : artist ? "ITunesSimpleSearchArtistType"
                                    : "ITunesSimpleSearchAlbumType";
        url += escaped(song ? *song : artist ? *artist : *album);
        url += QLatin1Char('&') + linkFormat("ITunesSimpleSearchTypeParam") + linkFormat(type);
        return url;
    }
    url = linkFormat("ITunesPowerSearchURLBase");
    if (song) url += linkFormat("ITunesPowerSearchSongTermParam") + escaped(*song);
    if (artist) {
        if (song) url += QLatin1Char('&');
        url += linkFormat("ITunesPowerSearchArtistTermParam") + escaped(*artist);
    }
    if (album) {
        if (song || artist) url += QLatin1Char('&');
        url += linkFormat("ITunesPowerSearchAlbumTermParam") + escaped(*album);
    }
    return url;
}

void RadioMetadataParser::clearAlbumArt() {
    albumArtImage_ = QImage();
    if (albumArtFetcher_) albumArtFetcher_->invalidateClient();
    albumArtFetcher_.reset();
    albumArtUrlString_.clear();
}

bool RadioMetadataParser::fetchAlbumArtWithArtURL(const QString& url) {
    clearAlbumArt();
    if (url.isEmpty()) return false;
    LogMessage(kLogDebug, "loading album art: %s\n", url.toUtf8().constData());
    albumArtFetchURL_ = url;
    albumArtFetcher_ = ResourceFetcher::initWithURL(QUrl(url));
    albumArtFetcher_->setLimits(limits_);
    albumArtFetcher_->fetchResourceNotifyingClient(this, true);
    return true;
}

bool RadioMetadataParser::fetchAlbumArtWithBaseURL(const QString& baseURL, const QString& artURL) {
    if (baseURL.isEmpty() || artURL.isEmpty()) {
        clearAlbumArt();
        return false;
    }
    return fetchAlbumArtWithArtURL(baseURL + artURL);
}

bool RadioMetadataParser::fetchAlbumArtWithBaseURL(const QString& baseURL) {
    return fetchAlbumArtWithBaseURL(baseURL, songAlbumArtPartialURL().value_or(QString()));
}

ResourceFetcher::Limits RadioMetadataParser::albumArtLimits() {
    ResourceFetcher::Limits limits;
    limits.maxBytes = 8 * 1024 * 1024;
    limits.inactivityTimeout = std::chrono::seconds(60);
    // A server trickling bytes never falls silent: this ends it.
    limits.deadline = std::chrono::seconds(120);
    return limits;
}

// The fetcher keeps itself alive through these messages, so it is simply let go.
void RadioMetadataParser::resourceFetchCompletedWithData(ResourceFetcher* fetcher, const QByteArray& data,
                                                         const QVariant&) {
    if (fetcher != albumArtFetcher_.get()) return;
    const QString url = albumArtFetchURL_;
    try {
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        // The size is read from the header before any pixel is allocated.
        const QSize size = reader.size();
        if (size.isValid() && size.width() <= kMaxAlbumArtSide && size.height() <= kMaxAlbumArtSide) {
            QImage image;
            if (reader.read(&image)) albumArtImage_ = std::move(image);
        }
        albumArtUrlString_ = url;
    } catch (const std::exception&) {
        LogMessage(kLogError, "really failed to load album art!: %s\n", url.toUtf8().constData());
    }
    albumArtFetcher_.reset();
    postAlbumArtFetchCompleted();
}

void RadioMetadataParser::resourceFetchFailedWithReason(ResourceFetcher* fetcher, const QString&, const QVariant&) {
    if (fetcher != albumArtFetcher_.get()) return;
    LogMessage(kLogError, "failed to load album art!: %s\n", albumArtFetchURL_.toUtf8().constData());
    albumArtFetcher_.reset();
    postAlbumArtFetchCompleted();
}

void RadioMetadataParser::postAlbumArtFetchCompleted() { notifications_->post(kAlbumArtNotificationName, this); }
