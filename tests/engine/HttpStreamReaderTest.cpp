// Amp::HTTPReader over real loopback sockets against the local test server, with
// time-outs shortened to fractions of a second.

#include "engine/HttpStreamReader.h"

#include "runtime/LogMessage.h"
#include "engine/SysNetworkConnectivity.h"
#include "engine/player_exception.h"
#include "support/Env.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

using Amp::HTTPReader;
using zymtest::TestServer;
using Clock = std::chrono::steady_clock;

namespace {

// Time-outs shortened on purpose, and the slack of their upper bounds.
const float kShort = float(zymtest::Scaled(1.0));
const double kSlack = zymtest::Scaled(1.0);

struct Result {
    std::string body;
    bool ended = false;                        // a read returned -1
    std::optional<std::pair<int, int>> error;  // player_exception (domain, code)
    bool stopped = false;                      // stream_stopped
    double seconds = 0;                        // until the outcome
};

// Polls the reader as the stream thread's stages do, until it ends, fails or `limit` passes.
Result Pull(HTTPReader& reader, double limit = 10.0) {
    limit = zymtest::Scaled(limit);
    Result r;
    const auto start = Clock::now();
    char buf[2048];
    try {
        while (std::chrono::duration<double>(Clock::now() - start).count() < limit) {
            const int n = reader.Read(buf, sizeof buf);
            if (n < 0) {
                r.ended = true;
                break;
            }
            r.body.append(buf, std::size_t(n));
        }
    } catch (const player_exception& e) {
        r.error = std::make_pair(e.domain, e.code);
    } catch (const Amp::stream_stopped&) {
        r.stopped = true;
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return r;
}

std::string FileBytes(const std::string& rel) {
    QFile f(QString::fromStdString(zymtest::DataPath(rel)));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

QJsonArray Header(const char* name, const char* value) { return QJsonArray{name, value}; }

std::pair<int, int> Code(const player_exception& e) { return {e.domain, e.code}; }

class HttpStreamReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMakerWebHost("");
        SysNetworkConnectivity::sharedInstance().setForcedAnswerForTesting(std::nullopt);
    }
    void TearDown() override {
        SetMakerWebHost("");
        SysNetworkConnectivity::sharedInstance().setForcedAnswerForTesting(std::nullopt);
    }

    TestServer& server = TestServer::Get();
    std::string prefix = server.NewPrefix();

    std::string Path(const std::string& name) const { return prefix + name; }
    std::string Url(const std::string& name) const { return server.Url(prefix + name); }
    void Script(const std::string& name, QJsonObject script) {
        script["path"] = QString::fromStdString(prefix + name);
        server.Script(script);
    }
    std::unique_ptr<HTTPReader> Reader(const std::string& url, const char* agent = "Test/1") {
        auto r = std::make_unique<HTTPReader>(url.c_str(), agent);
        r->SetConnectionStartTimeout(kShort);
        r->SetConnectionStaleTimeout(kShort);
        return r;
    }
};

TEST_F(HttpStreamReaderTest, FaultModesEndWithTheirErrorNumbers) {
    const QJsonArray mpeg{Header("Content-Type", "audio/mpeg")};
    Script("refused-later",
           {{"kind", "redirect"},
            {"to", QString::fromStdString("http://127.0.0.1:" + std::to_string(TestServer::ClosedPort()) + "/x")}});
    Script("reset", {{"headers", mpeg}, {"size", 100000}, {"reset_after", 3000}, {"piece", 1000}});
    Script("short", {{"headers", mpeg}, {"size", 500}, {"content_length", 1000}});
    Script("404", {{"status", 404},
                   {"reason", "Not Found"},
                   {"headers", QJsonArray{Header("Content-Type", "text/html")}},
                   {"body", "<html>no</html>"}});
    Script("hop1", {{"kind", "redirect"}, {"to", QString::fromStdString(Path("hop2"))}, {"exact", true}});
    Script("hop2", {{"kind", "redirect"}, {"to", QString::fromStdString(Path("404"))}, {"exact", true}});
    Script("500", {{"status", 500}, {"reason", "Oops"}, {"body", "x"}});
    Script("headers-only", {{"headers", mpeg}, {"stall_after_headers", true}, {"content_length", false}});
    Script("stall", {{"headers", mpeg}, {"size", 4000}, {"stall_after", 2000}});
    Script("silent", {{"silent", true}});

    struct Case {
        const char* what;
        std::string url;
        std::pair<int, int> expected;
    } cases[] = {
        {"refused", "http://127.0.0.1:" + std::to_string(TestServer::ClosedPort()) + "/x", {1, 61}},
        {"refused after a redirect", Url("refused-later"), {1, 61}},
        {"reset mid-body", Url("reset"), {1, 54}},
        {"body short of Content-Length", Url("short"), {1, 54}},
        // The stream's (12, 8) is not a POSIX error: the reader's error path makes it (3, 7).
        {"unknown host", "http://nonexistent.invalid/x", {3, 7}},
        {"404", Url("404"), {3, 7}},
        {"404 after redirects", Url("hop1"), {3, 7}},
        {"500", Url("500"), {3, 7}},
        {"headers then nothing", Url("headers-only"), {3, 14}},
        {"data then stall", Url("stall"), {3, 14}},
        {"silent after accept", Url("silent"), {3, 14}},
        {"unsupported scheme", "ftp://127.0.0.1/x", {3, 7}},
    };
    for (const Case& c : cases) {
        auto reader = Reader(c.url);
        std::optional<std::pair<int, int>> got;
        try {
            reader->Connect();
            reader->GetResponseHeader("Content-Type");
            got = Pull(*reader).error;
        } catch (const player_exception& e) {
            got = Code(e);
        }
        ASSERT_TRUE(got.has_value()) << c.what << ": no error";
        EXPECT_EQ(*got, c.expected) << c.what << ": got (" << got->first << ", " << got->second << ")";
    }
}

TEST_F(HttpStreamReaderTest, RefusedStatusIsLogged) {
    QTemporaryDir dir;
    const std::string log = dir.filePath("engine.log").toStdString();
    InitLogFile(log.c_str(), 1, 0);
    Script("gone", {{"status", 410}, {"reason", "Gone"}, {"body", "bye"}});
    auto reader = Reader(Url("gone"));
    reader->Connect();
    try {
        reader->GetResponseHeader("Content-Type");
        ADD_FAILURE() << "a 410 was taken for a stream";
    } catch (const player_exception& e) {
        EXPECT_EQ(Code(e), std::make_pair(3, 7));
    }
    QFile f(QString::fromStdString(log));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("HTTP stream refused: status 410\n"));
}

