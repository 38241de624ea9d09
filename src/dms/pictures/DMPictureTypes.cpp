#include "dms/pictures/DMPictureTypes.h"

#include "dms/core/DMNumberText.h"
#include "dms/pictures/DMPictureCoding.h"

namespace dmpictures {

std::int32_t ReadLeadingInt(const std::string& text) {
    std::int32_t value = 0;
    return DMScanInt(text, value) ? value : 0;
}

std::string JoinKeywords(const std::list<std::string>& keywords) {
    std::string joined;
    for (const std::string& k : keywords) {
        if (&k != &keywords.front()) joined += ',';
        joined += k;
    }
    return joined;
}

std::list<std::string> SplitKeywords(const std::string& text) {
    std::list<std::string> pieces;
    std::size_t from = 0;
    for (std::size_t comma = text.find(','); comma != std::string::npos; comma = text.find(',', from)) {
        pieces.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    pieces.push_back(text.substr(from));
    return pieces;
}

}  // namespace dmpictures

DMPICTURE_DEFINE_CODING(DMPicture_NameValuePairType, WriteValue)
DMPICTURE_DEFINE_CODING(DMPicture_PermissionsType, WriteValue)
DMPICTURE_DEFINE_CODING(DMPicture_OperationType, WriteValue)
DMPICTURE_DEFINE_CODING(DMPicture_ShareEventType, WriteValue)
DMPICTURE_DEFINE_CODING(DMPicture_PropertiesType, WriteValue)
