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
// - The photo-application, desktop-picture and screen-saver methods have no equivalent
//   here: they answer NO or none and write nothing.
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

    // No equivalent on this platform: NO, none or "", nothing written.
    std::optional<QVariantMap> iPhotoRunning() const { return std::nullopt; }
    std::optional<QString> iPhotoFind() const { return std::nullopt; }
    std::optional<ZYMApplicationBundle> iPhotoBundle() const { return std::nullopt; }
    std::optional<QString> iPhotoVersion() const { return std::nullopt; }
    bool iPhotoRun() const { return false; }
    QString getDesktopPictureFolder(bool unique) const {
        (void)unique;
        return {};
    }
    void clearDesktopPictureFolder() const {}
    bool setDesktopPictureFile(const QString&) const { return false; }
    bool setDesktopPictureFolder(const QString&) const { return false; }
    bool setDesktopPictureWithPictureAtPath(const QString&) const { return false; }
    bool setDesktopPictureWithPicturesAtPaths(const QStringList&) const { return false; }
    std::optional<QString> getScreenSaverFolder() const { return std::nullopt; }
    void clearScreenSaverFolder() const {}
    bool setScreenSaverFolder(const QString&) const { return false; }
    bool setScreenSaverModule(const QString&) const { return false; }
    bool setScreenSaverWithPictureAtPath(const QString&) const { return false; }
    bool setScreenSaverWithPicturesAtPaths(const QStringList&) const { return false; }

private:
    QStringList handlersOf(const QString& mimeType, bool defaultsOnly) const;
    QDBusConnection bus_;
};
