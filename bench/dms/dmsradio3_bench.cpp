// The radio directory from answer text to the held directory and its cache items,
// without the network: a 5,000-station ListStations answer and a GetStationInfo answer
// for all of them (two formats, two categories, an image and a banner each), each parsed
// into the element tree, decoded, merged and written to an in-memory cache, measured
// against libxml2's own parse of the same two texts.
//
//   dmsradio3_bench --benchmark_min_time=1
//
// BM_DirectoryOverFloor reports seconds per load ("load_s") and the ratio to the floor.
//
// BM_StationInfoAnswers is the load as the server really answers it: GetStationInfo in
// answers of 20 stations, one after another, into a cache whose flush writes the whole
// storage to a file, as the application's does. Arguments: the directory's size, and
// whether the cache's flushes are held for the load (as the radio service holds them)
// or each answer writes the file. "answer_ms" (wall) and "answer_cpu_ms" are the cost of
// one answer: held, it stays the same whatever the directory's size; written per answer,
// it grows with it, and the whole load with its square.

#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "dms/core/DMDataCache.h"
#include "dms/core/DMSOAPNamespaces.h"
#include "dms/radio3/DMRadio3Service.h"

namespace {

constexpr int kStations = 5000;

const char* const kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<S:Envelope xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:r=\"urn:zym-com:ns:service:radio:3.0\">"
    "<S:Body>";
const char* const kTail = "</S:Body></S:Envelope>\n";

std::string ListStationsText(int stations = kStations) {
    std::string text = kHead;
    text +=
        "<r:IMetadataBrowseResponse timeStamp=\"2026-12-01T08:00:00Z\" remaining=\"0\" offset=\"0\">"
        "<r:Status code=\"OK\"/>";
    for (int i = 0; i < stations; ++i) {
        const std::string n = std::to_string(i);
        text += "<r:Station r:stationId=\"radio:aggregate:" + n + "\" r:playMode=\"full\"><r:Name>Station " + n +
                "</r:Name><r:Desc xml:lang=\"en\">Music &amp; talk " + n + "</r:Desc><r:Category>" +
                std::to_string(i % 40) + "</r:Category><r:Category>" + std::to_string(40 + i % 7) +
                "</r:Category></r:Station>";
    }
    return text + "</r:IMetadataBrowseResponse>" + kTail;
}

std::string StationInfoText(int first = 0, int count = kStations) {
    std::string text = kHead;
    text += "<r:IMetadataDescribeResponse timeStamp=\"2026-12-01T08:00:00Z\"><r:Status code=\"OK\"/>";
    for (int i = first; i < first + count; ++i) {
        const std::string n = std::to_string(i);
        text += "<r:Station r:stationId=\"radio:aggregate:" + n +
                "\" r:playMode=\"full\" r:type=\"zym\">"
                "<r:Name>Station " +
                n + "</r:Name><r:Desc>Short " + n + "</r:Desc><r:LongDesc>All about " + n +
                "</r:LongDesc><r:ImageUrlBase>http://img.example/</r:ImageUrlBase>"
                "<r:StationUrl>http://st.example/" +
                n +
                "</r:StationUrl>"
                "<r:Format r:mediaFormatId=\"mf128\" r:progId=\"" +
                n +
                ",1\"/>"
                "<r:Format r:mediaFormatId=\"mf64\" r:progId=\"" +
                n +
                ",2\"/>"
                "<r:Category>" +
                std::to_string(i % 40) + "</r:Category><r:Category>" + std::to_string(40 + i % 7) +
                "</r:Category>"
                "<r:Image r:url=\"http://img.example/" +
                n +
                ".png\" r:type=\"logo\" r:width=\"64\" r:height=\"64\"/>"
                "<r:Banner r:width=\"300\" r:height=\"250\" r:bannerId=\"8\" r:magicNumber=\"mn-" +
                n + "\" r:flavorId=\"600\"><r:Url>http://ads.example/" + n +
                "</r:Url><r:Text>Visit</r:Text></r:Banner>"
                "</r:Station>";
    }
    return text + "</r:IMetadataDescribeResponse>" + kTail;
}

const std::string& Text(int which) {
    static const std::string texts[2] = {ListStationsText(), StationInfoText()};
    return texts[which];
}

class MemoryFactory : public DMDataCacheStorageFactory {
public:
    class Storage : public DMDataCacheStorage {
    public:
        using DMDataCacheStorage::DMDataCacheStorage;
        void Set(const std::string& k, const std::string& v) override { items[k] = v; }
        bool Get(const std::string& k, std::string& v) override {
            auto it = items.find(k);
            if (it == items.end()) return false;
            v = it->second;
            return true;
        }
        bool Remove(const std::string& k) override { return items.erase(k) != 0; }
        void Flush() override {}
        void Clear() override { items.clear(); }
        std::map<std::string, std::string> items;
    };
    DMDataCacheStorage* Create(const std::string& name, const std::string& key) override {
        return new Storage(name, key);
    }
};

// The answer as the controller hands it on: parsed, its response element decoded.
template <typename Output>
Output* Decode(const std::string& text) {
    std::unique_ptr<DMSOAPElementType> envelope(
        DMSOAPElementType::CreateFromString(text, SIFNamespacePrefixTable(), false));
    DMSOAPElementType* body = envelope->FindChild("Body", 1);
    return new Output(body->children.front());
}

// One whole load: both answers into a fresh service object, its lists and its cache.
void Load(MemoryFactory& factory) {
    auto* service = new DMRadio3Service("bench", nullptr, nullptr);
    service->InstallCacheFactory(&factory);
    std::unique_ptr<DMSIF_MethodOutputType> stations(Decode<DMRadio3_ListStations_OutputType>(Text(0)));
    DMSIF_MethodRef list("ListStations", "m1");
    service->DidFinish(&list, nullptr, stations.get());
    std::unique_ptr<DMSIF_MethodOutputType> infos(Decode<DMRadio3_GetStationInfo_OutputType>(Text(1)));
    DMSIF_MethodRef describe("GetStationInfo", "m2");
    service->DidFinish(&describe, nullptr, infos.get());
    DMRadio3_StationInfoType info;
    if (!service->GetStationInfoFromCache("radio:aggregate:4999", info)) std::abort();
    delete service;
}

void Floor() {
    for (int which = 0; which < 2; ++which) {
        const std::string& text = Text(which);
        xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, XML_PARSE_NONET);
        benchmark::DoNotOptimize(doc);
        xmlFreeDoc(doc);
    }
}

