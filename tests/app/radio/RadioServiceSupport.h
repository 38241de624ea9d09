#pragma once

// A radio service signed on over loopback through the sign-on stack (the stored password
// of an in-memory keyring): the test server's sign-on at the test's prefix, its directory
// at the discovered endpoint, a cache folder that outlives the service objects, a fake
// clock and timers, and a delegate that writes down every report in order.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "app/signon/AuthenticationController.h"
#include "app/foundation/Clock.h"
#include "app/foundation/ErrorDescription.h"
#include "app/foundation/NotificationCenter.h"
#include "app/signon/PasswordStore.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMCacheStorage.h"
#include "app/services/ZYMServicesProvider.h"
#include "app/radio/ZYMRadioService.h"
#include "app/radio/ZYMRadioStationState.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

namespace radiotest {

inline bool RunUntil(const std::function<bool()>& done) {
    return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(std::chrono::seconds(20)));
}

// The cache folder's storages, with the order in which they are made, flushed and
// deleted ("create 1", "flush 1", "delete 1" ...).
class RecordingCacheFactory : public ZYMCacheStorageFactory {
public:
    using ZYMCacheStorageFactory::ZYMCacheStorageFactory;
    class Storage : public DMDataCacheStorage {
    public:
        Storage(const std::string& name, const std::string& key, DMDataCacheStorage* inner, int id,
                std::vector<std::string>& events)
            : DMDataCacheStorage(name, key), inner_(inner), id_(std::to_string(id)), events_(events) {}
        ~Storage() override { events_.push_back("delete " + id_); }
        void Set(const std::string& k, const std::string& v) override { inner_->Set(k, v); }
        bool Get(const std::string& k, std::string& v) override { return inner_->Get(k, v); }
        bool Remove(const std::string& k) override { return inner_->Remove(k); }
        void Flush() override {
            events_.push_back("flush " + id_);
            inner_->Flush();
        }
        void Clear() override { inner_->Clear(); }

    private:
        std::unique_ptr<DMDataCacheStorage> inner_;
        std::string id_;
        std::vector<std::string>& events_;
    };
    DMDataCacheStorage* Create(const std::string& name, const std::string& key) override {
        events.push_back("create " + std::to_string(++made));
        return new Storage(name, key, ZYMCacheStorageFactory::Create(name, key), made, events);
    }
    std::vector<std::string> events;
    int made = 0;
};

class Reports : public RadioServiceDelegate {
public:
    explicit Reports(ZYMRadioService** service = nullptr) : service_(service) {}

    std::vector<std::string> events;
    std::vector<int> chunksAtDetailsRequest;
    std::vector<std::string> errors;  // "<method> <status code>"
    std::optional<int> verdict;       // answer to the failure question
    int informationDidLoad = 0;
    bool failed = false;

