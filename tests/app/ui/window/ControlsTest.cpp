// The controls around the display: menu validation, the presets bar with Alt's second
// set, the hover label, the space key, the station location on the clipboard, the
// preset backup, the bandwidth limit and the preference notices.

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QCursor>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>

#include "WindowPartsFixture.h"
#include "app/prefs/PrefModel.h"
#include "app/ui/Buttons.h"
#include "app/ui/MenuValidation.h"
#include "app/ui/PreferenceNotices.h"

namespace windowtest {
namespace {

TEST(MenuValidationTable, EnablesAndTitlesByActionAndState) {
    const auto presets = [](int slot) -> std::optional<QString> {
        return slot == 3 ? std::optional<QString>("Jazz") : std::nullopt;
    };
    MenuState idle;
    idle.canPlay = true;
    idle.hasActiveStation = true;
    idle.presetStationName = presets;
    MenuState playing = idle;
    playing.preparingBufferingOrPlaying = true;
    playing.hasPlayingStation = true;
    playing.playingStationName = "Station 7";
    MenuState song = playing;
    song.hasSongDocument = true;
    song.songName = "Blue";
    song.songArtist = "Band";
    song.songAlbum = "";
    MenuState nothing;
    const auto withSheet = [](MenuState s) {
        s.sheetOpen = true;
        return s;
    };
    const auto fiveSlots = [](MenuState s) {
        s.presetSlots = 5;
        return s;
    };
    const auto signedOn = [](MenuState s) {
        s.signOnInProgressOrValid = true;
        return s;
    };
    MenuState visible;
    visible.windowVisible = true;
    struct Row {
        const char* what;
        MenuItem item;
        MenuState state;
        MenuAction action;
        bool enabled;
        std::optional<QString> title;
    };
    const std::vector<Row> rows{
        {"play when idle", {MenuAction::Play, 0}, idle, MenuAction::Play, true, {}},
        {"play while playing", {MenuAction::Play, 0}, playing, MenuAction::Play, false, {}},
        {"play with a sheet", {MenuAction::Play, 0}, withSheet(idle), MenuAction::Play, false, {}},
        {"500 idle", {MenuAction::Other, 500}, idle, MenuAction::Play, true, "Play"},
        {"500 playing", {MenuAction::Other, 500}, playing, MenuAction::StopPlaying, true, "Stop"},
        {"500 playing, sheet", {MenuAction::Other, 500}, withSheet(playing), MenuAction::StopPlaying, false, "Stop"},
        {"stop when idle", {MenuAction::StopPlaying, 0}, idle, MenuAction::StopPlaying, false, {}},
        {"copy location, active",
         {MenuAction::CopyStationLocation, 0},
         idle,
         MenuAction::CopyStationLocation,
         true,
         {}},
        {"copy location, none",
         {MenuAction::CopyStationLocation, 0},
         nothing,
         MenuAction::CopyStationLocation,
         false,
         {}},
        {"copy location, sheet",
         {MenuAction::CopyStationLocation, 0},
         withSheet(playing),
         MenuAction::CopyStationLocation,
         false,
         {}},
        {"used preset", {MenuAction::PlayPreset, 3}, idle, MenuAction::PlayPreset, true, "Preset 3: Jazz"},
        {"used preset, sheet",
         {MenuAction::PlayPreset, 3},
         withSheet(idle),
         MenuAction::PlayPreset,
         false,
         "Preset 3: Jazz"},
        {"unused preset", {MenuAction::PlayPreset, 4}, idle, MenuAction::PlayPreset, false, "Preset 4"},
        {"store playing, nothing plays",
         {MenuAction::StorePlayingOnPreset, 4},
         idle,
         MenuAction::StorePlayingOnPreset,
         false,
         "Store on Preset 4"},
        {"store playing on a used slot",
         {MenuAction::StorePlayingOnPreset, 3},
         playing,
         MenuAction::StorePlayingOnPreset,
         true,
         "Store on Preset 3 (now Jazz)"},
        {"store selection without one",
         {MenuAction::StoreSelectionOnPreset, 9},
         nothing,
         MenuAction::StoreSelectionOnPreset,
         true,
         "Store on Preset 9"},
        {"store selection beyond the account's slots",
         {MenuAction::StoreSelectionOnPreset, 9},
         fiveSlots(nothing),
         MenuAction::StoreSelectionOnPreset,
         false,
         "Store on Preset 9"},
        {"store playing beyond the account's slots",
         {MenuAction::StorePlayingOnPreset, 6},
         fiveSlots(playing),
         MenuAction::StorePlayingOnPreset,
         false,
         "Store on Preset 6"},
        {"store playing on the account's last slot",
         {MenuAction::StorePlayingOnPreset, 5},
         fiveSlots(playing),
         MenuAction::StorePlayingOnPreset,
         true,
         "Store on Preset 5"},
        {"store selection, sheet",
         {MenuAction::StoreSelectionOnPreset, 9},
         withSheet(nothing),
         MenuAction::StoreSelectionOnPreset,
         false,
         "Store on Preset 9"},
        {"copy playing location",
         {MenuAction::CopyPlayingStationLocation, 0},
         playing,
         MenuAction::CopyPlayingStationLocation,
         true,
         {}},
        {"copy playing location, idle",
         {MenuAction::CopyPlayingStationLocation, 0},
         idle,
         MenuAction::CopyPlayingStationLocation,
         false,
         {}},
        {"dock song", {MenuAction::NowPlayingDisplay, 100}, song, MenuAction::NowPlayingDisplay, false, "  Blue"},
        {"dock song falls back to the station",
         {MenuAction::NowPlayingDisplay, 100},
         playing,
         MenuAction::NowPlayingDisplay,
         false,
         "  Station 7"},
        {"dock song, nothing",
         {MenuAction::NowPlayingDisplay, 100},
         nothing,
         MenuAction::NowPlayingDisplay,
         false,
         "  No song"},
        {"dock artist", {MenuAction::NowPlayingDisplay, 101}, song, MenuAction::NowPlayingDisplay, false, "  Band"},
        {"dock artist missing",
         {MenuAction::NowPlayingDisplay, 101},
         playing,
         MenuAction::NowPlayingDisplay,
         false,
         "  No artist"},
        {"dock album empty keeps its title",
         {MenuAction::NowPlayingDisplay, 102},
         song,
         MenuAction::NowPlayingDisplay,
         false,
         {}},
        {"dock album missing",
         {MenuAction::NowPlayingDisplay, 102},
         playing,
         MenuAction::NowPlayingDisplay,
         false,
         "  No album"},
        {"dock, another tag", {MenuAction::NowPlayingDisplay, 7}, song, MenuAction::NowPlayingDisplay, false, {}},
        {"copy song info", {MenuAction::CopySongInfo, 0}, song, MenuAction::CopySongInfo, true, {}},
        {"copy song info, no song", {MenuAction::CopySongInfo, 0}, playing, MenuAction::CopySongInfo, false, {}},
        {"copy song info, sheet", {MenuAction::CopySongInfo, 0}, withSheet(song), MenuAction::CopySongInfo, false, {}},
        {"anything else", {MenuAction::Other, 0}, withSheet(nothing), MenuAction::Other, true, {}},
        {"sign on", {MenuAction::ToggleSignedIn, 0}, withSheet(nothing), MenuAction::ToggleSignedIn, true, "Sign On"},
        {"sign off while signing on or signed on",
         {MenuAction::ToggleSignedIn, 0},
         signedOn(withSheet(nothing)),
         MenuAction::ToggleSignedIn,
         true,
         "Sign Off"},
        {"show the hidden window", {MenuAction::ShowRadioWindow, 0}, nothing, MenuAction::ShowRadioWindow, true, {}},
        {"show the window shown", {MenuAction::ShowRadioWindow, 0}, visible, MenuAction::ShowRadioWindow, false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const MenuValidation v = validate(row.item, row.state);
        EXPECT_EQ(v.action, row.action);
        EXPECT_EQ(v.enabled, row.enabled);
        EXPECT_EQ(v.title, row.title);
    }
}

std::vector<QString> Titles(const std::vector<QPushButton*>& buttons) {
    std::vector<QString> titles;
    for (QPushButton* b : buttons)
        titles.push_back(b->text());
    return titles;
}

std::vector<int> Lit(const std::vector<QPushButton*>& buttons) {
    std::vector<int> lit;
    for (QPushButton* b : buttons)
        if (b->isChecked()) lit.push_back(qobject_cast<PresetButton*>(b)->tag());
    return lit;
}

class Controls : public WindowTest {
protected:
    // Station 7 on a preset slot.
    void StoreOnPreset(int slot) {
        auto station = window_->radioService().stationWithID(kMp3Station);
        window_->radioService().storeStation(station.get(), slot);
        window_->updateWindowUI();
    }
};

TEST_F(Controls, AltShowsTheSecondFivePresetsAndThePlayingPresetIsLitOnlyWhileShown) {
    SignOnAndLoad();
    QWidget* top = window_->window();
    top->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(top));
    const auto& buttons = window_->presetButtons();
    ASSERT_EQ(buttons.size(), 5u);
    EXPECT_EQ(Titles(buttons), (std::vector<QString>{"1", "2", "3", "4", "5"}));
    EXPECT_TRUE(Lit(buttons).empty()) << "no preset stays on after set-up";

    StoreOnPreset(2);
    PlayForever();
    EXPECT_EQ(Lit(buttons), std::vector<int>{2});
    const QImage shot =
        top->grab(QRect(buttons[0]->mapTo(top, QPoint(0, 0)),
                        QSize(buttons[4]->geometry().right() - buttons[0]->x() + 1, buttons[0]->height())))
            .toImage();
    shot.save(QCoreApplication::applicationDirPath() + "/presets-lit.png");
    const auto blueness = [&](QPushButton* b) {
        const QPoint at = b->geometry().center() - buttons[0]->geometry().topLeft() + QPoint(0, b->height() / 4);
        const QColor c = shot.pixelColor(at.x() - b->width() / 3, at.y());
        return c.blue() - c.red();
    };
    EXPECT_GT(blueness(buttons[1]), 80) << "the lit preset shows its selected band";
    EXPECT_LT(blueness(buttons[0]), 20);
    EXPECT_LT(blueness(buttons[2]), 20);

    QTest::keyPress(top, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(Titles(buttons), (std::vector<QString>{"6", "7", "8", "9", "10"}));
    EXPECT_TRUE(Lit(buttons).empty()) << "preset 2 is not shown";
    QTest::keyRelease(top, Qt::Key_Alt, Qt::NoModifier);
    EXPECT_EQ(Titles(buttons), (std::vector<QString>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(Lit(buttons), std::vector<int>{2});
    buttons[1]->click();
    EXPECT_EQ(window_->playingStation()->stationID(), kMp3Station);
}

// The five buttons make one bar: the first of each five has the left cap, the fifth the
// right one, whichever five Alt shows.
TEST_F(Controls, PresetButtonsTakeTheirImageBySlot) {
    struct Row {
        int slot;
        bool selected;
        const char* image;
    };
    for (const Row& row : {Row{1, false, "preset_left_normal"}, Row{3, false, "preset_center_normal"},
                           Row{5, true, "preset_right_selected"}, Row{6, true, "preset_left_selected"},
                           Row{9, false, "preset_center_normal"}, Row{10, false, "preset_right_normal"}})
        EXPECT_EQ(PresetButton::imageNameForSlot(row.slot, row.selected), QString::fromLatin1(row.image)) << row.slot;

    Make();
    QWidget* top = window_->window();
    top->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(top));
    const auto& buttons = window_->presetButtons();
    // The outer edge columns of each button: the caps are rounded, the middle is not.
    const auto edges = [&] {
        std::vector<QImage> columns;
        for (QPushButton* b : buttons) {
            const QImage shot = b->grab().toImage();
            columns.push_back(shot.copy(0, 0, 2, shot.height()));
            columns.push_back(shot.copy(shot.width() - 2, 0, 2, shot.height()));
        }
        return columns;
    };
    const std::vector<QImage> plain = edges();
    buttons[0]->grab().save(QCoreApplication::applicationDirPath() + "/preset-first.png");
    EXPECT_NE(plain[0], plain[2]) << "the left cap only on the first";
    EXPECT_EQ(plain[2], plain[4]);
    EXPECT_EQ(plain[3], plain[5]);
    EXPECT_NE(plain[9], plain[7]) << "the right cap only on the fifth";
    QTest::keyPress(top, Qt::Key_Alt, Qt::AltModifier);
    ASSERT_EQ(buttons[0]->text(), QStringLiteral("6"));
    EXPECT_EQ(edges(), plain) << "6 to 10 take the same pieces";
    QTest::keyRelease(top, Qt::Key_Alt, Qt::NoModifier);
}

TEST_F(Controls, PresetsAreBackedUpAndCounted) {
    SignOnAndLoad();
    StoreOnPreset(4);
    window_->makeBackupOfPresets();
    const auto user = window_->radioService().authenticatedUsername(true);
    ASSERT_TRUE(user);
    const QStringList backup = defaults_->object("preset_stations_" + *user).toStringList();
    ASSERT_EQ(backup.size(), window_->radioService().maxNumberOfPresets());
    int held = 0;
    for (int slot = 1; slot <= backup.size(); ++slot) {
        auto station = window_->radioService().stationForPreset(slot);
        EXPECT_EQ(backup[slot - 1], station ? station->stationID() : QString("")) << slot;
        held += station ? 1 : 0;
    }
    EXPECT_EQ(backup[3], kMp3Station);
    EXPECT_EQ(window_->numActivePresets(), held);
    EXPECT_EQ(statistics_.numbers.at(4400), quint32(held));
    window_->signOff();
    EXPECT_EQ(window_->numActivePresets(), -1);
}

// What a hovered station plays goes away by itself 15 s after it was last shown; a new
// text starts the wait again, and a cleared line stays clear.
TEST_F(Controls, TheHoverLineClearsItselfFifteenSecondsAfterItsLastText) {
    FakeScheduler scheduler;
    env_.scheduler = &scheduler;
    SignOnAndLoad();
    const auto station = window_->radioService().stationWithID(kMp3Station);
    ASSERT_TRUE(station);
    QLabel* line = window_->nowPlayingTextLabel();
    struct Step {
        int ms;     // time stepped first
        bool show;  // then the station is shown again
        bool shown;
    };
    for (const Step& step : {Step{0, true, true}, Step{14900, false, true}, Step{0, true, true},
                             Step{14900, false, true}, Step{100, false, false}, Step{60000, false, false}}) {
        scheduler.advance(std::chrono::milliseconds(step.ms));
        if (step.show) window_->updateNowPlayingTextLabel(station.get(), nullptr);
        EXPECT_EQ(!line->text().isEmpty(), step.shown) << scheduler.elapsed().count();
    }
}

TEST_F(Controls, HoveringAPresetShowsItsStationAndLaterWhatItPlays) {
    FakeScheduler scheduler;
    env_.scheduler = &scheduler;
    SignOnAndLoad();
    ASSERT_TRUE(defaults_->boolean("use_now_playing"));
    StoreOnPreset(1);
    QWidget* top = window_->window();
    top->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(top));
    auto* first = qobject_cast<PresetButton*>(window_->presetButtons()[0]);
    auto* second = qobject_cast<PresetButton*>(window_->presetButtons()[1]);
    const int states = CountRequests("<radio:Restriction");
    first->mouseEnteredButton();
    EXPECT_EQ(window_->presetsTextLabel()->text(), "Station 7");
    scheduler.advance(std::chrono::milliseconds(249));
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(50));
    EXPECT_EQ(CountRequests("<radio:Restriction"), states) << "not before a quarter second";
    scheduler.advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(RunUntil([&] { return !window_->nowPlayingTextLabel()->text().isEmpty(); })) << Log();
    const QString hover = window_->nowPlayingTextLabel()->text();
    EXPECT_TRUE(hover.startsWith("Station 7")) << hover.toStdString();
    EXPECT_EQ(CountRequests("<radio:Restriction"), states + 1);

    // Straight onto the neighbour: nothing is blanked.
    QCursor::setPos(second->mapToGlobal(second->rect().center()));
    ASSERT_EQ(QApplication::widgetAt(QCursor::pos()), second);
    first->mouseExitedButton();
    EXPECT_EQ(window_->nowPlayingTextLabel()->text(), hover);
    EXPECT_EQ(window_->presetsTextLabel()->text(), "Station 7");
    // Away from the bar: the labels return to rest.
    QCursor::setPos(top->mapToGlobal(QPoint(top->width() / 2, 5)));
    first->mouseExitedButton();
    EXPECT_EQ(window_->presetsTextLabel()->text(), "Presets");
    EXPECT_EQ(window_->nowPlayingTextLabel()->text(), "");
    EXPECT_EQ(window_->lastStationWithHoverFocus(), "");
    second->mouseEnteredButton();
    EXPECT_EQ(window_->presetsTextLabel()->text(), "-") << "an empty slot";
    const int asked = CountRequests("<radio:Restriction");
    scheduler.advance(std::chrono::milliseconds(300));
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(50));
    EXPECT_EQ(CountRequests("<radio:Restriction"), asked) << "asks for nothing";
}

TEST_F(Controls, SpaceTogglesPlayUnlessAFieldTakesIt) {
    SignOnAndLoad();
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")}, {"silent", true}});
    window_->setActiveStation(window_->radioService().stationWithID(kMp3Station));
    QWidget* top = window_->window();
    top->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(top));
    auto* search = top->findChild<QLineEdit*>();
    ASSERT_TRUE(search);
    QTest::keyClick(search, Qt::Key_Space);
    EXPECT_FALSE(window_->playingStation()) << "typed into the field";
    EXPECT_EQ(search->text(), " ");
    QTest::keyClick(top, Qt::Key_Space);
    ASSERT_TRUE(window_->playingStation());
    QTest::keyClick(top, Qt::Key_Space);
    EXPECT_FALSE(window_->playingStation());
    QTest::keyClick(top, Qt::Key_P);
    EXPECT_FALSE(window_->playingStation()) << "other keys do nothing";
}

