#include "platform/CurlMultiDriver.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>

#include "platform/HttpReadStream.h"
#include "platform/RunLoop.h"

// One driver per thread. curl calls us back (socket, timer, write, header, progress) only
// from inside curl_multi_socket_action / curl_multi_add_handle; those callbacks record
// what happened and touch no listener. Reports go out in Report(), after curl returned,
// so a listener may delete transfers, start new ones or cancel, and no handle is ever
// removed inside a curl callback.

namespace platform {

namespace {

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    return s.substr(i);
}

class Driver;
thread_local Driver* tDriver = nullptr;

std::uint64_t NextTransferSerial() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

struct CurlTransfer::Impl {
    Impl(HttpRequestSpec s, HttpTransferListener* l) : spec(std::move(s)), listener(l) {}
    ~Impl();

    void Detach();

    HttpRequestSpec spec;
    HttpTransferListener* listener;
    CURL* easy = nullptr;
    // Names this transfer for completions read before a listener may delete it: a new
    // transfer can take over the freed handle's address within the same pass.
    const std::uint64_t serial = NextTransferSerial();
    curl_slist* headerList = nullptr;
    Driver* driver = nullptr;
    bool started = false;
    bool done = false;
    bool cancelled = false;
    bool activity = false;
    bool bodyTooLarge = false;
    long status = 0;
    std::vector<std::pair<std::string, std::string>> responseHeaders;
    std::string responseHeaderText;
    std::string body;
    std::int64_t bytesSent = 0;
    std::int64_t bytesReceived = 0;
    CallbackScope startFailure;
};

namespace {

class Driver {
public:
    static Driver& Current() {
        if (!tDriver) tDriver = new Driver();
        return *tDriver;
    }

    bool Add(CurlTransfer::Impl* t) {
        if (!multi_) return false;
        transfers_.insert(t);
        t->driver = this;
        if (curl_multi_add_handle(multi_, t->easy) != CURLM_OK) {
            transfers_.erase(t);
            t->driver = nullptr;
            return false;
        }
        return true;
    }

    // Never called from inside a curl callback (transfers are only destroyed or
    // cancelled from listener callbacks, which run after curl has returned).
    void Remove(CurlTransfer::Impl* t) {
        if (transfers_.erase(t) == 0) return;
        curl_multi_remove_handle(multi_, t->easy);
        t->driver = nullptr;
        if (transfers_.empty()) ScheduleIdleCleanup();
    }

private:
    Driver() {
        InitCurlOnce();
        multi_ = curl_multi_init();
        if (!multi_) return;
        curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &Driver::SocketCallback);
        curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &Driver::TimerCallback);
        curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
        timer_ = std::make_unique<Timer>([this] { Action(CURL_SOCKET_TIMEOUT, 0); });
    }

    ~Driver() {
        // cleanup may still call the socket and timer callbacks: keep their targets.
        if (multi_) curl_multi_cleanup(multi_);
        watches_.clear();
        timer_.reset();
    }

    // A thread that is done with HTTP gives its multi handle back (and tests end clean).
    void ScheduleIdleCleanup() {
        if (cleanupPosted_) return;
        cleanupPosted_ = true;
        RunLoop::Current().Post([] {
            Driver* d = tDriver;
            if (!d) return;
            d->cleanupPosted_ = false;
            if (d->transfers_.empty() && d->depth_ == 0) {
                tDriver = nullptr;
                delete d;
            }
        });
    }

