// The helpers every application layer shares: truncation, character sets, percent
// escapes, folders, the URL clipboard contents and colour dictionaries.

#include "app/foundation/ZYMColorUtils.h"
#include "app/foundation/ZYMFileManager.h"
#include "app/foundation/ZYMPasteboard.h"
#include "app/foundation/ZYMStringAdditions.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <cmath>
#include <limits>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ZYMString;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const QString E = QString(QChar(0x2026));

// Every character, the ellipsis too, is 10 wide.
double FixedWidth(const QString& s) { return 10.0 * double(s.size()); }

}  // namespace

TEST(StringTruncationTest, ByCharactersAndByWidth) {
    const QString letters = QStringLiteral("abcdefghij");
    struct Case {
        const char* what;
        int position;
        int length;    // truncateTo
        double width;  // truncateToWidth; < 0: not used
        QString expected;
    } cases[] = {
        {"tail", TruncateTail, 4, -1, "abcd" + E},
        {"head", TruncateHead, 4, -1, E + "ghij"},
        {"middle", TruncateMiddle, 4, -1, "ab" + E + "ij"},
        {"any other position is the tail", 7, 4, -1, "abcd" + E},
        {"exactly the length", TruncateTail, 10, -1, letters},
        {"longer than the string", TruncateMiddle, 30, -1, letters},
        {"nothing kept", TruncateHead, 0, -1, E},
        {"width: fits exactly, unchanged", TruncateTail, 0, 100, letters},
        {"width: wider than needed, unchanged", TruncateMiddle, 0, 500, letters},
        {"width: an exact fit of a shortening", TruncateTail, 0, 50, "abcd" + E},
        {"width: the longest that fits", TruncateTail, 0, 45, "abc" + E},
        {"width: head", TruncateHead, 0, 59, E + "ghij"},
        {"width: middle", TruncateMiddle, 0, 61, "ab" + E + "hij"},
        {"width: not even the ellipsis fits", TruncateTail, 0, 5, E},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QString s = letters;
        if (c.width < 0)
            truncateTo(s, c.length, c.position);
        else
            s = stringByTruncatingToWidth(letters, c.width, c.position, FixedWidth);
        EXPECT_EQ(s, c.expected);
    }
}

TEST(StringTruncationTest, WidthTruncationWithProportionalWidths) {
    // Narrow and wide letters: the bisection must still find the longest fit.
    auto measure = [](const QString& s) {
        double w = 0;
        for (QChar c : s)
            w += c == QLatin1Char('m') ? 15 : c == QChar(0x2026) ? 8 : 4;
        return w;
    };
    const QString text = QStringLiteral("mmmmiiiimmmmiiii");
    for (int position : {TruncateHead, TruncateMiddle, TruncateTail}) {
        for (double width = 8; width < measure(text); width += 3) {
            const QString out = stringByTruncatingToWidth(text, width, position, measure);
            ASSERT_LE(measure(out), width) << position << " " << width;
            ASSERT_TRUE(out.contains(QChar(0x2026)));
        }
    }
}

TEST(StringSetTest, RemovingAndReplacingRuns) {
    EXPECT_EQ(stringByReplacingCharactersInSet("a  b", whitespaceCharacterSet(), "_"), "a_b");
    EXPECT_EQ(stringByReplacingCharactersInSet(" a\t\nb ", whitespaceCharacterSet(), "_"), "_a_b_");
    EXPECT_EQ(stringByReplacingCharactersInSet("x/y:z", characterSetWithCharacters("/:"), "-"), "x-y-z");
    EXPECT_EQ(stringByRemovingCharactersInSet("a b\tc", whitespaceCharacterSet()), "abc");
    EXPECT_EQ(stringByReplacingCharactersInSet("", whitespaceCharacterSet(), "_"), "");
}

