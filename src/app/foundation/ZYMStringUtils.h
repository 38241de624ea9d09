#pragma once

// The two bridges from the core's strings to Qt's. The core keeps text as UTF-8 bytes;
// bytes that are not valid UTF-8 give no string at all (nil), not a string with
// replacement characters.

#include <QString>

#include <optional>
#include <string>

class DMSIF_LocStringType;

std::optional<QString> stringWith_stdstring(const std::string& bytes);
// The text only; language, script and id are ignored.
std::optional<QString> stringWith_LocString(const DMSIF_LocStringType& text);

// The same, with nil read as the empty string, for accessors that answer a plain text.
QString textWith_stdstring(const std::string& bytes);
QString textWith_LocString(const DMSIF_LocStringType& text);
