// libFuzzer target: untrusted text through the core's parser into every value and method
// message class of the radio schema, written back and read again. Whatever the bytes,
// nothing may crash, leak or throw; what a class writes must parse as text; and after
// the losses of the first writing, reading and writing again must settle (the status
// aside, whose code sheds one prefix per reading).

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>

#include "dms/core/DMSOAPNamespaces.h"
#include "dms/radio3/DMRadio3Methods.h"
#include "dms/radio3/DMRadio3ServiceListener.h"

namespace {

using Owned = std::unique_ptr<DMSOAPElementType>;

const std::string kNS = kDMRadio3NamespaceURI;

void DumpInto(const DMSOAPElementType* e, std::string& out, bool top) {
    if (!top && e->name == "Status") {
        return;
    }
    out += "<{" + e->namespaceURI + "}" + e->name;
    for (const DMSOAPAttributeType* a : e->attributes) {
        out += " {" + a->namespaceURI + "}" + a->name + "=" + a->value;
    }
    out += ">" + e->text;
    for (const DMSOAPElementType* c : e->children) {
        DumpInto(c, out, false);
    }
    out += "</>";
}

std::string Dump(const DMSOAPElementType* e) {
    std::string out;
    DumpInto(e, out, true);
    return out;
}

void MustParseAsText(const DMSOAPElementType* e) {
    std::string text;
    e->ToString(text, {{kDMRadio3NamespaceURI, kDMRadio3NamespacePrefix}});
    try {
        Owned again(DMSOAPElementType::CreateFromString(text, {}, true));
        if (!again) {
            std::abort();
        }
    } catch (const DMXMLException&) {
        std::abort();  // our own output must parse
    }
}

template <typename T>
void Exercise(DMSOAPElementType* root) {
    T first(root);
    Owned e1(first.ToElement("Element", kNS));
    MustParseAsText(e1.get());
    T second(e1.get());
    Owned e2(second.ToElement("Element", kNS));
    T third(e2.get());
    Owned e3(third.ToElement("Element", kNS));
    if (Dump(e2.get()) != Dump(e3.get())) {
        std::abort();
    }
    T copy(third);
    copy = first;
    if constexpr (std::is_base_of_v<DMSIF_MethodArgumentsType, T>) {
        (void)copy.IsValid();
    }
}

// The message classes are not copyable as a whole; only reading and writing matter.
template <typename T>
void ExerciseMessage(DMSOAPElementType* root) {
    T first(root);
    (void)first.IsValid();
    Owned e1(first.ToElement("Element", kNS));
    MustParseAsText(e1.get());
    T second(e1.get());
    Owned e2(second.ToElement("Element", kNS));
    T third(e2.get());
    Owned e3(third.ToElement("Element", kNS));
    if (Dump(e2.get()) != Dump(e3.get())) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Owned root;
    try {
        root.reset(DMSOAPElementType::CreateFromString(text, {}, false));
    } catch (const DMXMLException&) {
        return 0;
    }
    if (!root) {
        return 0;
    }
    DMSOAPElementType* e = root.get();

    Exercise<DMRadio3_SearchTermType>(e);
    Exercise<DMRadio3_SearchDirectiveType>(e);
    Exercise<DMRadio3_CategoryType>(e);
    Exercise<DMRadio3_StationType>(e);
    Exercise<DMRadio3_StationFormatType>(e);
    Exercise<DMRadio3_MediaFormatType>(e);
    Exercise<DMRadio3_MediaFormatChannelType>(e);
    Exercise<DMRadio3_ImageType>(e);
    Exercise<DMRadio3_BannerType>(e);
    Exercise<DMRadio3_TrkInfoType>(e);
    Exercise<DMRadio3_StationStateType>(e);
    Exercise<DMRadio3_StationInfoType>(e);

    ExerciseMessage<DMRadio3_ListCategories_InputType>(e);
    ExerciseMessage<DMRadio3_ListCategories_OutputType>(e);
    ExerciseMessage<DMRadio3_ListStations_InputType>(e);
    ExerciseMessage<DMRadio3_ListStations_OutputType>(e);
    ExerciseMessage<DMRadio3_GetStationInfo_InputType>(e);
    ExerciseMessage<DMRadio3_GetStationInfo_OutputType>(e);
    ExerciseMessage<DMRadio3_GetStationState_InputType>(e);
    ExerciseMessage<DMRadio3_GetStationState_OutputType>(e);
    ExerciseMessage<DMRadio3_GetMediaFormatInfo_InputType>(e);
    ExerciseMessage<DMRadio3_GetMediaFormatInfo_OutputType>(e);
    ExerciseMessage<DMRadio3_GetStationURL_InputType>(e);
    ExerciseMessage<DMRadio3_GetStationURL_OutputType>(e);
    ExerciseMessage<DMRadio3_GetMaxPresets_InputType>(e);
    ExerciseMessage<DMRadio3_GetMaxPresets_OutputType>(e);
    ExerciseMessage<DMRadio3_GetPresets_InputType>(e);
    ExerciseMessage<DMRadio3_GetPresets_OutputType>(e);
    ExerciseMessage<DMRadio3_SetPresets_InputType>(e);
    ExerciseMessage<DMRadio3_SetPresets_OutputType>(e);
    ExerciseMessage<DMRadio3_GetRatingsRange_InputType>(e);
    ExerciseMessage<DMRadio3_GetRatingsRange_OutputType>(e);
    ExerciseMessage<DMRadio3_RateTrack_InputType>(e);
    ExerciseMessage<DMRadio3_RateTrack_OutputType>(e);
    return 0;
}
