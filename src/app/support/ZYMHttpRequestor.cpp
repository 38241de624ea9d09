#include "app/support/ZYMHttpRequestor.h"

#include "platform/CurlMultiDriver.h"
#include "platform/ErrorNumbers.h"
#include "platform/RunLoop.h"

#include <QList>

#include <algorithm>

#include <atomic>
#include <memory>

// Each hop of a request is one platform::CurlTransfer. A transfer's listener calls may
// end in the delegate deleting the requestor, so every path that calls the delegate holds
// a weak reference to `alive` and returns at once when it has gone.

namespace {

std::atomic<long long> gTestDeadlineMs{0};

bool IsRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QString HostForTarget(const QUrl& url) {
    const QString host = url.host(QUrl::FullyEncoded);
    return host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
}

}  // namespace

struct ZYMHttpRequestor::Impl : platform::HttpTransferListener {
    explicit Impl(ZYMHttpRequestor* o) : owner(o) {}

    ZYMHttpRequestor* owner;
    ZYMHttpRequestorDelegate* delegate = nullptr;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    // The request as set.
    QUrl url;
    bool hasRequest = false;
    QString method = QStringLiteral("GET");
    std::vector<std::pair<std::string, std::string>> headers;
    QByteArray body;
    QUrl proxy;
    bool autoRedirect = true;
    bool absoluteTarget = false;
    bool onlyHeadersSet = false;
    std::chrono::milliseconds deadline = gTestDeadlineMs.load() > 0 ? std::chrono::milliseconds(gTestDeadlineMs.load())
                                                                    : kDefaultDeadline;
    std::unique_ptr<platform::Timer> deadlineTimer;

    // The running request.
    std::unique_ptr<platform::CurlTransfer> transfer;
    QUrl hopUrl;
    QString hopMethod;
    int redirects = 0;
    bool running = false;
    bool cancelled = false;

    // The last response.
    bool hasResponse = false;
    int status = 0;
    QString statusLine;
    std::vector<std::pair<QString, QString>> responseHeaders;
    QUrl requestUrl;
    QUrl finalUrl;

    std::optional<std::chrono::steady_clock::time_point> start;
    std::optional<std::chrono::steady_clock::time_point> end;

    std::string TargetFor(const QUrl& u) const {
        QString path = u.path(QUrl::FullyEncoded);
        if (path.isEmpty()) path = QStringLiteral("/");
        QString target = u.scheme() + QStringLiteral("://") + HostForTarget(u) + path;
        if (u.hasQuery()) target += QLatin1Char('?') + u.query(QUrl::FullyEncoded);
        return target.toStdString();
    }

    void StartHop() {
        platform::HttpRequestSpec spec;
        spec.method = hopMethod.toStdString();
        spec.url = hopUrl.toString(QUrl::FullyEncoded).toStdString();
        spec.headers = headers;
        spec.suppressedHeaders = {"Expect"};
        if (onlyHeadersSet) {
            for (const char* own : {"Accept", "Content-Type"}) {
                const bool set = std::any_of(headers.begin(), headers.end(), [own](const auto& h) {
                    return QString::fromStdString(h.first).compare(QLatin1String(own), Qt::CaseInsensitive) == 0;
                });
                if (!set) spec.suppressedHeaders.emplace_back(own);
            }
        }
        if (hopMethod != QLatin1String("GET") && hopMethod != QLatin1String("HEAD")) spec.body = body.toStdString();
        if (absoluteTarget) spec.requestTarget = TargetFor(hopUrl);
        if (!proxy.isEmpty() && !proxy.host().isEmpty()) {
            spec.proxy = "http://" + HostForTarget(proxy).toStdString() + ":" + std::to_string(proxy.port(80));
        }
        spec.streamBody = true;
        spec.bodyPieceSize = kMaxPieceSize;
        transfer = std::make_unique<platform::CurlTransfer>(std::move(spec), this);
        transfer->Start();
    }

    void TakeResponse() {
        hasResponse = true;
        status = static_cast<int>(transfer->GetStatusCode());
        const std::string text = transfer->GetResponseHeaderText();
        const auto eol = text.find_first_of("\r\n");
        statusLine = QString::fromLatin1(text.substr(0, eol).c_str());
        responseHeaders.clear();
        for (const QString& line : QString::fromLatin1(text.c_str()).split(QStringLiteral("\r\n"))) {
            const auto colon = line.indexOf(QLatin1Char(':'));
            if (colon > 0) responseHeaders.emplace_back(line.left(colon).trimmed(), line.mid(colon + 1).trimmed());
        }
        requestUrl = url;
    }

