#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dms/core/DMSOAPElementType.h"
#include "dms/core/DMSOAPNamespaces.h"

namespace {

using Element = DMSOAPElementType;
using Attribute = DMSOAPAttributeType;

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string Write(const Element& top, const DMNamespacePrefixMap& table = {}) {
    DMXMLDocument doc;
    top.ToXMLElement(doc, nullptr, table);
    return doc.ToString();
}

std::unique_ptr<Element> Read(const std::string& text, const DMNamespacePrefixMap& table = {}) {
    return std::unique_ptr<Element>(Element::CreateFromString(text, table, false));
}

Element* Child(Element* parent, const std::string& name, const std::string& ns = "", const std::string& text = "") {
    auto* child = new Element(name, ns, text);
    parent->AddChild(child, false);
    return child;
}

// --- structure ---

TEST(ElementTree, FindChildCountsByLocalNameAcrossNamespaces) {
    Element top("top", "", "");
    Element* first = Child(&top, "Status", "urn:a");
    Child(&top, "Other", "urn:a");
    Element* second = Child(&top, "Status", "urn:b");
    struct Case {
        const char* name;
        int occurrence;
        Element* expected;
    } cases[] = {
        {"Status", 1, first},   {"Status", 2, second},   {"Status", 3, nullptr},
        {"Status", 0, nullptr}, {"Status", -1, nullptr}, {"status", 1, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(top.FindChild(c.name, c.occurrence), c.expected) << c.name << " " << c.occurrence;
    }
    EXPECT_EQ(first->parent, &top);
    EXPECT_EQ(first->GetRoot(), &top);
}

TEST(ElementTree, RemoveNeedsNamespaceFindDoesNot) {
    Element top("top", "", "");
    Child(&top, "a", "urn:x");
    Child(&top, "a", "urn:y");
    top.RemoveChild("a", "urn:z");
    top.RemoveChild("a", "");
    EXPECT_EQ(top.children.size(), 2u);
    top.RemoveChild("a", "urn:y");
    ASSERT_EQ(top.children.size(), 1u);
    EXPECT_EQ(top.children.front()->namespaceURI, "urn:x");

    top.AddAttribute(new Attribute("k", "urn:q", "1"), false);
    Attribute shared("k", "", "2");
    top.AddAttribute(&shared, true);  // copied: the caller keeps its own
    top.AddAttribute(nullptr, false);
    top.AddChild(nullptr, true);
    ASSERT_EQ(top.attributes.size(), 2u);
    EXPECT_EQ(top.FindAttribute("k")->value, "1");
    EXPECT_EQ(top.FindAttribute("k")->owner, &top);
    EXPECT_EQ(shared.owner, nullptr);
    top.RemoveAttribute("k");
    EXPECT_EQ(top.FindAttribute("k")->value, "2");
    top.RemoveAttribute("missing");
    EXPECT_EQ(Element("e", "", "").FindAttribute("k"), nullptr);
}

TEST(ElementTree, AddChildMovesDeclarationsToTheTopCopyBringsNone) {
    Element top("top", "urn:t", "");
    Element* middle = Child(&top, "middle", "urn:t");

    auto* sub = new Element("sub", "urn:s", "");
    sub->DeclareNamespace("urn:s", "s");
    auto* inner = new Element("inner", "urn:i", "");
    inner->DeclareNamespace("urn:i", "i");
    sub->AddChild(inner, false);  // inner's declaration moves up to sub
    EXPECT_TRUE(inner->namespaces.empty());
    EXPECT_EQ(sub->namespaces, (DMNamespacePrefixMap{{"urn:i", "i"}, {"urn:s", "s"}}));

    middle->AddChild(sub, true);
    EXPECT_TRUE(top.namespaces.empty());  // a deep copy holds no declarations
    EXPECT_EQ(sub->parent, nullptr);

    middle->AddChild(sub, false);
    EXPECT_EQ(top.namespaces, (DMNamespacePrefixMap{{"urn:i", "i"}, {"urn:s", "s"}}));
    EXPECT_TRUE(sub->namespaces.empty());
    EXPECT_TRUE(middle->namespaces.empty());
    EXPECT_EQ(inner->FindNamespacePrefix("urn:s"), "s");
    EXPECT_EQ(inner->GetNamespacePrefix("urn:none", {{"urn:none", "n"}}), "n");
    EXPECT_EQ(middle->children.size(), 2u);
}

TEST(ElementTree, DeepCopy) {
    Element top("top", "urn:t", "text");
    top.DeclareNamespace("urn:t", "t");
    top.AddAttribute(new Attribute("a", "urn:t", "1"), false);
    Child(Child(&top, "c", "urn:c", "x"), "g", "", "y");
    Element copy(&top);
    EXPECT_EQ(copy.name, "top");
    EXPECT_EQ(copy.text, "text");
    EXPECT_TRUE(copy.namespaces.empty());
    ASSERT_EQ(copy.attributes.size(), 1u);
    EXPECT_NE(copy.attributes.front(), top.attributes.front());
    EXPECT_EQ(copy.attributes.front()->owner, &copy);
    Element* g = copy.FindChild("c", 1)->FindChild("g", 1);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->text, "y");
    EXPECT_EQ(g->GetRoot(), &copy);
    Element empty(static_cast<const Element*>(nullptr));
    EXPECT_EQ(empty.name, "");
}

// --- road out: golden texts ---

TEST(ElementTreeWrite, PrefixedNamespaceDeclaredOnceOnTheRoot) {
    Element top("Envelope", "urn:x", "");
    top.DeclareNamespace("urn:x", "p");
    Element* body = Child(&top, "Body", "urn:x");
    Child(body, "Item", "urn:x", "1");
    Child(body, "Item", "urn:x", "2");
    EXPECT_EQ(Write(top), kDecl +
                              "<p:Envelope xmlns:p=\"urn:x\"><p:Body><p:Item>1</p:Item>"
                              "<p:Item>2</p:Item></p:Body></p:Envelope>\n");
}

TEST(ElementTreeWrite, NamespacesWithoutPrefixGetDefaultDeclarations) {
    Element top("Envelope", kDMSOAP11EnvelopeURI, "");
    top.DeclareNamespace(kDMSOAP11EnvelopeURI, "SOAP-ENV");
    Element* body = Child(&top, "Body", kDMSOAP11EnvelopeURI);
    Element* request = Child(body, "ListStations", "urn:y");
    Child(request, "Filter", "urn:y", "a&b");
    Child(request, "Plain", "");
    Child(request, "Table", "urn:z");
    Child(request, "Tabled", "urn:z");
    // The table supplies a prefix for urn:z, which is then declared on the root.
    EXPECT_EQ(Write(top, {{"urn:z", "z"}}),
              kDecl +
                  "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
                  " xmlns:z=\"urn:z\"><SOAP-ENV:Body><ListStations xmlns=\"urn:y\">"
                  "<Filter>a&amp;b</Filter><Plain/><z:Table/><z:Tabled/></ListStations>"
                  "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n");
}

TEST(ElementTreeWrite, RootWithoutPrefixAndTextAfterChildren) {
    Element top("r", "urn:r", "tail");
    top.AddAttribute(new Attribute("id", "", "7"), false);
    Child(&top, "c", "urn:r", "x");
    EXPECT_EQ(Write(top), kDecl + "<r xmlns=\"urn:r\" id=\"7\"><c>x</c>tail</r>\n");
}

TEST(ElementTreeWrite, QualifiedAttributesTakeTheirPrefix) {
    Element top("Security", kDMWSSecurityURI, "");
    top.DeclareNamespace(kDMWSSecurityURI, "wsse");
    Element* assertion = Child(&top, "Assertion", "urn:oasis:names:tc:SAML:1.0:assertion");
    assertion->AddAttribute(new Attribute("MajorVersion", "", "1"), false);
    assertion->AddAttribute(new Attribute("Id", "urn:oasis:names:tc:SAML:1.0:assertion", "a1"), false);
    assertion->AddAttribute(new Attribute("xml:lang", "", "en"), false);
    EXPECT_EQ(Write(top, {{"urn:oasis:names:tc:SAML:1.0:assertion", "saml"}}),
              kDecl +
                  "<wsse:Security xmlns:wsse=\"http://schemas.xmlsoap.org/ws/2003/06/secext\""
                  " xmlns:saml=\"urn:oasis:names:tc:SAML:1.0:assertion\"><saml:Assertion"
                  " MajorVersion=\"1\" saml:Id=\"a1\" xml:lang=\"en\"/></wsse:Security>\n");
}

TEST(ElementTreeWrite, AttributeInUnknownNamespaceSkipsTheRestOfItsElementOnly) {
    Element top("r", "urn:r", "");
    Element* bad = Child(&top, "bad", "urn:b", "lost text");
    bad->AddAttribute(new Attribute("ok", "", "1"), false);
    bad->AddAttribute(new Attribute("x", "urn:unknown", "2"), false);
    bad->AddAttribute(new Attribute("after", "", "3"), false);
    Child(bad, "lost", "urn:b");
    Child(&top, "sibling", "urn:r");
    testing::internal::CaptureStdout();
    const std::string text = Write(top);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "exception caught: namespace urn:b not defined\n");
    EXPECT_EQ(text, kDecl + "<r xmlns=\"urn:r\"><bad xmlns=\"urn:b\" ok=\"1\"/><sibling/></r>\n");
}

