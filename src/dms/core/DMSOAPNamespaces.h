#pragma once

// Namespaces the SOAP and SIF layers write into messages, as (prefix, URI) pairs, and
// the program-wide URI -> prefix table used when a service writes a tree.

#include "dms/core/DMSOAPElementType.h"

struct DMNamespaceConstant {
    const char* prefix;
    const char* uri;
};

inline constexpr const char* kDMSOAP11EnvelopeURI = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr const char* kDMSOAP12EnvelopeURI = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr const char* kDMWSSecurityURI = "http://schemas.xmlsoap.org/ws/2003/06/secext";
inline constexpr const char* kDMXMLDSigURI = "http://www.w3.org/2000/09/xmldsig#";
inline constexpr const char* kDMSIFURI = "http://www.zym-com.invalid/soap/sif-2004-02";
inline constexpr const char* kDMXMLNamespaceURI = "http://www.w3.org/XML/1998/namespace";

inline constexpr DMNamespaceConstant kDMSOAP11Namespace{"SOAP-ENV", kDMSOAP11EnvelopeURI};
inline constexpr DMNamespaceConstant kDMSOAP12Namespace{"SOAP-ENV", kDMSOAP12EnvelopeURI};
inline constexpr DMNamespaceConstant kDMSASLNamespace{"sa", "urn:liberty:sa:2004-04"};
inline constexpr DMNamespaceConstant kDMDiscoveryNamespace{"disco", "urn:liberty:disco:2003-08"};
inline constexpr DMNamespaceConstant kDMWSSecurityNamespace{"wsse", kDMWSSecurityURI};
inline constexpr DMNamespaceConstant kDMSOAPBindingNamespace{"sb", "urn:liberty:sb:2003-08"};
inline constexpr DMNamespaceConstant kDMSIFNamespace{"zym", kDMSIFURI};

// The Liberty, SAML and service namespaces with the prefixes the program writes them with:
// the program-wide table's standard entries, and what sign-on and discovery messages
// declare. The URI without the trailing slash is not the SOAP 1.1 envelope namespace:
// envelope elements take their prefix from the envelope's own declaration.
inline constexpr DMNamespaceConstant kDMSIFNamespaceTable[] = {
    kDMSIFNamespace,
    kDMDiscoveryNamespace,
    {"lib", "urn:liberty:iff:2003-08"},
    {"S", "http://schemas.xmlsoap.org/soap/envelope"},
    kDMSASLNamespace,
    {"samlp", "urn:oasis:names:tc:SAMLP:1.0:protocol"},
    {"saml", "urn:oasis:names:tc:SAML:1.0:assertion"},
    kDMSOAPBindingNamespace,
    {"sb-ext", "urn:liberty:sb:2004-04"},
    {"sec", "urn:liberty:sec:2003-08"},
    kDMWSSecurityNamespace,
    {"ds", kDMXMLDSigURI},
    {"idff", "urn:zym-ups/idff.xsd"},
};

// Declares the table's namespaces on element, all but the one of skipURI (none when null).
void DMDeclareSIFNamespaces(DMSOAPElementType* element, const char* skipURI = nullptr);

// Default address of the authentication (sign-on) service.
inline constexpr const char* kDMDefaultAuthenticationURL = "https://signon.zym-com.invalid/";

// The program-wide table. Filled by RegisterSIFNamespaces on the first DMSIFService
// construction (main thread), read only afterwards; services take copies of it.
DMNamespacePrefixMap& SIFNamespacePrefixTable();
// table[uri] = prefix (a later registration of the same URI wins).
void RegisterSIFNamespace(const std::string& uri, const std::string& prefix);
// Registers the program's standard entries; does nothing after the first call.
void RegisterSIFNamespaces();
