#include "codecs/aacplus/SbrPayload.h"

#include <cstring>

namespace aacplus {

namespace {
bool isSbrType(int32_t t) { return t == 13 || t == 14; }
}  // namespace

SbrExtensionPayload& SbrExtensionPayload::operator=(const SbrExtensionPayload& o) {
    if (this != &o) {
        count = o.count;
        element = o.element;
        type = o.type;
        size = o.size;
        std::memcpy(data, o.data, sizeof(data));
    }
    return *this;
}

int SbrExtensionPayload::Store(int32_t extensionType, int32_t cnt) {
    if (!isSbrType(extensionType) || cnt < 1 || cnt >= 1024 || count != 0 || !reader_) return 0;
    type = extensionType;
    size = cnt;
    data[0] = uint8_t(reader_->read(4));
    for (int32_t i = 1; i < cnt; ++i)
        data[i] = uint8_t(reader_->read(8));
    ++count;
    return 1;
}

void SbrExtensionPayload::StoreEmpty(int32_t elementKind, int32_t extensionType) {
    if (!isSbrType(extensionType) || count != 0) return;
    element = elementKind;
    type = extensionType;
    size = 0;
    ++count;
}

}  // namespace aacplus
