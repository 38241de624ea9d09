#pragma once

// Downloads the whole resource at one http(s) URL into memory on the calling thread's
// event loop and hands the bytes, or a reason, to a client.
//
// While a download runs the fetcher keeps itself alive, so its creator may drop its own
// reference at any time, also from inside the client's message; the self-reference goes
// right after that message returns. The client is told the end once, unless
// invalidateClient() or cancelFetch() came first.
//
// Sound behaviour where the URLs come from untrusted stream metadata: only http and
// https are fetched (anything else fails without a request), a status of 400 or more
// fails, the body is capped, 60 s without a byte fails the fetch, and so does a fetch
// that has not ended by its deadline.
//
// With the cache allowed, a resource fetched before is handed out again without a request
// while its response said it stays fresh (Cache-Control max-age, else Expires against
// Date); no-store, no-cache and private responses, and those without a freshness, are
// not kept. The cache lives in memory for the process, bounded in bytes.

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <chrono>
#include <memory>
#include <optional>

class ResourceFetcher;

// Implement only the messages wanted. Both run on the fetcher's thread.
class ResourceFetcherClient {
public:
    virtual ~ResourceFetcherClient() = default;
    virtual void resourceFetchCompletedWithData(ResourceFetcher* fetcher, const QByteArray& data,
                                                const QVariant& context) {
        (void)fetcher;
        (void)data;
        (void)context;
    }
    virtual void resourceFetchFailedWithReason(ResourceFetcher* fetcher, const QString& reason,
                                               const QVariant& context) {
        (void)fetcher;
        (void)reason;
        (void)context;
    }
};

class ResourceFetcher : public std::enable_shared_from_this<ResourceFetcher> {
public:
    // Largest resource accepted.
    static constexpr qsizetype kMaxResourceSize = 16 * 1024 * 1024;

    // What one download may take.
    struct Limits {
        qsizetype maxBytes = kMaxResourceSize;
        // Without a byte; none: the process-wide default (60 s).
        std::optional<std::chrono::milliseconds> inactivityTimeout;
        // From the start to the last byte; none: the requestor's own.
        std::optional<std::chrono::milliseconds> deadline;
    };
    // Bytes the cache holds at most, and the largest resource it keeps.
    static constexpr qsizetype kCacheBytes = 8 * 1024 * 1024;
    static constexpr qsizetype kMaxCachedResource = 1024 * 1024;

    static std::shared_ptr<ResourceFetcher> initWithURL(const QUrl& url, const QVariant& context = {});
    ~ResourceFetcher();
    ResourceFetcher(const ResourceFetcher&) = delete;
    ResourceFetcher& operator=(const ResourceFetcher&) = delete;

    // Before the fetch starts.
    void setLimits(const Limits& limits);
    // Starts the download; the client is not owned. `usingCache`: a fresh copy in the
    // cache answers (on a later pass, as a download would), and what arrives may be kept;
    // without it the source is asked and nothing is kept. A second call while one runs
    // does nothing.
    void fetchResourceNotifyingClient(ResourceFetcherClient* client, bool usingCache);
    // Forgets the client and the context: the download goes on, nobody is told its end.
    void invalidateClient();
    // Stops the download; no message follows.
    void cancelFetch();
    QUrl url() const;
    bool isFetching() const;

    // How long the download may go without a byte (60 s); tests shorten it.
    static void setInactivityTimeoutForTesting(std::chrono::milliseconds timeout);
    // Empties the cache.
    static void clearCache();

    struct Impl;

private:
    ResourceFetcher(const QUrl& url, const QVariant& context);
    std::unique_ptr<Impl> impl_;
};
