#include "dms/core/DMDataCache.h"

DMDataCache::DMDataCache(const std::string& name) : mName(name) {}

DMDataCache::~DMDataCache() {
    for (auto& entry : mStorages) {
        entry.second->Flush();
        delete entry.second;
    }
}

DMDataCacheStorage* DMDataCache::GetStorage(const std::string& storageKey, bool create) {
    auto found = mStorages.find(storageKey);
    if (found != mStorages.end()) {
        return found->second;
    }
    if (!create || !mFactory) {
        return nullptr;
    }
    DMDataCacheStorage* storage = mFactory->Create(mName, storageKey);
    if (storage) {
        mStorages[storageKey] = storage;
    }
    return storage;
}

void DMDataCache::SetItem(const std::string& storageKey, const std::string& itemKey,
                          const std::string& value) {
    if (DMDataCacheStorage* storage = GetStorage(storageKey, true)) {
        storage->Set(itemKey, value);
    }
}

bool DMDataCache::GetItem(const std::string& storageKey, const std::string& itemKey,
                          std::string& value) {
    DMDataCacheStorage* storage = GetStorage(storageKey, true);
    return storage && storage->Get(itemKey, value);
}

bool DMDataCache::RemoveItem(const std::string& storageKey, const std::string& itemKey) {
    DMDataCacheStorage* storage = GetStorage(storageKey, true);
    return storage && storage->Remove(itemKey);
}

void DMDataCache::Clear() {
    for (auto& entry : mStorages) {
        entry.second->Clear();
    }
}

void DMDataCache::Flush() {
    for (auto& entry : mStorages) {
        entry.second->Flush();
    }
}
