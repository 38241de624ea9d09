#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "dms/core/DMXMLDocument.h"

namespace {

const std::string kMixed =
    "<?xml version=\"1.0\"?>"
    "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\">x<b>y</b><!--c--><p:d a=\"1\" p:q=\"2\"/>z"
    "<![CDATA[cd]]><e><![CDATA[only]]></e></r>";

TEST(XMLDocument, ChildElementsSkipTextCommentsAndCData) {
    DMXMLDocument doc(kMixed);
    xmlNodePtr root = doc.GetRootElement();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(doc.GetChildElementCount(root), 3u);
    EXPECT_EQ(doc.GetNodeName(doc.GetChildElement(root, 0)), "b");
    EXPECT_EQ(doc.GetNodeName(doc.GetChildElement(root, 1)), "d");
    EXPECT_EQ(doc.GetNodeNamespace(doc.GetChildElement(root, 1)), "urn:p");
    EXPECT_EQ(doc.GetChildElement(root, 3), nullptr);
}

TEST(XMLDocument, NodeTextIsOwnTextOnlyAndContentIsEverything) {
    DMXMLDocument doc(kMixed);
    xmlNodePtr root = doc.GetRootElement();
    EXPECT_EQ(doc.GetNodeText(root), "xz");
    EXPECT_EQ(doc.GetNodeContent(root), "xyzcdonly");
    EXPECT_EQ(doc.GetNodeText(doc.FindChildElement(root, "e", "")), "");
    // Predefined entities and character references are plain text.
    DMXMLDocument escaped("<a>1 &lt; 2 &amp;&#x41;</a>");
    EXPECT_EQ(escaped.GetNodeText(escaped.GetRootElement()), "1 < 2 &A");
}

TEST(XMLDocument, FindChildElementByNameAndNamespace) {
    DMXMLDocument doc("<r xmlns:a=\"urn:a\"><x/><a:y/><y/></r>");
    xmlNodePtr root = doc.GetRootElement();
    struct Case {
        const char* name;
        const char* ns;
        int expectedIndex;  // -1: not found
    } cases[] = {
        {"y", "", 1},                                      // any namespace: the first y, which is a:y
        {"y", "urn:a", 1},                                 // that namespace only
        {"x", "", 0},                                      // no namespace matches an empty URI
        {"x", "urn:a", -1}, {"z", "", -1}, {"Y", "", -1},  // case-sensitive
    };
    for (const Case& c : cases) {
        xmlNodePtr found = doc.FindChildElement(root, c.name, c.ns);
        xmlNodePtr expected = c.expectedIndex < 0 ? nullptr : doc.GetChildElement(root, c.expectedIndex);
        EXPECT_EQ(found, expected) << c.name << " in " << c.ns;
    }
}

TEST(XMLDocument, Attributes) {
    DMXMLDocument doc(kMixed);
    xmlNodePtr d = doc.FindChildElement(doc.GetRootElement(), "d", "urn:p");
    ASSERT_EQ(doc.GetAttributeCount(d), 2u);
    std::string name = "stale";
    std::string ns = "stale";
    ASSERT_TRUE(doc.GetAttributeAt(d, 0, name, ns));
    EXPECT_EQ(name, "a");
    EXPECT_EQ(ns, "");  // unqualified attributes have no namespace, not the element's
    ASSERT_TRUE(doc.GetAttributeAt(d, 1, name, ns));
    EXPECT_EQ(name, "q");
    EXPECT_EQ(ns, "urn:p");
    EXPECT_FALSE(doc.GetAttributeAt(d, 2, name, ns));
    EXPECT_EQ(name, "");
    EXPECT_EQ(ns, "");
    EXPECT_EQ(doc.GetAttribute(d, "q", ""), "2");
    EXPECT_EQ(doc.GetAttribute(d, "q", "urn:p"), "2");
    EXPECT_EQ(doc.GetAttribute(d, "q", "urn:other"), "");
    EXPECT_EQ(doc.GetAttribute(d, "missing", ""), "");
    EXPECT_EQ(doc.GetAttributeValueAt(d, 1), "2");
}

TEST(XMLDocument, NamespaceDeclarationsAndScope) {
    DMXMLDocument doc("<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><c xmlns:q=\"urn:q\"/></r>");
    xmlNodePtr root = doc.GetRootElement();
    using Decls = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(doc.GetNamespaceDeclarations(root), (Decls{{"urn:d", ""}, {"urn:p", "p"}}));
    xmlNodePtr c = doc.GetChildElement(root, 0);
    EXPECT_EQ(doc.GetNamespaceDeclarations(c), (Decls{{"urn:q", "q"}}));
    EXPECT_TRUE(doc.HasNamespace(c, "urn:p"));  // inherited scope
    EXPECT_FALSE(doc.HasNamespace(root, "urn:q"));
    EXPECT_FALSE(doc.HasNamespace(root, ""));
    EXPECT_THROW(doc.GetNamespaceDeclarations(nullptr), DMXMLInvalidArgumentException);

    // A URI in scope under another prefix is not declared again.
    EXPECT_TRUE(doc.AddNamespace(c, "urn:p", "other"));
    EXPECT_EQ(doc.GetNamespaceDeclarations(c), (Decls{{"urn:q", "q"}}));
    EXPECT_THROW(doc.AddNamespace(nullptr, "urn:x", "x"), DMXMLInvalidArgumentException);
    EXPECT_THROW(doc.AddNamespace(c, "", "x"), DMXMLInvalidArgumentException);
    EXPECT_THROW(doc.AddNamespace(c, "urn:x", ""), DMXMLInvalidArgumentException);
}

TEST(XMLDocument, BuildAndSerialize) {
    DMXMLDocument doc;
    xmlNodePtr root = doc.CreateRootElement("r", "urn:d", "");
    xmlNodePtr plain = doc.CreateChildElement(root, "plain", "");
    xmlNodePtr same = doc.CreateChildElement(root, "same", "urn:d");
    xmlNodePtr other = doc.CreateChildElement(root, "other", "urn:o");
    doc.AddNamespace(root, "urn:p", "p");
    xmlNodePtr prefixed = doc.CreateChildElement(root, "pre", "urn:p");
    doc.SetAttribute(prefixed, "a", "urn:p", "v<&\"");
    doc.SetAttribute(prefixed, "u", "", "w");
    doc.SetAttribute(same, "xml:lang", "", "en");
    doc.SetAttribute(other, "k", "urn:o", "1");  // default declaration: written without prefix
    doc.AddNodeText(plain, "t&t");
    EXPECT_EQ(doc.GetNodeNamespace(plain), "");
    EXPECT_EQ(doc.ToString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><plain>t&amp;t</plain>"
              "<same xml:lang=\"en\"/><other xmlns=\"urn:o\" k=\"1\"/>"
              "<p:pre p:a=\"v&lt;&amp;&quot;\" u=\"w\"/></r>\n");

    // The child without namespace was written without xmlns="", so read again it lands in
    // its parent's default namespace.
    DMXMLDocument again(doc.ToString());
    EXPECT_EQ(again.GetNodeNamespace(again.GetChildElement(again.GetRootElement(), 0)), "urn:d");
}

TEST(XMLDocument, SetAttributeNeedsNamespaceInScope) {
    DMXMLDocument doc;
    xmlNodePtr root = doc.CreateRootElement("r", "urn:r", "r");
    xmlNodePtr child = doc.CreateChildElement(root, "c", "urn:c");  // declares urn:c on c
    EXPECT_NO_THROW(doc.SetAttribute(child, "a", "urn:c", "1"));
    EXPECT_THROW(doc.SetAttribute(root, "a", "urn:c", "1"), DMXMLInvalidNamespaceException);
    EXPECT_THROW(doc.SetAttribute(root, "a", "urn:nowhere", "1"), DMXMLInvalidNamespaceException);
}

TEST(XMLDocument, StatesWithoutDocument) {
    DMXMLDocument empty;
    EXPECT_EQ(empty.GetRootElement(), nullptr);
    EXPECT_EQ(empty.ToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    EXPECT_EQ(empty.GetNodeName(nullptr), "");
    EXPECT_EQ(empty.GetChildElementCount(nullptr), 0u);
    EXPECT_EQ(empty.GetAttribute(nullptr, "a", ""), "");
    // Replacing the root frees the old one (ASan checks the leak).
    empty.CreateRootElement("a", "", "");
    xmlNodePtr b = empty.CreateRootElement("b", "urn:b", "b");
    EXPECT_EQ(empty.GetRootElement(), b);
}

TEST(XMLDocument, ExceptionTexts) {
    EXPECT_STREQ(DMXMLInvalidArgumentException().what(), "Invalid argument");
    EXPECT_STREQ(DMXMLInvalidStateException().what(), "Invalid state");
    EXPECT_STREQ(DMXMLParsingException().what(), "XML Parse failed");
    EXPECT_STREQ(DMXMLInvalidNamespaceException().what(), "Namespace not found");
    try {
        throw DMXMLParsingException();
    } catch (const DMXMLException&) {
        SUCCEED();
    }
}

// --- untrusted input ---

TEST(XMLDocumentUntrusted, MalformedAndHostileTextsAreRefused) {
    const std::string cases[] = {
        "",
        " ",
        "<",
        "<a>",
        "<a></b>",
        "<a><b></a></b>",
        "<a/><b/>",
        "text only",
        "<a x=\"1\" x=\"2\"/>",
        "<a x=1/>",
        "<a>&undefined;</a>",
        "<a>&#0;</a>",
        "<p:a/>",  // unbound prefix
        "<a xmlns:p=\"\"/>",
        std::string("<a>\xC3\x28</a>"),  // invalid UTF-8
        std::string("<a>x\0y</a>", 10),
        "<?xml version=\"1.0\" encoding=\"nonsense-enc\"?><a/>",
        // A DTD of any kind: internal entities (expansion bombs), external entities,
        // parameter entities, and an external subset.
        "<!DOCTYPE a><a/>",
        "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>",
        "<!DOCTYPE a [<!ENTITY a0 \"xxxxxxxxxx\"><!ENTITY a1 \"&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;\">"
        "<!ENTITY a2 \"&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;\">]><a>&a2;</a>",
        "<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><a>&e;</a>",
        "<!DOCTYPE a [<!ENTITY % p SYSTEM \"file:///etc/passwd\"> %p;]><a/>",
        "<!DOCTYPE a SYSTEM \"file:///etc/passwd\"><a/>",
        "<!DOCTYPE a [<!ATTLIST a x CDATA \"default\">]><a/>",
    };
    for (const std::string& text : cases) {
        EXPECT_THROW(DMXMLDocument doc(text), DMXMLParsingException) << text;
    }
}

TEST(XMLDocumentUntrusted, SizeCap) {
    std::string big = "<a>";
    big.append(kDMXMLMaxDocumentBytes, 'x');
    big += "</a>";
    EXPECT_THROW(DMXMLDocument doc(big), DMXMLParsingException);
    big.resize(kDMXMLMaxDocumentBytes - 4);
    big += "</a>";
    EXPECT_NO_THROW(DMXMLDocument doc(big));
}

// A listening loopback socket that records whether anybody connected.
class ListenerProbe {
public:
    ListenerProbe() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd_, 4);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        ::fcntl(fd_, F_SETFL, O_NONBLOCK);
    }
    ~ListenerProbe() { ::close(fd_); }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/x.dtd"; }
    bool Connected() {
        int c = ::accept(fd_, nullptr, nullptr);
        if (c >= 0) {
            ::close(c);
            return true;
        }
        return false;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

TEST(XMLDocumentUntrusted, NothingIsFetchedFromTheNetwork) {
    ListenerProbe probe;
    const std::string url = probe.Url();
    EXPECT_THROW(DMXMLDocument("<!DOCTYPE a SYSTEM \"" + url + "\"><a/>"), DMXMLParsingException);
    EXPECT_THROW(DMXMLDocument("<!DOCTYPE a [<!ENTITY e SYSTEM \"" + url + "\">]><a>&e;</a>"), DMXMLParsingException);
    // XInclude is not processed: the element stays an ordinary element.
    DMXMLDocument include("<a xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"" + url + "\"/></a>");
    EXPECT_EQ(include.GetNodeName(include.GetChildElement(include.GetRootElement(), 0)), "include");
    EXPECT_FALSE(probe.Connected());
}

TEST(XMLDocumentUntrusted, DeepNestingIsRefusedNotACrash) {
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    for (int i = 0; i < 100000; ++i)
        deep += "</a>";
    EXPECT_THROW(DMXMLDocument doc(deep), DMXMLParsingException);
}

}  // namespace
