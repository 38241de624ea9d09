#include "dms/core/DMDataCache.h"

#include <utility>

DMDataCache::DMDataCache(const std::string& name) : mName(name) {}

DMDataCache::~DMDataCache() { WriteStorages(); }

DMDataCacheStorage* DMDataCache::GetStorage(const std::string& storageKey, bool create) {
    auto found = mStorages.find(storageKey);
    if (found != mStorages.end()) {
        return found->second.get();
    }
    if (!create || !mFactory) {
        return nullptr;
    }
    std::unique_ptr<DMDataCacheStorage> storage(mFactory->Create(mName, storageKey));
    DMDataCacheStorage* made = storage.get();
    if (storage) {
        mStorages[storageKey] = std::move(storage);
    }
    return made;
}

void DMDataCache::SetItem(const std::string& storageKey, const std::string& itemKey, const std::string& value) {
    if (DMDataCacheStorage* storage = GetStorage(storageKey, true)) {
        storage->Set(itemKey, value);
    }
}

bool DMDataCache::GetItem(const std::string& storageKey, const std::string& itemKey, std::string& value) {
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
    if (mHeld) {
        mFlushOwed = true;
        return;
    }
    WriteStorages();
}

void DMDataCache::ReleaseFlushes() {
    if (!mHeld) return;
    mHeld = false;
    if (std::exchange(mFlushOwed, false)) WriteStorages();
}

void DMDataCache::WriteStorages() {
    mFlushOwed = false;
    for (auto& entry : mStorages) {
        entry.second->Flush();
    }
}
