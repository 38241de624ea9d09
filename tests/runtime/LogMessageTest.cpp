#include "runtime/LogMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// True when `s` at `at` holds a 24-character ctime date and ": ", as in
// "Thu Dec 10 13:10:45 2026: ".
bool IsDatePrefix(const std::string& s, size_t at) {
    static const char kShape[] = "Aaa Aaa _9 99:99:99 9999: ";  // A upper, a lower, 9 digit, _ digit or blank
    const size_t n = sizeof kShape - 1;
    if (at + n > s.size()) return false;
    for (size_t i = 0; i < n; ++i) {
        const char c = s[at + i];
        switch (kShape[i]) {
        case 'A':
            if (c < 'A' || c > 'Z') return false;
            break;
        case 'a':
            if (c < 'a' || c > 'z') return false;
            break;
        case '9':
            if (c < '0' || c > '9') return false;
            break;
        case '_':
            if (c != ' ' && (c < '0' || c > '9')) return false;
            break;
        default:
            if (c != kShape[i]) return false;
        }
    }
    return true;
}

// The text with every date prefix replaced by "<D>".
std::string MarkDates(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (IsDatePrefix(s, i)) {
            out += "<D>";
            i += 26;
        } else {
            out += s[i++];
        }
    }
    return out;
}

class LogMessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("zym-log-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = dir_ / "zymradio.log";
    }
    void TearDown() override {
        OpenLogFile(nullptr, 0);  // close: later tests of this executable log nowhere
        InitLogFile(nullptr, 1, 0);
        fs::remove_all(dir_);
    }

    fs::path dir_;
    fs::path path_;
};

