// The main window's side of the radio service's reports, against the test server: the
// sign-on's texts and statistics, one silent sign-on after a lost service, the loading
// sheet, a failed load, the station rows, states of hovered stations and presets that
// changed on the server.

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "WindowPartsFixture.h"
#include "app/foundation/ErrorDescription.h"
#include "app/radio/ZYMRadioStationState.h"
#include "dms/core/DMSIFService.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioStationsDataSource.h"

namespace windowtest {
namespace {

class ServiceCallbacks : public WindowTest {
protected:
    // The next call of `method` finds no answer: the connection is reset.
    void DropNext(const char* method) {
        ScriptDirectory({{"methods", QJsonObject{{method, QJsonArray{QJsonObject{{"drop", true}}, QJsonObject{}}}}}});
    }
    // Playing, the connection drops and the silent sign-on finds no service: the play ends
    // by the lost service.
    void LoseTheServiceWhilePlaying() {
        servicesReachable_ = false;
        SignOnAndLoad();
        PlayForever();
        server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_)},
                                    {"kind", "signon"},
                                    {"users", QJsonArray{QJsonObject{{"name", kUser}, {"password", kPassword}}}},
                                    {"disco_status", "Refused"}});
        DropNext("GetStationState");
        window_->radioService().requestStateForStations({kMp3Station}, window_->networkBandwidthLimitPreference());
        ASSERT_TRUE(RunUntil([&] { return !EndSessions().empty(); })) << Log();
    }
    int SignOnSteps() {
        int n = 0;
        for (const auto& r : server_->Requests(prefix_))
            if (r.path == prefix_) ++n;
        return n;
    }
    std::vector<std::string> EndSessions() const {
        std::vector<std::string> ends;
        for (const auto& c : statistics_.calls)
            if (c.rfind("end", 0) == 0) ends.push_back(c);
        return ends;
    }
};

TEST_F(ServiceCallbacks, SignOnReportsItsStatesAndClearsItsText) {
    SignOnAndLoad();
    EXPECT_EQ(statistics_.calls, (std::vector<std::string>{"state 2", "state 3"}));
    EXPECT_EQ(window_->progressText(), "");
    EXPECT_EQ(window_->serviceRetryCount(), 0);
}

TEST_F(ServiceCallbacks, AWrongPasswordShowsTheFailureAndEndsTheSession) {
    KeychainUtils::savePasswordToKeychain(passwords_, "wrong", kUser, QStringLiteral("ZYM Radio"));
    Make().signOn();
    ASSERT_TRUE(RunUntil([&] { return !EndSessions().empty(); })) << Log();
    EXPECT_EQ(EndSessions(), std::vector<std::string>{"end 2 12294"});
    EXPECT_EQ(window_->progressText(), "Signing on failed.");
    EXPECT_EQ(statistics_.calls.front(), "state 2");
}

TEST_F(ServiceCallbacks, ALostServiceSignsOnOnceSilentlyAndThePlayingStationResumes) {
    servicesReachable_ = false;
    SignOnAndLoad();
    PlayForever();
    const int signOns = SignOnSteps();
    const auto streams = CountRequests("svcstream/");
    DropNext("GetStationState");
    window_->radioService().requestStateForStations({kMp3Station}, window_->networkBandwidthLimitPreference());
    ASSERT_TRUE(RunUntil([&] { return window_->serviceRetryCount() == 1; })) << Log();
    ASSERT_TRUE(RunUntil([&] {
        return window_->serviceRetryCount() == 0 && window_->radioService().serviceAvailable();
    })) << Log();
    EXPECT_GT(SignOnSteps(), signOns) << "signed on again";
    EXPECT_TRUE(panels_.shows.empty()) << "without a panel";
    EXPECT_TRUE(EndSessions().empty());
    ASSERT_TRUE(window_->playingStation());
    EXPECT_EQ(window_->playingStation()->stationID(), kMp3Station);
    EXPECT_NE(Log().find("resuming 'Station 7'"), std::string::npos);
    ASSERT_TRUE(RunUntil([&] { return window_->streamPlaying(); })) << Log();
    EXPECT_GE(CountRequests("svcstream/"), streams);
}

