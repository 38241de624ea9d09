#include "app/support/ZYMWorkspace.h"

#include "app/foundation/ZYMFileManager.h"
#include "app/foundation/ZYMStringAdditions.h"
#include "app/foundation/Localizer.h"
#include "app/foundation/NSLog.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QThread>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

const QString kFolderName = QStringLiteral("zymradio");

// An XDG base folder: the variable when it holds an absolute path, else the default
// below the home folder.
QString XdgHome(const char* variable, const QString& fallbackBelowHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + QLatin1Char('/') + fallbackBelowHome);
}

QStringList XdgDirs(const char* variable, const QString& fallback) {
    QStringList result;
    const QString value = qEnvironmentVariable(variable);
    for (const QString& dir : (value.isEmpty() ? fallback : value).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir)) result.append(QDir::cleanPath(dir));
    return result;
}

QString DataHome() { return XdgHome("XDG_DATA_HOME", QStringLiteral(".local/share")); }
QString CacheHome() { return XdgHome("XDG_CACHE_HOME", QStringLiteral(".cache")); }

QStringList ApplicationFolders() {
    QStringList folders{DataHome() + QStringLiteral("/applications")};
    for (const QString& d : XdgDirs("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")))
        folders.append(d + QStringLiteral("/applications"));
    return folders;
}

// Groups of an ini-like XDG file: group -> key -> value (localized keys left out).
using IniGroups = QMap<QString, QMap<QString, QString>>;

IniGroups ReadIni(const QString& path) {
    IniGroups groups;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return groups;
    QString group;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const auto eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        if (key.contains(QLatin1Char('['))) continue;
        if (!groups[group].contains(key)) groups[group][key] = line.mid(eq + 1).trimmed();
    }
    return groups;
}

QStringList SplitList(const QString& value) { return value.split(QLatin1Char(';'), Qt::SkipEmptyParts); }

QString DesktopId(const QString& fileName) {
    return fileName.endsWith(QLatin1String(".desktop")) ? fileName.left(fileName.size() - 8) : fileName;
}

}  // namespace

ZYMWorkspace& ZYMWorkspace::sharedWorkspace() {
    static auto* workspace = new ZYMWorkspace(QDBusConnection::sessionBus());
    return *workspace;
}

ZYMWorkspace::ZYMWorkspace(const QDBusConnection& bus) : bus_(bus) {}

QString ZYMWorkspace::applicationSupportPath() { return DataHome() + QLatin1Char('/') + kFolderName; }

QString ZYMWorkspace::applicationSupportCachePath() { return CacheHome() + QLatin1Char('/') + kFolderName; }

std::optional<QString> ZYMWorkspace::applicationCachePath() {
    if (!ZYMFileManager::ensureDirectoriesInPath(CacheHome())) return std::nullopt;
    return applicationSupportCachePath();
}

bool ZYMWorkspace::announceRunningInstance(const QString& identifier) {
    if (!bus_.isConnected() || !bus_.interface()) return false;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus_.interface()->registerService(
        identifier, QDBusConnectionInterface::QueueService, QDBusConnectionInterface::DontAllowReplacement);
    return reply.isValid();
}

int ZYMWorkspace::numberOfAppInstancesRunning(const QString& identifier) const {
    if (identifier.isEmpty() || !bus_.isConnected() || !bus_.interface()) return 0;
    const QDBusReply<QStringList> names = bus_.interface()->registeredServiceNames();
    if (!names.isValid()) return 0;
    int count = 0;
    for (const QString& name : names.value()) {
        if (name.startsWith(QLatin1Char(':')) || name.compare(identifier, Qt::CaseInsensitive) != 0) continue;
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListQueuedOwners"));
        call << name;
        const QDBusReply<QStringList> owners = bus_.call(call);
        if (owners.isValid()) count += static_cast<int>(owners.value().size());
    }
    return count;
}

bool ZYMWorkspace::isAppRunning(const QString& identifier) const {
    return numberOfAppInstancesRunning(identifier) != 0;
}

std::optional<ZYMApplicationBundle> ZYMWorkspace::bundleOfRunningApp(const QString& identifier) const {
    if (identifier.isEmpty() || !bus_.isConnected() || !bus_.interface()) return std::nullopt;
    const QDBusReply<bool> registered = bus_.interface()->isServiceRegistered(identifier);
    if (!registered.isValid() || !registered.value()) return std::nullopt;
    for (const auto& bundle : installedApplications())
        if (bundle.identifier == identifier) return bundle;
    ZYMApplicationBundle bundle;
    bundle.identifier = identifier;
    return bundle;
}

std::optional<QVariantMap> ZYMWorkspace::launchedApplicationForIdentifier(const QString& identifier,
                                                                          const QString& name) const {
    const auto installed = installedApplications();
    auto describe = [](const ZYMApplicationBundle& b) {
        return QVariantMap{{QStringLiteral("NSApplicationBundleIdentifier"), b.identifier},
                           {QStringLiteral("NSApplicationName"), b.name},
                           {QStringLiteral("NSApplicationPath"), b.path}};
    };
    if (auto bundle = bundleOfRunningApp(identifier)) return describe(*bundle);
    if (name.isEmpty()) return std::nullopt;
    for (const auto& b : installed)
        if (b.name == name && bundleOfRunningApp(b.identifier)) return describe(b);
    return std::nullopt;
}

