// libFuzzer target: any text that parses into an element tree is decoded by every value
// and message class of the pictures schema (from the root and from each of its first
// children), re-encoded and decoded again. Nothing may crash or leak, and once a value
// has passed through one encoding, encoding it again must give the same tree.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>

#include "dms/core/DMXMLDocument.h"
#include "dms/pictures/DMPictureMethods.h"
#include "dms/pictures/DMPictureTypes.h"

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
    Tree one(first.ToElement("V", kDMPictureNamespaceURI));
    T second(one.get());
    Tree two(second.ToElement("V", kDMPictureNamespaceURI));
    T third(two.get());
    Tree three(third.ToElement("V", kDMPictureNamespaceURI));
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
    All<DMPicture_NameValuePairType, DMPicture_PermissionsType, DMPicture_OperationType, DMPicture_ShareEventType,
        DMPicture_PropertiesType>(element);
    All<DMPicture_GetProperties_InputType, DMPicture_SetProperties_InputType, DMPicture_ShareObjects_InputType,
        DMPicture_GetShareInformation_InputType, DMPicture_UploadBegin_InputType, DMPicture_UploadEnd_InputType,
        DMPicture_UploadCancel_InputType, DMPicture_NotifyZym_InputType, DMPicture_CreateFolder_InputType,
        DMPicture_DeleteObjects_InputType, DMPicture_CopyObjects_InputType, DMPicture_MoveObjects_InputType,
        DMPicture_EditObjects_InputType, DMPicture_SearchObjects_InputType, DMPicture_GetChildren_InputType>(element);
    All<DMPicture_GetProperties_OutputType, DMPicture_SetProperties_OutputType, DMPicture_ShareObjects_OutputType,
        DMPicture_GetShareInformation_OutputType, DMPicture_UploadBegin_OutputType, DMPicture_UploadEnd_OutputType,
        DMPicture_UploadCancel_OutputType, DMPicture_NotifyZym_OutputType, DMPicture_CreateFolder_OutputType,
        DMPicture_DeleteObjects_OutputType, DMPicture_CopyObjects_OutputType, DMPicture_MoveObjects_OutputType,
        DMPicture_EditObjects_OutputType, DMPicture_SearchObjects_OutputType, DMPicture_GetChildren_OutputType>(
        element);
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
