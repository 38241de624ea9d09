#include "support/TestServer.h"

#include "support/Env.h"

#include <QJsonDocument>
#include <QUrl>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zymtest {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
    const std::string want = Lower(name);
    for (const auto& [k, v] : headers)
        if (Lower(k) == want) return v;
    return "";
}

bool RecordedRequest::HasHeader(const std::string& name) const {
    const std::string want = Lower(name);
    for (const auto& h : headers)
        if (Lower(h.first) == want) return true;
    return false;
}

TestServer& TestServer::Get() {
    static std::mutex mutex;
    static std::unique_ptr<TestServer> server;
    std::lock_guard lock(mutex);
    if (!std::getenv("ZYM_SOURCE_DIR")) {
        // Run outside CTest (or without its environment): this file sits at
        // <source>/tests/support/TestServer.cpp.
        std::string here = __FILE__;
        const auto cut = here.rfind("/tests/support/");
        if (cut != std::string::npos) setenv("ZYM_SOURCE_DIR", here.substr(0, cut).c_str(), 0);
    }
    if (!server) server.reset(new TestServer);
    return *server;
}

TestServer::TestServer() {
    const std::string script = SourceDir() + "/tests/server/zymserver.py";
    int out[2], in[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        execlp("python3", "python3", script.c_str(), "--port", "0", "--exit-on-stdin-eof", (char*)nullptr);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    pid_ = pid;
    stdinFd_ = in[1];  // the server quits when this closes, also when we crash

    std::string line;
    char c;
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, int(Scaled(std::chrono::seconds(60)).count())) <= 0 || read(out[0], &c, 1) != 1) break;
        if (c == '\n') break;
        line += c;
    }
    close(out[0]);
    if (line.rfind("READY ", 0) != 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        throw std::runtime_error("test server did not start: '" + line + "' (" + script + ")");
    }
    port_ = std::stoi(line.substr(6));
}

TestServer::~TestServer() {
    if (stdinFd_ >= 0) close(stdinFd_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

std::string TestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string TestServer::NewPrefix() {
    std::string name = "test";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
        name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
    return "/" + name + "-" + std::to_string(++counter_) + "/";
}

std::pair<int, std::string> TestServer::Exchange(const std::string& method, const std::string& path,
                                                 const std::string& body) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(uint16_t(port_));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        close(fd);
        throw std::runtime_error("cannot reach the test server");
    }
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                          "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\n\r\n" + body;
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += std::size_t(n);
    }
    std::string reply;
    char buf[8192];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(Scaled(std::chrono::seconds(60)).count())) <= 0) break;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        reply.append(buf, std::size_t(n));
    }
    close(fd);
    const auto split = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/", 0) != 0 || split == std::string::npos)
        throw std::runtime_error("bad reply from the test server");
    const int status = std::atoi(reply.c_str() + reply.find(' ') + 1);
    return {status, reply.substr(split + 4)};
}

void TestServer::Script(const QJsonObject& script) {
    const auto [status, body] =
        Exchange("POST", "/_ctl/script", QJsonDocument(script).toJson(QJsonDocument::Compact).toStdString());
    if (status != 200) throw std::runtime_error("script refused: " + body);
}

void TestServer::ScriptSignOn(const std::string& prefix, const char* user, const char* password) {
    const QJsonArray users{QJsonObject{{"name", user}, {"password", password}}};
    Script(QJsonObject{{"path", QString::fromStdString(prefix)}, {"kind", "signon"}, {"users", users}});
}

void TestServer::ScriptDirectory(const std::string& prefix, QJsonObject directory) {
    directory["path"] = QString::fromStdString(prefix + "svc");
    directory["kind"] = "directory";
    Script(directory);
}

void TestServer::Script(const QJsonArray& scripts) {
    const auto [status, body] =
        Exchange("POST", "/_ctl/script", QJsonDocument(scripts).toJson(QJsonDocument::Compact).toStdString());
    if (status != 200) throw std::runtime_error("script refused: " + body);
}

std::vector<RecordedRequest> TestServer::StreamRequests(const std::string& prefix) {
    std::vector<RecordedRequest> streams;
    for (auto& r : Requests(prefix))
        if (r.path.find("svcstream/") != std::string::npos) streams.push_back(std::move(r));
    return streams;
}

std::vector<std::string> TestServer::StreamTargets(const std::string& prefix) {
    std::vector<std::string> targets;
    for (const auto& r : StreamRequests(prefix)) {
        const std::string tail = r.path.substr(r.path.find("svcstream/") + 10);
        const auto n = r.query.find("n=");
        targets.push_back(tail + " " + r.query.substr(n, 3));
    }
    return targets;
}

void TestServer::StreamFails(const std::string& prefix, const std::string& progPrefix, const QJsonObject& how) {
    QJsonObject script = how;
    script["path"] = QString::fromStdString(prefix + "svcstream/" + progPrefix);
    Script(script);
}

std::vector<RecordedRequest> TestServer::Requests(const std::string& prefix) {
    const auto [status, body] = Exchange(
        "GET", "/_ctl/requests?prefix=" + QUrl::toPercentEncoding(QString::fromStdString(prefix)).toStdString());
    if (status != 200) throw std::runtime_error("requests refused: " + body);
    std::vector<RecordedRequest> out;
    for (const QJsonValue& v : QJsonDocument::fromJson(QByteArray::fromStdString(body)).array()) {
        const QJsonObject o = v.toObject();
        RecordedRequest r;
        r.method = o["method"].toString().toStdString();
        r.target = o["target"].toString().toStdString();
        r.path = o["path"].toString().toStdString();
        r.query = o["query"].toString().toStdString();
        r.version = o["version"].toString().toStdString();
        for (const QJsonValue& h : o["headers"].toArray())
            r.headers.emplace_back(h.toArray()[0].toString().toStdString(), h.toArray()[1].toString().toStdString());
        r.body = QByteArray::fromBase64(o["body_b64"].toString().toLatin1()).toStdString();
        out.push_back(std::move(r));
    }
    return out;
}

std::pair<int, std::string> TestServer::StartTls(const std::string& variant) {
    const auto [status, body] = Exchange("POST", "/_ctl/tls",
                                         QJsonDocument(QJsonObject{{"variant", QString::fromStdString(variant)}})
                                             .toJson(QJsonDocument::Compact)
                                             .toStdString());
    if (status != 200) throw std::runtime_error("TLS listener refused: " + body);
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
    return {o["port"].toInt(), o["ca"].toString().toStdString()};
}

void TestServer::Reset() { Exchange("POST", "/_ctl/reset"); }

int TestServer::ClosedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    close(fd);
    return ntohs(sa.sin_port);
}

}  // namespace zymtest
