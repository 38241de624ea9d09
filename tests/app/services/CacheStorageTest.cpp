// The cache files of the core's data caches: names, reading, writing, and files that
// cannot be trusted.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <string>

#include "../foundation/AppTestSupport.h"
#include "app/foundation/PropertyList.h"
#include "app/services/ZYMCacheStorage.h"

namespace {

constexpr const char* kRadioURN = "urn:zym-com:services:radio:3.0";

class CacheStorageTest : public ::testing::Test {
protected:
    std::unique_ptr<ZYMCacheStorage> Storage(const std::string& name, const std::string& key) {
        return std::make_unique<ZYMCacheStorage>(name, key, root_.path());
    }
    QString FileOf(const QString& folder, const QString& file) const {
        return root_.filePath(folder + QLatin1Char('/') + file + QStringLiteral(".cache"));
    }
    void WriteFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QTemporaryDir root_;
};

TEST_F(CacheStorageTest, NamesAreSanitizedIntoTheFolderAndFile) {
    struct Row {
        const char* key;
        const char* name;
        const char* path;  // below the root
    };
    const Row rows[] = {
        {"janedoe", kRadioURN, "janedoe/urn_zym-com_services_radio_3.0.cache"},
        {"a:b/c", "n", "a_b_c/n.cache"},
        {"a::b", "n", "a_b/n.cache"},
        {"a\\/:b", "n", "a_b/n.cache"},
        {":lead", "trail/", "_lead/trail_.cache"},
        {"x.y", "..n", "x.y/..n.cache"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(Storage(row.name, row.key)->filePath(), root_.filePath(QLatin1String(row.path)));
    }
}

TEST_F(CacheStorageTest, GetSetRemoveClearAndFlush) {
    auto s = Storage(kRadioURN, "janedoe");
    std::string out = "old text";
    EXPECT_FALSE(s->Get("missing", out));
    EXPECT_EQ(out, "");
    s->Set("k", "v\xC3\xA9");
    s->Set("k", "w\xC3\xA9");
    ASSERT_TRUE(s->Get("k", out));
    EXPECT_EQ(out, "w\xC3\xA9");
    EXPECT_TRUE(s->Remove("k"));
    EXPECT_TRUE(s->Remove("never there"));
    EXPECT_FALSE(s->Get("k", out));
    // Nothing reaches the disk before a flush.
    s->Set("k", "v");
    EXPECT_FALSE(QFile::exists(*s->filePath()));
    s->Flush();
    ASSERT_TRUE(QFile::exists(*s->filePath()));
    // Clear then Flush writes an empty dictionary.
    s->Clear();
    s->Flush();
    EXPECT_EQ(PropertyList::readFile(*s->filePath()), QVariant(QVariantMap{}));
}

TEST_F(CacheStorageTest, FlushedCacheIsReadAfterARestart) {
    {
        auto s = Storage(kRadioURN, "janedoe");
        s->Set("service_url_cache_item_key", "http://127.0.0.1/svc");
        s->Set("Stations", "<Station id=\"1\"/>");
        s->Flush();
    }
    auto again = Storage(kRadioURN, "janedoe");
    std::string out;
    ASSERT_TRUE(again->Get("Stations", out));
    EXPECT_EQ(out, "<Station id=\"1\"/>");
    ASSERT_TRUE(again->Get("service_url_cache_item_key", out));
    EXPECT_EQ(out, "http://127.0.0.1/svc");
}

TEST_F(CacheStorageTest, TwoStoragesOfOneUserShareTheFileAndTheLastFlushWins) {
    auto a = Storage(kRadioURN, "janedoe");
    auto b = Storage(kRadioURN, "janedoe");
    a->Set("who", "a");
    b->Set("who", "b");
    b->Flush();
    a->Flush();
    std::string out;
    ASSERT_TRUE(Storage(kRadioURN, "janedoe")->Get("who", out));
    EXPECT_EQ(out, "a");
}

TEST_F(CacheStorageTest, FlushOfAStorageNeverReadLeavesTheFileAlone) {
    {
        auto s = Storage(kRadioURN, "janedoe");
        s->Set("k", "v");
        s->Flush();
    }
    Storage(kRadioURN, "janedoe")->Flush();
    std::string out;
    EXPECT_TRUE(Storage(kRadioURN, "janedoe")->Get("k", out));
}

// A key or name that would name the cache folder itself or a folder above it never
// touches the disk: the storage works in memory and says so.
TEST_F(CacheStorageTest, KeyOrNameOnlyDotsOrEmptyStaysInMemory) {
    struct Row {
        const char* key;
        const char* name;
    };
    const Row rows[] = {{"..", kRadioURN}, {".", kRadioURN}, {"", kRadioURN}, {"...", kRadioURN},
                        {"janedoe", ".."}, {"janedoe", ""},  {"janedoe", "."}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.key) + " | " + row.name);
        LogCapture log;
        auto s = Storage(row.name, row.key);
        EXPECT_EQ(s->filePath(), std::nullopt);
        s->Set("k", "v");
        std::string out;
        ASSERT_TRUE(s->Get("k", out));
        EXPECT_EQ(out, "v");
        s->Flush();
        EXPECT_FALSE(log.lines.isEmpty());
        // Nothing was written, here or above.
        EXPECT_TRUE(QDir(root_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
        QDir parent(root_.path());
        parent.cdUp();
        EXPECT_FALSE(QFile::exists(parent.filePath(QStringLiteral("urn_zym-com_services_radio_3.0.cache"))));
        EXPECT_FALSE(QFile::exists(root_.filePath(QStringLiteral(".cache"))));
    }
}

TEST_F(CacheStorageTest, FilesThatCannotBeTrustedReadAsAnEmptyCache) {
    const QByteArray good = *PropertyList::write(QVariantMap{{"k", "v"}, {"l", "w"}});
    struct Row {
        const char* what;
        QByteArray bytes;
    };
    const Row rows[] = {
        {"malformed", QByteArray("<plist><dict><key>k</key><string>v</dict></plist>")},
        {"truncated", good.left(good.size() / 2)},
        {"not XML", QByteArray("\x00\x01garbage", 9)},
        {"empty", QByteArray()},
        {"an array root", *PropertyList::write(QVariantList{QStringLiteral("k")})},
        {"a number value", *PropertyList::write(QVariantMap{{"k", "v"}, {"n", qint64(3)}})},
        {"a nested value", *PropertyList::write(QVariantMap{{"k", QVariantMap{{"a", "b"}}}})},
        {"entities", QByteArray("<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY x \"v\">]>"
                                "<plist><dict><key>k</key><string>&x;</string></dict></plist>")},
        {"50 MB", QByteArray(50 * 1024 * 1024, ' ') + good},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const QString path = FileOf(QStringLiteral("janedoe"), QStringLiteral("urn_zym-com_services_radio_3.0"));
        WriteFile(path, row.bytes);
        LogCapture quiet;
        auto s = Storage(kRadioURN, "janedoe");
        std::string out = "untouched";
        EXPECT_FALSE(s->Get("k", out));
        EXPECT_EQ(out, "");
        // It still works, and its next flush replaces the bad file.
        s->Set("k", "fresh");
        s->Flush();
        ASSERT_TRUE(Storage(kRadioURN, "janedoe")->Get("k", out));
        EXPECT_EQ(out, "fresh");
    }
}

TEST_F(CacheStorageTest, FailedWriteIsLoggedAndTheItemsStay) {
    // A plain file where the folder should be.
    WriteFile(root_.filePath(QStringLiteral("blocked")), "x");
    auto s = Storage(kRadioURN, "blocked");
    s->Set("k", "v");
    LogCapture log;
    s->Flush();
    ASSERT_FALSE(log.lines.isEmpty());
    EXPECT_TRUE(log.lines.last().startsWith(QStringLiteral("Failed to write cache file to ")));
    std::string out;
    EXPECT_TRUE(s->Get("k", out));
}

TEST_F(CacheStorageTest, FactoryMakesStoragesUnderItsRoot) {
    ZYMCacheStorageFactory factory(root_.path());
    std::unique_ptr<DMDataCacheStorage> s(factory.Create(kRadioURN, "janedoe"));
    s->Set("k", "v");
    s->Flush();
    EXPECT_TRUE(QFile::exists(FileOf(QStringLiteral("janedoe"), QStringLiteral("urn_zym-com_services_radio_3.0"))));
}

TEST(CacheStorageRoot, DefaultRootFollowsTheXDGCacheFolder) {
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", dir.path().toUtf8());
    EXPECT_EQ(ZYMCacheStorage::defaultRoot(), dir.filePath(QStringLiteral("zymradio")));
    EXPECT_EQ(ZYMCacheStorage(kRadioURN, "janedoe").filePath(),
              dir.filePath(QStringLiteral("zymradio/janedoe/urn_zym-com_services_radio_3.0.cache")));
    if (saved.isNull())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", saved);
}

}  // namespace
