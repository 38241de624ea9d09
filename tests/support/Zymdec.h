#pragma once

// Running the zymdec tool from tests, as a process, with its exit status and output.

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/Pcm.h"

namespace zymtest {

// The build folder: from the environment, else three levels above this test binary.
inline std::string Zymdec() {
    if (const char* dir = std::getenv("ZYM_BINARY_DIR")) return std::string(dir) + "/tools/zymdec/zymdec";
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    for (int i = 0; i < 4 && !path.empty(); ++i)
        path = path.substr(0, path.rfind('/'));
    return path + "/tools/zymdec/zymdec";
}

inline bool HaveZymdec() { return access(Zymdec().c_str(), X_OK) == 0; }

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

inline std::string Slurp(const std::string& path) {
    std::vector<uint8_t> bytes;
    ReadFile(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

struct ZymResult {
    int code = -1;
    std::string out;
    std::string err;
};

// zymdec with the given arguments (already quoted where needed).
inline ZymResult Zym(const std::string& args) {
    const std::string out = TempPath(".out");
    const std::string err = TempPath(".err");
    ZymResult r;
    r.code = RunCommand(Zymdec() + " " + args + " >" + Quote(out) + " 2>" + Quote(err));
    r.out = Slurp(out);
    r.err = Slurp(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return r;
}

}  // namespace zymtest
