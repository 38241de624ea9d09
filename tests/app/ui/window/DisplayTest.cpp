// The now-playing display: its lines for each player, document and service state, the
// link buttons and menus, the song information on the clipboard, the panel's pixels and
// the song-time label.

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include "WindowPartsFixture.h"
#include "app/foundation/Clock.h"
#include "app/ui/Buttons.h"
#include "app/ui/ColorSchemeController.h"
#include "app/ui/LineLayoutView.h"
#include "app/ui/NowPlayingDisplay.h"
#include "app/ui/RadioTrackTimeController.h"
#include "app/ui/ScriptingModel.h"
#include "app/ui/TextFields.h"

namespace windowtest {
namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { opened.push_back(url.toString()); }

public:
    std::vector<QString> opened;
};

std::vector<int> ButtonTags(LineLayoutView* line) {
    std::vector<int> tags;
    for (QWidget* view : line->lineSubviews())
        if (auto* b = qobject_cast<DisplayButton*>(view)) tags.push_back(b->tag());
    return tags;
}

bool HasImage(LineLayoutView* line, const QString& name) {
    for (QWidget* view : line->lineSubviews())
        if (view->objectName() == QStringLiteral("image_") + name) return true;
    return false;
}

QString SavePng(const QImage& image, const char* name) {
    const QString path = QCoreApplication::applicationDirPath() + "/" + name + ".png";
    image.save(path);
    return path;
}

int Grey(QRgb c) { return (qRed(c) + qGreen(c) + qBlue(c)) / 3; }

class Display : public WindowTest {
protected:
    int chatRefreshes_ = 0;
    void MakeCounting() {
        Make();
        window_->setChatStatusRefresher([this] { ++chatRefreshes_; });
    }
};

TEST_F(Display, WhilePlayingTheLinesFollowTheTrackDocument) {
    MakeCounting();
    SignOnAndLoad();
    PlayForever();
    const QString station = window_->playingStation()->name();
    const QString description = window_->playingStation()->stationDescription().value_or(QString());
    struct Row {
        const char* what;
        QString xml;
        QString line1, line2;
        std::vector<int> buttons1, buttons2;
        QString comingSoon;
        bool chatRefreshed;
    };
    const QString full =
        "<metadata><song><name>Blue</name><artist>The Band</artist><album>Skies</album></song>"
        "<soon>Next One;Later;Next One</soon></metadata>";
    const std::vector<Row> rows{
        {"a full song", full, "Blue", "by The Band from Skies", {201}, {200, 202}, "Coming up: Next One, Later", false},
        {"an audio ad",
         "<metadata><audio_ad/><soon>After</soon></metadata>",
         "A word from our sponsors",
         "The music continues shortly",
         {},
         {},
         "Coming up: After",
         false},
        {"a song name only",
         "<metadata><song><name>Only</name></song><soon>X</soon></metadata>",
         "Now playing",
         station + " - Only",
         {},
         {},
         "",
         true},
        {"no song in the document",
         "<metadata></metadata>",
         "Now playing",
         station + " - " + description,
         {},
         {},
         "",
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Feed(row.xml);
        // Only this update counts: the station's picture may arrive at any time and
        // refreshes the chat status by itself.
        chatRefreshes_ = 0;
        window_->updateDisplay();
        EXPECT_EQ(window_->lineText(1), row.line1);
        EXPECT_EQ(window_->lineText(2), row.line2);
        EXPECT_EQ(ButtonTags(window_->display().line1()), row.buttons1);
        EXPECT_EQ(ButtonTags(window_->display().line2()), row.buttons2);
        EXPECT_EQ(window_->display().comingSoonLine()->text(), row.comingSoon);
        EXPECT_EQ(chatRefreshes_ > 0, row.chatRefreshed);
    }
}

TEST_F(Display, AFullSongShowsThreeLinkButtonsOnThePanel) {
    Make();
    SignOnAndLoad();
    PlayForever();
    Feed("<metadata><song><name>Blue</name><artist>The Band</artist><album>Skies</album></song></metadata>");
    QWidget* top = window_->window();
    top->resize(640, 520);
    top->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(top));
    NowPlayingDisplay& panel = window_->display();
    const QImage shot = panel.grab().toImage();
    SavePng(shot, "display-full-song");
    std::vector<DisplayButton*> buttons;
    for (auto* line : {panel.line1(), panel.line2()})
        for (QWidget* v : line->lineSubviews())
            if (auto* b = qobject_cast<DisplayButton*>(v)) buttons.push_back(b);
    ASSERT_EQ(buttons.size(), 3u);
    // Ink: a pixel far from the ground of its own row (the gloss changes only by row).
    const auto inked = [&](const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (std::abs(Grey(shot.pixel(x, y)) - Grey(shot.pixel(4, y))) > 60) ++n;
        return n;
    };
    for (DisplayButton* b : buttons) {
        const QRect r(b->mapTo(&panel, QPoint(0, 0)), b->size());
        ASSERT_TRUE(panel.rect().contains(r)) << b->tag();
        EXPECT_GT(r.width(), 10);
        // The title is drawn in the text colour inside the button; the same area of the
        // empty ground under the lines holds none of it.
        EXPECT_GT(inked(r), 10) << b->tag();
        EXPECT_EQ(inked(r.translated(0, panel.height() - 6 - r.bottom())), 0) << b->tag();
    }
}