    bool Has(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
    int Count(const std::string& e) const { return static_cast<int>(std::count(events.begin(), events.end(), e)); }
    std::string Joined() const {
        std::string all;
        for (const auto& e : events)
            all += (all.empty() ? "" : ", ") + e;
        return all;
    }

    void serviceRequestDone(bool ok) override { events.push_back(ok ? "requestDone YES" : "requestDone NO"); }
    void serviceDidBecomeInvalidWithReason(ZYMGenericService&, const QString& r) override {
        events.push_back("invalid " + r.toStdString());
    }
    std::optional<int> shouldMethodFailureInvalidateService(ZYMGenericService&, DMServiceRequestToken*) override {
        return verdict;
    }
    void authenticationDone(bool ok) override { events.push_back(ok ? "authenticated" : "not authenticated"); }
    void serviceEncounteredError(const ZYMServiceErrorDescription& e) override {
        errors.push_back(e.sifMethodName().toStdString() + " " + e.sifStatusCode().toStdString());
        events.push_back("error " + e.sifMethodName().toStdString());
    }
    Delegated radioServiceInformationWillLoad() override { return Note("InformationWillLoad"); }
    Delegated radioServiceServerInformationWillLoad() override { return Note("ServerInformationWillLoad"); }
    Delegated radioServiceInformationDidLoad() override {
        ++informationDidLoad;
        return Note("InformationDidLoad");
    }
    Delegated radioServiceServerInformationDidFail() override {
        failed = true;
        return Note("ServerInformationDidFail");
    }
    Delegated radioServiceCachedInformationDidLoad() override { return Note("CachedInformationDidLoad"); }
    Delegated radioServiceFilteredInformationDidChange() override { return Note("FilteredInformationDidChange"); }
    Delegated radioServiceStationsWillLoad() override { return Note("StationsWillLoad"); }
    Delegated radioServiceStationsDidLoad() override { return Note("StationsDidLoad"); }
    Delegated radioServiceStationDetailsWillLoad(const std::optional<QString>& id) override {
        if (!id && service_ && *service_)
            if (auto* r = (*service_)->infoRequestWithType(ZYMRadioInformationRequest::kStationInfo))
                chunksAtDetailsRequest.push_back(r->pendingChunks());
        return Note("DetailsWillLoad " + (id ? id->toStdString() : std::string("nil")));
    }
    Delegated radioServiceStationDetailsDidLoad(const std::optional<QString>& id) override {
        return Note("DetailsDidLoad " + (id ? id->toStdString() : std::string("nil")));
    }
    Delegated radioServiceGenresWillLoad() override { return Note("GenresWillLoad"); }
    Delegated radioServiceGenresDidLoad() override { return Note("GenresDidLoad"); }
    Delegated radioServiceMediaFormatsWillLoad() override { return Note("MediaFormatsWillLoad"); }
    Delegated radioServiceMediaFormatsDidLoad() override { return Note("MediaFormatsDidLoad"); }
    Delegated radioServiceMaxPresetsWillLoad() override { return Note("MaxPresetsWillLoad"); }
    Delegated radioServiceMaxPresetsDidLoad() override { return Note("MaxPresetsDidLoad"); }
    Delegated radioServicePresetsWillLoad() override { return Note("PresetsWillLoad"); }
    Delegated radioServicePresetsDidLoad() override { return Note("PresetsDidLoad"); }
    Delegated radioServicePresetsWillStore() override { return Note("PresetsWillStore"); }
    Delegated radioServicePresetsDidStore() override { return Note("PresetsDidStore"); }
    Delegated radioServicePresetsOutOfDate() override { return Note("PresetsOutOfDate"); }
    Delegated radioServiceStationURLWillLoad(const QString& id) override {
        return Note("URLWillLoad " + id.toStdString());
    }
    Delegated radioServiceStationURLDidLoad(const QString& prog, const QStringList& urls) override {
        lastUrls = urls;
        return Note("URLDidLoad " + prog.toStdString());
    }
    Delegated radioServiceStationURLDidFail(const QString& prog) override {
        return Note("URLDidFail " + prog.toStdString());
    }
    Delegated radioServiceStationStateWillLoad(const QString& prog) override {
        return Note("StateWillLoad " + prog.toStdString());
    }
    Delegated radioServiceStationStateDidLoad(const std::shared_ptr<ZYMRadioStationState>& state) override {
        states.push_back(state);
        return Note("StateDidLoad " + state->stationID().value_or(QStringLiteral("nil")).toStdString());
    }

    QStringList lastUrls;
    std::vector<std::shared_ptr<ZYMRadioStationState>> states;

private:
    Delegated Note(const std::string& e) {
        events.push_back(e);
        return Delegated::Handled;
    }
    ZYMRadioService** service_;
};

class RadioServiceFixture : public ::testing::Test {
protected:
    static constexpr const char* kUser = "Rita Radio";
    static constexpr const char* kPassword = "pw-radio-0001";

    void SetUp() override {
        DMRadio3RegisterService();
        logPath_ = zymtest::TestLogPath("radioservice");
        InitLogFile(logPath_.c_str(), kLogDebug, 0);
        server_ = &zymtest::TestServer::Get();
        SignOnAt(server_->NewPrefix());
        Directory({{"play_modes", QJsonArray{"full"}}});
        clock_.set(QDateTime::currentDateTimeUtc());
        defaults_ = std::make_unique<UserDefaults>(folder_.filePath("defaults.ini"));
        defaults_->setInteger(QStringLiteral("lfs_auth_renewal_interval"), -1);
        KeychainUtils::savePasswordToKeychain(passwords_, kPassword, kUser, kKeychain);
    }

    void TearDown() override {
        radio_.reset();
        controller_.reset();
        platform::RunLoop::Current().RunFor(std::chrono::milliseconds(20));
        provider_.reset();
        InitLogFile(nullptr, kLogError, 0);
        if (!HasFailure()) std::remove(logPath_.c_str());
    }

