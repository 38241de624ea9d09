#include "app/support/ResourceFetcher.h"
#include "app/support/ZYMHttpRequestor.h"

#include "SupportTestSupport.h"
#include "support/TestServer.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <ostream>

#include <functional>
#include <memory>
#include <optional>
#include <string>

using supporttest::RunUntil;
using zymtest::TestServer;

namespace {

struct Client : ResourceFetcherClient {
    int completions = 0;
    int failures = 0;
    QByteArray data;
    QString reason;
    QVariant context;
    std::function<void()> inside;

    void resourceFetchCompletedWithData(ResourceFetcher*, const QByteArray& d, const QVariant& c) override {
        ++completions;
        data = d;
        context = c;
        if (inside) inside();
    }
    void resourceFetchFailedWithReason(ResourceFetcher*, const QString& r, const QVariant& c) override {
        ++failures;
        reason = r;
        context = c;
        if (inside) inside();
    }
    int ends() const { return completions + failures; }
};

QString Url(const std::string& path) { return QString::fromStdString(TestServer::Get().Url(path)); }

struct FetchCase {
    const char* name;
    QJsonArray scripts;   // paths relative to the test's prefix
    std::string urlPath;  // relative to the prefix; a full URL when it has a scheme
    bool completes;
    QByteArray data;
    QString reasonPart;
    bool reachesServer;
};

void PrintTo(const FetchCase& c, std::ostream* os) { *os << c.name; }

class FetchCases : public ::testing::TestWithParam<FetchCase> {};

TEST_P(FetchCases, EndOnce) {
    const FetchCase& c = GetParam();
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    const QJsonArray scripts = supporttest::BelowPrefix(c.scripts, prefix);
    if (!scripts.isEmpty()) server.Script(scripts);
    QString url =
        c.urlPath.find(':') != std::string::npos ? QString::fromStdString(c.urlPath) : Url(prefix + c.urlPath);
    url.replace("{port}", QString::number(server.Port()));
    url.replace("{closed}", QString::number(TestServer::ClosedPort()));

    Client client;
    auto fetcher = ResourceFetcher::initWithURL(QUrl(url), QVariant("ctx"));
    std::weak_ptr<ResourceFetcher> weak = fetcher;
    fetcher->fetchResourceNotifyingClient(&client, true);
    EXPECT_EQ(client.ends(), 0);  // never inside the call
    fetcher.reset();              // the download keeps it alive
    ASSERT_TRUE(RunUntil([&] { return client.ends() > 0 && weak.expired(); }));
    EXPECT_EQ(client.ends(), 1);
    EXPECT_EQ(client.completions, c.completes ? 1 : 0);
    EXPECT_EQ(client.context, QVariant("ctx"));
    if (c.completes) {
        EXPECT_EQ(client.data, c.data);
    }
    if (!c.completes) {
        EXPECT_TRUE(client.reason.contains(c.reasonPart)) << client.reason.toStdString();
    }
    EXPECT_EQ(!server.Requests(prefix).empty(), c.reachesServer);
}

QJsonObject S(const char* path, QJsonObject o) {
    o["path"] = path;
    return o;
}

const FetchCase kFetchCases[] = {
    {"Picture", {S("art.jpg", {{"body", "JFIF bytes"}})}, "art.jpg", true, "JFIF bytes", {}, true},
    {"EmptyBody", {S("empty", {{"body", ""}})}, "empty", true, "", {}, true},
    {"OnlyTheLastResponsesBytes",
     {S("old", {{"status", 302}, {"headers", QJsonArray{QJsonArray{"Location", "new"}}}, {"body", "old page"}}),
      S("new", {{"body", "new bytes"}})},
     "old",
     true,
     "new bytes",
     {},
     true},
    {"ErrorStatusFails",
     {S("missing", {{"status", 404}, {"body", "<html>not found</html>"}})},
     "missing",
     false,
     {},
     "404",
     true},
    {"RefusedFails", {}, "http://127.0.0.1:{closed}/none", false, {}, "connect", false},
    {"FileSchemeNeverRequested", {}, "file:///etc/passwd", false, {}, "unsupported URL", false},
    {"OtherSchemeNeverRequested", {}, "ftp://127.0.0.1:{port}/x", false, {}, "unsupported URL", false},
    {"TooLargeFails",
     {S("huge", {{"size", ResourceFetcher::kMaxResourceSize + 1}, {"piece", 65536}})},
     "huge",
     false,
     {},
     "too large",
     true},
};

INSTANTIATE_TEST_SUITE_P(Loopback, FetchCases, ::testing::ValuesIn(kFetchCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ResourceFetcher, ClientDropsTheFetcherInsideCompletion) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)}, {"body", "art"}});
    Client client;
    auto fetcher = ResourceFetcher::initWithURL(QUrl(Url(prefix)));
    std::weak_ptr<ResourceFetcher> weak = fetcher;
    bool validInside = false;
    client.inside = [&] {
        fetcher.reset();
        validInside = !weak.expired() && weak.lock()->url() == QUrl(Url(prefix));
    };
    fetcher->fetchResourceNotifyingClient(&client, true);
    ASSERT_TRUE(RunUntil([&] { return client.ends() > 0; }));
    EXPECT_TRUE(validInside);
    EXPECT_TRUE(weak.expired());
}

