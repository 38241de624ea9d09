#include "app/services/ZYMServicesProvider.h"

#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/foundation/ZYMStringUtils.h"
#include "dms/core/DMGenericService.h"
#include "dms/core/DMServicesProvider.h"
#include "runtime/LThreadEventQueue.h"

#include <QTimer>

#include <functional>
#include <vector>

namespace {

// The services host is the maker's; no endpoint of it is reachable any more, so the
// built-in one only names it. Users and tests set "service_url".
constexpr const char* kBuiltInServiceURL = "https://services.zym.com/services/";

const DMSIF_FaultType& EmptyFault() {
    static const DMSIF_FaultType fault;
    return fault;
}

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace

const DMSIF_FaultType& ZYMRequestToken::fault() const { return fault_ ? *fault_ : EmptyFault(); }

ZYMServiceRequestClient::ZYMServiceRequestClient() : anchor_(std::make_shared<int>(0)) {}

ZYMServiceRequestClient::~ZYMServiceRequestClient() = default;

// One request's bridge from the core to the client. Callbacks the core makes while
// requestService is still running are kept and delivered from the loop, in order.
class ZYMServicesListener final : public DMServiceRequestListener {
public:
    ZYMServicesListener(ZYMServicesProvider& provider, std::uint64_t id, ZYMServiceRequestClient& client)
        : provider_(provider), client_(client.anchor_), clientPtr_(&client), id_(id) {}

    ~ZYMServicesListener() {
        // A service object nobody took.
        for (DMGenericService* service : orphans_)
            delete service;
    }

    void RequiresPassword(const std::string& userName, DMServiceRequestToken* token) override {
        Deliver(token, false, [user = Text(userName)](ZYMServiceRequestClient& c, const ZYMRequestToken& t) {
            c.requestRequiresPassword(t, user);
        });
    }
    void RequiresSecurID(const std::string& userName, DMServiceRequestToken* token) override {
        Deliver(token, false, [user = Text(userName)](ZYMServiceRequestClient& c, const ZYMRequestToken& t) {
            c.requestRequiresSecurID(t, user);
        });
    }
    void AuthenticationSucceeded(const std::string& userName, DMServiceRequestToken* token) override {
        Deliver(token, false, [user = Text(userName)](ZYMServiceRequestClient& c, const ZYMRequestToken& t) {
            c.requestAuthenticationSucceeded(t, user);
        });
    }
    void AuthenticationFailed(const std::string& userName, DMServiceRequestToken* token, std::int32_t reason) override {
        Deliver(token, true, [user = Text(userName), reason](ZYMServiceRequestClient& c, const ZYMRequestToken& t) {
            c.requestAuthenticationFailed(t, user, reason);
        });
    }
    void ServiceRequestSucceeded(DMGenericService* service, EServiceType type, DMServiceRequestToken* token) override {
        // Owned here until the client takes it.
        if (service) orphans_.push_back(service);
        Deliver(token, true, [this, service, type](ZYMServiceRequestClient& c, const ZYMRequestToken& t) {
            std::erase(orphans_, service);
            c.requestSucceeded(t, ZYMServicesProvider::serviceNameFromType(type), service);
        });
    }
    void ServiceRequestFailed(std::int32_t reason, EServiceType type, DMServiceRequestToken* token) override {
        Deliver(token, true, [type, reason](ZYMServiceRequestClient& c, const ZYMRequestToken& t) {
            c.requestFailed(t, ZYMServicesProvider::serviceNameFromType(type), reason);
        });
    }

    // The core's token while the request is pending; null once it ended.
    DMServiceRequestToken* CoreToken() const { return ended_ ? nullptr : coreToken_; }
    void SetCoreToken(DMServiceRequestToken* token) {
        if (!ended_) coreToken_ = token;
    }
    void BeginDeferring() { deferring_ = true; }
    void EndDeferring() {
        deferring_ = false;
        if (!deferred_.empty()) Post([this] { Flush(); });
    }
    std::uint64_t Id() const { return id_; }

private:
    using Call = std::function<void(ZYMServiceRequestClient&, const ZYMRequestToken&)>;
    struct Pending {
        Call call;
        ZYMRequestToken token;
        bool final;
    };

    static QString Text(const std::string& s) { return textWith_stdstring(s); }

    void Deliver(DMServiceRequestToken* token, bool final, Call call) {
        if (ended_) return;
        if (token) coreToken_ = token;
        ZYMRequestToken t;
        t.id_ = id_;
        t.fault_ = std::make_shared<const DMSIF_FaultType>(token ? token->fault : DMSIF_FaultType());
        if (final) {
            ended_ = true;
            coreToken_ = nullptr;
        }
        Pending p{std::move(call), std::move(t), final};
        if (deferring_ || !deferred_.empty()) {
            deferred_.push_back(std::move(p));
            return;
        }
        Run(p);
    }

    void Flush() {
        while (!deferred_.empty()) {
            Pending p = std::move(deferred_.front());
            deferred_.erase(deferred_.begin());
            if (!Run(p)) return;  // freed
        }
    }

    // False when the listener was freed.
    bool Run(Pending& p) {
        std::shared_ptr<int> alive = client_.lock();
        if (alive) Guarded("service request callback", [&] { p.call(*clientPtr_, p.token); });
        if (p.final) {
            provider_.release(this);
            return false;
        }
        return true;
    }

    void Post(std::function<void()> fn) {
        std::weak_ptr<int> providerAlive = provider_.alive_;
        const std::uint64_t id = id_;
        ZYMServicesProvider* provider = &provider_;
        QTimer::singleShot(0, [providerAlive, provider, id, fn = std::move(fn)] {
            if (providerAlive.expired()) return;
            ZYMRequestToken t;
            t.id_ = id;
            if (provider->find(t)) fn();
        });
    }