    // The sign-on (and below it the directory) at a new prefix.
    void SignOnAt(const std::string& prefix) {
        prefix_ = prefix;
        server_->ScriptSignOn(prefix_, kUser, kPassword);
    }

    void Directory(QJsonObject script) { server_->ScriptDirectory(prefix_, std::move(script)); }

    // A new provider and radio service over the same cache folder (a restart).
    void Start() {
        radio_.reset();
        controller_.reset();
        provider_.reset();
        provider_ = std::make_unique<ZYMServicesProvider>(defaults_.get());
        provider_->setServiceURL(QString::fromStdString(server_->Url(prefix_)));
        provider_->setDeviceName("Radio", "ZYM", "1.0");
        AuthenticationEnvironment auth;
        auth.passwords = &passwords_;
        auth.defaults = defaults_.get();
        controller_ = std::make_unique<AuthenticationController>(kKeychain, view_, auth);
        ZYMServiceEnvironment env;
        env.provider = provider_.get();
        env.defaults = defaults_.get();
        env.notifications = &center_;
        env.clock = &clock_;
        env.scheduler = &scheduler_;
        env.cacheFactory = &cache_;
        radio_ = std::make_unique<ZYMRadioService>(env, radioEnv_);
        radioPtr_ = radio_.get();
        radio_->setDelegate(&reports_);
        radio_->setAuthenticationController(controller_.get());
    }

    // Signs on with the stored password; the service object arrives by the hand-over.
    void HandOver() {
        const DMGenericService* before = radio_->genericService();
        const int done = reports_.Count("requestDone YES");
        radio_->requestServiceWithUsername(kUser, nullptr);
        ASSERT_FALSE(view_.signOnVisible) << "the stored password should have been used";
        ASSERT_TRUE(RunUntil([&] {
            return reports_.Count("requestDone YES") > done || reports_.Has("requestDone NO");
        })) << reports_.Joined();
        ASSERT_NE(radio_->genericService(), before);
        ASSERT_TRUE(radio_->radioService());
    }

    void WaitLoaded() {
        ASSERT_TRUE(RunUntil([&] { return radio_->informationLoaded() || reports_.failed; })) << reports_.Joined();
        ASSERT_TRUE(radio_->informationLoaded()) << reports_.Joined();
    }
    void WaitFailed() {
        ASSERT_TRUE(RunUntil([&] { return reports_.failed; })) << reports_.Joined();
    }

    // The directory's record of each call, oldest first.
    std::vector<QJsonObject> Calls() {
        auto [status, body] = server_->Exchange("GET", "/_ctl/requests?prefix=" + prefix_ + "svc");
        std::vector<QJsonObject> calls;
        for (const auto& v : QJsonDocument::fromJson(QByteArray::fromStdString(body)).array()) {
            const QJsonObject entry = v.toObject();
            if (entry.contains("directory")) calls.push_back(entry["directory"].toObject());
        }
        return calls;
    }
    std::vector<std::string> Methods(std::size_t from = 0) {
        std::vector<std::string> names;
        const auto calls = Calls();
        for (std::size_t i = from; i < calls.size(); ++i)
            names.push_back(calls[i]["method"].toString().toStdString());
        return names;
    }
    std::string Log() {
        std::ifstream in(logPath_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The stored load date, as the clock should read on that day.
    QDateTime LoadDate() {
        const std::string text = radio_->genericService()->GetLoadDate();
        QDateTime t = QDateTime::fromString(QString::fromStdString(text), QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
        t.setTimeSpec(Qt::UTC);
        return t;
    }

    static constexpr const char* kKeychain = "ZYM Radio test";

    zymtest::TestServer* server_ = nullptr;
    std::string prefix_;
    QTemporaryDir folder_;
    std::unique_ptr<UserDefaults> defaults_;
    MemoryPasswordStore passwords_;
    FakeAuthPanelsView view_;
    std::unique_ptr<AuthenticationController> controller_;
    std::unique_ptr<ZYMServicesProvider> provider_;
    RecordingCacheFactory cache_{folder_.filePath("cache")};
    NotificationCenter center_;
    FakeClock clock_;
    FakeScheduler scheduler_{&clock_};
    ZYMRadioService::RadioEnvironment radioEnv_;
    ZYMRadioService* radioPtr_ = nullptr;
    Reports reports_{&radioPtr_};
    std::unique_ptr<ZYMRadioService> radio_;
    std::string logPath_;
};

}  // namespace radiotest
