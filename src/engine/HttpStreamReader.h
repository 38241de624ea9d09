#pragma once

// Amp::HTTPReader: an audio stream's HTTP GET handed out as a polled byte source.
//
// Stream thread only, except the two time-out setters (main thread, before the stream
// opens) and the stop flag, which the stopping thread raises. The reader never blocks
// for long: an empty read waits at most 10 ms for network activity and returns 0. Every
// wait checks the stop flag first and after; a raised flag ends the reader with
// Amp::stream_stopped (not an error). Failures are player_exception:
//   (3,2) URL not UTF-8, (3,4) URL not parsable, (3,3) no open stream,
//   (3,8) read at a finished or closed stream, (3,14) start or stale time-out,
//   (3,16) the maker's web host is unreachable, (1,errno) / (2,status) from the stream,
//   (3,7) any other stream failure, a refused HTTP status included.

#include "engine/DataSource.h"
#include "platform/ErrorNumbers.h"

#include <atomic>
#include <cstdint>
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

    // The stream's stop request, checked in every wait; may be null (never stopped).
    void SetStopFlag(const std::atomic<bool>* stop) { stop_.store(stop); }

    [[noreturn]] void ThrowStreamError(platform::ErrorNumber error);
    bool CheckNetworkUnreachable();

    std::uint64_t GetBytesRead() const { return bytesRead_; }

private:
    // The request's header fields: the map's entries, names and values as given.
    std::vector<std::pair<std::string, std::string>> AddRequestHeaders() const;
    [[noreturn]] void ThrowCurrentStreamError();
    // The poll loop's pause: up to `ms` of waiting for network activity.
    void Wait(int ms);
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
};

}  // namespace Amp
