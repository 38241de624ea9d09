// The per-service data cache and the generic facade's use of it.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "dms/core/DMDataCache.h"
#include "dms/core/DMGenericService.h"
#include "dms/core/DMSOAPElementType.h"

namespace {

using Items = std::map<std::string, std::string>;
using Disk = std::map<std::pair<std::string, std::string>, Items>;  // (cache, storage key)

// Keeps items in memory; Flush writes them to the shared "disk", which outlives caches
// the way files outlive program runs.
class MemoryStorage : public DMDataCacheStorage {
public:
    MemoryStorage(const std::string& cacheName, const std::string& storageKey, Disk& disk)
        : DMDataCacheStorage(cacheName, storageKey), disk_(disk) {
        auto found = disk_.find({cacheName, storageKey});
        if (found != disk_.end()) {
            items_ = found->second;
        }
    }
    void Set(const std::string& key, const std::string& value) override { items_[key] = value; }
    bool Get(const std::string& key, std::string& value) override {
        auto found = items_.find(key);
        if (found == items_.end()) {
            return false;
        }
        value = found->second;
        return true;
    }
    bool Remove(const std::string& key) override { return items_.erase(key) != 0; }
    void Flush() override {
        disk_[{mCacheName, mStorageKey}] = items_;
        ++flushes;
    }
    void Clear() override { items_.clear(); }

    int flushes = 0;

private:
    Disk& disk_;
    Items items_;
};

class MemoryFactory : public DMDataCacheStorageFactory {
public:
    DMDataCacheStorage* Create(const std::string& cacheName, const std::string& storageKey) override {
        ++created;
        return new MemoryStorage(cacheName, storageKey, disk);
    }
    Disk disk;
    int created = 0;
};

const char* kURN = "urn:zym-com:services:radio:3.0";

class TestFacade : public DMGenericService {
public:
    TestFacade(const std::string& user, const std::string& endpoint) : DMGenericService(user, endpoint, nullptr) {}
    void InvalidateService() override {}
    std::string ServiceTypeURN() override { return kURN; }
};

}  // namespace

TEST(DataCache, StoragesComeFromTheFactoryAndAreFlushedOnDestruction) {
    MemoryFactory factory;
    {
        DMDataCache cache("c");
        std::string value = "untouched";
        EXPECT_EQ(cache.GetStorage("u", true), nullptr);  // no factory yet
        cache.SetItem("u", "k", "v");
        EXPECT_FALSE(cache.GetItem("u", "k", value));
        EXPECT_EQ(value, "untouched");

        cache.SetStorageFactory(&factory);
        EXPECT_EQ(cache.GetStorage("u", false), nullptr);
        cache.SetItem("u", "k", "v");
        EXPECT_EQ(factory.created, 1);
        EXPECT_TRUE(cache.GetItem("u", "k", value));
        EXPECT_EQ(value, "v");
        EXPECT_TRUE(cache.RemoveItem("u", "k"));
        EXPECT_FALSE(cache.RemoveItem("u", "k"));
        cache.SetItem("u", "k2", "v2");
        cache.SetItem("other", "k3", "v3");
        EXPECT_TRUE(factory.disk.empty());
    }
    EXPECT_EQ(factory.disk[std::make_pair(std::string("c"), std::string("u"))], (Items{{"k2", "v2"}}));
    EXPECT_EQ(factory.disk[std::make_pair(std::string("c"), std::string("other"))], (Items{{"k3", "v3"}}));
}

TEST(DataCache, HeldFlushesWriteOnceWhenReleasedAndAlwaysAtTheEnd) {
    MemoryFactory factory;
    const auto key = std::make_pair(std::string("c"), std::string("u"));
    {
        DMDataCache cache("c");
        cache.SetStorageFactory(&factory);
        auto* storage = static_cast<MemoryStorage*>(cache.GetStorage("u", true));
        cache.HoldFlushes();
        cache.SetItem("u", "k", "v");
        cache.Flush();
        cache.Flush();
        EXPECT_EQ(storage->flushes, 0);
        EXPECT_TRUE(factory.disk.empty());
        cache.ReleaseFlushes();
        EXPECT_EQ(storage->flushes, 1);
        EXPECT_EQ(factory.disk[key], (Items{{"k", "v"}}));
        // Released with nothing owed: nothing written; not held: written at once.
        cache.HoldFlushes();
        cache.ReleaseFlushes();
        cache.ReleaseFlushes();
        EXPECT_EQ(storage->flushes, 1);
        cache.Flush();
        EXPECT_EQ(storage->flushes, 2);
        // Still held when the cache goes: written all the same.
        cache.HoldFlushes();
        cache.SetItem("u", "k2", "v2");
    }
    EXPECT_EQ(factory.disk[key], (Items{{"k", "v"}, {"k2", "v2"}}));
}

