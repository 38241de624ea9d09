// Sampling-rate index helpers over the generated rate table.
#pragma once

#include <cstdint>

namespace aactables {

// The index (0..11) whose band tables serve `rate` Hz: the first index whose lower bound
// the rate reaches. Any rate maps to some index; callers decide what rates they refuse.
int sampleRateIndexForRate(uint32_t rate);

// The rate of `index` (0..12), or 0 for reserved / escape indices (13..15) and others.
uint32_t sampleRateForIndex(int index);

// The row to use in the per-rate tables: index 12 (7350 Hz) uses index 11's rows.
inline int bandTableRow(int index) { return index >= 11 ? 11 : index; }

}  // namespace aactables
