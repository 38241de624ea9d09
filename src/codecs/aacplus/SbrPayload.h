// The SBR extension payload a channel element keeps for the SBR decoder: the bytes of the
// fill element's SBR extension, copied out while the raw data block is parsed.
#pragma once

#include <cstdint>

#include "codecs/aacplus/BitReader.h"

namespace aacplus {

class SbrExtensionPayload {
public:
    SbrExtensionPayload() = default;
    ~SbrExtensionPayload() {}
    // Copies every field but the reader.
    SbrExtensionPayload(const SbrExtensionPayload& o) { *this = o; }
    SbrExtensionPayload& operator=(const SbrExtensionPayload& o);

    void Bind(BitReader* reader) {
        reader_ = reader;
        count = 0;
    }
    void SetElement(int32_t e) { element = e; }
    // Takes an extension of type 13 or 14 with cnt below 1024 when none is stored yet:
    // the 4 bits after extension_type, then cnt - 1 bytes. 1 when stored, else 0 (nothing read).
    int Store(int32_t extensionType, int32_t cnt);
    void StoreEmpty(int32_t elementKind, int32_t extensionType);

    int32_t count = 0;
    int32_t element = 0;
    int32_t type = 0;
    int32_t size = 0;
    uint8_t data[1024] = {};

private:
    BitReader* reader_ = nullptr;
};

}  // namespace aacplus
