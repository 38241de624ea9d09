#pragma once
// One download of a URL into memory for the album art, shaped like the support
// services' resource fetcher so that one can take its place: start, then exactly one of
// data or failure, unless the client was forgotten first. This one runs over the curl
// driver of the calling thread's run loop: http and https only, a cap on the body, a
// time-out counted from the last activity on the wire and a deadline on the whole fetch.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class AlbumArtFetcher;

class AlbumArtFetchClient {
public:
    virtual void resourceFetchCompleted(AlbumArtFetcher& fetcher, const QByteArray& data) = 0;
    virtual void resourceFetchFailed(AlbumArtFetcher& fetcher, const QString& reason) = 0;

protected:
    ~AlbumArtFetchClient() = default;
};

class AlbumArtFetcher {
public:
    virtual ~AlbumArtFetcher() = default;
    virtual QString url() const = 0;
    // Starts the download; the answer comes on a later pass of the run loop. Deleting the
    // fetcher stops it silently.
    virtual void fetch(AlbumArtFetchClient* client, bool useCache) = 0;
    // No callback follows.
    virtual void invalidateClient() = 0;
};

using AlbumArtFetcherFactory = std::function<std::unique_ptr<AlbumArtFetcher>(const QString& url)>;

struct CurlAlbumArtFetcherLimits {
    std::size_t maxBodyBytes = 8u * 1024u * 1024u;
    std::chrono::milliseconds inactivityTimeout{60000};
    // A server trickling bytes never falls silent: this ends it.
    std::chrono::milliseconds deadline{120000};
};

// The curl fetcher's factory.
AlbumArtFetcherFactory curlAlbumArtFetcherFactory(CurlAlbumArtFetcherLimits limits = {});
