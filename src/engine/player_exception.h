#pragma once

#include <exception>

namespace Amp {

// Domains of a player_exception: 1 a POSIX error number (Darwin numbering) from the read
// stream, 2 a Mac OS status (never produced on Linux), 3 the engine's own codes below.
enum PlayerErrorDomain : int {
    kPlayerErrorPOSIX = 1,
    kPlayerErrorMacOS = 2,
    kPlayerErrorEngine = 3,
};

// The engine's own codes (domain 3). The numbers reach the listeners as they are.
enum class EngineError : int {
    kOtherFailure = 1,  // anything else that failed on the stream thread
    kUrlNotUtf8 = 2,
    kNoReadStream = 3,  // read or header request without an open stream
    kUrlNotParsable = 4,
    kRequestNotMade = 5,  // the HTTP request could not be made
    kReadStreamNotMade = 6,
    kReadStreamFailed = 7,  // failed with an error of another domain, or with 0
    kReadStreamEnded = 8,   // at its end or closed when read
    kNoDecoder = 9,         // no decoder for the codec code
    kAacPlusOpenFailed = 10,
    kAacPlusDecodeFailed = 11,
    kFormatRefused = 12,  // the output refused the decoder's PCM format
    kOutputStopped = 13,  // the output stopped while the demultiplexer read
    kConnectionTimeOut = 14,
    // 15 is not used.
    kNetworkUnreachable = 16,
};

// The engine's exception; see docs/internals/error-model.md for who raises what.
class player_exception : public std::exception {
public:
    player_exception(int domain, int code) : domain(domain), code(code) {}
    explicit player_exception(EngineError error) : domain(kPlayerErrorEngine), code(int(error)) {}
    const char* what() const noexcept override { return "player exception"; }

    int domain;
    int code;
};

}  // namespace Amp

using Amp::player_exception;
