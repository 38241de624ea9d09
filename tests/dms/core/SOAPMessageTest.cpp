#include <gtest/gtest.h>

#include "dms/core/DMSOAPMessage.h"

namespace {

TEST(SOAPMessage, NewEnvelope) {
    DMSOAPMessage message(true);
    EXPECT_EQ(message.ToString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
              "<SOAP-ENV:Header/><SOAP-ENV:Body/></SOAP-ENV:Envelope>\n");
    EXPECT_NE(message.GetHeader(), nullptr);
    EXPECT_NE(message.GetBody(), nullptr);
    DMSOAPMessage empty(false);
    EXPECT_EQ(empty.GetRootElement(), nullptr);
    EXPECT_EQ(empty.GetHeader(), nullptr);
}

TEST(SOAPMessage, WriteTreeThenFindHeaderAndBody) {
    RegisterSIFNamespaces();
    DMSOAPElementType envelope("Envelope", kDMSOAP11Namespace.uri, "");
    envelope.DeclareNamespace(kDMSOAP11Namespace.uri, kDMSOAP11Namespace.prefix);
    envelope.AddChild(new DMSOAPElementType("Header", kDMSOAP11Namespace.uri, ""), false);
    auto* body = new DMSOAPElementType("Body", kDMSOAP11Namespace.uri, "");
    envelope.AddChild(body, false);
    body->AddChild(new DMSOAPElementType("Query", kDMDiscoveryNamespace.uri, ""), false);

    DMSOAPMessage message(false);
    envelope.ToXMLElement(*message.GetDocument(), nullptr, SIFNamespacePrefixTable());
    message.FindHeaderAndBody();
    ASSERT_NE(message.GetBody(), nullptr);
    EXPECT_EQ(message.GetDocument()->GetNodeName(message.GetDocument()->GetChildElement(message.GetBody(), 0)),
              "Query");
    EXPECT_NE(message.ToString().find("<disco:Query/>"), std::string::npos);
}

TEST(SOAPMessage, ParsedResponses) {
    DMSOAPMessage soap11(
        "<S:Envelope xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<S:Body><x/></S:Body></S:Envelope>");
    EXPECT_EQ(soap11.GetHeader(), nullptr);
    EXPECT_NE(soap11.GetBody(), nullptr);
    DMSOAPMessage soap12(
        "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\">"
        "<env:Header/><env:Body/></env:Envelope>");
    EXPECT_EQ(soap12.GetHeader(), nullptr);
    EXPECT_EQ(soap12.GetBody(), nullptr);
    EXPECT_THROW(DMSOAPMessage("<html><body>302 Found"), DMXMLParsingException);
}

TEST(SOAPMessage, PrefixTable) {
    RegisterSIFNamespaces();
    const DMNamespacePrefixMap& table = SIFNamespacePrefixTable();
    EXPECT_EQ(table.size(), 13u);
    EXPECT_EQ(DMMapValueOrEmpty(table, kDMSOAP11EnvelopeURI), "");
    EXPECT_EQ(DMMapValueOrEmpty(table, "http://schemas.xmlsoap.org/soap/envelope"), "S");
    EXPECT_EQ(DMMapValueOrEmpty(table, kDMSIFURI), "zym");
    EXPECT_EQ(DMMapValueOrEmpty(table, kDMWSSecurityURI), "wsse");
    EXPECT_EQ(DMMapValueOrEmpty(table, kDMXMLDSigURI), "ds");
    const std::string sif = kDMSIFURI;
    EXPECT_EQ(sif.substr(sif.size() - 17), "/soap/sif-2004-02");

    // A later registration of the same URI wins (restored afterwards: the table is global).
    RegisterSIFNamespace("urn:liberty:sb:2003-08", "other");
    EXPECT_EQ(DMMapValueOrEmpty(table, "urn:liberty:sb:2003-08"), "other");
    RegisterSIFNamespace("urn:liberty:sb:2003-08", "sb");
}

}  // namespace