TEST_F(ServiceCallbacks, ASecondLossWithoutSuccessGivesUpAndMakesThePanelSticky) {
    LoseTheServiceWhilePlaying();
    if (HasFatalFailure()) return;
    EXPECT_EQ(window_->serviceRetryCount(), 0);
    EXPECT_FALSE(window_->playingStation());
    EXPECT_FALSE(window_->radioService().serviceAvailable());
    EXPECT_TRUE(window_->authenticationController()->willPromptUserWithPanel()) << "the panel is sticky";
    EXPECT_EQ(statistics_.calls.back(), "state 1");
}

// The play ended by the lost service, not by the listener: the settings the quit writes
// keep the station, so that the next launch plays and selects it again.
TEST_F(ServiceCallbacks, AfterAFaultEndedThePlayTheQuitKeepsTheStation) {
    LoseTheServiceWhilePlaying();
    if (HasFatalFailure()) return;
    ASSERT_FALSE(window_->playingStation());
    window_->prepareForApplicationTermination();
    window_->saveSettings();
    EXPECT_EQ(defaults_->string(QStringLiteral("playing_station")), kMp3Station);
    EXPECT_EQ(defaults_->string(QStringLiteral("active_station")), kMp3Station);
}

// Stopped by the listener, the quit forgets the playing station, as it should.
TEST_F(ServiceCallbacks, AfterTheListenersStopTheQuitForgetsThePlayingStation) {
    SignOnAndLoad();
    PlayForever();
    window_->togglePlaying();
    ASSERT_FALSE(window_->playingStation());
    window_->prepareForApplicationTermination();
    window_->saveSettings();
    EXPECT_EQ(defaults_->string(QStringLiteral("playing_station")), QString(""));
    EXPECT_EQ(defaults_->string(QStringLiteral("active_station")), kMp3Station);
}

TEST_F(ServiceCallbacks, SigningOffNeitherRetriesNorEndsASession) {
    SignOnAndLoad();
    const int signOns = SignOnSteps();
    window_->fadeVolumeIn(5.0);
    ASSERT_TRUE(window_->volumeFading());
    window_->signOff();
    EXPECT_FALSE(window_->volumeFading()) << "a lost service ends the fade";
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(200));
    EXPECT_EQ(SignOnSteps(), signOns);
    EXPECT_EQ(window_->serviceRetryCount(), 0);
    EXPECT_TRUE(EndSessions().empty());
    EXPECT_EQ(statistics_.calls.back(), "state 1");
}

TEST_F(ServiceCallbacks, AFailedLoadShowsTheServiceUnavailableAndSignsOffAMomentLater) {
    FakeScheduler scheduler;
    env_.scheduler = &scheduler;
    ScriptDirectory({{"methods", QJsonObject{{"ListStations", QJsonObject{{"status_code", "e:Failed"}}}}}});
    Make().signOn();
    ASSERT_TRUE(RunUntil([&] { return window_->progressText() == "The radio service is not available."; })) << Log();
    EXPECT_FALSE(window_->radioProgressPanelVisible());
    EXPECT_TRUE(window_->authenticationInProgressOrValid());
    scheduler.advance(std::chrono::milliseconds(99));
    EXPECT_TRUE(window_->authenticationInProgressOrValid()) << "not yet";
    scheduler.advance(std::chrono::milliseconds(1));
    EXPECT_FALSE(window_->authenticationInProgressOrValid());
    EXPECT_EQ(window_->progressText(), "The radio service is not available.") << "the reason stays";
}