    static int SocketCallback(CURL*, curl_socket_t s, int what, void* userp, void*) {
        auto* self = static_cast<Driver*>(userp);
        if (what == CURL_POLL_REMOVE) {
            self->watches_.erase(s);
            return 0;
        }
        unsigned events = FdWatch::kNone;
        if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) events |= FdWatch::kRead;
        if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) events |= FdWatch::kWrite;
        auto it = self->watches_.find(s);
        if (it == self->watches_.end()) {
            auto watch = std::make_unique<FdWatch>(static_cast<int>(s), [self](int fd, unsigned ev) {
                self->Action(fd, ev == FdWatch::kRead ? CURL_CSELECT_IN : CURL_CSELECT_OUT);
            });
            it = self->watches_.emplace(s, std::move(watch)).first;
        }
        it->second->SetEvents(events);
        return 0;
    }

    static int TimerCallback(CURLM*, long timeoutMs, void* userp) {
        auto* self = static_cast<Driver*>(userp);
        if (timeoutMs < 0)
            self->timer_->Stop();
        else  // also 0: a later pass, never synchronously
            self->timer_->Start(std::chrono::milliseconds(timeoutMs), false);
        return 0;
    }

    void Action(curl_socket_t s, int events) {
        int running = 0;
        ++depth_;
        curl_multi_socket_action(multi_, s, events, &running);
        --depth_;
        Report();
    }

    void Report() {
        // Activity first, then completions. Every listener call may change the set.
        std::vector<CurlTransfer::Impl*> snapshot(transfers_.begin(), transfers_.end());
        for (auto* t : snapshot) {
            if (!transfers_.count(t) || !t->activity) continue;
            t->activity = false;
            if (t->listener && !t->cancelled) t->listener->OnTransferActivity();
        }
        for (auto* t : snapshot)
            if (transfers_.count(t)) DeliverBody(t);
        struct Finished {
            CurlTransfer::Impl* transfer;
            std::uint64_t serial;
            CURLcode result;
        };
        std::vector<Finished> finished;
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
            if (msg->msg != CURLMSG_DONE) continue;
            for (auto* candidate : transfers_)
                if (candidate->easy == msg->easy_handle)
                    finished.push_back({candidate, candidate->serial, msg->data.result});
        }
        for (const auto& [t, serial, result] : finished) {
            if (!transfers_.count(t) || t->serial != serial) continue;
            CURL* easy = t->easy;
            long osErrno = 0;
            long verify = 0;
            curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
            curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verify);
            curl_off_t up = 0;
            if (curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &up) == CURLE_OK) t->bytesSent = up;
            ErrorNumber error = ErrorFromCurl(result, osErrno, verify);
            if (t->bodyTooLarge) error = {kErrorDomainHTTP, -1};
            DeliverBody(t);
            if (!transfers_.count(t)) continue;
            Remove(t);
            t->done = true;
            if (t->listener && !t->cancelled) t->listener->OnTransferComplete(error);
        }
    }

    // Streamed body bytes go out in pieces; the listener may delete or cancel the
    // transfer after any of them, so its membership is checked before each.
    void DeliverBody(CurlTransfer::Impl* t) {
        if (!t->spec.streamBody || t->body.empty()) return;
        std::string pending;
        pending.swap(t->body);
        const std::size_t piece = std::max<std::size_t>(1, t->spec.bodyPieceSize);
        for (std::size_t at = 0; at < pending.size(); at += piece) {
            if (!transfers_.count(t) || t->cancelled || !t->listener) return;
            t->listener->OnTransferData(pending.data() + at, std::min(piece, pending.size() - at));
        }
    }

    CURLM* multi_ = nullptr;
    std::unique_ptr<Timer> timer_;
    std::map<curl_socket_t, std::unique_ptr<FdWatch>> watches_;
    std::set<CurlTransfer::Impl*> transfers_;
    int depth_ = 0;
    bool cleanupPosted_ = false;
};

size_t WriteCallback(char* data, size_t size, size_t count, void* userp) {
    auto* t = static_cast<CurlTransfer::Impl*>(userp);
    const size_t n = size * count;
    if (t->body.size() + n > kCurlTransferMaxBody) {
        t->bodyTooLarge = true;
        return 0;  // aborts the transfer
    }
    t->body.append(data, n);
    t->bytesReceived += static_cast<std::int64_t>(n);
    t->activity = true;
    return n;
}

size_t HeaderCallback(char* data, size_t size, size_t count, void* userp) {
    auto* t = static_cast<CurlTransfer::Impl*>(userp);
    const size_t n = size * count;
    std::string line(data, n);
    t->activity = true;
    if (line.rfind("HTTP/", 0) == 0) {
        // A new status line (an interim 1xx block, or the final one) starts over.
        t->responseHeaders.clear();
        t->responseHeaderText.clear();
        t->status = 0;
        const auto space = line.find(' ');
        if (space != std::string::npos) {
            long code = 0;
            for (std::size_t i = space + 1; i < line.size() && i < space + 4; ++i) {
                if (line[i] < '0' || line[i] > '9') {
                    code = 0;
                    break;
                }
                code = code * 10 + (line[i] - '0');
            }
            t->status = code;
        }
    } else {
        const auto colon = line.find(':');
        if (colon != std::string::npos && colon > 0)
            t->responseHeaders.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
    if (t->responseHeaderText.size() < 64 * 1024) t->responseHeaderText += line;
    return n;
}

int ProgressCallback(void* userp, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
    auto* t = static_cast<CurlTransfer::Impl*>(userp);
    if (ulnow != t->bytesSent) {
        t->bytesSent = ulnow;
        t->activity = true;
    }
    return 0;
}

}  // namespace

