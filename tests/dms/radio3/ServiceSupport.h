#pragma once

// Shared by the service tests: a signed-on radio directory over loopback (the test
// server's "signon" kind at the test's prefix, its "directory" kind at the discovered
// endpoint), an in-memory cache storage, and a listener that records every callback.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dms/core/DMDataCache.h"
#include "dms/core/DMServicesProvider.h"
#include "dms/radio3/DMRadio3Service.h"
#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"
#include "platform/RunLoop.h"
#include "support/TestServer.h"
#include "support/Env.h"

namespace radio3test {

constexpr auto kWait = std::chrono::milliseconds(15000);

inline bool RunUntil(const std::function<bool()>& done) { return platform::RunLoop::Current().RunUntil(done, kWait); }

// Every storage of every cache name lives in one shared map, so a later object (or a
// second user) sees what an earlier one wrote, as with files on disk.
class MemoryStorageFactory : public DMDataCacheStorageFactory {
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
        void Flush() override { ++flushes; }
        void Clear() override { items_.clear(); }
        int flushes = 0;

    private:
        Items& items_;
    };

    DMDataCacheStorage* Create(const std::string& name, const std::string& key) override {
        return new Storage(name, key, stores[name + "|" + key]);
    }
    Items& Of(const std::string& user) { return stores[std::string(kDMRadio3ServiceTypeURN) + "|" + user]; }

    std::map<std::string, Items> stores;
};

// What a token said when its callback came.
struct Seen {
    std::string event;
    bool hasToken = false;
    DMServiceRequestToken* token = nullptr;
    std::string status, faultCode, faultString;
    std::string inputType, outputType;
};

class Recorder : public DMRadio3ServiceListener {
public:
    void ServiceDidBecomeValid() override { events.push_back("valid"); }
    void ServiceWillBecomeInvalid() override { events.push_back("will-invalid"); }
    void ServiceDidBecomeInvalid() override { events.push_back("did-invalid"); }
    int ShouldMethodFailureInvalidateService(DMServiceRequestToken* token) override {
        events.push_back("verdict");
        if (onVerdict) onVerdict(token);
        return verdict;
    }
    void GenresUpdated(bool, DMServiceRequestToken* t, bool ok) override { Note("ListCategories", t, ok); }
    void StationsUpdated(bool, DMServiceRequestToken* t, bool ok) override { Note("ListStations", t, ok); }
    void RequestForStationsInfoCompleted(const std::vector<DMRadio3_StationInfoType>& v, DMServiceRequestToken* t,
                                         bool ok) override {
        infos = v;
        Note("GetStationInfo", t, ok);
    }
    void RequestForStationsStateCompleted(const std::vector<DMRadio3_StationStateType>& v, DMServiceRequestToken* t,
                                          bool ok) override {
        states = v;
        Note("GetStationState", t, ok);
    }
    void RequestForMediaFormatsCompleted(const std::vector<DMRadio3_MediaFormatType>& v, DMServiceRequestToken* t,
                                         bool ok) override {
        formats = v;
        Note("GetMediaFormatInfo", t, ok);
    }
    void RequestForURLsCompleted(const std::string& ref, const std::vector<std::string>& v, DMServiceRequestToken* t,
                                 bool ok) override {
        refId = ref;
        urls = v;
        Note("GetStationURL", t, ok);
    }
    void RequestForMaxPresetsCompleted(int n, DMServiceRequestToken* t, bool ok) override {
        maxPresets = n;
        Note("GetMaxPresets", t, ok);
    }
    void RequestForPresetsCompleted(const std::vector<DMSIF_IDType>& v, DMServiceRequestToken* t, bool ok) override {
        presets = v;
        Note("GetPresets", t, ok);
    }
    void StorePresetsCompleted(DMServiceRequestToken* t, bool ok) override { Note("SetPresets", t, ok); }

    std::size_t Results() const { return seen.size(); }
    const Seen& Last() const { return seen.back(); }
    std::string Events() const {
        std::string all;
        for (const auto& e : events)
            all += (all.empty() ? "" : ", ") + e;
        return all;
    }

