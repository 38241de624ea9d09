#pragma once

// Why a sign-on failed: the reason handed to DMServiceRequestListener::AuthenticationFailed,
// worked out from the failed Authenticate call's input (its mechanism) and output (fault,
// SASL status code and comment).

#include <cstdint>

class DMSIF_MethodArgumentsType;
class DMSIF_MethodOutputType;

// One of the kDMAuthFailed* reasons of DMServicesProvider.h.
std::int32_t DMAuthenticationFailureReason(bool cancelled, DMSIF_MethodArgumentsType* input,
                                           DMSIF_MethodOutputType* output);
