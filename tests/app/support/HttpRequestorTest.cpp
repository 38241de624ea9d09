#include "app/support/ZYMHttpRequestor.h"

#include "SupportTestSupport.h"
#include "platform/HttpReadStream.h"
#include "support/TestServer.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <ostream>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using supporttest::RunUntil;
using zymtest::TestServer;

namespace {

// The bytes the server's "size" bodies carry.
std::string Pattern(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s.push_back(static_cast<char>(((i % 256) * 7 + 3) & 0xFF));
    return s;
}

struct Recorder : ZYMHttpRequestorDelegate {
    std::vector<std::string> events;
    std::vector<int> pieces;
    std::string body;
    std::optional<ZYMHttpRequestorError> error;
    int finals = 0;
    std::function<void(const std::string& event)> onEvent;

    void requestStarted(ZYMHttpRequestor*) override { Note("started"); }
    void requestFinished(ZYMHttpRequestor*) override {
        ++finals;
        Note("finished");
    }
    void requestFailed(ZYMHttpRequestor*, const ZYMHttpRequestorError& e) override {
        ++finals;
        error = e;
        Note("failed");
    }
    void requestProgress(ZYMHttpRequestor*, const QByteArray& data) override {
        pieces.push_back(static_cast<int>(data.size()));
        body.append(data.constData(), static_cast<std::size_t>(data.size()));
        Note("progress");
    }
    void Note(const std::string& e) {
        events.push_back(e);
        if (onEvent) onEvent(e);
    }
};

QUrl Url(const std::string& path) { return QUrl(QString::fromStdString(TestServer::Get().Url(path))); }

struct RequestCase {
    const char* name;
    // Scripts below the test's prefix (their "path" is relative to it).
    std::function<QJsonArray(const std::string& prefix)> scripts;
    std::function<void(ZYMHttpRequestor&, const std::string& prefix)> setUp;
    bool finishes;
    int status;
    std::optional<ZYMHttpRequestorError> error;
    std::function<void(const Recorder&, const ZYMHttpRequestor&, const std::string& prefix)> check;
};

void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

class RequestorCases : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestorCases, EndsAsExpected) {
    const RequestCase& c = GetParam();
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    const QJsonArray scripts = supporttest::BelowPrefix(c.scripts(prefix), prefix);
    if (!scripts.isEmpty()) server.Script(scripts);

    Recorder recorder;
    ZYMHttpRequestor requestor;
    requestor.setDelegate(&recorder);
    c.setUp(requestor, prefix);
    EXPECT_EQ(requestor.getElapsedTimeOfLastRequest(), 0.0);
    requestor.execute();
    ASSERT_TRUE(RunUntil([&] { return recorder.finals > 0; }));

    EXPECT_EQ(recorder.finals, 1);
    EXPECT_EQ(recorder.events.back(), c.finishes ? "finished" : "failed");
    EXPECT_EQ(requestor.getStatusCode(), c.status);
    if (c.error) {
        ASSERT_TRUE(recorder.error);
        EXPECT_EQ(recorder.error->domain, c.error->domain);
        EXPECT_EQ(recorder.error->code, c.error->code);
    }
    for (int piece : recorder.pieces) {
        EXPECT_GT(piece, 0);
        EXPECT_LE(piece, ZYMHttpRequestor::kMaxPieceSize);
    }
    if (c.check) c.check(recorder, requestor, prefix);
}

QJsonObject Http(const char* path, QJsonObject o) {
    o["path"] = path;
    return o;
}

