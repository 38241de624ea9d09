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
// fails, the body is capped, and 60 s without a byte fails the fetch.

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <chrono>
#include <memory>

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

    static std::shared_ptr<ResourceFetcher> initWithURL(const QUrl& url, const QVariant& context = {});
    ~ResourceFetcher();
    ResourceFetcher(const ResourceFetcher&) = delete;
    ResourceFetcher& operator=(const ResourceFetcher&) = delete;

    // Starts the download; the client is not owned. There is no HTTP cache, so
    // `usingCache` changes nothing. A second call while one runs does nothing.
    void fetchResourceNotifyingClient(ResourceFetcherClient* client, bool usingCache);
    // Forgets the client and the context: the download goes on, nobody is told its end.
    void invalidateClient();
    // Stops the download; no message follows.
    void cancelFetch();
    QUrl url() const;
    bool isFetching() const;

    // How long the download may go without a byte (60 s); tests shorten it.
    static void setInactivityTimeoutForTesting(std::chrono::milliseconds timeout);

    struct Impl;

private:
    ResourceFetcher(const QUrl& url, const QVariant& context);
    std::unique_ptr<Impl> impl_;
};
