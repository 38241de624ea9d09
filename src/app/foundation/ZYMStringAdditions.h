#pragma once
// String helpers of the application layers: truncation with an ellipsis (by characters
// or by drawn width), character-set removal and replacement, percent escapes.

#include <QChar>
#include <QFont>
#include <QString>

#include <functional>

namespace ZYMString {

// Where a truncation puts the ellipsis.
enum TruncationPosition : int { TruncateHead = 0, TruncateMiddle = 1, TruncateTail = 2 };

// A set of characters, as a predicate.
using CharacterSet = std::function<bool(QChar)>;
CharacterSet whitespaceCharacterSet();
CharacterSet characterSetWithCharacters(const QString& characters);

// The single character U+2026.
const QString& ellipsisString();

QString stringByRemovingCharactersInSet(const QString& s, const CharacterSet& set);
// Every run of consecutive characters of the set becomes one `replacement`.
QString stringByReplacingCharactersInSet(const QString& s, const CharacterSet& set, const QString& replacement);

// Keeps `length` characters and puts the ellipsis at the head, middle or tail (any
// position other than head or middle counts as tail); a string that short is unchanged.
void truncateTo(QString& s, int length, int position);

// The drawn width of a text (tests give fixed-width measures).
using WidthMeasure = std::function<double(const QString&)>;
WidthMeasure fontWidthMeasure(const QFont& font);

// Shortens `s` in place to the longest truncation whose drawn width is not above
// `width`; a string that fits is left as it is.
void truncateToWidth(QString& s, double width, int position, const WidthMeasure& measure);
QString stringByTruncatingToWidth(const QString& s, double width, int position, const WidthMeasure& measure);

// UTF-8 percent escapes for every character that is neither unreserved nor a URL
// delimiter (so "/", "?", "&", "#" and ":" stay, a space or "%" is escaped).
QString stringByAddingPercentEscapes(const QString& s);
// Decodes every escape.
QString stringByReplacingPercentEscapes(const QString& s);

bool isEqualToStringIgnoringCase(const QString& a, const QString& b);

// A new UUID in upper-case text without braces.
QString uuidString();

}  // namespace ZYMString