TEST(ElementTreeWrite, FragmentForm) {
    Element station("Station", "urn:ns:radio", "");
    station.DeclareNamespace("urn:ns:radio", "r");
    station.AddAttribute(new Attribute("id", "", "42"), false);
    Child(&station, "Name", "urn:ns:radio", "Jazz & Blues");
    Child(&station, "Extra", "urn:other", "e");
    std::string text;
    station.ToString(text, {});
    EXPECT_EQ(text, kDecl +
                        "<docfrag:document_fragment xmlns:docfrag=\"urn:zym-com:soap_element_fragment\""
                        " xmlns:r=\"urn:ns:radio\"><r:Station id=\"42\"><r:Name>Jazz &amp; Blues"
                        "</r:Name><Extra xmlns=\"urn:other\">e</Extra></r:Station>"
                        "</docfrag:document_fragment>\n");

    // What the data cache reads back: no wrapper, no declarations, the same content.
    std::unique_ptr<Element> back(Element::CreateFromString(text, {}, true));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->parent, nullptr);
    EXPECT_TRUE(back->namespaces.empty());
    EXPECT_EQ(back->name, "Station");
    EXPECT_EQ(back->namespaceURI, "urn:ns:radio");
    EXPECT_EQ(back->FindAttribute("id")->value, "42");
    EXPECT_EQ(back->FindAttribute("id")->namespaceURI, "");
    EXPECT_EQ(back->FindChild("Name", 1)->text, "Jazz & Blues");
    EXPECT_EQ(back->FindChild("Extra", 1)->namespaceURI, "urn:other");
}

