// The album-art store: file names made safe from what the stream says, the switch, an
// unusable folder, and the document whose art arrived is the one stored.

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include "WindowPartsFixture.h"
#include "app/ui/AlbumArtStore.h"

namespace windowtest {
namespace {

TEST(AlbumArtNames, ComeFromArtistAndAlbumOrTheArtURL) {
    const auto none = std::optional<QString>();
    struct Row {
        const char* what;
        std::optional<QString> artist, album;
        QString url, name;
    };
    const std::vector<Row> rows{
        {"blanks trimmed", " \tThe Band ", "  Skies\t", "http://h/a/x.jpg", "The Band (Skies).tiff"},
        {"no album", "The Band", none, "http://h/a/cover.art.jpg?size=2", "cover.art.tiff"},
        {"no artist", none, "Skies", "http://h/a/x.jpg", "x.tiff"},
        {"climbing out", "../../etc", "passwd", "", "-..-etc (passwd).tiff"},
        {"slashes", "AC/DC", "Back/In", "", "AC-DC (Back-In).tiff"},
        {"hidden", ".hidden", "x", "", "hidden (x).tiff"},
        {"NUL and controls", QString("Ba") + QChar(0) + "nd\x01", "Sk\nies", "", "Band (Skies).tiff"},
        {"a dotted URL name", none, none, "http://h/a/..jpg", ""},
        {"nothing at all", none, none, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(AlbumArtStore::fileName(row.artist, row.album, row.url), row.name);
    }
}

TEST(AlbumArtNames, AreCappedAt255BytesOnACharacterBoundary) {
    const QString artist = QString(150, QChar(0x00e9));  // two bytes each
    const QString name = AlbumArtStore::fileName(artist, QString("x"), QString());
    EXPECT_LE(name.toUtf8().size(), 255);
    EXPECT_GT(name.toUtf8().size(), 240);
    EXPECT_TRUE(name.endsWith(".tiff"));
    EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name) << "no character cut in half";
    const QString emoji = AlbumArtStore::safeFileName(QString(130, QChar(0xd83d)).replace(QChar(0xd83d), "\U0001F3B5"));
    EXPECT_LE(emoji.toUtf8().size(), 255);
    EXPECT_EQ(QString::fromUtf8(emoji.toUtf8()), emoji);
}

class AlbumArt : public WindowTest {
protected:
    std::unique_ptr<RadioMetadataParser> Fetched(const QString& xml, const QString& url) {
        auto doc = std::make_unique<RadioMetadataParser>(xml, &center_);
        EXPECT_TRUE(doc->fetchAlbumArtWithArtURL(url));
        EXPECT_TRUE(RunUntil([&] { return !doc->albumArtPending(); }));
        return doc;
    }
};

TEST_F(AlbumArt, IsStoredAsTiffUnlessSwitchedOffOrTheFolderIsUnusable) {
    ASSERT_TRUE(QImageReader::supportedImageFormats().contains("tiff")) << "qt6-image-formats-plugins";
    const QString url = ServeArt("cover.png", Qt::red);
    auto doc =
        Fetched("<metadata><song><name>Blue</name><artist> Band </artist><album>Skies</album></song></metadata>", url);
    ASSERT_FALSE(doc->albumArtImage().isNull());
    const QString folder = dir_.filePath("store/albumArt");

    defaults_->setBool("albumart_cache", false);
    EXPECT_FALSE(AlbumArtStore::store(*doc, folder, *defaults_));
    EXPECT_FALSE(QDir(folder).exists());

    defaults_->setObject("albumart_cache", QVariant());
    const auto path = AlbumArtStore::store(*doc, folder, *defaults_);
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, folder + "/Band (Skies).tiff");
    QImageReader reader(*path);
    EXPECT_EQ(reader.format(), "tiff");
    const QImage stored = reader.read();
    EXPECT_EQ(stored.size(), QSize(24, 24));
    EXPECT_EQ(stored.pixelColor(3, 3), QColor(Qt::red));

    // A folder that cannot be made: skipped without a word.
    QFile blocker(dir_.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(AlbumArtStore::store(*doc, dir_.filePath("file/albumArt"), *defaults_));

    auto ad = Fetched("<metadata><audio_ad/></metadata>", url);
    EXPECT_FALSE(AlbumArtStore::store(*ad, folder, *defaults_)) << "only songs";
}

TEST_F(AlbumArt, TheArtThatArrivedIsStoredForItsOwnSong) {
    SignOnAndLoad();
    PlayForever();
    const QString slow = ServeArt("slow.png", Qt::green, 1500);
    const QString quick = ServeArt("quick.png", Qt::blue);
    const QString base = QString::fromStdString(server_->Url(prefix_ + "art/"));
    window_->playingStation()->setAlbumArtBaseURL(base);
    const QString url = window_->playingStationURL();
    // The current song's art is slow; the next song's document and art arrive meanwhile.
    window_->playSession().receivedMetaData(
        "<metadata><song><name>Now</name><artist>First</artist><album>One</album><album_art>slow.png</album_art>"
        "</song></metadata>",
        QDateTime::currentDateTimeUtc(), url);
    ASSERT_TRUE(RunUntil([&] { return window_->currentTrackMetadata() && !window_->nextTrackMetadata(); }));
    window_->playSession().receivedMetaData(
        "<metadata><song><name>Next</name><artist>Second</artist><album>Two</album><album_art>quick.png</album_art>"
        "</song></metadata>",
        QDateTime::currentDateTimeUtc().addSecs(600), url);
    const QString folder = dir_.filePath("albumArt");
    ASSERT_TRUE(RunUntil([&] { return QFile::exists(folder + "/First (One).tiff"); })) << Log();
    EXPECT_TRUE(QFile::exists(folder + "/Second (Two).tiff"));
    EXPECT_EQ(QImage(folder + "/First (One).tiff").pixelColor(2, 2), QColor(Qt::green));
    EXPECT_EQ(QImage(folder + "/Second (Two).tiff").pixelColor(2, 2), QColor(Qt::blue));
    Q_UNUSED(slow);
    Q_UNUSED(quick);
}

}  // namespace
}  // namespace windowtest
