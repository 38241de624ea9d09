#pragma once

#include <exception>

namespace Amp {

// The engine's exception. Domains: 1 a POSIX error number from the read stream, 2 a Mac
// OS status (never produced on Linux), 3 the engine's own codes:
//   1 other failure on the stream thread       9 no decoder for the codec code
//   2 URL is not valid UTF-8                  10 aacPlus decoder could not be opened
//   3 read or header request without stream   11 aacPlus decoder reported an error
//   4 URL could not be parsed                 12 output refused the PCM format
//   5 HTTP request could not be made          13 output stopped while demultiplexing
//   6 read stream could not be made           14 connection time-out
//   7 read stream failed otherwise, or with 0 16 network unreachable
//   8 read stream at end or closed            (15 is not used)
class player_exception : public std::exception {
public:
    player_exception(int domain, int code) : domain(domain), code(code) {}
    const char* what() const noexcept override { return "player exception"; }

    int domain;
    int code;
};

}  // namespace Amp

using Amp::player_exception;
