#include "app/foundation/NSLog.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>
#include <mutex>

#include <unistd.h>

namespace {

std::mutex& SinkLock() {
    static std::mutex m;
    return m;
}

NSLogSink& Sink() {
    static NSLogSink sink;
    return sink;
}

QString ProcessName() {
    if (QCoreApplication::instance()) {
        const QString name = QCoreApplication::applicationName();
        if (!name.isEmpty()) return name;
    }
    return QStringLiteral("zymradio");
}

}  // namespace

void NSLog(const QString& message) {
    NSLogSink sink;
    {
        std::lock_guard<std::mutex> lock(SinkLock());
        sink = Sink();
    }
    if (sink) {
        sink(message);
        return;
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    const QByteArray line = (stamp + QLatin1Char(' ') + ProcessName() + QLatin1Char('[') + QString::number(::getpid()) +
                             QStringLiteral("] ") + message + QLatin1Char('\n'))
                                .toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

NSLogSink SetNSLogSink(NSLogSink sink) {
    std::lock_guard<std::mutex> lock(SinkLock());
    NSLogSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}
