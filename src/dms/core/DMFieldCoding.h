#pragma once

// Coding by field lists: a value or message class lists its fields once, in child order,
// in a template Fields(visitor); a service's Writer visits that list to fill a new element
// and its Reader visits it to fill the fields back from one. The schema's own rules (which
// children are written when, how a flag reads) stay in its Writer and Reader; what every
// schema does the same way is here.

#include <list>
#include <string>

#include "dms/core/DMElementCoding.h"

// The members a coded value class declares; the class body goes on with the Fields list.
#define DM_FIELD_CODING_MEMBERS(T)                                                                   \
    T() = default;                                                                                   \
    explicit T(DMSOAPElementType* element);                                                          \
    T(const T&) = default;                                                                           \
    T& operator=(const T&) = default;                                                                \
    virtual ~T() = default;                                                                          \
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override; \
    void FromElement(DMSOAPElementType* element) override;                                           \
    /* The fields in child order, for the coders. */                                                 \
    template <class Visitor>                                                                         \
    void Fields(Visitor& v)

// Their definitions: WRITE(object, name, namespaceURI) makes the element, READER reads it.
#define DM_DEFINE_FIELD_CODING(T, WRITE, READER)                                                \
    T::T(DMSOAPElementType* element) { FromElement(element); }                                  \
    DMSOAPElementType* T::ToElement(const std::string& name, const std::string& namespaceURI) { \
        return WRITE(*this, name, namespaceURI);                                                \
    }                                                                                           \
    void T::FromElement(DMSOAPElementType* element) { DMReadFields<READER>(*this, element); }

// A new element in namespaceURI; the Writer puts the children in childNamespace.
template <class Writer, class T>
DMSOAPElementType* DMWriteFields(T& target, const std::string& name, const std::string& namespaceURI,
                                 const std::string& childNamespace) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    Writer writer(element, childNamespace);
    target.Fields(writer);
    return element;
}

// Nothing without an element.
template <class Reader, class T>
void DMReadFields(T& target, DMSOAPElementType* element) {
    if (!element) return;
    Reader reader(element);
    target.Fields(reader);
}

// A wrapper child holding one item per entry, written by the entry's ToElement; nothing
// for an empty list.
template <class T>
void DMAddList(DMSOAPElementType* element, const char* wrapper, const char* item, const std::string& namespaceURI,
               std::list<T>& list) {
    if (list.empty()) return;
    auto* w = new DMSOAPElementType(wrapper, namespaceURI, "");
    for (T& entry : list)
        w->AddChild(entry.ToElement(item, namespaceURI), false);
    element->AddChild(w, false);
}

// The list replaced by one entry per child of wrapper, whatever their names.
template <class T>
void DMReadList(const DMSOAPElementType* wrapper, std::list<T>& list) {
    std::list<T> read;
    for (DMSOAPElementType* c : wrapper->children)
        read.emplace_back(c);
    list.swap(read);
}
