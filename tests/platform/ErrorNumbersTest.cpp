#include "platform/ErrorNumbers.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cerrno>

using platform::ErrorFromCurl;
using platform::ErrorFromErrno;
using platform::ErrorNumber;

TEST(ErrorNumbers, LinuxErrnoBecomesDarwinNumber) {
    struct Case {
        int linuxErrno;
        int darwin;
    } cases[] = {
        {ENETDOWN, 50},
        {ENETUNREACH, 51},
        {ENETRESET, 52},
        {ECONNABORTED, 53},
        {ECONNRESET, 54},
        {ENOBUFS, 55},
        {EISCONN, 56},
        {ENOTCONN, 57},
        {ESHUTDOWN, 58},
        {ETIMEDOUT, 60},
        {ECONNREFUSED, 61},
        {EHOSTDOWN, 64},
        {EHOSTUNREACH, 65},
        // Shared numbers keep their value; 11 differs between the two systems.
        {EPERM, 1},
        {EIO, 5},
        {ENOMEM, 12},
        {EACCES, 13},
        {EPIPE, 32},
        {EAGAIN, 35},
        {EDEADLK, 11},
        {EINPROGRESS, 36},
        // No Darwin counterpart: EIO.
        {ECHRNG, 5},
        {EKEYEXPIRED, 5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorFromErrno(c.linuxErrno), (ErrorNumber{1, c.darwin})) << "errno " << c.linuxErrno;
    }
}

TEST(ErrorNumbers, CurlFailuresMapToTheMacDomains) {
    struct Case {
        const char* what;
        CURLcode code;
        long osErrno;
        long verify;
        ErrorNumber expected;
    } cases[] = {
        {"refused", CURLE_COULDNT_CONNECT, ECONNREFUSED, 0, {1, 61}},
        {"host unreachable", CURLE_COULDNT_CONNECT, EHOSTUNREACH, 0, {1, 65}},
        {"connect, no errno", CURLE_COULDNT_CONNECT, 0, 0, {1, 61}},
        {"reset while receiving", CURLE_RECV_ERROR, ECONNRESET, 0, {1, 54}},
        {"send failure", CURLE_SEND_ERROR, EPIPE, 0, {1, 32}},
        {"body cut short", CURLE_PARTIAL_FILE, 0, 0, {1, 54}},
        {"curl's own time-out", CURLE_OPERATION_TIMEDOUT, 0, 0, {1, 60}},
        {"unknown host", CURLE_COULDNT_RESOLVE_HOST, 0, 0, {12, 8}},
        {"unknown proxy", CURLE_COULDNT_RESOLVE_PROXY, 0, 0, {12, 8}},
        {"bad URL", CURLE_URL_MALFORMAT, 0, 0, {4, -3}},
        {"unsupported scheme", CURLE_UNSUPPORTED_PROTOCOL, 0, 0, {4, -3}},
        {"empty reply", CURLE_GOT_NOTHING, 0, 0, {4, -1}},
        {"malformed reply", CURLE_WEIRD_SERVER_REPLY, 0, 0, {4, -1}},
        {"bad encoding", CURLE_BAD_CONTENT_ENCODING, 0, 0, {4, -1}},
        {"anything else", CURLE_ABORTED_BY_CALLBACK, 0, 0, {4, -1}},
        {"cert not yet valid", CURLE_PEER_FAILED_VERIFICATION, 0, 9, {3, -9815}},
        {"cert expired", CURLE_PEER_FAILED_VERIFICATION, 0, 10, {3, -9814}},
        {"unknown CA", CURLE_PEER_FAILED_VERIFICATION, 0, 20, {3, -9812}},
        {"self-signed", CURLE_PEER_FAILED_VERIFICATION, 0, 18, {3, -9813}},
        {"host name mismatch (OpenSSL)", CURLE_PEER_FAILED_VERIFICATION, 0, 62, {3, -9843}},
        {"host name mismatch (curl)", CURLE_PEER_FAILED_VERIFICATION, 0, 1, {3, -9843}},
        {"host name mismatch (older curl)", CURLE_PEER_FAILED_VERIFICATION, 0, 0, {3, -9843}},
        {"other verify failure", CURLE_PEER_FAILED_VERIFICATION, 0, 23, {3, -9807}},
        {"handshake failure", CURLE_SSL_CONNECT_ERROR, ECONNRESET, 0, {3, -9807}},
        {"success", CURLE_OK, 0, 0, {0, 0}},
    };
    for (const Case& c : cases) {
        const ErrorNumber e = ErrorFromCurl(c.code, c.osErrno, c.verify);
        EXPECT_EQ(e, c.expected) << c.what << ": got (" << e.domain << ", " << e.code << ")";
    }
}

TEST(ErrorNumbers, NoCurlCodeOrDomainTwoLeaks) {
    // Whatever curl reports, the domain is one the application knows, and never 2.
    for (int code = 1; code < CURL_LAST; ++code) {
        const ErrorNumber e = ErrorFromCurl(code, ECONNRESET, 0);
        EXPECT_TRUE(e.domain == 1 || e.domain == 3 || e.domain == 4 || e.domain == 12)
            << "curl code " << code << " gave domain " << e.domain;
    }
}
