#pragma once

// Errors as they cross from the service layer to the user interface: small immutable
// values. Copies share the user information.

#include <QDataStream>
#include <QString>
#include <QVariantMap>

#include <optional>

class DMServiceRequestToken;

inline const QString kPOSIXErrorDomain = QStringLiteral("POSIXErrorDomain");
inline const QString kOSStatusErrorDomain = QStringLiteral("OSStatusErrorDomain");
inline const QString kErrorDescApplicationErrorDomain = QStringLiteral("ErrorDescApplicationErrorDomain");
inline const QString kSIFErrorDomain = QStringLiteral("SIFErrorDomain");
inline const QString kLocalizedErrorDescriptionKey = QStringLiteral("LocalizedErrorDescriptionKey");

class ErrorDescription {
public:
    ErrorDescription() = default;
    ErrorDescription(const QString& domain, int code, const std::optional<QVariantMap>& userInfo = std::nullopt)
        : code_(code), domain_(domain), userInfo_(userInfo) {}
    virtual ~ErrorDescription() = default;
    ErrorDescription(const ErrorDescription&) = default;
    ErrorDescription& operator=(const ErrorDescription&) = default;

    static ErrorDescription errorDescriptionWithDomain(const QString& domain, int code,
                                                       const std::optional<QVariantMap>& userInfo = std::nullopt) {
        return ErrorDescription(domain, code, userInfo);
    }

    const QString& domain() const { return domain_; }
    int code() const { return code_; }
    // Absent (nil) is not the same as empty.
    const std::optional<QVariantMap>& userInfo() const { return userInfo_; }

    // The user information's ready text, else "Error: domain=<domain> code=<code>".
    QString localizedDescription() const;

private:
    friend QDataStream& operator<<(QDataStream&, const ErrorDescription&);
    friend QDataStream& operator>>(QDataStream&, ErrorDescription&);
    int code_ = 0;
    QString domain_;
    std::optional<QVariantMap> userInfo_;
};

// The code, then the domain, then the user information (with a mark for its absence).
QDataStream& operator<<(QDataStream& out, const ErrorDescription& e);
QDataStream& operator>>(QDataStream& in, ErrorDescription& e);

// A failed web-service method: domain "SIFErrorDomain", code -1, and what the core kept
// of the request: method name, SIF status, SOAP fault and, for a transport failure, the
// stream error domain and code the core wrote into the fault actor as "%d, %d".
class ZYMServiceErrorDescription : public ErrorDescription {
public:
    explicit ZYMServiceErrorDescription(const DMServiceRequestToken& request,
                                        const std::optional<QVariantMap>& userInfo = std::nullopt);

    static ZYMServiceErrorDescription ZYMServiceErrorDescriptionWithServiceRequest(
        const DMServiceRequestToken& request, const std::optional<QVariantMap>& userInfo = std::nullopt) {
        return ZYMServiceErrorDescription(request, userInfo);
    }

    const QString& sifMethodName() const { return methodName_; }  // null when no method call
    const QString& sifStatusCode() const { return statusCode_; }
    const QString& sifStatusComment() const { return statusComment_; }
    const QString& sifFaultCode() const { return faultCode_; }
    const QString& sifFaultString() const { return faultString_; }
    const QString& sifFaultActor() const { return faultActor_; }
    int sifFaultErrorDomain() const { return faultErrorDomain_; }
    int sifFaultErrorCode() const { return faultErrorCode_; }

    QString description() const;

private:
    QString methodName_;
    QString statusCode_;
    QString statusComment_;
    QString faultCode_;
    QString faultString_;
    QString faultActor_;
    int faultErrorDomain_ = 0;
    int faultErrorCode_ = 0;
};

// Reads "%d, %d" as scanf would, in the "C" notation: a part that does not parse leaves
// its number 0 (and stops the reading).
void ParseFaultActor(const std::string& actor, int& domain, int& code);