TEST_F(Controls, AStationsLocationGoesOnTheClipboardEscaped) {
    SignOnAndLoad();
    QApplication::clipboard()->setText("before");
    window_->copyPlayingStationLocation();
    EXPECT_EQ(QApplication::clipboard()->text(), "before") << "nothing plays";
    auto station = window_->radioService().stationWithID(kMp3Station);
    window_->setActiveStation(station);
    window_->copySelectedStationLocation();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->text(), "zymradio://station/radio%3Aaggregate%3A7?name=Station%207");
    EXPECT_EQ(data->urls().value(0).toString(QUrl::FullyEncoded),
              "zymradio://station/radio%3Aaggregate%3A7?name=Station%207");
    EXPECT_FALSE(data->hasFormat("application/x-radiostation-id")) << "no station drag type";
}

TEST_F(Controls, MenusAreValidatedWhenShownAndASheetDisablesTheCommands) {
    SignOnAndLoad();
    StoreOnPreset(3);
    window_->setActiveStation(window_->radioService().stationWithID(kMp3Station));
    QMenu* menu = window_->controlsMenu();
    const auto item = [&](const QString& title) -> QAction* {
        for (QAction* a : menu->actions())
            if (a->text() == title) return a;
        return nullptr;
    };
    window_->validateMenu(menu);
    ASSERT_TRUE(item("Play"));
    EXPECT_TRUE(item("Play")->isEnabled());
    ASSERT_TRUE(item("Preset 3: Station 7"));
    EXPECT_TRUE(item("Preset 3: Station 7")->isEnabled());
    QDialog sheet(window_->window());
    sheet.setWindowModality(Qt::WindowModal);
    sheet.show();
    window_->validateMenu(menu);
    EXPECT_FALSE(item("Play")->isEnabled());
    EXPECT_FALSE(item("Preset 3: Station 7")->isEnabled());
    sheet.hide();
    window_->validateMenu(window_->trayMenu());
    EXPECT_EQ(window_->trayMenu()->actions()[0]->text(), "  No song");
    EXPECT_FALSE(window_->trayMenu()->actions()[0]->isEnabled());
}

