#pragma once

// The application's console log (NSLog's stand-in): one line on standard error,
// "yyyy-MM-dd HH:mm:ss.zzz <process>[<pid>] <message>". Takes a finished text, so
// numbers in it are formatted by the caller, never by the process locale.

#include <QString>

#include <functional>

void NSLog(const QString& message);

// Tests divert the lines; the sink gets the message without the prefix. Returns the
// sink replaced; an empty function restores standard error.
using NSLogSink = std::function<void(const QString& message)>;
NSLogSink SetNSLogSink(NSLogSink sink);
