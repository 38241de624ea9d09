// The statistics store with a fixed clock and scripted random numbers: values, timers,
// sessions, report scheduling, records and the three files.

#include "StatisticsTestSupport.h"

#include "app/support/PhoneHomeKeys.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

using namespace stats_test;

namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString Path(const char* name) const { return dir_.path() + "/" + name; }
    QString StatsPath() const { return Path("Session Stats"); }
    QString LogPath() const { return Path("Disconnect Log"); }
    QString LockPath() const { return Path("Session Lock"); }

    PhoneHomeServices& Start() {
        store_ = std::make_unique<PhoneHomeServices>(
            clock_, random_.source(), [] { return TestFacts(); }, nullptr);
        store_->Init(StatsPath(), LogPath(), LockPath());
        return *store_;
    }
    // A normal end of the process.
    void Stop() { store_.reset(); }

    // The records of the Disconnect Log, as entries by key.
    std::vector<std::map<int, QByteArray>> LogRecords() const {
        const QByteArray log = ReadFile(LogPath());
        std::vector<std::map<int, QByteArray>> out;
        PhoneHomeReader in(log);
        QByteArray record;
        while (PhoneHomeServices::ReadRecord(in, record))
            out.push_back(Entries(record));
        return out;
    }

    // A record's entries by key, read by hand.
    static std::map<int, QByteArray> Entries(const QByteArray& record) {
        std::map<int, QByteArray> entries;
        int pos = 10;
        while (pos < record.size()) {
            const auto b = [&](int i) { return int(std::uint8_t(record[pos + i])); };
            const int width = (b(0) == 0xA0 || b(0) == 0xA1) ? 1 : 2;
            const int key = width == 1 ? b(0) : (b(0) << 8 | b(1));
            const int length = b(width) << 8 | b(width + 1);
            entries[key] = record.mid(pos + width + 2, length);
            pos += width + 2 + length;
        }
        return entries;
    }

    QTemporaryDir dir_;
    FakeClock clock_{QDateTime(QDate(2007, 2, 3), QTime(14, 5), Qt::UTC)};
    ScriptedRandom random_;
    std::unique_ptr<PhoneHomeServices> store_;
};

// ---- values ------------------------------------------------------------------------------

TEST_F(StoreTest, StoringAndReadingValues) {
    struct Case {
        const char* name;
        std::function<void(PhoneHomeServices&)> act;
        std::uint16_t key;
        const char* bytes;  // hex of the stored value; nullptr: absent
        std::uint32_t number;
    };
    const std::string sixChars = "ABCDEF";
    const std::vector<char> big(32768, 'x');
    const Case cases[] = {
        {"increment of an absent key", [](auto& s) { EXPECT_EQ(s.Increment(4392), 1u); }, 4392, "00000001", 1},
        {"increment of a u8 at 255 wraps",
         [](auto& s) {
             s.SetNumber(16, 255);
             EXPECT_EQ(s.Increment(16), 256u);
         },
         16, "00", 0},
        {"u16 keeps the low 16 bits", [](auto& s) { s.SetNumber(24, 0x12345); }, 24, "2345", 0x2345},
        {"SetNumber on a text key keeps the text",
         [](auto& s) {
             s.SetString(48, "hello");
             s.SetNumber(48, 7);
         },
         48, "68656c6c6f", 0x68656c6c},
        {"SetNumber on a bytes key stores nothing", [](auto& s) { s.SetNumber(46, 7); }, 46, nullptr, 0},
        {"SetNumber on an unlisted key stores nothing", [](auto& s) { s.SetNumber(12, 7); }, 12, nullptr, 0},
        {"text of 6 characters reads its first four", [&](auto& s) { s.SetString(48, sixChars); }, 48, "414243444546",
         0x41424344},
        {"SetData of length 0 removes",
         [](auto& s) {
             s.SetNumber(93, 5);
             s.SetData(93, "x", 0);
         },
         93, nullptr, 0},
        {"SetData of a null pointer removes",
         [](auto& s) {
             s.SetNumber(93, 5);
             s.SetData(93, nullptr, 4);
         },
         93, nullptr, 0},
        {"SetData of 32768 bytes leaves the key absent",
         [&](auto& s) {
             s.SetNumber(46, 1);
             s.SetBytes(46, "a", 1);
             s.SetData(46, big.data(), 32768);
         },
         46, nullptr, 0},
        {"SetRecordCategory stores one byte", [](auto& s) { s.SetRecordCategory(122); }, 1, "7a", 122},
        {"a packed error code", [](auto& s) { s.SetNumber(93, s.PackErrorCode(33, 0x1001)); }, 93, "00210110",
         0x00210110},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneHomeServices& store = Start();
        c.act(store);
        if (c.bytes == nullptr) {
            EXPECT_FALSE(store.HasKey(c.key));
        } else {
            ASSERT_TRUE(store.HasKey(c.key));
            const auto& held = store.values().at(c.key).bytes;
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(held.data()), qsizetype(held.size())).toHex(),
                      QByteArray(c.bytes));
        }
        EXPECT_EQ(store.GetNumber(c.key), c.number);
        Stop();
    }
}

