#pragma once

// Shared by the sign-on tests: a generic service subclass over the radio directory, signed
// on over loopback against the test server's "signon" kind (the "directory" kind at the
// discovered endpoint), with fake panels, keyring, clock, scheduler, alerts and
// statistics. Every test ends by scanning the log file and standard error for the
// secrets it used.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/signon/AuthenticationController.h"
#include "app/foundation/Clock.h"
#include "app/signon/DialogPresenter.h"
#include "app/foundation/NotificationCenter.h"
#include "app/signon/PasswordStore.h"
#include "app/services/ServiceStatistics.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMCacheStorage.h"
#include "app/services/ZYMGenericService.h"
#include "app/services/ZYMServicesProvider.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

namespace signontest {

using namespace std::chrono_literals;

inline bool RunUntil(const std::function<bool()>& done) {
    return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(15000ms));
}

inline QString Iso(const QDateTime& t) { return t.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")); }

// The radio directory's generic service as a subclass sees it, with the protected steps
// opened for the tests.
class TestService : public ZYMGenericService, public DMRadio3ServiceListener {
public:
    using ZYMGenericService::ZYMGenericService;
    ~TestService() override {
        if (radio()) radio()->SetListener(nullptr);
    }

    QString serviceName() const override { return QStringLiteral("RadioService"); }
    DMRadio3Service* radio() const { return dynamic_cast<DMRadio3Service*>(genericService()); }

    using ZYMGenericService::credentialsTimerTask;
    using ZYMGenericService::requestServiceRenewalWithUsername;
    using ZYMGenericService::serviceDidBecomeValid;

    std::vector<int> verdicts;
    int results = 0;
    int failures = 0;
    int deliveries = 0;

    // DMRadio3ServiceListener: the verdict is recorded, the service kept for the next row.
    void ServiceDidBecomeValid() override { serviceDidBecomeValid(); }
    void ServiceWillBecomeInvalid() override { serviceWillBecomeInvalid(); }
    void ServiceDidBecomeInvalid() override {
        serviceDidBecomeInvalidWithReason(QLatin1String(kInvalidityServiceError));
    }
    int ShouldMethodFailureInvalidateService(DMServiceRequestToken* token) override {
        verdicts.push_back(shouldMethodFailureInvalidateService(token));
        return 0;
    }
    void GenresUpdated(bool, DMServiceRequestToken*, bool ok) override { Note(ok); }
    void StationsUpdated(bool, DMServiceRequestToken*, bool ok) override { Note(ok); }
    void RequestForStationsInfoCompleted(const std::vector<DMRadio3_StationInfoType>&, DMServiceRequestToken*,
                                         bool ok) override {
        Note(ok);
    }
    void RequestForStationsStateCompleted(const std::vector<DMRadio3_StationStateType>&, DMServiceRequestToken*,
                                          bool ok) override {
        Note(ok);
    }
    void RequestForMediaFormatsCompleted(const std::vector<DMRadio3_MediaFormatType>&, DMServiceRequestToken*,
                                         bool ok) override {
        Note(ok);
    }
    void RequestForURLsCompleted(const std::string&, const std::vector<std::string>&, DMServiceRequestToken*,
                                 bool ok) override {
        Note(ok);
    }
    void RequestForMaxPresetsCompleted(int, DMServiceRequestToken*, bool ok) override { Note(ok); }
    void RequestForPresetsCompleted(const std::vector<DMSIF_IDType>&, DMServiceRequestToken*, bool ok) override {
        Note(ok);
    }
    void StorePresetsCompleted(DMServiceRequestToken*, bool ok) override { Note(ok); }

protected:
    void serviceRequestSucceeded(DMGenericService* service) override {
        ZYMGenericService::serviceRequestSucceeded(service);
        if (auto* r = dynamic_cast<DMRadio3Service*>(service)) r->SetListener(this);
        ++deliveries;
    }
    void retireGenericService(std::unique_ptr<DMGenericService> service) override {
        if (auto* r = dynamic_cast<DMRadio3Service*>(service.get())) r->SetListener(nullptr);
        ZYMGenericService::retireGenericService(std::move(service));
    }

private:
    void Note(bool ok) {
        ++results;
        failures += !ok;
    }
};

class SignOnFixture : public ::testing::Test {
protected:
    static constexpr const char* kUser = "Dora Signon";
    static constexpr const char* kPassword = "pw-Signon-Secret-1";
    static constexpr const char* kWrongPassword = "pw-Wrong-Secret-2";
    static constexpr const char* kSecurUser = "Sid Securid";
    static constexpr const char* kSecurPassword = "pw-Securid-Secret-3";
    static constexpr const char* kPasscode = "pc-271828-Secret";
    static constexpr const char* kWrongPasscode = "pc-161803-Secret";
    static constexpr const char* kKeychain = "ZYM Radio Tests";

    void SetUp() override {
        DMRadio3RegisterService();
        ASSERT_TRUE(dir_.isValid());
        logPath_ = dir_.filePath(QStringLiteral("zymradio.log")).toStdString();
        InitLogFile(logPath_.c_str(), kLogDebug, 0);
        // Standard error into a file, scanned at the end.
        std::fflush(stderr);
        savedStderr_ = dup(2);
        errPath_ = dir_.filePath(QStringLiteral("stderr.txt")).toStdString();
        const int fd = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        ::close(fd);

        clock_.set(QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC));
        server_ = &zymtest::TestServer::Get();
        prefix_ = server_->NewPrefix();
        defaults_ = std::make_unique<UserDefaults>(dir_.filePath(QStringLiteral("defaults.conf")));
        provider_ = std::make_unique<ZYMServicesProvider>(defaults_.get());
        provider_->setServiceURL(QString::fromStdString(server_->Url(prefix_)));
        provider_->setDeviceName(QStringLiteral("Radio"), QStringLiteral("ZYM"), QStringLiteral("1.0"));
        SignOnScript({});
        Directory({});
        cacheFactory_ = std::make_unique<ZYMCacheStorageFactory>(dir_.filePath(QStringLiteral("cache")));
        auth_ = std::make_unique<AuthenticationController>(
            QLatin1String(kKeychain), view_,
            AuthenticationEnvironment{&passwords_, defaults_.get(), &presenter_, nullptr});
        MakeService();
    }

    void MakeService() {
        service_.reset();
        ZYMServiceEnvironment env;
        env.provider = provider_.get();
        env.defaults = defaults_.get();
        env.notifications = &center_;
        env.statistics = &stats_;
        env.clock = &clock_;
        env.scheduler = &scheduler_;
        env.cacheFactory = cacheFactory_.get();
        service_ = std::make_unique<TestService>(env);
        service_->setAuthenticationController(auth_.get());
        notes_.clear();
        observation_ =
            center_.observe(QString(), service_.get(), [this](const Notification& n) { notes_.append(n.name); });
    }

    void TearDown() override {
        platform::RunLoop::Current().RunFor(20ms);
        observation_.reset();
        service_.reset();
        auth_.reset();
        provider_.reset();
        platform::RunLoop::Current().RunFor(5ms);
        InitLogFile(nullptr, kLogError, 0);
        std::fflush(stderr);
        dup2(savedStderr_, 2);
        ::close(savedStderr_);
        const std::string log = Read(logPath_);
        const std::string err = Read(errPath_);
        for (const char* secret : {kPassword, kWrongPassword, kSecurPassword, kPasscode, kWrongPasscode}) {
            EXPECT_EQ(log.find(secret), std::string::npos) << "the log holds " << secret;
            EXPECT_EQ(err.find(secret), std::string::npos) << "standard error holds " << secret;
        }
        // Pass standard error on, for the reader of a failure.
        if (!err.empty()) std::fputs(err.c_str(), stderr);
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string Log() const { return Read(logPath_); }

    // Scripts the sign-on endpoint: the two users, and `extra` keys.
    void SignOnScript(QJsonObject script) {
        script["path"] = QString::fromStdString(prefix_);
        script["kind"] = "signon";
        script["users"] =
            QJsonArray{QJsonObject{{"name", kUser}, {"password", kPassword}},
                       QJsonObject{{"name", kSecurUser}, {"password", kSecurPassword}, {"securid", kPasscode}}};
        server_->Script(script);
    }
    void Directory(QJsonObject script) {
        script["path"] = QString::fromStdString(prefix_ + "svc");
        script["kind"] = "directory";
        server_->Script(script);
    }
    // Bodies of the sign-on requests that carried `part`.
    int CountSignOnBodies(const std::string& part) {
        int n = 0;
        for (const auto& r : server_->Requests(prefix_))
            if (r.path == prefix_) n += r.body.find(part) != std::string::npos;
        return n;
    }

    void StorePassword(const char* user, const char* password) {
        passwords_.write(QLatin1String(kKeychain), KeychainUtils::canonicalScreenName(QLatin1String(user)),
                         QLatin1String(password));
    }

    // Signs kUser on with the keyring's password and waits for the service object.
    void SignOn() {
        StorePassword(kUser, kPassword);
        service_->requestServiceWithUsername(QLatin1String(kUser), nullptr);
        ASSERT_TRUE(RunUntil([&] { return service_->serviceAvailable(); }));
    }
    // One successful call, which makes the service valid.
    void MakeValid() {
        ASSERT_NE(service_->radio(), nullptr);
        const int before = service_->results;
        service_->radio()->ListCategories();
        ASSERT_TRUE(RunUntil([&] { return service_->results > before; }));
    }
    std::pair<quint8, quint16> LastStatistic() const {
        if (stats_.numbers.empty()) return {0, 0};
        EXPECT_EQ(stats_.numbers.back().first, kPhoneHomeKeyServiceError);
        return UnpackErrorCode(stats_.numbers.back().second);
    }

    QTemporaryDir dir_;
    std::string logPath_, errPath_;
    int savedStderr_ = -1;
    zymtest::TestServer* server_ = nullptr;
    std::string prefix_;
    FakeClock clock_;
    FakeScheduler scheduler_{&clock_};
    NotificationCenter center_;
    RecordingStatistics stats_;
    RecordingDialogPresenter presenter_;
    MemoryPasswordStore passwords_;
    FakeAuthPanelsView view_;
    std::unique_ptr<UserDefaults> defaults_;
    std::unique_ptr<ZYMServicesProvider> provider_;
    std::unique_ptr<ZYMCacheStorageFactory> cacheFactory_;
    std::unique_ptr<AuthenticationController> auth_;
    std::unique_ptr<TestService> service_;
    NotificationCenter::Subscription observation_;
    QStringList notes_;
};

}  // namespace signontest
