#pragma once

// HTTP transfers over libcurl's multi-socket interface, driven by the run loop of the
// thread that starts them: one driver per thread (a descriptor watch per socket and one
// timer), made on first use. General purpose: a request goes in, events come out.
//
// Guarantees:
// - No listener callback runs inside Start, Cancel or a curl callback: the driver
//   collects what curl hands it and reports after curl_multi_socket_action returns.
// - A handle is never removed inside a curl callback. Deleting or cancelling a transfer
//   from inside one of its own listener callbacks is allowed.
// - After OnComplete, or after Cancel, the listener hears nothing more.
// - curl never decodes content (no Accept-Encoding handling of its own), follows no
//   redirect and uses no proxy unless the request names one; only http and https;
//   HTTP/1.1; TLS peer and host are verified (a test CA only through SetTestCaFile).
// Everything of one transfer happens on the thread that started it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ErrorNumbers.h"

namespace platform {

struct HttpRequestSpec {
    std::string method = "GET";  // "POST" sends `body`
    std::string url;
    // Sent as given, in order (an empty value is sent empty).
    std::vector<std::pair<std::string, std::string>> headers;
    // Headers curl would add of its own accord that must not go out (e.g. "Expect",
    // "Accept").
    std::vector<std::string> suppressedHeaders;
    std::string body;
    // The request line's target instead of the URL's path and query (e.g. an absolute
    // URI); empty: the usual one.
    std::string requestTarget;
    // An HTTP proxy ("http://host:port"); empty: none, whatever the environment says.
    std::string proxy;
    // Hand the body to OnTransferData as it arrives, in pieces of at most
    // `bodyPieceSize` bytes, instead of keeping it (GetResponseBody stays empty).
    bool streamBody = false;
    std::size_t bodyPieceSize = 8192;
};

class HttpTransferListener {
public:
    // Something happened on the wire (bytes sent or received, a header line, connect).
    virtual void OnTransferActivity() {}
    // A piece of the body (streamed transfers only), after OnTransferActivity of the same
    // pass and before OnTransferComplete. `data` is valid only during the call.
    virtual void OnTransferData(const char* data, std::size_t size) {
        (void)data;
        (void)size;
    }
    // The transfer is over: error (0, 0) for a complete response (any status), else the
    // failure in the program's numbering.
    virtual void OnTransferComplete(ErrorNumber error) = 0;

protected:
    ~HttpTransferListener() = default;
};

class CurlTransfer {
public:
    CurlTransfer(HttpRequestSpec spec, HttpTransferListener* listener);
    // Stops the transfer silently.
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Starts the transfer on the calling thread's driver. A failure to start (bad URL,
    // out of memory) is still reported through OnTransferComplete, on a later pass.
    void Start();
    // Stops the transfer; the listener hears nothing more.
    void Cancel();

    bool IsStarted() const;
    bool IsDone() const;
    bool IsCancelled() const;
    // The final response's status line code, 0 before one arrived.
    long GetStatusCode() const;
    // The value of the final response's header (name compared without case); "".
    std::string GetResponseHeader(const std::string& name) const;
    bool HasResponseHeader(const std::string& name) const;
    // The final response's header block as received.
    std::string GetResponseHeaderText() const;
    const std::string& GetResponseBody() const;
    std::int64_t GetBytesSent() const;
    std::int64_t GetBytesReceived() const;  // body bytes
    const HttpRequestSpec& GetSpec() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Largest response body kept; beyond it the transfer fails with (4, -1).
inline constexpr std::size_t kCurlTransferMaxBody = 64u * 1024u * 1024u;

}  // namespace platform
