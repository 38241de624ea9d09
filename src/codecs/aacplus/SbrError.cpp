#include "codecs/aacplus/SbrError.h"

namespace aacplus {

namespace {
#define ZYM_SBR_ERROR_RECORD \
    { "gencodeclib/errorhnd", 0, "genericError", "generic Error" }
const ErrorDescriptor kQmfError = ZYM_SBR_ERROR_RECORD;
const ErrorDescriptor kChannelError = ZYM_SBR_ERROR_RECORD;
const ErrorDescriptor kBandTablesError = ZYM_SBR_ERROR_RECORD;
const ErrorDescriptor kHfGeneratorError = ZYM_SBR_ERROR_RECORD;
const ErrorDescriptor kStartStopError = ZYM_SBR_ERROR_RECORD;
const ErrorDescriptor kHybridError = ZYM_SBR_ERROR_RECORD;
const ErrorDescriptor kPsError = ZYM_SBR_ERROR_RECORD;
#undef ZYM_SBR_ERROR_RECORD
}  // namespace

const ErrorDescriptor* sbrError(SbrUnit unit) {
    switch (unit) {
    case SbrUnit::Qmf: return &kQmfError;
    case SbrUnit::Channel: return &kChannelError;
    case SbrUnit::BandTables: return &kBandTablesError;
    case SbrUnit::HfGenerator: return &kHfGeneratorError;
    case SbrUnit::StartStop: return &kStartStopError;
    case SbrUnit::Hybrid: return &kHybridError;
    case SbrUnit::Ps: return &kPsError;
    }
    return &kChannelError;
}

}  // namespace aacplus