TEST_F(ServiceCallbacks, TheLoadingSheetShowsOnlyAfterTwoSecondsAndItsButtonSignsOff) {
    FakeScheduler scheduler;
    env_.scheduler = &scheduler;
    Make();
    window_->window()->show();
    SignOnAndLoad();
    scheduler.advance(std::chrono::seconds(5));
    EXPECT_FALSE(window_->radioProgressPanelVisible()) << "a quick load never shows the sheet";
    // A new window over an empty cache loads from the server again, slowly.
    window_.reset();
    QDir(dir_.filePath("cache")).removeRecursively();
    ScriptDirectory({{"methods", QJsonObject{{"GetStationInfo", QJsonObject{{"delay_ms", 4000}}}}}});
    Make().window()->show();
    const int described = CountRequests("IMetadataDescribeRequest");
    window_->signOn();
    ASSERT_TRUE(RunUntil([&] { return CountRequests("IMetadataDescribeRequest") > described; })) << Log();
    ASSERT_FALSE(window_->radioService().informationLoaded());
    EXPECT_FALSE(window_->radioProgressPanelVisible());
    scheduler.advance(std::chrono::seconds(2));
    ASSERT_TRUE(window_->radioProgressPanelVisible());
    EXPECT_GT(window_->radioProgressIndicator()->maximum(), 0);
    auto* button = window_->radioProgressPanel()->findChild<QPushButton*>("radioProgressButton");
    ASSERT_TRUE(button);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(window_->radioProgressPanelVisible());
    EXPECT_FALSE(window_->authenticationInProgressOrValid()) << "the button signs off";
}

TEST_F(ServiceCallbacks, OneStationsDetailsReloadOnlyItsRow) {
    SignOnAndLoad();
    QAbstractItemModel* model = window_->stationTable().model();
    const int rows = model->rowCount();
    ASSERT_GT(rows, 2);
    const auto item = window_->dataSource().stationItemAtIndex(1);
    ASSERT_TRUE(item);
    std::vector<std::pair<int, int>> changed;
    int resets = 0;
    QObject::connect(model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& a, const QModelIndex& b) { changed.emplace_back(a.row(), b.row()); });
    QObject::connect(model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    window_->serviceCallbacks().radioServiceStationDetailsDidLoad(item->stationID());
    EXPECT_EQ(changed, (std::vector<std::pair<int, int>>{{1, 1}}));
    changed.clear();
    window_->serviceCallbacks().radioServiceStationDetailsDidLoad(std::nullopt);
    EXPECT_EQ(changed, (std::vector<std::pair<int, int>>{{0, rows - 1}})) << "a chunk reloads every row";
    EXPECT_EQ(resets, 0) << "the rows stay, the selection with them";
}

// At the default verbosity (debug, as the fixture logs) a sign-on and the directory's load
// log one line per request and one per answer, no message body; the trace verbosity adds
// the bodies.
TEST_F(ServiceCallbacks, BodiesAreLoggedOnlyAboveTheDefaultVerbosity) {
    ASSERT_EQ(GetLogLevel(), kLogDebug);
    SignOnAndLoad();
    const auto count = [](const std::string& text, const std::string& needle) {
        int n = 0;
        for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
            ++n;
        return n;
    };
    std::string log = Log();
    const int sent = count(log, "Sending URL request to ");
    EXPECT_GE(sent, 5) << "sign-on, discovery and the directory's calls";
    EXPECT_EQ(count(log, "Received response to request at "), sent);
    for (const char* body : {"-----START-----", "UNCOMPRESSED REQUEST BODY", "Envelope", "Content-Type"})
        EXPECT_EQ(log.find(body), std::string::npos) << body;

    InitLogFile(logPath_.c_str(), kLogTrace, 0);
    window_->playStationWithID(kMp3Station);
    ASSERT_TRUE(RunUntil([&] { return Log().find("------END------") != std::string::npos; })) << Log();
    log = Log();
    EXPECT_NE(log.find("UNCOMPRESSED REQUEST BODY"), std::string::npos);
    EXPECT_NE(log.find("Envelope"), std::string::npos);
}

