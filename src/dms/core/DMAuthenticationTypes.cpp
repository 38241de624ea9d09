#include "dms/core/DMAuthenticationTypes.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dms/core/DMAsciiCase.h"
#include "dms/core/DMElementCoding.h"
#include "dms/core/DMPlatformUtils.h"
#include "dms/core/DMSOAPNamespaces.h"

namespace {

const std::string* FindParameter(const DMAuthentication_TransformType& transform, const char* name) {
    for (const auto& parameter : transform.parameters) {
        if (parameter.first == name) {
            return &parameter.second;
        }
    }
    return nullptr;
}

// A length the server sends as text. A value without any leading digits is not a
// length at all: it leaves the password alone instead of emptying it.
bool ParseLength(const std::string& text, long& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    value = std::strtol(begin, &end, 10);
    return end != begin && errno == 0;
}

std::string Encode(const std::string& bytes) {
    // Twice the input plus 4 is always enough for base64 and its terminating zero.
    std::vector<char> buffer(bytes.size() * 2 + 4);
    const std::int32_t written =
        DMPlatformUtils::GetInstance()->Base64Encode(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                                     buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    std::string text(buffer.data(), written > 0 ? static_cast<std::size_t>(written) : 0);
    std::memset(buffer.data(), 0, buffer.size());
    return text;
}

}  // namespace

void DMDeclareSASLNamespaces(DMSOAPElementType* element) { DMDeclareSIFNamespaces(element, nullptr); }

// --- DMAuthentication_TransformType ---

DMAuthentication_TransformType::DMAuthentication_TransformType(DMSOAPElementType* element) {
    DMAuthentication_TransformType::FromElement(element);
}

DMSOAPElementType* DMAuthentication_TransformType::ToElement(const std::string& elementName,
                                                             const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(elementName, namespaceURI, "");
    DMAddAttributeIfSet(element, "name", "", name);
    for (const auto& parameter : parameters) {
        auto* child = new DMSOAPElementType("Parameter", kDMSASLNamespaceURI, parameter.second);
        child->AddAttribute(new DMSOAPAttributeType("name", "", parameter.first), false);
        element->AddChild(child, false);
    }
    return element;
}

void DMAuthentication_TransformType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadAttribute(element, "name", name);
    std::list<Parameter> read;
    for (const DMSOAPElementType* child : element->children) {
        if (const DMSOAPAttributeType* attribute = child->FindAttribute("name")) {
            read.emplace_back(attribute->value, child->text);
        }
    }
    parameters = std::move(read);
}

// --- DMAuthentication_Authenticate_InputType ---

DMAuthentication_Authenticate_InputType::DMAuthentication_Authenticate_InputType(const std::string& authzID_,
                                                                                 const std::string& data_,
                                                                                 const std::string& mechanism_)
    : authzID(authzID_), mechanism(mechanism_), data(data_) {}

DMAuthentication_Authenticate_InputType::DMAuthentication_Authenticate_InputType(DMSOAPElementType* element) {
    DMAuthentication_Authenticate_InputType::FromElement(element);
}

DMAuthentication_Authenticate_InputType::~DMAuthentication_Authenticate_InputType() { DMWipeString(data); }

DMSOAPElementType* DMAuthentication_Authenticate_InputType::ToElement(const std::string& name,
                                                                      const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMDeclareSASLNamespaces(element);
    DMAddAttributeIfSet(element, "authzID", "", authzID);
    DMAddAttributeIfSet(element, "mechanism", "", mechanism);
    if (!data.empty()) {
        element->AddChild(new DMSOAPElementType("Data", kDMSASLNamespaceURI, data), false);
    }
    return element;
}

void DMAuthentication_Authenticate_InputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadAttribute(element, "authzID", authzID);
    DMReadAttribute(element, "mechanism", mechanism);
    DMReadChildText(element, "Data", data);
}

// --- DMAuthentication_Authenticate_OutputType ---

DMAuthentication_Authenticate_OutputType::DMAuthentication_Authenticate_OutputType(DMSOAPElementType* element) {
    DMAuthentication_Authenticate_OutputType::FromElement(element);
}

