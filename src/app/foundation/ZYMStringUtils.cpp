#include "app/foundation/ZYMStringUtils.h"

#include "dms/core/DMSIFTypes.h"

#include <QStringDecoder>

#include <algorithm>

std::optional<QString> stringWith_stdstring(const std::string& bytes) {
    // read as a C string: the text ends at the first NUL
    const std::size_t length = std::min(bytes.size(), bytes.find('\0'));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(length)));
    if (decoder.hasError()) return std::nullopt;
    return text;
}

std::optional<QString> stringWith_LocString(const DMSIF_LocStringType& text) {
    return stringWith_stdstring(text.GetValue());
}

QString textWith_stdstring(const std::string& bytes) { return stringWith_stdstring(bytes).value_or(QString()); }

QString textWith_LocString(const DMSIF_LocStringType& text) { return stringWith_LocString(text).value_or(QString()); }
