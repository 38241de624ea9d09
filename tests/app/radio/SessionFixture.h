#pragma once
// A play session against the test server, with no window: a radio service signed on with
// the stored password of an in-memory keyring, its directory loaded, and the session that
// plays its stations. The fixture is the service's delegate and hands the session the
// answers to its URL requests, as the window does.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/radio/PlaySession.h"
#include "app/signon/AuthenticationController.h"
#include "app/signon/DialogPresenter.h"
#include "app/foundation/NotificationCenter.h"
#include "app/signon/PasswordStore.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMCacheStorage.h"
#include "app/radio/ZYMRadioService.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/services/ZYMServicesProvider.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

namespace sessiontest {

inline bool RunUntil(const std::function<bool()>& done, int seconds = 30) {
    return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(std::chrono::seconds(seconds)));
}

class PlaySessionTest : public ::testing::Test, public RadioServiceDelegate {
protected:
    static constexpr const char* kUser = "Demo Listener";
    static constexpr const char* kPassword = "pw-session-0001";
    // The window's bandwidth when the listener set none.
    static constexpr int kBandwidth = 384000;

    void SetUp() override {
        logPath_ = zymtest::TestLogPath("session");
        InitLogFile(logPath_.c_str(), kLogDebug, 0);
        DMRadio3RegisterService();
        server_ = &zymtest::TestServer::Get();
        prefix_ = server_->NewPrefix();
        server_->ScriptSignOn(prefix_, kUser, kPassword);
        server_->ScriptDirectory(prefix_, {{"play_modes", QJsonArray{"full"}}});
        defaults_ = std::make_unique<UserDefaults>(dir_.filePath("defaults.conf"));
        defaults_->setInteger(QStringLiteral("lfs_auth_renewal_interval"), -1);
        KeychainUtils::savePasswordToKeychain(passwords_, kPassword, kUser, QStringLiteral("ZYM Radio"));
        provider_ = std::make_unique<ZYMServicesProvider>(defaults_.get());
        provider_->setServiceURL(QString::fromStdString(server_->Url(prefix_)));
        provider_->setDeviceName("Radio", "ZYM", "1.0");
        service_.provider = provider_.get();
        service_.defaults = defaults_.get();
        service_.notifications = &center_;
        service_.cacheFactory = &cache_;
        env_.defaults = defaults_.get();
        env_.playerAgent = QStringLiteral("appradio_tests");
        env_.bandwidthLimit = [] { return kBandwidth; };
    }

    void TearDown() override {
        session_.reset();
        if (radio_) radio_->setDelegate(nullptr);
        radio_.reset();
        auth_.reset();
        platform::RunLoop::Current().RunFor(std::chrono::milliseconds(20));
        InitLogFile(nullptr, kLogError, 0);
        if (!HasFailure()) std::remove(logPath_.c_str());
    }

    PlaySession& Make() {
        radio_ = std::make_unique<ZYMRadioService>(service_);
        radio_->setDelegate(this);
        AuthenticationEnvironment auth;
        auth.passwords = &passwords_;
        auth.defaults = defaults_.get();
        auth.presenter = &dialogs_;
        auth_ = std::make_unique<AuthenticationController>(QStringLiteral("ZYM Radio"), panels_, auth);
        auth_->setScreenName(QString::fromLatin1(kUser));
        radio_->setAuthenticationController(auth_.get());
        session_ = std::make_unique<PlaySession>(*radio_, env_);
        QObject::connect(session_.get(), &PlaySession::progressTextChanged,
                         [this](const QString& text) { progressText_ = text; });
        return *session_;
    }

    void SignOnAndLoad() {
        if (!session_) Make();
        radio_->requestServiceWithUsername(QString::fromLatin1(kUser), nullptr);
        ASSERT_TRUE(RunUntil([&] { return radio_->informationLoaded(); }));
    }

    // What the window does for a station of the list.
    void Play(const QString& stationID) {
        auto station = radio_->stationWithID(stationID);
        ASSERT_TRUE(station) << stationID.toStdString();
        session_->startPlaying(station, true);
    }

    std::vector<zymtest::RecordedRequest> StreamRequests() { return server_->StreamRequests(prefix_); }
    // "<prog> n=<k>" of each stream request, in order.
    std::vector<std::string> StreamTargets() { return server_->StreamTargets(prefix_); }
    void StreamFails(const std::string& progPrefix, const QJsonObject& how) {
        server_->StreamFails(prefix_, progPrefix, how);
    }

    std::string Log() {
        std::ifstream in(logPath_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // RadioServiceDelegate: the URL answers go to the session.
    Delegated radioServiceStationURLWillLoad(const QString&) override {
        if (session_) session_->stationURLWillLoad();
        return Delegated::Handled;
    }
    Delegated radioServiceStationURLDidLoad(const QString& progId, const QStringList& urls) override {
        if (session_) session_->stationURLDidLoad(progId, urls);
        return Delegated::Handled;
    }
    Delegated radioServiceStationURLDidFail(const QString& progId) override {
        if (session_) session_->stationURLDidFail(progId);
        return Delegated::Handled;
    }

    zymtest::TestServer* server_ = nullptr;
    std::string prefix_;
    std::string logPath_;
    QTemporaryDir dir_;
    std::unique_ptr<UserDefaults> defaults_;
    MemoryPasswordStore passwords_;
    FakeAuthPanelsView panels_;
    RecordingDialogPresenter dialogs_;
    std::unique_ptr<ZYMServicesProvider> provider_;
    NotificationCenter center_;
    ZYMCacheStorageFactory cache_{dir_.filePath("cache")};
    ZYMServiceEnvironment service_;
    PlaySessionEnvironment env_;
    std::unique_ptr<ZYMRadioService> radio_;
    std::unique_ptr<AuthenticationController> auth_;
    std::unique_ptr<PlaySession> session_;
    // The last progress text the session reported.
    QString progressText_;
};

}  // namespace sessiontest
