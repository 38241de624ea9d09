#pragma once

// A radio service signed on over loopback: the test server's sign-on at the test's
// prefix, its directory at the discovered endpoint, a cache that outlives the service
// objects (as the folder on disk does), a fake clock and timers, and a delegate that
// writes down every report in order.

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

#include "app/services/Clock.h"
#include "app/services/ErrorDescription.h"
#include "app/services/NotificationCenter.h"
#include "app/services/ZYMRadioService.h"
#include "dms/core/DMDataCache.h"
#include "dms/core/DMServicesProvider.h"
#include "dms/radio3/DMRadio3Service.h"
#include "engine/base/LThreadEventQueue.h"
#include "engine/base/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

namespace radiotest {

inline bool RunUntil(const std::function<bool()>& done) {
    return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(std::chrono::seconds(20)));
}

// One map per cache name and user, kept by the factory: a later service object sees what
// an earlier one wrote.
class MemoryCache : public DMDataCacheStorageFactory {
public:
    using Items = std::map<std::string, std::string>;
    class Storage : public DMDataCacheStorage {
    public:
        Storage(const std::string& name, const std::string& key, Items& items)
            : DMDataCacheStorage(name, key), items_(items) {}
        void Set(const std::string& k, const std::string& v) override { items_[k] = v; }
        bool Get(const std::string& k, std::string& v) override {
            auto it = items_.find(k);
            if (it == items_.end()) return false;
            v = it->second;
            return true;
        }
        bool Remove(const std::string& k) override { return items_.erase(k) != 0; }
        void Flush() override {}
        void Clear() override { items_.clear(); }

    private:
        Items& items_;
    };
    DMDataCacheStorage* Create(const std::string& name, const std::string& key) override {
        return new Storage(name, key, stores[name + "|" + key]);
    }
    Items& Of(const std::string& canonicalUser) {
        return stores[std::string(kDMRadio3ServiceTypeURN) + "|" + canonicalUser];
    }
    std::map<std::string, Items> stores;
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
    void serviceDidBecomeInvalidWithReason(const QString& r) override {
        events.push_back("invalid " + r.toStdString());
    }
    std::optional<int> shouldMethodFailureInvalidateService(DMServiceRequestToken*) override { return verdict; }
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

private:
    Delegated Note(const std::string& e) {
        events.push_back(e);
        return Delegated::Handled;
    }
    ZYMRadioService** service_;
};

// Ends one service request and hands the facade over.
class ServiceRequest final : public DMServiceRequestListener {
public:
    ~ServiceRequest() { delete service; }
    void RequiresPassword(const std::string&, DMServiceRequestToken* token) override {
        provider->SetPasswordForRequest(password, token);
    }
    void RequiresSecurID(const std::string&, DMServiceRequestToken*) override {}
    void AuthenticationSucceeded(const std::string&, DMServiceRequestToken*) override {}
    void AuthenticationFailed(const std::string&, DMServiceRequestToken*, std::int32_t r) override {
        why = "authentication failed " + std::to_string(r);
        done = true;
    }
    void ServiceRequestSucceeded(DMGenericService* facade, EServiceType, DMServiceRequestToken*) override {
        service = facade;
        done = true;
    }
    void ServiceRequestFailed(std::int32_t r, EServiceType, DMServiceRequestToken*) override {
        why = "service request failed " + std::to_string(r);
        done = true;
    }
    DMServicesProvider* provider = nullptr;
    std::string password;
    DMGenericService* service = nullptr;
    bool done = false;
    std::string why;
};

class RadioServiceFixture : public ::testing::Test {
protected:
    static constexpr const char* kUser = "Rita Radio";
    static constexpr const char* kPassword = "pw-radio-0001";

    void SetUp() override {
        DMRadio3RegisterService();
        logPath_ = ::testing::TempDir() + "zym-radioservice-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        InitLogFile(logPath_.c_str(), kLogDebug, 0);
        queue_ = LThreadEventQueue::Create();
        server_ = &zymtest::TestServer::Get();
        prefix_ = server_->NewPrefix();
        QJsonArray users{QJsonObject{{"name", kUser}, {"password", kPassword}}};
        server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_)}, {"kind", "signon"}, {"users", users}});
        Directory({{"play_modes", QJsonArray{"full"}}});
        clock_.set(QDateTime::currentDateTimeUtc());
    }

    void TearDown() override {
        radio_.reset();
        platform::RunLoop::Current().RunFor(std::chrono::milliseconds(20));
        provider_.reset();
        queue_->Release();
        InitLogFile(nullptr, kLogError, 0);
        if (!HasFailure()) std::remove(logPath_.c_str());
    }

    void Directory(QJsonObject script) {
        script["path"] = QString::fromStdString(prefix_ + "svc");
        script["kind"] = "directory";
        server_->Script(script);
    }

    ZYMRadioService::Environment Env() {
        ZYMRadioService::Environment env;
        env.notificationCenter = &center_;
        env.clock = &clock_;
        env.scheduler = &scheduler_;
        env.cacheFactory = &cache_;
        return env;
    }

    // A new service object with its own provider (a restart of the program).
    void Start() {
        radio_.reset();
        provider_.reset();
        provider_ = std::make_unique<DMServicesProvider>();
        provider_->SetEventQueue(queue_);
        provider_->SetDeviceName("Radio", "ZYM", "1.0");
        provider_->SetServiceURL(server_->Url(prefix_));
        radio_ = std::make_unique<ZYMRadioService>(Env());
        radioPtr_ = radio_.get();
        radio_->setDelegate(&reports_);
    }

    // Signs on (a renewal when asked) and hands the new facade to the radio service.
    void HandOver(bool renewal = false) {
        auto request = std::make_unique<ServiceRequest>();
        request->provider = provider_.get();
        request->password = kPassword;
        provider_->RequestService(kServiceTypeRadio3, kUser, renewal, request.get());
        ASSERT_TRUE(RunUntil([&] { return request->done; }));
        ASSERT_TRUE(request->service) << request->why;
        DMGenericService* service = request->service;
        request->service = nullptr;
        radio_->serviceRequestSucceeded(service);
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

    zymtest::TestServer* server_ = nullptr;
    std::string prefix_;
    LThreadEventQueue* queue_ = nullptr;
    std::unique_ptr<DMServicesProvider> provider_;
    MemoryCache cache_;
    NotificationCenter center_;
    FakeClock clock_;
    FakeScheduler scheduler_{&clock_};
    ZYMRadioService* radioPtr_ = nullptr;
    Reports reports_{&radioPtr_};
    std::unique_ptr<ZYMRadioService> radio_;
    std::string logPath_;
};

}  // namespace radiotest
