#pragma once

// The coding rules of the version-2 radio schema, written once. Every value and message
// class lists its fields in Fields(visitor); RadioWriter turns that list into children
// and attributes, RadioReader fills the fields back from an element. Internal to the
// library.

#include <cstdint>
#include <list>
#include <string>

#include "dms/core/DMFieldCoding.h"
#include "dms/core/DMSIFTypes.h"
#include "dms/radio/DMRadioTypes.h"

namespace dmradio {

// False for "false" in any letter case and for "0" (blanks around them ignored); every
// other text is true.
bool ReadFlag(const std::string& text);

class RadioWriter {
public:
    // Children go into childNamespace: the schema's for values, the caller's for messages.
    RadioWriter(DMSOAPElementType* element, std::string childNamespace) : e_(element), ns_(std::move(childNamespace)) {}

    void Text(const char* child, const std::string& value) {
        if (!value.empty()) Add(child, value);
    }
    void Int(const char* child, std::int32_t value) { Add(child, DMFormatInt(value)); }
    // Written only when given (>= 0).
    void IntIfSet(const char* child, std::int32_t value) {
        if (value >= 0) Int(child, value);
    }
    void Flag(const char* child, bool value) { Add(child, value ? "true" : "false"); }
    void Float(const char* child, float value) { Add(child, DMFormatFloat(value)); }
    // Identifiers and nested values: always written, by their own ToElement.
    template <class T>
    void Value(const char* child, T& value) {
        e_->AddChild(value.ToElement(child, ns_), false);
    }
    void PresetStationId(const char* child, DMSIF_IDType& id) {
        DMSIF_IDType empty("-1", "");
        e_->AddChild(id.GetValue().empty() ? empty.ToElement(child, ns_) : id.ToElement(child, ns_), false);
    }
    template <class T>
    void List(const char* wrapper, const char* item, std::list<T>& list) {
        DMAddList(e_, wrapper, item, ns_, list);
    }
    template <class T>
    void ListAlwaysRead(const char* wrapper, const char* item, std::list<T>& list) {
        List(wrapper, item, list);
    }
    template <class T>
    void Related(const char* wrapper, const char* item, std::list<T>& list) {
        List(wrapper, item, list);
    }
    void Repeated(const char* child, std::list<std::string>& values) {
        for (const std::string& v : values)
            Add(child, v);
    }
    void Attr(const char* name, const std::string& value) {
        if (!value.empty()) e_->AddAttribute(new DMSOAPAttributeType(name, "", value), false);
    }
    void AttrInt(const char* name, std::int32_t value) {
        if (value >= 0) Attr(name, DMFormatInt(value));
    }
    // -1 not given (nothing written), 0 "false", anything else "true".
    void AttrFlag(const char* name, std::int32_t value) {
        if (value >= 0) Attr(name, value ? "true" : "false");
    }
    // Always written as "timeStamp", whichever spelling it was read from.
    void TimeStamp(const std::string& value, bool /*lowerCaseToo*/) { Attr("timeStamp", value); }
    // Always written, also when empty.
    void Status(DMSIF_StatusType& status) { DMAddStatus(e_, status, ns_); }

private:
    void Add(const char* child, const std::string& text) {
        e_->AddChild(new DMSOAPElementType(child, ns_, text), false);
    }
    DMSOAPElementType* e_;
    std::string ns_;
};

class RadioReader {
public:
    explicit RadioReader(DMSOAPElementType* element) : e_(element) {}

