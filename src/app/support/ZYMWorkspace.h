#pragma once

// The workspace utilities: where the program keeps its files, which applications run or
// are installed, which application handles a URL scheme or a MIME type, and showing
// files in the file manager.
//
// - Folders follow XDG: application support is $XDG_DATA_HOME/zymradio, the caches
//   $XDG_CACHE_HOME/zymradio (a variable that is unset or not absolute means the usual
//   ~/.local/share or ~/.cache).
// - An application identifier runs while the session bus name equal to it has an owner;
//   its instances are that name's queued owners (the program queues for its own
//   identifier, announceRunningInstance).
// - Installed applications are .desktop files carrying X-ZYM-Identifier, X-ZYM-Version
//   and X-ZYM-BuildType, in $XDG_DATA_HOME/applications and $XDG_DATA_DIRS/applications.
// - Handlers come from the mimeapps.list files of the XDG configuration and data folders.
// - The desktop picture goes through the desktop portal (org.freedesktop.portal.Wallpaper
//   SetWallpaperURI), else the desktop's own setting (gsettings
//   org.gnome.desktop.background picture-uri) when that is there. A folder of pictures
//   sets its first picture: neither offers a changing picture.
// - The photo application is the desktop's default handler of JPEG pictures.
// - Screen savers have no equivalent here: those methods answer NO or none and write
//   nothing.
// Main thread only.

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// An installed application (its .desktop file).
struct ZYMApplicationBundle {
    QString identifier;  // X-ZYM-Identifier, else the desktop file's id
    QString version;     // X-ZYM-Version
    QString buildType;   // X-ZYM-BuildType
    QString name;        // Name
    QString path;        // the .desktop file
    friend bool operator==(const ZYMApplicationBundle&, const ZYMApplicationBundle&) = default;
};

class ZYMWorkspace {
public:
    // Over the session bus.
    static ZYMWorkspace& sharedWorkspace();
    explicit ZYMWorkspace(const QDBusConnection& bus);

    static QString applicationSupportPath();
    static QString applicationSupportCachePath();
    // The caches folder (made when missing) + the program's folder; none when the caches
    // folder cannot be made.
    static std::optional<QString> applicationCachePath();

    // Queues this connection as an owner of the identifier's bus name.
    bool announceRunningInstance(const QString& identifier);

    // Owners of every bus name equal to the identifier ignoring case.
    int numberOfAppInstancesRunning(const QString& identifier) const;
    bool isAppRunning(const QString& identifier) const;
    // The running application with exactly this identifier: its installed bundle, or one
    // that knows only the identifier when none is installed.
    std::optional<ZYMApplicationBundle> bundleOfRunningApp(const QString& identifier) const;
    // "NSApplicationBundleIdentifier", "NSApplicationName", "NSApplicationPath" of the
    // first running application with the identifier, or whose installed name is `name`.
    std::optional<QVariantMap> launchedApplicationForIdentifier(const QString& identifier, const QString& name) const;
    // The installed application's .desktop file, by identifier, else by name; the
    // creator code has no equivalent and is ignored.
    std::optional<QString> findApplicationForIdentifier(const QString& identifier, const QString& creator,
                                                        const QString& name) const;
    static QList<ZYMApplicationBundle> installedApplications();

    std::optional<QString> bundleIdentifierForAppHandlerOfMimeType(const QString& mimeType) const;
    std::optional<QString> bundleIdentifierForDefaultHandlerOfScheme(const QString& scheme) const;
    std::optional<QStringList> arrayOfDefaultHandlersOfScheme(const QString& scheme) const;
    bool isDefaultHandlerRunning(const QString& scheme) const;

    // Asks the file manager to show the files (org.freedesktop.FileManager1.ShowItems);
    // true when it answered.
    bool revealItemsInFinder(const QStringList& paths) const;

    // The desktop's default handler of JPEG pictures, when it runs; its .desktop file and
    // bundle. Its version is that of the Mac's photo application only: none here.
    std::optional<QVariantMap> iPhotoRunning() const;
    std::optional<QString> iPhotoFind() const;
    std::optional<ZYMApplicationBundle> iPhotoBundle() const;
    std::optional<QString> iPhotoVersion() const { return std::nullopt; }
    // True when it runs; otherwise launches it and waits, up to 10 s, until it runs.
    bool iPhotoRun() const;

    // Application support + the localized "DesktopPictureFolderName"; with `unique`, a new
    // UUID folder and that name again below it.
    QString getDesktopPictureFolder(bool unique) const;
    void clearDesktopPictureFolder() const;
    // Adds read and write for everyone to the file, or to each item directly inside the
    // folder.
    static void setPermissionsToReadWriteForFileAtPath(const QString& path);
    bool setDesktopPictureFile(const QString& path) const;
    bool setDesktopPictureFolder(const QString& path) const;
    bool setDesktopPictureWithPictureAtPath(const QString& path) const;
    bool setDesktopPictureWithPicturesAtPaths(const QStringList& paths) const;
    // The program run for the desktop's own setting ("gsettings"; tests give another).
    void setDesktopSettingsProgram(const QString& program) { settingsProgram_ = program; }

    // No equivalent on this platform: NO or none, nothing written.
    std::optional<QString> getScreenSaverFolder() const { return std::nullopt; }
    void clearScreenSaverFolder() const {}
    bool setScreenSaverFolder(const QString&) const { return false; }
    bool setScreenSaverModule(const QString&) const { return false; }
    bool setScreenSaverWithPictureAtPath(const QString&) const { return false; }
    bool setScreenSaverWithPicturesAtPaths(const QStringList&) const { return false; }

private:
    QStringList handlersOf(const QString& mimeType, bool defaultsOnly) const;
    bool setWallpaperThroughPortal(const QString& uri) const;
    bool setWallpaperThroughSettings(const QString& uri) const;
    QDBusConnection bus_;
    QString settingsProgram_ = QStringLiteral("gsettings");
};
