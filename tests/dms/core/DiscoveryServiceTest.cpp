// Discovery message types, controller choice by offered service type, and the sign-on
// controller's endpoint rules, without the network.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dms/core/DMAuthenticationEndpoints.h"
#include "dms/core/DMAuthenticationServiceController.h"
#include "dms/core/DMDiscoveryServiceController.h"
#include "dms/core/DMGenericService.h"
#include "dms/core/DMServiceFactory.h"
#include "dms/core/DMSOAPMessage.h"
#include "dms/core/DMSOAPNamespaces.h"

namespace {

std::unique_ptr<DMSOAPElementType> Parse(const std::string& xml) {
    std::string text =
        std::string("<f:document_fragment xmlns:f=\"") + kDMFragmentNamespace + "\">" + xml + "</f:document_fragment>";
    return std::unique_ptr<DMSOAPElementType>(DMSOAPElementType::CreateFromString(text, DMNamespacePrefixMap(), true));
}

std::string Offering(const std::string& serviceType, const std::string& endpoint) {
    return "<disco:ResourceOffering xmlns:disco='urn:liberty:disco:2003-08'>"
           "<disco:ResourceID>RID</disco:ResourceID><disco:ServiceInstance>"
           "<disco:ServiceType>" +
           serviceType +
           "</disco:ServiceType><disco:Description>"
           "<disco:Endpoint>" +
           endpoint +
           "</disco:Endpoint></disco:Description>"
           "</disco:ServiceInstance></disco:ResourceOffering>";
}

class PlainController : public DMSIFService {
public:
    PlainController(DMSOAPElementType* offering, DMSOAPElementType* credentials)
        : DMSIFService(ServiceTypeURN(kServiceTypePictures), nullptr) {
        SetResourceOffering(offering, true);
        SetCredentials(credentials, true);
    }
};

}  // namespace

TEST(DiscoveryService, QueryInputAndResponse) {
    DMDiscovery_Query_InputType input("urn:zym-com:services:radio:3.0");
    EXPECT_TRUE(input.IsValid());
    std::unique_ptr<DMSOAPElementType> element(input.ToElement("Query", kDMDiscoveryServiceType));
    EXPECT_EQ(element->namespaces.size(), 12u);
    DMDiscovery_Query_InputType read(element.get());
    EXPECT_EQ(read.GetServiceType(), "urn:zym-com:services:radio:3.0");
    DMDiscovery_Query_InputType empty("");
    EXPECT_FALSE(empty.IsValid());
    std::unique_ptr<DMSOAPElementType> bare(empty.ToElement("Query", kDMDiscoveryServiceType));
    EXPECT_TRUE(bare->children.empty());

    auto response = Parse(
        "<disco:QueryResponse xmlns:disco='urn:liberty:disco:2003-08'>"
        "<disco:Status code='disco:ok'/>" +
        Offering("first", "http://a/") + Offering("second", "http://b/") +
        "<disco:Credentials><x:Assertion xmlns:x='urn:oasis:names:tc:SAML:1.0:assertion'/>"
        "</disco:Credentials></disco:QueryResponse>");
    DMDiscovery_Query_OutputType output(response.get());
    EXPECT_EQ(output.status.GetCode(), "ok");
    ASSERT_NE(output.GetResourceOffering(), nullptr);
    EXPECT_EQ(output.GetResourceOffering()->FindChild("ServiceInstance", 1)->FindChild("ServiceType", 1)->text,
              "first");
    ASSERT_NE(output.GetCredentials(), nullptr);
    std::unique_ptr<DMSOAPElementType> written(output.ToElement("QueryResponse", kDMDiscoveryServiceType));
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(written->children.size(), 3u);

    DMDiscovery_Query_OutputType none(nullptr);
    EXPECT_EQ(none.GetResourceOffering(), nullptr);
    EXPECT_EQ(none.ToElement("QueryResponse", kDMDiscoveryServiceType), nullptr);
}

// Sign-on and discovery messages declare the program-wide prefixes, discovery all but the
// sign-on namespace; a prefix a message declares is the one the table writes elsewhere.
TEST(DiscoveryService, MessagesDeclareTheProgramPrefixes) {
    RegisterSIFNamespaces();
    const DMNamespacePrefixMap& table = SIFNamespacePrefixTable();
    DMDiscovery_Query_InputType query("urn:zym-com:services:radio:3.0");
    std::unique_ptr<DMSOAPElementType> disco(query.ToElement("Query", kDMDiscoveryServiceType));
    DMSOAPElementType sasl("SASLRequest", kDMSASLNamespaceURI, "");
    DMDeclareSASLNamespaces(&sasl);

    EXPECT_EQ(sasl.namespaces.size(), 13u);
    EXPECT_EQ(disco->namespaces.size(), 12u);
    EXPECT_EQ(disco->namespaces.count(kDMSASLNamespaceURI), 0u);
    for (const auto& [uri, prefix] : sasl.namespaces) {
        EXPECT_EQ(DMMapValueOrEmpty(table, uri), prefix) << uri;
        if (uri != kDMSASLNamespaceURI) EXPECT_EQ(DMMapValueOrEmpty(disco->namespaces, uri), prefix) << uri;
    }
    EXPECT_EQ(disco->namespaces.at("urn:liberty:disco:2003-08"), "disco");
    EXPECT_EQ(disco->namespaces.at("http://schemas.xmlsoap.org/soap/envelope"), "S");
    EXPECT_EQ(table.at(kDMSIFURI), "zym");
}