const RequestCase kRequestCases[] = {
    {"BodyInPieces",
     [](auto&) {
         return QJsonArray{Http("big", {{"size", 20000}, {"piece", 20000}})};
     },
     [](ZYMHttpRequestor& r, const std::string& p) { r.setURL(Url(p + "big")); }, true, 200, std::nullopt,
     [](const Recorder& rec, const ZYMHttpRequestor& r, const std::string& p) {
         EXPECT_EQ(rec.body, Pattern(20000));
         EXPECT_GE(rec.pieces.size(), 3u);
         EXPECT_EQ(rec.events.front(), "started");
         EXPECT_EQ(r.getFinalURL(), Url(p + "big"));
         EXPECT_EQ(r.getStatusLine(), "HTTP/1.1 200 OK");
         EXPECT_EQ(r.getHeader("content-length"), "20000");
         EXPECT_GT(r.getElapsedTimeOfLastRequest(), 0.0);
     }},
    {"RedirectEndsWithFinalStatus",
     [](auto&) {
         return QJsonArray{Http("from", {{"status", 302},
                                         {"reason", "Found"},
                                         {"headers", QJsonArray{QJsonArray{"Location", "to"}}},
                                         {"body", "stale bytes"}}),
                           Http("to", {{"body", "fresh"}})};
     },
     [](ZYMHttpRequestor& r, const std::string& p) { r.setURL(Url(p + "from")); }, true, 200, std::nullopt,
     [](const Recorder& rec, const ZYMHttpRequestor& r, const std::string& p) {
         EXPECT_EQ(rec.body, "fresh");
         EXPECT_EQ(r.getFinalURL(), Url(p + "to"));
         EXPECT_EQ(r.getRequestURL(), Url(p + "from"));
     }},
    {"RedirectNotFollowedWhenOff",
     [](auto&) {
         return QJsonArray{
             Http("from", {{"status", 302}, {"headers", QJsonArray{QJsonArray{"Location", "to"}}}, {"body", "moved"}})};
     },
     [](ZYMHttpRequestor& r, const std::string& p) {
         r.setURL(Url(p + "from"));
         r.setAutoRedirect(false);
     },
     true, 302, std::nullopt,
     [](const Recorder& rec, const ZYMHttpRequestor& r, const std::string& p) {
         EXPECT_EQ(rec.body, "moved");
         EXPECT_EQ(r.getFinalURL(), Url(p + "from"));
     }},
    {"RedirectLoopFails",
     [](auto&) {
         return QJsonArray{Http("loop", {{"kind", "redirect"}, {"to", "loop"}})};
     },
     [](ZYMHttpRequestor& r, const std::string& p) { r.setURL(Url(p + "loop")); }, false, 0,
     ZYMHttpRequestorError{4, -1},
     [](const Recorder&, const ZYMHttpRequestor&, const std::string& p) {
         EXPECT_EQ(TestServer::Get().Requests(p + "loop").size(), 1u + ZYMHttpRequestor::kMaxRedirects);
     }},
    {"NotFoundFailsWithCodeZero",
     [](auto&) {
         return QJsonArray{Http("gone", {{"status", 404}, {"reason", "Not Found"}, {"body", "<html/>"}})};
     },
     [](ZYMHttpRequestor& r, const std::string& p) { r.setURL(Url(p + "gone")); }, false, 404,
     ZYMHttpRequestorError{0, 0}, nullptr},
    {"Status399Finishes",
     [](auto&) {
         return QJsonArray{Http("odd", {{"status", 399}, {"body", "x"}})};
     },
     [](ZYMHttpRequestor& r, const std::string& p) { r.setURL(Url(p + "odd")); }, true, 399, std::nullopt, nullptr},
    {"RefusedPort", [](auto&) { return QJsonArray{}; },
     [](ZYMHttpRequestor& r, const std::string&) {
         r.setURL(QUrl(QString("http://127.0.0.1:%1/x").arg(TestServer::ClosedPort())));
     },
     false, 0, ZYMHttpRequestorError{1, 61}, nullptr},
    {"NoUrl", [](auto&) { return QJsonArray{}; }, [](ZYMHttpRequestor&, const std::string&) {}, false, 0,
     ZYMHttpRequestorError{4, -3},
     [](const Recorder& rec, const ZYMHttpRequestor&, const std::string&) {
         EXPECT_EQ(rec.events, std::vector<std::string>{"failed"});
     }},
    {"OtherSchemeRefused", [](auto&) { return QJsonArray{}; },
     [](ZYMHttpRequestor& r, const std::string&) { r.setURL(QUrl("file:///etc/passwd")); }, false, 0,
     ZYMHttpRequestorError{4, -3}, nullptr},
    {"PostSendsBodyAndHeaders",
     [](auto&) {
         return QJsonArray{Http("post", {{"body", "ok"}})};
     },
     [](ZYMHttpRequestor& r, const std::string& p) {
         r.setURL(Url(p + "post"), "POST");
         r.setHeader("User-Agent", "ZYM Radio for Linux");
         r.setHeader("X-Zym", "1");
         r.setHeader("x-zym", "2");  // replaces, as a message's header field does
         r.setBody(QByteArray("\x00\x01record", 8));
     },
     true, 200, std::nullopt,
     [](const Recorder&, const ZYMHttpRequestor&, const std::string& p) {
         const auto requests = TestServer::Get().Requests(p + "post");
         ASSERT_EQ(requests.size(), 1u);
         EXPECT_EQ(requests[0].method, "POST");
         EXPECT_EQ(requests[0].body, std::string("\x00\x01record", 8));
         EXPECT_EQ(requests[0].Header("User-Agent"), "ZYM Radio for Linux");
         EXPECT_EQ(requests[0].Header("X-Zym"), "2");
         EXPECT_EQ(requests[0].Header("Content-Length"), "8");
     }},
    {"AbsoluteTargetWithoutPort",
     [](auto&) {
         return QJsonArray{Http("a/b", {{"body", "ok"}})};
     },
     [](ZYMHttpRequestor& r, const std::string& p) {
         r.setURL(Url(p + "a/b;p?q=1"));
         r.setUseAbsolutePathForResource(true);
     },
     true, 200, std::nullopt,
     [](const Recorder&, const ZYMHttpRequestor&, const std::string& p) {
         const auto requests = TestServer::Get().Requests(p + "a/b");
         ASSERT_EQ(requests.size(), 1u);
         EXPECT_EQ(requests[0].target, "http://127.0.0.1" + p + "a/b;p?q=1");
         EXPECT_EQ(requests[0].method, "GET");
         EXPECT_EQ(requests[0].version, "HTTP/1.1");
     }},
    {"ThroughProxy",
     [](auto&) {
         return QJsonArray{Http("proxied", {{"body", "via proxy"}})};
     },
     [](ZYMHttpRequestor& r, const std::string& p) {
         r.setURL(QUrl(QString::fromStdString("http://radio.example.invalid" + p + "proxied")));
         r.setProxy(QUrl(QString("http://127.0.0.1:%1").arg(TestServer::Get().Port())));
     },
     true, 200, std::nullopt,
     [](const Recorder& rec, const ZYMHttpRequestor&, const std::string& p) {
         EXPECT_EQ(rec.body, "via proxy");
         const auto requests = TestServer::Get().Requests(p + "proxied");
         ASSERT_EQ(requests.size(), 1u);
         EXPECT_EQ(requests[0].target, "http://radio.example.invalid" + p + "proxied");
     }},
};