DMAuthentication_Authenticate_OutputType::~DMAuthentication_Authenticate_OutputType() = default;

DMSOAPElementType* DMAuthentication_Authenticate_OutputType::ToElement(const std::string& name,
                                                                       const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMDeclareSASLNamespaces(element);
    DMAddStatus(element, status, namespaceURI);
    DMAddAttributeIfSet(element, "serverMechanism", "", serverMechanism);
    if (!data.empty()) {
        element->AddChild(new DMSOAPElementType("Data", kDMSASLNamespaceURI, data), false);
    }
    if (!transforms.empty()) {
        auto* list = new DMSOAPElementType("PasswordTransforms", kDMSASLNamespaceURI, "");
        for (auto& transform : transforms) {
            list->AddChild(transform.ToElement("Transform", kDMSASLNamespaceURI), false);
        }
        element->AddChild(list, false);
    }
    if (resourceOffering) {
        element->AddChild(resourceOffering.get(), true);
    }
    if (credentials) {
        element->AddChild(credentials.get(), true);
    }
    return element;
}

void DMAuthentication_Authenticate_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadStatus(element, status);
    DMReadAttribute(element, "serverMechanism", serverMechanism);
    DMReadChildText(element, "Data", data);
    if (DMSOAPElementType* list = element->FindChild("PasswordTransforms", 1)) {
        if (!list->children.empty()) {
            DMAuthenticationTransformList read;
            for (DMSOAPElementType* child : list->children) {
                read.emplace_back(child);
            }
            transforms = std::move(read);
        }
    }
    if (DMSOAPElementType* child = element->FindChild("ResourceOffering", 1)) {
        resourceOffering = std::make_unique<DMSOAPElementType>(child);
    }
    if (DMSOAPElementType* child = element->FindChild("Credentials", 1)) {
        credentials = std::make_unique<DMSOAPElementType>(child);
    }
}

// --- transforms and answers ---

void DMApplyPasswordTransforms(std::string& password, const DMAuthenticationTransformList& transforms) {
    for (const auto& transform : transforms) {
        if (transform.name == "urn:liberty:sa:pm:truncate") {
            const std::string* length = FindParameter(transform, "length");
            long n = 0;
            if (length && !length->empty() && ParseLength(*length, n) && n >= 0 &&
                static_cast<unsigned long>(n) < password.size()) {
                password.resize(static_cast<std::size_t>(n));
            }
        } else if (transform.name == "urn:liberty:sa:pm:lowercase") {
            for (char& c : password) {
                c = DMAsciiLower(c);
            }
        } else if (transform.name == "urn:liberty:sa:pm:uppercase") {
            for (char& c : password) {
                c = DMAsciiUpper(c);
            }
        } else if (transform.name == "urn:liberty:sa:pm:select") {
            const std::string* allowed = FindParameter(transform, "allowed");
            if (allowed && !allowed->empty()) {
                std::string kept;
                for (char c : password) {
                    if (allowed->find(c) != std::string::npos) {
                        kept.push_back(c);
                    }
                }
                DMWipeString(password);
                password = std::move(kept);
            }
        }
    }
}

std::string SIFCanonicalizedString(const std::string& text) {
    std::string canonical;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x21 && byte <= 0x7E) {
            canonical.push_back(DMAsciiLower(c));
        }
    }
    return canonical;
}

std::string DMSASLPlainData(const std::string& userName, const std::string& password) {
    std::string message;
    message.push_back('\0');
    message += SIFCanonicalizedString(userName);
    message.push_back('\0');
    message += password;
    std::string data = Encode(message);
    DMWipeString(message);
    return data;
}

std::string DMSASLSecurIDData(const std::string& passcode) {
    std::string message(2, '\0');
    message += passcode;
    message.push_back('\0');
    std::string data = Encode(message);
    DMWipeString(message);
    return data;
}

void DMWipeString(std::string& secret) {
    volatile char* bytes = secret.data();
    for (std::size_t i = 0; i < secret.size(); ++i) {
        bytes[i] = 0;
    }
    secret.clear();
}
