#pragma once

// The coding rules of the pictures schema, written once. Every value and message class
// lists its fields in Fields(visitor); PictureWriter turns that list into children,
// PictureReader fills the fields back from an element. Each child names its namespace:
// M, the namespace the caller gave for the message's own element, or P, the pictures
// namespace (values write every child in P). Internal to the library.

#include <cstdint>
#include <list>
#include <string>
#include <utility>

#include "dms/core/DMFieldCoding.h"
#include "dms/core/DMSIFTypes.h"
#include "dms/pictures/DMPictureTypes.h"

namespace dmpictures {

// As atoi in the C locale; 0 when nothing converts or the number leaves 32 bits.
std::int32_t ReadLeadingInt(const std::string& text);
// The keywords joined by single commas.
std::string JoinKeywords(const std::list<std::string>& keywords);
// The pieces between commas, empty ones included.
std::list<std::string> SplitKeywords(const std::string& text);

class PictureWriter {
public:
    PictureWriter(DMSOAPElementType* element, std::string methodNamespace)
        : e_(element), m_(std::move(methodNamespace)) {}

    void Text(const char* child, NS ns, std::string& value) {
        if (!value.empty()) Add(e_, child, ns, value);
    }
    void TextAlways(const char* child, NS ns, std::string& value) { Add(e_, child, ns, value); }
    // Written only when given (0 or more).
    void Int(const char* child, NS ns, std::int32_t& value) {
        if (value >= 0) Add(e_, child, ns, DMFormatInt(value));
    }
    void ChildrenCount(const char* child, std::int32_t& value) {
        if (value > 0) Add(e_, child, NS::P, DMFormatInt(value));
    }
    void Flag(const char* child, NS ns, bool& value) { Add(e_, child, ns, value ? "true" : "false"); }
    // Identifiers written only when their value is non-empty.
    void Id(const char* child, NS ns, DMSIF_IDType& id) {
        if (!id.GetValue().empty()) e_->AddChild(id.ToElement(child, Uri(ns)), false);
    }
    // Identifiers, nested values and statuses: always written, by their own ToElement.
    template <class T>
    void Value(const char* child, NS ns, T& value) {
        e_->AddChild(value.ToElement(child, Uri(ns)), false);
    }
    void Status(DMSIF_StatusType& status) { Value("Status", NS::M, status); }
    template <class T>
    void List(const char* wrapper, const char* item, NS ns, std::list<T>& list, ListRead) {
        DMAddList(e_, wrapper, item, Uri(ns), list);
    }
    void Strings(const char* wrapper, const char* item, NS ns, std::list<std::string>& list, ListRead,
                 bool /*onlyItemName*/ = false) {
        if (list.empty()) return;
        auto* w = new DMSOAPElementType(wrapper, Uri(ns), "");
        for (const std::string& s : list)
            Add(w, item, ns, s);
        e_->AddChild(w, false);
    }
    void Flags(const char* wrapper, const char* item, NS ns, std::list<bool>& list) {
        if (list.empty()) return;
        auto* w = new DMSOAPElementType(wrapper, Uri(ns), "");
        for (bool b : list)
            Add(w, item, ns, b ? "true" : "false");
        e_->AddChild(w, false);
    }
    // Name/value pairs of a value: "NameValuePair" items with "Name" and "Value" always.
    void Pairs(const char* wrapper, DMPicture_NameValueList& pairs, bool evenWhenEmpty) {
        if (pairs.empty() && !evenWhenEmpty) return;
        auto* w = new DMSOAPElementType(wrapper, Uri(NS::P), "");
        for (const auto& [name, value] : pairs) {
            auto* pair = new DMSOAPElementType("NameValuePair", Uri(NS::P), "");
            Add(pair, "Name", NS::P, name);
            Add(pair, "Value", NS::P, value);
            w->AddChild(pair, false);
        }
        e_->AddChild(w, false);
    }
    void Keywords(const char* child, std::list<std::string>& keywords) {
        if (!keywords.empty()) Add(e_, child, NS::P, JoinKeywords(keywords));
    }
    // Read-side rules with no writing of their own.
    void Permission(const char* child, bool& value) { Flag(child, NS::P, value); }
    void Erase(bool& value) { Flag("Erase", NS::P, value); }

private:
    const std::string& Uri(NS ns) const { return ns == NS::M ? m_ : p_; }
    void Add(DMSOAPElementType* parent, const char* child, NS ns, const std::string& text) {
        parent->AddChild(new DMSOAPElementType(child, Uri(ns), text), false);
    }
    DMSOAPElementType* e_;
    std::string m_;
    std::string p_ = kDMPictureNamespaceURI;
};

class PictureReader {
public:
    explicit PictureReader(DMSOAPElementType* element) : e_(element) {}