TEST(BandwidthLimit, ASetLimitWinsElseTheFallBack) {
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("d.conf"));
    struct Row {
        QVariant stored;
        int limit;
    };
    for (const Row& row :
         {Row{32768, 32768}, Row{0, 384000}, Row{QVariant(), 384000}, Row{"not a number", 384000}, Row{-5, 384000}}) {
        defaults.setObject("network_bandwidth_limit", row.stored);
        EXPECT_EQ(RadioWindowController::networkBandwidthLimitPreference(defaults), row.limit)
            << row.stored.toString().toStdString();
    }
}

TEST(PreferenceNotice, AModelChecksItsThreeKeysAKeyOnlyItself) {
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("d.conf"));
    NotificationCenter center;
    std::vector<QStringList> heard;
    auto subscription = center.observe(kPrefObjectChangedNotification, nullptr, [&](const Notification& n) {
        heard.push_back(PreferenceNotices::changedKeys(n));
    });
    PrefStores stores{&defaults, &center, nullptr};
    UserDefaultPrefModel chat("set_ichat_status", stores);
    chat.setValue(true);
    UserDefaultPrefModel name("screenname", stores);
    name.setValue("Someone");
    center.post(kPrefObjectChangedNotification, nullptr,
                {{PreferenceNotices::kKeyInfo, QStringLiteral("network_bandwidth_limit")}});
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0], (QStringList{"set_ichat_status", "screenname", "network_bandwidth_limit", "use_now_playing"}));
    EXPECT_EQ(heard[1], (QStringList{"screenname", "network_bandwidth_limit", "use_now_playing"}));
    EXPECT_EQ(heard[2], QStringList{"network_bandwidth_limit"});
}

TEST_F(Controls, ANewBandwidthLimitRefiltersTheStations) {
    SignOnAndLoad();
    const std::size_t before = window_->radioService().filteredStations().size();
    UserDefaultPrefModel limit("network_bandwidth_limit", PrefStores{defaults_.get(), &center_, nullptr});
    limit.setValue(32768);
    EXPECT_LT(window_->radioService().filteredStations().size(), before);
}

}  // namespace
}  // namespace windowtest
