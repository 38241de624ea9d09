// The run-loop-driven curl transfers against the local test server over loopback.

#include "platform/CurlMultiDriver.h"

#include "platform/HttpReadStream.h"
#include "platform/RunLoop.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <QJsonArray>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using platform::CurlTransfer;
using platform::ErrorNumber;
using platform::HttpRequestSpec;
using platform::HttpTransferListener;
using platform::RunLoop;
using zymtest::TestServer;

namespace {

struct Recorder final : HttpTransferListener {
    int activity = 0;
    int completions = 0;
    ErrorNumber error{-1, -1};
    bool insideStart = false;
    bool calledInsideStart = false;
    std::function<void()> onComplete;

    void OnTransferActivity() override {
        ++activity;
        if (insideStart) calledInsideStart = true;
    }
    void OnTransferComplete(ErrorNumber e) override {
        ++completions;
        error = e;
        if (insideStart) calledInsideStart = true;
        if (onComplete) onComplete();
    }
};

bool RunUntil(const std::function<bool()>& done, int ms = 10000) {
    return RunLoop::Current().RunUntil(done, std::chrono::milliseconds(ms));
}

class CurlMultiDriverTest : public ::testing::Test {
protected:
    TestServer& server = TestServer::Get();
    std::string prefix = server.NewPrefix();

