// The polled HTTP read stream against the local test server over real loopback sockets.

#include "platform/HttpReadStream.h"

#include "support/Env.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <QFile>

#include <chrono>
#include <string>
#include <vector>

using platform::ErrorNumber;
using platform::HttpReadStream;
using platform::ReadStreamStatus;
using zymtest::TestServer;

namespace {

struct Outcome {
    ReadStreamStatus status = ReadStreamStatus::Open;
    std::string body;
    bool timedOut = false;
};

// Reads until the stream leaves Open (or `limit` passes), the way the engine polls it.
Outcome Drain(HttpReadStream& s, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    Outcome out;
    const auto end = std::chrono::steady_clock::now() + limit;
    char buf[4096];
    while (std::chrono::steady_clock::now() < end) {
        out.status = s.Status();
        if (out.status != ReadStreamStatus::Open) return out;
        if (!s.HasBytesAvailable()) {
            s.Wait(std::chrono::milliseconds(10));
            continue;
        }
        const long n = s.Read(buf, sizeof buf);
        if (n > 0) out.body.append(buf, std::size_t(n));
    }
    out.timedOut = true;
    return out;
}

QJsonArray Header(const char* name, const char* value) { return QJsonArray{name, value}; }

std::string FileBytes(const std::string& rel) {
    QFile f(QString::fromStdString(zymtest::DataPath(rel)));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = char((i * 7 + 3) & 0xFF);
    return s;
}

class HttpReadStreamTest : public ::testing::Test {
protected:
    TestServer& server = TestServer::Get();
    std::string prefix = server.NewPrefix();

