#pragma once
// The main window against the test server: a signed-on account, a directory, and the
// window's collaborators replaced by recorders.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/signon/AuthenticationController.h"
#include "app/foundation/NotificationCenter.h"
#include "app/signon/PasswordStore.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMCacheStorage.h"
#include "app/services/ZYMServicesProvider.h"
#include "app/ui/ListViews.h"
#include "app/ui/RadioStationsDataSource.h"
#include "app/ui/RadioWindowController.h"
#include "runtime/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/Pcm.h"
#include "support/TestServer.h"

namespace windowtest {

// What the "wav:" output wrote and mpg123's decode of the MP3 that was streamed, ready to
// compare: the silence at both ends and underrun gaps dropped, a mono reference doubled to
// stereo. None when mpg123 is missing or a file is unreadable.
struct PlayedAndReference {
    std::vector<int16_t> played;
    std::vector<int16_t> reference;
    int sampleRate = 0;
};
inline std::optional<PlayedAndReference> ReadPlayedAndReference(const std::string& wav, const std::string& mp3) {
    PlayedAndReference both;
    zymtest::Pcm reference;
    if (!zymtest::ReadFloatWavAs16(wav, both.played) || !zymtest::DecodeWithMpg123(mp3, reference)) return std::nullopt;
    both.played = zymtest::TrimSilence(zymtest::DropUnderrunGaps(both.played));
    both.reference = reference.samples;
    if (reference.channels == 1) {
        both.reference.clear();
        for (int16_t s : reference.samples)
            both.reference.insert(both.reference.end(), {s, s});
    }
    both.reference = zymtest::TrimSilence(both.reference);
    both.sampleRate = reference.sampleRate;
    return both;
}

// The two aligned and compared; nothing compared when they cannot be read.
inline zymtest::PcmDiff ComparePlayedWithMp3(const std::string& wav, const std::string& mp3) {
    const auto both = ReadPlayedAndReference(wav, mp3);
    if (!both) return {};
    const long offset = zymtest::FindOffset(both->played, both->reference, 2, 4096, 8192);
    return zymtest::Compare(both->played, both->reference, 2, offset);
}

using zymtest::RecordedRequest;
using zymtest::TestServer;

// A small one-colour PNG, as an album-art server would send it.
inline QByteArray SolidPng(QColor color) {
    QImage image(24, 24, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

inline bool RunUntil(const std::function<bool()>& done, int seconds = 30) {
    return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(std::chrono::seconds(seconds)));
}

class RecordingAds : public AdPresenter {
public:
    void displayAdWithMagicNumber(const QString& magic, int height) override {
        shown.push_back("script " + magic.toStdString() + " " + std::to_string(height));
    }
    void displayAdWithImageURL(const QString& url, const QString& magic) override {
        shown.push_back("image " + url.toStdString() + " " + magic.toStdString());
    }
    void resetToStaticAd() override { shown.push_back("static"); }
    std::vector<std::string> shown;
};

class MainWindow : public ::testing::Test {
protected:
    static constexpr const char* kUser = "Demo Listener";
    static constexpr const char* kPassword = "pw-window-0001";

    void SetUp() override {
        logPath_ = zymtest::TestLogPath("window");
        InitLogFile(logPath_.c_str(), kLogDebug, 0);
        server_ = &TestServer::Get();
        prefix_ = server_->NewPrefix();
        server_->ScriptSignOn(prefix_, kUser, kPassword);
        server_->ScriptDirectory(prefix_, {{"play_modes", QJsonArray{"full"}}});
        defaults_ = std::make_unique<UserDefaults>(dir_.filePath("defaults.conf"));
        defaults_->setInteger(QStringLiteral("lfs_auth_renewal_interval"), -1);
        defaults_->setString(QStringLiteral("screenname"), kUser);
        defaults_->setBool(QStringLiteral("play_at_launch"), false);
        KeychainUtils::savePasswordToKeychain(passwords_, kPassword, kUser, QStringLiteral("ZYM Radio"));
        provider_ = std::make_unique<ZYMServicesProvider>(defaults_.get());
        provider_->setServiceURL(QString::fromStdString(server_->Url(prefix_)));
        provider_->setDeviceName("Radio", "ZYM", "1.0");
        env_.defaults = defaults_.get();
        env_.presenter = &dialogs_;
        env_.ads = &ads_;
        env_.service.provider = provider_.get();
        env_.service.defaults = defaults_.get();
        env_.service.notifications = &center_;
        env_.service.cacheFactory = &cache_;
        env_.panels = &panels_;
        env_.passwords = &passwords_;
        env_.reachable = [this](const QString& host) {
            hostsChecked_.push_back(host);
            return reachable_;
        };
    }

    void TearDown() override {
        window_.reset();
        platform::RunLoop::Current().RunFor(std::chrono::milliseconds(20));
        InitLogFile(nullptr, kLogError, 0);
        if (!HasFailure()) std::remove(logPath_.c_str());
    }

    RadioWindowController& Make() {
        window_ = std::make_unique<RadioWindowController>(env_);
        return *window_;
    }

    void SignOnAndLoad() {
        if (!window_) Make();
        window_->signOn();
        ASSERT_TRUE(RunUntil([&] { return window_->radioService().informationLoaded(); }));
    }

    std::vector<RecordedRequest> StreamRequests() { return server_->StreamRequests(prefix_); }
    // "<prog> n=<k>" of each stream request, in order.
    std::vector<std::string> StreamTargets() { return server_->StreamTargets(prefix_); }
    void StreamFails(const std::string& progPrefix, const QJsonObject& how) {
        server_->StreamFails(prefix_, progPrefix, how);
    }

    // Album art `name` in one colour under <prefix>art/, answered after `delayMs`; its URL.
    QString ServeArt(const char* name, QColor color, int delayMs = 0) {
        const std::string path = prefix_ + "art/" + name;
        server_->Script(QJsonObject{{"path", QString::fromStdString(path)},
                                    {"body_b64", QString::fromLatin1(SolidPng(color).toBase64())},
                                    {"delay_ms", delayMs},
                                    {"headers", QJsonArray{QJsonArray{"Content-Type", "image/png"}}}});
        return QString::fromStdString(server_->Url(path));
    }

    std::string Log() {
        std::ifstream in(logPath_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void DoubleClickStation(const QString& stationID) {
        auto item = window_->dataSource().stationItemWithID(stationID);
        ASSERT_TRUE(item);
        const int row = window_->dataSource().indexOfStationItem(item.get());
        ASSERT_GE(row, 0);
        ExtendedTableView& table = window_->stationTable();
        window_->window()->show();
        table.scrollTo(table.model()->index(row, 0));
        const QPoint at = table.visualRect(table.model()->index(row, 0)).center();
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, at);
    }

    TestServer* server_ = nullptr;
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
    RecordingAds ads_;
    WindowEnvironment env_;
    bool reachable_ = true;
    std::vector<QString> hostsChecked_;
    std::unique_ptr<RadioWindowController> window_;
};

}  // namespace windowtest
