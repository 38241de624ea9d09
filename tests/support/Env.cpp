#include "support/Env.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace zymtest {

double TimeScale() {
    static const double scale = [] {
        const char* v = std::getenv("ZYM_TEST_TIME_SCALE");
        double f = 1.0;
        if (!v) return f;
        const char* end = v + std::strlen(v);
        const auto r = std::from_chars(v, end, f);  // not the locale's decimal point
        return (r.ec == std::errc() && r.ptr == end && f >= 1.0 && f <= 1000.0) ? f : 1.0;
    }();
    return scale;
}

std::string TestLogPath(const std::string& tag) {
    // A parameterised test's name holds a '/', which no file name may.
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    return ::testing::TempDir() + "zym-" + tag + "-" + name + "-" + std::to_string(::getpid()) + ".log";
}

}  // namespace zymtest
