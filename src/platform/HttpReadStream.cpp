#include "platform/HttpReadStream.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

namespace {
std::mutex gTestCaLock;
std::string gTestCaFile;
}  // namespace

void SetTestCaFile(const std::string& path) {
    std::lock_guard lock(gTestCaLock);
    gTestCaFile = path;
}

std::string GetTestCaFile() {
    std::lock_guard lock(gTestCaLock);
    return gTestCaFile;
}

bool IsParsableUrl(const std::string& url) {
    CURLU* u = curl_url();
    if (!u) return false;
    const CURLUcode rc = curl_url_set(u, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME);
    curl_url_cleanup(u);
    return rc == CURLUE_OK;
}

namespace {

CURL* Easy(void* p) { return static_cast<CURL*>(p); }
CURLM* Multi(void* p) { return static_cast<CURLM*>(p); }

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string WithoutLineBreaks(std::string s) {
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }), s.end());
    return s;
}

bool IsRedirectStatus(long code) { return code == 301 || code == 302 || code == 303 || code == 307 || code == 308; }

const ErrorNumber kBadReply{kErrorDomainHTTP, -1};

}  // namespace

HttpReadStream::HttpReadStream(std::string url, std::vector<std::pair<std::string, std::string>> requestHeaders)
    : url_(std::move(url)), requestHeaders_(std::move(requestHeaders)) {}

HttpReadStream::~HttpReadStream() { Close(); }

bool HttpReadStream::Open() {
    Close();
    closed_ = false;
    done_ = failed_ = endReported_ = paused_ = false;
    error_ = {};
    httpStatus_ = 0;
    buffer_.clear();
    readPos_ = 0;
    headers_.Reset();
    InitCurlOnce();

    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    easy_ = easy;
    multi_ = multi;
    opened_ = true;
    if (!easy || !multi) {
        Fail({kErrorDomainPOSIX, 12});
        return false;
    }

    curl_slist* list = nullptr;
    // curl adds "Accept: */*" by default; the stream request carries only what we give.
    list = curl_slist_append(list, "Accept:");
    for (const auto& [name, value] : requestHeaders_) {
        const std::string line = WithoutLineBreaks(name) + ": " + WithoutLineBreaks(value);
        if (curl_slist* l = curl_slist_append(list, line.c_str())) list = l;
    }
    headerList_ = list;

    curl_easy_setopt(easy, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Whatever the socket holds in one read, not 16 KB at a time.
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, long(kReceiveBlock));
    // Closing during a name look-up must not wait for the resolver thread: a stop joins
    // the stream thread and then closes the stream on the main thread.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    // Shoutcast-style servers answer "ICY 200 OK" or send no status line at all.
    curl_easy_setopt(easy, CURLOPT_HTTP09_ALLOWED, 1L);
    aliases_ = curl_slist_append(nullptr, "ICY 200 OK");
    curl_easy_setopt(easy, CURLOPT_HTTP200ALIASES, aliases_);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, long(kMaxRedirects));
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    caFile_ = GetTestCaFile();
    if (!caFile_.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, caFile_.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpReadStream::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpReadStream::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);

    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        Fail({kErrorDomainPOSIX, 12});
        return false;
    }
    Pump();
    return !failed_;
}

void HttpReadStream::Close() {
    if (!opened_) return;
    if (multi_ && easy_) curl_multi_remove_handle(Multi(multi_), Easy(easy_));
    if (easy_) curl_easy_cleanup(Easy(easy_));
    if (multi_) curl_multi_cleanup(Multi(multi_));
    if (headerList_) curl_slist_free_all(static_cast<curl_slist*>(headerList_));
    if (aliases_) curl_slist_free_all(static_cast<curl_slist*>(aliases_));
    easy_ = multi_ = headerList_ = aliases_ = nullptr;
    opened_ = false;
    closed_ = true;
    buffer_.clear();
    readPos_ = 0;
}

// While buffered bytes remain the socket is left alone: asking curl on every call costs a
// few system calls each time, and bytes left in the socket meanwhile are read later in one
// larger block.
void HttpReadStream::PumpWhenDry() {
    if (BufferedBytes() == 0) Pump();
}

void HttpReadStream::Fail(ErrorNumber e) {
    if (failed_) return;
    failed_ = true;
    error_ = e;
}

void HttpReadStream::Pump() {
    if (!opened_ || done_ || !multi_) return;
    int running = 0;
    curl_multi_perform(Multi(multi_), &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(Multi(multi_), &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        done_ = true;
        const CURLcode rc = msg->data.result;
        long status = 0;
        curl_easy_getinfo(Easy(easy_), CURLINFO_RESPONSE_CODE, &status);
        if (status) httpStatus_ = status;
        if (failed_) continue;  // already judged (a refused status) while receiving
        if (rc == CURLE_TOO_MANY_REDIRECTS) {
            Fail(kBadReply);
        } else if (rc != CURLE_OK) {
            long osErrno = 0, verify = 0;
            curl_easy_getinfo(Easy(easy_), CURLINFO_OS_ERRNO, &osErrno);
            curl_easy_getinfo(Easy(easy_), CURLINFO_SSL_VERIFYRESULT, &verify);
            Fail(ErrorFromCurl(rc, osErrno, verify));
        } else if (httpStatus_ != 0 && (httpStatus_ < 200 || httpStatus_ > 299)) {
            Fail(kBadReply);
        }
        // A body-less answer without a header block still has its (empty) headers now.
        if (!failed_) headers_.CompleteEmpty();
    }
}

std::size_t HttpReadStream::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<HttpReadStream*>(self)->Body(data, size * count);
}

