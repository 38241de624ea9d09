#include "codecs/aaccore/Quant.h"

namespace aaccore {

QuantTables::QuantTables() {
    for (int i = 0; i <= kMaxQuant; ++i)
        pow43[i] = float(std::pow(double(i), 4.0 / 3.0));
    for (int i = 0; i < 256; ++i)
        scale[i] = float(std::exp2(0.25 * (i - 100)));
}

const QuantTables& quantTables() {
    static const QuantTables t;
    return t;
}

}  // namespace aaccore