    std::string Path(const std::string& name) const { return prefix + name; }
    std::string Url(const std::string& name) const { return server.Url(prefix + name); }
    void Script(const std::string& name, QJsonObject script) {
        script["path"] = QString::fromStdString(prefix + name);
        server.Script(script);
    }
};

TEST_F(HttpReadStreamTest, FailuresCarryTheMacErrorNumbers) {
    Script("404", {{"status", 404},
                   {"reason", "Not Found"},
                   {"headers", QJsonArray{Header("Content-Type", "text/html")}},
                   {"body", "<html>gone</html>"}});
    Script("icy404", {{"status_line", "ICY 404 Resource Not Found"}, {"body", "gone"}});
    Script("reset-early", {{"reset_after", -1}});
    Script("reset-mid", {{"size", 200000}, {"reset_after", 5000}, {"piece", 1000}});
    Script("short", {{"size", 500}, {"content_length", 1000}});
    Script("chunk-cut", {{"size", 5000}, {"chunked", true}, {"close_after", 3000}});
    Script("ftp-hop", {{"kind", "redirect"}, {"to", "ftp://127.0.0.1/x"}});

    struct Case {
        const char* what;
        std::string url;
        ErrorNumber expected;
    } cases[] = {
        {"refused port", "http://127.0.0.1:" + std::to_string(TestServer::ClosedPort()) + "/x", {1, 61}},
        {"reset before the answer", Url("reset-early"), {1, 54}},
        {"reset mid-body", Url("reset-mid"), {1, 54}},
        {"body short of its Content-Length", Url("short"), {1, 54}},
        {"chunked body cut", Url("chunk-cut"), {1, 54}},
        {"unknown host", "http://nonexistent.invalid/x", {12, 8}},
        {"404", Url("404"), {4, -1}},
        {"ICY 404", Url("icy404"), {4, -1}},
        {"redirect to ftp", Url("ftp-hop"), {4, -3}},
        {"ftp URL", "ftp://127.0.0.1/x", {4, -3}},
        {"gopher URL", "gopher://127.0.0.1/x", {4, -3}},
    };
    for (const Case& c : cases) {
        HttpReadStream s(c.url, {});
        const bool opened = s.Open();
        const Outcome out = opened ? Drain(s) : Outcome{ReadStreamStatus::Error, {}, false};
        EXPECT_FALSE(out.timedOut) << c.what;
        EXPECT_EQ(out.status, ReadStreamStatus::Error) << c.what;
        EXPECT_EQ(s.Error(), c.expected) << c.what << ": got (" << s.Error().domain << ", " << s.Error().code << ")";
    }
}

TEST_F(HttpReadStreamTest, BytesBeforeAFailureAreHandedOutFirst) {
    Script("short", {{"size", 700}, {"content_length", 1000}});
    HttpReadStream s(Url("short"), {});
    ASSERT_TRUE(s.Open());
    const Outcome out = Drain(s);
    EXPECT_EQ(out.status, ReadStreamStatus::Error);
    EXPECT_TRUE(out.body == Pattern(700));
}

TEST_F(HttpReadStreamTest, FinishedBodyReadsZeroThenTurnsAtEnd) {
    Script("mp3", {{"file", "chirp-64k.mp3"}, {"headers", QJsonArray{Header("Content-Type", "audio/mpeg")}}});
    HttpReadStream s(Url("mp3"), {});
    ASSERT_TRUE(s.Open());
    std::string body;
    char buf[3000];
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    long n = 1;
    while (std::chrono::steady_clock::now() < end) {
        ASSERT_EQ(s.Status(), ReadStreamStatus::Open);
        if (!s.HasBytesAvailable()) {
            s.Wait(std::chrono::milliseconds(10));
            continue;
        }
        n = s.Read(buf, sizeof buf);
        if (n == 0) break;
        body.append(buf, std::size_t(n));
    }
    // The end shows as "bytes available" plus a read of 0; only then the status changes.
    EXPECT_EQ(n, 0);
    EXPECT_EQ(s.Status(), ReadStreamStatus::AtEnd);
    EXPECT_TRUE(body == FileBytes("streams/chirp-64k.mp3"));
    EXPECT_EQ(s.HttpStatus(), 200);
}

TEST_F(HttpReadStreamTest, AnswerForms) {
    const std::string aac = FileBytes("streams/chirp-64k.aac");
    Script("chunked", {{"file", "chirp-64k.aac"},
                       {"chunked", true},
                       {"piece", 777},
                       {"headers", QJsonArray{Header("Content-Type", "audio/aacp")}}});
    Script("icy", {{"status_line", "ICY 200 OK"},
                   {"content_length", false},
                   {"file", "chirp-64k.aac"},
                   {"headers", QJsonArray{Header("content-type", "AUDIO/AACP"), Header("icy-name", "Test")}}});
    Script("bare", {{"no_status", true}, {"file", "chirp-64k.aac"}});
    Script("noct", {{"status_line", "HTTP/1.0 200 OK"},
                    {"content_length", false},
                    {"body", "ICY 200 OK\r\ncontent-type: audio/mpeg\r\n\r\nDATA"}});

    struct Case {
        const char* what;
        std::string name;
        std::string contentType;  // "-" when the answer has no header block
        std::string body;
    } cases[] = {
        {"chunked", "chunked", "audio/aacp", aac},
        {"ICY status line", "icy", "AUDIO/AACP", aac},
        {"no status line at all", "bare", "-", aac},
        {"header lines inside the body", "noct", "", "ICY 200 OK\r\ncontent-type: audio/mpeg\r\n\r\nDATA"},
    };
    for (const Case& c : cases) {
        HttpReadStream s(Url(c.name), {});
        ASSERT_TRUE(s.Open()) << c.what;
        const Outcome out = Drain(s);
        EXPECT_EQ(out.status, ReadStreamStatus::AtEnd) << c.what;
        EXPECT_EQ(out.body.size(), c.body.size()) << c.what;
        EXPECT_TRUE(out.body == c.body) << c.what;
        const platform::HeaderFields* fields = s.ResponseHeaders();
        ASSERT_NE(fields, nullptr) << c.what;
        if (c.contentType == "-") {
            EXPECT_TRUE(fields->empty()) << c.what;
        } else {
            const auto it = fields->find("content-type");
            EXPECT_EQ(it == fields->end() ? "" : it->second, c.contentType) << c.what;
        }
    }
}

TEST_F(HttpReadStreamTest, RedirectsAtMostFiveHttpHops) {
    // hop0 -> hop1 -> ... -> hopN-1 -> end
    const auto chain = [&](const std::string& tag, int hops) {
        for (int i = 0; i < hops; ++i) {
            const std::string to = i + 1 < hops ? Path(tag + std::to_string(i + 1)) : Path(tag + "end");
            Script(tag + std::to_string(i), {{"kind", "redirect"},
                                             {"to", QString::fromStdString(to)},
                                             {"status", i % 2 ? 301 : 302},
                                             {"exact", true}});
        }
        Script(tag + "end", {{"body", "final"}, {"exact", true}});
    };
    chain("five", 5);
    chain("six", 6);
    {
        HttpReadStream s(Url("five0"), {});
        ASSERT_TRUE(s.Open());
        const Outcome out = Drain(s);
        EXPECT_EQ(out.status, ReadStreamStatus::AtEnd);
        EXPECT_EQ(out.body, "final");
    }
    {
        HttpReadStream s(Url("six0"), {});
        ASSERT_TRUE(s.Open());
        const Outcome out = Drain(s);
        EXPECT_EQ(out.status, ReadStreamStatus::Error);
        EXPECT_EQ(s.Error(), (ErrorNumber{4, -1}));
        EXPECT_TRUE(server.Requests(Path("sixend")).empty());
    }
}

TEST_F(HttpReadStreamTest, RequestCarriesOnlyTheGivenHeaders) {
    Script("s", {{"body", "x"}});
    HttpReadStream s(Url("s"), {{"User-Agent", "Agent/1.0 (test)"}, {"X-Bad", "a\r\nInjected: yes"}});
    ASSERT_TRUE(s.Open());
    Drain(s);
    const auto requests = server.Requests(Path("s"));
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.Header("user-agent"), "Agent/1.0 (test)");
    EXPECT_FALSE(r.HasHeader("Accept"));
    EXPECT_FALSE(r.HasHeader("Icy-MetaData"));
    EXPECT_FALSE(r.HasHeader("Injected"));
    EXPECT_EQ(r.Header("X-Bad"), "aInjected: yes");
}

