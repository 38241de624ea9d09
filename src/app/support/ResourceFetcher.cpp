#include "app/support/ResourceFetcher.h"

#include "app/support/ZYMHttpRequestor.h"
#include "platform/RunLoop.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <atomic>
#include <list>
#include <optional>

namespace {

std::atomic<long long> gInactivityMs{60000};

// The in-memory cache, main thread only: URL -> bytes and until when they are fresh,
// dropped oldest first beyond its byte bound.
struct CachedResource {
    QString url;
    QByteArray data;
    QDateTime freshUntil;
};

std::list<CachedResource>& Cache() {
    static std::list<CachedResource> cache;
    return cache;
}

std::optional<QByteArray> FromCache(const QString& url) {
    auto& cache = Cache();
    for (auto it = cache.begin(); it != cache.end(); ++it) {
        if (it->url != url) continue;
        if (it->freshUntil <= QDateTime::currentDateTimeUtc()) {
            cache.erase(it);
            return std::nullopt;
        }
        return it->data;
    }
    return std::nullopt;
}

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT"); invalid when it is none.
QDateTime HttpDate(const QString& text) {
    QDateTime date = QLocale::c().toDateTime(text.trimmed(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (date.isValid()) {
        date.setTimeZone(QTimeZone::utc());
        return date;
    }
    return QDateTime::fromString(text.trimmed(), Qt::RFC2822Date);
}

// How long the response stays fresh, when its headers say so and allow keeping it.
std::optional<qint64> FreshSeconds(const ZYMHttpRequestor& r) {
    const QString control = r.getHeader(QStringLiteral("Cache-Control")).toLower();
    qint64 maxAge = -1;
    for (const QString& part : control.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString directive = part.trimmed();
        if (directive == QLatin1String("no-store") || directive.startsWith(QLatin1String("no-cache")) ||
            directive.startsWith(QLatin1String("private")))
            return std::nullopt;
        if (directive.startsWith(QLatin1String("max-age="))) {
            bool ok = false;
            const qint64 seconds = directive.mid(8).toLongLong(&ok);
            if (!ok) return std::nullopt;
            maxAge = seconds;
        }
    }
    if (maxAge >= 0) return maxAge;
    const QString expires = r.getHeader(QStringLiteral("Expires"));
    if (expires.isNull()) return std::nullopt;
    const QDateTime until = HttpDate(expires);
    // An Expires that does not parse is already past.
    if (!until.isValid()) return std::nullopt;
    QDateTime date = HttpDate(r.getHeader(QStringLiteral("Date")));
    if (!date.isValid()) date = QDateTime::currentDateTimeUtc();
    return date.secsTo(until);
}

void Keep(const QString& url, const QByteArray& data, qint64 freshSeconds) {
    if (freshSeconds <= 0 || data.size() > ResourceFetcher::kMaxCachedResource) return;
    auto& cache = Cache();
    cache.remove_if([&](const CachedResource& c) { return c.url == url; });
    cache.push_front({url, data, QDateTime::currentDateTimeUtc().addSecs(freshSeconds)});
    qsizetype total = 0;
    for (auto it = cache.begin(); it != cache.end();) {
        total += it->data.size();
        if (total > ResourceFetcher::kCacheBytes) {
            total -= it->data.size();
            it = cache.erase(it);
        } else {
            ++it;
        }
    }
}

QString ReasonFor(const ZYMHttpRequestorError& error, int status) {
    if (status >= 400) return QStringLiteral("The server answered with HTTP status %1.").arg(status);
    if (error.domain == 1 && error.code == 61) return QStringLiteral("Could not connect to the server.");
    if (error.domain == 1 && error.code == 60) return QStringLiteral("The request timed out.");
    if (error.domain == 12) return QStringLiteral("A server with the specified hostname could not be found.");
    if (error.domain == 3) return QStringLiteral("A secure connection to the server could not be made.");
    if (error.domain == 4 && error.code == -3) return QStringLiteral("unsupported URL");
    return QStringLiteral("The operation couldn't be completed. (domain %1, error %2)")
        .arg(error.domain)
        .arg(error.code);
}

}  // namespace

struct ResourceFetcher::Impl : ZYMHttpRequestorDelegate {
    ResourceFetcher* owner = nullptr;
    QUrl url;
    QVariant context;
    Limits limits;
    bool usingCache = false;
    ResourceFetcherClient* client = nullptr;
    QByteArray data;
    std::unique_ptr<ZYMHttpRequestor> requestor;
    std::unique_ptr<platform::Timer> idle;
    platform::CallbackScope posted;
    // Held while the download runs.
    std::shared_ptr<ResourceFetcher> self;

    void requestProgress(ZYMHttpRequestor*, const QByteArray& piece) override {
        if (data.size() + piece.size() > limits.maxBytes) {
            requestor->closeStream();
            Fail(QStringLiteral("The resource is too large."));
            return;
        }
        data.append(piece);
        idle->Start(Inactivity(), false);
    }

    std::chrono::milliseconds Inactivity() const {
        return limits.inactivityTimeout.value_or(std::chrono::milliseconds(gInactivityMs.load()));
    }

    void requestFinished(ZYMHttpRequestor* r) override {
        if (usingCache && r->getStatusCode() >= 200 && r->getStatusCode() <= 299) {
            if (const auto fresh = FreshSeconds(*r)) Keep(url.toString(QUrl::FullyEncoded), data, *fresh);
        }
        Complete();
    }

    void requestFailed(ZYMHttpRequestor* r, const ZYMHttpRequestorError& error) override {
        Fail(ReasonFor(error, r->getStatusCode()));
    }

    // The end: the client hears it, then the self-reference goes (maybe the fetcher
    // with it), so nothing of `this` is touched after the client returns.
    void Complete() {
        auto keep = End();
        if (client) client->resourceFetchCompletedWithData(owner, data, context);
    }

    void Fail(const QString& reason) {
        auto keep = End();
        if (client) client->resourceFetchFailedWithReason(owner, reason, context);
    }

    std::shared_ptr<ResourceFetcher> End() {
        if (idle) idle->Stop();
        posted.Cancel();
        return std::move(self);
    }
};

ResourceFetcher::ResourceFetcher(const QUrl& url, const QVariant& context) : impl_(std::make_unique<Impl>()) {
    impl_->owner = this;
    impl_->url = url;
    impl_->context = context;
    impl_->data.reserve(1024);
}

std::shared_ptr<ResourceFetcher> ResourceFetcher::initWithURL(const QUrl& url, const QVariant& context) {
    return std::shared_ptr<ResourceFetcher>(new ResourceFetcher(url, context));
}

ResourceFetcher::~ResourceFetcher() = default;

void ResourceFetcher::setLimits(const Limits& limits) { impl_->limits = limits; }

void ResourceFetcher::fetchResourceNotifyingClient(ResourceFetcherClient* client, bool usingCache) {
    Impl& d = *impl_;
    if (d.self) return;
    d.client = client;
    d.data.clear();
    d.usingCache = usingCache;
    d.self = shared_from_this();
    const QString scheme = d.url.scheme().toLower();
    if (!d.url.isValid() || d.url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        // Reported on a later pass, as every other end is.
        Impl* impl = &d;
        platform::RunLoop::Current().Post([impl] { impl->Fail(QStringLiteral("unsupported URL")); }, d.posted);
        return;
    }
    if (usingCache) {
        if (auto cached = FromCache(d.url.toString(QUrl::FullyEncoded))) {
            Impl* impl = &d;
            platform::RunLoop::Current().Post(
                [impl, data = std::move(*cached)] {
                    impl->data = data;
                    impl->Complete();
                },
                d.posted);
            return;
        }
    }
    d.idle = std::make_unique<platform::Timer>([impl = &d] {
        impl->requestor->closeStream();
        impl->Fail(QStringLiteral("The request timed out."));
    });
    d.idle->Start(d.Inactivity(), false);
    d.requestor = std::make_unique<ZYMHttpRequestor>(d.url, &d);
    if (d.limits.deadline) d.requestor->setDeadline(*d.limits.deadline);
    d.requestor->execute();
}

void ResourceFetcher::invalidateClient() {
    impl_->client = nullptr;
    impl_->context = QVariant();
}

void ResourceFetcher::cancelFetch() {
    Impl& d = *impl_;
    if (d.requestor) d.requestor->closeStream();
    auto keep = d.End();
}

QUrl ResourceFetcher::url() const { return impl_->url; }
bool ResourceFetcher::isFetching() const { return impl_->self != nullptr; }

void ResourceFetcher::clearCache() { Cache().clear(); }

void ResourceFetcher::setInactivityTimeoutForTesting(std::chrono::milliseconds timeout) {
    gInactivityMs = timeout.count();
}
