#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "dms/core/DMSIFTypes.h"
#include "dms/core/DMSOAPNamespaces.h"

namespace {

using Element = DMSOAPElementType;
using Owned = std::unique_ptr<Element>;

Owned Parse(const std::string& text) { return Owned(Element::CreateFromString(text, {}, false)); }

std::string Fragment(Element* e) {
    std::string text;
    e->ToString(text, {});
    return text;
}

TEST(SIFTypes, IDAndQualIDForms) {
    DMSIF_IDType id("value", "");
    Owned e(id.ToElement("StationID", "urn:r"));
    EXPECT_EQ(e->text, "value");
    EXPECT_TRUE(e->attributes.empty());  // empty id is not written

    DMSIF_IDType kept("old", "keep");
    Owned noText = Parse("<StationID/>");
    kept.FromElement(noText.get());
    EXPECT_EQ(kept.GetValue(), "");   // text is always read
    EXPECT_EQ(kept.GetID(), "keep");  // absent attribute keeps the field
    kept.FromElement(nullptr);
    EXPECT_EQ(kept.GetID(), "keep");

    DMSIF_QualIDType q("v", "7", "station", "http://x/");
    Owned qe(q.ToElement("Q", "urn:r"));
    std::string order;
    for (auto* a : qe->attributes)
        order += a->name + ",";
    EXPECT_EQ(order, "id,type,url,");
    DMSIF_QualIDType back(qe.get());
    EXPECT_EQ(back.GetValue(), "v");
    EXPECT_EQ(back.GetID(), "7");
    EXPECT_EQ(back.type, "station");
    EXPECT_EQ(back.url, "http://x/");
    DMSIF_QualIDType fromXml(Parse("<r:Q xmlns:r=\"urn:r\" r:id=\"9\" type=\"t\">txt</r:Q>").get());
    EXPECT_EQ(fromXml.GetID(), "9");  // found by local name whatever its namespace
    EXPECT_EQ(fromXml.type, "t");
    EXPECT_EQ(fromXml.url, "");
}

TEST(SIFTypes, LocStringLanguageSurvivesXml) {
    DMSIF_LocStringType s;
    s.mValue = "Jazz";
    s.mID = "g1";
    s.mLanguage = "en";
    s.mScript = "Latn";
    Owned e(s.ToElement("Name", "urn:r"));
    DMSIF_LocStringType direct(e.get());
    EXPECT_EQ(direct.mValue, "Jazz");
    EXPECT_EQ(direct.mID, "g1");
    EXPECT_EQ(direct.mLanguage, "en");
    EXPECT_EQ(direct.mScript, "Latn");

    // Through text the attribute comes back as "lang" in the XML namespace; the language
    // must still be read.
    Owned wrapped(Element::CreateFromString(Fragment(e.get()), {}, true));
    ASSERT_NE(wrapped, nullptr);
    DMSIF_LocStringType viaXml(wrapped.get());
    EXPECT_EQ(viaXml.mLanguage, "en");
    EXPECT_EQ(viaXml.mScript, "Latn");
    EXPECT_NE(Fragment(e.get()).find("xml:lang=\"en\""), std::string::npos);
}

TEST(SIFTypes, StatusCodePrefixIsStripped) {
    struct Case {
        const char* code;
        const char* expected;
    } cases[] = {
        {"sb:EndpointMoved", "EndpointMoved"}, {"a:b:c", "b:c"}, {"OK", "OK"}, {":x", "x"}, {"x:", ""}, {"", ""},
    };
    for (const Case& c : cases) {
        Element e("Status", "", "");
        e.AddAttribute(new DMSOAPAttributeType("code", "", c.code), false);
        EXPECT_EQ(DMSIF_StatusType(&e).GetCode(), c.expected) << c.code;
    }
}

TEST(SIFTypes, NestedStatuses) {
    Owned e = Parse(
        "<s:Status xmlns:s=\"urn:s\" code=\"s:abort\" comment=\"c\" ref=\"r1\">"
        "<s:Status code=\"one\"/><Foo code=\"two\"><Status code=\"deep\"/></Foo><Bar/></s:Status>");
    DMSIF_StatusType status(e.get());
    EXPECT_EQ(status.GetCode(), "abort");
    EXPECT_EQ(status.GetComment(), "c");
    EXPECT_EQ(status.ref, "r1");
    ASSERT_EQ(status.statuses.size(), 3u);
    EXPECT_EQ(status.statuses.front().code, "one");
    EXPECT_EQ(std::next(status.statuses.begin())->statuses.front().code, "deep");

    // Encoded again, every nested status is a "Status" in the parent's namespace.
    Owned out(status.ToElement("Status", "urn:s"));
    ASSERT_EQ(out->children.size(), 3u);
    for (Element* child : out->children) {
        EXPECT_EQ(child->name, "Status");
        EXPECT_EQ(child->namespaceURI, "urn:s");
    }
    EXPECT_EQ(out->FindChild("Status", 2)->FindChild("Status", 1)->FindAttribute("code")->value, "deep");

    // An element without children keeps the nested list; copies keep ref.
    Element bare("Status", "", "");
    bare.AddAttribute(new DMSOAPAttributeType("code", "", "OK"), false);
    status.FromElement(&bare);
    EXPECT_EQ(status.statuses.size(), 3u);
    DMSIF_StatusType copy(status);
    DMSIF_StatusType assigned;
    assigned = status;
    EXPECT_EQ(copy.ref, "r1");
    EXPECT_EQ(assigned.ref, "r1");
    EXPECT_EQ(assigned.statuses.size(), 3u);
}

TEST(SIFTypes, Soap11FaultBothWays) {
    DMSIF_FaultType fault;
    fault.faultcode = "SOAP-ENV:Server";
    fault.faultactor = "100, 500";
    fault.status.code = "EndpointMoved";
    Owned e(fault.ToElement("Fault", kDMSOAP11EnvelopeURI));
    ASSERT_EQ(e->children.size(), 3u);  // no faultstring: it is empty
    EXPECT_EQ(e->FindChild("faultcode", 1)->namespaceURI, "");
    Element* detail = e->FindChild("detail", 1);
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->namespaceURI, kDMSOAP11EnvelopeURI);
    EXPECT_EQ(detail->FindChild("Status", 1)->namespaceURI, kDMSIFURI);

