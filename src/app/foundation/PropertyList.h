#pragma once

// XML property lists: <dict>, <array>, <string>, <integer>, <real>, <true/>, <false/>,
// <date> and <data> as QVariantMap, QVariantList, QString, qint64 (quint64 above its
// range), double, bool, QDateTime (UTC, whole seconds) and QByteArray. Numbers are read
// and written in the "C" notation whatever the locale. The reader takes untrusted
// text: a DOCTYPE is allowed (property lists carry one) but nothing it names is
// fetched, and a document declaring entities is refused.

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace PropertyList {

std::optional<QVariant> read(const QByteArray& xml, QString* error = nullptr);
std::optional<QVariant> readFile(const QString& path, QString* error = nullptr);

// Empty when the value holds a type a property list cannot carry.
std::optional<QByteArray> write(const QVariant& value, QString* error = nullptr);
// Through a temporary file renamed over `path` at the end: a write that fails or dies
// midway leaves the old file as it was.
bool writeFile(const QString& path, const QVariant& value, QString* error = nullptr);

}  // namespace PropertyList
