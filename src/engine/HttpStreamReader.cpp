#include "engine/HttpStreamReader.h"

#include "runtime/LogMessage.h"
#include "engine/SysNetworkConnectivity.h"
#include "engine/player_exception.h"
#include "platform/HttpReadStream.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cmath>
#include <utility>
#include <vector>

namespace Amp {

namespace {

using platform::ReadStreamStatus;

constexpr double kReachabilityInterval = 1.0;
// The longest wait on the socket; the deadlines of the time-outs are usually nearer.
constexpr double kLongestWait = 1.0;

bool IsUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        unsigned min;
        unsigned cp;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            min = 0x80;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            min = 0x800;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            min = 0x10000;
            cp = c & 0x07;
        } else
            return false;
        if (i + extra >= s.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

HTTPReader::HTTPReader(const char* url, const char* userAgent)
    : url_(url ? url : ""), userAgent_(userAgent ? userAgent : ""), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

HTTPReader::~HTTPReader() {
    Close();
    if (wakeFd_ >= 0) close(wakeFd_);
}

void HTTPReader::WakeUp() {
    const uint64_t one = 1;
    // A full counter refuses the write, and then the descriptor is readable anyway.
    if (wakeFd_ >= 0 && write(wakeFd_, &one, sizeof one) < 0) return;
}

double HTTPReader::Now() {
    // Monotonic seconds, offset so that a real time is never 0 (0 means "not yet").
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count() + 1.0;
}

void HTTPReader::SetConnectionStartTimeout(float seconds) {
    if (openTime_.load() == 0.0) startTimeout_.store(seconds);
}

void HTTPReader::SetConnectionStaleTimeout(float seconds) {
    if (openTime_.load() == 0.0) staleTimeout_.store(seconds);
}

void HTTPReader::Connect() { Open(); }

void HTTPReader::Close() {
    if (stream_) {
        stream_->Close();
        stream_.reset();
    }
}

std::vector<std::pair<std::string, std::string>> HTTPReader::AddRequestHeaders() const {
    return {requestHeaders_.begin(), requestHeaders_.end()};
}

void HTTPReader::Open() {
    Close();
    bytesRead_ = 0;
    if (CheckNetworkUnreachable()) throw player_exception(EngineError::kNetworkUnreachable);
    if (!IsUtf8(url_)) throw player_exception(EngineError::kUrlNotUtf8);
    if (!platform::IsParsableUrl(url_)) throw player_exception(EngineError::kUrlNotParsable);

    requestHeaders_["User-Agent"] = userAgent_.empty() ? kDefaultUserAgent : userAgent_;
    auto stream = std::make_unique<platform::HttpReadStream>(url_, AddRequestHeaders());
    if (!stream->Open()) {
        const platform::ErrorNumber error = stream->Error();
        stream.reset();
        ThrowStreamError(error);
    }
    stream_ = std::move(stream);
    // A time-out given before this point holds; later setter calls are ignored.
    openTime_.store(Now());
    lastDataTime_ = 0.0;
}

void HTTPReader::ThrowStreamError(platform::ErrorNumber error) {
    if ((error.domain == kPlayerErrorPOSIX || error.domain == kPlayerErrorMacOS) && error.code != 0)
        throw player_exception(error.domain, error.code);
    throw player_exception(EngineError::kReadStreamFailed);
}

void HTTPReader::ThrowCurrentStreamError() {
    const long status = stream_->HttpStatus();
    if (status != 0 && (status < 200 || status > 299))
        LogMessage(kLogError, "HTTP stream refused: status %ld\n", status);
    ThrowStreamError(stream_->Error());
}

bool HTTPReader::CheckNetworkUnreachable() {
    lastReachabilityCheck_ = Now();
    const std::string host = GetMakerWebHost();
    if (host.empty()) return false;  // no host configured: nothing to judge by
    return !IsNetworkAddressReachable(host.c_str());
}

void HTTPReader::CheckStop() const {
    const std::atomic<bool>* stop = stop_.load();
    if (stop && stop->load()) throw stream_stopped();
}

void HTTPReader::WaitUntil(double deadline) {
    CheckStop();
    const double ms = std::ceil((deadline - Now()) * 1000.0);
    // Without its eventfd the reader falls back to short waits, so a stop is still seen.
    const long long limit =
        wakeFd_ >= 0 ? static_cast<long long>(std::max(0.0, ms)) : std::min(10.0, std::max(0.0, ms));
    stream_->Wait(std::chrono::milliseconds(limit), wakeFd_);
    CheckStop();
}

int HTTPReader::Read(void* buffer, unsigned length) {
    if (!stream_) throw player_exception(EngineError::kNoReadStream);
    CheckStop();

    const ReadStreamStatus status = stream_->Status();
    if (status == ReadStreamStatus::AtEnd || status == ReadStreamStatus::Closed)
        throw player_exception(EngineError::kReadStreamEnded);
    if (status == ReadStreamStatus::Error) ThrowCurrentStreamError();

    const double startTimeout = startTimeout_.load();
    const double staleTimeout = staleTimeout_.load();
    const auto staleOrUnreachable = [&](double now) {
        if (lastDataTime_ > 0.0 && now - lastDataTime_ >= staleTimeout)
            throw player_exception(EngineError::kConnectionTimeOut);
        if (now - lastReachabilityCheck_ >= kReachabilityInterval && CheckNetworkUnreachable())
            throw player_exception(EngineError::kNetworkUnreachable);
    };

    if (!stream_->HasBytesAvailable()) {
        const double now = Now();
        if (lastDataTime_ == 0.0 && now - openTime_.load() >= startTimeout)
            throw player_exception(EngineError::kConnectionTimeOut);
        staleOrUnreachable(now);
        if (emptyReadHook_) {
            emptyReadHook_();
            CheckStop();
        }
        if (!stream_->HasBytesAvailable()) {
            // Until the bytes come, or until the next check falls due: the time-out that
            // applies and the reachability probe, both made by the next read.
            double deadline = lastDataTime_ == 0.0 ? openTime_.load() + startTimeout : lastDataTime_ + staleTimeout;
            deadline = std::min({deadline, lastReachabilityCheck_ + kReachabilityInterval, now + kLongestWait});
            WaitUntil(deadline);
        }
        if (!stream_->HasBytesAvailable()) return 0;
    }

    const std::size_t want = std::min<std::size_t>(length, INT_MAX);
    const long n = stream_->Read(buffer, want);
    if (n < 0) {
        const platform::ErrorNumber e = stream_->Error();
        LogMessage(kLogError, "HTTP stream read error (domain %d, error %ld)\n", e.domain, long(e.code));
        ThrowCurrentStreamError();
    }
    if (n == 0 && stream_->Status() == ReadStreamStatus::AtEnd) return -1;

    const double now = Now();
    bytesRead_ += std::uint64_t(n);
    if (n > 0) lastDataTime_ = now;
    // "No byte yet" is judged by the time of the last byte, not by the byte count,
    // which would read as zero again once a long stream's count wrapped.
    if (lastDataTime_ == 0.0 && now - openTime_.load() >= startTimeout)
        throw player_exception(EngineError::kConnectionTimeOut);
    if (n > 0) return int(n);
    staleOrUnreachable(now);
    return 0;
}

std::string HTTPReader::GetResponseHeader(const char* name) {
    if (!stream_) throw player_exception(EngineError::kNoReadStream);
    if (stream_->Status() == ReadStreamStatus::Error) ThrowCurrentStreamError();

    const platform::HeaderFields* fields = nullptr;
    for (;;) {
        CheckStop();
        const ReadStreamStatus status = stream_->Status();
        if (status == ReadStreamStatus::Error) ThrowCurrentStreamError();
        fields = stream_->ResponseHeaders();
        if (fields) break;
        if (status == ReadStreamStatus::Closed) throw player_exception(EngineError::kReadStreamEnded);
        if (Now() - openTime_.load() > startTimeout_.load()) throw player_exception(EngineError::kConnectionTimeOut);
        // The wait returns as soon as the socket has something (or a stop wakes it).
        WaitUntil(std::min(openTime_.load() + startTimeout_.load(), Now() + kLongestWait));
    }
    const auto it = fields->find(Lower(name ? name : ""));
    return it == fields->end() ? std::string() : it->second;
}

}  // namespace Amp
