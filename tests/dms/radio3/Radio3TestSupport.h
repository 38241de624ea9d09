#pragma once

// Shared by the radio schema tests: parsing hand-written XML, the golden files under
// tests/data/dms/radio3, and a canonical dump of a tree that compares what a document
// says (names, namespaces, attribute order and values, texts) but not how it spells
// prefixes or indents.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "dms/core/DMSOAPElementType.h"
#include "dms/radio3/DMRadio3Types.h"
#include "support/Env.h"

namespace radio3test {

using Element = DMSOAPElementType;
using Owned = std::unique_ptr<Element>;

inline const std::string kNS = kDMRadio3NamespaceURI;

inline Owned Parse(const std::string& text) { return Owned(Element::CreateFromString(text, {}, false)); }

inline std::string ReadGolden(const std::string& name) {
    std::ifstream in(zymtest::DataPath("dms/radio3/" + name + ".xml"), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// The golden file's root element; a missing file fails the calling test.
inline Owned Golden(const std::string& name) {
    const std::string text = ReadGolden(name);
    if (text.empty()) {
        ADD_FAILURE() << "golden file missing: " << name;
        return Owned(new Element("missing", "", ""));
    }
    return Parse(text);
}

inline bool Blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

inline void DumpInto(const Element* e, std::string& out, int depth) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += "{" + e->namespaceURI + "}" + e->name;
    for (const DMSOAPAttributeType* a : e->attributes) {
        out += " {" + a->namespaceURI + "}" + a->name + "=\"" + a->value + "\"";
    }
    // Indentation between child elements is not content.
    if (!(e->children.size() > 0 && Blank(e->text))) {
        out += " text=\"" + e->text + "\"";
    }
    out += "\n";
    for (const Element* c : e->children) {
        DumpInto(c, out, depth + 1);
    }
}

inline std::string Dump(const Element* e) {
    std::string out;
    if (e) {
        DumpInto(e, out, 0);
    }
    return out;
}

// Written as text (the radio namespace bound to its prefix) and parsed again, as a
// request or a cache item travels.
inline Owned ThroughText(const Element* e) {
    std::string text;
    e->ToString(text, {{kDMRadio3NamespaceURI, kDMRadio3NamespacePrefix}});
    return Owned(Element::CreateFromString(text, {}, true));
}

// The encoded tree, once written as text, says what the golden file says.
inline void ExpectMatchesGolden(const Element* encoded, const std::string& golden) {
    ASSERT_NE(encoded, nullptr);
    Owned reparsed = ThroughText(encoded);
    Owned expected = Golden(golden);
    EXPECT_EQ(Dump(reparsed.get()), Dump(expected.get())) << "golden " << golden;
}

template <typename T>
Owned Encode(T& value, const std::string& name, const std::string& ns = kNS) {
    return Owned(value.ToElement(name, ns));
}

// Runs a body under a process locale whose decimal separator is a comma. Without such a
// locale the test is skipped, except under CI, where it fails.
class ScopedGermanLocale {
public:
    ScopedGermanLocale() {
        const char* old = std::setlocale(LC_ALL, nullptr);
        saved_ = old ? old : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8"}) {
            if (std::setlocale(LC_ALL, name)) {
                active_ = true;
                break;
            }
        }
    }
    ~ScopedGermanLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
    bool Active() const { return active_; }

private:
    std::string saved_;
    bool active_ = false;
};

inline bool InCI() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

}  // namespace radio3test
