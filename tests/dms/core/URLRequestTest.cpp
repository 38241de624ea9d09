// The HTTP transport under the SOAP layer, against the local test server.

#include "dms/core/DMURLRequestLinux.h"

#include "WebServiceTestSupport.h"
#include "runtime/LogMessage.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <zlib.h>

#include <memory>

using namespace wstest;

namespace {

struct Listener : DMURLRequestListener {
    int finished = 0;
    int failed = 0;
    std::string body;
    int domain = 0;
    int code = 0;
    std::vector<std::pair<int, int>> uploads;
    std::vector<std::pair<int, int>> downloads;
    std::function<void()> onFinal;

    void URLRequestDidFinish(const std::string& b) override {
        ++finished;
        body = b;
        if (onFinal) onFinal();
    }
    void URLRequestDidFail(int d, int e) override {
        ++failed;
        domain = d;
        code = e;
        if (onFinal) onFinal();
    }
    void URLRequestUploadProgress(int sent, int total) override { uploads.emplace_back(sent, total); }
    void URLRequestDownloadProgress(int received, int total) override { downloads.emplace_back(received, total); }
    bool Done() const { return finished + failed > 0; }
};

std::string Gzip(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(data.size() + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

QString B64(const std::string& s) { return QString::fromLatin1(QByteArray::fromStdString(s).toBase64()); }

class URLRequestTest : public WebServiceTest {
protected:
    std::unique_ptr<DMURLRequestLinux> Post(const std::string& url, Listener& l, const std::string& body = "x",
                                            bool progress = false) {
        std::unique_ptr<DMURLRequestLinux> r(DMURLRequestLinux::Create(url));
        r->SetMethod("POST");
        r->SetBody(body);
        r->SetListener(&l);
        r->SetProgressTimerEnabled(progress);
        r->Send();
        return r;
    }
};

TEST_F(URLRequestTest, LengthAndGzipHeadersAreTheTransportsWhateverTheCallerSet) {
    Script("h", {{"body", "ok"}});
    Listener l;
    std::unique_ptr<DMURLRequestLinux> r(DMURLRequestLinux::Create(Url("h")));
    r->SetMethod("POST");
    r->SetBody(std::string(1234, 'b'));
    r->SetHeader("Content-Length", "5");
    r->SetHeader("accept-encoding", "identity");
    r->SetHeader("User-Agent", "Maker_Player_1.0");
    r->SetListener(&l);
    r->Send();
    EXPECT_FALSE(l.Done()) << "no callback inside Send";
    ASSERT_TRUE(RunUntil([&] { return l.Done(); }));
    EXPECT_EQ(l.body, "ok");
    const auto reqs = server.Requests(prefix);
    ASSERT_EQ(reqs.size(), 1u);
    const auto& q = reqs[0];
    EXPECT_EQ(q.method, "POST");
    EXPECT_EQ(q.version, "HTTP/1.1");
    EXPECT_EQ(q.Header("Content-Length"), "1234");
    EXPECT_EQ(q.Header("Accept-Encoding"), "gzip");
    EXPECT_EQ(q.Header("User-Agent"), "Maker_Player_1.0");
    EXPECT_FALSE(q.HasHeader("Expect"));
    EXPECT_FALSE(q.HasHeader("Accept"));
    int acceptEncodings = 0;
    for (const auto& [name, value] : q.headers)
        if (QString::fromStdString(name).compare("Accept-Encoding", Qt::CaseInsensitive) == 0) ++acceptEncodings;
    EXPECT_EQ(acceptEncodings, 1);
    EXPECT_EQ(q.body.size(), 1234u);
}

TEST_F(URLRequestTest, ResponsesAreJudgedByStatusAndInflatedWhenGzip) {
    const std::string text = "<r>" + std::string(3000, 'z') + "</r>";
    const std::string gz = Gzip(text);
    std::string corrupt = gz;
    corrupt[corrupt.size() / 2] ^= 0x55;
    const std::string deflated = [&] {
        uLongf n = compressBound(static_cast<uLong>(text.size()));
        std::string out(n, '\0');
        compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(text.data()),
                 static_cast<uLong>(text.size()));
        out.resize(n);
        return out;
    }();
    auto enc = [](const char* e) { return QJsonArray{QJsonArray{"Content-Encoding", e}}; };
    Script("gzip", {{"headers", enc("gzip")}, {"body_b64", B64(gz)}});
    Script("GZIP", {{"headers", enc("GZIP")}, {"body_b64", B64(gz)}});
    Script("corrupt", {{"headers", enc("gzip")}, {"body_b64", B64(corrupt)}});
    Script("deflate", {{"headers", enc("deflate")}, {"body_b64", B64(deflated)}});
    Script("302", {{"status", 302}, {"reason", "Found"}, {"body", "<html>moved</html>"}});
    Script("407", {{"status", 407}, {"body", "proxy"}});
    Script("500", {{"status", 500}, {"body", "<soap/>"}});
    Script("404", {{"status", 404}, {"body", "gone"}});
    Script("207", {{"status", 207}, {"body", "multi"}});
    Script("empty", {{"body", ""}});

    struct Case {
        const char* what;
        std::string url;
        bool finishes;
        std::string body;  // on finish
        int domain, code;  // on failure
    } cases[] = {
        {"gzip inflated", Url("gzip"), true, text, 0, 0},
        {"GZIP in upper case inflated", Url("GZIP"), true, text, 0, 0},
        {"corrupt gzip delivered raw", Url("corrupt"), true, corrupt, 0, 0},
        {"deflate delivered raw", Url("deflate"), true, deflated, 0, 0},
        {"302 finishes", Url("302"), true, "<html>moved</html>", 0, 0},
        {"407 finishes", Url("407"), true, "proxy", 0, 0},
        {"empty 200 finishes", Url("empty"), true, "", 0, 0},
        {"500 fails", Url("500"), false, "", 100, 500},
        {"404 fails", Url("404"), false, "", 100, 404},
        {"207 fails", Url("207"), false, "", 100, 207},
        {"refused port", RefusedUrl(), false, "", 1, 61},
        {"unknown host", "http://nonexistent.invalid/soap", false, "", 12, 8},
        {"unsupported scheme", "ftp://127.0.0.1/x", false, "", 4, -3},
    };
    for (const Case& c : cases) {
        Listener l;
        auto r = Post(c.url, l);
        ASSERT_TRUE(RunUntil([&] { return l.Done(); })) << c.what;
        RunFor(20);
        EXPECT_EQ(l.finished + l.failed, 1) << c.what;
        if (c.finishes) {
            EXPECT_EQ(l.finished, 1) << c.what << ": failed (" << l.domain << ", " << l.code << ")";
            EXPECT_TRUE(l.body == c.body) << c.what << ": got " << l.body.size() << " bytes";
        } else {
            EXPECT_EQ(l.failed, 1) << c.what;
            EXPECT_EQ(l.domain, c.domain) << c.what;
            EXPECT_EQ(l.code, c.code) << c.what;
        }
    }
}

TEST_F(URLRequestTest, TimeOutMeasuresSilenceNotTheWholeExchange) {
    DMURLRequestLinux::SetTestTimeout(zymtest::Scaled(1.0));
    Script("stall", {{"stall_after_headers", true}});
    Script("silent", {{"silent", true}});
    // 12 bytes, one every 150 ms: 1.8 s in all, longer than the time-out.
    Script("drip", {{"body", "dripdripdrip"}, {"trickle", QJsonObject{{"bytes", 1}, {"interval_ms", 150}}}});
    for (const char* name : {"stall", "silent"}) {
        Listener l;
        auto r = Post(Url(name), l);
        ASSERT_TRUE(RunUntil([&] { return l.Done(); })) << name;
        EXPECT_EQ(l.failed, 1) << name;
        EXPECT_EQ(l.domain, 101) << name;
        EXPECT_EQ(l.code, 1) << name;
    }
    Listener drip;
    auto r = Post(Url("drip"), drip);
    ASSERT_TRUE(RunUntil([&] { return drip.Done(); }));
    EXPECT_EQ(drip.finished, 1) << "failed (" << drip.domain << ", " << drip.code << ")";
    EXPECT_EQ(drip.body, "dripdripdrip");
    DMURLRequestLinux::SetTestTimeout(0);
}

// A server that sends a valid head and then one byte a second never falls silent long
// enough for the idle time-out; the whole-exchange deadline ends it all the same.
TEST_F(URLRequestTest, AnAnswerThatTricklesInEndsAtTheDeadline) {
    DMURLRequestLinux::SetTestDeadline(zymtest::Scaled(2.0));
    Script("trickle", {{"headers", QJsonArray{QJsonArray{"Content-Type", "text/xml"}}},
                       {"body", std::string(600, 'x').c_str()},
                       {"trickle", QJsonObject{{"bytes", 1}, {"interval_ms", 1000}}}});
    Listener l;
    const auto start = std::chrono::steady_clock::now();
    auto r = Post(Url("trickle"), l);
    ASSERT_TRUE(RunUntil([&] { return l.Done(); }, 20000));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(l.failed, 1);
    EXPECT_EQ(l.domain, 101);
    EXPECT_EQ(l.code, 1);
    EXPECT_GE(seconds, 1.5);
    EXPECT_LT(seconds, zymtest::Scaled(10.0));
    DMURLRequestLinux::SetTestDeadline(0);
}

// A huge answer (a 60 MB one made a 63 MB log before sign-on) reaches the log only at the
// trace verbosity, above the default one, and then cut to a few kilobytes; a failed
// exchange's body likewise.
TEST_F(URLRequestTest, BodiesReachTheLogCutAndOnlyAtTheTraceVerbosity) {
    Script("big", {{"size", 3000000}});
    Script("bigfail", {{"size", 3000000}, {"close_after", 2000000}, {"content_length", 3000000}});
    QTemporaryDir dir;
    const std::string log = dir.filePath("ws.log").toStdString();
    for (int level : {kLogInfo, kLogDebug, kLogTrace}) {
        SCOPED_TRACE(level);
        InitLogFile(log.c_str(), level, 0);
        for (const char* name : {"big", "bigfail"}) {
            Listener l;
            auto r = Post(Url(name), l, std::string(100000, 'q'));
            ASSERT_TRUE(RunUntil([&] { return l.Done(); })) << name;
        }
        const qint64 size = QFileInfo(QString::fromStdString(log)).size();
        QFile file(QString::fromStdString(log));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        // Below the trace level only the exchanges' one-line events (as many as the answer
        // came in pieces, which a busy machine makes more of); at it, bodies cut to 4 KB.
        EXPECT_LT(size, 256 * 1024);
        EXPECT_EQ(text.contains(QByteArray(64, 'q')), level == kLogTrace);
        EXPECT_FALSE(text.contains(QByteArray(5 * 1024, 'q'))) << "a body was not cut";
    }
    InitLogFile(nullptr, kLogError, 0);
}

TEST(URLRequestDeadlineTest, DefaultIsFiveMinutesPlusASecondPer32KB) {
    EXPECT_EQ(DMURLRequestDefaultDeadline(0), 300.0);
    EXPECT_EQ(DMURLRequestDefaultDeadline(32 * 1024 - 1), 300.0);
    EXPECT_EQ(DMURLRequestDefaultDeadline(10 * 1024 * 1024), 620.0);
}

TEST_F(URLRequestTest, ProgressOnlyWhenEnabledAndStartingFromZero) {
    Script("p", {{"size", 50000}, {"piece", 5000}, {"rate", 200000}});
    Listener off;
    auto a = Post(Url("p"), off, std::string(3000, 'u'), false);
    ASSERT_TRUE(RunUntil([&] { return off.Done(); }));
    EXPECT_TRUE(off.uploads.empty());
    EXPECT_TRUE(off.downloads.empty());

    Listener on;
    auto b = Post(Url("p"), on, std::string(3000, 'u'), true);
    ASSERT_TRUE(RunUntil([&] { return on.Done(); }));
    ASSERT_EQ(on.finished, 1);
    ASSERT_GE(on.uploads.size(), 2u);
    EXPECT_EQ(on.uploads.front(), (std::pair<int, int>{0, 3000}));
    EXPECT_EQ(on.uploads.back(), (std::pair<int, int>{3000, 3000}));
    ASSERT_GE(on.downloads.size(), 2u);
    EXPECT_EQ(on.downloads.front(), (std::pair<int, int>{0, 50000}));
    EXPECT_EQ(on.downloads.back(), (std::pair<int, int>{50000, 50000}));
    for (std::size_t i = 1; i < on.downloads.size(); ++i)
        EXPECT_GT(on.downloads[i].first, on.downloads[i - 1].first);
}

TEST_F(URLRequestTest, CancelIsSilentAndDeletingInsideTheReportIsSafe) {
    Script("slow", {{"body", "late"}, {"delay_ms", 300}});
    Listener cancelled;
    auto r = Post(Url("slow"), cancelled);
    r->Cancel();
    RunFor(600);
    EXPECT_FALSE(cancelled.Done());

    Listener l;
    std::unique_ptr<DMURLRequestLinux> owned(DMURLRequestLinux::Create(Url("slow")));
    owned->SetMethod("POST");
    owned->SetListener(&l);
    owned->SetProgressTimerEnabled(true);
    l.onFinal = [&] { owned.reset(); };
    owned->Send();
    ASSERT_TRUE(RunUntil([&] { return l.Done(); }));
    EXPECT_EQ(l.body, "late");
    EXPECT_EQ(owned, nullptr);
}

TEST(URLRequestUrlParts, HostAndLastPathSegment) {
    struct Case {
        const char* url;
        const char* hostWithPort;
        const char* host;
        const char* last;
    } cases[] = {
        {"http://example.com:5201/soap/Service", "example.com:5201", "example.com", "/Service"},
        {"https://example.com/", "example.com", "example.com", ""},
        {"http://example.com:5201/", "example.com:5201", "example.com", ""},
        {"http://example.com", "example.com", "example.com", "/example.com"},
        {"http://user:pw@example.com:81/a", "example.com:81", "example.com", "/a"},
        {"http://example.com?cid=a/b", "example.com", "example.com", "/b"},
        {"http://[::1]:8080/x", "[::1]:8080", "[::1]", "/x"},
        {"no-slashes", "", "", ""},
        {"http:/", "", "", ""},
    };
    for (const Case& c : cases) {
        std::unique_ptr<DMURLRequestLinux> r(DMURLRequestLinux::Create(c.url));
        EXPECT_EQ(r->GetHost(true), c.hostWithPort) << c.url;
        EXPECT_EQ(r->GetHost(false), c.host) << c.url;
        EXPECT_EQ(r->GetLastPathSegment(), c.last) << c.url;
    }
}

TEST(URLRequestRedaction, SecretsNeverReachTheLogInClear) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"<a><wsse:Security xmlns:wsse=\"u\"><saml:Assertion ID=\"x\">T0P</saml:Assertion></wsse:Security></a>",
         "<a><wsse:Security xmlns:wsse=\"u\">[redacted]</wsse:Security></a>"},
        {"<sa:Data>AHVzZXIAcGFzcw==</sa:Data><b>kept</b>", "<sa:Data>[redacted]</sa:Data><b>kept</b>"},
        {"<Credentials><Credentials>in</Credentials>x</Credentials>y", "<Credentials>[redacted]</Credentials>y"},
        {"<Security/><b>kept</b>", "<Security/><b>kept</b>"},
        {"<DataSet>kept</DataSet>", "<DataSet>kept</DataSet>"},
        {"<Security>cut off", "<Security>[redacted]"},
        {"<Security a='>'>s</Security>", "<Security a='>'>[redacted]</Security>"},
        {"plain text", "plain text"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DMRedactForLog(c.in), c.out) << c.in;
    EXPECT_EQ(DMRedactForLog("abcdefgh", 4), "abcd...[truncated]");
}

}  // namespace