    // A redirect to follow: the next hop's URL, else empty.
    QUrl RedirectTarget() const {
        if (!autoRedirect || !IsRedirectStatus(transfer->GetStatusCode())) return {};
        const std::string location = transfer->GetResponseHeader("Location");
        if (location.empty()) return {};
        const QUrl next = hopUrl.resolved(QUrl(QString::fromStdString(location)));
        const QString scheme = next.scheme().toLower();
        if (!next.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) return {};
        return next;
    }

    bool IsFollowedRedirect() const { return transfer && !RedirectTarget().isEmpty(); }

    void OnTransferData(const char* data, std::size_t size) override {
        if (IsFollowedRedirect()) return;
        if (!delegate) return;
        delegate->requestProgress(owner, QByteArray::fromRawData(data, static_cast<qsizetype>(size)));
    }

    void OnTransferComplete(platform::ErrorNumber error) override {
        if (error == platform::ErrorNumber{}) {
            const QUrl next = RedirectTarget();
            if (!next.isEmpty()) {
                if (redirects >= kMaxRedirects) {
                    Finish(ZYMHttpRequestorError{platform::kErrorDomainHTTP, -1});
                    return;
                }
                ++redirects;
                const long code = transfer->GetStatusCode();
                if (code == 303 || ((code == 301 || code == 302) && hopMethod == QLatin1String("POST")))
                    hopMethod = QStringLiteral("GET");
                hopUrl = next;
                finalUrl = next;
                // The finished transfer may not be destroyed inside its own callback chain
                // any later than here: StartHop replaces it.
                StartHop();
                return;
            }
        }
        end = std::chrono::steady_clock::now();
        if (error != platform::ErrorNumber{}) {
            if (transfer->GetStatusCode() != 0) TakeResponse();
            Finish(ZYMHttpRequestorError{error.domain, error.code});
            return;
        }
        TakeResponse();
        if (status < 400)
            Finish(std::nullopt);
        else
            Finish(ZYMHttpRequestorError{0, 0});
    }

    // The one final message of a request.
    void Finish(std::optional<ZYMHttpRequestorError> failure) {
        running = false;
        if (deadlineTimer) deadlineTimer->Stop();
        ReleaseTransferLater();
        if (!delegate) return;
        if (failure)
            delegate->requestFailed(owner, *failure);
        else
            delegate->requestFinished(owner);
    }

    // Called from the transfer's own listener call: the driver allows deleting it there.
    void ReleaseTransferLater() { transfer.reset(); }
};

ZYMHttpRequestor::ZYMHttpRequestor() : impl_(std::make_unique<Impl>(this)) {}

ZYMHttpRequestor::ZYMHttpRequestor(const QUrl& url, ZYMHttpRequestorDelegate* delegate) : ZYMHttpRequestor() {
    if (!url.isEmpty()) setURL(url);
    if (delegate) setDelegate(delegate);
}

ZYMHttpRequestor::~ZYMHttpRequestor() { *impl_->alive = false; }

void ZYMHttpRequestor::setURL(const QUrl& url) { setURL(url, QStringLiteral("GET")); }

void ZYMHttpRequestor::setURL(const QUrl& url, const QString& method) {
    impl_->url = url;
    impl_->hasRequest = !url.isEmpty();
    impl_->method = method;
    impl_->headers.clear();
    impl_->body.clear();
}

QUrl ZYMHttpRequestor::url() const { return impl_->url; }
ZYMHttpRequestorDelegate* ZYMHttpRequestor::delegate() const { return impl_->delegate; }
void ZYMHttpRequestor::setDelegate(ZYMHttpRequestorDelegate* delegate) { impl_->delegate = delegate; }
void ZYMHttpRequestor::setProxy(const QUrl& proxy) { impl_->proxy = proxy; }
void ZYMHttpRequestor::setAutoRedirect(bool autoRedirect) { impl_->autoRedirect = autoRedirect; }
bool ZYMHttpRequestor::autoRedirect() const { return impl_->autoRedirect; }
void ZYMHttpRequestor::setUseAbsolutePathForResource(bool useAbsolutePath) { impl_->absoluteTarget = useAbsolutePath; }
void ZYMHttpRequestor::setDeadline(std::chrono::milliseconds deadline) { impl_->deadline = deadline; }
void ZYMHttpRequestor::setDefaultDeadlineForTesting(std::chrono::milliseconds deadline) {
    gTestDeadlineMs = deadline.count();
}
void ZYMHttpRequestor::setOnlyHeadersSet(bool onlySet) { impl_->onlyHeadersSet = onlySet; }
bool ZYMHttpRequestor::useAbsolutePathForResource() const { return impl_->absoluteTarget; }

