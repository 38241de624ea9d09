// The cost of the element tree on a large directory response, measured against
// libxml2's own parse of the same text (the floor: the tree cannot be cheaper).
//
//   dmscore_bench --benchmark_min_time=1
//
// BM_RoundTripOverFloor reports the ratio directly; the others give the parts.

#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <chrono>
#include <memory>
#include <string>

#include "dms/core/DMSOAPMessage.h"

namespace {

// A ListStations answer with `count` stations, shaped like the version-3 directory's.
std::string DirectoryResponse(int count) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<S:Envelope xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\""
        " xmlns:sb=\"urn:liberty:sb:2003-08\" xmlns:r=\"urn:zym-com:ns:service:radio:3.0\">"
        "<S:Header><sb:Correlation S:mustUnderstand=\"1\" messageID=\"A1B2-C3-D4-E5F6\""
        " timestamp=\"2026-12-10T13:00:00Z\"/></S:Header><S:Body><r:ListStationsResponse>"
        "<r:Status code=\"OK\"/>";
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        text += "<r:Station id=\"" + n + "\"><r:StationID id=\"" + n + "\">st" + n +
                "</r:StationID><r:Name xml:lang=\"en\">Station number " + n +
                " &amp; friends</r:Name><r:Description>Music of every kind, all day long"
                "</r:Description><r:CategoryID>" +
                std::to_string(i % 40) +
                "</r:CategoryID><r:Format codec=\"aacP\" bitrate=\"48\"/>"
                "<r:Format codec=\"MP3 \" bitrate=\"128\"/></r:Station>";
    }
    text += "</r:ListStationsResponse></S:Body></S:Envelope>\n";
    return text;
}

const std::string& Text() {
    static const std::string text = DirectoryResponse(5000);
    return text;
}

void BM_LibxmlParseFloor(benchmark::State& state) {
    const std::string& text = Text();
    for (auto _ : state) {
        xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, XML_PARSE_NONET);
        benchmark::DoNotOptimize(doc);
        xmlFreeDoc(doc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LibxmlParseFloor)->Unit(benchmark::kMillisecond);

void BM_ParseToTree(benchmark::State& state) {
    const std::string& text = Text();
    RegisterSIFNamespaces();
    for (auto _ : state) {
        std::unique_ptr<DMSOAPElementType> tree(
            DMSOAPElementType::CreateFromString(text, SIFNamespacePrefixTable(), false));
        benchmark::DoNotOptimize(tree.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseToTree)->Unit(benchmark::kMillisecond);

void BM_TreeToText(benchmark::State& state) {
    RegisterSIFNamespaces();
    std::unique_ptr<DMSOAPElementType> tree(
        DMSOAPElementType::CreateFromString(Text(), SIFNamespacePrefixTable(), false));
    for (auto _ : state) {
        DMXMLDocument document;
        tree->ToXMLElement(document, nullptr, SIFNamespacePrefixTable());
        std::string out = document.ToString();
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_TreeToText)->Unit(benchmark::kMillisecond);

void BM_ParseTreeAndBack(benchmark::State& state) {
    const std::string& text = Text();
    RegisterSIFNamespaces();
    for (auto _ : state) {
        std::unique_ptr<DMSOAPElementType> tree(
            DMSOAPElementType::CreateFromString(text, SIFNamespacePrefixTable(), false));
        DMXMLDocument document;
        tree->ToXMLElement(document, nullptr, SIFNamespacePrefixTable());
        std::string out = document.ToString();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseTreeAndBack)->Unit(benchmark::kMillisecond);

// Both measured alternately in the same iteration, so machine load hits both alike;
// the counter "ratio" is (parse -> tree -> text) / (libxml2 parse alone).
void BM_RoundTripOverFloor(benchmark::State& state) {
    const std::string& text = Text();
    RegisterSIFNamespaces();
    double floor = 0;
    double full = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, XML_PARSE_NONET);
        benchmark::DoNotOptimize(doc);
        xmlFreeDoc(doc);
        auto t1 = std::chrono::steady_clock::now();
        std::unique_ptr<DMSOAPElementType> tree(
            DMSOAPElementType::CreateFromString(text, SIFNamespacePrefixTable(), false));
        DMXMLDocument document;
        tree->ToXMLElement(document, nullptr, SIFNamespacePrefixTable());
        std::string out = document.ToString();
        benchmark::DoNotOptimize(out.data());
        auto t2 = std::chrono::steady_clock::now();
        floor += std::chrono::duration<double>(t1 - t0).count();
        full += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["ratio"] = floor > 0 ? full / floor : 0;
}
BENCHMARK(BM_RoundTripOverFloor)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
