// The statistics key table, category masks and the small formatting helpers.

#include "app/foundation/Clock.h"
#include "app/support/MachineFacts.h"
#include "app/support/PhoneHomeKeys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

namespace {

struct TableRow {
    std::uint16_t flags;
    std::int32_t type;
    std::uint16_t first;
    std::uint16_t last;
};

// The table as the statistics server expects it, one range per line.
const std::vector<TableRow> kExpected = {
    {0x0000, 1, 4097, 4149}, {0x0000, 1, 4157, 4164}, {0x0000, 1, 4166, 4168}, {0x0000, 1, 4172, 4202},
    {0x0000, 1, 4207, 4268}, {0x0000, 1, 4270, 4270}, {0x0000, 1, 4274, 4276}, {0x0000, 2, 86, 86},
    {0x0000, 3, 85, 85},     {0x0000, 5, 90, 91},     {0x0001, 3, 160, 161},   {0x0002, 0, 84, 84},
    {0x0002, 1, 31, 31},     {0x0002, 1, 46, 46},     {0x0002, 1, 58, 58},     {0x0002, 1, 79, 79},
    {0x0002, 1, 181, 181},   {0x0002, 1, 254, 254},   {0x0002, 2, 1, 1},       {0x0002, 2, 3, 3},
    {0x0002, 2, 16, 16},     {0x0002, 2, 25, 26},     {0x0002, 2, 29, 29},     {0x0002, 2, 51, 52},
    {0x0002, 2, 135, 135},   {0x0002, 2, 144, 144},   {0x0002, 2, 183, 185},   {0x0002, 2, 195, 197},
    {0x0002, 2, 4165, 4165}, {0x0002, 2, 4400, 4400}, {0x0002, 3, 24, 24},     {0x0002, 3, 198, 198},
    {0x0002, 4, 2, 2},       {0x0002, 4, 8, 9},       {0x0002, 4, 27, 27},     {0x0002, 4, 30, 30},
    {0x0002, 4, 50, 50},     {0x0002, 4, 53, 53},     {0x0002, 4, 62, 63},     {0x0002, 4, 93, 95},
    {0x0002, 4, 109, 110},   {0x0002, 4, 125, 125},   {0x0002, 4, 131, 131},   {0x0002, 4, 190, 190},
    {0x0002, 4, 194, 194},   {0x0002, 4, 240, 240},   {0x0002, 4, 243, 244},   {0x0002, 4, 246, 250},
    {0x0002, 4, 4169, 4170}, {0x0002, 4, 4401, 4401}, {0x0002, 5, 4, 7},       {0x0002, 5, 10, 11},
    {0x0002, 5, 44, 45},     {0x0002, 5, 48, 48},     {0x0002, 5, 54, 57},     {0x0002, 5, 80, 83},
    {0x0002, 5, 133, 133},   {0x0002, 5, 191, 192},   {0x0002, 5, 235, 235},   {0x0002, 5, 238, 239},
    {0x0002, 5, 245, 245},   {0x0002, 5, 251, 251},   {0x0002, 5, 4171, 4171}, {0x0002, 6, 132, 132},
    {0x0004, 0, 89, 89},     {0x0004, 2, 97, 97},     {0x0004, 2, 107, 108},   {0x0004, 2, 112, 112},
    {0x0004, 3, 111, 111},   {0x0004, 3, 113, 115},   {0x0004, 4, 136, 137},   {0x0004, 5, 96, 96},
    {0x0004, 5, 104, 106},   {0x0004, 5, 116, 124},   {0x0004, 5, 126, 130},   {0x0004, 6, 98, 100},
    {0x0004, 6, 134, 134},   {0x0008, 3, 66, 66},     {0x0008, 3, 70, 72},     {0x0008, 5, 64, 65},
    {0x0008, 5, 67, 68},     {0x0008, 5, 74, 74},     {0x0010, 1, 32, 32},     {0x0010, 1, 35, 36},
    {0x0010, 2, 37, 40},     {0x0010, 4, 49, 49},     {0x0018, 4, 73, 73},     {0x0040, 5, 145, 159},
    {0x0040, 5, 176, 176},   {0x0080, 5, 177, 177},   {0x0100, 2, 224, 224},   {0x0100, 2, 227, 227},
    {0x0100, 4, 77, 77},     {0x0100, 4, 252, 252},   {0x0100, 5, 225, 226},   {0x0100, 5, 228, 228},
    {0x0100, 5, 253, 253},   {0x0104, 5, 101, 103},   {0x0110, 5, 41, 41},     {0x0208, 1, 47, 47},
    {0x0210, 4, 34, 34},     {0x0400, 1, 61, 61},     {0x0400, 3, 60, 60},     {0x0400, 4, 59, 59},
    {0x4002, 2, 193, 193},   {0x4002, 3, 13, 15},     {0x4002, 3, 42, 43},     {0x4002, 4, 17, 18},
    {0x4002, 4, 22, 23},     {0x4002, 4, 28, 28},     {0x6002, 4, 241, 242},   {0x6200, 4, 4392, 4399},
    {0x8008, 0, 69, 69},
};

TEST(PhoneHomeKeyTable, EveryRowAtBothEndsAndInTheMiddle) {
    for (const TableRow& row : kExpected) {
        for (std::uint16_t key : {row.first, std::uint16_t((row.first + row.last) / 2), row.last}) {
            SCOPED_TRACE(key);
            EXPECT_EQ(PhoneHomeKeyType(key), row.type);
            EXPECT_EQ(PhoneHomeKeyFlags(key), row.flags);
        }
    }
}

TEST(PhoneHomeKeyTable, UnlistedKeysAndTheEdgesOfTheHighRangeAreTypeAndFlagsZero) {
    // 4096 is the first high entry but unlisted; 4402 is past the table and must not read
    // beyond it; 4095 and 256 fall between the two ranges.
    for (std::uint16_t key : {0, 12, 19, 33, 255, 256, 4095, 4096, 4150, 4156, 4269, 4277, 4391, 4402, 0xA1A1, 65535}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(PhoneHomeKeyType(key), 0);
        EXPECT_EQ(PhoneHomeKeyFlags(key), 0);
    }
    EXPECT_EQ(PhoneHomeKeyType(4401), 4);
    EXPECT_EQ(PhoneHomeKeyFlags(4401), 0x0002);
}

TEST(PhoneHomeKeyTable, CategoryMasks) {
    const std::pair<int, std::uint16_t> cases[] = {
        {0, 0},      {1, 0},      {2, 0x0008}, {3, 0x0010},   {4, 0x0020},   {5, 0x0040},   {6, 0x0080},
        {7, 0x0100}, {8, 0x0200}, {9, 0},      {122, 0x0001}, {179, 0x0004}, {248, 0x0002}, {255, 0}};
    for (auto [category, mask] : cases)
        EXPECT_EQ(PhoneHomeCategoryMask(std::uint8_t(category)), mask) << category;
}

TEST(PhoneHomeHelpers, DateStamps) {
    struct Case {
        QDateTime at;
        const char* text;
    } cases[] = {
        {QDateTime(QDate(2007, 2, 3), QTime(14, 5), Qt::UTC), "140503407"},
        {QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC), "000000100"},
        {QDateTime(QDate(2008, 12, 31), QTime(23, 59, 59), Qt::UTC), "235936608"},
        // The clock's time is taken in UTC whatever zone it was given in.
        {QDateTime(QDate(2007, 2, 3), QTime(23, 30), Qt::OffsetFromUTC, 10 * 3600), "133003407"},
    };
    for (const Case& c : cases) {
        FakeClock clock(c.at);
        EXPECT_EQ(FormatDateStamp(clock), c.text);
    }
}

