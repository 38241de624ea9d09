#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dms/core/DMFragmentWriter.h"
#include "dms/core/DMSOAPElementType.h"
#include "dms/core/DMSOAPNamespaces.h"

// The direct fragment writer against the document road it stands in for: whatever the
// writer takes must come out byte for byte as libxml2 writes it, and what it refuses
// must still reach the cache through ToString unchanged.

namespace {

using Element = DMSOAPElementType;
using Attribute = DMSOAPAttributeType;

const char* const kRadio = "urn:zym-com:ns:service:radio:3.0";
const char* const kXml = "http://www.w3.org/XML/1998/namespace";

std::string ThroughDocument(const Element& element, const DMNamespacePrefixMap& table) {
    DMXMLDocument document;
    xmlNodePtr root = document.CreateRootElement(kDMFragmentElementName, kDMFragmentNamespace, kDMFragmentPrefix);
    testing::internal::CaptureStdout();
    element.ToXMLElement(document, root, table);
    testing::internal::GetCapturedStdout();
    return document.ToString();
}

Element* Child(Element* parent, const std::string& name, const std::string& ns, const std::string& text = "") {
    auto* child = new Element(name, ns, text);
    parent->AddChild(child, false);
    return child;
}

void Attr(Element* e, const std::string& name, const std::string& ns, const std::string& value) {
    e->AddAttribute(new Attribute(name, ns, value), false);
}

std::unique_ptr<Element> Station(const std::string& name, const std::string& bannerText) {
    auto station = std::make_unique<Element>("Station", kRadio, "");
    station->DeclareNamespace(kRadio, "r");
    Attr(station.get(), "stationId", kRadio, "radio:aggregate:7");
    Attr(station.get(), "playMode", kRadio, "full");
    Child(station.get(), "Name", kRadio, name);
    Element* desc = Child(station.get(), "Desc", kRadio, "Music & talk");
    Attr(desc, "lang", kXml, "en");
    Element* format = Child(station.get(), "Format", kRadio);
    Attr(format, "mediaFormatId", kRadio, "mf128");
    Attr(format, "progId", kRadio, "7,1");
    Element* banner = Child(station.get(), "Banner", kRadio);
    Attr(banner, "magicNumber", kRadio, "mn-\"7\" <&>");
    Child(banner, "Text", kRadio, bannerText);
    return station;
}

struct AttributeRow {
    const char* name;
    const char* ns;
    const char* value;
};

// A station item with more attributes on it.
std::function<std::unique_ptr<Element>()> StationWith(std::vector<AttributeRow> rows) {
    return [rows] {
        auto station = Station("n", "t");
        for (const AttributeRow& row : rows)
            Attr(station.get(), row.name, row.ns, row.value);
        return station;
    };
}

// An item declaring its namespace, with a child holding one attribute.
std::function<std::unique_ptr<Element>()> ItemWithChild(const char* uri, const char* prefix, const char* childURI,
                                                        const char* attributeURI) {
    return [=] {
        auto item = std::make_unique<Element>("Item", uri, "");
        item->DeclareNamespace(uri, prefix);
        Attr(Child(item.get(), "c", childURI), "a", attributeURI, "1");
        return item;
    };
}

struct Case {
    const char* what;
    std::function<std::unique_ptr<Element>()> make;
    DMNamespacePrefixMap table;
    bool direct;  // taken by the direct writer
};

TEST(FragmentWriter, WritesWhatTheDocumentRoadWritesOrRefuses) {
    const Case cases[] = {
        {"station item", [] { return Station("Station 7", "Visit"); }, {}, true},
        {"markup characters and quotes", [] { return Station("a<b>&c \"q\" 'a'", "x > y & z"); }, {}, true},
        {"UTF-8 of two, three and four bytes",
         [] { return Station("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5", "\xC3\xBC"); },
         {},
         true},
        {"UTF-8 in attribute values", StationWith({{"note", "", "\xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xB5"}}), {}, true},
        {"prefix from the table, unqualified children, text after children",
         [] {
             auto e = std::make_unique<Element>("Item", "urn:t", "tail");
             Child(e.get(), "plain", "", "p");
             Element* q = Child(e.get(), "q", "urn:u");
             Attr(q, "id", "urn:u", "1");
             Attr(q, "free", "", "");
             return e;
         },
         {{"urn:t", "t"}, {"urn:u", "u"}},
         true},
        {"declarations of the element itself, one without a prefix",
         [] {
             auto e = std::make_unique<Element>("Item", "urn:t", "");
             e->DeclareNamespace("urn:t", "t");
             e->DeclareNamespace("urn:b", "b");
             e->DeclareNamespace("urn:z", "");
             Child(e.get(), "c", "urn:z");
             return e;
         },
         {{"urn:z", "zz"}},
         true},
        {"a namespace already declared under another prefix",
         ItemWithChild("urn:t", "t", "urn:t", "urn:t"),
         {{"urn:t", "other"}},
         true},
        {"namespace without a prefix: default declaration",
         [] {
             auto e = Station("n", "t");
             Child(e.get(), "Extra", "urn:other", "e");
             return e;
         },
         {},
         false},
        {"attribute in an undeclared namespace", StationWith({{"x", "urn:unknown", "2"}}), {}, false},
        {"attribute named twice", StationWith({{"playMode", kRadio, "other"}}), {}, false},
        {"the XML namespace's attribute given by its prefixed name",
         StationWith({{"xml:space", "", "preserve"}}),
         {},
         true},
        {"an attribute given twice, once by its prefixed name",
         StationWith({{"space", kXml, "default"}, {"xml:space", "", "preserve"}}),
         {},
         false},
        {"another prefixed attribute name", StationWith({{"r:space", "", "keep"}}), {}, false},
        {"prefix bound to another namespace", ItemWithChild("urn:a", "p", "urn:b", ""), {{"urn:b", "p"}}, false},
        {"the wrapper's own prefix",
         [] { return std::make_unique<Element>("Item", "urn:a", ""); },
         {{"urn:a", "docfrag"}},
         false},
        {"tab, line ends", [] { return Station("a\tb", "c\r\nd"); }, {}, false},
        {"control character", [] { return Station("a\x01", "t"); }, {}, false},
        {"broken and overlong UTF-8", [] { return Station("\xC3(", "\xC0\xAF"); }, {}, false},
        {"surrogate and non-character", [] { return Station("\xED\xA0\x80", "\xEF\xBF\xBE"); }, {}, false},
        {"name that is not plain", [] { return std::make_unique<Element>("a b", "", ""); }, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<Element> element = c.make();
        const std::string expected = ThroughDocument(*element, c.table);
        std::string direct = "untouched";
        EXPECT_EQ(DMWriteFragmentDirectly(*element, c.table, direct), c.direct);
        EXPECT_EQ(direct, c.direct ? expected : "untouched");
        std::string written;
        testing::internal::CaptureStdout();
        element->ToString(written, c.table);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(written, expected);
    }
}

// Random trees over a small alphabet of names, namespaces, prefixes and characters,
// where collisions, missing prefixes and awkward bytes come up often.
class RandomTrees {
public:
    explicit RandomTrees(unsigned seed) : mRandom(seed) {}

    std::unique_ptr<Element> Tree(DMNamespacePrefixMap& table) {
        table.clear();
        for (const char* uri : kURIs) {
            if (Pick(3) != 0) table[uri] = Pick(kPrefixes);
        }
        auto top = std::make_unique<Element>(Pick(kNames), Pick(kURIs), Text());
        Fill(top.get(), 3);
        return top;
    }

private:
    static constexpr const char* kNames[] = {"a", "Station", "b.c", "x-y", "_n", "Name", "xml:lang", "lang"};
    static constexpr const char* kURIs[] = {"", "urn:a", "urn:b", "urn:zym-com:soap_element_fragment",
                                            "http://www.w3.org/XML/1998/namespace"};
    static constexpr const char* kPrefixes[] = {"", "p", "q", "docfrag", "xml"};
    static constexpr const char* kPieces[] = {"",   "x", "&", "<", ">", "\"", "'", " ", "\xC3\xA9", "\xF0\x9F\x8E\xB5",
                                              "]]>"};
    static constexpr const char* kAwkwardPieces[] = {"\t", "\r", "\n", "\x7F", "\xC3", "\xED\xA0\x80"};

    template <typename T, std::size_t N>
    const T& Pick(const T (&values)[N]) {
        return values[Pick(N)];
    }
    std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(mRandom); }

    std::string Text() {
        std::string s;
        for (std::size_t n = Pick(4); n > 0; --n)
            s += Pick(16) == 0 ? Pick(kAwkwardPieces) : Pick(kPieces);
        return s;
    }

    void Fill(Element* e, int depth) {
        for (std::size_t n = Pick(3); n > 0; --n)
            e->DeclareNamespace(Pick(kURIs), Pick(kPrefixes));
        for (std::size_t n = Pick(3); n > 0; --n)
            e->AddAttribute(new Attribute(Pick(kNames), Pick(kURIs), Text()), false);
        if (depth == 0) return;
        for (std::size_t n = Pick(4); n > 0; --n) {
            auto* child = new Element(Pick(kNames), Pick(kURIs), Text());
            // Declared before it is attached, so that AddChild moves them to the top.
            if (Pick(4) == 0) child->DeclareNamespace(child->namespaceURI, Pick(kPrefixes));
            e->AddChild(child, false);
            Fill(child, depth - 1);
        }
    }

    std::mt19937 mRandom;
};

TEST(FragmentWriter, RandomTreesComeOutAsTheDocumentRoadWritesThem) {
    RandomTrees trees(1921);
    int direct = 0;
    for (int i = 0; i < 3000; ++i) {
        DMNamespacePrefixMap table;
        const std::unique_ptr<Element> element = trees.Tree(table);
        const std::string expected = ThroughDocument(*element, table);
        std::string written;
        if (DMWriteFragmentDirectly(*element, table, written)) {
            ++direct;
            ASSERT_EQ(written, expected) << "tree " << i;
        }
    }
    // The comparison means something only if the writer took a fair share of them.
    EXPECT_GT(direct, 100);
}

}  // namespace
