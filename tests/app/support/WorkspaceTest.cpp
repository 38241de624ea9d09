#include "app/support/ZYMWorkspace.h"

#include "PrivateBus.h"
#include "SupportTestSupport.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <ostream>

#include <map>
#include <optional>

using supporttest::PrivateBus;

namespace {

// Sets environment variables for a scope (none: unset) and puts them back.
class ScopedEnv {
public:
    explicit ScopedEnv(std::map<QByteArray, std::optional<QByteArray>> values) {
        for (const auto& [name, value] : values) {
            saved_[name] = qEnvironmentVariableIsSet(name.constData())
                               ? std::optional<QByteArray>(qgetenv(name.constData()))
                               : std::nullopt;
            if (value)
                qputenv(name.constData(), *value);
            else
                qunsetenv(name.constData());
        }
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value)
                qputenv(name.constData(), *value);
            else
                qunsetenv(name.constData());
        }
    }

private:
    std::map<QByteArray, std::optional<QByteArray>> saved_;
};

struct PathCase {
    const char* name;
    std::optional<QByteArray> dataHome;
    std::optional<QByteArray> cacheHome;
    QString support;  // "~" is the home folder
    QString cache;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class WorkspacePaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(WorkspacePaths, FollowXdg) {
    const PathCase& c = GetParam();
    ScopedEnv env({{"XDG_DATA_HOME", c.dataHome}, {"XDG_CACHE_HOME", c.cacheHome}});
    auto expand = [](QString p) { return p.replace("~", QDir::homePath()); };
    EXPECT_EQ(ZYMWorkspace::applicationSupportPath(), expand(c.support));
    EXPECT_EQ(ZYMWorkspace::applicationSupportCachePath(), expand(c.cache));
}

const PathCase kPathCases[] = {
    {"Set", QByteArray("/x/data"), QByteArray("/x/cache/"), "/x/data/zymradio", "/x/cache/zymradio"},
    {"Unset", std::nullopt, std::nullopt, "~/.local/share/zymradio", "~/.cache/zymradio"},
    {"Empty", QByteArray(""), QByteArray(""), "~/.local/share/zymradio", "~/.cache/zymradio"},
    {"RelativeIgnored", QByteArray("data"), QByteArray("./cache"), "~/.local/share/zymradio", "~/.cache/zymradio"},
};

INSTANTIATE_TEST_SUITE_P(Xdg, WorkspacePaths, ::testing::ValuesIn(kPathCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Workspace, ApplicationCachePathMakesTheCachesFolderOnly) {
    QTemporaryDir dir;
    const QString caches = dir.path() + "/deep/cache";
    ScopedEnv env({{"XDG_CACHE_HOME", caches.toUtf8()}});
    EXPECT_EQ(ZYMWorkspace::applicationCachePath(), caches + "/zymradio");
    EXPECT_TRUE(QDir(caches).exists());
    EXPECT_FALSE(QDir(caches + "/zymradio").exists());

    QFile blocker(dir.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    ScopedEnv blocked({{"XDG_CACHE_HOME", (dir.path() + "/file/cache").toUtf8()}});
    EXPECT_EQ(ZYMWorkspace::applicationCachePath(), std::nullopt);
}

TEST(Workspace, RunningInstancesAreTheQueuedOwners) {
    PrivateBus bus;
    REQUIRE_PRIVATE_BUS(bus);
    ZYMWorkspace first(bus.Connect());
    ZYMWorkspace second(bus.Connect());
    ZYMWorkspace observer(bus.Connect());
    EXPECT_EQ(observer.numberOfAppInstancesRunning("org.zym.Radio"), 0);
    EXPECT_FALSE(observer.isAppRunning("org.zym.Radio"));
    EXPECT_EQ(observer.bundleOfRunningApp("org.zym.Radio"), std::nullopt);

    ASSERT_TRUE(first.announceRunningInstance("org.zym.Radio"));
    ASSERT_TRUE(second.announceRunningInstance("org.zym.Radio"));
    EXPECT_EQ(observer.numberOfAppInstancesRunning("org.zym.Radio"), 2);
    EXPECT_EQ(observer.numberOfAppInstancesRunning("org.zym.radio"), 2);
    ASSERT_TRUE(observer.bundleOfRunningApp("org.zym.Radio"));
    EXPECT_EQ(observer.bundleOfRunningApp("org.zym.Radio")->identifier, "org.zym.Radio");
}

TEST(Workspace, NameDifferingOnlyInCaseIsCountedNotFound) {
    PrivateBus bus;
    REQUIRE_PRIVATE_BUS(bus);
    ZYMWorkspace other(bus.Connect());
    ZYMWorkspace observer(bus.Connect());
    ASSERT_TRUE(other.announceRunningInstance("org.Adium.Adium"));
    EXPECT_EQ(observer.numberOfAppInstancesRunning("org.adium.adium"), 1);
    EXPECT_TRUE(observer.isAppRunning("ORG.ADIUM.ADIUM"));
    EXPECT_EQ(observer.bundleOfRunningApp("org.adium.adium"), std::nullopt);
    EXPECT_TRUE(observer.bundleOfRunningApp("org.Adium.Adium"));
    EXPECT_EQ(observer.launchedApplicationForIdentifier("org.adium.adium", QString()), std::nullopt);
}

void Write(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

TEST(Workspace, InstalledApplicationsAndHandlersFromXdgFolders) {
    QTemporaryDir dir;
    const QString data = dir.path() + "/data";
    const QString system = dir.path() + "/system";
    const QString config = dir.path() + "/config";
    ScopedEnv env({{"XDG_DATA_HOME", data.toUtf8()},
                   {"XDG_DATA_DIRS", system.toUtf8()},
                   {"XDG_CONFIG_HOME", config.toUtf8()},
                   {"XDG_CONFIG_DIRS", (dir.path() + "/etc").toUtf8()}});
    Write(data + "/applications/zymradio.desktop",
          "[Desktop Entry]\nType=Application\nName=ZYM Radio\nName[de]=ZYM Radio DE\nExec=zymradio %u\n"
          "MimeType=x-scheme-handler/zymradio;x-scheme-handler/qint;\nX-ZYM-Identifier=org.zym.Radio\n"
          "X-ZYM-Version=2.1\nX-ZYM-BuildType=release\n\n[Desktop Action x]\nName=Other\n");
    Write(system + "/applications/player.desktop", "[Desktop Entry]\nName=Player\n");
    Write(system + "/applications/zymradio.desktop", "[Desktop Entry]\nName=Hidden by the user's copy\n");
    Write(config + "/mimeapps.list",
          "[Default Applications]\nx-scheme-handler/zymradio=zymradio.desktop;\n"
          "[Added Associations]\nx-scheme-handler/zymradio=player.desktop;zymradio.desktop;\n");
    Write(system + "/applications/mimeapps.list",
          "[Default Applications]\naudio/mpeg=player.desktop\nx-scheme-handler/qint=player.desktop\n");

    const auto apps = ZYMWorkspace::installedApplications();
    ASSERT_EQ(apps.size(), 2);
    EXPECT_EQ(apps[0], (ZYMApplicationBundle{"org.zym.Radio", "2.1", "release", "ZYM Radio",
                                             data + "/applications/zymradio.desktop"}));
    EXPECT_EQ(apps[1].identifier, "player");

    ZYMWorkspace workspace{QDBusConnection(QStringLiteral("not-connected"))};
    EXPECT_EQ(workspace.findApplicationForIdentifier("org.zym.Radio", "ZYMr", {}),
              data + "/applications/zymradio.desktop");
    EXPECT_EQ(workspace.findApplicationForIdentifier("org.none", {}, "Player"),
              system + "/applications/player.desktop");
    EXPECT_EQ(workspace.findApplicationForIdentifier("org.none", {}, "None"), std::nullopt);
    EXPECT_EQ(workspace.bundleIdentifierForDefaultHandlerOfScheme("zymradio"), "org.zym.Radio");
    EXPECT_EQ(workspace.bundleIdentifierForDefaultHandlerOfScheme("ZYMRadio"), "org.zym.Radio");
    EXPECT_EQ(workspace.bundleIdentifierForDefaultHandlerOfScheme("qint"), "player");
    EXPECT_EQ(workspace.bundleIdentifierForDefaultHandlerOfScheme("gopher"), std::nullopt);
    EXPECT_EQ(workspace.arrayOfDefaultHandlersOfScheme("zymradio"), (QStringList{"org.zym.Radio", "player"}));
    EXPECT_EQ(workspace.arrayOfDefaultHandlersOfScheme("gopher"), std::nullopt);
    EXPECT_EQ(workspace.bundleIdentifierForAppHandlerOfMimeType("audio/mpeg"), "player");
    EXPECT_FALSE(workspace.isDefaultHandlerRunning("zymradio"));  // no bus
}

TEST(Workspace, ScreenSaverMethodsWriteNothing) {
    QTemporaryDir dir;
    ScopedEnv env({{"XDG_DATA_HOME", dir.path().toUtf8()},
                   {"XDG_CONFIG_HOME", dir.path().toUtf8()},
                   {"XDG_DATA_DIRS", dir.path().toUtf8() + "/none"},
                   {"XDG_CONFIG_DIRS", dir.path().toUtf8() + "/none"}});
    ZYMWorkspace workspace{QDBusConnection(QStringLiteral("not-connected"))};
    const QString picture = dir.path() + "/Album Art.jpg";
    Write(picture, "x");
    EXPECT_FALSE(workspace.setScreenSaverModule(dir.path() + "/Album Art.qtz"));
    EXPECT_FALSE(workspace.setScreenSaverWithPicturesAtPaths({picture}));
    EXPECT_FALSE(workspace.setScreenSaverWithPictureAtPath(picture));
    EXPECT_EQ(workspace.getScreenSaverFolder(), std::nullopt);
    EXPECT_EQ(workspace.iPhotoVersion(), std::nullopt);
    EXPECT_FALSE(workspace.iPhotoRun()) << "no picture viewer installed";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"Album Art.jpg"});
    EXPECT_FALSE(workspace.revealItemsInFinder({picture}));  // no bus
}

TEST(Workspace, ThePhotoApplicationIsTheDefaultPictureViewer) {
    QTemporaryDir dir;
    ScopedEnv env({{"XDG_DATA_HOME", dir.path().toUtf8()},
                   {"XDG_CONFIG_HOME", dir.path().toUtf8()},
                   {"XDG_DATA_DIRS", dir.path().toUtf8() + "/none"},
                   {"XDG_CONFIG_DIRS", dir.path().toUtf8() + "/none"}});
    Write(dir.path() + "/applications/viewer.desktop", "[Desktop Entry]\nName=Viewer\nExec=viewer %f\n");
    Write(dir.path() + "/mimeapps.list", "[Default Applications]\nimage/jpeg=viewer.desktop\n");
    ZYMWorkspace workspace{QDBusConnection(QStringLiteral("not-connected"))};
    EXPECT_EQ(workspace.iPhotoFind(), dir.path() + "/applications/viewer.desktop");
    ASSERT_TRUE(workspace.iPhotoBundle());
    EXPECT_EQ(workspace.iPhotoBundle()->name, "Viewer");
    EXPECT_EQ(workspace.iPhotoRunning(), std::nullopt);  // no bus: nothing runs
}

// The file manager's ShowItems, answered on a thread of its own (the caller blocks).
class FakeFileManager : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("ShowItems")) return false;
        {
            QMutexLocker lock(&mutex);
            uris = message.arguments().value(0).toStringList();
        }
        connection.send(message.createReply());
        return true;
    }
    QMutex mutex;
    QStringList uris;
};

