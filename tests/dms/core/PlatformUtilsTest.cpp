#include <gtest/gtest.h>

#include <zlib.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dms/core/DMPlatformUtils.h"
#include "support/Env.h"

namespace {

DMPlatformUtils& Utils() { return *DMPlatformUtils::GetInstance(); }

// Groups of upper-case hex digits separated by "-", each group between min and max long.
bool HexGroups(const std::string& text, std::initializer_list<std::pair<int, int>> groups) {
    std::size_t pos = 0;
    bool first = true;
    for (auto [min, max] : groups) {
        if (!first && (pos >= text.size() || text[pos++] != '-')) return false;
        first = false;
        int n = 0;
        while (pos < text.size() && std::isxdigit(static_cast<unsigned char>(text[pos])) &&
               !std::islower(static_cast<unsigned char>(text[pos]))) {
            ++pos;
            ++n;
        }
        if (n < min || n > max) return false;
    }
    return pos == text.size();
}

// "dddd-dd-ddTdd:dd:ddZ"
bool UtcForm(const std::string& text) {
    const std::string shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

std::string FixturePath(const std::string& name) {
    if (std::getenv("ZYM_SOURCE_DIR")) {
        return zymtest::DataPath("dms/gzip/" + name);
    }
    // Run without the CTest environment: find the fixtures beside this source file.
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../../data/dms/gzip/" + name;
}

std::string ReadFixture(const std::string& name) {
    std::ifstream in(FixturePath(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Gunzip's result as a string; "<fail>" when it returned 0. Checks the contract that a
// failure hands back nothing.
std::string Inflate(const std::string& gz) {
    unsigned char* out = reinterpret_cast<unsigned char*>(1);
    std::uint32_t length = 12345;
    const std::uint32_t n = Utils().Gunzip(reinterpret_cast<const unsigned char*>(gz.data()),
                                           static_cast<std::uint32_t>(gz.size()), &out, &length);
    if (n == 0) {
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(length, 0u);
        return "<fail>";
    }
    EXPECT_EQ(n, length);
    std::string result(reinterpret_cast<char*>(out), length);
    std::free(out);
    return result;
}

TEST(PlatformUtils, GuidTextForm) {
    unsigned char counting[16];
    for (int i = 0; i < 15; ++i)
        counting[i] = static_cast<unsigned char>(i + 1);
    counting[15] = 0;
    EXPECT_EQ(DMPlatformUtilsLinux::FormatGUID(counting), "1234-56-78-9ABCDEF0");
    unsigned char ones[16];
    std::memset(ones, 0xFF, sizeof ones);
    EXPECT_EQ(DMPlatformUtilsLinux::FormatGUID(ones), "FFFFFFFF-FFFF-FFFF-FFFFFFFFFFFFFFFF");
}

TEST(PlatformUtils, GuidsAreUniqueAndWellFormed) {
    std::set<std::string> seen;
    for (int i = 0; i < 100000; ++i) {
        std::string id = Utils().NewGUID();
        if (i < 1000) {
            ASSERT_TRUE(HexGroups(id, {{4, 8}, {2, 4}, {2, 4}, {8, 16}})) << id;
        }
        ASSERT_TRUE(seen.insert(std::move(id)).second) << "duplicate after " << i;
    }
}

std::time_t ParseUTC(const std::string& text) {
    std::tm parts{};
    EXPECT_NE(strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts), nullptr) << text;
    return timegm(&parts);
}

TEST(PlatformUtils, UtcTimes) {
    const char* format = "%Y-%m-%dT%H:%M:%SZ";
    const std::time_t before = std::time(nullptr);
    const std::string now = Utils().FormatCurrentTimeUTC(format);
    const std::string later = Utils().FormatTimeUTCWithOffset(3600, format);
    const std::string earlier = Utils().FormatTimeUTCWithOffset(-86400, format);
    const std::time_t after = std::time(nullptr);
    for (const std::string& t : {now, later, earlier}) {
        EXPECT_TRUE(UtcForm(t)) << t;
    }
    EXPECT_GE(ParseUTC(now), before);
    EXPECT_LE(ParseUTC(now), after);
    EXPECT_GE(ParseUTC(later), before + 3600);
    EXPECT_LE(ParseUTC(later), after + 3600);
    EXPECT_LE(ParseUTC(earlier), after - 86400);
    EXPECT_EQ(Utils().FormatCurrentTimeUTC(nullptr), "");
    EXPECT_EQ(Utils().FormatCurrentTimeUTC(""), "");
    EXPECT_EQ(Utils().FormatCurrentTimeUTC(std::string(300, 'x').c_str()), "");  // above 255

    const double t0 = Utils().CurrentAbsoluteTime();
    EXPECT_GE(Utils().CurrentAbsoluteTime() - t0, 0.0);
}

TEST(PlatformUtils, Base64Rfc4648Vectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\0\xFF\xFE", 3), "AP/+"},
    };
    for (const auto& [plain, encoded] : vectors) {
        char out[64];
        std::memset(out, '#', sizeof out);
        const std::int32_t n =
            Utils().Base64Encode(plain.data(), static_cast<std::uint32_t>(plain.size()), out, sizeof out);
        EXPECT_EQ(n, static_cast<std::int32_t>(encoded.size()));
        EXPECT_EQ(std::string(out), encoded);  // zero-terminated

        unsigned char back[64];
        const std::uint32_t m = Utils().Base64Decode(encoded.c_str(), back, sizeof back);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(back), m), plain) << encoded;
    }
}

TEST(PlatformUtils, Base64Edges) {
    char out[8];
    EXPECT_EQ(Utils().Base64Encode("abc", 3, out, 4), 0);  // no room for the zero byte
    EXPECT_EQ(Utils().Base64Encode("abc", 3, out, 5), 4);
    EXPECT_EQ(Utils().Base64Encode("", 0, out, 1), 0);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(Utils().Base64Encode("abc", 0xFFFFFFFFu, out, sizeof out), 0);  // no overflow

    unsigned char bytes[8];
    struct Case {
        const char* text;
        std::uint32_t capacity;
        std::uint32_t expected;
    } cases[] = {
        {"Zm9v", 8, 3},     {"Zg==", 8, 1},     {"Zm9v\n", 8, 3}, {"Z", 8, 0},    {"Zm 9v", 8, 3},
        {"Zm9vYmFy", 5, 0}, {"Zm9vYmFy", 6, 6}, {"", 8, 0},       {"====", 8, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils().Base64Decode(c.text, bytes, c.capacity), c.expected) << c.text;
    }
    EXPECT_EQ(Utils().Base64Decode(nullptr, bytes, 8), 0u);
    EXPECT_EQ(Utils().Base64Decode("Zm9v", nullptr, 8), 0u);

    // Random round trips.
    std::srand(7);
    for (int len = 0; len < 200; ++len) {
        std::string plain;
        for (int i = 0; i < len; ++i)
            plain += static_cast<char>(std::rand());
        std::vector<char> enc(len / 3 * 4 + 8);
        std::vector<unsigned char> dec(len + 1);
        Utils().Base64Encode(plain.data(), len, enc.data(), static_cast<std::uint32_t>(enc.size()));
        const std::uint32_t n = Utils().Base64Decode(enc.data(), dec.data(), static_cast<std::uint32_t>(dec.size()));
        ASSERT_EQ(std::string(reinterpret_cast<char*>(dec.data()), n), plain);
    }
}

TEST(PlatformUtils, GunzipInflatesPythonMadeMembers) {
    const std::string small = ReadFixture("small.txt");
    ASSERT_FALSE(small.empty()) << "fixtures missing under tests/data/dms/gzip";
    struct Case {
        const char* gz;
        const char* expected;
    } cases[] = {
        {"small_plain.gz", "small.txt"},    {"small_fname.gz", "small.txt"},     {"small_fextra.gz", "small.txt"},
        {"small_fcomment.gz", "small.txt"}, {"small_fhcrc.gz", "small.txt"},     {"small_allflags.gz", "small.txt"},
        {"large.gz", "large.txt"},          {"exact10240.gz", "exact10240.txt"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Inflate(ReadFixture(c.gz)), ReadFixture(c.expected)) << c.gz;
    }
}

TEST(PlatformUtils, GunzipRefusesDamagedInput) {
    const std::string good = ReadFixture("small_allflags.gz");
    ASSERT_GT(good.size(), 40u);
    const std::string cases[] = {
        "",
        "not gzip at all",
        "\x1F\x8B",
        std::string("\x1F\x8B\x07\x00\x00\x00\x00\x00\x00\x03", 10) + "xxxx",           // not deflate
        good.substr(0, 9),                                                              // short header
        good.substr(0, 12),                                                             // inside FEXTRA's length
        good.substr(0, 20),                                                             // inside the name
        ReadFixture("small_fhcrc.gz").substr(0, 11),                                    // header CRC cut
        std::string("\x1F\x8B\x08\x04\x00\x00\x00\x00\x00\x03\xFF\xFF", 12),            // XLEN past the end
        std::string("\x1F\x8B\x08\x08\x00\x00\x00\x00\x00\x03name", 14),                // no name terminator
        std::string("\x1F\x8B\x08\x20\x00\x00\x00\x00\x00\x03", 10) + good.substr(10),  // reserved flag
        ReadFixture("large_truncated_data.gz"),
        ReadFixture("large_truncated_trailer.gz"),
        ReadFixture("large_corrupt.gz"),
        ReadFixture("large_badcrc.gz"),
        ReadFixture("large.gz").substr(0, ReadFixture("large.gz").size() - 8),  // no trailer
    };
    int i = 0;
    for (const std::string& gz : cases) {
        EXPECT_EQ(Inflate(gz), "<fail>") << "case " << i;
        ++i;
    }
    // An empty member inflates to nothing, which counts as failure.
    EXPECT_EQ(
        Inflate(std::string("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00", 20)),
        "<fail>");
    unsigned char* out = nullptr;
    EXPECT_EQ(Utils().Gunzip(nullptr, 10, &out, nullptr), 0u);
}

// A gzip member of `size` zero bytes made with zlib's own gzip writer.
std::string GzipZeros(std::size_t size) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 16 + 15, 9, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> zeros(1 << 20, 0);
    std::string out;
    unsigned char buffer[1 << 16];
    std::size_t left = size;
    int flush = Z_NO_FLUSH;
    do {
        const std::size_t chunk = left < zeros.size() ? left : zeros.size();
        z.next_in = zeros.data();
        z.avail_in = static_cast<uInt>(chunk);
        left -= chunk;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = buffer;
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.append(reinterpret_cast<char*>(buffer), sizeof buffer - z.avail_out);
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    return out;
}

TEST(PlatformUtils, GunzipCapsItsOutput) {
    const std::string bomb = GzipZeros(kDMGunzipMaxOutputBytes + 1);
    EXPECT_LT(bomb.size(), 100000u);
    EXPECT_EQ(Inflate(bomb), "<fail>");
    EXPECT_EQ(Inflate(GzipZeros(kDMGunzipMaxOutputBytes)).size(), kDMGunzipMaxOutputBytes);
}

TEST(PlatformUtils, Files) {
    const std::string dir = ::testing::TempDir();
    for (std::size_t size : {0u, 1023u, 1024u, 2048u, 3000u}) {
        std::string content;
        for (std::size_t i = 0; i < size; ++i)
            content += static_cast<char>(i * 7);
        const std::string path = Utils().JoinPath(dir, "dmscore_file_" + std::to_string(size));
        std::ofstream(path, std::ios::binary) << content;
        EXPECT_EQ(Utils().ReadFileToString(path), content) << size;
        std::unique_ptr<unsigned char[]> buffer(Utils().ReadFileToBuffer(path));
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(std::memcmp(buffer.get(), content.data(), size), 0);
        std::remove(path.c_str());
    }
    EXPECT_EQ(Utils().ReadFileToString("/nonexistent/dmscore"), "");
    EXPECT_EQ(Utils().ReadFileToBuffer("/nonexistent/dmscore"), nullptr);
}

TEST(PlatformUtils, JoinPath) {
    struct Case {
        const char* dir;
        const char* name;
        const char* expected;
    } cases[] = {
        {"a", "b", "a/b"},        {"a/", "b", "a/b"},    {"dir", "", "dir"}, {"dir/", "", "dir"},
        {"dir//", "x", "dir//x"}, {"dir//", "", "dir/"}, {"/", "x", "/x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils().JoinPath(c.dir, c.name), c.expected) << c.dir << " + " << c.name;
    }
}

}  // namespace
