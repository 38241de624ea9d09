#pragma once

// The message types of the Liberty SASL sign-on ("urn:liberty:sa:2004-04"): the
// SASLRequest a client sends, the SASLResponse a server returns, one password transform
// the server may ask for, and the rules that apply the transforms to a password.
// Attributes and children of received elements are found by local name in any namespace.

#include <list>
#include <memory>
#include <string>
#include <utility>

#include "dms/core/DMSIFMethod.h"
#include "dms/core/DMSOAPNamespaces.h"

inline constexpr const char* kDMSASLNamespaceURI = kDMSASLNamespace.uri;

// Declares the sign-on messages' prefixes on element: the whole table.
void DMDeclareSASLNamespaces(DMSOAPElementType* element);

class DMAuthentication_TransformType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    using Parameter = std::pair<std::string, std::string>;  // name, value

    DMAuthentication_TransformType() = default;
    explicit DMAuthentication_TransformType(DMSOAPElementType* element);
    DMAuthentication_TransformType(const DMAuthentication_TransformType&) = default;
    DMAuthentication_TransformType& operator=(const DMAuthentication_TransformType&) = default;
    virtual ~DMAuthentication_TransformType() = default;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // Name from the attribute "name"; every child carrying a "name" attribute adds a
    // parameter (its text the value). The new list replaces the old one.
    void FromElement(DMSOAPElementType* element) override;

    const std::string& GetName() const { return name; }
    const std::list<Parameter>& GetParameters() const { return parameters; }

    std::string name;
    std::list<Parameter> parameters;
};

using DMAuthenticationTransformList = std::list<DMAuthentication_TransformType>;

class DMAuthentication_Authenticate_InputType : public DMSIF_MethodArgumentsType {
public:
    DMAuthentication_Authenticate_InputType(const std::string& authzID, const std::string& data,
                                            const std::string& mechanism);
    // Null gives empty fields.
    explicit DMAuthentication_Authenticate_InputType(DMSOAPElementType* element);
    ~DMAuthentication_Authenticate_InputType() override;

    // A SASLRequest: the attributes and the Data child are written only when not empty.
    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    // A missing attribute or child leaves its field as it was.
    void FromElement(DMSOAPElementType* element) override;
    // True when a mechanism is set.
    bool IsValid() override { return !mechanism.empty(); }

    const std::string& GetAuthzID() const { return authzID; }
    const std::string& GetMechanism() const { return mechanism; }
    const std::string& GetData() const { return data; }

    std::string authzID;
    std::string mechanism;
    std::string data;  // base64; holds a secret on PLAIN and SECURID steps
};

class DMAuthentication_Authenticate_OutputType : public DMSIF_MethodOutputType {
public:
    // Null gives an empty output.
    explicit DMAuthentication_Authenticate_OutputType(DMSOAPElementType* element);
    ~DMAuthentication_Authenticate_OutputType() override;
    DMAuthentication_Authenticate_OutputType(const DMAuthentication_Authenticate_OutputType&) = delete;
    DMAuthentication_Authenticate_OutputType& operator=(const DMAuthentication_Authenticate_OutputType&) = delete;

    DMSOAPElementType* ToElement(const std::string& name, const std::string& namespaceURI) override;
    void FromElement(DMSOAPElementType* element) override;

    const std::string& GetServerMechanism() const { return serverMechanism; }
    const DMAuthenticationTransformList& GetPasswordTransforms() const { return transforms; }
    const std::string& GetData() const { return data; }
    // Still owned by the output; null when absent.
    DMSOAPElementType* GetResourceOffering() const { return resourceOffering.get(); }
    DMSOAPElementType* GetCredentials() const { return credentials.get(); }
    const DMSIF_StatusType& GetStatus() const { return status; }
    const DMSIF_FaultType& GetFault() const { return fault; }

    std::string serverMechanism;
    DMAuthenticationTransformList transforms;
    std::string data;
    std::unique_ptr<DMSOAPElementType> resourceOffering;  // deep copy
    std::unique_ptr<DMSOAPElementType> credentials;       // deep copy
};

// The transform rules, in list order, each on the previous one's result (truncate,
// lowercase, uppercase, select; other names are ignored).
void DMApplyPasswordTransforms(std::string& password, const DMAuthenticationTransformList& transforms);

// The canonical form of a user name: only the bytes 0x21..0x7E, lower-cased.
std::string SIFCanonicalizedString(const std::string& text);

// The base64 Data of the SASL answers (RFC 4616 PLAIN with an empty authorization
// identity; SECURID: two zero bytes, the passcode, one zero byte).
std::string DMSASLPlainData(const std::string& userName, const std::string& password);
std::string DMSASLSecurIDData(const std::string& passcode);

// Overwrites the bytes of a string holding a secret before it is dropped.
void DMWipeString(std::string& secret);
