#pragma once

// A polled HTTP GET whose body is read as a byte stream: the stand-in for the Mac's HTTP
// read stream under the engine's stream reader. libcurl does the work: one easy and one
// multi handle per stream, driven only from the calls below (no thread of its own), so
// the stream belongs to one thread at a time and needs no lock.
//
// Contract the reader relies on:
// - Open() can fail at once (bad URL, unsupported scheme, out of memory); later failures
//   show up as Status() == Error with Error() telling why.
// - Bytes received before a failure are handed out first; the failure shows once the
//   buffer is empty.
// - End of data: HasBytesAvailable() is true and Read() returns 0; only after that read
//   does Status() turn to AtEnd. (A reader that sees "nothing available" at the end would
//   otherwise take a finished stream for a stalled one.)
// - Redirects: at most kMaxRedirects, http and https only. A final status outside 2xx
//   ends the stream: Status() Error, Error() (4, -1), HttpStatus() the status.
// - Response headers are kept with lower-cased names, so look-ups ignore case.
// - The body is buffered up to about kBufferLimit bytes; beyond that the transfer pauses
//   until the reader catches up.

#include "platform/ErrorNumbers.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// curl_global_init, once per process; every curl user calls this before its first handle.
void InitCurlOnce();

// Test hook: a PEM file of extra trust anchors for every transfer started afterwards
// (the test server's CA). Empty restores the system's store alone. Verification stays on.
void SetTestCaFile(const std::string& path);
std::string GetTestCaFile();

// True when `url` parses as an absolute URL (any scheme; the scheme is judged at Open).
bool IsParsableUrl(const std::string& url);

enum class ReadStreamStatus { NotOpen, Open, AtEnd, Closed, Error };

// Lower-cased field name -> value.
using HeaderFields = std::map<std::string, std::string>;

// Collects the final response's header block from the header lines of a transfer
// (status lines, fields, the empty line that ends each block). Interim (1xx) blocks and
// redirects that will be followed start over. Lines are untrusted network text.
class ResponseHeaderCollector {
public:
    enum class Event { None, FinalBlockEnded };

    // One line as received, line break included or not.
    Event Feed(std::string_view line);
    void Reset();

    long Status() const { return status_; }
    bool Complete() const { return complete_; }
    const HeaderFields& Fields() const { return fields_; }
    // Marks the block complete without fields (an answer without a header block).
    void CompleteEmpty();

private:
    HeaderFields pending_;
    std::string lastField_;
    HeaderFields fields_;
    long status_ = 0;
    bool complete_ = false;
};

class HttpReadStream {
public:
    static constexpr int kMaxRedirects = 5;
    static constexpr std::size_t kBufferLimit = 256 * 1024;
    static constexpr long kReceiveBlock = 64 * 1024;

    // `requestHeaders`: (name, value) pairs sent as given (CR and LF removed); nothing
    // else is sent beyond Host.
    HttpReadStream(std::string url, std::vector<std::pair<std::string, std::string>> requestHeaders);
    ~HttpReadStream();
    HttpReadStream(const HttpReadStream&) = delete;
    HttpReadStream& operator=(const HttpReadStream&) = delete;

    // Starts the request. False when it could not start; Error() tells why.
    [[nodiscard]] bool Open();
    // Drops the transfer; Status() is Closed afterwards.
    void Close();

    ReadStreamStatus Status();
    bool HasBytesAvailable();
    // Copies up to `length` buffered bytes: the count, 0 when none (see the end-of-data
    // rule above), -1 when the stream has failed.
    long Read(void* buffer, std::size_t length);
    ErrorNumber Error() const { return error_; }

    // The final response's header fields, or null until they have come. A response
    // without a header block (HTTP/0.9) gives an empty set once its body starts.
    const HeaderFields* ResponseHeaders();
    // Status code of the last response seen; 0 before any (and for HTTP/0.9).
    long HttpStatus() const { return httpStatus_; }

    // Waits up to `limit` for network activity (never longer), then processes it. A wait
    // ends early when `wakeFd` (a descriptor of the caller's, -1 for none) turns readable:
    // another thread's way to cut the wait short. It is not read here.
    void Wait(std::chrono::milliseconds limit, int wakeFd = -1);

    std::size_t BufferedBytes() const { return buffer_.size() - readPos_; }

private:
    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    std::size_t Body(const char* data, std::size_t n);
    std::size_t Header(const char* data, std::size_t n);
    void Pump();
    void PumpWhenDry();
    void Fail(ErrorNumber e);
    void ResumeIfRoom();

    std::string url_;
    std::string caFile_;
    std::vector<std::pair<std::string, std::string>> requestHeaders_;
    void* easy_ = nullptr;        // CURL*
    void* multi_ = nullptr;       // CURLM*
    void* headerList_ = nullptr;  // curl_slist*
    void* aliases_ = nullptr;     // curl_slist*
    bool opened_ = false;
    bool closed_ = false;
    bool done_ = false;  // the transfer has finished (well or not)
    bool failed_ = false;
    bool endReported_ = false;  // Read() has returned 0 at the end of the data
    bool paused_ = false;
    ErrorNumber error_{};
    long httpStatus_ = 0;

    std::vector<unsigned char> buffer_;
    std::size_t readPos_ = 0;

    ResponseHeaderCollector headers_;
};

}  // namespace platform