TEST(LogMessageFreshProcess, WritesNothingBeforeInitAndThresholdIsOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // re-executes: a logger never initialised
    EXPECT_EXIT(
        {
            LogMessage(kLogError, "dropped\n");
            std::exit(GetLogLevel() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(LogMessageTest, ThresholdFiltersByLevel) {
    struct Case {
        int threshold;
        int level;
        bool written;
    };
    const Case cases[] = {{0, 0, true}, {0, 1, false}, {1, 1, true},  {1, 2, false},
                          {2, 2, true}, {2, 0, true},  {-1, 0, false}};
    for (const Case& c : cases) {
        InitLogFile(path_.c_str(), c.threshold, 0);
        EXPECT_EQ(GetLogLevel(), c.threshold);
        LogMessage(c.level, "probe %d\n", c.level);
        const bool found = ReadFile(path_).find("probe " + std::to_string(c.level) + "\n") != std::string::npos;
        EXPECT_EQ(found, c.written) << "threshold " << c.threshold << " level " << c.level;
    }
}

TEST_F(LogMessageTest, TrimKeepsExactlyTheLastMaxBytes) {
    std::string old(3000000, '\0');
    for (size_t i = 0; i < old.size(); ++i)
        old[i] = static_cast<char>(i % 251);  // no period dividing the cut, so a misplaced cut shows
    WriteFile(path_, old);

    InitLogFile(path_.c_str(), 1, 1048576);
    LogMessage(kLogInfo, "after\n");

    const std::string now = ReadFile(path_);
    ASSERT_GT(now.size(), 1048576u + 2);
    EXPECT_TRUE(now.compare(0, 1048576, old, old.size() - 1048576, 1048576) == 0);
    const std::string tail = now.substr(1048576);
    EXPECT_EQ(MarkDates(tail), "\n\n<D>Logging started\n<D>after\n");
}

// A long session does not grow the file without end: past twice the bound only the last
// part stays, beginning with a whole line, and the newest line is always there.
TEST_F(LogMessageTest, ALongSessionIsKeptWithinTwiceTheBound) {
    constexpr int kBound = 8192;
    InitLogFile(path_.c_str(), 2, kBound);
    const std::string filler(90, 'f');
    std::uintmax_t largest = 0;
    for (int i = 0; i < 3000; ++i) {
        LogMessage(kLogDebug, "line %d %s\n", i, filler.c_str());
        largest = std::max(largest, fs::file_size(path_));
    }
    EXPECT_LE(largest, 2u * kBound + 200u);  // at most one line past twice the bound
    const std::string now = ReadFile(path_);
    EXPECT_GE(now.size(), std::size_t(kBound) - 200u);
    EXPECT_TRUE(IsDatePrefix(now, 0)) << now.substr(0, 60);
    EXPECT_NE(now.find("line 2999 " + filler + "\n"), std::string::npos);
    EXPECT_EQ(now.find("line 0 "), std::string::npos);
    // Without a bound (the tests' maxBytes 0) the file is left to grow.
    InitLogFile(path_.c_str(), 2, 0);
    for (int i = 0; i < 300; ++i)
        LogMessage(kLogDebug, "line %d %s\n", i, filler.c_str());
    EXPECT_GT(fs::file_size(path_), 300u * 90u);
}

// The log names the account and the stations played: nobody but its owner may read it,
// also when the file was there before, open to all.
TEST_F(LogMessageTest, TheFileIsItsOwnersAlone) {
    const mode_t old = umask(022);
    InitLogFile(path_.c_str(), 1, 1048576);
    EXPECT_EQ(fs::status(path_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(path_,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    InitLogFile(path_.c_str(), 1, 0);
    EXPECT_EQ(fs::status(path_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    umask(old);
}

TEST_F(LogMessageTest, SmallFileIsKeptAndRunsAreSeparated) {
    WriteFile(path_, "earlier run\n");
    InitLogFile(path_.c_str(), 1, 1048576);
    EXPECT_EQ(MarkDates(ReadFile(path_)), "earlier run\n\n\n<D>Logging started\n");
}

TEST_F(LogMessageTest, MaxBytesZeroEmptiesTheFile) {
    WriteFile(path_, std::string(5000, 'x'));
    InitLogFile(path_.c_str(), 0, 0);
    EXPECT_EQ(MarkDates(ReadFile(path_)), "\n\n<D>Logging started\n");
}

TEST_F(LogMessageTest, MissingFileIsCreated) {
    ASSERT_FALSE(fs::exists(path_));
    InitLogFile(path_.c_str(), 1, 1048576);
    ASSERT_TRUE(fs::exists(path_));
    EXPECT_EQ(MarkDates(ReadFile(path_)), "\n\n<D>Logging started\n");
}

TEST_F(LogMessageTest, UnopenablePathDropsMessages) {
    const fs::path bad = dir_ / "no-such-folder" / "x.log";
    InitLogFile(bad.c_str(), 2, 1048576);
    LogMessage(kLogError, "dropped\n");
    EXPECT_FALSE(fs::exists(bad));
    EXPECT_EQ(GetLogLevel(), 2);
}

TEST_F(LogMessageTest, MessageWithoutNewlineRunsIntoTheNextLine) {
    InitLogFile(path_.c_str(), 1, 0);
    LogMessage(kLogInfo, "x");
    LogMessage(kLogInfo, "y\n");
    EXPECT_EQ(MarkDates(ReadFile(path_)), "\n\n<D>Logging started\n<D>x<D>y\n");
}

TEST_F(LogMessageTest, LinesOfTwoThreadsNeverInterleave) {
    InitLogFile(path_.c_str(), 2, 0);
    const std::string a(200, 'a');
    const std::string b(200, 'b');
    constexpr int perThread = 2000;
    auto writer = [](const std::string& text) {
        for (int i = 0; i < perThread; ++i)
            LogMessage(kLogDebug, "%s %d\n", text.c_str(), i);
    };
    std::thread ta(writer, a);
    std::thread tb(writer, b);
    ta.join();
    tb.join();

    std::istringstream lines(ReadFile(path_));
    std::string line;
    int counted = 0;
    while (std::getline(lines, line)) {
        if (line.empty() || line.find("Logging started") != std::string::npos) continue;
        ++counted;
        const std::string marked = MarkDates(line);
        const bool whole = marked.rfind("<D>" + a + " ", 0) == 0 || marked.rfind("<D>" + b + " ", 0) == 0;
        ASSERT_TRUE(whole && marked.size() <= 3 + 200 + 1 + 4) << line.substr(0, 80);
    }
    EXPECT_EQ(counted, 2 * perThread);
}

TEST(LogFilePath, FollowsXdgStateHome) {
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string keep = saved ? saved : "";
    setenv("XDG_STATE_HOME", "/tmp/zym-state", 1);
    EXPECT_EQ(DefaultLogFilePath(), "/tmp/zym-state/zymradio/zymradio.log");
    setenv("XDG_STATE_HOME", "relative/ignored", 1);  // XDG: relative paths are invalid
    const char* home = std::getenv("HOME");
    EXPECT_EQ(DefaultLogFilePath(), std::string(home ? home : "") + "/.local/state/zymradio/zymradio.log");
    if (saved)
        setenv("XDG_STATE_HOME", keep.c_str(), 1);
    else
        unsetenv("XDG_STATE_HOME");
}

}  // namespace
