#include "app/foundation/ErrorDescription.h"

#include "dms/core/DMSIFMethod.h"

#include <charconv>
#include <cstdint>

QString ErrorDescription::localizedDescription() const {
    if (userInfo_) {
        const auto it = userInfo_->constFind(kLocalizedErrorDescriptionKey);
        if (it != userInfo_->constEnd()) return it.value().toString();
    }
    return QStringLiteral("Error: domain=") + domain_ + QStringLiteral(" code=") + QString::number(code_);
}

QDataStream& operator<<(QDataStream& out, const ErrorDescription& e) {
    out << qint32(e.code_) << e.domain_ << bool(e.userInfo_.has_value());
    if (e.userInfo_) out << *e.userInfo_;
    return out;
}

QDataStream& operator>>(QDataStream& in, ErrorDescription& e) {
    qint32 code = 0;
    QString domain;
    bool hasUserInfo = false;
    in >> code >> domain >> hasUserInfo;
    std::optional<QVariantMap> userInfo;
    if (hasUserInfo) {
        QVariantMap map;
        in >> map;
        userInfo = std::move(map);
    }
    if (in.status() != QDataStream::Ok) return in;  // a short or damaged stream changes nothing
    e.code_ = code;
    e.domain_ = std::move(domain);
    e.userInfo_ = std::move(userInfo);
    return in;
}

namespace {

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// One "%d": blanks, a sign, digits; false when nothing fits an int.
bool ScanInt(const char*& p, const char* end, int& out) {
    while (p != end && IsCSpace(*p))
        ++p;
    const char* start = p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    std::int64_t magnitude = 0;
    const auto [ptr, ec] = std::from_chars(p, end, magnitude);
    if (ptr == p || ec != std::errc() || magnitude < 0) {
        p = start;
        return false;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) {
        p = start;
        return false;
    }
    out = int(value);
    p = ptr;
    return true;
}

}  // namespace

void ParseFaultActor(const std::string& actor, int& domain, int& code) {
    domain = 0;
    code = 0;
    const char* p = actor.data();
    const char* end = p + actor.size();
    if (!ScanInt(p, end, domain)) return;
    if (p == end || *p != ',') return;
    ++p;
    ScanInt(p, end, code);  // the blank of the format matches any blanks, which %d skips anyway
}

ZYMServiceErrorDescription::ZYMServiceErrorDescription(const DMServiceRequestToken& request,
                                                       const std::optional<QVariantMap>& userInfo)
    : ErrorDescription(kSIFErrorDomain, -1, userInfo) {
    if (request.methodRef) methodName_ = QString::fromStdString(request.methodRef->GetMethodName());
    statusCode_ = QString::fromStdString(request.status.GetCode());
    statusComment_ = QString::fromStdString(request.status.GetComment());
    faultCode_ = QString::fromStdString(request.fault.GetFaultCode());
    faultString_ = QString::fromStdString(request.fault.GetFaultString());
    faultActor_ = QString::fromStdString(request.fault.GetFaultActor());
    if (!request.fault.GetFaultActor().empty() && request.fault.GetFaultString() == "ClientError")
        ParseFaultActor(request.fault.GetFaultActor(), faultErrorDomain_, faultErrorCode_);
}

QString ZYMServiceErrorDescription::description() const {
    // "%@" of nil reads "(null)"; only the method name can be nil.
    auto text = [](const QString& s) { return s; };
    const QString method = methodName_.isNull() ? QStringLiteral("(null)") : methodName_;
    return QStringLiteral("ZYMServiceErrorDescription 0x") + QString::number(quintptr(this), 16) +
           QStringLiteral("\n  method name ") + method + QStringLiteral("\n  status code ") + text(statusCode_) +
           QStringLiteral("\n  status comment ") + text(statusComment_) + QStringLiteral("\n  fault code ") +
           text(faultCode_) + QStringLiteral("\n  fault string ") + text(faultString_) +
           QStringLiteral("\n  fault actor ") + text(faultActor_) + QStringLiteral("\n  fault error domain ") +
           QString::number(faultErrorDomain_) + QStringLiteral("\n  fault error code ") +
           QString::number(faultErrorCode_);
}
