#pragma once

#include "app/foundation/NSLog.h"

#include <QString>
#include <QStringList>

#include <ostream>

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << '{' << l.join(" | ").toStdString() << '}'; }

// Collects the NSLog lines written while it lives.
class LogCapture {
public:
    LogCapture() {
        previous_ = SetNSLogSink([this](const QString& line) { lines.append(line); });
    }
    ~LogCapture() { SetNSLogSink(std::move(previous_)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    QStringList lines;

private:
    NSLogSink previous_;
};
