#pragma once

// One HTTP request at a time, run on the calling thread's event loop, its progress told
// to a delegate. Any method, headers and a body; an optional HTTP proxy; redirects
// followed by the requestor itself (at most 5); optionally the absolute URI as the
// request target. Only http and https; TLS is always verified.
//
// Contract:
// - execute() sends requestStarted at once; everything after arrives on later passes of
//   the event loop.
// - Every request that was started ends with exactly one of requestFinished and
//   requestFailed, also when it is cancelled (cancel() reports requestFinished, and
//   wasCancelled() tells the two apart). An idle requestor's cancel() says nothing.
// - The body reaches requestProgress as it arrives, in pieces of at most 8192 bytes; the
//   bodies of redirect responses that are followed are not delivered.
// - A status of 400 or more fails the request with the stream error (0, 0).
// - A request (all its redirects included) that has not ended within its deadline fails
//   with (1, 60), the time-out error, however steadily its bytes come.
// - The delegate may delete the requestor, execute it again or cancel it from inside
//   any of its messages.
// Everything happens on the thread that calls execute().

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class ZYMHttpRequestor;

// The stream error of a failed request: domain and code as the program numbers network
// failures (the domain 0 and code 0 for an HTTP error status; (4, -3) without a URL).
struct ZYMHttpRequestorError {
    int domain = 0;
    long code = 0;
    friend bool operator==(const ZYMHttpRequestorError&, const ZYMHttpRequestorError&) = default;
};

inline constexpr const char* kZYMHttpRequestorErrorDomainName = "CFStreamErrorDomain";

// Implement only the messages wanted; the others do nothing.
class ZYMHttpRequestorDelegate {
public:
    virtual ~ZYMHttpRequestorDelegate() = default;
    virtual void requestStarted(ZYMHttpRequestor* requestor) { (void)requestor; }
    virtual void requestFinished(ZYMHttpRequestor* requestor) { (void)requestor; }
    virtual void requestFailed(ZYMHttpRequestor* requestor, const ZYMHttpRequestorError& error) {
        (void)requestor;
        (void)error;
    }
    // `data` is valid only during the call.
    virtual void requestProgress(ZYMHttpRequestor* requestor, const QByteArray& data) {
        (void)requestor;
        (void)data;
    }
};

class ZYMHttpRequestor {
public:
    // Redirects followed per request.
    static constexpr int kMaxRedirects = 5;
    // Largest piece handed to requestProgress.
    static constexpr int kMaxPieceSize = 8192;
    // The deadline of a request unless setDeadline says otherwise.
    static constexpr std::chrono::milliseconds kDefaultDeadline{5 * 60 * 1000};

    ZYMHttpRequestor();
    // The delegate is not owned and must outlive the requestor's messages to it.
    ZYMHttpRequestor(const QUrl& url, ZYMHttpRequestorDelegate* delegate);
    // Stops a running request silently.
    ~ZYMHttpRequestor();
    ZYMHttpRequestor(const ZYMHttpRequestor&) = delete;
    ZYMHttpRequestor& operator=(const ZYMHttpRequestor&) = delete;

    // A GET of the URL. An empty URL leaves no request (execute then fails).
    void setURL(const QUrl& url);
    // A new request with this method; its headers and body start empty.
    void setURL(const QUrl& url, const QString& method);
    QUrl url() const;

    ZYMHttpRequestorDelegate* delegate() const;
    void setDelegate(ZYMHttpRequestorDelegate* delegate);

    // An HTTP proxy ("http://host:port", port 80 when none); empty: no proxy.
    void setProxy(const QUrl& proxy);
    void setAutoRedirect(bool autoRedirect);
    bool autoRedirect() const;
    void setUseAbsolutePathForResource(bool useAbsolutePath);
    // The bound on each later execute(), from its start to its last byte.
    void setDeadline(std::chrono::milliseconds deadline);
    // Test hook: the deadline of every requestor made afterwards; 0 restores the default.
    static void setDefaultDeadlineForTesting(std::chrono::milliseconds deadline);
    bool useAbsolutePathForResource() const;
    // Sends no header but those set: curl's own "Accept" and "Content-Type" are left out
    // ("Expect" never goes out).
    void setOnlyHeadersSet(bool onlySet);

    // Request fields; nothing without a request.
    void setHeader(const QString& name, const QString& value);
    void setBody(const QByteArray& body);

    // The final response's header field; a null string before a response.
    QString getHeader(const QString& name) const;
    // 0 before a response.
    int getStatusCode() const;
    // "HTTP/1.1 200 OK"; a null string before a response.
    QString getStatusLine() const;
    // The request's URL once a response exists; empty before.
    QUrl getRequestURL() const;
    // The URL of the last hop (after redirects) of the last request; empty before one.
    QUrl getFinalURL() const;
    // Seconds from start to the end of the response; 0 while none has ended, and after
    // cancel().
    double getElapsedTimeOfLastRequest() const;
    // Whether the last request ended by cancel().
    bool wasCancelled() const;

    // Starts the request, stopping a running one first (silently).
    void execute();
    // Stops a running request and reports it as finished.
    void cancel();
    // Stops a running request silently.
    void closeStream();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
