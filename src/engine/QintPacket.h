#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Amp {

// Four-character codes are 32-bit integers whose big-endian bytes spell the characters.
constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) |
           uint32_t(uint8_t(d));
}

constexpr uint32_t kCodecVLB = FourCC('V', 'L', 'B', ' ');
constexpr uint32_t kCodecAACPlus = FourCC('a', 'a', 'c', 'P');
constexpr uint32_t kCodecMP3 = FourCC('M', 'P', '3', ' ');

namespace Qint {

constexpr uint8_t kSync = 0x5A;
constexpr uint32_t kDefaultMaxPayload = 5000;
// A header can announce any 16-bit length; a larger configured maximum buys nothing and a
// huge or negative header value would size the input ring from untrusted bytes.
constexpr uint32_t kMaxPayloadLimit = 65535;
constexpr size_t kHeaderSize = 6;
constexpr size_t kMetadataSubHeaderSize = 6;
// An XML set is joined in memory; a stream must not grow it without bound.
constexpr size_t kMaxMetadataSetBytes = 1024 * 1024;

// What a packet's class and type select.
enum class Kind { None, Metadata, Audio };

struct Classification {
    Kind kind = Kind::None;
    uint32_t codec = 0;  // for Audio: kCodecMP3, kCodecVLB or kCodecAACPlus
};

inline unsigned PacketClass(uint16_t classAndType) { return classAndType >> 12; }
inline unsigned PacketType(uint16_t classAndType) { return classAndType & 0x0FFF; }

// Classifies a packet, logging the texts the stream's log is known by for unusable ones.
Classification ClassifyPacket(uint16_t classAndType);

// The metadata text a "StreamTitle='Artist - Song';" packet becomes. Returns false when the
// data is not a title at all (such packets are ignored). Titles are XML-escaped: they come
// straight from the station and would otherwise break the document the application parses.
bool TitleToXml(const char* data, size_t length, std::string& xml);

// Seconds for a stream byte count at an average bit rate in bits per second.
inline double BytesToSeconds(int32_t bytes, uint32_t averageBitrate) {
    return double(bytes) / (double(averageBitrate) * 0.125);
}

inline int32_t ReadBigEndian32(const uint8_t* p) {
    return int32_t((uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]));
}

inline uint16_t ReadBigEndian16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

}  // namespace Qint
}  // namespace Amp