TEST_F(HttpStreamReaderTest, TimeOutsComeAtTheirTime) {
    Script("silent", {{"silent", true}});
    Script("stall",
           {{"headers", QJsonArray{Header("Content-Type", "audio/mpeg")}}, {"size", 5000}, {"stall_after", 3000}});
    {
        // Nothing after the open: the header wait gives up after the start time-out.
        auto reader = Reader(Url("silent"));
        const auto start = Clock::now();
        reader->Connect();
        try {
            reader->GetResponseHeader("Content-Type");
            ADD_FAILURE() << "no time-out";
        } catch (const player_exception& e) {
            EXPECT_EQ(Code(e), std::make_pair(3, 14));
        }
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_GE(s, kShort - 0.05);
        EXPECT_LT(s, kShort + kSlack);
    }
    {
        // Data, then nothing: (3,14) one stale time-out after the last byte.
        auto reader = Reader(Url("stall"));
        reader->Connect();
        const Result r = Pull(*reader);
        ASSERT_TRUE(r.error.has_value());
        EXPECT_EQ(*r.error, std::make_pair(3, 14));
        EXPECT_EQ(r.body.size(), 3000u);
        EXPECT_GE(r.seconds, kShort - 0.05);
        EXPECT_LT(r.seconds, kShort + kSlack);
    }
}

