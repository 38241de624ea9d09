#include "codecs/aacplus/SbrConfig.h"

#include <cstring>

namespace aacplus {

float SbrDecoderConfig::getFloat(int i) const {
    float v;
    std::memcpy(&v, &words[i], sizeof v);
    return v;
}

void SbrDecoderConfig::setFloat(int i, float v) { std::memcpy(&words[i], &v, sizeof v); }

}  // namespace aacplus
