#pragma once

// Shared by the version-2 radio tests: parsing hand-written texts into element trees,
// comparing trees, writing a tree as text, the hand-written answers in tests/data, and a
// scope that runs code under another process locale.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "dms/core/DMSOAPElementType.h"
#include "dms/radio/DMRadioTypes.h"
#include "support/Env.h"

namespace radiotest {

#define RNS "http://radio.zym-com.invalid/xsd/2.0/ns/"
inline constexpr const char* kCaller = "urn:caller";

using Tree = std::unique_ptr<DMSOAPElementType>;

inline Tree Parse(const std::string& xml) { return Tree(DMSOAPElementType::CreateFromString(xml, {}, false)); }

// A hand-written element "V" in the caller's namespace "c", with "R" for the schema.
inline std::string V(const std::string& inner, const std::string& attributes = "") {
    return "<c:V xmlns:c=\"urn:caller\" xmlns:R=\"" RNS "\"" + attributes + ">" + inner + "</c:V>";
}

inline bool Blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

// "" when both trees hold the same names, namespaces, texts, attributes and children (the
// layout blanks between child elements of a hand-written text do not count), else where
// they differ first.
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
    return Diff(a, e.get());
}

// The tree as an XML document text.
inline std::string Written(const DMSOAPElementType* e) {
    DMXMLDocument document;
    e->ToXMLElement(document, nullptr, {});
    return document.ToString();
}

inline int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Written as text, the tree declares "RADIO2" once, on its root element.
inline void ExpectOneDeclarationAtRoot(const DMSOAPElementType* e) {
    const std::string text = Written(e);
    const std::string decl = "xmlns:RADIO2=\"" RNS "\"";
    EXPECT_EQ(Count(text, decl), 1) << text;
    const std::size_t root = text.find('<', text.find("?>") + 2);
    EXPECT_LT(text.find(decl), text.find('>', root)) << text;
    EXPECT_EQ(Count(text, "xmlns=\"" RNS "\""), 0) << text;
}

inline std::string Answer(const std::string& method) {
    std::ifstream in(zymtest::DataPath("dms/radio/" + method + ".xml"));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs under the German locale (decimal comma) when the machine has it. Without it a
// test is skipped, except under CI, where it fails (see GERMAN_LOCALE_OR_SKIP).
class GermanLocale {
public:
    GermanLocale() {
        const char* old = std::setlocale(LC_ALL, nullptr);
        saved_ = old ? old : "C";
        active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~GermanLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
    bool Active() const { return active_; }

private:
    std::string saved_;
    bool active_ = false;
};

inline bool InCI() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

}  // namespace radiotest

// Ends the test when the German locale could not be set: a failure under CI, where
// scripts/setup provides the locale, a skip elsewhere.
#define GERMAN_LOCALE_OR_SKIP(german)                                                                \
    do {                                                                                             \
        if (!(german).Active()) {                                                                    \
            if (radiotest::InCI()) FAIL() << "de_DE.UTF-8 cannot be set; scripts/setup provides it"; \
            GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/setup makes it)";                 \
        }                                                                                            \
    } while (false)