TEST(DataCache, FacadeWithoutFactoryDropsWritesAndMissesReads) {
    TestFacade facade("Alice", "http://a/");
    EXPECT_EQ(facade.GetLoadDate(), "");
    facade.SetCacheValue("k", "v");
    std::string value = "x";
    EXPECT_FALSE(facade.GetCacheValue("k", value));
    EXPECT_EQ(value, "");  // emptied first
    DMSOAPElementType* element = reinterpret_cast<DMSOAPElementType*>(&value);
    EXPECT_FALSE(facade.GetCachedElement("never", element));
    EXPECT_EQ(element, nullptr);
    facade.SetLoadDate("2026-12-10T00:00:00Z");
    EXPECT_EQ(facade.GetLoadDate(), "");
    EXPECT_FALSE(facade.RemoveCacheValue("k"));
    facade.ClearCache();
    facade.FlushCache();
    facade.ResetCache();
}

TEST(DataCache, ItemsFromAnotherEndpointAreNeverReused) {
    MemoryFactory factory;
    {
        TestFacade first("Alice", "http://a/");
        first.InstallCacheFactory(&factory);
        first.SetCacheValue("stations", "A-data");
        first.SetLoadDate("2026-12-10T08:00:00Z");
    }
    const auto key = std::make_pair(std::string(kURN), std::string("alice"));
    EXPECT_EQ(factory.disk[key].at("stations"), "A-data");

    {
        // Same endpoint, user name spelt differently: same storage, items kept.
        TestFacade again(" ALICE", "http://a/");
        again.InstallCacheFactory(&factory);
        std::string value;
        EXPECT_TRUE(again.GetCacheValue("stations", value));
        EXPECT_EQ(value, "A-data");
        EXPECT_EQ(again.GetLoadDate(), "2026-12-10T08:00:00Z");
    }
    {
        TestFacade moved("alice", "http://b/");
        moved.InstallCacheFactory(&factory);
        std::string value;
        EXPECT_FALSE(moved.GetCacheValue("stations", value));
        EXPECT_EQ(moved.GetLoadDate(), "");
        // Already written out, before any later flush.
        EXPECT_EQ(factory.disk[key], (Items{{kDMServiceURLCacheItemKey, "http://b/"}}));
    }
}

TEST(DataCache, ElementsLoadDateClearAndReset) {
    MemoryFactory factory;
    const auto key = std::make_pair(std::string(kURN), std::string("bob"));
    {
        TestFacade facade("bob", "http://a/");
        facade.InstallCacheFactory(&factory);

        DMSOAPElementType station("Station", "urn:test", "Jazz & more");
        station.AddAttribute(new DMSOAPAttributeType("id", "", "42"), false);
        station.AddChild(new DMSOAPElementType("Name", "urn:test", "Radio <1>"), false);
        facade.SetCachedElement("station", &station);
        DMSOAPElementType* read = nullptr;
        ASSERT_TRUE(facade.GetCachedElement("station", read));
        std::unique_ptr<DMSOAPElementType> owned(read);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->name, "Station");
        EXPECT_EQ(read->namespaceURI, "urn:test");
        EXPECT_EQ(read->text, "Jazz & more");
        EXPECT_EQ(read->FindAttribute("id")->value, "42");
        EXPECT_EQ(read->FindChild("Name", 1)->text, "Radio <1>");

        // A stored text that does not parse is found, but gives no element.
        facade.SetCacheValue("broken", "<unclosed");
        DMSOAPElementType* broken = &station;
        EXPECT_TRUE(facade.GetCachedElement("broken", broken));
        EXPECT_EQ(broken, nullptr);

        facade.SetLoadDate("2026-12-10T09:00:00Z");  // flushes
        EXPECT_EQ(factory.disk[key].at(kDMLoadDateCacheItemKey), "2026-12-10T09:00:00Z");

        // Cleared but not flushed: the written items stay as they were.
        facade.ClearCache();
        EXPECT_EQ(facade.GetLoadDate(), "");
        EXPECT_EQ(factory.disk[key].at(kDMLoadDateCacheItemKey), "2026-12-10T09:00:00Z");
    }
    // The facade's destructor flushes the cleared cache.
    EXPECT_TRUE(factory.disk[key].empty());

    TestFacade facade("bob", "http://a/");
    facade.InstallCacheFactory(&factory);
    facade.SetCacheValue("k", "v");
    facade.ResetCache();
    EXPECT_EQ(factory.disk[key], (Items{{kDMServiceURLCacheItemKey, "http://a/"}}));
}

TEST(DataCache, ServiceTypeURNs) {
    EXPECT_EQ(ServiceTypeURN(kServiceTypeRadio), "urn:zym-com:services:radio");
    EXPECT_EQ(ServiceTypeURN(kServiceTypeRadio3), "urn:zym-com:services:radio:3.0");
    EXPECT_EQ(ServiceTypeURN(kServiceTypePictures), "urn:zym-com:services:photo");
    EXPECT_EQ(ServiceTypeURN(DMFourCharCode("rdio")), "");
    EXPECT_EQ(ServiceTypeURN(0), "");
}
