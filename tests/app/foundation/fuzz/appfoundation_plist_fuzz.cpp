// The readers of bundle and cache files: XML property lists and strings tables. The
// first byte chooses the reader; the rest is the file.

#include "app/foundation/PropertyList.h"
#include "app/foundation/StringsTable.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if (data[0] & 1) {
        if (auto value = PropertyList::read(bytes)) {
            // What was read writes out and reads back.
            if (auto text = PropertyList::write(*value)) (void)PropertyList::read(*text);
        }
    } else {
        (void)StringsTable::parse(bytes);
    }
    return 0;
}