TEST(Workspace, RevealReachesTheFileManager) {
    PrivateBus bus;
    REQUIRE_PRIVATE_BUS(bus);
    QThread thread;
    auto* manager = new FakeFileManager;
    manager->moveToThread(&thread);
    thread.start();
    QDBusConnection fake = bus.Connect();
    ASSERT_TRUE(fake.registerVirtualObject("/org/freedesktop/FileManager1", manager));
    ASSERT_TRUE(fake.registerService("org.freedesktop.FileManager1"));

    ZYMWorkspace workspace(bus.Connect());
    EXPECT_FALSE(workspace.revealItemsInFinder({}));
    EXPECT_TRUE(workspace.revealItemsInFinder({"/tmp/a b.mp3", "/tmp/c"}));
    {
        QMutexLocker lock(&manager->mutex);
        EXPECT_EQ(manager->uris, (QStringList{"file:///tmp/a%20b.mp3", "file:///tmp/c"}));
    }
    fake.unregisterObject("/org/freedesktop/FileManager1");
    thread.quit();
    thread.wait();
    delete manager;
}

// The desktop portal's wallpaper call, recorded.
class FakePortal : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String("org.freedesktop.portal.Wallpaper") ||
            message.member() != QLatin1String("SetWallpaperURI"))
            return false;
        {
            QMutexLocker lock(&mutex);
            uris << message.arguments().value(1).toString();
            const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().value(2));
            lastOptions = options;
        }
        connection.send(message.createReply(
            QVariantList{QVariant::fromValue(QDBusObjectPath("/org/freedesktop/portal/desktop/request/1_1/t"))}));
        return true;
    }
    QStringList Uris() {
        QMutexLocker lock(&mutex);
        return uris;
    }
    QMutex mutex;
    QStringList uris;
    QVariantMap lastOptions;
};

