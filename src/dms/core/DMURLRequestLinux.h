#pragma once

// The HTTP transport over libcurl's multi-socket interface, driven by the run loop of the
// sending thread (platform/CurlMultiDriver.h). HTTP/1.1 only, http and https only, TLS
// always verified, no proxy, no redirects followed, content never decoded by curl: a
// gzip body is inflated here with DMPlatformUtils::Gunzip.

#include <memory>

#include "dms/core/DMURLRequest.h"

class DMURLRequestLinux : public DMURLRequest {
public:
    // A new request owned by the caller.
    static DMURLRequestLinux* Create(const std::string& url);
    ~DMURLRequestLinux() override;

    int GetStatus() override;
    long GetBytesSent() override;
    long GetBytesReceived() override;
    long GetContentLength() override;
    void Send() override;
    void Cancel() override;

    // Test hook: the silence time-out of every request made afterwards, in seconds;
    // 0 or less restores the default (60 s).
    static void SetTestTimeout(double seconds);
    // Test hook: the whole-exchange deadline of every request sent afterwards, in
    // seconds; 0 or less restores the default (DMURLRequestDefaultDeadline).
    static void SetTestDeadline(double seconds);

    struct Impl;

private:
    explicit DMURLRequestLinux(const std::string& url);
    std::unique_ptr<Impl> mImpl;
};
