#include "codecs/aaccore/Crc16.h"

namespace aaccore {

void makeCrc16Table(uint16_t polynomial, uint16_t* table) {
    for (int i = 0; i < 256; ++i) {
        uint16_t v = uint16_t(i << 8);
        for (int k = 0; k < 8; ++k)
            v = (v & 0x8000) ? uint16_t((v << 1) ^ polynomial) : uint16_t(v << 1);
        table[i] = v;
    }
}

const uint16_t* adtsCrcTable() {
    static const struct Table {
        uint16_t v[256];
        Table() { makeCrc16Table(kAdtsCrcPolynomial, v); }
    } table;
    return table.v;
}

}  // namespace aaccore
