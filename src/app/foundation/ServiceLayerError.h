#pragma once

// Programming errors of the application layer, and the guard that keeps any exception
// out of the Qt event loop.

#include <QString>

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

// A programming error of the service layer, carrying its exception name
// ("Implementation Error", "ProtocolError") and a reason.
class ServiceLayerError : public std::logic_error {
public:
    ServiceLayerError(std::string name, const std::string& reason) : std::logic_error(reason), name_(std::move(name)) {}
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

inline constexpr const char* kImplementationError = "Implementation Error";
inline constexpr const char* kProtocolError = "ProtocolError";

// A broken internal assumption (NSAssert's stand-in).
class AssertionFailure : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

[[noreturn]] void ThrowAssertionFailure(const char* condition, const char* message, const char* file, int line);

#define ZYM_ASSERT(condition, message) \
    ((condition) ? void(0) : ThrowAssertionFailure(#condition, message, __FILE__, __LINE__))

// The one line logged for an exception caught at `where`, and logging it.
QString DescribeCaughtException(const char* where, std::exception_ptr error);
void LogCaughtException(const char* where, std::exception_ptr error) noexcept;

// Every entry from the event loop (listener bridges, timers, UI actions) runs its work
// through Guarded: an exception is caught, logged as one line (NSLog) and the loop
// carries on. Answers whether `work` returned normally.
template <class Work>
bool Guarded(const char* where, Work&& work) noexcept {
    try {
        std::forward<Work>(work)();
        return true;
    } catch (...) {
        LogCaughtException(where, std::current_exception());
        return false;
    }
}
