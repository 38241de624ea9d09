#include "app/services/ZYMCacheStorage.h"

#include "app/foundation/ZYMFileManager.h"

#include "app/foundation/NSLog.h"
#include "app/foundation/PropertyList.h"
#include "runtime/LogMessage.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Empty, "." or "..": as a path component it would name the folder itself or its parent.
bool Unsafe(const QString& component) {
    for (QChar c : component)
        if (c != QLatin1Char('.')) return false;
    return true;
}

}  // namespace

ZYMCacheStorage::ZYMCacheStorage(const std::string& cacheName, const std::string& storageKey, const QString& root)
    : DMDataCacheStorage(cacheName, storageKey), root_(root.isEmpty() ? defaultRoot() : root) {}

ZYMCacheStorage::~ZYMCacheStorage() = default;

QString ZYMCacheStorage::defaultRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/zymradio");
}

QString ZYMCacheStorage::sanitize(const QString& name) {
    static const QRegularExpression separators(QStringLiteral("[:/\\\\]+"));
    QString out = name;
    return out.replace(separators, QStringLiteral("_"));
}

std::optional<QString> ZYMCacheStorage::filePath() const {
    const QString folder = sanitize(FromUtf8(mStorageKey));
    const QString file = sanitize(FromUtf8(mCacheName));
    // A NUL would cut the path short where the system reads it.
    if (Unsafe(folder) || Unsafe(file) || folder.contains(QChar(0)) || file.contains(QChar(0))) return std::nullopt;
    return root_ + QLatin1Char('/') + folder + QLatin1Char('/') + file + QStringLiteral(".cache");
}

void ZYMCacheStorage::ensureLoaded() {
    if (items_) return;
    items_.emplace();
    const std::optional<QString> path = filePath();
    if (!path) {
        NSLog(QStringLiteral("Cache storage kept in memory only: no safe file name for key [%1] and name [%2]")
                  .arg(FromUtf8(mStorageKey), FromUtf8(mCacheName)));
        return;
    }
    const QByteArray local = path->toUtf8();
    LogMessage(kLogDebug, "ZYMCacheStorage::EnsureCacheLoaded - filepath = [%s]\n", local.constData());
    const QFileInfo info(*path);
    if (!info.isFile()) return;
    if (info.size() > kMaxFileBytes) {
        NSLog(QStringLiteral("Cache file %1 is too large (%2 bytes); read as empty").arg(*path).arg(info.size()));
        return;
    }
    QString error;
    const std::optional<QVariant> read = PropertyList::readFile(*path, &error);
    if (!read || read->typeId() != QMetaType::QVariantMap) {
        LogMessage(kLogDebug, "ZYMCacheStorage::EnsureCacheLoaded - unreadable cache file\n");
        return;
    }
    const QVariantMap map = read->toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QString) {
            // Not what this storage writes: trust none of it.
            LogMessage(kLogDebug, "ZYMCacheStorage::EnsureCacheLoaded - cache file holds a non-string value\n");
            return;
        }
    }
    *items_ = map;
    LogMessage(kLogDebug, "ZYMCacheStorage::EnsureCacheLoaded - cacheDict = %lx\n%d items\n",
               static_cast<unsigned long>(reinterpret_cast<quintptr>(&*items_)), int(items_->size()));
}

void ZYMCacheStorage::Set(const std::string& itemKey, const std::string& value) {
    ensureLoaded();
    items_->insert(FromUtf8(itemKey), FromUtf8(value));
}

bool ZYMCacheStorage::Get(const std::string& itemKey, std::string& value) {
    ensureLoaded();
    auto it = items_->constFind(FromUtf8(itemKey));
    if (it == items_->cend()) {
        value.clear();
        return false;
    }
    value = it.value().toString().toUtf8().toStdString();
    return true;
}

bool ZYMCacheStorage::Remove(const std::string& itemKey) {
    ensureLoaded();
    items_->remove(FromUtf8(itemKey));
    return true;
}

void ZYMCacheStorage::Flush() {
    LogMessage(kLogDebug, "ZYMCacheStorage::Flush\n");
    const std::optional<QString> path = filePath();
    if (!path) {
        NSLog(QStringLiteral("Cache storage not written: no safe file name for key [%1] and name [%2]")
                  .arg(FromUtf8(mStorageKey), FromUtf8(mCacheName)));
        return;
    }
    // Never read: writing would replace the file's items with none.
    if (!items_) return;
    ZYMFileManager::ensureDirectoriesInPath(QFileInfo(*path).path());
    QString error;
    if (!PropertyList::writeFile(*path, *items_, &error))
        NSLog(QStringLiteral("Failed to write cache file to %1").arg(*path));
}

void ZYMCacheStorage::Clear() {
    LogMessage(kLogDebug, "ZYMCacheStorage::Clear\n");
    if (items_)
        items_->clear();
    else
        items_.emplace();
}

DMDataCacheStorage* ZYMCacheStorageFactory::Create(const std::string& cacheName, const std::string& storageKey) {
    return new ZYMCacheStorage(cacheName, storageKey, root_);
}

ZYMCacheStorageFactory& SharedCacheStorageFactory() {
    static auto* factory = new ZYMCacheStorageFactory();
    return *factory;
}
