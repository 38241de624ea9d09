// libFuzzer target: untrusted text through the XML wrapper, the element tree, the SOAP
// message and the SIF value types. Whatever the bytes, nothing may crash, leak or read
// out of bounds, and whatever tree a text gives must be written as text that parses.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "dms/core/DMSIFTypes.h"
#include "dms/core/DMSOAPMessage.h"

namespace {

void Walk(DMSOAPElementType* e) {
    DMSIF_StatusType status(e);
    DMSIF_FaultType fault(e);
    DMSIF_LocStringType loc(e);
    DMSIF_QualIDType id(e);
    (void)e->FindChild("Status", 1);
    (void)e->FindAttribute("code");
    for (DMSOAPElementType* child : e->children) {
        Walk(child);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    RegisterSIFNamespaces();
    try {
        DMSOAPMessage message(text);
        (void)message.GetHeader();
    } catch (const DMXMLException&) {}

    std::unique_ptr<DMSOAPElementType> tree;
    try {
        tree.reset(DMSOAPElementType::CreateFromString(text, SIFNamespacePrefixTable(), size % 2 == 0));
    } catch (const DMXMLException&) {
        return 0;
    }
    if (!tree) {
        return 0;
    }
    Walk(tree.get());
    std::unique_ptr<DMSOAPElementType> copy(new DMSOAPElementType(tree.get()));

    DMXMLDocument document;
    tree->ToXMLElement(document, nullptr, SIFNamespacePrefixTable());
    const std::string written = document.ToString();
    std::string fragment;
    copy->ToString(fragment, {});
    try {
        std::unique_ptr<DMSOAPElementType> again(
            DMSOAPElementType::CreateFromString(written, SIFNamespacePrefixTable(), false));
        std::unique_ptr<DMSOAPElementType> unwrapped(DMSOAPElementType::CreateFromString(fragment, {}, true));
        if (!unwrapped) {
            std::abort();  // the fragment always holds the element
        }
    } catch (const DMXMLException&) {
        std::abort();  // our own output must parse
    }
    return 0;
}
