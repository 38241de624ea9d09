#pragma once

// The failure verdict of a generic service: whether a failed call of the core's service
// object leaves the service alone (0), drops this service for the user so that the next
// request discovers it again (1), or resets the user's whole sign-on (2). Each question is
// first offered to the service's delegate; an answer from it decides that question alone.
// Also reads the transport failure out of a fault, as the core writes it. Main thread only.

#include <QString>

class DMSIF_FaultType;
class DMServiceRequestToken;
class ZYMGenericService;

class ZYMServiceFailureVerdict {
public:
    // The service is the one the delegate is told of; it owns the verdict.
    explicit ZYMServiceFailureVerdict(ZYMGenericService& service);

    // The verdict on a failed call (token: the call's; null gives 0).
    int shouldMethodFailureInvalidateService(DMServiceRequestToken* token);

    // The verdict's questions.
    int shouldMethodFailureInvalidateServiceWithFaultCode(DMServiceRequestToken* token, const QString& faultCode,
                                                          const QString& faultString, const QString& faultActor);
    int shouldMethodFailureInvalidateServiceWithStatusCode(DMServiceRequestToken* token, const QString& statusCode,
                                                           const QString& statusComment);
    int shouldMethodFailureInvalidateServiceWithSenderFault(DMServiceRequestToken* token, const QString& faultString,
                                                            const QString& faultActor);
    int shouldMethodFailureInvalidateServiceWithReceiverFault(DMServiceRequestToken* token, const QString& faultString,
                                                              const QString& faultActor);
    int shouldMethodFailureInvalidateServiceWithServerFault(DMServiceRequestToken* token, const QString& faultString,
                                                            const QString& faultActor);
    int shouldMethodFailureInvalidateServiceWithErrorDomain(DMServiceRequestToken* token, int domain, int code);
    int shouldMethodFailureInvalidateServiceWithPOSIXError(DMServiceRequestToken* token, int code);
    int shouldMethodFailureInvalidateServiceWithMacOSError(DMServiceRequestToken* token, int code);
    int shouldMethodFailureInvalidateServiceWithHTTPError(DMServiceRequestToken* token, int code);
    int shouldMethodFailureInvalidateServiceWithNetDBError(DMServiceRequestToken* token, int code);
    int shouldMethodFailureInvalidateServiceWithHTTPResponseCode(DMServiceRequestToken* token, int code);
    int shouldMethodFailureInvalidateServiceWithURLRequestError(DMServiceRequestToken* token, int code);

    // The domain and code of a transport failure: the core writes "ClientError" faults
    // with the code "Receiver" and "%d, %d" in the actor; "Sender" is accepted too, with
    // or without a prefix. False when the fault is none.
    static bool readTransportFailure(const DMSIF_FaultType& fault, int& domain, int& code);

private:
    ZYMGenericService& service_;
};