std::size_t HttpReadStream::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<HttpReadStream*>(self)->Header(data, size * count);
}

std::size_t HttpReadStream::Body(const char* data, std::size_t n) {
    if (failed_) return 0;
    if (!headers_.Complete()) {
        // No header block came (HTTP/0.9): the body is the stream, without fields. An
        // ICY status other than 200 arrives this way too and refuses the stream.
        headers_.CompleteEmpty();
        if (n >= 8 && std::memcmp(data, "ICY ", 4) == 0) {
            const long code = std::strtol(std::string(data + 4, std::min<std::size_t>(n - 4, 3)).c_str(), nullptr, 10);
            if (code != 200) {
                httpStatus_ = code;
                Fail(kBadReply);
                return 0;
            }
        }
    }
    if (BufferedBytes() >= kBufferLimit) {
        paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (readPos_ > 0 && readPos_ >= buffer_.size() / 2) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(readPos_));
        readPos_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + n);
    return n;
}

std::size_t HttpReadStream::Header(const char* data, std::size_t n) {
    if (failed_) return 0;
    const auto event = headers_.Feed(std::string_view(data, n));
    httpStatus_ = headers_.Status();
    if (event == ResponseHeaderCollector::Event::FinalBlockEnded && httpStatus_ != 0 &&
        (httpStatus_ < 200 || httpStatus_ > 299)) {
        // The status refuses the stream: stop here rather than stream an error page.
        Fail(kBadReply);
        return 0;
    }
    return n;
}

void ResponseHeaderCollector::Reset() { *this = ResponseHeaderCollector(); }

void ResponseHeaderCollector::CompleteEmpty() {
    if (complete_) return;
    fields_.clear();
    complete_ = true;
}

ResponseHeaderCollector::Event ResponseHeaderCollector::Feed(std::string_view raw) {
    const std::string line(raw);
    const std::string trimmed = Trim(line);
    if (line.rfind("HTTP/", 0) == 0 || line.rfind("ICY ", 0) == 0) {
        // A new response (after a redirect or an interim 1xx) starts a new field set.
        pending_.clear();
        lastField_.clear();
        const auto sp = line.find(' ');
        status_ = sp == std::string::npos ? 0 : std::strtol(line.c_str() + sp + 1, nullptr, 10);
        complete_ = false;
        return Event::None;
    }
    // Trailer fields of a chunked body come after the final block: they change nothing.
    if (complete_) return Event::None;
    if (trimmed.empty()) {
        const bool interim = status_ >= 100 && status_ < 200;
        const bool followed = IsRedirectStatus(status_) && pending_.count("location");
        if (interim || followed) return Event::None;
        fields_ = std::move(pending_);
        pending_.clear();
        lastField_.clear();
        complete_ = true;
        return Event::FinalBlockEnded;
    }
    if ((line[0] == ' ' || line[0] == '\t') && !lastField_.empty()) {
        pending_[lastField_] += " " + trimmed;  // folded continuation line
        return Event::None;
    }
    const auto colon = line.find(':');
    if (colon == std::string::npos) return Event::None;  // not a field; ignore
    lastField_ = Lower(Trim(line.substr(0, colon)));
    if (lastField_.empty()) return Event::None;
    pending_[lastField_] = Trim(line.substr(colon + 1));
    return Event::None;
}

void HttpReadStream::ResumeIfRoom() {
    if (paused_ && easy_ && BufferedBytes() < kBufferLimit / 2) {
        paused_ = false;
        curl_easy_pause(Easy(easy_), CURLPAUSE_CONT);
    }
}

ReadStreamStatus HttpReadStream::Status() {
    if (closed_) return ReadStreamStatus::Closed;
    if (!opened_) return ReadStreamStatus::NotOpen;
    PumpWhenDry();
    if (BufferedBytes() > 0) return ReadStreamStatus::Open;
    if (failed_) return ReadStreamStatus::Error;
    if (done_ && endReported_) return ReadStreamStatus::AtEnd;
    return ReadStreamStatus::Open;
}

bool HttpReadStream::HasBytesAvailable() {
    if (!opened_) return false;
    PumpWhenDry();
    return BufferedBytes() > 0 || (done_ && !failed_);
}

long HttpReadStream::Read(void* buffer, std::size_t length) {
    if (!opened_) return -1;
    PumpWhenDry();
    const std::size_t avail = BufferedBytes();
    if (avail > 0) {
        const std::size_t n = std::min(avail, length);
        std::memcpy(buffer, buffer_.data() + readPos_, n);
        readPos_ += n;
        if (readPos_ == buffer_.size()) {
            buffer_.clear();
            readPos_ = 0;
        }
        ResumeIfRoom();
        return long(n);
    }
    if (failed_) return -1;
    if (done_) endReported_ = true;
    return 0;
}

const HeaderFields* HttpReadStream::ResponseHeaders() {
    if (!opened_) return nullptr;
    if (!headers_.Complete()) Pump();
    return headers_.Complete() ? &headers_.Fields() : nullptr;
}

void HttpReadStream::Wait(std::chrono::milliseconds limit, int wakeFd) {
    if (!opened_ || !multi_) return;
    // With nothing on the wire (finished or paused) this still keeps the caller's pace.
    curl_waitfd wake{wakeFd, CURL_WAIT_POLLIN, 0};
    const int ms = int(std::clamp<long long>(limit.count(), 0, 24LL * 3600 * 1000));
    curl_multi_poll(Multi(multi_), wakeFd >= 0 ? &wake : nullptr, wakeFd >= 0 ? 1 : 0, ms, nullptr);
    Pump();
}

}  // namespace platform
