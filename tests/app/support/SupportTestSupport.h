#pragma once

#include "platform/RunLoop.h"
#include "support/Env.h"

#include <chrono>
#include <functional>

namespace supporttest {

// Runs the thread's loop until `done`, at most the scaled bound.
inline bool RunUntil(const std::function<bool()>& done,
                     std::chrono::milliseconds bound = std::chrono::milliseconds(15000)) {
    return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(bound));
}

}  // namespace supporttest
