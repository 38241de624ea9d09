#pragma once

// Shared by the pictures tests: parsing hand-written texts into element trees, comparing
// trees, writing a tree as text.

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <tuple>

#include "dms/core/DMSOAPElementType.h"
#include "dms/core/DMXMLDocument.h"
#include "dms/pictures/DMPictureTypes.h"

namespace picturetest {

#define PNS "http://photos.zym-com.invalid/xsd/1.0/ns/"

using Tree = std::unique_ptr<DMSOAPElementType>;

inline Tree Parse(const std::string& xml) { return Tree(DMSOAPElementType::CreateFromString(xml, {}, false)); }

inline bool Blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

// "" when both trees hold the same names, namespaces, texts, attributes and children
// (layout blanks between child elements do not count), else where they differ first.
inline std::string Diff(const DMSOAPElementType* a, const DMSOAPElementType* b, const std::string& at = "") {
    if (!a || !b) return a == b ? "" : at + ": one tree is null";
    const std::string here = at + "/" + a->name;
    if (a->name != b->name || a->namespaceURI != b->namespaceURI)
        return here + ": {" + a->namespaceURI + "}" + a->name + " vs {" + b->namespaceURI + "}" + b->name;
    auto text = [](const DMSOAPElementType* e) { return !e->children.empty() && Blank(e->text) ? "" : e->text; };
    if (text(a) != text(b)) return here + ": text '" + a->text + "' vs '" + b->text + "'";
    auto attrs = [](const DMSOAPElementType* e) {
        std::set<std::tuple<std::string, std::string, std::string>> s;
        for (const auto* x : e->attributes)
            s.emplace(x->namespaceURI, x->name, x->value);
        return s;
    };
    if (attrs(a) != attrs(b)) return here + ": attributes differ";
    if (a->children.size() != b->children.size())
        return here + ": " + std::to_string(a->children.size()) + " vs " + std::to_string(b->children.size()) +
               " children";
    for (auto i = a->children.begin(), j = b->children.begin(); i != a->children.end(); ++i, ++j)
        if (std::string d = Diff(*i, *j, here); !d.empty()) return d;
    return "";
}

inline std::string Diff(const DMSOAPElementType* a, const std::string& expected) {
    Tree e = Parse(expected);
    if (!e) return "expected text does not parse";
    return Diff(a, e.get());
}

inline std::string Written(const DMSOAPElementType* e) {
    DMXMLDocument document;
    e->ToXMLElement(document, nullptr, {});
    return document.ToString();
}

// Decodes the text into T, encodes it back under the same name and namespace, and
// compares with the text (or with `expected` when given).
template <class T>
std::string RoundTrip(const std::string& text, T& value, const std::string& expected = "") {
    Tree in = Parse(text);
    if (!in) return "text does not parse";
    value = T(in.get());
    Tree out(value.ToElement(in->name, in->namespaceURI));
    return Diff(out.get(), expected.empty() ? text : expected);
}

}  // namespace picturetest
