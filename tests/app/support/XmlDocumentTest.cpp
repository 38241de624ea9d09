// The simple XML tree: what it keeps of a document, what it writes, and the hostile
// inputs it refuses.

#include "app/support/ZYMSimpleXMLDocument.h"

#include "LogFileCapture.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>

namespace {

struct ParseCase {
    const char* name;
    const char* xml;
    // The root element's text (nullptr: none) and child tags joined by ",".
    const char* rootText;
    const char* childTags;
};

class XmlParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(XmlParse, KeepsElementsAttributesAndOneText) {
    const ParseCase& c = GetParam();
    const ZYMSimpleXMLDocument doc{QByteArray(c.xml)};
    ASSERT_EQ(doc.children().size(), 1u);
    const ZYMSimpleXMLElement& root = *doc.children()[0];
    EXPECT_EQ(root.parent(), &doc);
    if (c.rootText)
        EXPECT_EQ(root.text(), QString::fromUtf8(c.rootText));
    else
        EXPECT_TRUE(root.text().isNull()) << root.text().toStdString();
    QStringList tags;
    for (const auto& child : root.children()) {
        tags << child->tag();
        EXPECT_EQ(child->parent(), &root);
    }
    EXPECT_EQ(tags.join(u','), QString::fromUtf8(c.childTags));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlParse,
    ::testing::Values(ParseCase{"BlanksOnly", "<a>  \n\t </a>", nullptr, ""},
                      ParseCase{"TextCommentText", "<a>first<!-- note -->second</a>", "second", ""},
                      ParseCase{"TextSplitByElement", "<a>first<b/>second</a>", "second", "b"},
                      ParseCase{"CdataUnescaped", "<a><![CDATA[x < y & z]]></a>", "x < y & z", ""},
                      ParseCase{"TextThenCdata", "<a>AT<![CDATA[&]]>T</a>", "T", ""},
                      ParseCase{"ReferencesStayInTheirText", "<a>AT&amp;T &#65;&#x42; &lt;&gt;&quot;&apos;</a>",
                                "AT&T AB <>\"'", ""},
                      ParseCase{"AttributeOnlyChildStays", "<a><b x=\"1\"/><c/></a>", nullptr, "b,c"},
                      ParseCase{"CommentAndPiAreNoElements", "<a><!-- c --><?pi data?><b/></a>", nullptr, "b"},
                      ParseCase{"LeadingAndTrailingBlanksKept", "<a>  x y  </a>", "  x y  ", ""},
                      ParseCase{"Utf8Text", "<a>Caf\xC3\xA9 \xE2\x82\xAC</a>", "Caf\xC3\xA9 \xE2\x82\xAC", ""},
                      ParseCase{"DeclaredLatin1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>Caf\xE9</a>",
                                "Caf\xC3\xA9", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XmlTree, AttributesKeepDocumentOrderNamesKeepPrefixes) {
    const ZYMSimpleXMLDocument doc{QByteArray("<p:a xmlns:p=\"urn:x\" z=\"1\" b=\"2\" p:m=\"3\" e=\"a&#10;b\"/>")};
    ASSERT_EQ(doc.children().size(), 1u);
    const auto& a = *doc.children()[0];
    EXPECT_EQ(a.tag(), QStringLiteral("p:a"));
    EXPECT_EQ(a.attributeOrder(), (QStringList{"z", "b", "p:m", "e"}));
    EXPECT_EQ(a.attributes().value("z"), QStringLiteral("1"));
    EXPECT_EQ(a.attributes().value("p:m"), QStringLiteral("3"));
    EXPECT_EQ(a.attributes().value("e"), QStringLiteral("a\nb"));
}

TEST(XmlTree, ChildWithTagIgnoresCaseAndTakesTheFirst) {
    const ZYMSimpleXMLDocument doc{QByteArray("<feed><product n=\"1\"/><Product n=\"2\"/><other/></feed>")};
    const auto* feed = doc.childWithTag("FEED");
    ASSERT_NE(feed, nullptr);
    const auto* product = feed->childWithTag("PRODUCT");
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->attributes().value("n"), QStringLiteral("1"));
    EXPECT_EQ(feed->childWithTag("missing"), nullptr);
    EXPECT_EQ(product->treeLevel(), 2);
}

TEST(XmlTree, EmptyMeansNoTagTextOrChildren) {
    ZYMSimpleXMLElement e;
    EXPECT_TRUE(e.isEmpty());
    e.setAttribute("a", "1");
    EXPECT_TRUE(e.isEmpty());
    e.setText("");
    EXPECT_FALSE(e.isEmpty());
}

TEST(XmlWriter, StartAndEndTagsChildrenBeforeTextAndEscaping) {
    struct Row {
        const char* name;
        std::function<std::unique_ptr<ZYMSimpleXMLElement>()> make;
        const char* expected;
    };
    const Row rows[] = {
        {"EmptyText", [] { return ZYMSimpleXMLElement::elementWithTag("a", ""); }, "<a></a>"},
        {"NoText", [] { return ZYMSimpleXMLElement::elementWithTag("a", QString()); }, "<a></a>"},
        {"ChildrenThenText",
         [] {
             auto a = ZYMSimpleXMLElement::elementWithTag("a", "tail");
             a->appendChild(ZYMSimpleXMLElement::elementWithTag("b", "1"));
             a->appendChild(ZYMSimpleXMLElement::elementWithTag("c", ""));
             return a;
         },
         "<a><b>1</b><c></c>tail</a>"},
        {"EscapedText", [] { return ZYMSimpleXMLElement::elementWithTag("a", "AT&T <b> \"q\" 'x'"); },
         "<a>AT&amp;T &lt;b&gt; &quot;q&quot; 'x'</a>"},
        {"AttributesInOrderEscaped",
         [] {
             auto a = ZYMSimpleXMLElement::elementWithTag("a", QString());
             a->setAttribute("z", "1 & 2");
             a->setAttribute("b", "\"<\t\n>\"");
             return a;
         },
         "<a z=\"1 &amp; 2\" b=\"&quot;&lt;&#9;&#10;&gt;&quot;\"></a>"},
        {"CharactersXmlCannotCarryAreLeftOut",
         [] { return ZYMSimpleXMLElement::elementWithTag("a", QString::fromUtf8("x\x01y\x1Fz\r")); },
         "<a>xyz&#13;</a>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto element = row.make();
        EXPECT_EQ(element->xmlData().toStdString(), row.expected);
        // What is written reads back to the same text.
        const ZYMSimpleXMLDocument back(element->xmlData());
        ASSERT_EQ(back.children().size(), 1u);
        if (!element->text().isEmpty()) {
            EXPECT_EQ(back.children()[0]->text(), QString(element->text()).remove(u'\x01').remove(u'\x1F'));
        }
    }
}

TEST(XmlWriter, DocumentWritesItsElementsWithoutDeclaration) {
    const ZYMSimpleXMLDocument doc{QByteArray("<?xml version=\"1.0\"?><!-- c --><a x=\"1\"><b/>t</a>")};
    EXPECT_EQ(doc.xmlData().toStdString(), "<a x=\"1\"><b></b>t</a>");
}

TEST(XmlTree, DescriptionIsOneIndentedLinePerElement) {
    const ZYMSimpleXMLDocument doc{QByteArray("<root><child>x</child></root>")};
    const QString text = doc.children()[0]->description();
    // The root is one level below the document, its child two.
    EXPECT_EQ(text, QStringLiteral("\n  Tag=root\tAttributes=(null)\tText=(null)\tChildren=1"
                                   "\n    Tag=child\tAttributes=(null)\tText=x\tChildren=0"));
    auto root = ZYMSimpleXMLElement::elementWithTag("r", QString());
    root->appendChild(ZYMSimpleXMLElement::elementWithTag("c", "t"));
    // Elements given to the children setter get no parent: no indentation.
    EXPECT_EQ(root->description().count(u'\n'), 2);
}

TEST(XmlDocument, UnreadableFileOrNetworkUrlGivesAnEmptyDocument) {
    QTemporaryDir dir;
    EXPECT_TRUE(ZYMSimpleXMLDocument::fromFile(dir.filePath("missing.xml"))->children().empty());
    EXPECT_TRUE(ZYMSimpleXMLDocument::fromFile("http://127.0.0.1:1/feed.xml")->children().empty());
    QFile file(dir.filePath("feed.xml"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<a>1</a>");
    file.close();
    EXPECT_EQ(ZYMSimpleXMLDocument::fromFile(QUrl::fromLocalFile(file.fileName()).toString())->children().size(), 1u);
}

// Each hostile text gives an empty document and exactly one log line, and reaches no
// server.
TEST(XmlHostile, RefusedWithOneLogLine) {
    auto& server = zymtest::TestServer::Get();
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)}, {"body", "<x>pwned</x>"}});
    const QByteArray entityUrl = QByteArray::fromStdString(server.Url(prefix + "entity"));