    std::string Url(const std::string& name) const { return server.Url(prefix + name); }
    void Script(const std::string& name, QJsonObject script) {
        script["path"] = QString::fromStdString(prefix + name);
        server.Script(script);
    }
};

TEST_F(CurlMultiDriverTest, PostSendsExactlyTheGivenHeadersAndKeepsTheBodyUndecoded) {
    // A gzip body must come back as the bytes sent: the SOAP layer inflates it itself.
    const std::string gz("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00", 20);
    Script("post", {{"headers", QJsonArray{QJsonArray{"Content-Encoding", "gzip"}}},
                    {"body_b64", QString::fromLatin1(QByteArray::fromStdString(gz).toBase64())}});
    HttpRequestSpec spec;
    spec.method = "POST";
    spec.url = Url("post");
    spec.headers = {{"Content-Type", "text/xml"}, {"X-Empty", ""}, {"X-One", "1"}};
    spec.suppressedHeaders = {"Accept", "Expect"};
    spec.body = std::string(1100 * 1024, 'x');  // above 1 MB, where curl would wait for 100-continue
    Recorder r;
    CurlTransfer t(spec, &r);
    r.insideStart = true;
    t.Start();
    r.insideStart = false;
    ASSERT_TRUE(RunUntil([&] { return r.completions > 0; }));
    EXPECT_FALSE(r.calledInsideStart);
    EXPECT_EQ(r.error, (ErrorNumber{0, 0}));
    EXPECT_EQ(t.GetStatusCode(), 200);
    EXPECT_EQ(t.GetResponseBody(), gz);
    EXPECT_EQ(t.GetResponseHeader("content-encoding"), "gzip");
    EXPECT_EQ(t.GetBytesSent(), static_cast<std::int64_t>(spec.body.size()));
    EXPECT_GT(r.activity, 0);

    const auto requests = server.Requests(prefix);
    ASSERT_EQ(requests.size(), 1u);
    const auto& req = requests[0];
    EXPECT_EQ(req.version, "HTTP/1.1");
    EXPECT_EQ(req.body.size(), spec.body.size());
    EXPECT_FALSE(req.HasHeader("Expect"));
    EXPECT_FALSE(req.HasHeader("Accept"));
    EXPECT_FALSE(req.HasHeader("Accept-Encoding"));
    EXPECT_EQ(req.Header("X-One"), "1");
    EXPECT_TRUE(req.HasHeader("X-Empty"));
    EXPECT_EQ(req.Header("X-Empty"), "");
    EXPECT_EQ(req.Header("Content-Type"), "text/xml");
}

TEST_F(CurlMultiDriverTest, FailuresArriveLaterInTheProgramsNumbering) {
    Script("close", {{"silent", false}, {"reset_after", -1}});
    struct Case {
        const char* what;
        std::string url;
        ErrorNumber expected;
    } cases[] = {
        {"refused port", "http://127.0.0.1:" + std::to_string(TestServer::ClosedPort()) + "/x", {1, 61}},
        {"unknown host", "http://nonexistent.invalid/x", {12, 8}},
        {"ftp scheme", "ftp://127.0.0.1/x", {4, -3}},
        {"file scheme", "file:///etc/passwd", {4, -3}},
        {"reset before the answer", Url("close"), {1, 54}},
    };
    for (const Case& c : cases) {
        Recorder r;
        HttpRequestSpec spec;
        spec.url = c.url;
        CurlTransfer t(spec, &r);
        r.insideStart = true;
        t.Start();
        r.insideStart = false;
        ASSERT_TRUE(RunUntil([&] { return r.completions > 0; })) << c.what;
        EXPECT_FALSE(r.calledInsideStart) << c.what;
        EXPECT_EQ(r.completions, 1) << c.what;
        EXPECT_EQ(r.error, c.expected) << c.what << ": (" << r.error.domain << ", " << r.error.code << ")";
    }
}

TEST_F(CurlMultiDriverTest, CancelAndDeleteInsideCallbacksAreSilentAndSafe) {
    Script("slow", {{"size", 200000}, {"trickle", QJsonObject{{"bytes", 1000}, {"interval_ms", 5}}}});
    Script("ok", {{"body", "fine"}});

    // Cancelled mid-transfer: nothing more is heard.
    {
        Recorder r;
        HttpRequestSpec spec;
        spec.url = Url("slow");
        CurlTransfer t(spec, &r);
        t.Start();
        ASSERT_TRUE(RunUntil([&] { return t.GetBytesReceived() > 0; }));
        t.Cancel();
        const int before = r.activity;
        RunLoop::Current().RunFor(std::chrono::milliseconds(200));
        EXPECT_EQ(r.completions, 0);
        EXPECT_EQ(r.activity, before);
    }
    // Deleted from inside its own completion, with a second transfer started there too.
    {
        Recorder r;
        Recorder second;
        HttpRequestSpec spec;
        spec.url = Url("ok");
        auto first = std::make_unique<CurlTransfer>(spec, &r);
        std::unique_ptr<CurlTransfer> next;
        r.onComplete = [&] {
            first.reset();
            next = std::make_unique<CurlTransfer>(spec, &second);
            next->Start();
        };
        first->Start();
        ASSERT_TRUE(RunUntil([&] { return second.completions > 0; }));
        EXPECT_EQ(r.completions, 1);
        EXPECT_EQ(second.error, (ErrorNumber{0, 0}));
        EXPECT_EQ(next->GetResponseBody(), "fine");
    }
}

TEST_F(CurlMultiDriverTest, ManyTransfersRunTogetherOnOneLoop) {
    Script("a", {{"body", "alpha"}, {"delay_ms", 50}});
    std::vector<std::unique_ptr<Recorder>> recorders;
    std::vector<std::unique_ptr<CurlTransfer>> transfers;
    for (int i = 0; i < 8; ++i) {
        recorders.push_back(std::make_unique<Recorder>());
        HttpRequestSpec spec;
        spec.url = Url("a");
        transfers.push_back(std::make_unique<CurlTransfer>(spec, recorders.back().get()));
        transfers.back()->Start();
    }
    ASSERT_TRUE(RunUntil([&] {
        for (auto& r : recorders)
            if (r->completions == 0) return false;
        return true;
    }));
    for (auto& t : transfers)
        EXPECT_EQ(t->GetResponseBody(), "alpha");
}

TEST_F(CurlMultiDriverTest, CompletionsOfDeletedTransfersNeverReachTheirSuccessors) {
    // Transfers finishing in one pass: the first completion deletes the others and starts
    // new ones, which may reuse the freed handles. Each new one hears only its own end.
    Script("now", {{"body", "early"}, {"delay_ms", 50}});
    Script("later", {{"body", "late"}, {"delay_ms", 300}});
    constexpr int kCount = 8;
    std::vector<std::unique_ptr<Recorder>> firsts, seconds;
    std::vector<std::unique_ptr<CurlTransfer>> transfers;
    HttpRequestSpec later;
    later.url = Url("later");
    bool replaced = false;
    for (int i = 0; i < kCount; ++i) {
        firsts.push_back(std::make_unique<Recorder>());
        seconds.push_back(std::make_unique<Recorder>());
        firsts.back()->onComplete = [&, i] {
            if (replaced) return;
            replaced = true;
            for (int j = 0; j < kCount; ++j) {
                if (j == i || firsts[j]->completions > 0) continue;
                transfers[j] = std::make_unique<CurlTransfer>(later, seconds[j].get());
                transfers[j]->Start();
            }
        };
        HttpRequestSpec spec;
        spec.url = Url("now");
        transfers.push_back(std::make_unique<CurlTransfer>(spec, firsts.back().get()));
    }
    for (auto& t : transfers)
        t->Start();
    ASSERT_TRUE(RunUntil([&] {
        if (!replaced) return false;
        for (int j = 0; j < kCount; ++j)
            if (firsts[j]->completions == 0 && seconds[j]->completions == 0) return false;
        return true;
    }));
    for (int j = 0; j < kCount; ++j) {
        EXPECT_LE(firsts[j]->completions, 1) << j;
        if (seconds[j]->completions == 0) continue;
        EXPECT_EQ(seconds[j]->completions, 1) << j;
        EXPECT_EQ(firsts[j]->completions, 0) << j;
        EXPECT_EQ(seconds[j]->error, (ErrorNumber{0, 0})) << j;
        EXPECT_EQ(transfers[j]->GetResponseBody(), "late") << j;
    }
}

TEST_F(CurlMultiDriverTest, TlsIsVerifiedAndATestCaOnlyThroughTheHook) {
    Script("tls", {{"body", "secret"}});
    const auto [port, ca] = server.StartTls("valid");
    const std::string url = "https://127.0.0.1:" + std::to_string(port) + prefix + "tls";
    auto fetch = [&](Recorder& r) {
        HttpRequestSpec spec;
        spec.url = url;
        CurlTransfer t(spec, &r);
        t.Start();
        EXPECT_TRUE(RunUntil([&] { return r.completions > 0; }));
        return t.GetResponseBody();
    };
    Recorder untrusted;
    fetch(untrusted);
    EXPECT_EQ(untrusted.error.domain, 3);
    platform::SetTestCaFile(ca);
    Recorder trusted;
    EXPECT_EQ(fetch(trusted), "secret");
    EXPECT_EQ(trusted.error, (ErrorNumber{0, 0}));
    platform::SetTestCaFile("");
}

}  // namespace