TEST_F(Display, WhileNotPlayingTheProgressOrTheActiveStationShows) {
    Make();
    SignOnAndLoad();
    window_->setProgressText(QStringLiteral("Working..."));
    EXPECT_EQ(window_->lineText(1), "");
    EXPECT_EQ(window_->lineText(2), "Working...");
    window_->setProgressText(QString());
    auto station = window_->radioService().stationWithID(kMp3Station);
    window_->setActiveStation(station);
    window_->updateDisplay();
    EXPECT_EQ(window_->lineText(1), station->name());
    EXPECT_EQ(window_->lineText(2), station->stationDescription().value_or(QString()));
    EXPECT_EQ(window_->songTimeLabelText(), "");
}

TEST_F(Display, WithoutActiveStationTheBlankTextShows) {
    Make();
    window_->setProgressText(QString());
    // Pending: the sign-on is under way.
    window_->signOn();
    ASSERT_TRUE(window_->radioService().servicePending() || window_->radioService().serviceAvailable());
    window_->setProgressText(QString());
    EXPECT_EQ(window_->lineText(1), "");
    EXPECT_EQ(window_->lineText(2), "");
    ASSERT_TRUE(RunUntil([&] { return window_->radioService().informationLoaded(); }));
}

TEST_F(Display, SignedOffShowsTheWarningAndASignOnButtonThatSignsOn) {
    Make();
    QWidget* top = window_->window();
    top->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(top));
    NowPlayingDisplay& panel = window_->display();
    EXPECT_TRUE(HasImage(panel.line1(), "SmallGrayWarning"));
    EXPECT_EQ(ButtonTags(panel.line2()), std::vector<int>{203});
    const QImage shot = panel.grab().toImage();
    SavePng(shot, "display-signed-off");
    QWidget* warning = nullptr;
    DisplayButton* signOn = nullptr;
    for (QWidget* v : panel.line1()->lineSubviews())
        if (v->objectName() == "image_SmallGrayWarning") warning = v;
    for (QWidget* v : panel.line2()->lineSubviews())
        if (auto* b = qobject_cast<DisplayButton*>(v)) signOn = b;
    ASSERT_TRUE(warning && signOn);
    const QRect w(warning->mapTo(&panel, QPoint(0, 0)), warning->size());
    ASSERT_TRUE(panel.rect().contains(w));
    const QRgb ground = shot.pixel(panel.width() / 2, panel.height() - 4);
    int drawn = 0;
    for (int x = w.left(); x <= w.right(); ++x)
        for (int y = w.top(); y <= w.bottom(); ++y)
            if (shot.pixel(x, y) != ground) ++drawn;
    EXPECT_GT(drawn, w.width() * w.height() / 5) << "the warning image is drawn";
    EXPECT_EQ(signOn->text(), "Sign On");

    QTest::mouseClick(signOn, Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return window_->radioService().informationLoaded(); })) << Log();
}

