#include "platform/ErrorNumbers.h"

#include <cerrno>
#include <curl/curl.h>

namespace platform {

int DarwinErrno(int e) {
    // 1..34 are the same on both systems, except 11: EAGAIN on Linux, EDEADLK on Darwin.
    if (e >= 1 && e <= 34 && e != EAGAIN) return e;
    switch (e) {
    case EDEADLK: return 11;
    case EAGAIN: return 35;
    case EINPROGRESS: return 36;
    case EALREADY: return 37;
    case ENOTSOCK: return 38;
    case EDESTADDRREQ: return 39;
    case EMSGSIZE: return 40;
    case EPROTOTYPE: return 41;
    case ENOPROTOOPT: return 42;
    case EPROTONOSUPPORT: return 43;
    case ESOCKTNOSUPPORT: return 44;
    case EOPNOTSUPP: return 102;
    case EPFNOSUPPORT: return 46;
    case EAFNOSUPPORT: return 47;
    case EADDRINUSE: return 48;
    case EADDRNOTAVAIL: return 49;
    case ENETDOWN: return 50;
    case ENETUNREACH: return 51;
    case ENETRESET: return 52;
    case ECONNABORTED: return 53;
    case ECONNRESET: return 54;
    case ENOBUFS: return 55;
    case EISCONN: return 56;
    case ENOTCONN: return 57;
    case ESHUTDOWN: return 58;
    case ETOOMANYREFS: return 59;
    case ETIMEDOUT: return 60;
    case ECONNREFUSED: return 61;
    case ELOOP: return 62;
    case ENAMETOOLONG: return 63;
    case EHOSTDOWN: return 64;
    case EHOSTUNREACH: return 65;
    case ENOTEMPTY: return 66;
    case EUSERS: return 68;
    case EDQUOT: return 69;
    case ESTALE: return 70;
    case EREMOTE: return 71;
    case ENOLCK: return 77;
    case ENOSYS: return 78;
    case EOVERFLOW: return 84;
    case ECANCELED: return 89;
    case EIDRM: return 90;
    case ENOMSG: return 91;
    case EILSEQ: return 92;
    case EBADMSG: return 94;
    case EMULTIHOP: return 95;
    case ENODATA: return 96;
    case ENOLINK: return 97;
    case ENOSR: return 98;
    case ENOSTR: return 99;
    case EPROTO: return 100;
    case ETIME: return 101;
    default: return EIO;
    }
}

ErrorNumber ErrorFromErrno(int linuxErrno) { return {kErrorDomainPOSIX, DarwinErrno(linuxErrno)}; }

namespace {

// Secure-transport statuses the application knows certificates by.
constexpr int kSSLCertNotYetValid = -9815;
constexpr int kSSLCertExpired = -9814;
constexpr int kSSLUnknownRootCert = -9812;
constexpr int kSSLNoRootCert = -9813;
constexpr int kSSLHostNameMismatch = -9843;
constexpr int kSSLProtocol = -9807;

// OpenSSL's X509_V_* verification results (stable numbers; no OpenSSL headers needed).
constexpr long kX509Ok = 0;
constexpr long kX509Unspecified = 1;
constexpr long kX509UnableToGetIssuerCert = 2;
constexpr long kX509CertNotYetValid = 9;
constexpr long kX509CertHasExpired = 10;
constexpr long kX509DepthZeroSelfSigned = 18;
constexpr long kX509SelfSignedInChain = 19;
constexpr long kX509UnableToGetIssuerLocally = 20;
constexpr long kX509UnableToVerifyLeaf = 21;
constexpr long kX509HostNameMismatch = 62;
constexpr long kX509IpAddressMismatch = 64;

int SecureTransportStatus(long verify) {
    switch (verify) {
    case kX509CertNotYetValid: return kSSLCertNotYetValid;
    case kX509CertHasExpired: return kSSLCertExpired;
    case kX509UnableToGetIssuerCert:
    case kX509UnableToGetIssuerLocally:
    case kX509UnableToVerifyLeaf: return kSSLUnknownRootCert;
    case kX509DepthZeroSelfSigned:
    case kX509SelfSignedInChain: return kSSLNoRootCert;
    case kX509HostNameMismatch:
    case kX509IpAddressMismatch:
    // curl checks the host name itself after OpenSSL has accepted the chain, and then
    // reports "unspecified" (older versions: nothing) as the verification result.
    case kX509Unspecified:
    case kX509Ok: return kSSLHostNameMismatch;
    default: return kSSLProtocol;
    }
}

}  // namespace

ErrorNumber ErrorFromCurl(int curlCode, long osErrno, long sslVerifyResult) {
    const auto withErrno = [&](int fallbackDarwin) {
        return ErrorNumber{kErrorDomainPOSIX, osErrno > 0 ? DarwinErrno(int(osErrno)) : fallbackDarwin};
    };
    switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_OK: return {0, 0};
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT: return {kErrorDomainHTTP, -3};
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST: return {kErrorDomainNetDB, 8};
    case CURLE_COULDNT_CONNECT: return withErrno(61);
    case CURLE_OPERATION_TIMEDOUT: return {kErrorDomainPOSIX, 60};
    case CURLE_SEND_ERROR: return withErrno(32);
    case CURLE_RECV_ERROR: return withErrno(54);
    // The body ended short of its Content-Length (or chunked framing): the peer dropped us.
    case CURLE_PARTIAL_FILE: return {kErrorDomainPOSIX, 54};
    case CURLE_OUT_OF_MEMORY: return {kErrorDomainPOSIX, 12};
    case CURLE_PEER_FAILED_VERIFICATION: return {kErrorDomainSSL, SecureTransportStatus(sslVerifyResult)};
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED: return {kErrorDomainSSL, kSSLProtocol};
    default: return {kErrorDomainHTTP, -1};
    }
}

}  // namespace platform