TEST_F(StoreTest, PackErrorCodeExchangesTheCodesBytes) {
    PhoneHomeServices& store = Start();
    EXPECT_EQ(store.PackErrorCode(33, 0x1001), 0x00210110u);
    EXPECT_EQ(store.PackErrorCode(32, 0x00FF), 0x0020FF00u);
    EXPECT_EQ(store.PackErrorCode(3, 0xABCD), 0x0003CDABu);
}

TEST_F(StoreTest, SetData32767BytesIsKeptWhole) {
    PhoneHomeServices& store = Start();
    const std::vector<char> bytes(32767, 'y');
    store.SetData(46, bytes.data(), 32767);
    ASSERT_TRUE(store.HasKey(46));
    EXPECT_EQ(store.values().at(46).bytes.size(), 32767u);
}

// ---- timers ------------------------------------------------------------------------------

TEST_F(StoreTest, Timers) {
    PhoneHomeServices& store = Start();
    // Restored with 100 seconds, then run for 5.
    store.SetNumber(4394, 100);
    store.StartTimer(4394);
    clock_.advance(std::chrono::seconds(5));
    store.StampDate();
    EXPECT_EQ(store.GetNumber(4394), 105u);

    // A second start does not restart the running stopwatch.
    store.StartTimer(4394);
    clock_.advance(std::chrono::seconds(10));
    store.StopTimer(4394);
    clock_.advance(std::chrono::seconds(50));
    store.StampDate();
    EXPECT_EQ(store.GetNumber(4394), 115u);

    // Stopping a timer that never ran does nothing, and leaves no value behind.
    store.StopTimer(4395);
    store.StampDate();
    EXPECT_FALSE(store.HasKey(4395));

    // A sampled report drops the value but not the stopwatch: the total comes back.
    store.DropSampledKeys();
    EXPECT_FALSE(store.HasKey(4394));
    store.StampDate();
    EXPECT_EQ(store.GetNumber(4394), 115u);
}

TEST_F(StoreTest, SignOnStateMovesTheSignOnTimersAndTheCategory) {
    PhoneHomeServices& store = Start();  // signed off from the start
    clock_.advance(std::chrono::seconds(30));
    store.SetSignOnState(2);
    EXPECT_EQ(store.GetNumber(1), 2u);
    store.SetSignOnState(3);
    EXPECT_EQ(store.GetNumber(1), 3u);
    EXPECT_EQ(store.GetNumber(27), 3u);
    clock_.advance(std::chrono::seconds(20));
    store.SetSignOnState(1);
    EXPECT_EQ(store.GetNumber(1), 4u);
    EXPECT_EQ(store.GetNumber(241), 20u);
    EXPECT_EQ(store.GetNumber(242), 30u);
    store.SetSignOnState(9);  // unknown: only key 27 changes
    EXPECT_EQ(store.GetNumber(1), 4u);
    EXPECT_EQ(store.GetNumber(27), 9u);
}

// ---- sessions ----------------------------------------------------------------------------