void BM_LibxmlParseFloor(benchmark::State& state) {
    Text(0);
    for (auto _ : state)
        Floor();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (Text(0).size() + Text(1).size())));
}
BENCHMARK(BM_LibxmlParseFloor)->Unit(benchmark::kMillisecond);

// The parts of a load: text to element trees, trees to outputs, outputs to what is held
// and cached.
void BM_PartParse(benchmark::State& state) {
    Text(0);
    RegisterSIFNamespaces();
    for (auto _ : state) {
        for (int which = 0; which < 2; ++which) {
            std::unique_ptr<DMSOAPElementType> tree(
                DMSOAPElementType::CreateFromString(Text(which), SIFNamespacePrefixTable(), false));
            benchmark::DoNotOptimize(tree.get());
        }
    }
}
BENCHMARK(BM_PartParse)->Unit(benchmark::kMillisecond);

void BM_PartDecode(benchmark::State& state) {
    RegisterSIFNamespaces();
    std::unique_ptr<DMSOAPElementType> trees[2];
    for (int which = 0; which < 2; ++which)
        trees[which].reset(DMSOAPElementType::CreateFromString(Text(which), SIFNamespacePrefixTable(), false));
    for (auto _ : state) {
        DMRadio3_ListStations_OutputType stations(trees[0]->FindChild("Body", 1)->children.front());
        DMRadio3_GetStationInfo_OutputType infos(trees[1]->FindChild("Body", 1)->children.front());
        benchmark::DoNotOptimize(infos.mStations.data());
    }
}
BENCHMARK(BM_PartDecode)->Unit(benchmark::kMillisecond);

void BM_PartHoldAndCache(benchmark::State& state) {
    RegisterSIFNamespaces();
    std::unique_ptr<DMSIF_MethodOutputType> stations(Decode<DMRadio3_ListStations_OutputType>(Text(0)));
    std::unique_ptr<DMSIF_MethodOutputType> infos(Decode<DMRadio3_GetStationInfo_OutputType>(Text(1)));
    for (auto _ : state) {
        MemoryFactory factory;
        auto* service = new DMRadio3Service("bench", nullptr, nullptr);
        service->InstallCacheFactory(&factory);
        DMSIF_MethodRef list("ListStations", "m1");
        service->DidFinish(&list, nullptr, stations.get());
        DMSIF_MethodRef describe("GetStationInfo", "m2");
        service->DidFinish(&describe, nullptr, infos.get());
        delete service;
    }
}
BENCHMARK(BM_PartHoldAndCache)->Unit(benchmark::kMillisecond);