TEST(ElementTreeWrite, UnwrapAndParseFailures) {
    std::string empty;
    Element("x", "", "").ToString(empty, {});
    EXPECT_NE(std::unique_ptr<Element>(Element::CreateFromString(empty, {}, true)), nullptr);
    const std::string noChild =
        "<docfrag:document_fragment xmlns:docfrag=\"urn:zym-com:soap_element_fragment\">"
        "text<!--c--></docfrag:document_fragment>";
    EXPECT_EQ(Element::CreateFromString(noChild, {}, true), nullptr);
    EXPECT_THROW(Element::CreateFromString("<a>", {}, true), DMXMLParsingException);
    EXPECT_THROW(Element::CreateFromString("", {}, false), DMXMLParsingException);
    DMXMLDocument doc;
    Element e("e", "", "");
    EXPECT_THROW(e.InitFromXMLElement(doc, nullptr, {}), DMXMLInvalidArgumentException);
}

// --- road in ---

// A response in the form the tree writes it back: every declaration on the root, the
// root's own namespace first, the rest in URI order (not prefix order).
const std::string kResponse =
    kDecl +
    "<S:Envelope xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\""
    " xmlns:sb=\"urn:liberty:sb:2003-08\" xmlns:r=\"urn:ns:radio\""
    " xmlns:saml=\"urn:oasis:names:tc:SAML:1.0:assertion\">"
    "<S:Header><sb:Correlation S:mustUnderstand=\"1\" messageID=\"M1\"/></S:Header>"
    "<S:Body><r:ListStationsResponse><r:Status code=\"r:OK\"/>"
    "<r:Station id=\"1\" saml:AssertionID=\"a\"><r:Name>One &amp; &lt;Two&gt;</r:Name></r:Station>"
    "<r:Station id=\"2\"><r:Name>Caf\xC3\xA9</r:Name></r:Station>"
    "</r:ListStationsResponse></S:Body></S:Envelope>\n";