std::optional<QString> ZYMWorkspace::findApplicationForIdentifier(const QString& identifier, const QString& creator,
                                                                  const QString& name) const {
    (void)creator;
    const auto installed = installedApplications();
    for (const auto& b : installed)
        if (!identifier.isEmpty() && b.identifier == identifier) return b.path;
    for (const auto& b : installed)
        if (!name.isEmpty() && b.name == name) return b.path;
    return std::nullopt;
}

QList<ZYMApplicationBundle> ZYMWorkspace::installedApplications() {
    QList<ZYMApplicationBundle> result;
    QStringList seen;  // a desktop id in an earlier folder hides the later ones
    for (const QString& folder : ApplicationFolders()) {
        const QDir dir(folder);
        for (const QString& file : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name)) {
            if (seen.contains(file)) continue;
            seen.append(file);
            const auto entry = ReadIni(dir.filePath(file)).value(QStringLiteral("Desktop Entry"));
            ZYMApplicationBundle b;
            b.identifier = entry.value(QStringLiteral("X-ZYM-Identifier"), DesktopId(file));
            b.version = entry.value(QStringLiteral("X-ZYM-Version"));
            b.buildType = entry.value(QStringLiteral("X-ZYM-BuildType"));
            b.name = entry.value(QStringLiteral("Name"));
            b.path = dir.filePath(file);
            result.append(b);
        }
    }
    return result;
}

QStringList ZYMWorkspace::handlersOf(const QString& mimeType, bool defaultsOnly) const {
    QStringList files{XdgHome("XDG_CONFIG_HOME", QStringLiteral(".config")) + QStringLiteral("/mimeapps.list")};
    for (const QString& d : XdgDirs("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")))
        files.append(d + QStringLiteral("/mimeapps.list"));
    for (const QString& d : ApplicationFolders())
        files.append(d + QStringLiteral("/mimeapps.list"));
    QStringList defaults;
    QStringList added;
    for (const QString& f : files) {
        const IniGroups groups = ReadIni(f);
        defaults += SplitList(groups.value(QStringLiteral("Default Applications")).value(mimeType));
        added += SplitList(groups.value(QStringLiteral("Added Associations")).value(mimeType));
    }
    QStringList ids = defaultsOnly ? defaults : defaults + added;
    ids.removeDuplicates();
    // A handler is named by its identifier when its desktop file carries one.
    const auto installed = installedApplications();
    for (QString& id : ids) {
        QString mapped = DesktopId(id);
        for (const auto& b : installed)
            if (QFileInfo(b.path).fileName() == id) mapped = b.identifier;
        id = mapped;
    }
    return ids;
}

std::optional<QString> ZYMWorkspace::bundleIdentifierForAppHandlerOfMimeType(const QString& mimeType) const {
    const QStringList handlers = handlersOf(mimeType, false);
    if (handlers.isEmpty()) return std::nullopt;
    return handlers.first();
}

std::optional<QString> ZYMWorkspace::bundleIdentifierForDefaultHandlerOfScheme(const QString& scheme) const {
    const QStringList handlers = handlersOf(QStringLiteral("x-scheme-handler/") + scheme.toLower(), true);
    if (handlers.isEmpty()) return std::nullopt;
    return handlers.first();
}

std::optional<QStringList> ZYMWorkspace::arrayOfDefaultHandlersOfScheme(const QString& scheme) const {
    const QStringList handlers = handlersOf(QStringLiteral("x-scheme-handler/") + scheme.toLower(), false);
    if (handlers.isEmpty()) return std::nullopt;
    return handlers;
}

bool ZYMWorkspace::isDefaultHandlerRunning(const QString& scheme) const {
    const auto handler = bundleIdentifierForDefaultHandlerOfScheme(scheme);
    return handler && isAppRunning(*handler);
}

bool ZYMWorkspace::revealItemsInFinder(const QStringList& paths) const {
    if (paths.isEmpty() || !bus_.isConnected()) return false;
    QStringList uris;
    for (const QString& path : paths)
        uris.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

// ---- the photo application -------------------------------------------------------------

namespace {
const QString kPictureType = QStringLiteral("image/jpeg");
}  // namespace

std::optional<QString> ZYMWorkspace::iPhotoFind() const {
    const QStringList handlers = handlersOf(kPictureType, false);
    if (handlers.isEmpty()) return std::nullopt;
    for (const auto& b : installedApplications())
        if (b.identifier == handlers.first() && QFileInfo::exists(b.path)) return b.path;
    return std::nullopt;
}

std::optional<ZYMApplicationBundle> ZYMWorkspace::iPhotoBundle() const {
    const QStringList handlers = handlersOf(kPictureType, false);
    if (handlers.isEmpty()) return std::nullopt;
    if (auto running = bundleOfRunningApp(handlers.first())) return running;
    for (const auto& b : installedApplications())
        if (b.identifier == handlers.first()) return b;
    return std::nullopt;
}

std::optional<QVariantMap> ZYMWorkspace::iPhotoRunning() const {
    const auto bundle = iPhotoBundle();
    if (!bundle) return std::nullopt;
    return launchedApplicationForIdentifier(bundle->identifier, bundle->name);
}

bool ZYMWorkspace::iPhotoRun() const {
    if (iPhotoRunning()) return true;
    const auto path = iPhotoFind();
    if (!path || !QProcess::startDetached(QStringLiteral("gio"), {QStringLiteral("launch"), *path})) return false;
    // Bounded: an application that never takes its bus name must not hang the window.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (iPhotoRunning()) return true;
        QThread::msleep(100);
    }
    return false;
}