    int verdict = 0;
    std::function<void(DMServiceRequestToken*)> onVerdict;
    std::function<void(const Seen&)> onResult;
    std::vector<std::string> events;
    std::vector<Seen> seen;
    std::vector<DMRadio3_StationInfoType> infos;
    std::vector<DMRadio3_StationStateType> states;
    std::vector<DMRadio3_MediaFormatType> formats;
    std::string refId;
    std::vector<std::string> urls;
    int maxPresets = -1;
    std::vector<DMSIF_IDType> presets;

private:
    void Note(const std::string& method, DMServiceRequestToken* t, bool ok) {
        Seen s;
        s.event = method + (ok ? " ok" : " failed");
        s.hasToken = t != nullptr;
        s.token = t;
        if (t) {
            s.status = t->status.GetCode();
            s.faultCode = t->fault.GetFaultCode();
            s.faultString = t->fault.faultstring;
            if (DMSIF_MethodRef* ref = t->methodRef) {
                s.inputType = ref->GetArguments() ? typeid(*ref->GetArguments()).name() : "";
                s.outputType = ref->GetOutput() ? typeid(*ref->GetOutput()).name() : "";
            }
        }
        events.push_back(s.event);
        seen.push_back(s);
        if (onResult) onResult(s);
    }
};

// Ends a service request and keeps the facade it delivered.
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

class DirectoryFixture : public ::testing::Test {
protected:
    static constexpr const char* kUser = "Dora Radio";
    static constexpr const char* kPassword = "pw-directory-000";

    void SetUp() override {
        DMRadio3RegisterService();
        logPath_ = zymtest::TestLogPath("radio3");
        InitLogFile(logPath_.c_str(), kLogDebug, 0);
        queue_ = LThreadEventQueue::Create();
        server_ = &zymtest::TestServer::Get();
        prefix_ = server_->NewPrefix();
        provider_ = std::make_unique<DMServicesProvider>();
        provider_->SetEventQueue(queue_);
        provider_->SetDeviceName("Radio", "ZYM", "1.0");
        provider_->SetServiceURL(server_->Url(prefix_));
        server_->ScriptSignOn(prefix_, kUser, kPassword);
        Directory({});
    }

    void TearDown() override {
        platform::RunLoop::Current().RunFor(std::chrono::milliseconds(20));
        services_.clear();
        provider_.reset();
        queue_->Release();
        InitLogFile(nullptr, kLogError, 0);
        if (!HasFailure()) std::remove(logPath_.c_str());
    }

    // (Re)scripts the directory at the discovered endpoint.
    void Directory(QJsonObject script) { server_->ScriptDirectory(prefix_, std::move(script)); }

    // Signs on (or reuses the sign-on) and takes the discovered service.
    DMRadio3Service* SignOn(Recorder* listener = nullptr) {
        auto request = std::make_unique<ServiceRequest>();
        request->provider = provider_.get();
        request->password = kPassword;
        provider_->RequestService(kServiceTypeRadio3, kUser, false, request.get());
        EXPECT_TRUE(RunUntil([&] { return request->done; }));
        auto* service = dynamic_cast<DMRadio3Service*>(request->service);
        if (!service) {
            ADD_FAILURE() << "no radio service delivered: " << request->why;
            return nullptr;
        }
        request->service = nullptr;
        services_.emplace_back(service);
        service->InstallCacheFactory(&cache_);
        service->SetListener(listener);
        return service;
    }

    // Runs until the recorder has `n` results.
    void WaitFor(Recorder& r, std::size_t n) {
        ASSERT_TRUE(RunUntil([&] { return r.Results() >= n; })) << r.Events();
    }

    // The directory's record of each call made to it, oldest first.
    std::vector<QJsonObject> Calls() {
        auto [status, body] = server_->Exchange("GET", "/_ctl/requests?prefix=" + prefix_ + "svc");
        std::vector<QJsonObject> calls;
        for (const auto& v : QJsonDocument::fromJson(QByteArray::fromStdString(body)).array()) {
            const QJsonObject entry = v.toObject();
            if (entry.contains("directory")) calls.push_back(entry["directory"].toObject());
        }
        return calls;
    }
    std::vector<zymtest::RecordedRequest> Sent() { return server_->Requests(prefix_); }
    int CountBodies(const std::string& part) {
        int n = 0;
        for (const auto& r : Sent())
            n += r.body.find(part) != std::string::npos;
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
    LThreadEventQueue* queue_ = nullptr;
    std::unique_ptr<DMServicesProvider> provider_;
    MemoryStorageFactory cache_;
    std::vector<std::unique_ptr<DMRadio3Service>> services_;
    std::string logPath_;
};

}  // namespace radio3test
