#pragma once

#include <chrono>
#include <cstdlib>
#include <string>

namespace zymtest {

// Folder with the conformance vectors and reference tables (may be absent).
inline std::string SharedDir() {
    const char* v = std::getenv("ZYM_SHARED_DIR");
    return v ? v : "";
}

// The source tree, for committed fixtures under tests/data.
inline std::string SourceDir() {
    const char* v = std::getenv("ZYM_SOURCE_DIR");
    return v ? v : ".";
}

inline std::string DataPath(const std::string& rel) { return SourceDir() + "/tests/data/" + rel; }

// How much slower than usual the machine may be (ZYM_TEST_TIME_SCALE, default 1; a busy
// CI raises it). Scales the upper bounds of waits and the time-outs a test shortens on
// purpose, never a lower bound a test checks.
double TimeScale();

template <class Rep, class Period>
std::chrono::milliseconds Scaled(std::chrono::duration<Rep, Period> d) {
    return std::chrono::milliseconds(
        static_cast<long long>(std::chrono::duration<double, std::milli>(d).count() * TimeScale()));
}
inline double Scaled(double seconds) { return seconds * TimeScale(); }

// A log file of the running test's own: its tag, name and process, so two runs of the
// suite on one machine never write into each other's logs.
std::string TestLogPath(const std::string& tag);

}  // namespace zymtest