    ZYMServicesProvider& provider_;
    std::weak_ptr<int> client_;
    ZYMServiceRequestClient* clientPtr_;
    std::uint64_t id_;
    DMServiceRequestToken* coreToken_ = nullptr;
    bool ended_ = false;
    bool deferring_ = false;
    std::vector<Pending> deferred_;
    std::vector<DMGenericService*> orphans_;
};

ZYMServicesProvider::ZYMServicesProvider(UserDefaults* defaults)
    : core_(std::make_unique<DMServicesProvider>()), defaults_(defaults), alive_(std::make_shared<int>(0)) {
    core_->SetServiceURL(kBuiltInServiceURL);
    queue_ = LThreadEventQueue::Create();
    core_->SetEventQueue(queue_);
    loadDefaults();
}

ZYMServicesProvider::~ZYMServicesProvider() {
    alive_.reset();
    core_.reset();
    listeners_.clear();
    if (queue_) queue_->Release();
}

ZYMServicesProvider& ZYMServicesProvider::sharedProvider() {
    // Never freed: the core's records may be touched by callbacks up to the very end.
    static auto* provider = new ZYMServicesProvider();
    return *provider;
}

EServiceType ZYMServicesProvider::serviceTypeFromName(const QString& name) {
    if (name == QLatin1String("RadioService")) return kServiceTypeRadio3;
    if (name == QLatin1String("PicturesService")) return kServiceTypePictures;
    return 0;
}

QString ZYMServicesProvider::serviceNameFromType(EServiceType type) {
    if (type == kServiceTypeRadio3) return QStringLiteral("RadioService");
    if (type == kServiceTypePictures) return QStringLiteral("PicturesService");
    return QString();
}

void ZYMServicesProvider::loadDefaults() {
    UserDefaults& d = defaults_ ? *defaults_ : UserDefaults::standardUserDefaults();
    const QString url = d.string(QStringLiteral("service_url"));
    if (!url.isEmpty()) core_->SetServiceURL(Utf8(url));
}

void ZYMServicesProvider::setServiceURL(const QString& url) { core_->SetServiceURL(Utf8(url)); }

QString ZYMServicesProvider::serviceURL() const { return textWith_stdstring(core_->GetServiceURL()); }

void ZYMServicesProvider::setDeviceName(const QString& name, const QString& manufacturer, const QString& version) {
    core_->SetDeviceName(Utf8(name), Utf8(manufacturer), Utf8(version));
}

void ZYMServicesProvider::setUserAgentFormat(const QString& format) { core_->SetUserAgentFormat(Utf8(format)); }

ZYMRequestToken ZYMServicesProvider::requestService(const QString& serviceName, const QString& userName, bool isRenewal,
                                                    ZYMServiceRequestClient* client) {
    if (!client) throw ServiceLayerError(kProtocolError, "Client does not implement ZYMServiceRequestClient protocol");
    const std::uint64_t id = nextId_++;
    auto owned = std::make_unique<ZYMServicesListener>(*this, id, *client);
    ZYMServicesListener* listener = owned.get();
    listeners_[id] = std::move(owned);
    listener->BeginDeferring();
    DMServiceRequestToken* token =
        core_->RequestService(serviceTypeFromName(serviceName), Utf8(userName), isRenewal, listener);
    // When the request already ended inside the call, the core has deleted the token.
    listener->SetCoreToken(token);
    listener->EndDeferring();
    ZYMRequestToken result;
    result.id_ = id;
    return result;
}

ZYMServicesListener* ZYMServicesProvider::find(const ZYMRequestToken& token) const {
    auto it = listeners_.find(token.id());
    return it == listeners_.end() ? nullptr : it->second.get();
}

void ZYMServicesProvider::release(ZYMServicesListener* listener) {
    // Freed from the loop: the core may still be on its way out of the callback.
    const std::uint64_t id = listener->Id();
    std::weak_ptr<int> alive = alive_;
    QTimer::singleShot(0, [this, alive, id] {
        if (!alive.expired()) listeners_.erase(id);
    });
}

void ZYMServicesProvider::setPassword(const QString& password, const ZYMRequestToken& token) {
    if (ZYMServicesListener* l = find(token))
        if (DMServiceRequestToken* t = l->CoreToken()) core_->SetPasswordForRequest(Utf8(password), t);
}

void ZYMServicesProvider::setSecurID(const QString& passcode, const ZYMRequestToken& token) {
    if (ZYMServicesListener* l = find(token))
        if (DMServiceRequestToken* t = l->CoreToken()) core_->SetSecurIDForRequest(Utf8(passcode), t);
}

void ZYMServicesProvider::cancelServiceRequest(const ZYMRequestToken& token) {
    if (ZYMServicesListener* l = find(token))
        if (DMServiceRequestToken* t = l->CoreToken()) core_->CancelServiceRequest(t);
}

void ZYMServicesProvider::resetUsername(const QString& userName) { core_->ResetUsername(Utf8(userName)); }

std::optional<QDateTime> ZYMServicesProvider::authenticationCredentialsExpirationDateForUsername(
    const QString& userName) {
    const std::string text = core_->AuthenticationCredentialsExpirationDate(Utf8(userName));
    if (text.empty()) return std::nullopt;
    QDateTime date =
        QDateTime::fromString(QString::fromLatin1(text.c_str()), QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
    if (!date.isValid()) return QDateTime();
    date.setTimeSpec(Qt::UTC);
    return date;
}