TEST(StringEscapesTest, AddsAndRemovesPercentEscapes) {
    struct Case {
        QString plain, escaped;
    } cases[] = {
        {"http://h.example/a b?x=1&y=2#f", "http://h.example/a%20b?x=1&y=2#f"},
        {"R&B 100%", "R&B%20100%25"},
        {QString::fromUtf8("Caf\xc3\xa9"), "Caf%C3%A9"},
        {"\"<quoted>\"", "%22%3Cquoted%3E%22"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(stringByAddingPercentEscapes(c.plain), c.escaped);
        EXPECT_EQ(stringByReplacingPercentEscapes(c.escaped), c.plain);
    }
    EXPECT_TRUE(isEqualToStringIgnoringCase("Rock FM", "rOCK fm"));
    EXPECT_FALSE(isEqualToStringIgnoringCase("Rock FM", "Rock FM2"));
    EXPECT_NE(uuidString(), uuidString());
    EXPECT_EQ(uuidString().size(), 36);
}

// ---- folders ----

namespace {

bool Exists(const QString& p) { return QFileInfo::exists(p); }

// Runs `work` as an unprivileged user (the process itself when it is one), in a child;
// false with `why` set when no such user can be taken.
bool RunUnprivileged(const std::function<bool()>& work, bool* result, std::string* why) {
    if (geteuid() != 0) {
        *result = work();
        return true;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        *why = "fork failed";
        return false;
    }
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        _exit(work() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 3) {
        *why = "cannot become the unprivileged user 65534";
        return false;
    }
    *result = WEXITSTATUS(status) == 0;
    return true;
}

}  // namespace

TEST(EnsureDirectoriesTest, MakesWritableFoldersOnlyWhereItMay) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString root = tmp.path();
    ASSERT_TRUE(QDir(root).mkpath("existing"));
    ASSERT_TRUE(QDir(root).mkpath("target"));
    {
        QFile f(root + "/file");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(root + "/target", root + "/link"));
    ASSERT_EQ(chmod(QFile::encodeName(root + "/existing").constData(), 0750), 0);

    struct Case {
        const char* what;
        QString path;
        bool expected;
        QString mustExist, mustNotExist;
    } cases[] = {
        {"an existing writable folder", root + "/existing", true, "", ""},
        {"missing folders below a writable one", root + "/existing/a/b/c", true, root + "/existing/a/b/c", ""},
        {"a path under a file", root + "/file/sub", false, "", root + "/file/sub"},
        {"an existing file", root + "/file", false, "", ""},
        {"through a symbolic link", root + "/link/x/y", true, root + "/target/x/y", ""},
        {"one component", "zym-single-component", false, "", "zym-single-component"},
        {"with dots and doubled slashes", root + "//existing/./d/../e", true, root + "/existing/e",
         root + "/existing/d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ZYMFileManager::ensureDirectoriesInPath(c.path), c.expected);
        if (!c.mustExist.isEmpty()) EXPECT_TRUE(QFileInfo(c.mustExist).isDir());
        if (!c.mustNotExist.isEmpty()) EXPECT_FALSE(Exists(c.mustNotExist));
    }
    // The new folders are their owner's alone, whatever the folder they were made in
    // allows (the listener's history and log go in them); existing ones are left as they are.
    ASSERT_TRUE(QDir(root).mkpath("shared"));
    ASSERT_EQ(chmod(QFile::encodeName(root + "/shared").constData(), 01777), 0);
    ASSERT_TRUE(ZYMFileManager::ensureDirectoriesInPath(root + "/shared/zym/cache"));
    struct {
        QString path;
        unsigned mode;
    } modes[] = {{root + "/existing", 0750u},
                 {root + "/existing/a/b", 0700u},
                 {root + "/shared", 01777u},
                 {root + "/shared/zym", 0700u},
                 {root + "/shared/zym/cache", 0700u}};
    for (const auto& m : modes) {
        struct stat st {};
        ASSERT_EQ(stat(QFile::encodeName(m.path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, m.mode) << m.path.toStdString();
    }
    {
        QFile f(root + "/existing/a/file");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(fchmod(f.handle(), 0644), 0);
        EXPECT_TRUE(ZYMFileManager::makeFilePrivate(f.handle()));
        struct stat st {};
        ASSERT_EQ(stat(QFile::encodeName(f.fileName()).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }

    bool isDir = false;
    EXPECT_TRUE(ZYMFileManager::fileExistsAtPath(root + "/link", &isDir, true));
    EXPECT_TRUE(isDir);
    EXPECT_TRUE(ZYMFileManager::fileExistsAtPath(root + "/link", &isDir, false));
    EXPECT_FALSE(isDir);
    EXPECT_FALSE(ZYMFileManager::fileExistsAtPath(root + "/none", &isDir, true));
}

TEST(EnsureDirectoriesTest, ReadOnlyAncestorCreatesNothing) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString root = tmp.path();
    ASSERT_EQ(chmod(QFile::encodeName(root).constData(), 0755), 0);
    ASSERT_TRUE(QDir(root).mkpath("readonly"));
    ASSERT_EQ(chmod(QFile::encodeName(root + "/readonly").constData(), 0555), 0);
    const QString wanted = root + "/readonly/a/b";

    bool result = true;
    std::string why;
    if (!RunUnprivileged([&] { return ZYMFileManager::ensureDirectoriesInPath(wanted); }, &result, &why)) {
        chmod(QFile::encodeName(root + "/readonly").constData(), 0755);
        GTEST_SKIP() << why;
    }
    EXPECT_FALSE(result);
    EXPECT_FALSE(Exists(root + "/readonly/a"));
    chmod(QFile::encodeName(root + "/readonly").constData(), 0755);
}

// ---- clipboard ----

TEST(PasteboardTest, WritesTheUrlInEveryForm) {
    QMimeData data;
    ZYMPasteboard::setDataForURL(data, "http://radio.example/listen?id=12&name=Jazz Café", "Jazz Café\nLive",
                                 "Smooth jazz");
    const QString escaped = "http://radio.example/listen?id=12&name=Jazz%20Caf%C3%A9";
    EXPECT_EQ(data.formats(), ZYMPasteboard::urlMimeTypes());
    EXPECT_EQ(data.text(), escaped);
    EXPECT_EQ(data.urls(), QList<QUrl>{QUrl(escaped)});
    const QByteArray moz = data.data(ZYMPasteboard::kMozillaURLMimeType);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(moz.constData()), moz.size() / 2),
              escaped + "\nJazz Café Live");
    EXPECT_EQ(QString::fromUtf8(data.data(ZYMPasteboard::kURLDescriptionMimeType)), "Smooth jazz");
    EXPECT_TRUE(ZYMPasteboard::stationID(data).isNull());
    ZYMPasteboard::setStationID(data, "42");
    EXPECT_EQ(ZYMPasteboard::stationID(data), "42");
}

// ---- colour dictionaries ----

TEST(ColorDictionaryTest, ReadsUntrustedDictionaries) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        QVariantMap dictionary;
        float r, g, b, a;
    } cases[] = {
        {"all four", {{"red", 0.2}, {"green", 0.4}, {"blue", 0.6}, {"alpha", 0.8}}, 0.2f, 0.4f, 0.6f, 0.8f},
        {"no alpha is opaque", {{"red", 1.0}, {"green", 0.5}, {"blue", 0.0}}, 1, 0.5f, 0, 1},
        {"missing components are 0", {{"green", 1.0}}, 0, 1, 0, 1},
        {"numbers as text", {{"red", "0.25"}, {"green", " 1 "}, {"blue", "x"}}, 0.25f, 1, 0, 1},
        {"integers", {{"red", 1}, {"green", qlonglong(0)}}, 1, 0, 0, 1},
        {"wrong types count as missing",
         {{"red", QVariantList{1}}, {"green", QVariantMap{}}, {"blue", true}, {"alpha", QVariantList{}}},
         0,
         0,
         0,
         1},
        {"out of range is clamped", {{"red", 2.5}, {"green", -1.0}, {"blue", 1e300}, {"alpha", -0.5}}, 1, 0, 1, 0},
        {"not a number is 0", {{"red", nan}, {"alpha", nan}}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QColor color = ZYMColor::colorWithCalibratedRGBDictionary(c.dictionary);
        ASSERT_TRUE(color.isValid());
        EXPECT_NEAR(color.redF(), c.r, 1e-4);
        EXPECT_NEAR(color.greenF(), c.g, 1e-4);
        EXPECT_NEAR(color.blueF(), c.b, 1e-4);
        EXPECT_NEAR(color.alphaF(), c.a, 1e-4);
    }
}

TEST(ColorDictionaryTest, RoundTrip) {
    const QColor color = QColor::fromRgbF(214.0f / 255, 219.0f / 255, 191.0f / 255, 0.8f);
    const QVariantMap d = ZYMColor::calibratedRGBDictionaryWithColor(color);
    EXPECT_EQ(d.keys(), (QStringList{"alpha", "blue", "green", "red"}));
    EXPECT_EQ(ZYMColor::colorWithCalibratedRGBDictionary(d), color);
    EXPECT_TRUE(ZYMColor::calibratedRGBDictionaryWithColor(QColor()).isEmpty());
    // Another colour model is converted first.
    const QColor hsv = QColor::fromHsvF(0.5f, 1, 1);
    EXPECT_EQ(ZYMColor::colorWithCalibratedRGBDictionary(ZYMColor::calibratedRGBDictionaryWithColor(hsv)), hsv.toRgb());
}