TEST(PhoneHomeHelpers, ByteOrder) {
    const std::uint32_t flipped = FlipLong(0x01020304);
    EXPECT_EQ(std::memcmp(&flipped, "\x01\x02\x03\x04", 4), 0);
    const std::uint16_t shortFlipped = FlipShort(0x0A0B);
    EXPECT_EQ(std::memcmp(&shortFlipped, "\x0A\x0B", 2), 0);
    const std::uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
    EXPECT_EQ(ReadBigEndian(bytes, 2), 0x1234u);
    EXPECT_EQ(ReadBigEndian(bytes, 5), 0x12345678u);
    EXPECT_EQ(ReadBigEndian(bytes, -1), 0x12345678u);
    EXPECT_EQ(ReadBigEndian(bytes, 0), 0u);
}

TEST(MachineFactsTest, KernelReleasePacking) {
    const std::pair<const char*, std::optional<std::uint16_t>> cases[] = {
        {"6.1.0-18-amd64", 0x0610}, {"5.15.3", 0x0593}, {"10.4.8", 0x1048}, {"4.19", 0x0490},
        {"123.45.67", 0x9999},      {"3", 0x0300},      {"", std::nullopt}, {"linux", std::nullopt},
    };
    for (auto [text, packed] : cases)
        EXPECT_EQ(PackKernelRelease(text), packed) << text;
}

TEST(MachineFactsTest, ModelText) {
    MachineFacts facts;
    facts.modelName = "M";
    facts.clockMHz = 2000;
    facts.processorCount = 1;
    EXPECT_EQ(FormatMachineModel(facts), "M;2000");
    facts.processorCount = 2;
    EXPECT_EQ(FormatMachineModel(facts), "M;2000x2");
    facts.processorCount = 1;
    facts.modelName.reset();
    EXPECT_EQ(FormatMachineModel(facts), ";2000");
    facts.clockMHz.reset();
    EXPECT_EQ(FormatMachineModel(facts), ";0");
}

TEST(MachineFactsTest, ThisMachineHasMemoryAndProcessors) {
    const MachineFacts facts = ReadMachineFacts();
    ASSERT_TRUE(facts.memoryBytes.has_value());
    EXPECT_GT(*facts.memoryBytes, 0u);
    EXPECT_GE(facts.processorCount, 1);
    EXPECT_TRUE(facts.systemVersion.has_value());
}

}  // namespace
