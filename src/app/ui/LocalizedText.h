#pragma once
// The texts the windows show: each key the code uses is declared once here with the
// number of arguments its text takes, and formats are filled in one pass, so an argument
// holding "%@" or "%1" (a song title) is shown as it is.

#include "app/foundation/Localizer.h"

#include <QString>
#include <QStringList>

#include <vector>

struct StringKey {
    const char* key;
    int arguments;
};

namespace StringKeys {
inline constexpr StringKey SearchPlaceholder{"SearchPlaceholder", 0};
// The lists.
inline constexpr StringKey AllStationsItemName{"AllStationsItemName", 0};
inline constexpr StringKey SearchResultsItemName{"SearchResultsItemName", 0};
inline constexpr StringKey RecentStationsItemName{"RecentStationsItemName", 0};
inline constexpr StringKey SearchResultsItemSuffixFormat{"SearchResultsItemSuffixFormat", 1};
inline constexpr StringKey ClipboardStationURLFormat{"ClipboardStationURLFormat", 2};
inline constexpr StringKey PlayContextMenuItem{"PlayContextMenuItem", 0};
inline constexpr StringKey StopContextMenuItem{"StopContextMenuItem", 0};
inline constexpr StringKey SignOnString{"SignOnString", 0};
inline constexpr StringKey SignOffString{"SignOffString", 0};

// Every key above (the strings table must hold each, with its number of arguments).
const std::vector<StringKey>& all();
}  // namespace StringKeys

// The main table's text for a key without arguments.
QString localized(const StringKey& key);
// The main table's format filled with `arguments` (their number must be the key's).
QString localizedFormat(const StringKey& key, const QStringList& arguments);