TEST_F(HttpStreamReaderTest, FinishedBodyEndsWithMinusOneNeverATimeOut) {
    Script("mp3", {{"headers", QJsonArray{Header("Content-Type", "audio/mpeg")}}, {"file", "chirp-64k.mp3"}});
    Script(
        "chunked",
        {{"headers", QJsonArray{Header("Content-Type", "audio/aac")}}, {"file", "chirp-64k.aac"}, {"chunked", true}});
    Script("empty", {{"headers", QJsonArray{Header("Content-Type", "audio/mpeg")}}, {"body", ""}});
    const struct {
        const char* name;
        std::string body;
    } cases[] = {
        {"mp3", FileBytes("streams/chirp-64k.mp3")}, {"chunked", FileBytes("streams/chirp-64k.aac")}, {"empty", ""}};
    for (const auto& c : cases) {
        auto reader = Reader(Url(c.name));
        // Were the end taken for "no data yet", the stale time-out would fire right after.
        reader->SetConnectionStartTimeout(float(zymtest::Scaled(2.0)));
        reader->SetConnectionStaleTimeout(float(zymtest::Scaled(1.0)));
        reader->Connect();
        const Result r = Pull(*reader);
        EXPECT_FALSE(r.error.has_value()) << c.name << ": (" << r.error.value_or(std::make_pair(0, 0)).first << ", "
                                          << r.error.value_or(std::make_pair(0, 0)).second << ")";
        EXPECT_TRUE(r.ended) << c.name;
        EXPECT_TRUE(r.body == c.body) << c.name;
        // A read past the end is a failure.
        char b;
        try {
            reader->Read(&b, 1);
            ADD_FAILURE() << c.name << ": read after the end succeeded";
        } catch (const player_exception& e) {
            EXPECT_EQ(Code(e), std::make_pair(3, 8)) << c.name;
        }
    }
}

TEST_F(HttpStreamReaderTest, TrickleIsNotATimeOut) {
    // 20 bytes, one every 100 ms: twice the stale time-out in all, far less between bytes.
    Script("trickle", {{"headers", QJsonArray{Header("Content-Type", "audio/mpeg")}},
                       {"size", 20},
                       {"trickle", QJsonObject{{"bytes", 1}, {"interval_ms", 100}}}});
    auto reader = Reader(Url("trickle"));
    reader->SetConnectionStaleTimeout(float(zymtest::Scaled(1.0)));
    reader->Connect();
    const Result r = Pull(*reader);
    EXPECT_FALSE(r.error.has_value());
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.body.size(), 20u);
}

TEST_F(HttpStreamReaderTest, RequestAndResponseHeaders) {
    Script("s", {{"headers", QJsonArray{Header("CONTENT-TYPE", "AUDIO/AACP"), Header("Quintrel-Max-Msg", "6000")}},
                 {"body", "x"}});
    const struct {
        const char* given;
        const char* sent;
    } agents[] = {{"ZYM_Mac_9/CTID (quintrel/2.0)", "ZYM_Mac_9/CTID (quintrel/2.0)"},
                  {"", "ZYM_Mac_4250.0000/CTID (quintrel/2.0)"}};
    for (const auto& a : agents) {
        auto reader = Reader(Url("s"), a.given);
        reader->Connect();
        EXPECT_EQ(reader->GetResponseHeader("Content-Type"), "AUDIO/AACP");
        EXPECT_EQ(reader->GetResponseHeader("content-type"), "AUDIO/AACP");
        EXPECT_EQ(reader->GetResponseHeader("QUINTREL-MAX-MSG"), "6000");
        EXPECT_EQ(reader->GetResponseHeader("Quintrel-Avg-Bitrate"), "");
    }
    const auto requests = server.Requests(Path("s"));
    ASSERT_EQ(requests.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(requests[i].method, "GET");
        EXPECT_EQ(requests[i].version, "HTTP/1.1");
        EXPECT_EQ(requests[i].Header("User-Agent"), agents[i].sent);
        EXPECT_FALSE(requests[i].HasHeader("Icy-MetaData"));
    }
}

