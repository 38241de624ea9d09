// The radio service's start from the day's cache: a cache file of 5,000 stations (two
// formats each, two categories, an image and a banner), read from disk by a new core
// object handed over to a new radio service, which builds its genres, stations, station
// formats and media formats from it and links them. Nothing goes over the network (the
// core object has no controller, so the presets steps are not sent).
//
//   appservices_bench --benchmark_min_time=1
//
// BM_LoadFromCacheFile reports seconds per load ("load_s"); the aim is under 0.5 s in a
// Release build.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/foundation/Clock.h"
#include "app/foundation/NotificationCenter.h"
#include "app/services/ZYMCacheStorage.h"
#include "app/radio/ZYMRadioService.h"
#include "dms/core/DMSOAPNamespaces.h"
#include "dms/radio3/DMRadio3Service.h"

namespace {

constexpr int kStations = 5000;
constexpr int kCategories = 47;

const char* const kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<S:Envelope xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:r=\"urn:zym-com:ns:service:radio:3.0\">"
    "<S:Body>";
const char* const kTail = "</S:Body></S:Envelope>\n";

std::string CategoriesText() {
    std::string text = kHead;
    text += "<r:IMetadataListEnumResponse timeStamp=\"2026-12-01T08:00:00Z\"><r:Status code=\"OK\"/>";
    for (int i = 0; i < kCategories; ++i) {
        const std::string n = std::to_string(i);
        text += "<r:Category r:categoryId=\"" + n + "\"><r:Name>Genre " + n + "</r:Name><r:Desc>All of " + n +
                "</r:Desc></r:Category>";
    }
    return text + "</r:IMetadataListEnumResponse>" + kTail;
}

std::string StationsText() {
    std::string text = kHead;
    text += "<r:IMetadataBrowseResponse timeStamp=\"2026-12-01T08:00:00Z\"><r:Status code=\"OK\"/>";
    for (int i = 0; i < kStations; ++i) {
        const std::string n = std::to_string(i);
        text += "<r:Station r:stationId=\"radio:aggregate:" + n + "\" r:playMode=\"full\"><r:Name>Station " + n +
                "</r:Name><r:Desc>Music " + n + "</r:Desc><r:Category>" + std::to_string(i % 40) +
                "</r:Category><r:Category>" + std::to_string(40 + i % 7) + "</r:Category></r:Station>";
    }
    return text + "</r:IMetadataBrowseResponse>" + kTail;
}

std::string StationInfoText() {
    std::string text = kHead;
    text += "<r:IMetadataDescribeResponse timeStamp=\"2026-12-01T08:00:00Z\"><r:Status code=\"OK\"/>";
    for (int i = 0; i < kStations; ++i) {
        const std::string n = std::to_string(i);
        text += "<r:Station r:stationId=\"radio:aggregate:" + n +
                "\" r:playMode=\"full\" r:type=\"zym\"><r:Name>Station " + n + "</r:Name><r:Desc>Short " + n +
                "</r:Desc><r:ImageUrlBase>http://img.example/</r:ImageUrlBase>"
                "<r:Format r:mediaFormatId=\"mf128\" r:progId=\"" +
                n + ",1\"/><r:Format r:mediaFormatId=\"mf64\" r:progId=\"" + n + ",2\"/><r:Category>" +
                std::to_string(i % 40) + "</r:Category><r:Category>" + std::to_string(40 + i % 7) +
                "</r:Category><r:Image r:url=\"http://img.example/" + n +
                ".png\" r:type=\"logo\" r:width=\"64\" r:height=\"64\"/>"
                "<r:Banner r:width=\"300\" r:height=\"250\" r:bannerId=\"8\" r:magicNumber=\"mn-" +
                n + "\" r:flavorId=\"600\"><r:Url>http://ads.example/" + n +
                "</r:Url><r:Text>Visit</r:Text></r:Banner></r:Station>";
    }
    return text + "</r:IMetadataDescribeResponse>" + kTail;
}

std::string MediaFormatsText() {
    std::string text = kHead;
    text += "<r:IMetadataDescribeResponse><r:Status code=\"OK\"/>";
    for (const char* id : {"mf128", "mf64"})
        text += std::string("<r:Format r:mediaFormatId=\"") + id +
                "\"><r:Mime>audio/mpeg</r:Mime><r:Channel r:class=\"audio\"><r:Proto>http:</r:Proto>"
                "<r:Codec>MP3</r:Codec><r:BitRate>128000</r:BitRate><r:Channels>2.0</r:Channels></r:Channel>"
                "</r:Format>";
    return text + "</r:IMetadataDescribeResponse>" + kTail;
}

template <typename Output>
std::unique_ptr<Output> Decode(const std::string& text) {
    std::unique_ptr<DMSOAPElementType> envelope(
        DMSOAPElementType::CreateFromString(text, SIFNamespacePrefixTable(), false));
    return std::make_unique<Output>(envelope->FindChild("Body", 1)->children.front());
}

// Writes the cache file once: the four answers through a core object, which stores them
// with the load date and flushes them when it goes.
void WriteCache(ZYMCacheStorageFactory& factory) {
    RegisterSIFNamespaces();
    auto service = std::make_unique<DMRadio3Service>("bench", nullptr, nullptr);
    service->InstallCacheFactory(&factory);
    auto feed = [&](const char* method, DMSIF_MethodOutputType* output) {
        DMSIF_MethodRef ref(method, std::string("m-") + method);
        service->DidFinish(&ref, nullptr, output);
    };
    feed("ListCategories", Decode<DMRadio3_ListCategories_OutputType>(CategoriesText()).get());
    feed("ListStations", Decode<DMRadio3_ListStations_OutputType>(StationsText()).get());
    feed("GetStationInfo", Decode<DMRadio3_GetStationInfo_OutputType>(StationInfoText()).get());
    feed("GetMediaFormatInfo", Decode<DMRadio3_GetMediaFormatInfo_OutputType>(MediaFormatsText()).get());
    if (service->GetLoadDate().empty()) std::abort();
}

void BM_LoadFromCacheFile(benchmark::State& state) {
    QTemporaryDir folder;
    ZYMCacheStorageFactory factory(folder.path());
    WriteCache(factory);
    NotificationCenter center;
    FakeScheduler scheduler;
    double seconds = 0;
    for (auto _ : state) {
        ZYMServiceEnvironment env;
        env.notifications = &center;
        env.scheduler = &scheduler;
        env.cacheFactory = &factory;
        auto radio = std::make_unique<ZYMRadioService>(env);
        const auto start = std::chrono::steady_clock::now();
        radio->requestSucceeded(ZYMRequestToken(), radio->serviceName(),
                                new DMRadio3Service("bench", nullptr, nullptr));
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        const auto formats = radio->stationFormats(QStringLiteral("4999"), 128000);
        if (radio->stations()->size() != kStations || !radio->haveAllStationInfo() || formats.size() != 2 ||
            radio->genres()->size() != kCategories || radio->genreWithID("3")->unfilteredRadioStations().empty())
            std::abort();
        radio.reset();
        state.ResumeTiming();
    }
    state.counters["load_s"] = seconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_LoadFromCacheFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
