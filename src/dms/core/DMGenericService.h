#pragma once

// The base of the service facades the application holds: for whom and where the
// service works, and its persistent data cache (one storage per canonical user name,
// named by the facade's service URN). Main thread only.

#include <memory>
#include <string>

#include "dms/core/DMDataCache.h"
#include "dms/core/DMSIFMethod.h"

class DMServicesProvider;
class DMSOAPElementType;

inline constexpr const char* kDMServiceURLCacheItemKey = "service_url_cache_item_key";
inline constexpr const char* kDMLoadDateCacheItemKey = "load_date_cache_item_key";

// The service URN of a type code; "" for a code other than 'Rdio', 'Rdo3', 'Pict'.
std::string ServiceTypeURN(EServiceType type);

class DMGenericService {
public:
    DMGenericService(const std::string& userName, const std::string& endpoint, DMServicesProvider* provider);
    // Flushes and deletes the cache.
    virtual ~DMGenericService();
    DMGenericService(const DMGenericService&) = delete;
    DMGenericService& operator=(const DMGenericService&) = delete;

    // The facade tells its own listener and invalidates its controller.
    virtual void InvalidateService() = 0;
    // Names the cache, e.g. "urn:zym-com:services:radio:3.0".
    virtual std::string ServiceTypeURN() = 0;

    // Installs the factory (not owned) and drops cached items that came from another
    // endpoint: the stored endpoint is then this facade's.
    void InstallCacheFactory(DMDataCacheStorageFactory* factory);

    void SetCacheValue(const std::string& key, const std::string& value);
    // value is emptied first.
    [[nodiscard]] bool GetCacheValue(const std::string& key, std::string& value);
    bool RemoveCacheValue(const std::string& key);
    // Stored in the fragment text form.
    void SetCachedElement(const std::string& key, DMSOAPElementType* element);
    // element is set to a new tree owned by the caller, or null; returns whether a text
    // was stored under key (a text that no longer parses gives true and null).
    [[nodiscard]] bool GetCachedElement(const std::string& key, DMSOAPElementType*& element);
    // Stored (and flushed) only when a cache exists.
    void SetLoadDate(const std::string& text);
    std::string GetLoadDate();
    void ClearCache();
    void FlushCache();
    // Clears the cache and records this facade's endpoint in it again.
    void ResetCache();

    const std::string& GetUserName() const { return mUserName; }
    const std::string& GetEndpoint() const { return mEndpoint; }
    const std::string& GetCanonicalUserName() const { return mCanonicalUserName; }
    DMServicesProvider* GetProvider() const { return mProvider; }
    DMDataCache* GetCache() const { return mCache.get(); }

protected:
    DMDataCache* EnsureCache();

    std::string mUserName;
    std::string mEndpoint;
    std::string mCanonicalUserName;
    std::unique_ptr<DMDataCache> mCache;
    DMServicesProvider* mProvider = nullptr;  // not owned
};
