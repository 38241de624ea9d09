// What the services write (settings, caches, property lists) is the user's alone: files
// 0600, the folders made for them 0700, whatever the umask lets through.

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>
#include <string>

#include <sys/stat.h>

#include "app/foundation/PropertyList.h"
#include "app/foundation/UserDefaults.h"
#include "app/services/ZYMCacheStorage.h"

namespace {

// Every file and folder below `root` whose mode is not 0600 (files) or 0700 (folders).
std::string OpenEntries(const QString& root) {
    std::string out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st {};
        if (lstat(QFile::encodeName(path).constData(), &st) != 0) continue;
        const unsigned mode = st.st_mode & 07777;
        const unsigned wanted = S_ISDIR(st.st_mode) ? 0700u : 0600u;
        if (mode != wanted) {
            char text[16];
            std::snprintf(text, sizeof text, "%o", mode);
            out += path.mid(root.size()).toStdString() + " " + text + "\n";
        }
    }
    return out;
}

class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : old_(umask(mask)) {}
    ~UmaskScope() { umask(old_); }

private:
    mode_t old_;
};

TEST(PrivateFilesTest, SettingsCachesAndPropertyListsAreTheUsersAlone) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const UmaskScope usual(022);
    const QString profile = tmp.filePath(QStringLiteral("profile"));
    {
        UserDefaults defaults(profile + QStringLiteral("/config/zymradio/zymradio.conf"));
        defaults.setString(QStringLiteral("screenname"), QStringLiteral("someone"));
        ASSERT_TRUE(defaults.synchronize());
    }
    {
        // Written by the destructor only.
        UserDefaults defaults(profile + QStringLiteral("/state/other/other.conf"));
        defaults.setBool(QStringLiteral("play_at_launch"), true);
    }
    ZYMCacheStorage cache("urn:zym-com:services:radio:3.0", "someone", profile + QStringLiteral("/cache/zymradio"));
    std::string out;
    cache.Get("k", out);
    cache.Set("k", "history");
    cache.Flush();
    ASSERT_TRUE(PropertyList::writeFile(profile + QStringLiteral("/data/zymradio/list.plist"),
                                        QVariantMap{{QStringLiteral("a"), 1}}));
    // A file that was there before, open to all, is private once written again.
    const QString old = profile + QStringLiteral("/data/zymradio/old.plist");
    {
        QFile f(old);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_EQ(chmod(QFile::encodeName(old).constData(), 0644), 0);
    ASSERT_TRUE(PropertyList::writeFile(old, QVariantMap{}));

    ASSERT_TRUE(QFileInfo::exists(profile + QStringLiteral("/state/other/other.conf")));
    ASSERT_TRUE(QFileInfo::exists(*cache.filePath()));
    EXPECT_EQ(OpenEntries(profile), "");
}

}  // namespace