    void Text(const char* child, NS, std::string& value) {
        if (DMSOAPElementType* c = Find(child)) value = c->text;
    }
    void TextAlways(const char* child, NS ns, std::string& value) { Text(child, ns, value); }
    void Int(const char* child, NS, std::int32_t& value) {
        if (DMSOAPElementType* c = Find(child)) DMScanInt(c->text, value);
    }
    void ChildrenCount(const char* child, std::int32_t& value) {
        if (DMSOAPElementType* c = Find(child)) value = ReadLeadingInt(c->text);
    }
    // Only the exact text "true" is true.
    void Flag(const char* child, NS, bool& value) {
        if (DMSOAPElementType* c = Find(child)) value = c->text == "true";
    }
    void Id(const char* child, NS ns, DMSIF_IDType& id) { Value(child, ns, id); }
    template <class T>
    void Value(const char* child, NS, T& value) {
        if (DMSOAPElementType* c = Find(child)) value = T(c);
    }
    void Status(DMSIF_StatusType& status) { Value("Status", NS::M, status); }
    template <class T>
    void List(const char* wrapper, const char*, NS, std::list<T>& list, ListRead mode) {
        if (DMSOAPElementType* w = Wrapper(wrapper, mode)) DMReadList(w, list);
    }
    void Strings(const char* wrapper, const char* item, NS, std::list<std::string>& list, ListRead mode,
                 bool onlyItemName = false) {
        DMSOAPElementType* w = Wrapper(wrapper, mode);
        if (!w) return;
        std::list<std::string> read;
        for (DMSOAPElementType* c : w->children)
            if (!onlyItemName || c->name == item) read.push_back(c->text);
        list.swap(read);
    }
    // Only the exact text "false" is false.
    void Flags(const char* wrapper, const char*, NS, std::list<bool>& list) {
        DMSOAPElementType* w = Wrapper(wrapper, ListRead::IfNonEmpty);
        if (!w) return;
        std::list<bool> read;
        for (DMSOAPElementType* c : w->children)
            read.push_back(c->text != "false");
        list.swap(read);
    }
    // Whenever the wrapper is present; children lacking "Name" or "Value" are skipped.
    void Pairs(const char* wrapper, DMPicture_NameValueList& pairs, bool) {
        DMSOAPElementType* w = Find(wrapper);
        if (!w) return;
        DMPicture_NameValueList read;
        for (DMSOAPElementType* c : w->children) {
            DMSOAPElementType* name = c->FindChild("Name", 1);
            DMSOAPElementType* value = c->FindChild("Value", 1);
            if (name && value) read.emplace_back(name->text, value->text);
        }
        pairs.swap(read);
    }
    // Only a non-empty text replaces the list.
    void Keywords(const char* child, std::list<std::string>& keywords) {
        DMSOAPElementType* c = Find(child);
        if (c && !c->text.empty()) keywords = SplitKeywords(c->text);
    }
    void Permission(const char* child, bool& value) { Flag(child, NS::P, value); }
    // "Erase", else the older "Delete".
    void Erase(bool& value) {
        if (Find("Erase"))
            Flag("Erase", NS::P, value);
        else
            Flag("Delete", NS::P, value);
    }

private:
    DMSOAPElementType* Find(const char* child) const { return e_->FindChild(child, 1); }
    DMSOAPElementType* Wrapper(const char* wrapper, ListRead mode) const {
        DMSOAPElementType* w = Find(wrapper);
        if (!w || (mode == ListRead::IfNonEmpty && w->children.empty())) return nullptr;
        return w;
    }
    DMSOAPElementType* e_;
};

// A value's element: every child in the pictures namespace.
template <class T>
DMSOAPElementType* WriteValue(T& value, const std::string& name, const std::string& namespaceURI) {
    return DMWriteFields<PictureWriter>(value, name, namespaceURI, kDMPictureNamespaceURI);
}

// A message's element: M children in the caller's namespace.
template <class T>
DMSOAPElementType* WriteMessage(T& message, const std::string& name, const std::string& namespaceURI) {
    return DMWriteFields<PictureWriter>(message, name, namespaceURI, namespaceURI);
}

}  // namespace dmpictures

#define DMPICTURE_DEFINE_CODING(T, WRITE) DM_DEFINE_FIELD_CODING(T, dmpictures::WRITE, dmpictures::PictureReader)