TEST_F(ServiceCallbacks, PresetsChangedElsewhereAreReloadedOrOverwrittenAsChosen) {
    SignOnAndLoad();
    auto station = window_->radioService().stationWithID(kMp3Station);
    for (int choice : {0, 1}) {
        SCOPED_TRACE(choice);
        ScriptDirectory(
            {{"methods", QJsonObject{{"SetPresets", QJsonArray{QJsonObject{{"out_of_date", true}}, QJsonObject{}}}}}});
        const int sets = CountRequests("IProfileSetRequest");
        const int gets = CountRequests("IProfileGetRequest");
        const std::size_t shown = dialogs_.shown.size();
        window_->radioService().storeStation(station.get(), 2 + choice);
        window_->radioService().savePresets();
        ASSERT_TRUE(RunUntil([&] { return dialogs_.shown.size() > shown; })) << Log();
        EXPECT_EQ(dialogs_.shown.back().request.title, "Your presets changed elsewhere");
        EXPECT_EQ(dialogs_.shown.back().parent, window_->window());
        dialogs_.answer(choice);
        if (choice == 0) {
            ASSERT_TRUE(RunUntil([&] { return CountRequests("IProfileGetRequest") > gets; })) << Log();
        } else {
            ASSERT_TRUE(RunUntil([&] { return CountRequests("IProfileSetRequest") > sets + 1; })) << Log();
        }
    }
}

TEST_F(ServiceCallbacks, AFaultOrACancelStaysShownUntilTheNextStatus) {
    SignOnAndLoad();
    DMServiceRequestToken token('Rdo3', "user", false, nullptr);
    token.fault.faultcode = "SOAP-ENV:Server";
    token.fault.faultstring = "Quota exceeded";
    window_->serviceCallbacks().serviceEncounteredError(ZYMServiceErrorDescription(token));
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(100));
    EXPECT_EQ(window_->progressText(), "The radio service reported: Quota exceeded");
    EXPECT_EQ(window_->lineText(2), "The radio service reported: Quota exceeded");
    DMServiceRequestToken silent('Rdo3', "user", false, nullptr);
    window_->serviceCallbacks().serviceEncounteredError(ZYMServiceErrorDescription(silent));
    EXPECT_EQ(window_->lineText(2), "The radio service reported: Quota exceeded") << "no fault string, no change";
    window_->setProgressText(QStringLiteral("Next status"));
    EXPECT_EQ(window_->lineText(2), "Next status");
    // A service error is an informational line: kept at level 1, left out at level 0.
    const std::string line = "serviceEncounteredError: ";
    const auto lines = [&] {
        std::string log = Log();
        std::size_t n = 0;
        for (auto at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
            ++n;
        return n;
    };
    for (const int level : {kLogInfo, kLogError}) {
        InitLogFile(logPath_.c_str(), level, 0);
        window_->serviceCallbacks().serviceEncounteredError(ZYMServiceErrorDescription(token));
        EXPECT_EQ(lines(), level == kLogInfo ? 1u : 0u) << "threshold " << level;
    }
    InitLogFile(logPath_.c_str(), kLogDebug, 0);

    window_->signOff();
    window_->serviceCallbacks().authenticationCancelled();
    EXPECT_EQ(window_->progressText(), "Signing on cancelled.");
    EXPECT_EQ(window_->lineText(1), " Signing on cancelled.") << "beside the warning";
    EXPECT_EQ(statistics_.calls.back(), "state 1");
}

TEST_F(ServiceCallbacks, AStateForAnotherOrAnUnknownStationOnlyLogs) {
    SignOnAndLoad();
    auto hovered = window_->radioService().stationWithID(kMp3Station);
    window_->setLastStationWithHoverFocus(hovered->stationID());
    window_->nowPlayingTextLabel()->setText("kept");
    auto other = std::make_shared<ZYMRadioStationState>();
    other->setStationID(QStringLiteral("radio:aggregate:1"));
    window_->serviceCallbacks().radioServiceStationStateDidLoad(other);
    EXPECT_EQ(window_->nowPlayingTextLabel()->text(), "kept");
    EXPECT_NE(Log().find("is not the current focus station"), std::string::npos);
    auto unknown = std::make_shared<ZYMRadioStationState>();
    unknown->setStationID(QStringLiteral("radio:aggregate:424242"));
    window_->serviceCallbacks().radioServiceStationStateDidLoad(unknown);
    EXPECT_EQ(window_->nowPlayingTextLabel()->text(), "kept");
    window_->serviceCallbacks().radioServiceStationStateDidLoad(nullptr);
    EXPECT_EQ(window_->nowPlayingTextLabel()->text(), "") << "no state clears the label";
}

}  // namespace
}  // namespace windowtest
