// The readers of the statistics files: the Disconnect Log's records and the persistent
// values of Session Stats. The bytes are a file as found on disk.

#include "app/foundation/Clock.h"
#include "app/support/PhoneHomeServices.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PhoneHomeReader log(data, size);
    QByteArray record;
    std::size_t total = 0;
    while (PhoneHomeServices::ReadRecord(log, record)) {
        // Every record read is whole: its length field covers exactly its bytes.
        const auto* r = reinterpret_cast<const std::uint8_t*>(record.constData());
        if (record.size() < 10 || r[0] != 0xA1 || r[5] != 0xA0 || ((r[3] << 8) | r[4]) + 5 != record.size()) abort();
        total += std::size_t(record.size());
    }
    if (total > size) abort();

    static FakeClock clock;
    PhoneHomeServices store(
        clock, [] { return 1L; }, nullptr, nullptr);
    PhoneHomeReader stats(data, size);
    store.LoadPersistentKeys(stats);
    // Only numbers of their exact width come back.
    for (const auto& [key, value] : store.values()) {
        const std::size_t n = value.bytes.size();
        if (n != 1 && n != 2 && n != 4) abort();
    }
    return 0;
}