TEST_F(StoreTest, EndSession) {
    struct Case {
        std::uint8_t category;
        std::uint32_t endCode;
        int recordsWritten;
        std::uint32_t keyOneAfter;
        bool keepsServiceError;
    } cases[] = {
        {2, 12294, 1, 2, true},  // stays in the session
        {3, 9, 1, 4, false},     // a new session
        {8, 0, 0, 3, true},      // no record, still the follow-up
        {6, 0, 0, 3, true},     {3, 0, 0, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.category) * 100000 + int(c.endCode));
        QFile::remove(LogPath());
        PhoneHomeServices& store = Start();
        store.SetSignOnState(2);
        store.SetNumber(93, 0x00200001);
        store.EndSession(c.category, c.endCode);
        const auto records = LogRecords();
        ASSERT_EQ(int(records.size()), c.recordsWritten);
        if (c.recordsWritten) {
            EXPECT_EQ(records[0].at(1), QByteArray(1, char(c.category)));
            EXPECT_EQ(records[0].at(2).toHex(), QByteArray::number(c.endCode, 16).rightJustified(8, '0'));
            EXPECT_EQ(records[0].count(93), 1u);
        }
        EXPECT_EQ(store.GetNumber(1), c.keyOneAfter);
        EXPECT_EQ(store.GetNumber(2), 255u);
        EXPECT_EQ(store.HasKey(93), c.keepsServiceError);
        if (!c.keepsServiceError) {
            // The new session set its keys again.
            for (std::uint16_t key : {1, 2, 27, 31, 13, 24, 109, 82, 48})
                EXPECT_TRUE(store.HasKey(key)) << key;
        }
        Stop();
    }
}

TEST_F(StoreTest, EndSessionOfCategory6ClearsTheCategorysValues) {
    PhoneHomeServices& store = Start();
    store.SetString(177, "six");  // category 6 only
    store.SetString(41, "x");     // categories 3 and 7
    store.EndSession(6, 231);
    EXPECT_FALSE(store.HasKey(177));
    EXPECT_TRUE(store.HasKey(41));
    EXPECT_EQ(store.GetNumber(1), 3u);
    const auto records = LogRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].count(177), 1u);
}