void ZYMHttpRequestor::setHeader(const QString& name, const QString& value) {
    if (!impl_->hasRequest) return;
    auto& headers = impl_->headers;
    const std::string key = name.toStdString();
    for (auto& [k, v] : headers) {
        if (QString::fromStdString(k).compare(name, Qt::CaseInsensitive) == 0) {
            v = value.toStdString();
            return;
        }
    }
    headers.emplace_back(key, value.toStdString());
}

void ZYMHttpRequestor::setBody(const QByteArray& body) {
    if (impl_->hasRequest) impl_->body = body;
}

QString ZYMHttpRequestor::getHeader(const QString& name) const {
    if (!impl_->hasResponse) return {};
    for (const auto& [k, v] : impl_->responseHeaders)
        if (k.compare(name, Qt::CaseInsensitive) == 0) return v;
    return {};
}

int ZYMHttpRequestor::getStatusCode() const { return impl_->hasResponse ? impl_->status : 0; }
QString ZYMHttpRequestor::getStatusLine() const { return impl_->hasResponse ? impl_->statusLine : QString(); }
QUrl ZYMHttpRequestor::getRequestURL() const { return impl_->hasResponse ? impl_->requestUrl : QUrl(); }
QUrl ZYMHttpRequestor::getFinalURL() const { return impl_->finalUrl; }
bool ZYMHttpRequestor::wasCancelled() const { return impl_->cancelled; }

double ZYMHttpRequestor::getElapsedTimeOfLastRequest() const {
    if (!impl_->start || !impl_->end || *impl_->end <= *impl_->start) return 0;
    return std::chrono::duration<double>(*impl_->end - *impl_->start).count();
}

void ZYMHttpRequestor::execute() {
    Impl& d = *impl_;
    closeStream();
    d.hasResponse = false;
    d.status = 0;
    d.statusLine.clear();
    d.responseHeaders.clear();
    d.requestUrl.clear();
    d.cancelled = false;
    d.redirects = 0;
    d.start.reset();
    d.end.reset();
    const std::weak_ptr<bool> alive = d.alive;
    if (!d.hasRequest) {
        d.finalUrl.clear();
        if (d.delegate) d.delegate->requestFailed(this, ZYMHttpRequestorError{platform::kErrorDomainHTTP, -3});
        return;
    }
    d.hopUrl = d.url;
    d.hopMethod = d.method;
    d.finalUrl = d.url;
    d.running = true;
    d.start = std::chrono::steady_clock::now();
    if (d.delegate) d.delegate->requestStarted(this);
    if (alive.expired() || !d.running || d.transfer) return;  // deleted, cancelled or restarted meanwhile
    if (!d.deadlineTimer) {
        d.deadlineTimer = std::make_unique<platform::Timer>([impl = &d] {
            if (!impl->running) return;
            if (impl->transfer) impl->transfer->Cancel();
            impl->end = std::chrono::steady_clock::now();
            impl->Finish(ZYMHttpRequestorError{platform::kErrorDomainPOSIX, 60});
        });
    }
    d.deadlineTimer->Start(d.deadline, false);
    // A URL curl refuses is reported by the transfer on a later pass, as a failure.
    d.StartHop();
}

void ZYMHttpRequestor::cancel() {
    Impl& d = *impl_;
    if (!d.running) return;
    closeStream();
    d.cancelled = true;
    d.start.reset();
    d.end.reset();
    if (d.delegate) d.delegate->requestFinished(this);
}

void ZYMHttpRequestor::closeStream() {
    Impl& d = *impl_;
    d.running = false;
    if (d.deadlineTimer) d.deadlineTimer->Stop();
    if (d.transfer) {
        d.transfer->Cancel();
        d.transfer.reset();
    }
}
