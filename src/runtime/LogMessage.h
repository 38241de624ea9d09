#pragma once

// The process-wide log file shared by every layer.
//
// Each line is "<24-character ctime date>: <message>". The logger adds no newline:
// callers end their texts with "\n". Until InitLogFile has opened a file every message
// is dropped silently. Safe to call from any thread; one line (date, message, flush) is
// written under one lock, so lines of two threads never interleave.

#include <cstdarg>
#include <string>

// Message levels. A message is written when its level <= the threshold.
enum LogLevel : int {
    kLogError = 0,
    kLogInfo = 1,
    kLogDebug = 2,
    // Whole message bodies and headers, cut short: only when the settings ask for more than
    // the default verbosity (debug), since bodies run to megabytes and name the account.
    kLogTrace = 3,
};

// Opens (or reopens) `path`, sets the threshold to `level`, keeps only the file's last
// `maxBytes` bytes (maxBytes 0 empties it), then writes "\n\n" and "Logging started".
// The file is made readable by its owner only.
//
// With maxBytes > 0 the file is also kept small while the program runs: once a line takes
// it past twice maxBytes, only its last maxBytes bytes stay (from the first whole line on),
// so one file never holds more than about 2 x maxBytes however long the session.
void InitLogFile(const char* path, int level, int maxBytes);

// The file-opening step of InitLogFile: "r+" (or "w" when maxBytes is 0), falling back
// to "w+" when that fails. Leaves no file open when the path cannot be opened.
void OpenLogFile(const char* path, int maxBytes);

void LogMessage(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void LogMessageV(int level, const char* format, va_list args) __attribute__((format(printf, 2, 0)));

// The threshold; 1 before InitLogFile.
int GetLogLevel();

// $XDG_STATE_HOME/zymradio/zymradio.log (XDG_STATE_HOME defaults to ~/.local/state).
// The caller creates the folder before InitLogFile.
std::string DefaultLogFilePath();