TEST_F(StoreTest, ScheduleReports) {
    struct Case {
        const char* name;
        std::uint32_t launchCount;
        float rate;
        long randomValue;
        std::uint32_t endCode;  // of the record queued; 0 for none
    } cases[] = {
        {"first launch, no draw", 1, 0.01f, 0, 238}, {"rate 0.01, draw 1", 2, 0.01f, 0, 237},
        {"rate 0.01, draw 2", 2, 0.01f, 1, 0},       {"rate 0.01, draw 200", 5, 0.01f, 199, 0},
        {"rate 1.0, draw 200", 2, 1.0f, 199, 237},   {"rate 1.0, draw 1", 2, 1.0f, 200, 237},
        {"rate 0, draw 1", 2, 0.0f, 0, 0},           {"rate 0.5, draw 100", 2, 0.5f, 99, 237},
        {"rate 0.5, draw 101", 2, 0.5f, 100, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(LogPath());
        QFile::remove(StatsPath());
        PhoneHomeServices& store = Start();
        store.SetNumber(28, c.launchCount);
        store.Increment(4392);
        store.SetReportingRate(c.rate);
        random_.set({c.randomValue});
        store.ScheduleReports();
        const auto records = LogRecords();
        if (c.endCode == 0) {
            EXPECT_TRUE(records.empty());
            EXPECT_EQ(store.GetNumber(4392), 1u);
        } else {
            ASSERT_EQ(records.size(), 1u);
            EXPECT_EQ(records[0].at(1), QByteArray(1, 8));
            EXPECT_EQ(records[0].at(2).toHex(), QByteArray::number(c.endCode, 16).rightJustified(8, '0'));
            // Category 8 selects the persistent counters.
            EXPECT_EQ(records[0].count(4392), 1u);
            // Only the sampled report drops the sampled keys.
            EXPECT_EQ(store.HasKey(4392), c.endCode == 238);
            EXPECT_EQ(store.GetNumber(1), 3u);
        }
        Stop();
    }
}

// ---- records -----------------------------------------------------------------------------

TEST_F(StoreTest, TheTwentyThreeByteRecord) {
    PhoneHomeServices& store = Start();
    store.ClearAll();
    store.SetNumber(1, 4);
    store.SetNumber(2, 255);
    const QByteArray golden = Hex("A1000200 12A00002 07010001 00010400 02000400 0000FF");
    EXPECT_EQ(store.WriteRecord(false), golden);
    EXPECT_EQ(store.WriteRecord(true), golden);
}

TEST_F(StoreTest, WhichValuesARecordHolds) {
    struct Case {
        const char* name;
        std::uint8_t category;
        std::uint32_t endCode;
        bool withPersistent;
        std::set<int> present;
        std::set<int> absent;
    } cases[] = {
        {"category 122 selects key 161, written as the one byte A1", 122, 255, false, {161, 160}, {4392, 69, 12}},
        {"category 4 leaves key 161 out", 4, 255, false, {}, {161, 160, 4392}},
        {"0x8000 is never written, even under category 2", 2, 255, true, {66}, {69}},
        {"flags 0 are never written", 8, 255, true, {}, {12, 85}},
        // 28 and 22 are persistent but also in every record.
        {"the log leaves the persistent counters out", 3, 9, false, {41, 28, 22}, {4392, 4399}},
        {"category 8 selects them in the log", 8, 237, false, {4392, 4399, 28, 22}, {}},
        {"Session Stats always holds them", 4, 255, true, {4392, 4399, 28, 22}, {}},
        {"0x0004 needs a running session", 4, 9, false, {}, {97}},
        {"0x0004 with end code 232", 4, 232, false, {97}, {}},
        {"0x0004 with end code 254", 4, 254, false, {97}, {}},
        {"category 179 selects 0x0004 too", 179, 9, false, {97}, {}},
        {"category 248 selects only 0x0002", 248, 9, false, {93}, {97, 66}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneHomeServices& store = Start();
        store.SetNumber(160, 0x1234);
        store.SetNumber(161, 0x5678);
        store.SetNumber(4392, 3);
        store.SetNumber(4399, 4);
        store.SetNumber(28, 2);
        store.SetNumber(93, 1);
        store.SetNumber(97, 1);
        store.SetNumber(66, 1);
        store.SetData(69, "n", 1);
        store.SetData(12, "z", 1);
        store.SetNumber(85, 1);
        store.SetString(41, "x");
        store.SetRecordCategory(c.category);
        store.SetNumber(2, c.endCode);
        const QByteArray record = store.WriteRecord(c.withPersistent);
        const auto entries = Entries(record);
        for (int key : c.present)
            EXPECT_EQ(entries.count(key), 1u) << key;
        for (int key : c.absent)
            EXPECT_EQ(entries.count(key), 0u) << key;
        if (c.present.count(161)) {
            EXPECT_TRUE(record.contains(Hex("A000021234A100025678"))) << record.toHex().constData();
        }
        Stop();
    }
}

TEST_F(StoreTest, EntriesBeyondTheSixteenBitLengthAreLeftOut) {
    PhoneHomeServices& store = Start();
    const std::vector<char> bytes(30000, 'b');
    for (std::uint16_t key : {46, 58, 79})
        store.SetData(key, bytes.data(), 30000);
    const QByteArray record = store.WriteRecord(true);
    const int rest = (std::uint8_t(record[3]) << 8) | std::uint8_t(record[4]);
    EXPECT_EQ(rest + 5, record.size());
    EXPECT_LE(record.size() - 10, 65530);
    // The record reads back whole.
    PhoneHomeReader in(record);
    QByteArray read;
    ASSERT_TRUE(PhoneHomeServices::ReadRecord(in, read));
    EXPECT_EQ(read, record);
    const auto entries = Entries(record);
    EXPECT_EQ(entries.count(46) + entries.count(58) + entries.count(79), 2u);
    EXPECT_EQ(entries.count(82), 1u);  // smaller entries after the one left out still fit
}

// ---- files -------------------------------------------------------------------------------

TEST_F(StoreTest, ASaveOf150BytesAfterOneOf200Leaves150) {
    PhoneHomeServices& store = Start();
    store.SetData(46, "", 0);
    const int base = int(store.WriteRecord(true).size());
    const std::vector<char> bytes(200, 'p');
    store.SetData(46, bytes.data(), std::uint16_t(200 - base - 4));
    store.SaveSessionStats();
    EXPECT_EQ(ReadFile(StatsPath()).size(), 200);
    store.SetData(46, bytes.data(), std::uint16_t(150 - base - 4));
    store.SaveSessionStats();
    EXPECT_EQ(ReadFile(StatsPath()).size(), 150);
    EXPECT_EQ(ReadFile(StatsPath()), store.WriteRecord(true));
}

TEST_F(StoreTest, ANormalEndRemovesTheLockAndKeepsSessionStats) {
    Start();
    EXPECT_TRUE(QFile::exists(LockPath()));
    EXPECT_GT(ReadFile(StatsPath()).size(), 10);
    Stop();
    EXPECT_FALSE(QFile::exists(LockPath()));
    EXPECT_GT(ReadFile(StatsPath()).size(), 10);
    EXPECT_FALSE(QFile::exists(LogPath()));
}

TEST_F(StoreTest, LoadPrevious) {
    const QByteArray valid = Record(Entry(28, Hex("00000007")) + Entry(93, Hex("00000005")));
    enum class Stats { Missing, Empty, Invalid, Valid, CutShort };
    struct Case {
        const char* name;
        bool lock;
        Stats stats;
        std::uint32_t launchCount;
        bool copiedToLog;
    } cases[] = {
        {"no lock, no stats", false, Stats::Missing, 0, false},
        {"no lock, empty stats", false, Stats::Empty, 0, false},
        {"no lock, invalid stats", false, Stats::Invalid, 0, false},
        {"no lock, valid stats", false, Stats::Valid, 7, false},
        {"lock, no stats", true, Stats::Missing, 0, false},
        {"lock, empty stats", true, Stats::Empty, 0, false},
        {"lock, invalid stats", true, Stats::Invalid, 0, false},
        {"lock, valid stats", true, Stats::Valid, 7, true},
        // What it holds comes back, but a partial record never goes to the log, where it
        // would hide the records after it.
        {"lock, stats cut short", true, Stats::CutShort, 7, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(LogPath());
        QFile::remove(StatsPath());
        QFile::remove(LockPath());
        if (c.lock) WriteFile(LockPath(), {});
        if (c.stats == Stats::Empty) WriteFile(StatsPath(), {});
        if (c.stats == Stats::Invalid) WriteFile(StatsPath(), Hex("A20002001CA0000207010001000100"));
        if (c.stats == Stats::Valid) WriteFile(StatsPath(), valid);
        if (c.stats == Stats::CutShort) WriteFile(StatsPath(), valid.chopped(1));
        PhoneHomeServices& store = Start();
        EXPECT_EQ(store.GetNumber(28), c.launchCount);
        EXPECT_FALSE(store.HasKey(93));  // not persistent
        EXPECT_EQ(ReadFile(LogPath()), c.copiedToLog ? valid : QByteArray());
        // A new Session Stats and a new lock for this run.
        EXPECT_TRUE(QFile::exists(LockPath()));
        EXPECT_EQ(ReadFile(StatsPath()), store.WriteRecord(true));
        Stop();
    }
}

TEST_F(StoreTest, OnlyNumericPersistentValuesOfTheirExactWidthComeBack) {
    struct Case {
        const char* name;
        QByteArray entries;
        std::map<int, std::uint32_t> restored;
        std::set<int> absent;
    } cases[] = {
        {"key 28 with length 4", Entry(28, Hex("00000009")), {{28, 9}}, {}},
        {"key 28 with length 2 is skipped", Entry(28, Hex("0009")), {}, {28}},
        {"key 93 is not persistent", Entry(93, Hex("00000009")), {}, {93}},
        {"the first entry of a key wins", Entry(22, Hex("00000001")) + Entry(22, Hex("00000002")), {{22, 1}}, {}},
        {"u16 and u8 persistent keys", Entry(14, Hex("109A")) + Entry(193, Hex("05")), {{14, 4250}, {193, 5}}, {}},
        {"one-byte keys do not misalign what follows",
         Entry(0xA0, Hex("1234"), 1) + Entry(0xA1, Hex("5678"), 1) + Entry(28, Hex("00000003")),
         {{28, 3}},
         {160, 161}},
        {"sampled timers", Entry(4394, Hex("0000012C")) + Entry(241, Hex("0000000A")), {{4394, 300}, {241, 10}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(LockPath());
        WriteFile(StatsPath(), Record(c.entries));
        PhoneHomeServices& store = Start();
        for (auto [key, value] : c.restored)
            EXPECT_EQ(store.GetNumber(std::uint16_t(key)), value) << key;
        for (int key : c.absent)
            EXPECT_FALSE(store.HasKey(std::uint16_t(key))) << key;
        Stop();
    }
}

// ---- hostile files -----------------------------------------------------------------------

TEST(PhoneHomeRecordReading, ReadRecordTakesWholeRecordsOnly) {
    const QByteArray a = Record(Entry(1, Hex("04")));
    const QByteArray b = Record(Entry(2, Hex("000000FF")) + Entry(48, "abc"));
    struct Case {
        const char* name;
        QByteArray bytes;
        std::vector<QByteArray> records;
    } cases[] = {
        {"nothing", {}, {}},
        {"two records", a + b, {a, b}},
        {"two records and a stray byte", a + b + Hex("A1"), {a, b}},
        {"stray bytes between records", a + Hex("00FFA1") + b, {a, b}},
        {"a record cut short", a + b.left(b.size() - 1), {a}},
        {"a huge length field", Hex("A10002FFFFA00002070100010001") + a, {a}},
        {"a length field of four bytes", Hex("A1000400000012A0000207010001000104") + b, {b}},
        {"no version tag", Hex("A10002000BB0000207010001000104") + b, {b}},
        {"a length below the version field", Hex("A100020004A0000207") + a, {a}},
        {"only a header", Hex("A100020005A000020701"), {Hex("A100020005A000020701")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A copy of exactly the bytes, so ASan sees any read past them.
        std::vector<std::uint8_t> exact(c.bytes.begin(), c.bytes.end());
        PhoneHomeReader in(exact.data(), exact.size());
        std::vector<QByteArray> read;
        QByteArray record;
        while (PhoneHomeServices::ReadRecord(in, record))
            read.push_back(record);
        EXPECT_EQ(read, c.records);
    }
}

TEST_F(StoreTest, HostileSessionStatsRestoreWhatIsThereAndNothingElse) {
    struct Case {
        const char* name;
        QByteArray bytes;
        std::uint32_t launchCount;
    } cases[] = {
        {"an entry whose length runs past the file", Record(Entry(28, Hex("00000004")) + Hex("0016FFFF0000")), 4},
        {"a record cut inside an entry", Record(Entry(28, Hex("00000005")) + Entry(22, Hex("00000001"))).chopped(2), 5},
        {"a record length beyond the file", Hex("A10002FFF0A000020701") + Entry(28, Hex("00000006")), 6},
        {"stray bytes after the record", Record(Entry(28, Hex("00000002"))) + Hex("001C000400000009"), 2},
        {"a lone key byte at the end", Record(Entry(28, Hex("00000003"))) + Hex("00"), 3},
        {"a header only", Hex("A100020005A000020701"), 0},
        {"eight bytes", Hex("A100020005A00002"), 0},
        {"a 0-byte file", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(LockPath());
        WriteFile(StatsPath(), c.bytes);
        PhoneHomeServices& store = Start();
        EXPECT_EQ(store.GetNumber(28), c.launchCount);
        Stop();
    }
}

TEST(PhoneHomeRecordReading, LoadPersistentKeysStaysInsideTheBytes) {
    FakeClock clock;
    PhoneHomeServices store(
        clock, [] { return 1L; }, nullptr, nullptr);
    const QByteArray cases[] = {
        {},
        Hex("A1"),
        Hex("A100020005A000020701"),
        Hex("A100020010A00002070100"),
        Hex("A100020010A0000207010A"),
        Hex("A100020010A000020701001C"),
        Hex("A100020010A000020701001C00"),
        Hex("A100020010A000020701001C0004000000"),
        Hex("A100020010A000020701A1"),
        Hex("A100020010A000020701A1FF"),
    };
    for (const QByteArray& bytes : cases) {
        SCOPED_TRACE(bytes.toHex().constData());
        std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
        PhoneHomeReader in(exact.data(), exact.size());
        store.LoadPersistentKeys(in);
        EXPECT_TRUE(in.atEnd());
        EXPECT_FALSE(store.HasKey(28));
    }
}

}  // namespace