TEST_F(HttpReadStreamTest, BufferStaysBoundedWhileNobodyReads) {
    constexpr std::size_t kSize = 3 * 1024 * 1024;
    Script("big", {{"size", int(kSize)}, {"piece", 65536}});
    HttpReadStream s(Url("big"), {});
    ASSERT_TRUE(s.Open());
    // Let the transfer run without reading; it must pause rather than buffer it all.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (s.BufferedBytes() < HttpReadStream::kBufferLimit && std::chrono::steady_clock::now() < end)
        s.Wait(std::chrono::milliseconds(10));
    for (int i = 0; i < 30; ++i)
        s.Wait(std::chrono::milliseconds(10));
    EXPECT_GE(s.BufferedBytes(), HttpReadStream::kBufferLimit);
    EXPECT_LE(s.BufferedBytes(), HttpReadStream::kBufferLimit + 64 * 1024);
    const Outcome out = Drain(s, std::chrono::seconds(30));
    EXPECT_EQ(out.status, ReadStreamStatus::AtEnd);
    EXPECT_EQ(out.body.size(), kSize);
    EXPECT_TRUE(out.body == Pattern(kSize));
}

TEST_F(HttpReadStreamTest, TlsVerificationFailuresCarrySecureTransportStatuses) {
    Script("s", {{"body", "secret"}});
    const struct {
        const char* variant;
        bool trustTestCa;
        ErrorNumber expected;  // (0, 0): the body arrives
    } cases[] = {
        {"valid", true, {0, 0}},           {"valid", false, {3, -9812}},    {"expired", true, {3, -9814}},
        {"notyetvalid", true, {3, -9815}}, {"wronghost", true, {3, -9843}}, {"selfsigned", true, {3, -9813}},
    };
    for (const auto& c : cases) {
        const auto [port, ca] = server.StartTls(c.variant);
        platform::SetTestCaFile(c.trustTestCa ? ca : "");
        HttpReadStream s("https://127.0.0.1:" + std::to_string(port) + Path("s"), {});
        const Outcome out = s.Open() ? Drain(s) : Outcome{ReadStreamStatus::Error, {}, false};
        if (c.expected == ErrorNumber{0, 0}) {
            EXPECT_EQ(out.status, ReadStreamStatus::AtEnd) << c.variant;
            EXPECT_EQ(out.body, "secret") << c.variant;
        } else {
            EXPECT_EQ(out.status, ReadStreamStatus::Error) << c.variant;
            EXPECT_EQ(s.Error(), c.expected) << c.variant << (c.trustTestCa ? "" : " (untrusted CA)") << ": got ("
                                             << s.Error().domain << ", " << s.Error().code << ")";
            EXPECT_TRUE(out.body.empty()) << c.variant;
        }
    }
    platform::SetTestCaFile("");
}

