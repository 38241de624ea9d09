#pragma once

// The local test server (tests/server/zymserver.py) seen from a test executable: one
// server per process, started on first use and stopped at exit. Each test takes its own
// path prefix, scripts the paths below it and reads back what the server received.

#include <QJsonArray>
#include <QJsonObject>

#include <string>
#include <utility>
#include <vector>

namespace zymtest {

struct RecordedRequest {
    std::string method;
    std::string target;  // the request line's target as sent (an absolute URI stays whole)
    std::string path;
    std::string query;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
    std::string body;

    // The first header of that name, compared without regard to case; "" when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

class TestServer {
public:
    // The process's server, started on first call. Throws std::runtime_error when it
    // cannot be started.
    static TestServer& Get();

    int Port() const { return port_; }
    // "http://127.0.0.1:<port><path>".
    std::string Url(const std::string& path) const;
    // A fresh prefix "/<suite>.<test>-<n>/" for the running test.
    std::string NewPrefix();

    // Installs one script (an object) or several (an array). Throws on refusal.
    void Script(const QJsonObject& script);
    void Script(const QJsonArray& scripts);
    // A `signon` endpoint at `prefix` knowing one user, and the radio directory its
    // discovery offers at prefix + "svc" (`directory` adds the directory's own keys).
    void ScriptSignOn(const std::string& prefix, const char* user, const char* password);
    void ScriptDirectory(const std::string& prefix, QJsonObject directory = {});
    std::vector<RecordedRequest> Requests(const std::string& prefix);
    // The station streams asked for below `prefix` (paths holding "svcstream/"), in order,
    // and the same as "<prog> n=<k>" each.
    std::vector<RecordedRequest> StreamRequests(const std::string& prefix);
    std::vector<std::string> StreamTargets(const std::string& prefix);
    // Fails, as `how` says, every stream below `prefix` whose prog id starts with `progPrefix`.
    void StreamFails(const std::string& prefix, const std::string& progPrefix, const QJsonObject& how);
    void Reset();

    // Starts (once per variant) a TLS listener serving the same scripts. Variants:
    // "valid", "expired", "notyetvalid", "wronghost", "selfsigned". Gives its port and
    // the test CA's PEM file.
    std::pair<int, std::string> StartTls(const std::string& variant);

    // A loopback port on which nothing listens (bound, then released).
    static int ClosedPort();

    // A plain HTTP exchange with the server (Connection: close): status and body.
    std::pair<int, std::string> Exchange(const std::string& method, const std::string& path,
                                         const std::string& body = {});

    ~TestServer();

private:
    TestServer();
    int pid_ = -1;
    int port_ = 0;
    int stdinFd_ = -1;
    int counter_ = 0;
};

}  // namespace zymtest