INSTANTIATE_TEST_SUITE_P(Loopback, RequestorCases, ::testing::ValuesIn(kRequestCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Runs one quick request to completion: whatever an earlier requestor still had to say
// would have been delivered on the way.
void Barrier() {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)}, {"body", "b"}});
    Recorder recorder;
    ZYMHttpRequestor r(Url(prefix), &recorder);
    r.execute();
    ASSERT_TRUE(RunUntil([&] { return recorder.finals > 0; }));
}

TEST(HttpRequestor, CancelReportsOneFinishAndClearsTheTimes) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)}, {"stall_after", 100}, {"size", 1000}});
    Recorder recorder;
    ZYMHttpRequestor requestor(Url(prefix), &recorder);
    requestor.execute();
    ASSERT_TRUE(RunUntil([&] { return !recorder.pieces.empty(); }));
    requestor.cancel();
    EXPECT_EQ(recorder.finals, 1);
    EXPECT_EQ(recorder.events.back(), "finished");
    EXPECT_TRUE(requestor.wasCancelled());
    EXPECT_EQ(requestor.getElapsedTimeOfLastRequest(), 0.0);
    requestor.cancel();  // idle now: says nothing
    Barrier();
    EXPECT_EQ(recorder.finals, 1);
    EXPECT_EQ(recorder.events.back(), "finished");
}