void BM_DirectoryLoad(benchmark::State& state) {
    Text(0);
    RegisterSIFNamespaces();
    for (auto _ : state) {
        MemoryFactory factory;
        Load(factory);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (Text(0).size() + Text(1).size())));
}
BENCHMARK(BM_DirectoryLoad)->Unit(benchmark::kMillisecond);

// Both measured alternately in one iteration, so machine load hits both alike.
void BM_DirectoryOverFloor(benchmark::State& state) {
    Text(0);
    RegisterSIFNamespaces();
    double floor = 0;
    double full = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        Floor();
        const auto t1 = std::chrono::steady_clock::now();
        MemoryFactory factory;
        Load(factory);
        const auto t2 = std::chrono::steady_clock::now();
        floor += std::chrono::duration<double>(t1 - t0).count();
        full += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["load_s"] = full / static_cast<double>(state.iterations());
    state.counters["ratio"] = floor > 0 ? full / floor : 0;
}
BENCHMARK(BM_DirectoryOverFloor)->Unit(benchmark::kMillisecond);

// Each flush writes every item to one file, the whole storage each time.
class FileFactory : public DMDataCacheStorageFactory {
public:
    class Storage : public MemoryFactory::Storage {
    public:
        Storage(const std::string& name, const std::string& key, std::string path)
            : MemoryFactory::Storage(name, key), path_(std::move(path)) {}
        ~Storage() override { std::remove(path_.c_str()); }
        void Flush() override {
            std::ofstream out(path_, std::ios::binary | std::ios::trunc);
            for (const auto& [k, v] : items)
                out << k << '\0' << v << '\n';
        }

    private:
        std::string path_;
    };
    DMDataCacheStorage* Create(const std::string& name, const std::string& key) override {
        return new Storage(name, key, "/tmp/dmsradio3_bench." + std::to_string(getpid()) + ".cache");
    }
};

void BM_StationInfoAnswers(benchmark::State& state) {
    const int stations = static_cast<int>(state.range(0));
    const bool held = state.range(1) != 0;
    constexpr int kChunk = 20;
    RegisterSIFNamespaces();
    std::unique_ptr<DMSIF_MethodOutputType> list(Decode<DMRadio3_ListStations_OutputType>(ListStationsText(stations)));
    std::vector<std::unique_ptr<DMSIF_MethodOutputType>> answers;
    for (int first = 0; first < stations; first += kChunk)
        answers.emplace_back(Decode<DMRadio3_GetStationInfo_OutputType>(StationInfoText(first, kChunk)));
    double seconds = 0;
    double cpu = 0;
    for (auto _ : state) {
        FileFactory factory;
        auto* service = new DMRadio3Service("bench", nullptr, nullptr);
        service->InstallCacheFactory(&factory);
        DMSIF_MethodRef listing("ListStations", "m0");
        service->DidFinish(&listing, nullptr, list.get());
        if (held) service->GetCache()->HoldFlushes();
        const auto t0 = std::chrono::steady_clock::now();
        const std::clock_t c0 = std::clock();
        int n = 0;
        for (const auto& answer : answers) {
            std::string id = "m";
            id += std::to_string(++n);
            DMSIF_MethodRef describe("GetStationInfo", id);
            service->DidFinish(&describe, nullptr, answer.get());
        }
        if (held) service->GetCache()->ReleaseFlushes();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        delete service;
    }
    const double perLoad = seconds / static_cast<double>(state.iterations());
    state.counters["load_s"] = perLoad;
    state.counters["answer_ms"] = 1000.0 * perLoad / static_cast<double>(answers.size());
    state.counters["answer_cpu_ms"] =
        1000.0 * cpu / static_cast<double>(state.iterations()) / static_cast<double>(answers.size());
}
BENCHMARK(BM_StationInfoAnswers)
    ->ArgNames({"stations", "held"})
    ->Args({1000, 0})
    ->Args({5000, 0})
    ->Args({1000, 1})
    ->Args({5000, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
