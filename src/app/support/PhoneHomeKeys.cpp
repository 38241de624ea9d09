#include "app/support/PhoneHomeKeys.h"

#include "app/foundation/Clock.h"

#include <QDateTime>

#include <array>
#include <cstdio>
#include <initializer_list>

namespace {

struct KeyRange {
    std::uint16_t first;
    std::uint16_t last;
};

struct KeyRow {
    std::uint16_t flags;
    std::int32_t type;
    std::initializer_list<KeyRange> keys;
};

// The table as the statistics server reads it, by flags and type; unlisted keys are 0/0.
const std::initializer_list<KeyRow> kRows = {
    {0x0000, 1, {{4097, 4149}, {4157, 4164}, {4166, 4168}, {4172, 4202}, {4207, 4268}, {4270, 4270}, {4274, 4276}}},
    {0x0000, 2, {{86, 86}}},
    {0x0000, 3, {{85, 85}}},
    {0x0000, 5, {{90, 91}}},
    {0x0001, 3, {{160, 161}}},
    {0x0002, 0, {{84, 84}}},
    {0x0002, 1, {{31, 31}, {46, 46}, {58, 58}, {79, 79}, {181, 181}, {254, 254}}},
    {0x0002,
     2,
     {{1, 1},
      {3, 3},
      {16, 16},
      {25, 26},
      {29, 29},
      {51, 52},
      {135, 135},
      {144, 144},
      {183, 185},
      {195, 197},
      {4165, 4165},
      {4400, 4400}}},
    {0x0002, 3, {{24, 24}, {198, 198}}},
    {0x0002,
     4,
     {{2, 2},
      {8, 9},
      {27, 27},
      {30, 30},
      {50, 50},
      {53, 53},
      {62, 63},
      {93, 95},
      {109, 110},
      {125, 125},
      {131, 131},
      {190, 190},
      {194, 194},
      {240, 240},
      {243, 244},
      {246, 250},
      {4169, 4170},
      {4401, 4401}}},
    {0x0002,
     5,
     {{4, 7},
      {10, 11},
      {44, 45},
      {48, 48},
      {54, 57},
      {80, 83},
      {133, 133},
      {191, 192},
      {235, 235},
      {238, 239},
      {245, 245},
      {251, 251},
      {4171, 4171}}},
    {0x0002, 6, {{132, 132}}},
    {0x0004, 0, {{89, 89}}},
    {0x0004, 2, {{97, 97}, {107, 108}, {112, 112}}},
    {0x0004, 3, {{111, 111}, {113, 115}}},
    {0x0004, 4, {{136, 137}}},
    {0x0004, 5, {{96, 96}, {104, 106}, {116, 124}, {126, 130}}},
    {0x0004, 6, {{98, 100}, {134, 134}}},
    {0x0008, 3, {{66, 66}, {70, 72}}},
    {0x0008, 5, {{64, 65}, {67, 68}, {74, 74}}},
    {0x0010, 1, {{32, 32}, {35, 36}}},
    {0x0010, 2, {{37, 40}}},
    {0x0010, 4, {{49, 49}}},
    {0x0018, 4, {{73, 73}}},
    {0x0040, 5, {{145, 159}, {176, 176}}},
    {0x0080, 5, {{177, 177}}},
    {0x0100, 2, {{224, 224}, {227, 227}}},
    {0x0100, 4, {{77, 77}, {252, 252}}},
    {0x0100, 5, {{225, 226}, {228, 228}, {253, 253}}},
    {0x0104, 5, {{101, 103}}},
    {0x0110, 5, {{41, 41}}},
    {0x0208, 1, {{47, 47}}},
    {0x0210, 4, {{34, 34}}},
    {0x0400, 1, {{61, 61}}},
    {0x0400, 3, {{60, 60}}},
    {0x0400, 4, {{59, 59}}},
    {0x4002, 2, {{193, 193}}},
    {0x4002, 3, {{13, 15}, {42, 43}}},
    {0x4002, 4, {{17, 18}, {22, 23}, {28, 28}}},
    {0x6002, 4, {{241, 242}}},
    {0x6200, 4, {{4392, 4399}}},
    {0x8008, 0, {{69, 69}}},
};

struct PhoneHomeKeyEntry {
    std::int32_t type;
    std::uint16_t flags;
    std::uint16_t reserved;
};

constexpr std::uint16_t kHighFirst = 0x1000;
constexpr std::uint16_t kHighLast = 0x1131;
constexpr std::uint16_t kHighOffset = 3840;

std::size_t EntryIndex(std::uint16_t key) {
    if (key <= 255) return key;
    if (key >= kHighFirst && key <= kHighLast) return key - kHighOffset;
    return 0;
}

std::array<PhoneHomeKeyEntry, kPhoneHomeKeyTableSize> BuildTable() {
    std::array<PhoneHomeKeyEntry, kPhoneHomeKeyTableSize> table{};
    for (const KeyRow& row : kRows) {
        for (const KeyRange& range : row.keys) {
            for (unsigned key = range.first; key <= range.last; ++key) {
                table[EntryIndex(std::uint16_t(key))] = {row.type, row.flags, 0};
            }
        }
    }
    return table;
}

const std::array<PhoneHomeKeyEntry, kPhoneHomeKeyTableSize> kBuilt = BuildTable();

}  // namespace

std::int32_t PhoneHomeKeyType(std::uint16_t key) { return kBuilt[EntryIndex(key)].type; }

std::uint16_t PhoneHomeKeyFlags(std::uint16_t key) { return kBuilt[EntryIndex(key)].flags; }

std::uint16_t PhoneHomeCategoryMask(std::uint8_t category) {
    switch (category) {
    case 2: return 0x0008;
    case 3: return 0x0010;
    case 4: return 0x0020;
    case 5: return 0x0040;
    case 6: return 0x0080;
    case 7: return 0x0100;
    case 8: return 0x0200;
    case 122: return 0x0001;
    case 179: return 0x0004;
    case 248: return 0x0002;
    default: return 0;
    }
}

int PhoneHomeNumberWidth(std::int32_t type) {
    switch (type) {
    case kPhoneHomeTypeU8: return 1;
    case kPhoneHomeTypeU16: return 2;
    case kPhoneHomeTypeU32:
    case kPhoneHomeTypeU32Time: return 4;
    default: return 0;
    }
}

std::string FormatDateStamp(const Clock& clock) {
    const QDateTime now = clock.now().toUTC();
    char text[32];
    std::snprintf(text, sizeof text, "%02d%02d%03d%02d", now.time().hour(), now.time().minute(), now.date().dayOfYear(),
                  now.date().year() % 100);
    return text;
}

std::uint32_t FlipLong(std::uint32_t value) {
    const std::uint8_t b[4] = {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
                               std::uint8_t(value)};
    std::uint32_t out;
    static_assert(sizeof out == sizeof b);
    __builtin_memcpy(&out, b, sizeof out);
    return out;
}

std::uint16_t FlipShort(std::uint16_t value) {
    const std::uint8_t b[2] = {std::uint8_t(value >> 8), std::uint8_t(value)};
    std::uint16_t out;
    __builtin_memcpy(&out, b, sizeof out);
    return out;
}

std::uint32_t ReadBigEndian(const std::uint8_t* bytes, int width) {
    if (width < 0 || width > 4) width = 4;
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | bytes[i];
    return value;
}
