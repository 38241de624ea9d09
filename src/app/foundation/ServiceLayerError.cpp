#include "app/foundation/ServiceLayerError.h"

#include "app/foundation/NSLog.h"

#include <cstdio>

void ThrowAssertionFailure(const char* condition, const char* message, const char* file, int line) {
    throw AssertionFailure(std::string(message) + " (" + condition + ", " + file + ":" + std::to_string(line) + ")");
}

QString DescribeCaughtException(const char* where, std::exception_ptr error) {
    QString text = QString::fromUtf8(where) + QStringLiteral(": ");
    try {
        std::rethrow_exception(error);
    } catch (const ServiceLayerError& e) {
        text += QString::fromStdString(e.name()) + QStringLiteral(": ") + QString::fromUtf8(e.what());
    } catch (const AssertionFailure& e) {
        text += QStringLiteral("assertion failed: ") + QString::fromUtf8(e.what());
    } catch (const std::exception& e) {
        text += QStringLiteral("exception: ") + QString::fromUtf8(e.what());
    } catch (...) {
        text += QStringLiteral("unknown exception");
    }
    return text;
}

void LogCaughtException(const char* where, std::exception_ptr error) noexcept {
    try {
        NSLog(DescribeCaughtException(where, error));
    } catch (...) {
        // Out of memory while logging: the line is lost, the loop still goes on.
        std::fputs("exception while logging an exception\n", stderr);
    }
}
