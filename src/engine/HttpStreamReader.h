#pragma once

// Amp::HTTPReader: an audio stream's HTTP GET handed out as a polled byte source.
//
// Stream thread only, except the two time-out setters (main thread, before the stream
// opens), the stop flag, which the stopping thread raises, and WakeUp. A read that finds
// no bytes waits on the socket until bytes come, a time-out or the next reachability
// check falls due (at most a second), or WakeUp is called; it then hands out what came,
// or returns 0 (nothing yet) as before. Waking on data instead of polling on a short
// timer keeps a paced station's cost to a few wake-ups a second. Every wait checks the
// stop flag first and after; a raised flag ends the reader with Amp::stream_stopped (not
// an error). Failures are player_exception:
//   (3,2) URL not UTF-8, (3,4) URL not parsable, (3,3) no open stream,
//   (3,8) read at a finished or closed stream, (3,14) start or stale time-out,
//   (3,16) the maker's web host is unreachable, (1,errno) / (2,status) from the stream,
//   (3,7) any other stream failure, a refused HTTP status included.

#include "engine/DataSource.h"
#include "platform/ErrorNumbers.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class HttpReadStream;
}

namespace Amp {

class HTTPReader : public DataSource {
public:
    static constexpr const char* kDefaultUserAgent = "ZYM_Mac_4250.0000/CTID (quintrel/2.0)";

    HTTPReader(const char* url, const char* userAgent);

    int Read(void* buffer, unsigned length) override;
    virtual ~HTTPReader();
    virtual void Connect();
    virtual void Open();
    virtual void Close();

    // Waits for the response header; the named field's value ("" when absent). Names
    // are matched without regard to case.
    std::string GetResponseHeader(const char* name);

    // Only before the stream has been opened; later calls are ignored.
    void SetConnectionStartTimeout(float seconds);
    void SetConnectionStaleTimeout(float seconds);
    double GetConnectionStartTimeout() const { return startTimeout_.load(); }
    double GetConnectionStaleTimeout() const { return staleTimeout_.load(); }

    // The stream's stop request, checked in every wait; may be null (never stopped).
    void SetStopFlag(const std::atomic<bool>* stop) { stop_.store(stop); }
    // Any thread, after raising the stop flag: ends the wait the reader is in, and every
    // later one, at once.
    void WakeUp();
    // Stream thread: runs when a read finds no bytes, before the reader waits for them
    // (the output rests there while it holds plenty, so that the bytes gather in the
    // socket and are read in larger blocks).
    void SetEmptyReadHook(std::function<void()> hook) { emptyReadHook_ = std::move(hook); }

    [[noreturn]] void ThrowStreamError(platform::ErrorNumber error);
    bool CheckNetworkUnreachable();

    std::uint64_t GetBytesRead() const { return bytesRead_; }

private:
    // The request's header fields: the map's entries, names and values as given.
    std::vector<std::pair<std::string, std::string>> AddRequestHeaders() const;
    [[noreturn]] void ThrowCurrentStreamError();
    // Waits for network activity until `deadline` (Now() seconds) or a wake-up.
    void WaitUntil(double deadline);
    void CheckStop() const;
    static double Now();

    std::string url_;
    std::string userAgent_;
    std::map<std::string, std::string> requestHeaders_;
    std::unique_ptr<platform::HttpReadStream> stream_;
    std::atomic<double> openTime_{0.0};
    double lastDataTime_ = 0.0;
    double lastReachabilityCheck_ = 0.0;
    std::atomic<double> startTimeout_{5.0};
    std::atomic<double> staleTimeout_{5.0};
    std::uint64_t bytesRead_ = 0;
    std::atomic<const std::atomic<bool>*> stop_{nullptr};
    int wakeFd_ = -1;  // an eventfd: readable once WakeUp has been called
    std::function<void()> emptyReadHook_;
};

}  // namespace Amp
