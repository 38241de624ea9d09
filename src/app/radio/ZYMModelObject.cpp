#include "app/radio/ZYMModelObject.h"

#include <charconv>
#include <cstdint>

QString ZYMAddressText(const void* address) {
    char digits[2 * sizeof(std::uintptr_t) + 1];
    const auto end = std::to_chars(digits, digits + sizeof digits, reinterpret_cast<std::uintptr_t>(address), 16).ptr;
    return QStringLiteral("0x") + QString::fromLatin1(digits, end - digits);
}

QString ZYMDefaultDescription(const char* className, const void* address) {
    return u'<' + QString::fromLatin1(className) + QStringLiteral(": ") + ZYMAddressText(address) + u'>';
}
