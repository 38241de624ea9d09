#pragma once

#include "platform/RunLoop.h"
#include "support/Env.h"

#include <QJsonArray>
#include <QJsonObject>

#include <chrono>
#include <functional>
#include <string>

namespace supporttest {

// Runs the thread's loop until `done`, at most the scaled bound.
inline bool RunUntil(const std::function<bool()>& done,
                     std::chrono::milliseconds bound = std::chrono::milliseconds(15000)) {
    return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(bound));
}

// Scripts written with paths relative to a test's prefix: "path", a redirect's "to" and
// a "Location" header move below it.
inline QJsonArray BelowPrefix(const QJsonArray& scripts, const std::string& prefix) {
    const QString p = QString::fromStdString(prefix);
    QJsonArray result;
    for (const auto& s : scripts) {
        QJsonObject o = s.toObject();
        o["path"] = p + o["path"].toString();
        if (o.contains("to")) o["to"] = p + o["to"].toString();
        QJsonArray headers;
        for (const auto& h : o["headers"].toArray()) {
            QJsonArray pair = h.toArray();
            if (pair[0].toString() == "Location") pair[1] = p + pair[1].toString();
            headers.append(pair);
        }
        if (o.contains("headers")) o["headers"] = headers;
        result.append(o);
    }
    return result;
}

}  // namespace supporttest