    void Text(const char* child, std::string& value) {
        if (DMSOAPElementType* c = Find(child)) value = c->text;
    }
    void Int(const char* child, std::int32_t& value) {
        if (DMSOAPElementType* c = Find(child)) DMScanInt(c->text, value);
    }
    void IntIfSet(const char* child, std::int32_t& value) { Int(child, value); }
    void Flag(const char* child, bool& value) {
        if (DMSOAPElementType* c = Find(child)) value = ReadFlag(c->text);
    }
    void Float(const char* child, float& value) {
        if (DMSOAPElementType* c = Find(child)) DMScanFloat(c->text, value);
    }
    template <class T>
    void Value(const char* child, T& value) {
        if (DMSOAPElementType* c = Find(child)) value = T(c);
    }
    void PresetStationId(const char* child, DMSIF_IDType& id) { Value(child, id); }
    // Replaced only by a wrapper with at least one child element, whatever their names.
    template <class T>
    void List(const char* wrapper, const char*, std::list<T>& list) {
        DMSOAPElementType* w = Find(wrapper);
        if (w && !w->children.empty()) DMReadList(w, list);
    }
    // Replaced whenever the wrapper is present, by an empty list too.
    template <class T>
    void ListAlwaysRead(const char* wrapper, const char*, std::list<T>& list) {
        if (DMSOAPElementType* w = Find(wrapper)) DMReadList(w, list);
    }
    // Only items of the item name count. An item written as a full station (with an "Id"
    // child) is read as one, so a written list reads back with its ids; an item in the
    // identifier form gives a station of that id alone.
    template <class T>
    void Related(const char* wrapper, const char* item, std::list<T>& list) {
        DMSOAPElementType* w = Find(wrapper);
        if (!w || w->children.empty()) return;
        std::list<T> read;
        for (DMSOAPElementType* c : w->children) {
            if (c->name != item) continue;
            if (c->FindChild("Id", 1))
                read.emplace_back(c);
            else
                read.emplace_back(DMSIF_IDType(c), std::string(), std::list<DMSIF_IDType>());
        }
        list.swap(read);
    }
    void Repeated(const char* child, std::list<std::string>& values) {
        values.clear();
        for (DMSOAPElementType* c : e_->children)
            if (c->name == child) values.push_back(c->text);
    }
    void Attr(const char* name, std::string& value) {
        if (DMSOAPAttributeType* a = e_->FindAttribute(name)) value = a->value;
    }
    void AttrInt(const char* name, std::int32_t& value) {
        if (DMSOAPAttributeType* a = e_->FindAttribute(name)) DMScanInt(a->value, value);
    }
    void AttrFlag(const char* name, std::int32_t& value) {
        if (DMSOAPAttributeType* a = e_->FindAttribute(name)) value = ReadFlag(a->value) ? 1 : 0;
    }
    // "timeStamp", or (lists only) "timestamp" when that is absent.
    void TimeStamp(std::string& value, bool lowerCaseToo) {
        if (DMSOAPAttributeType* a = e_->FindAttribute("timeStamp"))
            value = a->value;
        else if (lowerCaseToo)
            Attr("timestamp", value);
    }
    void Status(DMSIF_StatusType& status) { DMReadStatus(e_, status); }

private:
    DMSOAPElementType* Find(const char* child) const { return e_->FindChild(child, 1); }
    DMSOAPElementType* e_;
};

// A value's element: the schema prefix declared on it, children in the schema namespace.
template <class T>
DMSOAPElementType* WriteValue(T& value, const std::string& name, const std::string& namespaceURI) {
    DMSOAPElementType* element = DMWriteFields<RadioWriter>(value, name, namespaceURI, kDMRadioSchemaURI);
    element->DeclareNamespace(kDMRadioSchemaURI, kDMRadioSchemaPrefix);
    return element;
}

// A message's element: no declaration of its own, children in the caller's namespace.
template <class T>
DMSOAPElementType* WriteMessage(T& message, const std::string& name, const std::string& namespaceURI) {
    return DMWriteFields<RadioWriter>(message, name, namespaceURI, namespaceURI);
}

}  // namespace dmradio

// The members every value and message class defines.
#define DMRADIO_DEFINE_VALUE_CODING(T) DM_DEFINE_FIELD_CODING(T, dmradio::WriteValue, dmradio::RadioReader)
#define DMRADIO_DEFINE_MESSAGE_CODING(T) DM_DEFINE_FIELD_CODING(T, dmradio::WriteMessage, dmradio::RadioReader)
