// libFuzzer target: any text that parses into an element tree is decoded by every value
// and message class of the version-2 radio schema (from the root and from each of its
// children), re-encoded and decoded again. Nothing may crash or leak, and once a value
// has passed through one encoding, encoding it again must give the same tree.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>

#include "dms/core/DMSOAPNamespaces.h"
#include "dms/radio/DMRadioMethods.h"
#include "dms/radio/DMRadioTypes.h"

namespace {

using Tree = std::unique_ptr<DMSOAPElementType>;

// Structural equality. A status code loses one "prefix:" per decoding by design, so it is
// the one thing left out.
bool Same(const DMSOAPElementType* a, const DMSOAPElementType* b) {
    if (a->name != b->name || a->namespaceURI != b->namespaceURI || a->text != b->text) return false;
    if (a->attributes.size() != b->attributes.size() || a->children.size() != b->children.size()) return false;
    const bool status = a->name == "Status";
    for (auto i = a->attributes.begin(), j = b->attributes.begin(); i != a->attributes.end(); ++i, ++j) {
        if ((*i)->name != (*j)->name || (*i)->namespaceURI != (*j)->namespaceURI) return false;
        if ((*i)->value != (*j)->value && !(status && (*i)->name == "code")) return false;
    }
    for (auto i = a->children.begin(), j = b->children.begin(); i != a->children.end(); ++i, ++j)
        if (!Same(*i, *j)) return false;
    return true;
}

template <class T>
void RoundTrip(DMSOAPElementType* element) {
    T first(element);
    if constexpr (std::is_base_of_v<DMSIF_MethodArgumentsType, T>) (void)first.IsValid();
    Tree one(first.ToElement("V", kDMRadioSchemaURI));
    T second(one.get());
    Tree two(second.ToElement("V", kDMRadioSchemaURI));
    T third(two.get());
    Tree three(third.ToElement("V", kDMRadioSchemaURI));
    if (!Same(two.get(), three.get())) std::abort();
    T copy = third;
    copy.FromElement(element);
    copy.FromElement(nullptr);
}

template <class... T>
void All(DMSOAPElementType* element) {
    (RoundTrip<T>(element), ...);
}

void Decode(DMSOAPElementType* element) {
    All<DMRadio_GenreType, DMRadio_StationType, DMRadio_StationFormatType, DMRadio_StationBaseInfoType,
        DMRadio_StationInfoType, DMRadio_PresetType, DMRadio_StationUrlType, DMRadio_ImageType, DMRadio_TrkDetailsType,
        DMRadio_TrkInfoType, DMRadio_StationStateType>(element);
    All<DMRadio_ListGenres_InputType, DMRadio_ListStations_InputType, DMRadio_GetStationInfo_InputType,
        DMRadio_GetStationState_InputType, DMRadio_GetStationUrl_InputType, DMRadio_GetMaxPresets_InputType,
        DMRadio_GetPresets_InputType, DMRadio_SetPresets_InputType, DMRadio_GetRatingsRange_InputType,
        DMRadio_RateTrack_InputType>(element);
    All<DMRadio_ListGenres_OutputType, DMRadio_ListStations_OutputType, DMRadio_GetStationInfo_OutputType,
        DMRadio_GetStationState_OutputType, DMRadio_GetStationUrl_OutputType, DMRadio_GetMaxPresets_OutputType,
        DMRadio_GetPresets_OutputType, DMRadio_SetPresets_OutputType, DMRadio_GetRatingsRange_OutputType,
        DMRadio_RateTrack_OutputType>(element);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Tree tree;
    try {
        tree.reset(DMSOAPElementType::CreateFromString(text, {}, false));
    } catch (const DMXMLException&) {
        return 0;
    }
    if (!tree) return 0;
    Decode(tree.get());
    int n = 0;
    for (DMSOAPElementType* child : tree->children) {
        if (++n > 8) break;
        Decode(child);
    }
    return 0;
}
