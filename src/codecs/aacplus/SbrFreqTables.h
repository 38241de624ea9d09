// SBR frequency band tables: start/stop bands, master table, high/low resolution tables,
// noise-floor and limiter tables, all in QMF band indices of the 64-band grid.
#pragma once

#include <cstdint>

#include "codecs/aacplus/SbrBitstream.h"
#include "codecs/aacplus/SbrError.h"

namespace aacplus {

struct SbrBandTables {
    int32_t k0 = 0, k2 = 0;
    int32_t fMaster[65] = {};
    int32_t nMaster = 0;
    int32_t fHigh[49] = {};
    int32_t nHigh = 0;
    int32_t fLow[25] = {};
    int32_t nLow = 0;
    int32_t fNoise[6] = {};
    int32_t nNoise = 0;
    int32_t fLim[13] = {};  // relative to kx
    int32_t nLim = 0;
    int32_t kx = 0, m = 0;
    float prevHarmonics[kSbrMaxHighBands] = {};  // previous frame's sinusoid flags
};

struct SbrPatchInfo;

void sbrShellSort(int32_t* values, int count);
[[nodiscard]] const ErrorDescriptor* sbrComputeStartStop(int32_t fsSbr, int bands, int startFreq, int stopFreq,
                                                         int32_t& k0, int32_t& k2);
[[nodiscard]] const ErrorDescriptor* sbrComputeMasterTable(int32_t* fMaster, int32_t& nMaster, int32_t k0, int32_t k2,
                                                           int freqScale, int alterScale);
// Everything but the limiter table; the master table only on a header reset. Writes NQ into the header.
[[nodiscard]] const ErrorDescriptor* sbrComputeBandTables(SbrBandTables& t, SbrHeader& header, int bands,
                                                          int32_t fsSbr);
// patchStarts: target start band of every patch (absolute), count patches.
[[nodiscard]] const ErrorDescriptor* sbrComputeLimiterTable(int32_t* table, int32_t& count, const int32_t* fLow,
                                                            int nLow, const int32_t* patchStarts, int patches,
                                                            int limiterBands);

}  // namespace aacplus