class DesktopPicture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // A desktop setting tool that records what it is asked.
        settings = dir.path() + "/gsettings";
        const QString script = "#!/bin/sh\necho \"$*\" >> \"" + dir.path() + "/settings.log\"\n" +
                               "[ \"$1\" = writable ] && echo " + writable + "\nexit 0\n";
        Write(settings, script.toUtf8());
        QFile::setPermissions(settings, QFile::permissions(settings) | QFileDevice::ExeOwner);
    }
    QStringList SettingsCalls() {
        QFile log(dir.path() + "/settings.log");
        if (!log.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    QTemporaryDir dir;
    ScopedEnv env{{{"XDG_DATA_HOME", dir.path().toUtf8() + "/data"}}};
    QString settings;
    QString writable = "true";
};

TEST_F(DesktopPicture, ThroughThePortal) {
    PrivateBus bus;
    REQUIRE_PRIVATE_BUS(bus);
    QThread thread;
    auto* portal = new FakePortal;
    portal->moveToThread(&thread);
    thread.start();
    QDBusConnection fake = bus.Connect();
    ASSERT_TRUE(fake.registerVirtualObject("/org/freedesktop/portal/desktop", portal));
    ASSERT_TRUE(fake.registerService("org.freedesktop.portal.Desktop"));
    ZYMWorkspace workspace(bus.Connect());
    workspace.setDesktopSettingsProgram(settings);

    const QString art = dir.path() + "/Album Art.jpg";
    Write(art, "jpeg");
    QFile::setPermissions(art, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_FALSE(workspace.setDesktopPictureWithPictureAtPath(dir.path() + "/missing.jpg"));
    EXPECT_FALSE(workspace.setDesktopPictureWithPicturesAtPaths({}));
    EXPECT_TRUE(portal->Uris().isEmpty());

    ASSERT_TRUE(workspace.setDesktopPictureWithPictureAtPath(art));
    EXPECT_EQ(portal->Uris(), QStringList{"file://" + dir.path() + "/Album%20Art.jpg"});
    {
        QMutexLocker lock(&portal->mutex);
        EXPECT_EQ(portal->lastOptions.value("set-on").toString(), "background");
        EXPECT_EQ(portal->lastOptions.value("show-preview").toBool(), false);
    }
    EXPECT_EQ(QFile::permissions(art) & 0x0666, QFileDevice::Permissions(0x0666)) << "read and write for everyone";

    // Several pictures: copied into a new folder, its first picture set; a second set
    // clears the first folder.
    const QString other = dir.path() + "/B side.png";
    Write(other, "png");
    ASSERT_TRUE(workspace.setDesktopPictureWithPicturesAtPaths({other, art}));
    const QString base = dir.path() + "/data/zymradio/Desktop Pictures";
    QStringList folders = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(folders.size(), 1);
    const QString first = base + "/" + folders.first() + "/Desktop Pictures";
    EXPECT_EQ(QDir(first).entryList(QDir::Files, QDir::Name), (QStringList{"Album Art.jpg", "B side.png"}));
    EXPECT_EQ(portal->Uris().last(), QUrl::fromLocalFile(first + "/Album Art.jpg").toString(QUrl::FullyEncoded));
    ASSERT_TRUE(workspace.setDesktopPictureWithPicturesAtPaths({other}));
    folders = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(folders.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_EQ(portal->Uris().size(), 3);
    EXPECT_TRUE(SettingsCalls().isEmpty()) << "the portal took it";

    fake.unregisterObject("/org/freedesktop/portal/desktop");
    thread.quit();
    thread.wait();
    delete portal;
}

TEST_F(DesktopPicture, WithoutAPortalTheDesktopsOwnSetting) {
    PrivateBus bus;
    REQUIRE_PRIVATE_BUS(bus);
    ZYMWorkspace workspace(bus.Connect());
    workspace.setDesktopSettingsProgram(settings);
    const QString art = dir.path() + "/art.jpg";
    Write(art, "jpeg");
    ASSERT_TRUE(workspace.setDesktopPictureWithPictureAtPath(art));
    const QString uri = "file://" + dir.path() + "/art.jpg";
    EXPECT_EQ(SettingsCalls(), (QStringList{"writable org.gnome.desktop.background picture-uri",
                                            "set org.gnome.desktop.background picture-uri " + uri,
                                            "writable org.gnome.desktop.background picture-uri-dark",
                                            "set org.gnome.desktop.background picture-uri-dark " + uri}));
    // A desktop whose setting cannot be written, or without the tool: NO.
    QFile::remove(dir.path() + "/settings.log");
    writable = "false";
    SetUp();
    EXPECT_FALSE(workspace.setDesktopPictureWithPictureAtPath(art));
    EXPECT_EQ(SettingsCalls(), QStringList{"writable org.gnome.desktop.background picture-uri"});
    workspace.setDesktopSettingsProgram(dir.path() + "/no-such-tool");
    EXPECT_FALSE(workspace.setDesktopPictureWithPictureAtPath(art));
}

}  // namespace
