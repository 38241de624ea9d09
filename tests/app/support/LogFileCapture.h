#pragma once

#include "runtime/LogMessage.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// Sends the log file to a temporary folder while it lives; lines() reads what was written.
class LogFileCapture {
public:
    explicit LogFileCapture(int level = kLogDebug) {
        path_ = dir_.filePath(QStringLiteral("test.log"));
        InitLogFile(path_.toLocal8Bit().constData(), level, 0);
    }
    ~LogFileCapture() { InitLogFile(nullptr, kLogInfo, 0); }
    LogFileCapture(const LogFileCapture&) = delete;
    LogFileCapture& operator=(const LogFileCapture&) = delete;

    // The lines containing `needle`.
    QStringList lines(const QString& needle) const {
        QFile file(path_);
        if (!file.open(QIODevice::ReadOnly)) return {};
        QStringList found;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            if (line.contains(needle)) found << line;
        }
        return found;
    }

private:
    QTemporaryDir dir_;
    QString path_;
};
