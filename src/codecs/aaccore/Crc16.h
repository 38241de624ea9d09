// CRC-16, most significant bit first, no reflection and no final XOR. ADTS uses polynomial
// 0x8005 from 0xFFFF. Which bits a frame protects is each decoder's own business.
#pragma once

#include <cstdint>

namespace aaccore {

inline constexpr uint16_t kAdtsCrcPolynomial = 0x8005;
inline constexpr uint16_t kAdtsCrcInitial = 0xFFFF;

// The byte-at-a-time table of a 16-bit polynomial (256 entries).
void makeCrc16Table(uint16_t polynomial, uint16_t* table);
const uint16_t* adtsCrcTable();

inline uint16_t crc16Byte(const uint16_t* table, uint16_t crc, uint8_t byte) {
    return uint16_t((crc << 8) ^ table[((crc >> 8) ^ byte) & 0xFF]);
}

inline uint16_t crc16Bit(uint16_t polynomial, uint16_t crc, bool bit) {
    const bool top = (crc & 0x8000) != 0;
    crc = uint16_t(crc << 1);
    return top != bit ? uint16_t(crc ^ polynomial) : crc;
}

}  // namespace aaccore
