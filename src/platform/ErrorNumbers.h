#pragma once

// The one place where Linux and libcurl failures become the error numbers the rest of the
// program judges: the Mac numbering (POSIX codes as Darwin numbers them, the stream error
// domains of the Mac HTTP stack). Neither Linux errno values nor curl codes ever reach a
// listener raw; every caller that turns a failure into a (domain, code) goes through here.

namespace platform {

struct ErrorNumber {
    int domain = 0;
    int code = 0;
    friend bool operator==(const ErrorNumber&, const ErrorNumber&) = default;
};

// Domains of the pair.
inline constexpr int kErrorDomainPOSIX = 1;   // code: a Darwin errno value
inline constexpr int kErrorDomainSSL = 3;     // code: a secure-transport status
inline constexpr int kErrorDomainHTTP = 4;    // -1 malformed/empty reply, -3 bad URL or scheme
inline constexpr int kErrorDomainNetDB = 12;  // code 8: the name did not resolve

// Darwin's number for a Linux errno. Numbers both systems share keep their value; a Linux
// number without a Darwin counterpart becomes 5 (EIO).
int DarwinErrno(int linuxErrno);

// (1, Darwin errno) for an OS failure.
ErrorNumber ErrorFromErrno(int linuxErrno);

// A failed libcurl transfer. `curlCode` is the CURLcode, `osErrno` CURLINFO_OS_ERRNO and
// `sslVerifyResult` CURLINFO_SSL_VERIFYRESULT (an OpenSSL X509_V_ERR value) of the handle.
// CURLE_OK gives (0, 0).
ErrorNumber ErrorFromCurl(int curlCode, long osErrno, long sslVerifyResult);

}  // namespace platform