TEST_F(Display, APlaceholderTwiceGetsOneButton) {
    Make();
    const LineString line = window_->nowPlayingAttributedStringWithFormat("__SONG_NAME__ / __SONG_NAME__");
    int buttons = 0;
    QString plain;
    for (const LineRun& run : line.runs) {
        if (run.buttonTag) {
            ++buttons;
            EXPECT_EQ(*run.buttonTag, 201);
            EXPECT_EQ(run.text.text, "Unknown Song");
        } else {
            plain += run.text.text;
        }
    }
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(plain, " / __SONG_NAME__");
}

TEST_F(Display, LinkItemsNeedADocumentAndOpenItsLinks) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    Make();
    for (int tag : {200, 201, 202}) {
        window_->prepareLinkMenu(tag);
        for (QAction* item : window_->linkMenu(tag)->actions())
            EXPECT_FALSE(item->isEnabled()) << tag;
    }
    SignOnAndLoad();
    PlayForever();
    Feed(
        "<metadata><song><name>Blue</name><artist>The Band</artist><album>Skies</album>"
        "<itunes_song_id>11</itunes_song_id><amg_artist_id>P 22</amg_artist_id></song></metadata>");
    const auto* doc = window_->currentTrackMetadata();
    struct Link {
        int tag;
        QString store, guide;
    };
    for (const Link& link : {Link{201, doc->iTunesURLForSong(), doc->amgURLForSong()},
                             Link{200, doc->iTunesURLForArtist(), doc->amgURLForArtist()},
                             Link{202, doc->iTunesURLForAlbum(), doc->amgURLForAlbum()}}) {
        SCOPED_TRACE(link.tag);
        window_->prepareLinkMenu(link.tag);
        const auto items = window_->linkMenu(link.tag)->actions();
        ASSERT_EQ(items.size(), 2);
        for (QAction* item : items)
            EXPECT_TRUE(item->isEnabled());
        catcher.opened.clear();
        items[0]->trigger();
        items[1]->trigger();
        std::vector<QString> wanted;
        for (const QString& url : {link.store, link.guide})
            if (!url.isEmpty()) wanted.push_back(QUrl(url).toString());
        EXPECT_EQ(catcher.opened, wanted);
    }
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("https");
}

TEST_F(Display, TheSongInformationOnTheClipboardLeavesMissingPartsEmpty) {
    Make();
    SignOnAndLoad();
    PlayForever();
    struct Row {
        QString xml, copied;
    };
    for (const Row& row : std::vector<Row>{
             {"<metadata><song><name>Blue</name><artist>Band</artist><album>Skies</album></song></metadata>",
              "Blue by Band from Skies"},
             {"<metadata><song><name>Blue</name></song></metadata>", "Blue by  from "},
             {"<metadata><song><artist>%1 &amp; Co</artist></song></metadata>", " by %1 & Co from "},
         }) {
        QApplication::clipboard()->setText("before");
        Feed(row.xml);
        window_->copySongInfo();
        EXPECT_EQ(QApplication::clipboard()->text(), row.copied);
    }
    Feed("<metadata><audio_ad/></metadata>");
    QApplication::clipboard()->setText("kept");
    window_->copySongInfo();
    EXPECT_EQ(QApplication::clipboard()->text(), "kept") << "an ad is no song";
}