    Owned parsed = Parse(
        "<S:Fault xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<faultcode>S:Service</faultcode><faultstring>moved</faultstring>"
        "<detail><Status code=\"sb:EndpointMoved\"/></detail></S:Fault>");
    DMSIF_FaultType read(parsed.get());
    EXPECT_EQ(read.GetFaultCode(), "S:Service");  // stored as it arrives
    EXPECT_EQ(read.GetFaultString(), "moved");
    EXPECT_EQ(read.GetFaultActor(), "");
    EXPECT_EQ(read.GetStatus().GetCode(), "EndpointMoved");
    Owned none(DMSIF_FaultType().ToElement("Fault", kDMSOAP11EnvelopeURI));
    EXPECT_TRUE(none->children.empty());
}

TEST(SIFTypes, Soap12FaultAndForeignNamespaces) {
    Owned soap12 = Parse(
        "<env:Fault xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\">"
        "<env:Value>wrong place</env:Value>"
        "<env:Code><env:Value>env:Sender</env:Value></env:Code>"
        "<env:Reason><env:Text xml:lang=\"en\">bad input</env:Text></env:Reason>"
        "<env:Role>ignored</env:Role>"
        "<env:Detail><Status code=\"x:abort\"/></env:Detail></env:Fault>");
    DMSIF_FaultType fault(soap12.get());
    EXPECT_EQ(fault.GetFaultCode(), "env:Sender");
    EXPECT_EQ(fault.GetFaultString(), "bad input");
    EXPECT_EQ(fault.GetFaultActor(), "");
    EXPECT_EQ(fault.GetStatus().GetCode(), "abort");

    Owned misplaced = Parse(
        "<env:Fault xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\">"
        "<env:Value>v</env:Value></env:Fault>");
    EXPECT_EQ(DMSIF_FaultType(misplaced.get()).GetFaultCode(), "");

    Owned foreign = Parse("<Fault xmlns=\"urn:other\"><faultcode>c</faultcode></Fault>");
    DMSIF_FaultType empty(foreign.get());
    EXPECT_EQ(empty.GetFaultCode(), "");
    EXPECT_EQ(empty.GetStatus().GetCode(), "");
}

TEST(SIFStrings, EqualityAndPrefixes) {
    struct Case {
        const char* a;
        const char* b;
        bool sensitive;
        bool equal;
        bool prefix;
        bool hasPrefix;  // a begins with b
    } cases[] = {
        {"OK", "ok", false, true, true, true},
        {"OK", "ok", true, false, false, false},
        {"continue", "CONTINUE", false, true, true, true},
        {"", "anything", true, false, true, false},
        {"", "", true, true, true, true},
        {"abort", "ab", true, false, true, true},
        {"ab", "abort", false, false, true, false},
        {"If you see this message", "if you", false, false, true, true},
        {"OKAY", "ok!", false, false, false, false},
        // Only ASCII letters fold: bytes above 0x7F compare as they are.
        {"\xC3\x89", "\xC3\xA9", false, false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DMStringEqual(c.a, c.b, c.sensitive), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(DMStringPrefixEqual(c.a, c.b, c.sensitive), c.prefix) << c.a << " / " << c.b;
        EXPECT_EQ(DMStringHasPrefix(c.a, c.b, c.sensitive), c.hasPrefix) << c.a << " / " << c.b;
    }
}

TEST(SIFStrings, HexDump) {
    EXPECT_EQ(DMHexDump(""), "");
    EXPECT_EQ(DMHexDump("A\n"), "000000  41 0A   A.\n");
    std::string bytes = "0123456789abcdef";
    bytes += '\x7F';
    EXPECT_EQ(DMHexDump(bytes),
              "000000  30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66   0123456789abcdef\n"
              "000010  7F   .\n");
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const std::string dump = DMHexDump(all);
    EXPECT_NE(dump.find("0000F0  F0 F1"), std::string::npos);
    EXPECT_NE(dump.find(" !\"#$%&'()*+,-./\n"), std::string::npos);
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 16);
}

}  // namespace
