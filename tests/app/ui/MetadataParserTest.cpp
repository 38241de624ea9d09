// Track metadata documents as the stream delivers them, the links built from them with a
// test links table, and the album-art download over loopback.

#include "UiTestSupport.h"

#include "app/foundation/Localizer.h"
#include "app/foundation/Resources.h"
#include "app/radio/ZYMRadioStationState.h"
#include "app/radio/RadioMetadataParser.h"
#include "runtime/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>

#include <fstream>
#include <sstream>

namespace {

class LogFile {
public:
    LogFile() {
        path_ = dir_.filePath("zym.log").toStdString();
        InitLogFile(path_.c_str(), kLogDebug, 0);
    }
    ~LogFile() { InitLogFile(nullptr, kLogError, 0); }
    int count(const std::string& text) const {
        std::ifstream in(path_);
        std::stringstream s;
        s << in.rdbuf();
        const std::string all = s.str();
        int n = 0;
        for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
            ++n;
        return n;
    }

private:
    QTemporaryDir dir_;
    std::string path_;
};

TEST(MetadataDocument, PreparedTextParsesAndAnswersQueries) {
    struct Case {
        const char* name;
        const char* text;
        const char* songName;  // null: no name
        bool valid;
    };
    const Case cases[] = {
        {"no declaration", "<metadata><song><name>A</name></song></metadata>", "A", true},
        {"declaration in capitals after blanks", "  \n<?XML version=\"1.0\"?><m><song><name>A</name></song></m>",
         nullptr, false},
        {"declaration in lower case", "<?xml version=\"1.0\"?><m><song><name>A</name></song></m>", "A", true},
        {"spaced ampersand", "<m><song><name>Rock &amp; Roll & more</name></song></m>", "Rock & Roll & more", true},
        {"bare ampersand", "<m><song><name>R&B</name></song></m>", "R&B", true},
        {"character reference", "<m><song><name>a&#38;b&#x26;c</name></song></m>", "a&b&c", true},
        {"unknown entity", "<m><song><name>a&nbsp;b</name></song></m>", "a&nbsp;b", true},
        {"first of several, any namespace, descendants' text",
         "<m xmlns:x=\"urn:x\"><x:song><x:name>one <b>two</b></x:name><name>three</name></x:song>"
         "<song><name>other</name></song></m>",
         "one two", true},
        {"not XML", "just a stream title", nullptr, false},
        {"a DTD", "<!DOCTYPE m [<!ENTITY e \"x\">]><m><song><name>&e;</name></song></m>", nullptr, false},
    };
    for (const auto& c : cases) {
        RadioMetadataParser parser(QString::fromUtf8(c.text));
        EXPECT_EQ(parser.isValid(), c.valid) << c.name;
        EXPECT_EQ(parser.songName().has_value(), c.songName != nullptr) << c.name;
        if (c.songName) EXPECT_EQ(*parser.songName(), QString::fromUtf8(c.songName)) << c.name;
    }
    // A declaration anywhere, in any case, is not added again: the second one above is
    // the text's own (misplaced after blanks, so it fails).
    EXPECT_FALSE(RadioMetadataParser::validXmlDocStringFromString("x <?XmL ").startsWith("<?xml version"));
    EXPECT_TRUE(RadioMetadataParser::validXmlDocStringFromString("<m/>").startsWith("<?xml version"));
}

TEST(MetadataDocument, TextThatDoesNotParseGivesAnEmptyDocumentAndOneLogLine) {
    LogFile log;
    const std::string big(33u * 1024u * 1024u, 'a');
    const QString texts[] = {"<m><song>", "<!DOCTYPE m SYSTEM \"http://127.0.0.1:1/x.dtd\"><m/>",
                             "<m>" + QString::fromStdString(big) + "</m>"};
    for (const QString& text : texts) {
        RadioMetadataParser parser(text);
        EXPECT_FALSE(parser.isValid());
        EXPECT_FALSE(parser.isSong());
        EXPECT_FALSE(parser.isPromo());
        EXPECT_EQ(parser.songLength(), 0);
        EXPECT_TRUE(parser.comingSoon().isEmpty());
        EXPECT_FALSE(parser.banners().has_value());
        EXPECT_FALSE(parser.fetchAlbumArtWithBaseURL("http://127.0.0.1:1/"));
    }
    EXPECT_EQ(log.count("RadioMetadataParser - Metadata XML parse failed"), 3);
}

TEST(MetadataDocument, LengthSoonIdsAndBanners) {
    RadioMetadataParser song(
        "<m><song><name>n</name><amg_album_id>P 123</amg_album_id><amg_artist_id>456</amg_artist_id>"
        "<itunes_song_id>-1</itunes_song_id></song><length>900</length><soon>a;b;;a</soon>"
        "<banners><b><id>1</id><img>http://i/1.png</img><link>L1</link></b><b><id>2</id><link>L2</link></b>"
        "</banners></m>");
    EXPECT_TRUE(song.isSong());
    EXPECT_FALSE(song.isPromo());
    EXPECT_TRUE(song.hasSongName());
    EXPECT_FALSE(song.hasSongAlbum());
    EXPECT_EQ(song.songLength(), 900);
    EXPECT_FLOAT_EQ(song.songLengthSeconds(), 0.9f);
    EXPECT_EQ(song.comingSoon(), QStringList({"a", "b"}));
    EXPECT_EQ(song.amgAlbumID(), "123");
    EXPECT_EQ(song.amgArtistID(), "456");
    EXPECT_FALSE(RadioMetadataParser::isValidAssetID(song.iTunesSongID()));
    const auto banners = song.banners();
    ASSERT_TRUE(banners.has_value());
    ASSERT_EQ(banners->size(), 2u);
    EXPECT_EQ((*banners)[0]->imageURL(), "http://i/1.png");
    EXPECT_EQ((*banners)[0]->magicNumber(), "L1");
    EXPECT_EQ((*banners)[1]->bannerId(), "2");
    EXPECT_EQ((*banners)[1]->imageURL(), "");

    RadioMetadataParser ad("<m><audio_ad/><length>abc</length><banners/></m>");
    EXPECT_TRUE(ad.isPromo());
    EXPECT_FALSE(ad.hasSongName());
    EXPECT_EQ(ad.songLength(), 0);
    EXPECT_FLOAT_EQ(ad.songLengthSeconds(), 0.0f);
    ASSERT_TRUE(ad.banners().has_value());
    EXPECT_TRUE(ad.banners()->empty());
    EXPECT_FALSE(ad.amgAlbumID().has_value());
}

class MetadataLinks : public ::testing::Test {
protected:
    void SetUp() override {
        QFile f(dir.filePath("MetadataLinks.strings"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(R"("ZYMMusicSongSearchLink" = "G/ss?%@";
"ZYMMusicAlbumSearchLink" = "G/as?%@";
"ZYMMusicArtistSearchLink" = "G/rs?%@";
"ZYMMusicAlbumLink" = "G/a/%@";
"ZYMMusicArtistLink" = "G/r/%@";
"ITunesBuySongLink" = "S/buy?s=%@&a=%@";
"ITunesViewAlbumLink" = "S/a?%@";
"ITunesViewArtistLink" = "S/r?%@";
"ITunesSimpleSearchURLBase" = "S/simple?";
"ITunesSimpleSearchTermParam" = "t=";
"ITunesSimpleSearchTypeParam" = "k=";
"ITunesSimpleSearchSongType" = "S";
"ITunesSimpleSearchArtistType" = "R";
"ITunesSimpleSearchAlbumType" = "A";
"ITunesPowerSearchURLBase" = "S/power?";
"ITunesPowerSearchSongTermParam" = "s=";
"ITunesPowerSearchArtistTermParam" = "r=";
"ITunesPowerSearchAlbumTermParam" = "a=";
)");
        f.close();
        root = std::make_unique<ScopedResourceRoot>(dir.path());
        Localizer::shared().reset();
    }
    void TearDown() override {
        root.reset();
        Localizer::shared().reset();
    }
    QTemporaryDir dir;
    std::unique_ptr<ScopedResourceRoot> root;
};

TEST_F(MetadataLinks, EverySelectorAgainstGoldenURLs) {
    RadioMetadataParser ids(
        "<m><song><name>Caf\xC3\xA9 & Bar #1</name><album>A/B?</album><artist>R&B 100%</artist>"
        "<amg_album_id>P 77</amg_album_id><amg_artist_id>88</amg_artist_id><itunes_song_id>1</itunes_song_id>"
        "<itunes_album_id>2</itunes_album_id><itunes_artist_id>3</itunes_artist_id></song></m>");
    RadioMetadataParser none(
        "<m><song><name>Caf\xC3\xA9 & Bar #1</name><album>A/B?</album><artist>R&B 100%</artist>"
        "<amg_album_id>-1</amg_album_id><itunes_song_id>1</itunes_song_id><itunes_album_id>-1</itunes_album_id>"
        "</song></m>");
    struct Case {
        const char* name;
        QString got;
        const char* expected;
    };
    const Case cases[] = {
        {"guide song", ids.amgURLForSong(), "G/ss?Caf%C3%A9%20%26%20Bar%20%231"},
        {"guide album id", ids.amgURLForAlbum(), "G/a/77"},
        {"guide album search", none.amgURLForAlbum(), "G/as?A%2FB%3F"},
        {"guide artist id", ids.amgURLForArtist(), "G/r/88"},
        {"guide artist search", none.amgURLForArtist(), "G/rs?R%26B%20100%25"},
        {"store song", ids.iTunesURLForSong(), "S/buy?s=1&a=2"},
        {"store song search", none.iTunesURLForSong(), "S/power?s=Caf%C3%A9%20%26%20Bar%20%231&r=R%26B%20100%25"},
        {"store album", ids.iTunesURLForAlbum(), "S/a?2"},
        {"store album search", none.iTunesURLForAlbum(), "S/power?r=R%26B%20100%25&a=A%2FB%3F"},
        {"store artist", ids.iTunesURLForArtist(), "S/r?3"},
        {"store artist search", none.iTunesURLForArtist(), "S/simple?t=R%26B%20100%25&k=R"},
        {"no terms", RadioMetadataParser::iTunesSearchURL({}, {}, {}), ""},
        {"song only", RadioMetadataParser::iTunesSearchURL(QString("s"), {}, {}), "S/simple?t=s&k=S"},
        {"album only", RadioMetadataParser::iTunesSearchURL({}, {}, QString("")), "S/simple?t=&k=A"},
        {"song and album", RadioMetadataParser::iTunesSearchURL(QString("s"), {}, QString("a")), "S/power?s=s&a=a"},
        {"all three", RadioMetadataParser::iTunesSearchURL(QString("s"), QString("r"), QString("a")),
         "S/power?s=s&r=r&a=a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, QString::fromLatin1(c.expected)) << c.name;
}

// --- album art over loopback ---

QByteArray png(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A real small PNG whose header claims w x h pixels.
QByteArray pngClaiming(quint32 w, quint32 h) {
    QByteArray bytes = png(1, 1);
    for (int i = 0; i < 4; ++i) {
        bytes[16 + i] = char(w >> (24 - 8 * i));
        bytes[20 + i] = char(h >> (24 - 8 * i));
    }
    quint32 crc = 0xFFFFFFFFu;
    for (int i = 12; i < 29; ++i) {  // the chunk's type and data
        crc ^= quint8(bytes[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i)
        bytes[29 + i] = char(crc >> (24 - 8 * i));
    return bytes;
}

class AlbumArt : public ::testing::Test {
protected:
    void SetUp() override {
        prefix = server.NewPrefix();
        ResourceFetcher::clearCache();
    }
    QString url(const std::string& rest = "") const { return QString::fromStdString(server.Url(prefix + rest)); }
    void serve(QJsonObject script, const std::string& rest = "") {
        script["path"] = QString::fromStdString(prefix + rest);
        server.Script(script);
    }
    std::unique_ptr<RadioMetadataParser> parser(
        const char* xml = "<m><song><album_art>art.png</album_art></song></m>",
        const ResourceFetcher::Limits& limits = RadioMetadataParser::albumArtLimits()) {
        auto p = std::make_unique<RadioMetadataParser>(QString::fromLatin1(xml), &center);
        p->setAlbumArtLimits(limits);
        subscriptions.push_back(center.observe(RadioMetadataParser::kAlbumArtNotificationName, p.get(),
                                               [this](const Notification&) { ++notified; }));
        return p;
    }
    bool waitNotified(int n = 1) {
        return platform::RunLoop::Current().RunUntil([&] { return notified >= n; },
                                                     zymtest::Scaled(std::chrono::seconds(20)));
    }
    zymtest::TestServer& server = zymtest::TestServer::Get();
    std::string prefix;
    NotificationCenter center;
    std::vector<NotificationCenter::Subscription> subscriptions;
    int notified = 0;
};

TEST_F(AlbumArt, BaseURLAndPartialPathGiveTheImage) {
    const QByteArray bytes = png(30, 20);
    serve({{"body_b64", QString::fromLatin1(bytes.toBase64())}}, "/art.png");
    auto p = parser();
    ASSERT_TRUE(p->fetchAlbumArtWithBaseURL(url("/")));
    EXPECT_TRUE(p->albumArtPending());
    ASSERT_TRUE(waitNotified());
    EXPECT_FALSE(p->albumArtPending());
    EXPECT_EQ(p->albumArtImage().size(), QSize(30, 20));
    EXPECT_EQ(p->albumArtUrlString(), url("/art.png"));
    // No partial path: the station's own image is the caller's fall-back.
    auto q = parser("<m><song/></m>");
    EXPECT_FALSE(q->fetchAlbumArtWithBaseURL(url("/")));
    EXPECT_FALSE(q->albumArtPending());
    ASSERT_TRUE(q->fetchAlbumArtWithArtURL(url("/art.png")));
    ASSERT_TRUE(waitNotified(2));
    EXPECT_FALSE(q->albumArtImage().isNull());
}

TEST_F(AlbumArt, FailuresEndWithTheNotificationAndNoImage) {
    serve({{"status", 404}, {"body", "no"}}, "/404");
    serve({{"body", "not an image"}}, "/text");
    serve({{"body_b64", QString::fromLatin1(pngClaiming(30000, 30000).toBase64())}}, "/huge");
    serve({{"size", 4096}}, "/big");
    serve({{"silent", true}}, "/silent");
    // Never silent for long, never done: only the deadline ends it.
    serve({{"size", 600}, {"trickle", QJsonObject{{"bytes", 1}, {"interval_ms", 200}}}}, "/trickle");
    ResourceFetcher::Limits limits;
    limits.maxBytes = 1024;
    limits.inactivityTimeout = zymtest::Scaled(std::chrono::milliseconds(500));
    limits.deadline = zymtest::Scaled(std::chrono::milliseconds(1500));
    const QString urls[] = {
        url("/404"),
        url("/text"),
        url("/huge"),
        url("/big"),
        url("/silent"),
        url("/trickle"),
        QString::fromStdString("http://127.0.0.1:" + std::to_string(zymtest::TestServer::ClosedPort()) + "/x")};
    {
        // The claimed size is read as it is: only the cap refuses it.
        QByteArray huge = pngClaiming(30000, 30000);
        QBuffer buffer(&huge);
        buffer.open(QIODevice::ReadOnly);
        ASSERT_EQ(QImageReader(&buffer).size(), QSize(30000, 30000));
    }
    for (const QString& u : urls) {
        notified = 0;
        auto p = parser("<m/>", limits);
        ASSERT_TRUE(p->fetchAlbumArtWithArtURL(u)) << u.toStdString();
        ASSERT_TRUE(waitNotified()) << u.toStdString();
        EXPECT_TRUE(p->albumArtImage().isNull()) << u.toStdString();
        EXPECT_FALSE(p->albumArtPending());
    }
}

TEST_F(AlbumArt, ASecondFetchOrDeletionSilencesTheFirst) {
    serve({{"body_b64", QString::fromLatin1(png(8, 8).toBase64())}, {"delay_ms", 300}}, "/slow");
    serve({{"body_b64", QString::fromLatin1(png(4, 4).toBase64())}}, "/fast");
    auto p = parser();
    ASSERT_TRUE(p->fetchAlbumArtWithArtURL(url("/slow")));
    ASSERT_TRUE(p->fetchAlbumArtWithArtURL(url("/fast")));
    ASSERT_TRUE(waitNotified());
    EXPECT_EQ(p->albumArtImage().size(), QSize(4, 4));
    // The first one's answer would come now: it changes nothing.
    platform::RunLoop::Current().RunUntil([] { return false; }, std::chrono::milliseconds(600));
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(p->albumArtImage().size(), QSize(4, 4));

    auto q = parser();
    ASSERT_TRUE(q->fetchAlbumArtWithArtURL(url("/slow")));
    q.reset();
    platform::RunLoop::Current().RunUntil([] { return false; }, std::chrono::milliseconds(600));
    EXPECT_EQ(notified, 1);
}

// Art the server calls fresh comes from the cache the next time; art it says not to keep
// is asked for every time.
TEST_F(AlbumArt, FreshArtComesFromTheCache) {
    const QString body = QString::fromLatin1(png(6, 5).toBase64());
    const struct {
        const char* path;
        QJsonArray headers;
        std::size_t requests;
    } cases[] = {
        {"/fresh", QJsonArray{QJsonArray{"Cache-Control", "public, max-age=600"}}, 1},
        {"/expires", QJsonArray{QJsonArray{"Expires", "Thu, 01 Jan 2099 00:00:00 GMT"}}, 1},
        {"/nostore", QJsonArray{QJsonArray{"Cache-Control", "no-store, max-age=600"}}, 2},
        {"/stale", QJsonArray{QJsonArray{"Cache-Control", "max-age=0"}}, 2},
        {"/plain", QJsonArray{}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        serve({{"body_b64", body}, {"headers", c.headers}}, c.path);
        for (int i = 0; i < 2; ++i) {
            notified = 0;
            auto p = parser();
            ASSERT_TRUE(p->fetchAlbumArtWithArtURL(url(c.path)));
            EXPECT_TRUE(p->albumArtPending()) << "the answer comes later, also from the cache";
            ASSERT_TRUE(waitNotified());
            EXPECT_EQ(p->albumArtImage().size(), QSize(6, 5));
        }
        std::size_t asked = 0;
        for (const auto& r : server.Requests(prefix))
            asked += r.path == prefix + c.path ? 1 : 0;
        EXPECT_EQ(asked, c.requests);
    }
}

TEST_F(AlbumArt, AnURLThatIsNotHttpSendsNothing) {
    auto p = parser();
    ASSERT_TRUE(p->fetchAlbumArtWithArtURL("file:///etc/passwd"));
    ASSERT_TRUE(waitNotified());
    EXPECT_TRUE(p->albumArtImage().isNull());
    const QString ftp = "ftp://127.0.0.1:" + QString::number(server.Port()) + "/" + QString::fromStdString(prefix);
    ASSERT_TRUE(p->fetchAlbumArtWithArtURL(ftp));
    ASSERT_TRUE(waitNotified(2));
    EXPECT_TRUE(server.Requests(prefix).empty());
}

}  // namespace