TEST_F(Display, ThePanelDrawsItsBorderAndTheSchemesBackground) {
    UserDefaults defaults(dir_.filePath("colors.conf"));
    NotificationCenter center;
    ColorSchemeController colors(defaults, center);
    Make();
    window_->setColorSchemeController(&colors);
    QWidget* top = window_->window();
    top->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(top));
    NowPlayingDisplay& panel = window_->display();
    const QImage before = panel.grab().toImage();
    SavePng(before, "display-scheme-before");
    const int w = panel.width(), h = panel.height();
    auto level = [](qreal l) { return int(std::lround(l * 255)); };
    EXPECT_NEAR(Grey(before.pixel(w / 2, 0)), level(NowPlayingDisplay::kTopLeftLevel), 2);
    EXPECT_NEAR(Grey(before.pixel(0, h / 2)), level(NowPlayingDisplay::kTopLeftLevel), 2);
    EXPECT_NEAR(Grey(before.pixel(w / 2, h - 1)), level(NowPlayingDisplay::kBottomRightLevel), 2);
    EXPECT_NEAR(Grey(before.pixel(w - 1, h / 2)), level(NowPlayingDisplay::kBottomRightLevel), 2);
    EXPECT_NEAR(Grey(before.pixel(w / 2, 1)), level(NowPlayingDisplay::kFrameLevel), 2);
    EXPECT_NEAR(Grey(before.pixel(1, h / 2)), level(NowPlayingDisplay::kFrameLevel), 2);

    // A corner inside the frame, clear of text and pictures.
    const QPoint sample(4, h - 4);
    QVariantMap scheme = colors.dictionaryWithColors();
    scheme[kDisplayBackgroundColorKey] = QVariantMap{{"red", 0.9}, {"green", 0.1}, {"blue", 0.1}, {"alpha", 1.0}};
    colors.setColorsFromDictionary(scheme, true);
    window_->interfaceColorsChanged();
    const QImage after = panel.grab().toImage();
    SavePng(after, "display-scheme-after");
    EXPECT_NE(before.pixel(sample), after.pixel(sample));
    EXPECT_GT(qRed(after.pixel(sample)), qGreen(after.pixel(sample)) + 60) << "the new background shows";
}

TEST(TrackTime, MinutesAndSecondsAreTruncatedAndUnbounded) {
    struct Row {
        double seconds;
        const char* text;
    };
    for (const Row& row : {Row{0, "00:00"}, Row{59.9, "00:59"}, Row{61, "01:01"}, Row{3600, "60:00"},
                           Row{4500, "75:00"}, Row{6039.99, "100:39"}})
        EXPECT_EQ(FormatMinutesSeconds(row.seconds), row.text) << row.seconds;
}

TEST(TrackTime, TicksFallOnTheTracksWholeSeconds) {
    FakeClock clock;
    FakeScheduler scheduler(&clock);
    RadioTrackTimeController ticker(clock, scheduler);
    std::vector<float> ticks;
    ticker.setDelegate([&](RadioTrackTimeController& t) { ticks.push_back(t.currentTime()); });
    ticker.setCurrentTime(12.3f);
    scheduler.advance(std::chrono::milliseconds(299));
    EXPECT_TRUE(ticks.empty());
    scheduler.advance(std::chrono::milliseconds(1));
    ASSERT_EQ(ticks.size(), 1u);
    EXPECT_NEAR(ticks[0], 12.6f, 0.01f);
    scheduler.advance(std::chrono::milliseconds(999));
    EXPECT_EQ(ticks.size(), 1u);
    scheduler.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(ticks.size(), 2u);
    scheduler.advance(std::chrono::seconds(3));
    EXPECT_EQ(ticks.size(), 5u);
    // A whole second ticks at once; clearing stops, the times stay.
    ticker.setCurrentTime(20.0f);
    scheduler.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(ticks.size(), 6u);
    ticker.clear();
    scheduler.advance(std::chrono::seconds(5));
    EXPECT_EQ(ticks.size(), 6u);
    EXPECT_NEAR(ticker.currentTime(), 25.0f, 0.01f);
}

class SongTime : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        clock_.set(QDateTime::currentDateTimeUtc());
        env_.clock = &clock_;
        env_.scheduler = &scheduler_;
        // A stream that never answers: the station stays at its URL, the player never plays.
        server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    }
    FakeClock clock_;
    FakeScheduler scheduler_{&clock_};
};

