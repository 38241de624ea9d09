#include "dms/core/DMURLRequestLinux.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>

#include "dms/core/DMPlatformUtils.h"
#include "dms/core/DMSIFTypes.h"
#include "runtime/LogMessage.h"
#include "platform/CurlMultiDriver.h"
#include "platform/RunLoop.h"

// Every listener call may delete this request (the SOAP layer deletes or re-sends from
// inside reports). So each report is the last thing a code path does, and paths that
// report more than once check the liveness token between calls.

namespace {

std::atomic<double> gTestTimeout{0};
std::atomic<double> gTestDeadline{0};

// Most of a body the log shows; the rest is cut (bodies can be tens of megabytes).
constexpr std::size_t kMaxLoggedBody = 4096;

std::string TrimSpaces(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

void LogFramed(int level, const char* title, const std::string& body) {
    if (title) LogMessage(level, "%s", title);
    LogMessage(level, "Length: %ld bytes\n", static_cast<long>(body.size()));
    LogMessage(level, "-----START-----\n");
    LogMessage(level, "%s\n", body.c_str());
    LogMessage(level, "------END------\n");
}

}  // namespace

struct DMURLRequestLinux::Impl final : platform::HttpTransferListener {
    explicit Impl(DMURLRequestLinux& o) : owner(o) {}

    void OnTransferActivity() override;
    void OnTransferComplete(platform::ErrorNumber error) override;

    void StartTimers();
    void StopTimers();
    void RestartTimeout();
    void TimeoutFired();
    void Fail(int domain, int code);
    void ProgressFired();
    // False when the request was deleted or finished by a listener meanwhile.
    bool ReportProgress();
    std::string ResponseBody();