namespace {

struct StreamRecorder final : HttpTransferListener {
    std::vector<std::size_t> pieces;
    std::string body;
    int completions = 0;
    bool dataAfterComplete = false;
    std::function<void()> onData;

    void OnTransferData(const char* data, std::size_t size) override {
        if (completions) dataAfterComplete = true;
        pieces.push_back(size);
        body.append(data, size);
        if (onData) onData();
    }
    void OnTransferComplete(ErrorNumber) override { ++completions; }
};

class StreamedTransferTest : public CurlMultiDriverTest {
protected:
    // A 50000-byte body sent in one write, streamed in pieces of `pieceSize`.
    HttpRequestSpec BigBody(std::size_t pieceSize) {
        Script("big", {{"size", 50000}, {"piece", 50000}});
        HttpRequestSpec spec;
        spec.url = Url("big");
        spec.streamBody = true;
        spec.bodyPieceSize = pieceSize;
        return spec;
    }
};

TEST_F(StreamedTransferTest, BodyArrivesInBoundedPiecesBeforeTheEnd) {
    const HttpRequestSpec spec = BigBody(3000);
    StreamRecorder r;
    CurlTransfer t(spec, &r);
    t.Start();
    ASSERT_TRUE(RunUntil([&] { return r.completions > 0; }));
    EXPECT_FALSE(r.dataAfterComplete);
    EXPECT_EQ(r.body.size(), 50000u);
    for (std::size_t piece : r.pieces)
        EXPECT_LE(piece, 3000u);
    EXPECT_TRUE(t.GetResponseBody().empty());
}

TEST_F(StreamedTransferTest, DeletingTheTransferInsideItsDataStopsIt) {
    const HttpRequestSpec spec = BigBody(1000);
    StreamRecorder r;
    auto t = std::make_unique<CurlTransfer>(spec, &r);
    r.onData = [&] { t.reset(); };
    t->Start();
    ASSERT_TRUE(RunUntil([&] { return !t; }));
    // Whatever else was pending for it is dropped; a second transfer shows the loop went on.
    Script("small", {{"body", "x"}});
    HttpRequestSpec next;
    next.url = Url("small");
    Recorder done;
    CurlTransfer other(next, &done);
    other.Start();
    ASSERT_TRUE(RunUntil([&] { return done.completions > 0; }));
    EXPECT_EQ(r.pieces.size(), 1u);
    EXPECT_EQ(r.completions, 0);
}

TEST_F(CurlMultiDriverTest, RequestTargetAndProxyAreSentAsGiven) {
    Script("p/x", {{"body", "ok"}});
    HttpRequestSpec spec;
    spec.url = "http://radio.example.invalid" + prefix + "p/x?q=1";
    spec.proxy = "http://127.0.0.1:" + std::to_string(server.Port());
    Recorder r;
    CurlTransfer t(spec, &r);
    t.Start();
    ASSERT_TRUE(RunUntil([&] { return r.completions > 0; }));
    EXPECT_EQ(t.GetResponseBody(), "ok");

    HttpRequestSpec direct;
    direct.url = Url("p/x");
    direct.requestTarget = "http://elsewhere" + prefix + "p/x;v?a=b";
    Recorder r2;
    CurlTransfer t2(direct, &r2);
    t2.Start();
    ASSERT_TRUE(RunUntil([&] { return r2.completions > 0; }));

    const auto requests = server.Requests(prefix + "p/x");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, spec.url);
    EXPECT_EQ(requests[1].target, direct.requestTarget);
    EXPECT_EQ(requests[1].path, prefix + "p/x;v");
    EXPECT_EQ(requests[1].query, "a=b");
}

}  // namespace
