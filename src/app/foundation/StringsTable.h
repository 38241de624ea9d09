#pragma once

// The reader of localized strings tables ("key" = "value"; with /* */ and // comments,
// backslash escapes and the short form "key";), in UTF-8 or, with a byte-order mark,
// UTF-16. The input is untrusted: anything malformed gives no table.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace StringsTable {

std::optional<QHash<QString, QString>> parse(const QByteArray& bytes, QString* error = nullptr);

}  // namespace StringsTable
