// The web-service core's data cache over the application's file storage, driven by a
// script of item operations: set, get, remove, clear, flush, and closing the cache and
// opening it again from its files. Every read answers what a plain map of the same
// operations holds, also after a reopening (for storages that have a file), and no
// storage name, whatever its bytes, leads a file out of the cache folder. The folder is
// a temporary one, emptied before each input.

#include "app/services/ZYMCacheStorage.h"
#include "app/foundation/NSLog.h"
#include "dms/core/DMDataCache.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace {

class Script {
public:
    Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Done() const { return pos_ >= size_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // Printable text, so that what is stored is exactly what a file can give back.
    std::string Text() {
        const size_t n = Byte() % 24;
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s.push_back(char(' ' + Byte() % 95));
        return s;
    }
    // Any bytes: the name of a storage that only lives in memory in this run.
    std::string Bytes() {
        const size_t n = Byte() % 16;
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s.push_back(char(Byte()));
        return s;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

using Model = std::map<std::string, std::map<std::string, std::string>>;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The log lines of refused input would only slow the run down.
    static const bool quiet = (SetNSLogSink([](const QString&) {}), true);
    (void)quiet;
    static QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("cache"));
    QDir(root).removeRecursively();
    ZYMCacheStorageFactory factory(root);

    // Distinct after the file names are made safe; ".." has no file and stays in memory.
    static const std::string kKeys[] = {"listener", "user@example.com", "a:b", ".."};
    static const std::string kCacheName = "urn:zym-com:service:Radio:1";
    Script s(data, size);
    Model model;
    std::string odd = s.Bytes();
    {
        ZYMCacheStorage probe(kCacheName, odd, root);
        if (const auto path = probe.filePath()) {
            if (!QDir::cleanPath(*path).startsWith(root + QLatin1Char('/'))) abort();
        }
        ZYMCacheStorage probeName(odd, "listener", root);
        if (const auto path = probeName.filePath()) {
            if (!QDir::cleanPath(*path).startsWith(root + QLatin1Char('/'))) abort();
        }
    }
    auto cache = std::make_unique<DMDataCache>(kCacheName);
    cache->SetStorageFactory(&factory);
    // Under a cache name of its own, so that its file can never be one of the others'.
    DMDataCache oddCache("urn:odd");
    oddCache.SetStorageFactory(&factory);
    std::set<std::string> open;  // the storages this cache object has made
    for (int step = 0; step < 256 && !s.Done(); ++step) {
        const uint8_t op = s.Byte();
        const std::string& key = kKeys[(op >> 4) & 3];
        if (op % 7 <= 2) open.insert(key);
        switch (op % 7) {
        case 0: {
            const std::string item = s.Text(), value = s.Text();
            cache->SetItem(key, item, value);
            model[key][item] = value;
            break;
        }
        case 1: {
            const std::string item = s.Text();
            std::string value = "untouched";
            const bool found = cache->GetItem(key, item, value);
            const auto storage = model.find(key);
            const bool expected = storage != model.end() && storage->second.count(item);
            if (found != expected || (found && value != storage->second.at(item))) abort();
            break;
        }
        case 2: {
            const std::string item = s.Text();
            cache->RemoveItem(key, item);
            model[key].erase(item);
            break;
        }
        case 3:
            // Only the storages made so far; another one's file keeps its items.
            cache->Clear();
            for (const std::string& name : open)
                model[name].clear();
            break;
        case 4: cache->Flush(); break;
        case 5:
            // Closing flushes; what has a file comes back, what had none is gone.
            cache.reset();
            model.erase("..");
            open.clear();
            cache = std::make_unique<DMDataCache>(kCacheName);
            cache->SetStorageFactory(&factory);
            break;
        case 6: {
            // The storage named by any bytes: it keeps its items in memory, wherever its file goes.
            const std::string item = s.Text(), value = s.Text();
            oddCache.SetItem(odd, item, value);
            std::string back;
            if (!oddCache.GetItem(odd, item, back) || back != value) abort();
            break;
        }
        }
    }
    cache.reset();
    return 0;
}