TEST_F(SongTime, TheLabelShowsTimesBannersOrTheFormat) {
    SignOnAndLoad();
    window_->playStationWithID(kMp3Station);
    ASSERT_TRUE(RunUntil([&] { return !window_->playingStationURL().isEmpty(); })) << Log();
    const QString url = window_->playingStationURL();
    auto station = window_->playingStation();
    station->setStationType(ZYMRadioStation::kTypeZYM);
    const auto label = [&] { return window_->songTimeLabelText().toStdString(); };

    // Before a position above a second the elapsed time is unknown.
    window_->playSession().trackProgressAt(0.5f, 200.0f, 0, url);
    scheduler_.advance(std::chrono::milliseconds(500));
    EXPECT_EQ(label(), "--:-- / 03:20");
    window_->playSession().trackProgressAt(12.3f, 200.0f, 0, url);
    scheduler_.advance(std::chrono::milliseconds(300));
    EXPECT_EQ(label(), "00:12 / 03:20");
    scheduler_.advance(std::chrono::seconds(1));
    EXPECT_EQ(label(), "00:13 / 03:20");

    struct Row {
        int type;
        float total;
        bool banner;
    };
    for (const Row& row : {Row{ZYMRadioStation::kTypeLive, 200, true}, Row{ZYMRadioStation::kTypeUser, 200, true},
                           Row{ZYMRadioStation::kTypeOther, 0, true}, Row{ZYMRadioStation::kTypeOther, 90, false},
                           Row{ZYMRadioStation::kTypeZYM, 0, false}}) {
        SCOPED_TRACE(row.type);
        station->setStationType(row.type);
        window_->playSession().trackProgressAt(40.0f, row.total, 0, url);
        std::set<std::string> seen;
        for (int i = 0; i < 4; ++i) {
            scheduler_.advance(std::chrono::seconds(1));
            seen.insert(label());
        }
        if (row.banner) {
            EXPECT_EQ(seen, (std::set<std::string>{"LIVE \u00B7", "LIVE \u2022", "LIVE \u25CF"}))
                << "frames cycle once a second";
        } else {
            EXPECT_EQ(seen.size(), 4u);
            EXPECT_NE(label().find(row.total > 0 ? "/ 01:30" : "/ 00:00"), std::string::npos) << label();
        }
    }

    // A click shows the stream's format for 5 s; a second click brings the time back.
    station->setStationType(ZYMRadioStation::kTypeZYM);
    window_->toggleSongTimeLabelState();
    EXPECT_EQ(window_->songTimeLabelState(), 2);
    const std::string format = label();
    EXPECT_EQ(format, "MP3 128k");
    scheduler_.advance(std::chrono::milliseconds(4900));
    EXPECT_EQ(label(), format);
    scheduler_.advance(std::chrono::milliseconds(200));
    EXPECT_EQ(window_->songTimeLabelState(), 0);
    scheduler_.advance(std::chrono::seconds(1));
    EXPECT_NE(label().find(" / "), std::string::npos) << label();
    QTest::mouseClick(window_->display().songTimeLabel(), Qt::LeftButton);
    EXPECT_EQ(label(), format);
    QTest::mouseClick(window_->display().songTimeLabel(), Qt::LeftButton);
    scheduler_.advance(std::chrono::seconds(1));
    EXPECT_NE(label().find(" / "), std::string::npos) << label();
}

// The player reports where the stream has been read to; the listener hears that less the
// buffered time, and so do the label and scripts.
TEST_F(SongTime, TheElapsedTimeIsWhatIsHeardNotWhatIsBuffered) {
    SignOnAndLoad();
    window_->playStationWithID(kMp3Station);
    ASSERT_TRUE(RunUntil([&] { return !window_->playingStationURL().isEmpty(); })) << Log();
    const QString url = window_->playingStationURL();
    window_->playingStation()->setStationType(ZYMRadioStation::kTypeZYM);
    ScriptingModel scripting(*window_);
    struct Row {
        float position, buffered;
        const char* label;
        qint64 scripted;
    };
    for (const Row& row : {Row{30, 0, "00:30 / 03:20", 30000}, Row{30, 4, "00:26 / 03:20", 26000},
                           Row{64.5f, 6.5f, "00:58 / 03:20", 58000}, Row{3, 7, "00:00 / 03:20", 0}}) {
        SCOPED_TRACE(row.buffered);
        window_->playSession().trackProgressAt(row.position, 200.0f, row.buffered, url);
        EXPECT_EQ(scripting.currentTrackPlayingTime(), row.scripted);
        // A whole second ticks at once.
        scheduler_.advance(std::chrono::milliseconds(1));
        EXPECT_EQ(window_->songTimeLabelText().toStdString(), row.label);
    }
}

}  // namespace
}  // namespace windowtest

#include "DisplayTest.moc"