TEST(ElementTreeRead, ParseTreeTextRoundTrip) {
    std::unique_ptr<Element> tree = Read(kResponse);
    EXPECT_EQ(tree->name, "Envelope");
    EXPECT_EQ(tree->namespaceURI, kDMSOAP11EnvelopeURI);
    EXPECT_EQ(tree->namespaces.size(), 4u);
    Element* response = tree->FindChild("Body", 1)->FindChild("ListStationsResponse", 1);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->FindChild("Station", 2)->FindChild("Name", 1)->text, "Caf\xC3\xA9");
    EXPECT_EQ(Write(*tree), kResponse);

    // The fragment form round-trips the same tree.
    std::string fragment;
    tree->ToString(fragment, {});
    std::unique_ptr<Element> back(Element::CreateFromString(fragment, {}, true));
    ASSERT_NE(back, nullptr);
    back->DeclareNamespaces(tree->namespaces);
    EXPECT_EQ(Write(*back), kResponse);
}

TEST(ElementTreeRead, UnqualifiedAttributesStayUnqualified) {
    // A signed assertion is echoed back verbatim: its unqualified attributes must not
    // gain the element's namespace on the way through the tree.
    const std::string text =
        kDecl +
        "<saml:Assertion xmlns:saml=\"urn:oasis:names:tc:SAML:1.0:assertion\""
        " AssertionID=\"x1\" Issuer=\"zym\"><saml:Conditions NotOnOrAfter=\"2026-01-01T00:00:00Z\"/>"
        "</saml:Assertion>\n";
    std::unique_ptr<Element> tree = Read(text);
    EXPECT_EQ(tree->FindAttribute("AssertionID")->namespaceURI, "");
    EXPECT_EQ(Write(*tree), text);
    EXPECT_EQ(Write(*tree, SIFNamespacePrefixTable()), text);

    // Same local name in two namespaces: each keeps its own value and namespace.
    std::unique_ptr<Element> both = Read("<r xmlns:a=\"urn:a\" a:x=\"1\" x=\"2\"/>");
    ASSERT_EQ(both->attributes.size(), 2u);
    EXPECT_EQ(both->attributes.front()->namespaceURI, "urn:a");
    EXPECT_EQ(both->attributes.front()->value, "1");
    EXPECT_EQ(both->attributes.back()->namespaceURI, "");
    EXPECT_EQ(both->attributes.back()->value, "2");
}

TEST(ElementTreeRead, DefaultDeclarationsTakeThePrefixKnownForTheirURI) {
    const std::string text = "<a xmlns=\"urn:a\"><b xmlns=\"urn:b\"><c/></b></a>";
    EXPECT_EQ(Read(text)->namespaces, (DMNamespacePrefixMap{{"urn:a", ""}, {"urn:b", ""}}));
    std::unique_ptr<Element> tabled = Read(text, {{"urn:b", "bb"}});
    EXPECT_EQ(tabled->namespaces, (DMNamespacePrefixMap{{"urn:a", ""}, {"urn:b", "bb"}}));
    EXPECT_EQ(Write(*tabled), kDecl + "<a xmlns=\"urn:a\" xmlns:bb=\"urn:b\"><bb:b><bb:c/></bb:b></a>\n");
    // Without any prefix the default declarations come back as they were.
    EXPECT_EQ(Write(*Read(text)), kDecl + text + "\n");
}

TEST(ElementTreeRead, NamespacesAndTextsArePerElement) {
    std::unique_ptr<Element> tree =
        Read("<r xmlns:p=\"urn:p\">x<p:a>1<b>2</b>3</p:a><![CDATA[cd]]><c xml:lang=\"fr\"/>y</r>");
    EXPECT_EQ(tree->text, "xy");
    Element* a = tree->FindChild("a", 1);
    EXPECT_EQ(a->namespaceURI, "urn:p");
    EXPECT_EQ(a->text, "13");
    EXPECT_EQ(a->FindChild("b", 1)->namespaceURI, "");
    Attribute* lang = tree->FindChild("c", 1)->FindAttribute("lang");
    ASSERT_NE(lang, nullptr);
    EXPECT_EQ(lang->namespaceURI, kDMXMLNamespaceURI);
    // Written again, text follows the children; a root without namespace carries an
    // explicit empty default declaration.
    EXPECT_EQ(Write(*tree), kDecl +
                                "<r xmlns=\"\" xmlns:p=\"urn:p\"><p:a><b>2</b>13</p:a>"
                                "<c xml:lang=\"fr\"/>xy</r>\n");
}

}  // namespace
