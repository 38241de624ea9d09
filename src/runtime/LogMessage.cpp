#include "runtime/LogMessage.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// One lock for the file pointer and every write, so a line never interleaves with
// another thread's and a reopen never pulls the file from under a writer.
std::mutex& LogLock() {
    static std::mutex m;
    return m;
}

FILE* g_file = nullptr;  // guarded by LogLock()
int g_threshold = 1;     // guarded by LogLock()
long g_maxBytes = 0;     // guarded by LogLock(); 0: the file grows without bound

void OpenLocked(const char* path, int maxBytes) {
    if (g_file) {
        std::fclose(g_file);
        g_file = nullptr;
    }
    if (!path) return;
    FILE* f = std::fopen(path, maxBytes != 0 ? "r+" : "w");
    if (!f) f = std::fopen(path, "w+");
    // The log names the account and what was played: its owner's alone.
    if (f) (void)fchmod(fileno(f), 0600);
    g_file = f;
}

// Keeps the file's last maxBytes bytes.
void TrimLocked(long maxBytes) {
    if (std::fseek(g_file, 0, SEEK_END) != 0) return;
    const long size = std::ftell(g_file);
    if (size <= maxBytes) return;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(maxBytes)]);
    if (!buffer) return;
    if (std::fseek(g_file, -maxBytes, SEEK_END) != 0) return;
    const size_t got = std::fread(buffer.get(), 1, static_cast<size_t>(maxBytes), g_file);
    std::fseek(g_file, 0, SEEK_SET);
    std::fwrite(buffer.get(), 1, got, g_file);
    std::fflush(g_file);
    std::fseek(g_file, 0, SEEK_SET);
    if (ftruncate(fileno(g_file), static_cast<off_t>(got)) != 0) {
        // Nothing to report to: the file keeps its old tail after the copied bytes.
    }
    std::fseek(g_file, 0, SEEK_END);
}

// Past twice the bound, keeps the last maxBytes bytes from their first whole line on.
void KeepWithinBoundLocked() {
    if (g_maxBytes <= 0) return;
    const long size = std::ftell(g_file);
    if (size <= 2 * g_maxBytes) return;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(g_maxBytes)]);
    if (!buffer) return;
    if (std::fseek(g_file, -g_maxBytes, SEEK_END) != 0) return;
    const size_t got = std::fread(buffer.get(), 1, static_cast<size_t>(g_maxBytes), g_file);
    size_t from = 0;
    while (from < got && buffer[from] != '\n')
        ++from;
    from = from < got ? from + 1 : 0;
    std::fseek(g_file, 0, SEEK_SET);
    std::fwrite(buffer.get() + from, 1, got - from, g_file);
    std::fflush(g_file);
    if (ftruncate(fileno(g_file), static_cast<off_t>(got - from)) != 0) {
        // Nothing to report to: the old tail stays after the copied bytes.
    }
    std::fseek(g_file, 0, SEEK_END);
}

void WriteLineLocked(const char* format, va_list args) {
    char date[64];
    const time_t now = std::time(nullptr);
    if (!ctime_r(&now, date)) date[0] = '\0';
    std::fprintf(g_file, "%.24s: ", date);
    std::vfprintf(g_file, format, args);
    std::fflush(g_file);
    KeepWithinBoundLocked();
}

void LogLocked(int level, const char* format, ...) {
    if (level > g_threshold || !g_file) return;
    va_list args;
    va_start(args, format);
    WriteLineLocked(format, args);
    va_end(args);
}

}  // namespace

void OpenLogFile(const char* path, int maxBytes) {
    std::lock_guard<std::mutex> lock(LogLock());
    OpenLocked(path, maxBytes);
}

void InitLogFile(const char* path, int level, int maxBytes) {
    std::lock_guard<std::mutex> lock(LogLock());
    OpenLocked(path, maxBytes);
    g_threshold = level;
    g_maxBytes = maxBytes > 0 ? maxBytes : 0;
    if (!g_file) return;
    if (maxBytes > 0) TrimLocked(maxBytes);
    std::fseek(g_file, 0, SEEK_END);
    std::fputs("\n\n", g_file);
    LogLocked(level, "Logging started\n");
}

void LogMessageV(int level, const char* format, va_list args) {
    std::lock_guard<std::mutex> lock(LogLock());
    if (level > g_threshold || !g_file) return;
    WriteLineLocked(format, args);
}

void LogMessage(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogMessageV(level, format, args);
    va_end(args);
}

int GetLogLevel() {
    std::lock_guard<std::mutex> lock(LogLock());
    return g_threshold;
}

std::string DefaultLogFilePath() {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.local/state";
    }
    return base + "/zymradio/zymradio.log";
}