TEST(DiscoveryService, ControllerChosenByTheExactServiceType) {
    DMServiceFactory::Register(
        kServiceTypePictures,
        [](DMSOAPElementType* offering, DMSOAPElementType* credentials, DMSIFServiceListener*) -> DMSIFService* {
            return new PlainController(offering, credentials);
        },
        [](const std::string&, DMSIFService*, DMServicesProvider*) -> DMGenericService* { return nullptr; });
    DMDiscoveryServiceController discovery(nullptr, nullptr, nullptr);
    struct Case {
        const char* what;
        std::string offering;
        bool made;
    };
    const Case cases[] = {
        {"registered type", Offering("urn:zym-com:services:photo", "http://svc/"), true},
        {"white space around it", Offering(" urn:zym-com:services:photo", "http://svc/"), false},
        {"other letter case", Offering("urn:zym-com:services:Photo", "http://svc/"), false},
        {"unregistered type", Offering("urn:zym-com:services:radio", "http://svc/"), false},
        {"no ServiceType", "<o:ResourceOffering xmlns:o='u'><o:ServiceInstance/></o:ResourceOffering>", false},
        {"no ServiceInstance", "<o:ResourceOffering xmlns:o='u'/>", false},
    };
    for (const Case& c : cases) {
        auto offering = Parse(c.offering);
        std::unique_ptr<DMSIFService> controller(discovery.CreateServiceController(offering.get(), nullptr, nullptr));
        EXPECT_EQ(controller != nullptr, c.made) << c.what;
        if (controller) {
            // The controller keeps its own copy; the caller's offering stays its own.
            EXPECT_EQ(controller->GetEndpoint(), "http://svc/");
            EXPECT_NE(controller->GetResourceOffering(), offering.get());
        }
    }
    EXPECT_EQ(discovery.CreateServiceController(nullptr, nullptr, nullptr), nullptr);
    DMServiceFactory::Unregister(kServiceTypePictures);
    auto offering = Parse(cases[0].offering);
    EXPECT_EQ(discovery.CreateServiceController(offering.get(), nullptr, nullptr), nullptr);

    // Nothing is sent for an empty service type.
    DMDiscovery_Query_InputType empty("");
    EXPECT_EQ(discovery.Query(nullptr, &empty), nullptr);
    EXPECT_EQ(discovery.RequestElementName("Query"), "Query");
    EXPECT_EQ(discovery.ResponseElementName("Query"), "QueryResponse");
}

TEST(AuthenticationService, EndpointRules) {
    DMAuthenticationServiceController controller(nullptr);
    EXPECT_EQ(controller.GetEndpoint(), kDMDefaultSignOnURL);
    EXPECT_TRUE(controller.HasCredentials());

    DMSOAPService& base = controller;  // every caller of the base operation reaches the rules
    base.SetEndpoint("QA");
    EXPECT_EQ(controller.GetEndpoint(), kDMAuthenticationEnvironments[6].url);
    base.SetEndpoint("ftp://elsewhere/");
    base.SetEndpoint("");
    EXPECT_EQ(controller.GetEndpoint(), kDMAuthenticationEnvironments[6].url);

    // An offering moves the endpoint to its http(s) Endpoint ...
    auto offering = Parse(Offering("urn:liberty:disco:2003-08", "http://disco.test/sso"));
    controller.SetResourceOffering(offering.get(), true);
    EXPECT_EQ(controller.GetEndpoint(), "http://disco.test/sso");
    // ... an offering without one leaves it ...
    auto bare = Parse("<o:ResourceOffering xmlns:o='u'><o:ResourceID>R</o:ResourceID></o:ResourceOffering>");
    controller.SetResourceOffering(bare.get(), true);
    EXPECT_EQ(controller.GetEndpoint(), "http://disco.test/sso");
    // ... and it never moves from https to plain http, where a password would go in clear.
    base.SetEndpoint("https://signon.test/");
    controller.SetResourceOffering(offering.get(), true);
    EXPECT_EQ(controller.GetEndpoint(), "https://signon.test/");
    auto secure = Parse(Offering("urn:liberty:disco:2003-08", "https://disco.test/"));
    controller.SetResourceOffering(secure.get(), true);
    EXPECT_EQ(controller.GetEndpoint(), "https://disco.test/");

    // Refusals send nothing.
    DMAuthentication_Authenticate_InputType noMechanism("", "", "");
    EXPECT_EQ(controller.Authenticate(nullptr, noMechanism), nullptr);
    DMAuthentication_Authenticate_InputType input("", "", "PLAIN SECURID");
    EXPECT_EQ(controller.AuthenticateWithCredentials(nullptr, nullptr, input), nullptr);
    // Answers for a call the controller does not have are dropped.
    DMSIF_MethodRef stranger("Authenticate", "X");
    EXPECT_FALSE(controller.Knows(&stranger));
    controller.SetPassword(&stranger, "M1", "user", "secret");
    controller.SetSecurID(&stranger, "M1", "1234");
}