// ---- the desktop picture ---------------------------------------------------------------

QString ZYMWorkspace::getDesktopPictureFolder(bool unique) const {
    const QString name = Localizer::shared().text(QStringLiteral("DesktopPictureFolderName"));
    QString folder = applicationSupportPath() + QLatin1Char('/') + name;
    if (unique) folder += QLatin1Char('/') + ZYMString::uuidString() + QLatin1Char('/') + name;
    return folder;
}

void ZYMWorkspace::clearDesktopPictureFolder() const {
    const QDir folder(getDesktopPictureFolder(false));
    for (const QFileInfo& item : folder.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (item.isDir() && !item.isSymLink())
            QDir(item.filePath()).removeRecursively();
        else
            QFile::remove(item.filePath());
    }
}

void ZYMWorkspace::setPermissionsToReadWriteForFileAtPath(const QString& path) {
    const auto addReadWrite = [](const QString& file) {
        const QFileDevice::Permissions all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                             QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
        QFile::setPermissions(file, QFile::permissions(file) | all);
    };
    const QFileInfo info(path);
    if (!info.isDir()) {
        addReadWrite(path);
        return;
    }
    for (const QFileInfo& item : QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        addReadWrite(item.filePath());
}

bool ZYMWorkspace::setWallpaperThroughPortal(const QString& uri) const {
    if (!bus_.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Wallpaper"), QStringLiteral("SetWallpaperURI"));
    const QVariantMap options{{QStringLiteral("show-preview"), false},
                              {QStringLiteral("set-on"), QStringLiteral("background")}};
    call << QString() << uri << options;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
    NSLog(QStringLiteral("the desktop portal did not take the desktop picture: %1").arg(reply.errorMessage()));
    return false;
}

bool ZYMWorkspace::setWallpaperThroughSettings(const QString& uri) const {
    const QString schema = QStringLiteral("org.gnome.desktop.background");
    const auto run = [this](const QStringList& arguments, QByteArray* out) {
        QProcess process;
        process.start(settingsProgram_, arguments);
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(1000);
            return false;
        }
        if (out) *out = process.readAllStandardOutput().trimmed();
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    };
    QByteArray writable;
    if (!run({QStringLiteral("writable"), schema, QStringLiteral("picture-uri")}, &writable) || writable != "true")
        return false;
    if (!run({QStringLiteral("set"), schema, QStringLiteral("picture-uri"), uri}, nullptr)) return false;
    // The dark style's picture, on desktops that have one.
    QByteArray dark;
    if (run({QStringLiteral("writable"), schema, QStringLiteral("picture-uri-dark")}, &dark) && dark == "true")
        run({QStringLiteral("set"), schema, QStringLiteral("picture-uri-dark"), uri}, nullptr);
    return true;
}

bool ZYMWorkspace::setDesktopPictureFile(const QString& path) const {
    const QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    return setWallpaperThroughPortal(uri) || setWallpaperThroughSettings(uri);
}

bool ZYMWorkspace::setDesktopPictureFolder(const QString& path) const {
    const QStringList pictures = QDir(path).entryList(
        {QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.png"), QStringLiteral("*.gif"),
         QStringLiteral("*.bmp"), QStringLiteral("*.tif"), QStringLiteral("*.tiff"), QStringLiteral("*.webp")},
        QDir::Files, QDir::Name | QDir::IgnoreCase);
    if (pictures.isEmpty()) return false;
    return setDesktopPictureFile(QDir(path).filePath(pictures.first()));
}

bool ZYMWorkspace::setDesktopPictureWithPictureAtPath(const QString& path) const {
    bool isDirectory = false;
    if (path.isEmpty() || !ZYMFileManager::fileExistsAtPath(path, &isDirectory, true)) return false;
    setPermissionsToReadWriteForFileAtPath(path);
    return isDirectory ? setDesktopPictureFolder(path) : setDesktopPictureFile(path);
}

bool ZYMWorkspace::setDesktopPictureWithPicturesAtPaths(const QStringList& paths) const {
    if (paths.isEmpty()) return false;
    clearDesktopPictureFolder();
    const QString folder = getDesktopPictureFolder(true);
    if (!ZYMFileManager::ensureDirectoriesInPath(folder)) return false;
    for (const QString& path : paths)
        QFile::copy(path, folder + QLatin1Char('/') + QFileInfo(path).fileName());
    if (QDir(folder).isEmpty()) return false;
    return setDesktopPictureWithPictureAtPath(folder);
}
