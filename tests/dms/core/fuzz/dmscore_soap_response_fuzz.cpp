// libFuzzer target: untrusted response bodies through the SIF request's response
// handling (parse, envelope tree, fault decoding, the EndpointMoved check) and through
// the log redaction. Whatever the bytes: no crash, no leak, exactly one report unless the
// request followed a move, and a cut redaction stays within its bound.

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "dms/core/DMSIFRequest.h"
#include "dms/core/DMSOAPNamespaces.h"

namespace {

struct Counter : DMSIFRequestListener {
    int reports = 0;
    void SIFRequestDidFinish(DMSIF_MethodRef*, DMSOAPResultMap& map) override {
        ++reports;
        if (!DMResultMapElement(map, "ResponseEnvelope")) std::abort();
    }
    void SIFRequestDidFail(DMSIF_MethodRef*, DMSOAPResultMap&) override { ++reports; }
    void SIFRequestProgress(DMSIF_MethodRef*, DMSOAPResultMap&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Timers of a re-send (a fuzzed EndpointMoved) need an event dispatcher; the loop never
    // runs, so nothing ever reaches the network.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    Counter counter;
    {
        DMSIFRequest request(new DMSOAPElementType("PingRequest", kDMSIFURI, ""), &counter);
        DMSIF_MethodRef ref("Ping", "M-1");
        request.SetMethodRef(&ref);
        request.Serialize();
        request.URLRequestDidFinish(body);
        const bool moved = !request.GetURL().empty();
        if (counter.reports != (moved ? 0 : 1)) std::abort();
    }
    const std::string redacted = DMRedactForLog(body, 1000);
    if (redacted.size() > 1000 + std::string("...[truncated]").size()) std::abort();
    return 0;
}