TEST_F(HttpReadStreamTest, CloseThenStatusIsClosed) {
    Script("stall", {{"stall_after_headers", true}});
    HttpReadStream s(Url("stall"), {});
    ASSERT_TRUE(s.Open());
    s.Close();
    EXPECT_EQ(s.Status(), ReadStreamStatus::Closed);
    char c;
    EXPECT_EQ(s.Read(&c, 1), -1);
}

}  // namespace

namespace {

TEST(ResponseHeaderCollector, KeepsOnlyTheFinalBlock) {
    using platform::ResponseHeaderCollector;
    const struct {
        const char* what;
        std::vector<const char*> lines;
        long status;
        bool complete;
        platform::HeaderFields fields;
    } cases[] = {
        {"plain",
         {"HTTP/1.1 200 OK\r\n", "Content-Type: audio/mpeg\r\n", "\r\n"},
         200,
         true,
         {{"content-type", "audio/mpeg"}}},
        {"names lower-cased, values trimmed",
         {"HTTP/1.0 200 OK\r\n", "CONTENT-type:\t AUDIO/AACP  \r\n", "\r\n"},
         200,
         true,
         {{"content-type", "AUDIO/AACP"}}},
        {"interim 100 first",
         {"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 200 OK\r\n", "A: 1\r\n", "\r\n"},
         200,
         true,
         {{"a", "1"}}},
        {"followed redirect dropped",
         {"HTTP/1.1 302 Found\r\n", "Location: /b\r\n", "X-Old: 1\r\n", "\r\n", "HTTP/1.1 200 OK\r\n", "B: 2\r\n",
          "\r\n"},
         200,
         true,
         {{"b", "2"}}},
        {"302 without Location is final", {"HTTP/1.1 302 Found\r\n", "\r\n"}, 302, true, {}},
        {"ICY status", {"ICY 200 OK\r\n", "icy-name: x\r\n", "\r\n"}, 200, true, {{"icy-name", "x"}}},
        {"folded line", {"HTTP/1.1 200 OK\r\n", "A: one\r\n", "  two\r\n", "\r\n"}, 200, true, {{"a", "one two"}}},
        {"junk lines ignored", {"HTTP/1.1 200 OK\r\n", "no colon here\r\n", ": empty name\r\n", "\r\n"}, 200, true, {}},
        {"trailers change nothing",
         {"HTTP/1.1 200 OK\r\n", "A: 1\r\n", "\r\n", "Trailer-Field: t\r\n", "\r\n"},
         200,
         true,
         {{"a", "1"}}},
        {"unfinished block", {"HTTP/1.1 200 OK\r\n", "A: 1\r\n"}, 200, false, {}},
        {"status line without code", {"HTTP/1.1\r\n", "\r\n"}, 0, true, {}},
    };
    for (const auto& c : cases) {
        ResponseHeaderCollector h;
        for (const char* line : c.lines)
            h.Feed(line);
        EXPECT_EQ(h.Status(), c.status) << c.what;
        EXPECT_EQ(h.Complete(), c.complete) << c.what;
        if (c.complete) {
            EXPECT_EQ(h.Fields(), c.fields) << c.what;
        }
    }
}

}  // namespace