void CurlTransfer::Impl::Detach() {
    if (driver) driver->Remove(this);
}

CurlTransfer::Impl::~Impl() {
    Detach();
    if (easy) curl_easy_cleanup(easy);
    if (headerList) curl_slist_free_all(headerList);
}

CurlTransfer::CurlTransfer(HttpRequestSpec spec, HttpTransferListener* listener)
    : impl_(std::make_unique<Impl>(std::move(spec), listener)) {}

CurlTransfer::~CurlTransfer() = default;

void CurlTransfer::Start() {
    Impl& t = *impl_;
    if (t.started) return;
    t.started = true;
    InitCurlOnce();
    t.easy = curl_easy_init();
    bool ok = t.easy != nullptr;
    if (ok) {
        CURL* e = t.easy;
        ok = curl_easy_setopt(e, CURLOPT_URL, t.spec.url.c_str()) == CURLE_OK;
        curl_easy_setopt(e, CURLOPT_PRIVATE, impl_.get());
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(e, CURLOPT_PROXY, t.spec.proxy.c_str());
        if (!t.spec.requestTarget.empty()) curl_easy_setopt(e, CURLOPT_REQUEST_TARGET, t.spec.requestTarget.c_str());
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
        const std::string ca = GetTestCaFile();
        if (!ca.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, ca.c_str());
        // curl's forms: "Name;" sends an empty header, "Name:" removes one of curl's own.
        std::vector<std::string> lines;
        for (const auto& [name, value] : t.spec.headers)
            lines.push_back(value.empty() ? name + ";" : name + ": " + value);
        for (const auto& name : t.spec.suppressedHeaders)
            lines.push_back(name + ":");
        for (const auto& line : lines) {
            curl_slist* next = curl_slist_append(t.headerList, line.c_str());
            if (!next) {
                ok = false;
                break;
            }
            t.headerList = next;
        }
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headerList);
        if (t.spec.method == "POST") {
            curl_easy_setopt(e, CURLOPT_POST, 1L);
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.spec.body.size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, t.spec.body.data());
        } else if (t.spec.method == "HEAD") {
            curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
        } else if (t.spec.method != "GET") {
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, t.spec.method.c_str());
            if (!t.spec.body.empty()) {
                curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.spec.body.size()));
                curl_easy_setopt(e, CURLOPT_POSTFIELDS, t.spec.body.data());
            }
        }
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &WriteCallback);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, impl_.get());
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HeaderCallback);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, impl_.get());
        curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &ProgressCallback);
        curl_easy_setopt(e, CURLOPT_XFERINFODATA, impl_.get());
    }
    if (ok && Driver::Current().Add(impl_.get())) return;

    // Even a failure to start is reported on a later pass, never inside Start.
    const ErrorNumber error = t.easy ? ErrorNumber{kErrorDomainHTTP, -3} : ErrorNumber{kErrorDomainPOSIX, 12};
    Impl* impl = impl_.get();
    RunLoop::Current().Post(
        [impl, error] {
            impl->done = true;
            if (impl->listener && !impl->cancelled) impl->listener->OnTransferComplete(error);
        },
        t.startFailure);
}

void CurlTransfer::Cancel() {
    impl_->cancelled = true;
    impl_->startFailure.Cancel();
    impl_->Detach();
}

bool CurlTransfer::IsStarted() const { return impl_->started; }
bool CurlTransfer::IsDone() const { return impl_->done; }
bool CurlTransfer::IsCancelled() const { return impl_->cancelled; }
long CurlTransfer::GetStatusCode() const { return impl_->status; }

std::string CurlTransfer::GetResponseHeader(const std::string& name) const {
    for (const auto& [key, value] : impl_->responseHeaders)
        if (EqualsNoCase(key, name)) return value;
    return {};
}

bool CurlTransfer::HasResponseHeader(const std::string& name) const {
    for (const auto& [key, value] : impl_->responseHeaders)
        if (EqualsNoCase(key, name)) return true;
    return false;
}

std::string CurlTransfer::GetResponseHeaderText() const { return impl_->responseHeaderText; }
const std::string& CurlTransfer::GetResponseBody() const { return impl_->body; }
std::int64_t CurlTransfer::GetBytesSent() const { return impl_->bytesSent; }
std::int64_t CurlTransfer::GetBytesReceived() const { return impl_->bytesReceived; }
const HttpRequestSpec& CurlTransfer::GetSpec() const { return impl_->spec; }

}  // namespace platform
