#pragma once

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

}  // namespace zymtest
