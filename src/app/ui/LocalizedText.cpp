#include "app/ui/LocalizedText.h"

#include "app/foundation/Localizer.h"
#include "app/foundation/ServiceLayerError.h"

namespace StringKeys {
const std::vector<StringKey>& all() {
    static const std::vector<StringKey> keys{
        SearchPlaceholder,      AllStationsItemName,           SearchResultsItemName,
        RecentStationsItemName, SearchResultsItemSuffixFormat, ClipboardStationURLFormat,
        PlayContextMenuItem,    StopContextMenuItem,           SignOnString,
        SignOffString};
    return keys;
}
}  // namespace StringKeys

QString localized(const StringKey& key) {
    ZYM_ASSERT(key.arguments == 0, "a format key needs its arguments");
    return Localizer::shared().text(QString::fromLatin1(key.key));
}

QString localizedFormat(const StringKey& key, const QStringList& arguments) {
    ZYM_ASSERT(key.arguments == arguments.size(), "wrong number of arguments for a format key");
    return formatOnePass(Localizer::shared().text(QString::fromLatin1(key.key)), arguments);
}
