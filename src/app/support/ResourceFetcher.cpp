#include "app/support/ResourceFetcher.h"

#include "app/support/ZYMHttpRequestor.h"
#include "platform/RunLoop.h"

#include <atomic>

namespace {

std::atomic<long long> gInactivityMs{60000};

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
    ResourceFetcherClient* client = nullptr;
    QByteArray data;
    std::unique_ptr<ZYMHttpRequestor> requestor;
    std::unique_ptr<platform::Timer> idle;
    platform::CallbackScope posted;
    // Held while the download runs.
    std::shared_ptr<ResourceFetcher> self;

    void requestProgress(ZYMHttpRequestor*, const QByteArray& piece) override {
        if (data.size() + piece.size() > kMaxResourceSize) {
            requestor->closeStream();
            Fail(QStringLiteral("The resource is too large."));
            return;
        }
        data.append(piece);
        idle->Start(std::chrono::milliseconds(gInactivityMs.load()), false);
    }

    void requestFinished(ZYMHttpRequestor*) override { Complete(); }

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

void ResourceFetcher::fetchResourceNotifyingClient(ResourceFetcherClient* client, bool usingCache) {
    (void)usingCache;
    Impl& d = *impl_;
    if (d.self) return;
    d.client = client;
    d.data.clear();
    d.self = shared_from_this();
    const QString scheme = d.url.scheme().toLower();
    if (!d.url.isValid() || d.url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        // Reported on a later pass, as every other end is.
        Impl* impl = &d;
        platform::RunLoop::Current().Post([impl] { impl->Fail(QStringLiteral("unsupported URL")); }, d.posted);
        return;
    }
    d.idle = std::make_unique<platform::Timer>([impl = &d] {
        impl->requestor->closeStream();
        impl->Fail(QStringLiteral("The request timed out."));
    });
    d.idle->Start(std::chrono::milliseconds(gInactivityMs.load()), false);
    d.requestor = std::make_unique<ZYMHttpRequestor>(d.url, &d);
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

void ResourceFetcher::setInactivityTimeoutForTesting(std::chrono::milliseconds timeout) {
    gInactivityMs = timeout.count();
}
