#pragma once

// A persistent key/value cache of one service (named by its service URN), split into
// storages, one per storage key (the canonical user name). The cache keeps nothing
// itself: the storages come from a factory the application installs. Without a factory
// every write is dropped and every read misses. Main thread only.

#include <map>
#include <memory>
#include <string>

class DMDataCacheStorage {
public:
    DMDataCacheStorage(const std::string& cacheName, const std::string& storageKey)
        : mCacheName(cacheName), mStorageKey(storageKey) {}
    virtual ~DMDataCacheStorage() = default;
    DMDataCacheStorage(const DMDataCacheStorage&) = delete;
    DMDataCacheStorage& operator=(const DMDataCacheStorage&) = delete;

    virtual void Set(const std::string& itemKey, const std::string& value) = 0;
    // Found: value is the item's; otherwise value is left alone.
    [[nodiscard]] virtual bool Get(const std::string& itemKey, std::string& value) = 0;
    virtual bool Remove(const std::string& itemKey) = 0;
    // Writes the items out.
    virtual void Flush() = 0;
    // Removes every item; the written form changes at the next Flush.
    virtual void Clear() = 0;

    const std::string& GetCacheName() const { return mCacheName; }
    const std::string& GetStorageKey() const { return mStorageKey; }

protected:
    std::string mCacheName;
    std::string mStorageKey;
};

class DMDataCacheStorageFactory {
public:
    // A new storage, owned by the cache from then on.
    virtual DMDataCacheStorage* Create(const std::string& cacheName, const std::string& storageKey) = 0;

protected:
    ~DMDataCacheStorageFactory() = default;
};

class DMDataCache {
public:
    explicit DMDataCache(const std::string& name);
    // Flushes and deletes every storage.
    virtual ~DMDataCache();
    DMDataCache(const DMDataCache&) = delete;
    DMDataCache& operator=(const DMDataCache&) = delete;

    // Not owned; must outlive the cache's use of it.
    void SetStorageFactory(DMDataCacheStorageFactory* factory) { mFactory = factory; }
    DMDataCacheStorageFactory* GetStorageFactory() const { return mFactory; }
    const std::string& GetName() const { return mName; }

    // The storage filed under key; with create and a factory, a new one is made and
    // filed when there is none. Null otherwise.
    DMDataCacheStorage* GetStorage(const std::string& storageKey, bool create);
    void SetItem(const std::string& storageKey, const std::string& itemKey, const std::string& value);
    [[nodiscard]] bool GetItem(const std::string& storageKey, const std::string& itemKey, std::string& value);
    bool RemoveItem(const std::string& storageKey, const std::string& itemKey);
    // Clears every storage (nothing is written).
    void Clear();
    // Writes every storage, unless flushes are held: then the write is owed.
    void Flush();
    // A flush writes whole storages, so a run of many small changes (a directory load of
    // many answers) holds them and writes once at the end. Not nested: one release ends
    // the hold and does the owed write. The destructor writes, held or not.
    void HoldFlushes() { mHeld = true; }
    void ReleaseFlushes();
    bool FlushesHeld() const { return mHeld; }

private:
    void WriteStorages();

    std::string mName;
    std::map<std::string, std::unique_ptr<DMDataCacheStorage>> mStorages;
    DMDataCacheStorageFactory* mFactory = nullptr;  // not owned
    bool mHeld = false;
    bool mFlushOwed = false;
};
