#pragma once

// One HTTP request with a body, sent asynchronously on the run loop of the thread that
// calls Send, and the callback interface that hears its outcome.
//
// Contract: no listener callback ever runs inside Send or Cancel; every report comes on a
// later pass of the sending thread's run loop. After a failure, a finish or a Cancel the
// request reports nothing more. Deleting the request stops its transfer silently. The
// request must be sent, cancelled and deleted on one thread.

#include <cstdint>
#include <map>
#include <string>

class DMURLRequestListener {
public:
    // The response body, already inflated when it came gzip-encoded.
    virtual void URLRequestDidFinish(const std::string& body) = 0;
    // (100, HTTP status), (101, 1) for silence past the time-out or an exchange past its
    // deadline, or the transport's error number (see platform/ErrorNumbers.h).
    virtual void URLRequestDidFail(int domain, int error) = 0;
    virtual void URLRequestUploadProgress(int sent, int total) = 0;
    virtual void URLRequestDownloadProgress(int received, int total) = 0;

protected:
    ~DMURLRequestListener() = default;
};

// Log flag bits.
inline constexpr std::uint32_t kDMURLLogStreamEvents = 1;
inline constexpr std::uint32_t kDMURLLogProgress = 2;
inline constexpr std::uint32_t kDMURLLogTimers = 4;
inline constexpr std::uint32_t kDMURLLogSizes = 8;
inline constexpr std::uint32_t kDMURLLogBodies = 16;
inline constexpr std::uint32_t kDMURLLogCompressedBody = 32;

// Error domains of the transport's own failures.
inline constexpr int kDMURLErrorDomainHTTPStatus = 100;
inline constexpr int kDMURLErrorDomainTimeout = 101;

class DMURLRequest {
public:
    explicit DMURLRequest(const std::string& url);
    virtual ~DMURLRequest();
    DMURLRequest(const DMURLRequest&) = delete;
    DMURLRequest& operator=(const DMURLRequest&) = delete;

    // 0 not open, 1 opening, 2 open, 3 writing, 4 reading, 5 at end, 6 closed, 7 error.
    virtual int GetStatus();
    virtual long GetBytesSent();
    virtual long GetBodyLength();
    virtual long GetBytesReceived();
    virtual long GetContentLength();
    virtual void Send() = 0;
    virtual void Cancel() = 0;

    void SetMethod(const std::string& method) { mMethod = method; }
    void SetHeader(const std::string& name, const std::string& value) { mHeaders[name] = value; }
    void SetBody(const std::string& body) { mBody = body; }
    void SetListener(DMURLRequestListener* listener) { mListener = listener; }
    void SetProgressTimerEnabled(bool on) { mProgressTimerEnabled = on; }
    void SetLogFlags(std::uint32_t flags) { mLogFlags = flags; }
    // The bound on the whole exchange, however steadily its bytes come; 0 or less: none.
    void SetDeadline(double seconds) { mDeadline = seconds; }

    const std::string& GetURL() const { return mURL; }
    const std::string& GetMethod() const { return mMethod; }
    const std::map<std::string, std::string>& GetHeaders() const { return mHeaders; }
    const std::string& GetBody() const { return mBody; }
    bool IsProgressTimerEnabled() const { return mProgressTimerEnabled; }
    float GetProgressInterval() const { return mProgressInterval; }
    bool IsTimeoutEnabled() const { return mTimeoutEnabled; }
    float GetTimeout() const { return mTimeout; }
    double GetDeadline() const { return mDeadline; }
    std::uint32_t GetLogFlags() const { return mLogFlags; }

    // The URL's authority (after the first "//" up to the next "/", "?" or "#"), without
    // any user information; with includePort the ":port" stays. "" when the URL has no
    // "//" before its last character.
    std::string GetHost(bool includePort) const;
    // The URL from its last "/" on, slash included; "" when it has none or ends with one.
    std::string GetLastPathSegment() const;

protected:
    // Content-Length and Accept-Encoding replace whatever the caller set (in any case).
    void AddHeaders();

    std::string mMethod;
    std::string mURL;
    std::map<std::string, std::string> mHeaders;
    std::string mBody;
    DMURLRequestListener* mListener = nullptr;
    bool mProgressTimerEnabled = false;
    float mProgressInterval = 1.0f;
    bool mTimeoutEnabled = true;
    float mTimeout = 60.0f;
    std::uint32_t mLogFlags = 31;
    // A server that trickles a byte now and then keeps the silence time-out from ever
    // firing; this ends such an exchange. Set per body size by the transport at Send
    // unless the caller chose one.
    double mDeadline = 0;
};

// The whole-exchange deadline for a request body of `bodyBytes`: 5 minutes, plus a second
// per 32 KB of body so that large uploads over slow links still get through.
double DMURLRequestDefaultDeadline(std::size_t bodyBytes);

// A copy of an XML text for the log with the content of every element that carries a
// secret (Security, Credentials, Credential, Assertion, Data, Password, PasswordText)
// replaced by "[redacted]", cut to maxLength bytes (0: no cut).
std::string DMRedactForLog(const std::string& text, std::size_t maxLength = 0);