TEST_F(HttpStreamReaderTest, UsageErrors) {
    HTTPReader unopened(Url("x").c_str(), "");
    char b;
    const auto code = [](auto&& fn) -> std::pair<int, int> {
        try {
            fn();
        } catch (const player_exception& e) {
            return Code(e);
        }
        return {0, 0};
    };
    EXPECT_EQ(code([&] { unopened.Read(&b, 1); }), std::make_pair(3, 3));
    EXPECT_EQ(code([&] { unopened.GetResponseHeader("Content-Type"); }), std::make_pair(3, 3));
    EXPECT_EQ(code([&] { HTTPReader("http://127.0.0.1/\xC3(", "").Open(); }), std::make_pair(3, 2));
    EXPECT_EQ(code([&] { HTTPReader("http://exa mple.com/", "").Open(); }), std::make_pair(3, 4));
    EXPECT_EQ(code([&] { HTTPReader("no scheme at all", "").Open(); }), std::make_pair(3, 4));
}

TEST_F(HttpStreamReaderTest, TimeOutSettersAfterOpenChangeNothing) {
    Script("silent", {{"silent", true}});
    auto reader = Reader(Url("silent"));
    reader->Connect();
    reader->SetConnectionStartTimeout(1000.0f);
    reader->SetConnectionStaleTimeout(1000.0f);
    const Result r = Pull(*reader, 5.0);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(*r.error, std::make_pair(3, 14));
    EXPECT_LT(r.seconds, kShort + kSlack);
}

TEST_F(HttpStreamReaderTest, StopEndsAStalledReadPromptly) {
    Script("stall",
           {{"headers", QJsonArray{Header("Content-Type", "audio/mpeg")}}, {"size", 4000}, {"stall_after", 1000}});
    Script("silent", {{"silent", true}});
    for (const char* name : {"stall", "silent"}) {
        std::atomic<bool> stop{false};
        HTTPReader reader(Url(name).c_str(), "");
        reader.SetConnectionStartTimeout(30.0f);
        reader.SetConnectionStaleTimeout(30.0f);
        reader.SetStopFlag(&stop);
        reader.Connect();
        std::atomic<double> stoppedAt{0};
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            stoppedAt = std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
            stop = true;
        });
        bool quiet = false;
        try {
            if (std::string(name) == "silent") reader.GetResponseHeader("Content-Type");
            quiet = Pull(reader, 30.0).stopped;
        } catch (const Amp::stream_stopped&) {
            quiet = true;
        }
        const double now = std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
        stopper.join();
        EXPECT_TRUE(quiet) << name << ": the stop must end the reader without an error";
        EXPECT_LT(now - stoppedAt.load(), kSlack) << name;
    }
}

TEST_F(HttpStreamReaderTest, UnreachableNetworkEndsTheStream) {
    Script("stall",
           {{"headers", QJsonArray{Header("Content-Type", "audio/mpeg")}}, {"size", 4000}, {"stall_after", 1000}});
    SetMakerWebHost("127.0.0.1");
    auto& connectivity = SysNetworkConnectivity::sharedInstance();
    {
        // Before opening.
        connectivity.setForcedAnswerForTesting(false);
        auto reader = Reader(Url("stall"));
        try {
            reader->Connect();
            ADD_FAILURE() << "opened without a network";
        } catch (const player_exception& e) {
            EXPECT_EQ(Code(e), std::make_pair(3, 16));
        }
        EXPECT_TRUE(server.Requests(Path("stall")).empty());
    }
    {
        // While data is missing: checked at most once a second (counted from the open).
        connectivity.setForcedAnswerForTesting(true);
        HTTPReader reader(Url("stall").c_str(), "");
        reader.SetConnectionStaleTimeout(30.0f);
        const auto opened = Clock::now();
        reader.Connect();
        connectivity.setForcedAnswerForTesting(false);
        const Result r = Pull(reader, 10.0);
        const double seconds = std::chrono::duration<double>(Clock::now() - opened).count();
        ASSERT_TRUE(r.error.has_value());
        EXPECT_EQ(*r.error, std::make_pair(3, 16));
        EXPECT_GE(seconds, 0.99);
        EXPECT_LT(seconds, 1.5 + kSlack);
    }
}

}  // namespace