TEST(ResourceFetcher, InvalidatedClientHearsNothingAndTheFetcherStillGoes) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)}, {"body", "art"}, {"delay_ms", 100}});
    Client client;
    auto fetcher = ResourceFetcher::initWithURL(QUrl(Url(prefix)), QVariant(7));
    std::weak_ptr<ResourceFetcher> weak = fetcher;
    fetcher->fetchResourceNotifyingClient(&client, false);
    fetcher->invalidateClient();
    fetcher.reset();
    ASSERT_TRUE(RunUntil([&] { return weak.expired(); }));
    EXPECT_EQ(server.Requests(prefix).size(), 1u);
    EXPECT_EQ(client.ends(), 0);
}

TEST(ResourceFetcher, CancelledFetchIsSilentAndFreed) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)}, {"stall_after_headers", true}});
    Client client;
    auto fetcher = ResourceFetcher::initWithURL(QUrl(Url(prefix)));
    std::weak_ptr<ResourceFetcher> weak = fetcher;
    fetcher->fetchResourceNotifyingClient(&client, true);
    ASSERT_TRUE(RunUntil([&] { return server.Requests(prefix).size() == 1; }));
    fetcher->cancelFetch();
    EXPECT_FALSE(fetcher->isFetching());
    fetcher.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(client.ends(), 0);
}

TEST(ResourceFetcher, SilenceTimesOut) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)}, {"stall_after", 10}, {"size", 100}});
    ResourceFetcher::setInactivityTimeoutForTesting(zymtest::Scaled(std::chrono::milliseconds(300)));
    Client client;
    auto fetcher = ResourceFetcher::initWithURL(QUrl(Url(prefix)));
    fetcher->fetchResourceNotifyingClient(&client, true);
    const bool ended = RunUntil([&] { return client.ends() > 0; });
    ResourceFetcher::setInactivityTimeoutForTesting(std::chrono::seconds(60));
    ASSERT_TRUE(ended);
    EXPECT_EQ(client.failures, 1);
    EXPECT_TRUE(client.reason.contains("timed out"));
    EXPECT_FALSE(fetcher->isFetching());
}

// The idle time-out restarts on every piece; a trickle is ended by the requestor's
// deadline and told as a time-out.
TEST(ResourceFetcher, ATrickleTimesOutAtTheDeadline) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)},
                              {"size", 600},
                              {"trickle", QJsonObject{{"bytes", 1}, {"interval_ms", 500}}}});
    ZYMHttpRequestor::setDefaultDeadlineForTesting(zymtest::Scaled(std::chrono::milliseconds(2000)));
    Client client;
    auto fetcher = ResourceFetcher::initWithURL(QUrl(Url(prefix)));
    fetcher->fetchResourceNotifyingClient(&client, true);
    ZYMHttpRequestor::setDefaultDeadlineForTesting(std::chrono::milliseconds(0));
    ASSERT_TRUE(RunUntil([&] { return client.ends() > 0; }, std::chrono::seconds(20)));
    EXPECT_EQ(client.failures, 1);
    EXPECT_TRUE(client.reason.contains("timed out")) << client.reason.toStdString();
}

}  // namespace

namespace {

// Without the cache the source is asked and nothing is kept; with it a fresh copy answers,
// later and with the context, as a download would.
TEST(ResourceFetcher, TheCacheAnswersOnlyWhenAllowed) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)},
                              {"body", "picture"},
                              {"headers", QJsonArray{QJsonArray{"Cache-Control", "max-age=600"}}}});
    ResourceFetcher::clearCache();
    const auto fetch = [&](bool usingCache) {
        Client client;
        auto fetcher = ResourceFetcher::initWithURL(QUrl(Url(prefix)), QVariant(usingCache ? 1 : 0));
        fetcher->fetchResourceNotifyingClient(&client, usingCache);
        EXPECT_EQ(client.ends(), 0);
        EXPECT_TRUE(RunUntil([&] { return client.ends() > 0; }));
        EXPECT_EQ(client.data, "picture");
        EXPECT_EQ(client.context, QVariant(usingCache ? 1 : 0));
        return server.Requests(prefix).size();
    };
    EXPECT_EQ(fetch(false), 1u);
    EXPECT_EQ(fetch(true), 2u) << "nothing was kept without the cache";
    EXPECT_EQ(fetch(true), 2u) << "the kept copy answers";
    EXPECT_EQ(fetch(false), 3u) << "without the cache the source is asked";
    ResourceFetcher::clearCache();
    EXPECT_EQ(fetch(true), 4u);
}

}  // namespace
