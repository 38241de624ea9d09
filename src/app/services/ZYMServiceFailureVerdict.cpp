#include "app/services/ZYMServiceFailureVerdict.h"

#include "app/services/ZYMGenericService.h"
#include "app/foundation/ZYMStringUtils.h"
#include "dms/core/DMAuthenticationTypes.h"
#include "dms/core/DMSIFMethod.h"
#include "runtime/LogMessage.h"

#include <cstdio>

namespace {

QByteArray Bytes(const QString& s) { return s.toUtf8(); }
QString Text(const std::string& s) { return textWith_stdstring(s); }

// A SOAP fault code without its namespace prefix ("SOAP-ENV:Receiver" is "Receiver").
QString LocalFaultCode(const QString& code) {
    const qsizetype colon = code.lastIndexOf(QLatin1Char(':'));
    return colon < 0 ? code : code.mid(colon + 1);
}

bool SameText(const QString& a, const char* b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; }

// "%d, %d" of the transport's actor text.
bool ReadDomainAndCode(const QString& actor, int& domain, int& code) {
    const QByteArray text = actor.toLatin1();
    return std::sscanf(text.constData(), "%d, %d", &domain, &code) == 2;
}

}  // namespace

ZYMServiceFailureVerdict::ZYMServiceFailureVerdict(ZYMGenericService& service) : service_(service) {}

