#include "app/support/ZYMWorkspace.h"

#include "app/foundation/ZYMFileManager.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
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