    QByteArray deep;
    for (int i = 0; i < 10000; ++i)
        deep += "<a>";
    for (int i = 0; i < 10000; ++i)
        deep += "</a>";
    QByteArray huge = "<a>" + QByteArray(20 * 1024 * 1024, 'x') + "</a>";
    QByteArray bomb = "<!DOCTYPE b [<!ENTITY a \"aaaaaaaaaa\">";
    for (int i = 1; i < 10; ++i)
        bomb += QByteArray("<!ENTITY a") + QByteArray::number(i) + " \"" + QByteArray("&a") +
                (i > 1 ? QByteArray::number(i - 1) : QByteArray()) + ";" + "&a" +
                (i > 1 ? QByteArray::number(i - 1) : QByteArray()) + ";\">";
    bomb += "]><b>&a9;</b>";

    const struct {
        const char* name;
        QByteArray xml;
    } rows[] = {
        {"Dtd", "<!DOCTYPE a [<!ELEMENT a (#PCDATA)>]><a>x</a>"},
        {"ExternalEntity", "<!DOCTYPE a [<!ENTITY e SYSTEM \"" + entityUrl + "\">]><a>&e;</a>"},
        {"ExternalSubset", "<!DOCTYPE a SYSTEM \"" + entityUrl + "\"><a>x</a>"},
        {"ExpansionBomb", bomb},
        {"DeepNesting", deep},
        {"TwentyMegabytes", huge},
        {"InvalidUtf8", "<a>\xC3\x28 \xFF</a>"},
        {"NotWellFormed", "<a><b></a>"},
        {"UndeclaredEntity", "<a>&nbsp;</a>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogFileCapture log;
        const ZYMSimpleXMLDocument doc(row.xml);
        EXPECT_TRUE(doc.children().empty());
        EXPECT_TRUE(doc.text().isNull());
        EXPECT_EQ(log.lines("ZYMSimpleXMLDocument").size(), 1);
    }
    EXPECT_TRUE(server.Requests(prefix).empty());
}

}  // namespace
