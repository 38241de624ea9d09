#include "dms/core/DMGenericService.h"

#include <exception>

#include "dms/core/DMAuthenticationTypes.h"
#include "dms/core/DMSOAPElementType.h"
#include "runtime/LogMessage.h"

std::string ServiceTypeURN(EServiceType type) {
    switch (type) {
    case kServiceTypeRadio: return "urn:zym-com:services:radio";
    case kServiceTypeRadio3: return "urn:zym-com:services:radio:3.0";
    case kServiceTypePictures: return "urn:zym-com:services:photo";
    default: return "";
    }
}

DMGenericService::DMGenericService(const std::string& userName, const std::string& endpoint,
                                   DMServicesProvider* provider)
    : mUserName(userName),
      mEndpoint(endpoint),
      mCanonicalUserName(SIFCanonicalizedString(userName)),
      mProvider(provider) {}

DMGenericService::~DMGenericService() {
    if (mCache) {
        mCache->Flush();
    }
}

DMDataCache* DMGenericService::EnsureCache() {
    if (!mCache) {
        mCache = std::make_unique<DMDataCache>(ServiceTypeURN());
    }
    return mCache.get();
}

void DMGenericService::InstallCacheFactory(DMDataCacheStorageFactory* factory) {
    EnsureCache()->SetStorageFactory(factory);
    std::string stored;
    if (!mCache->GetItem(mCanonicalUserName, kDMServiceURLCacheItemKey, stored) || stored != mEndpoint) {
        // Data cached from another endpoint (another service environment) is never reused.
        mCache->Clear();
        mCache->SetItem(mCanonicalUserName, kDMServiceURLCacheItemKey, mEndpoint);
        mCache->Flush();
    }
}

void DMGenericService::SetCacheValue(const std::string& key, const std::string& value) {
    EnsureCache()->SetItem(mCanonicalUserName, key, value);
}

bool DMGenericService::GetCacheValue(const std::string& key, std::string& value) {
    value.clear();
    return mCache && mCache->GetItem(mCanonicalUserName, key, value);
}

bool DMGenericService::RemoveCacheValue(const std::string& key) {
    return mCache && mCache->RemoveItem(mCanonicalUserName, key);
}

void DMGenericService::SetCachedElement(const std::string& key, DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    std::string text;
    element->ToString(text, DMNamespacePrefixMap());
    SetCacheValue(key, text);
}

bool DMGenericService::GetCachedElement(const std::string& key, DMSOAPElementType*& element) {
    element = nullptr;
    std::string text;
    if (!GetCacheValue(key, text)) {
        return false;
    }
    try {
        element = DMSOAPElementType::CreateFromString(text, DMNamespacePrefixMap(), true);
    } catch (const std::exception& e) {
        LogMessage(kLogError, "Cached item %s does not parse (%s)\n", key.c_str(), e.what());
    }
    return true;
}

void DMGenericService::SetLoadDate(const std::string& text) {
    if (mCache) {
        mCache->SetItem(mCanonicalUserName, kDMLoadDateCacheItemKey, text);
        mCache->Flush();
    }
}

std::string DMGenericService::GetLoadDate() {
    std::string date;
    return GetCacheValue(kDMLoadDateCacheItemKey, date) ? date : std::string();
}

void DMGenericService::ClearCache() {
    LogMessage(kLogDebug, "DMGenericService::ClearCache\n");
    if (mCache) {
        mCache->Clear();
    }
}

void DMGenericService::FlushCache() {
    LogMessage(kLogDebug, "DMGenericService::FlushCache\n");
    if (mCache) {
        mCache->Flush();
    }
}

void DMGenericService::ResetCache() {
    ClearCache();
    if (mCache) {
        mCache->SetItem(mCanonicalUserName, kDMServiceURLCacheItemKey, mEndpoint);
        mCache->Flush();
    }
}