    DMURLRequestLinux& owner;
    std::unique_ptr<platform::CurlTransfer> transfer;
    std::unique_ptr<platform::Timer> progressTimer;
    std::unique_ptr<platform::Timer> timeoutTimer;
    std::unique_ptr<platform::Timer> deadlineTimer;
    double timeoutSeconds = 60.0;
    bool finished = false;  // reported, failed or cancelled
    bool failedOrError = false;
    bool downloadStarted = false;
    bool headerLogged = false;
    int lastSent = -1;
    int lastReceived = -1;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

DMURLRequestLinux* DMURLRequestLinux::Create(const std::string& url) { return new DMURLRequestLinux(url); }

DMURLRequestLinux::DMURLRequestLinux(const std::string& url) : DMURLRequest(url), mImpl(std::make_unique<Impl>(*this)) {
    const double t = gTestTimeout.load();
    if (t > 0) {
        mTimeout = static_cast<float>(t);
        mImpl->timeoutSeconds = t;
    }
}

DMURLRequestLinux::~DMURLRequestLinux() {
    *mImpl->alive = false;
    mImpl->StopTimers();
    mImpl->transfer.reset();
}

void DMURLRequestLinux::SetTestTimeout(double seconds) { gTestTimeout.store(seconds > 0 ? seconds : 0); }
void DMURLRequestLinux::SetTestDeadline(double seconds) { gTestDeadline.store(seconds > 0 ? seconds : 0); }

int DMURLRequestLinux::GetStatus() {
    const auto& t = mImpl->transfer;
    if (!t) return 0;
    if (mImpl->failedOrError) return 7;
    if (t->IsCancelled()) return 6;
    if (t->IsDone()) return 5;
    if (t->GetBytesReceived() > 0 || t->GetStatusCode() != 0) return 4;
    if (t->GetBytesSent() > 0) return 3;
    return 1;
}

long DMURLRequestLinux::GetBytesSent() {
    const auto& t = mImpl->transfer;
    if (!t) return 0;
    // Once the answer has begun, the whole body has gone out.
    if (t->GetBytesReceived() > 0 || t->IsDone()) return GetBodyLength();
    return static_cast<long>(t->GetBytesSent());
}

long DMURLRequestLinux::GetBytesReceived() {
    return mImpl->transfer ? static_cast<long>(mImpl->transfer->GetBytesReceived()) : 0;
}

long DMURLRequestLinux::GetContentLength() {
    if (!mImpl->transfer) return 0;
    const std::string value = mImpl->transfer->GetResponseHeader("Content-Length");
    return value.empty() ? 0 : std::strtol(value.c_str(), nullptr, 10);
}

void DMURLRequestLinux::Send() {
    Impl& d = *mImpl;
    if (d.transfer) Cancel();
    d.finished = false;
    d.failedOrError = false;
    d.downloadStarted = false;
    d.headerLogged = false;
    d.lastSent = d.lastReceived = -1;

    AddHeaders();
    LogMessage(1, "Sending URL request to %s\n", mURL.c_str());
    if (mLogFlags & kDMURLLogSizes) LogMessage(2, "SENDING uncompressed(%ld bytes)\n", GetBodyLength());

    platform::HttpRequestSpec spec;
    spec.method = mMethod.empty() ? "GET" : mMethod;
    spec.url = mURL;
    for (const auto& [name, value] : mHeaders)
        spec.headers.emplace_back(name, value);
    // Only the headers above go out: curl's own Accept and Expect are suppressed.
    spec.suppressedHeaders = {"Accept", "Expect"};
    spec.body = mBody;
    if (mLogFlags & kDMURLLogBodies) {
        std::string head = spec.method + " " + mURL + " HTTP/1.1\n";
        for (const auto& [name, value] : mHeaders)
            head += name + ": " + value + "\n";
        LogMessage(kLogTrace, "%s\n", head.c_str());
        LogFramed(kLogTrace, "UNCOMPRESSED REQUEST BODY\n", DMRedactForLog(mBody, kMaxLoggedBody));
    }
    d.transfer = std::make_unique<platform::CurlTransfer>(std::move(spec), &d);
    if (mLogFlags & kDMURLLogStreamEvents) LogMessage(2, "URLRequest http stream OPEN initiated.\n");
    d.StartTimers();
    d.transfer->Start();
}

void DMURLRequestLinux::Cancel() {
    Impl& d = *mImpl;
    LogMessage(1, "Canceled URL request to %s\n", mURL.c_str());
    d.finished = true;
    if (d.transfer) {
        d.transfer->Cancel();
        d.StopTimers();
    }
}

void DMURLRequestLinux::Impl::StartTimers() {
    if (owner.mProgressTimerEnabled) {
        progressTimer = std::make_unique<platform::Timer>([this] { ProgressFired(); });
        if (owner.mLogFlags & kDMURLLogTimers) LogMessage(2, "URLRequest progress timer created.\n");
        progressTimer->Start(std::chrono::milliseconds(0), false);  // first firing now
    }
    if (owner.mTimeoutEnabled) {
        timeoutTimer = std::make_unique<platform::Timer>([this] { TimeoutFired(); });
        if (owner.mLogFlags & kDMURLLogTimers) LogMessage(2, "URLRequest timeout timer created.\n");
        RestartTimeout();
    }
    double deadline = gTestDeadline.load();
    if (deadline <= 0)
        deadline = owner.mDeadline > 0 ? owner.mDeadline : DMURLRequestDefaultDeadline(owner.mBody.size());
    deadlineTimer = std::make_unique<platform::Timer>([this] {
        if (finished) return;
        LogMessage(0, "Request to %s ran past its deadline\n", owner.mURL.c_str());
        Fail(kDMURLErrorDomainTimeout, 1);
    });
    deadlineTimer->Start(std::chrono::milliseconds(std::max(1LL, static_cast<long long>(deadline * 1000.0))), false);
}

void DMURLRequestLinux::Impl::StopTimers() {
    const bool log = owner.mLogFlags & kDMURLLogTimers;
    if (progressTimer) {
        if (log) LogMessage(2, "Progress timer stopped for request at %s\n", owner.mURL.c_str());
        progressTimer.reset();
    }
    if (timeoutTimer) {
        if (log) LogMessage(2, "Timeout timer stopped for request at %s\n", owner.mURL.c_str());
        timeoutTimer.reset();
    }
    deadlineTimer.reset();
}

void DMURLRequestLinux::Impl::RestartTimeout() {
    if (!timeoutTimer) return;
    const auto ms = static_cast<long long>(timeoutSeconds * 1000.0);
    timeoutTimer->Start(std::chrono::milliseconds(std::max(1LL, ms)), false);
}

void DMURLRequestLinux::Impl::OnTransferActivity() {
    if (finished) return;
    if (owner.mLogFlags & kDMURLLogStreamEvents) {
        LogMessage(2, "ReceivedStreamEvent (%ld) for URL request (%s) to %s.\n", 2L, owner.mMethod.c_str(),
                   owner.mURL.c_str());
        LogMessage(2, "Response stream event %ld to request at %s\n", 2L, owner.mURL.c_str());
    }
    if (!headerLogged && transfer && transfer->GetStatusCode() != 0 && transfer->GetBytesReceived() > 0) {
        headerLogged = true;
        if (transfer->HasResponseHeader("Content-Length"))
            LogMessage(2, "Response to request at %s has Content-Length of %ld bytes\n", owner.mURL.c_str(),
                       owner.GetContentLength());
        else
            LogMessage(1, "Response to request at %s lacks Content-Length\n", owner.mURL.c_str());
    }
    // The time-out measures silence, not the whole exchange.
    RestartTimeout();
    if (transfer && transfer->GetBytesReceived() > 0) downloadStarted = true;
    ReportProgress();
}

void DMURLRequestLinux::Impl::ProgressFired() {
    if (finished) return;
    if (owner.mLogFlags & kDMURLLogTimers)
        LogMessage(2, "Progress timer fired for request at %s\n", owner.mURL.c_str());
    if (ReportProgress() && progressTimer && !progressTimer->IsActive()) {
        const auto ms = static_cast<long long>(owner.mProgressInterval * 1000.0f);
        progressTimer->Start(std::chrono::milliseconds(std::max(1LL, ms)), true);
    }
}

bool DMURLRequestLinux::Impl::ReportProgress() {
    if (!owner.mProgressTimerEnabled || !owner.mListener || finished) return true;
    std::weak_ptr<bool> token = alive;
    const int sent = static_cast<int>(owner.GetBytesSent());
    const int total = static_cast<int>(owner.GetBodyLength());
    const int received = static_cast<int>(owner.GetBytesReceived());
    const int expected = static_cast<int>(owner.GetContentLength());
    auto stillHere = [&] { return !token.expired() && !finished; };
    if (sent != lastSent) {
        const bool first = lastSent < 0;
        lastSent = sent;
        if (first && sent >= 1) {
            owner.mListener->URLRequestUploadProgress(0, total);
            if (!stillHere()) return false;
        }
        owner.mListener->URLRequestUploadProgress(sent, total);
        if (!stillHere()) return false;
    } else if (received == lastReceived) {
        return true;
    }
    if (downloadStarted && received != lastReceived) {
        const bool first = lastReceived < 0;
        lastReceived = received;
        if (first && received >= 1) {
            owner.mListener->URLRequestDownloadProgress(0, expected);
            if (!stillHere()) return false;
        }
        owner.mListener->URLRequestDownloadProgress(received, expected);
        if (!stillHere()) return false;
    }
    if (owner.mLogFlags & kDMURLLogProgress)
        LogMessage(2, "ReadStream:%lx  Outgoing:%ld of %ld  Incoming:%ld of %ld\n",
                   static_cast<long>(reinterpret_cast<std::uintptr_t>(transfer.get())), static_cast<long>(sent),
                   static_cast<long>(total), static_cast<long>(received), static_cast<long>(expected));
    return true;
}

std::string DMURLRequestLinux::Impl::ResponseBody() {
    const std::string& raw = transfer->GetResponseBody();
    const std::string encoding = TrimSpaces(transfer->GetResponseHeader("Content-Encoding"));
    if (!DMStringEqual(encoding, "gzip", false) || raw.empty()) return raw;
    if (owner.mLogFlags & kDMURLLogCompressedBody) LogFramed(kLogTrace, "COMPRESSED RESPONSE BODY\n", DMHexDump(raw));
    unsigned char* out = nullptr;
    std::uint32_t outLength = 0;
    const std::uint32_t n = DMPlatformUtils::GetInstance()->Gunzip(
        reinterpret_cast<const unsigned char*>(raw.data()), static_cast<std::uint32_t>(raw.size()), &out, &outLength);
    if (n == 0 || !out) return raw;  // a failed inflation delivers the bytes as received
    std::string body(reinterpret_cast<char*>(out), n);
    std::free(out);
    if (owner.mLogFlags & kDMURLLogSizes)
        LogMessage(2, "COMPRESSION STATS: compressed(%ld bytes) uncompressed(%ld bytes) savings(%.1f%%)\n",
                   static_cast<long>(raw.size()), static_cast<long>(body.size()),
                   (static_cast<double>(body.size()) - static_cast<double>(raw.size())) /
                       static_cast<double>(body.size()) * 100.0);
    return body;
}

void DMURLRequestLinux::Impl::OnTransferComplete(platform::ErrorNumber error) {
    if (finished) return;
    const std::string& url = owner.mURL;
    const bool logBodies = owner.mLogFlags & kDMURLLogBodies;
    if (error.domain == 0) {
        const std::string body = ResponseBody();
        LogMessage(1, "Received response to request at %s\n", url.c_str());
        if (logBodies) {
            LogMessage(kLogTrace, "%s", transfer->GetResponseHeaderText().c_str());
            LogFramed(kLogTrace, nullptr, DMRedactForLog(body, kMaxLoggedBody));
        }
        StopTimers();
        if (transfer->GetBytesReceived() > 0) downloadStarted = true;
        if (!ReportProgress()) return;
        finished = true;
        const long status = transfer->GetStatusCode();
        const bool accepted = status == 0 || (status >= 200 && status <= 206) || status == 300 || status == 302 ||
                              status == 303 || status == 304 || status == 407;
        if (!owner.mListener) return;
        if (!accepted) {
            LogMessage(0,
                       "HTTP Response from Method (%s), URL (%s) diagnosed as a Failure with Response "
                       "Code: %d\n",
                       owner.mMethod.c_str(), url.c_str(), static_cast<int>(status));
            owner.mListener->URLRequestDidFail(kDMURLErrorDomainHTTPStatus, static_cast<int>(status));
        } else {
            owner.mListener->URLRequestDidFinish(body);
        }
        return;
    }
    failedOrError = true;
    LogMessage(0, "Error reading response from %s (domain=%ld, error=%ld)\n", url.c_str(),
               static_cast<long>(error.domain), static_cast<long>(error.code));
    if (logBodies) LogMessage(kLogTrace, "%s", transfer->GetResponseHeaderText().c_str());
    const std::string body = ResponseBody();
    if (body.empty())
        LogMessage(0, "Message contained no body.\n");
    else if (logBodies)
        LogFramed(kLogTrace, nullptr, DMRedactForLog(body, kMaxLoggedBody));
    StopTimers();
    if (!ReportProgress()) return;
    finished = true;
    if (owner.mListener) owner.mListener->URLRequestDidFail(error.domain, error.code);
}

void DMURLRequestLinux::Impl::TimeoutFired() {
    if (finished) return;
    if (owner.mLogFlags & kDMURLLogTimers) LogMessage(2, "Timeout timer fired for request at %s\n", owner.mURL.c_str());
    Fail(kDMURLErrorDomainTimeout, 1);
}

void DMURLRequestLinux::Impl::Fail(int domain, int code) {
    LogMessage(0, "Unexpected failure with request %s (domain=%ld, error=%ld)\n", owner.mURL.c_str(),
               static_cast<long>(domain), static_cast<long>(code));
    failedOrError = true;
    // The timers are not destroyed here (we may run inside one's callback): just stopped.
    if (timeoutTimer) timeoutTimer->Stop();
    if (deadlineTimer) deadlineTimer->Stop();
    if (progressTimer) progressTimer->Stop();
    if (!ReportProgress()) return;
    finished = true;
    // Close the stream before telling: the listener may delete this request.
    if (transfer) transfer->Cancel();
    if (owner.mListener) owner.mListener->URLRequestDidFail(domain, code);
}
