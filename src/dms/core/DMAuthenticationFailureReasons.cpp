#include "dms/core/DMAuthenticationFailureReasons.h"

#include "dms/core/DMAuthenticationTypes.h"
#include "dms/core/DMServicesProvider.h"

namespace {

// The reason of a rejected credential depends on what was asked for.
constexpr std::int32_t kByMechanism = 0;

struct AbortComment {
    const char* text;
    bool prefix;  // the comment and the text agree as far as the shorter goes
    std::int32_t reason;
};

// Comments of a status "abort", in the order they are tested; the first match decides.
// The rows giving kDMAuthFailedOther are kept because their place in the order matters
// to the prefix row at the end (an empty comment is a beginning of its text).
constexpr AbortComment kAbortComments[] = {
    {"Invalid Credentials", false, kByMechanism},
    {"user authentication failed", false, kByMechanism},
    {"Mechanism not supplied", false, kDMAuthFailedOther},
    {"invalid data on initiation", false, kDMAuthFailedOther},
    {"unsupported mechanism", false, kDMAuthFailedOther},
    {"mismatching mechanisms", false, kDMAuthFailedOther},
    {"Failed to extract credentials from request", false, kDMAuthFailedOther},
    {"Bad AdvisoryAuthID or Data value", false, kDMAuthFailedOther},
    {"no password supplied before securid", false, kDMAuthFailedNoPasswordBeforeSecurID},
    {"no data supplied with securid exchange", false, kDMAuthFailedNoSecurIDData},
    {"undefined authentication error", false, kDMAuthFailedOther},
    {"server misconfigured", false, kDMAuthFailedOther},
    {"If you see this message", true, kDMAuthFailedServerMessage},
};

struct RejectedMechanism {
    const char* mechanism;  // compared exactly
    std::int32_t reason;
};

constexpr RejectedMechanism kRejectedMechanisms[] = {
    {"PLAIN", kDMAuthFailedWrongPassword},
    {"SECURID", kDMAuthFailedWrongSecurID},
};

// Fault codes that end the judgement before the status is read.
constexpr const char* kFailingFaultCodes[] = {"Receiver", "Sender"};

std::int32_t RejectedCredentialReason(const std::string& mechanism) {
    for (const RejectedMechanism& row : kRejectedMechanisms) {
        if (mechanism == row.mechanism) {
            return row.reason;
        }
    }
    return kDMAuthFailedOther;
}

}  // namespace

std::int32_t DMAuthenticationFailureReason(bool cancelled, DMSIF_MethodArgumentsType* input,
                                           DMSIF_MethodOutputType* output) {
    if (cancelled) {
        return kDMAuthFailedCancelled;
    }
    auto* request = dynamic_cast<DMAuthentication_Authenticate_InputType*>(input);
    auto* response = dynamic_cast<DMAuthentication_Authenticate_OutputType*>(output);
    if (!request || !response) {
        return kDMAuthFailedOther;
    }
    for (const char* code : kFailingFaultCodes) {
        if (DMStringEqual(response->fault.GetFaultCode(), code, false)) {
            return kDMAuthFailedOther;
        }
    }
    if (!DMStringEqual(response->status.GetCode(), "abort", false)) {
        return kDMAuthFailedOther;
    }
    const std::string& comment = response->status.GetComment();
    for (const AbortComment& row : kAbortComments) {
        const bool matches =
            row.prefix ? DMStringPrefixEqual(comment, row.text, false) : DMStringEqual(comment, row.text, false);
        if (matches) {
            return row.reason == kByMechanism ? RejectedCredentialReason(request->GetMechanism()) : row.reason;
        }
    }
    return kDMAuthFailedOther;
}
