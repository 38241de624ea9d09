// The sign-on message types, password transforms, SASL answers and endpoint choice.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dms/core/DMAuthenticationEndpoints.h"
#include "dms/core/DMAuthenticationTypes.h"
#include "dms/core/DMPlatformUtils.h"
#include "dms/core/DMSOAPNamespaces.h"

namespace {

std::unique_ptr<DMSOAPElementType> Parse(const std::string& xml) {
    std::string text = std::string("<docfrag:document_fragment xmlns:docfrag=\"") + kDMFragmentNamespace + "\">" + xml +
                       "</docfrag:document_fragment>";
    return std::unique_ptr<DMSOAPElementType>(DMSOAPElementType::CreateFromString(text, DMNamespacePrefixMap(), true));
}

std::string Decode(const std::string& base64) {
    std::vector<unsigned char> bytes(base64.size() + 4);
    const std::uint32_t n = DMPlatformUtils::GetInstance()->Base64Decode(base64.c_str(), bytes.data(),
                                                                         static_cast<std::uint32_t>(bytes.size()));
    return std::string(reinterpret_cast<const char*>(bytes.data()), n);
}

DMAuthentication_TransformType Transform(const std::string& name, const std::string& param = "",
                                         const std::string& value = "") {
    DMAuthentication_TransformType t;
    t.name = name;
    if (!param.empty()) {
        t.parameters.emplace_back(param, value);
    }
    return t;
}

const char* kResponse =
    "<sa:SASLResponse xmlns:sa='urn:liberty:sa:2004-04' serverMechanism='PLAIN'>"
    "<sa:Status code='sa:continue' comment='go on'/>"
    "<sa:Data>Y2hhbGxlbmdl</sa:Data>"
    "<sa:PasswordTransforms>"
    "<sa:Transform name='urn:liberty:sa:pm:truncate'><sa:Parameter name='length'>8</sa:Parameter>"
    "<sa:Note>no name here</sa:Note></sa:Transform>"
    "<sa:Transform name='urn:liberty:sa:pm:lowercase'/>"
    "</sa:PasswordTransforms>"
    "<disco:ResourceOffering xmlns:disco='urn:liberty:disco:2003-08'><disco:ResourceID>R1"
    "</disco:ResourceID></disco:ResourceOffering><disco:ResourceOffering "
    "xmlns:disco='urn:liberty:disco:2003-08'><disco:ResourceID>R2</disco:ResourceID>"
    "</disco:ResourceOffering>"
    "<sa:Credentials><saml:Assertion xmlns:saml='urn:oasis:names:tc:SAML:1.0:assertion' "
    "AssertionID='A1'/></sa:Credentials>"
    "</sa:SASLResponse>";

}  // namespace

TEST(AuthenticationTypes, FirstRequestWritesOnlyTheMechanism) {
    DMAuthentication_Authenticate_InputType input("", "", "PLAIN SECURID");
    std::unique_ptr<DMSOAPElementType> element(input.ToElement("SASLRequest", kDMSASLNamespaceURI));
    ASSERT_EQ(element->attributes.size(), 1u);
    EXPECT_EQ(element->attributes.front()->name, "mechanism");
    EXPECT_EQ(element->attributes.front()->value, "PLAIN SECURID");
    EXPECT_TRUE(element->children.empty());
    EXPECT_EQ(element->namespaces.size(), 13u);
    EXPECT_EQ(element->namespaces.at(kDMSASLNamespaceURI), "sa");
    EXPECT_EQ(element->namespaces.at("urn:zym-ups/idff.xsd"), "idff");

    DMAuthentication_Authenticate_InputType renewal("alice", "ZGF0YQ==", "PLAIN");
    std::unique_ptr<DMSOAPElementType> written(renewal.ToElement("SASLRequest", kDMSASLNamespaceURI));
    DMAuthentication_Authenticate_InputType read(written.get());
    EXPECT_EQ(read.GetAuthzID(), "alice");
    EXPECT_EQ(read.GetMechanism(), "PLAIN");
    EXPECT_EQ(read.GetData(), "ZGF0YQ==");
    EXPECT_FALSE(DMAuthentication_Authenticate_InputType("", "x", "").IsValid());
}

TEST(AuthenticationTypes, ResponseIsReadByLocalNames) {
    auto element = Parse(kResponse);
    DMAuthentication_Authenticate_OutputType output(element.get());
    EXPECT_EQ(output.GetStatus().GetCode(), "continue");
    EXPECT_EQ(output.GetStatus().GetComment(), "go on");
    EXPECT_EQ(output.GetServerMechanism(), "PLAIN");
    EXPECT_EQ(output.GetData(), "Y2hhbGxlbmdl");
    ASSERT_EQ(output.GetPasswordTransforms().size(), 2u);
    const auto& truncate = output.GetPasswordTransforms().front();
    EXPECT_EQ(truncate.GetName(), "urn:liberty:sa:pm:truncate");
    ASSERT_EQ(truncate.GetParameters().size(), 1u);  // the child without "name" adds none
    EXPECT_EQ(truncate.GetParameters().front(), (std::pair<std::string, std::string>("length", "8")));
    ASSERT_NE(output.GetResourceOffering(), nullptr);
    EXPECT_EQ(output.GetResourceOffering()->FindChild("ResourceID", 1)->text, "R1");
    ASSERT_NE(output.GetCredentials(), nullptr);
    EXPECT_NE(output.GetCredentials()->FindChild("Assertion", 1), nullptr);

    // Written back and read again, the same values come out.
    std::unique_ptr<DMSOAPElementType> written(output.ToElement("SASLResponse", kDMSASLNamespaceURI));
    DMAuthentication_Authenticate_OutputType again(written.get());
    EXPECT_EQ(again.GetStatus().GetCode(), "continue");
    EXPECT_EQ(again.GetServerMechanism(), "PLAIN");
    EXPECT_EQ(again.GetPasswordTransforms().size(), 2u);
    EXPECT_EQ(again.GetPasswordTransforms().front().GetParameters().size(), 1u);
    EXPECT_NE(again.GetCredentials(), nullptr);

    DMAuthentication_Authenticate_OutputType empty(nullptr);
    EXPECT_EQ(empty.GetStatus().GetCode(), "");
    EXPECT_EQ(empty.GetResourceOffering(), nullptr);
}