// The transport failure a request ended with: the core writes "ClientError" faults with
// the code "Receiver"; "Sender" is accepted too, with or without a prefix.
bool ZYMServiceFailureVerdict::readTransportFailure(const DMSIF_FaultType& fault, int& domain, int& code) {
    const QString faultCode = LocalFaultCode(Text(fault.faultcode));
    if (!SameText(faultCode, "Receiver") && !SameText(faultCode, "Sender")) return false;
    if (Text(fault.faultstring) != QLatin1String("ClientError")) return false;
    return ReadDomainAndCode(Text(fault.faultactor), domain, code);
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateService(DMServiceRequestToken* token) {
    if (ZYMGenericServiceDelegate* delegate = service_.delegate())
        if (std::optional<int> v = delegate->shouldMethodFailureInvalidateService(service_, token)) return *v;
    LogMessage(kLogDebug, "shouldMethodFailureInvalidateService\n");
    int verdict = 0;
    if (token) {
        DMSIF_MethodOutputType* output = token->methodRef ? token->methodRef->GetOutput() : nullptr;
        if (!output) {
            LogMessage(kLogError, "shouldMethodFailureInvalidateService - No Response!\n");
            verdict = 1;
        } else if (!output->fault.faultcode.empty()) {
            verdict = shouldMethodFailureInvalidateServiceWithFaultCode(
                token, Text(output->fault.faultcode), Text(output->fault.faultstring), Text(output->fault.faultactor));
        } else if (!output->status.code.empty()) {
            verdict = shouldMethodFailureInvalidateServiceWithStatusCode(token, Text(output->status.code),
                                                                         Text(output->status.comment));
        } else {
            verdict = 1;
        }
    }
    LogMessage(kLogDebug, "shouldMethodFailureInvalidateService - invalidateWhat = %d\n", verdict);
    return verdict;
}

#define ZYM_ASK_DELEGATE(method, ...)                                                     \
    if (ZYMGenericServiceDelegate* delegate = service_.delegate())                        \
        if (std::optional<int> answer = delegate->method(service_, token, __VA_ARGS__)) { \
            return *answer;                                                               \
        }

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithFaultCode(DMServiceRequestToken* token,
                                                                                const QString& faultCode,
                                                                                const QString& faultString,
                                                                                const QString& faultActor) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithFaultCode, faultCode, faultString, faultActor)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withFaultCode:[%s] faultString:[%s] faultActor:[%s]\n",
               Bytes(faultCode).constData(), Bytes(faultString).constData(), Bytes(faultActor).constData());
    // A prefixed code ("SOAP-ENV:Server") is the same code.
    const QString code = LocalFaultCode(faultCode);
    if (SameText(code, "Sender"))
        return shouldMethodFailureInvalidateServiceWithSenderFault(token, faultString, faultActor);
    if (SameText(code, "Receiver"))
        return shouldMethodFailureInvalidateServiceWithReceiverFault(token, faultString, faultActor);
    if (SameText(code, "Server"))
        return shouldMethodFailureInvalidateServiceWithServerFault(token, faultString, faultActor);
    return 1;
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithStatusCode(DMServiceRequestToken* token,
                                                                                 const QString& statusCode,
                                                                                 const QString& statusComment) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithStatusCode, statusCode, statusComment)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withStatusCode:[%s] statusComment:[%s]\n",
               Bytes(statusCode).constData(), Bytes(statusComment).constData());
    return 0;
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithSenderFault(DMServiceRequestToken* token,
                                                                                  const QString& faultString,
                                                                                  const QString& faultActor) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithSenderFault, faultString, faultActor)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withSenderFault:[%s] faultActor:[%s]\n",
               Bytes(faultString).constData(), Bytes(faultActor).constData());
    if (SameText(faultString, "Assertion digest check failed") || SameText(faultString, "Assertion expired") ||
        SameText(faultString, "Assertion signature invalid"))
        return 2;
    return 1;
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithReceiverFault(DMServiceRequestToken* token,
                                                                                    const QString& faultString,
                                                                                    const QString& faultActor) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithReceiverFault, faultString, faultActor)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withReceiverFault:[%s] faultActor:[%s]\n",
               Bytes(faultString).constData(), Bytes(faultActor).constData());
    if (SameText(faultString, "ClientError")) {
        int domain = 0, code = 0;
        if (ReadDomainAndCode(faultActor, domain, code))
            return shouldMethodFailureInvalidateServiceWithErrorDomain(token, domain, code);
        return 1;
    }
    if (SameText(faultString, "Invalid authentication exchange") ||
        SameText(faultString, "Device authentication not supported") || SameText(faultString, "undefined error"))
        return 2;
    return 1;
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithServerFault(DMServiceRequestToken* token,
                                                                                  const QString& faultString,
                                                                                  const QString& faultActor) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithServerFault, faultString, faultActor)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withServerFault:[%s] faultActor:[%s]\n",
               Bytes(faultString).constData(), Bytes(faultActor).constData());
    return 1;
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithErrorDomain(DMServiceRequestToken* token,
                                                                                  int domain, int code) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithErrorDomain, domain, code)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withErrorDomain:[%d] errorCode:[%d]\n", domain, code);
    switch (domain) {
    case 1: return shouldMethodFailureInvalidateServiceWithPOSIXError(token, code);
    case 2: return shouldMethodFailureInvalidateServiceWithMacOSError(token, code);
    case 4: return shouldMethodFailureInvalidateServiceWithHTTPError(token, code);
    case 12: return shouldMethodFailureInvalidateServiceWithNetDBError(token, code);
    case 100: return shouldMethodFailureInvalidateServiceWithHTTPResponseCode(token, code);
    case 101: return shouldMethodFailureInvalidateServiceWithURLRequestError(token, code);
    default: return 1;
    }
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithPOSIXError(DMServiceRequestToken* token,
                                                                                 int code) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithPOSIXError, code)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withPOSIXError:[%d]\n", code);
    if (code >= 50 && code <= 65)
        LogMessage(kLogError, "shouldMethodFailureInvalidateService withPOSIXError:[%d] - network error\n", code);
    else
        LogMessage(kLogError, "shouldMethodFailureInvalidateService withPOSIXError:[%d] - other error\n", code);
    return 2;
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithMacOSError(DMServiceRequestToken* token,
                                                                                 int code) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithMacOSError, code)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withMacOSError:[%d]\n", code);
    return 1;
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithHTTPError(DMServiceRequestToken* token,
                                                                                int code) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithHTTPError, code)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withHTTPError:[%d]\n", code);
    return 1;
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithNetDBError(DMServiceRequestToken* token,
                                                                                 int code) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithNetDBError, code)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withNetDBError:[%d]\n", code);
    return 2;
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithHTTPResponseCode(DMServiceRequestToken* token,
                                                                                       int code) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithHTTPResponseCode, code)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withHTTPResponseCode:[%d]\n", code);
    switch (code) {
    case 401:
    case 403:
    case 404:
    case 405:
    case 408:
    case 500:
    case 503: return 1;
    default: return 0;
    }
}

int ZYMServiceFailureVerdict::shouldMethodFailureInvalidateServiceWithURLRequestError(DMServiceRequestToken* token,
                                                                                      int code) {
    ZYM_ASK_DELEGATE(shouldMethodFailureInvalidateServiceWithURLRequestError, code)
    LogMessage(kLogError, "shouldMethodFailureInvalidateService withURLRequestError:[%d]\n", code);
    return code == 1 ? 0 : 1;
}

#undef ZYM_ASK_DELEGATE
