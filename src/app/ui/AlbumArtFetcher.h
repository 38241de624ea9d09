#pragma once
// One download of a URL into memory for the album art, shaped like the support
// services' resource fetcher so that one can take its place: start, then exactly one of
// data or failure, unless the client was forgotten first. This one runs over the curl
// driver of the calling thread's run loop: http and https only, a cap on the body, and a
// time-out counted from the last activity on the wire.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class ResourceFetcher;

class ResourceFetcherClient {
public:
    virtual void resourceFetchCompleted(ResourceFetcher& fetcher, const QByteArray& data) = 0;
    virtual void resourceFetchFailed(ResourceFetcher& fetcher, const QString& reason) = 0;

protected:
    ~ResourceFetcherClient() = default;
};

class ResourceFetcher {
public:
    virtual ~ResourceFetcher() = default;
    virtual QString url() const = 0;
    // Starts the download; the answer comes on a later pass of the run loop. Deleting the
    // fetcher stops it silently.
    virtual void fetch(ResourceFetcherClient* client, bool useCache) = 0;
    // No callback follows.
    virtual void invalidateClient() = 0;
};

using ResourceFetcherFactory = std::function<std::unique_ptr<ResourceFetcher>(const QString& url)>;

struct CurlResourceFetcherLimits {
    std::size_t maxBodyBytes = 8u * 1024u * 1024u;
    std::chrono::milliseconds inactivityTimeout{60000};
};

// The curl fetcher's factory.
ResourceFetcherFactory curlResourceFetcherFactory(CurlResourceFetcherLimits limits = {});
