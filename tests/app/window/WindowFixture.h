#pragma once
// A main window signed on against the test server, with recording fakes for what it
// reports; shared by the display, service-callback and controls tests.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>

#include "app/services/AuthenticationController.h"
#include "app/services/NotificationCenter.h"
#include "app/services/PasswordStore.h"
#include "app/services/UserDefaults.h"
#include "app/services/ZYMCacheStorage.h"
#include "app/services/ZYMRadioStation.h"
#include "app/services/ZYMServicesProvider.h"
#include "app/ui/RadioMetadataParser.h"
#include "app/ui/RadioWindowController.h"
#include "engine/base/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

namespace windowtest {

inline bool RunUntil(const std::function<bool()>& done, int seconds = 30) {
    return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(std::chrono::seconds(seconds)));
}

// The stored defaults, keyring entry and services provider of a listener who signs on
// at `url` without a panel and without renewals.
inline std::unique_ptr<ZYMServicesProvider> PrepareSignOn(UserDefaults& defaults, PasswordStore& passwords,
                                                          const char* user, const char* password,
                                                          const std::string& url) {
    defaults.setInteger(QStringLiteral("lfs_auth_renewal_interval"), -1);
    defaults.setString(QStringLiteral("screenname"), user);
    defaults.setBool(QStringLiteral("play_at_launch"), false);
    KeychainUtils::savePasswordToKeychain(passwords, password, user, QStringLiteral("ZYM Radio"));
    auto provider = std::make_unique<ZYMServicesProvider>(&defaults);
    provider->setServiceURL(QString::fromStdString(url));
    provider->setDeviceName("Radio", "ZYM", "1.0");
    return provider;
}

// Wires the window's service side to the test's own stores.
inline void WireService(WindowEnvironment& env, ZYMServicesProvider& provider, UserDefaults& defaults,
                        NotificationCenter& center, ZYMCacheStorageFactory& cache, AuthPanelsView& panels,
                        PasswordStore& passwords) {
    env.defaults = &defaults;
    env.service.provider = &provider;
    env.service.defaults = &defaults;
    env.service.notifications = &center;
    env.service.cacheFactory = &cache;
    env.panels = &panels;
    env.passwords = &passwords;
}

class RecordingStatistics : public WindowStatistics {
public:
    void setNumber(int key, quint32 value) override { numbers[key] = value; }
    void setSignOnState(int state) override { calls.push_back("state " + std::to_string(state)); }
    void endSession(int category, int code) override {
        calls.push_back("end " + std::to_string(category) + " " + std::to_string(code));
    }
    std::map<int, quint32> numbers;
    std::vector<std::string> calls;
};

class WindowTest : public ::testing::Test {
protected:
    static constexpr const char* kUser = "Display Listener";
    static constexpr const char* kPassword = "pw-display-0001";
    // Its one format is MP3 over plain http.
    static inline const QString kMp3Station = QStringLiteral("radio:aggregate:7");

    void SetUp() override {
        logPath_ = zymtest::TestLogPath("windowparts");
        InitLogFile(logPath_.c_str(), kLogDebug, 0);
        server_ = &zymtest::TestServer::Get();
        prefix_ = server_->NewPrefix();
        server_->ScriptSignOn(prefix_, kUser, kPassword);
        ScriptDirectory({});
        defaults_ = std::make_unique<UserDefaults>(dir_.filePath("defaults.conf"));
        provider_ = PrepareSignOn(*defaults_, passwords_, kUser, kPassword, server_->Url(prefix_));
        WireService(env_, *provider_, *defaults_, center_, cache_, panels_, passwords_);
        env_.presenter = &dialogs_;
        env_.statistics = &statistics_;
        env_.reachable = [](const QString&) { return true; };
        // A failed call with the services out of reach ends the service at once.
        env_.radio.isNetworkAddressReachable = [this](const std::string&) { return servicesReachable_; };
    }

    void TearDown() override {
        window_.reset();
        platform::RunLoop::Current().RunFor(std::chrono::milliseconds(20));
        InitLogFile(nullptr, kLogError, 0);
        if (!HasFailure()) std::remove(logPath_.c_str());
    }

    void ScriptDirectory(QJsonObject extra) {
        extra["play_modes"] = QJsonArray{"full"};
        server_->ScriptDirectory(prefix_, extra);
    }

    RadioWindowController& Make() {
        window_ = std::make_unique<RadioWindowController>(env_);
        window_->setAlbumArtFolder(dir_.filePath("albumArt"));
        return *window_;
    }

    void SignOnAndLoad() {
        if (!window_) Make();
        window_->signOn();
        ASSERT_TRUE(RunUntil([&] { return window_->radioService().informationLoaded(); })) << Log();
    }

    // Plays the MP3 station from a stream that never ends.
    void PlayForever(const QString& stationID = kMp3Station) {
        server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")},
                                    {"file", "chirp-64k.mp3"},
                                    {"repeat", true},
                                    {"rate", 16000},
                                    {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}}});
        window_->playStationWithID(stationID);
        ASSERT_TRUE(RunUntil([&] {
            return window_->streamPlaying() && window_->player()->playerState() == RadioPlayer::Playing;
        })) << Log();
    }

    // Hands the window a track document starting now and waits for it to be current.
    void Feed(const QString& xml) {
        const QString url = window_->playingStationURL();
        window_->receivedMetaData(xml.toUtf8(), QDateTime::currentDateTimeUtc(), url);
        ASSERT_TRUE(RunUntil([&] { return window_->currentTrackMetadata() && !window_->nextTrackMetadata(); }));
    }

    int CountRequests(const char* needle) {
        int n = 0;
        for (const auto& r : server_->Requests(prefix_))
            if (r.body.find(needle) != std::string::npos || r.path.find(needle) != std::string::npos) ++n;
        return n;
    }

    std::string Log() {
        std::ifstream in(logPath_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    zymtest::TestServer* server_ = nullptr;
    std::string prefix_;
    std::string logPath_;
    QTemporaryDir dir_;
    std::unique_ptr<UserDefaults> defaults_;
    MemoryPasswordStore passwords_;
    FakeAuthPanelsView panels_;
    std::unique_ptr<ZYMServicesProvider> provider_;
    NotificationCenter center_;
    ZYMCacheStorageFactory cache_{dir_.filePath("cache")};
    RecordingDialogPresenter dialogs_;
    RecordingStatistics statistics_;
    WindowEnvironment env_;
    std::unique_ptr<RadioWindowController> window_;
    bool servicesReachable_ = true;
};

}  // namespace windowtest