TEST(AuthenticationTypes, PasswordTransforms) {
    struct Case {
        const char* what;
        std::vector<DMAuthentication_TransformType> transforms;
        const char* password;
        const char* expected;
    };
    const std::string kTruncate = "urn:liberty:sa:pm:truncate";
    const std::string kSelect = "urn:liberty:sa:pm:select";
    const Case cases[] = {
        {"upper then truncate",
         {Transform("urn:liberty:sa:pm:uppercase"), Transform(kTruncate, "length", "3")},
         "hello",
         "HEL"},
        {"lowercase", {Transform("urn:liberty:sa:pm:lowercase")}, "PaSs", "pass"},
        {"truncate to length", {Transform(kTruncate, "length", "5")}, "hello", "hello"},
        {"truncate above length", {Transform(kTruncate, "length", "9")}, "hello", "hello"},
        {"truncate negative", {Transform(kTruncate, "length", "-1")}, "hello", "hello"},
        {"truncate to zero", {Transform(kTruncate, "length", "0")}, "hello", ""},
        {"truncate without parameter", {Transform(kTruncate)}, "hello", "hello"},
        {"truncate empty length", {Transform(kTruncate, "length", "")}, "hello", "hello"},
        // Not a number: the password is left alone rather than emptied.
        {"truncate not a number", {Transform(kTruncate, "length", "abc")}, "hello", "hello"},
        {"select digits", {Transform(kSelect, "allowed", "0123456789")}, "a1b2c3", "123"},
        {"select empty set", {Transform(kSelect, "allowed", "")}, "a1b2", "a1b2"},
        {"unknown name", {Transform("urn:liberty:sa:pm:rot13")}, "abc", "abc"},
        {"case of the name matters", {Transform("URN:liberty:sa:pm:lowercase")}, "ABC", "ABC"},
        {"bytes above 0x7f kept", {Transform("urn:liberty:sa:pm:uppercase")}, "\xc3\xa9t\xc3\xa9", "\xc3\xa9T\xc3\xa9"},
    };
    for (const Case& c : cases) {
        std::string password = c.password;
        DMApplyPasswordTransforms(password, DMAuthenticationTransformList(c.transforms.begin(), c.transforms.end()));
        EXPECT_EQ(password, c.expected) << c.what;
    }
}

TEST(AuthenticationTypes, AnswersCarryTheCanonicalNameAndNoMore) {
    EXPECT_EQ(SIFCanonicalizedString("John Doe"), "johndoe");
    EXPECT_EQ(SIFCanonicalizedString(" Al\tice\x7f\xc3\xa9!~"), "alice!~");
    EXPECT_EQ(Decode(DMSASLPlainData("John Doe", "Secret")), std::string("\0johndoe\0Secret", 15));
    EXPECT_EQ(Decode(DMSASLPlainData("bob", "")), std::string("\0bob\0", 5));
    EXPECT_EQ(Decode(DMSASLSecurIDData("123456")), std::string("\0\0"
                                                               "123456\0",
                                                               9));
    // The encoder's fill characters are present.
    EXPECT_EQ(DMSASLPlainData("a", "b"), "AGEAYg==");
}

TEST(AuthenticationEndpoints, NamesAndUrls) {
    struct Case {
        const char* text;
        std::string expected;  // "" = endpoint unchanged
    };
    const Case cases[] = {
        {"prod", kDMAuthenticationEnvironments[0].url},
        {"PROD", kDMAuthenticationEnvironments[0].url},
        {"Dev2", kDMAuthenticationEnvironments[5].url},
        {" prod", ""},
        {"", ""},
        {"HTTPS://Example.COM/x", "HTTPS://Example.COM/x"},
        {"http://127.0.0.1:8080/", "http://127.0.0.1:8080/"},
        {"ftp://example.com/", ""},
        {"example.com", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DMAuthenticationEndpointFor(c.text), c.expected) << c.text;
    }
    // Scheme, port and path of each environment are fixed; the hosts are ours.
    const char* shapes[][2] = {
        {"https://", ""},
        {"https://", "/"},
        {"https://", ":5201/"},
        {"https://", ":443/"},
        {"http://", ":9080/tfs/IDPSSO_IDWSF/"},
        {"http://", ":9080/tfs/IDPSSO_IDWSF10"},
        {"http://", ":12345/"},
        {"https://", ":5201/"},
    };
    int i = 0;
    for (const auto& environment : kDMAuthenticationEnvironments) {
        const std::string url = environment.url;
        EXPECT_EQ(url.rfind(shapes[i][0], 0), 0u) << environment.name;
        const std::string tail = shapes[i][1];
        EXPECT_EQ(url.substr(url.size() - tail.size()), tail) << environment.name;
        if (tail.empty()) {
            EXPECT_EQ(url.find('/', 8), std::string::npos) << "prod ends with the host";
        }
        ++i;
    }
}
