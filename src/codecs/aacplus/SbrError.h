// Failure result of the SBR, QMF, band-table, HF-generator, envelope-adjuster and
// parametric-stereo functions: a pointer to a static record, null meaning success.
// Every unit has a record of its own with the same contents; callers test only for null.
#pragma once

namespace aacplus {

struct ErrorDescriptor {
    const char* file;
    int line;
    const char* name;
    const char* text;
};

enum class SbrUnit { Qmf, Channel, BandTables, HfGenerator, StartStop, Hybrid, Ps };

const ErrorDescriptor* sbrError(SbrUnit unit);

}  // namespace aacplus
