#pragma once

// The on-disk storage of the web-service core's per-user data caches: one XML property
// list of string keys and values per cache name and storage key, at
// <root>/<storage key>/<cache name>.cache, root being $XDG_CACHE_HOME/zymradio. In each
// name every run of ':', '/' and '\' becomes one '_'. A name that is empty or only dots
// after that would leave the folder: such a storage is kept in memory only (logged).
// Read once, lazily; a missing, unreadable, malformed or oversized file, or one holding
// anything but strings, reads as an empty cache. Written atomically at Flush. Main
// thread only.

#include <QString>
#include <QVariantMap>

#include <optional>
#include <string>
#include <utility>

#include "dms/core/DMDataCache.h"

class ZYMCacheStorage : public DMDataCacheStorage {
public:
    // `root` empty: the application's cache folder.
    ZYMCacheStorage(const std::string& cacheName, const std::string& storageKey, const QString& root = QString());
    ~ZYMCacheStorage() override;

    void Set(const std::string& itemKey, const std::string& value) override;
    // Missing: false, and value is emptied.
    [[nodiscard]] bool Get(const std::string& itemKey, std::string& value) override;
    bool Remove(const std::string& itemKey) override;
    void Flush() override;
    void Clear() override;

    // The file, or nullopt when the names cannot make a safe one.
    std::optional<QString> filePath() const;

    // A file larger than this reads as an empty cache.
    static constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;
    // Replaces every run of ':', '/' and '\' by one '_'.
    static QString sanitize(const QString& name);
    // $XDG_CACHE_HOME/zymradio.
    static QString defaultRoot();

private:
    void ensureLoaded();
    QString root_;
    std::optional<QVariantMap> items_;
};

class ZYMCacheStorageFactory : public DMDataCacheStorageFactory {
public:
    explicit ZYMCacheStorageFactory(QString root = QString()) : root_(std::move(root)) {}
    virtual ~ZYMCacheStorageFactory() = default;
    DMDataCacheStorage* Create(const std::string& cacheName, const std::string& storageKey) override;

private:
    QString root_;
};

// The process's one factory over the application's cache folder.
ZYMCacheStorageFactory& SharedCacheStorageFactory();