// A valid head and then one byte a second: no silence ever lasts, so only the deadline
// over the whole request ends it, with the time-out error.
TEST(HttpRequestor, AnAnswerThatTricklesInFailsAtTheDeadline) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)},
                              {"size", 600},
                              {"trickle", QJsonObject{{"bytes", 1}, {"interval_ms", 1000}}}});
    Recorder recorder;
    ZYMHttpRequestor requestor(Url(prefix), &recorder);
    requestor.setDeadline(zymtest::Scaled(std::chrono::milliseconds(2000)));
    const auto start = std::chrono::steady_clock::now();
    requestor.execute();
    ASSERT_TRUE(RunUntil([&] { return recorder.finals > 0; }, std::chrono::seconds(20)));
    const auto took = std::chrono::steady_clock::now() - start;
    Barrier();
    EXPECT_EQ(recorder.finals, 1);
    ASSERT_EQ(recorder.events.back(), "failed");
    EXPECT_EQ(*recorder.error, (ZYMHttpRequestorError{1, 60}));
    EXPECT_FALSE(recorder.body.empty());  // bytes were coming all along
    EXPECT_GE(took, std::chrono::milliseconds(1500));
    EXPECT_LT(took, zymtest::Scaled(std::chrono::milliseconds(10000)));
}

TEST(HttpRequestor, ExecuteAgainDropsTheRunningRequestSilently) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(
        QJsonArray{QJsonObject{{"path", QString::fromStdString(prefix + "slow")}, {"stall_after_headers", true}},
                   QJsonObject{{"path", QString::fromStdString(prefix + "fast")}, {"body", "fast"}}});
    Recorder recorder;
    ZYMHttpRequestor requestor(Url(prefix + "slow"), &recorder);
    requestor.execute();
    ASSERT_TRUE(RunUntil([&] { return server.Requests(prefix + "slow").size() == 1; }));
    requestor.setURL(Url(prefix + "fast"));
    requestor.execute();  // the stalled request goes silently
    ASSERT_TRUE(RunUntil([&] { return recorder.finals > 0; }));
    Barrier();
    EXPECT_EQ(recorder.finals, 1);
    EXPECT_EQ(recorder.body, "fast");
    EXPECT_FALSE(requestor.wasCancelled());
}

struct Deleter : Recorder {
    std::string deleteOn;
    ZYMHttpRequestor* requestor = nullptr;
    void Maybe(const std::string& e) {
        if (e == deleteOn && requestor) {
            delete requestor;
            requestor = nullptr;
        }
    }
};

class DelegateDeletes : public ::testing::TestWithParam<const char*> {};

TEST_P(DelegateDeletes, TheRequestorInsideItsMessage) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(
        QJsonArray{QJsonObject{{"path", QString::fromStdString(prefix + "ok")}, {"size", 30000}, {"piece", 30000}},
                   QJsonObject{{"path", QString::fromStdString(prefix + "bad")}, {"status", 500}, {"body", "x"}}});
    Deleter d;
    d.deleteOn = GetParam();
    d.onEvent = [&d](const std::string& e) { d.Maybe(e); };
    d.requestor = new ZYMHttpRequestor(Url(prefix + (d.deleteOn == "failed" ? "bad" : "ok")), &d);
    d.requestor->execute();
    ASSERT_TRUE(RunUntil([&] { return d.requestor == nullptr; }));
    Barrier();
    // Nothing more after the deletion.
    EXPECT_EQ(d.events.back(), d.deleteOn);
}

INSTANTIATE_TEST_SUITE_P(Messages, DelegateDeletes, ::testing::Values("started", "progress", "finished", "failed"));

}  // namespace

namespace {

TEST(HttpRequestor, VerifiesTheServersCertificate) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)}, {"body", "secure"}});
    struct Case {
        const char* variant;
        bool trustTestCa;
        bool finishes;
    };
    for (const Case& c : {Case{"valid", true, true}, Case{"valid", false, false}, Case{"selfsigned", false, false},
                          Case{"wronghost", true, false}}) {
        SCOPED_TRACE(c.variant);
        const auto [port, ca] = server.StartTls(c.variant);
        platform::SetTestCaFile(c.trustTestCa ? ca : "");
        Recorder recorder;
        ZYMHttpRequestor r(QUrl(QString("https://127.0.0.1:%1%2").arg(port).arg(QString::fromStdString(prefix))),
                           &recorder);
        r.execute();
        const bool ended = RunUntil([&] { return recorder.finals > 0; });
        platform::SetTestCaFile("");
        ASSERT_TRUE(ended);
        EXPECT_EQ(recorder.events.back(), c.finishes ? "finished" : "failed");
        if (c.finishes) {
            EXPECT_EQ(recorder.body, "secure");
        } else {
            ASSERT_TRUE(recorder.error);
            EXPECT_EQ(recorder.error->domain, 3);
            EXPECT_TRUE(recorder.body.empty());
        }
    }
}

}  // namespace
