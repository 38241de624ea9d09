#pragma once
// A keyring in memory whose prefetched read answers only when the test says so.

#include "app/signon/PasswordStore.h"

#include <functional>
#include <utility>

class SlowKeyring : public MemoryPasswordStore {
public:
    void prefetch(const QString&, const QString&) override { pending = true; }
    bool prefetchPending(const QString&, const QString&) override { return pending; }
    void whenPrefetchAnswered(const QString&, const QString&, std::function<void()> then) override {
        if (pending)
            waiting = std::move(then);
        else
            then();
    }
    // The keyring answers: the waiter, if any, runs now.
    void answer() {
        pending = false;
        if (waiting) std::exchange(waiting, {})();
    }

    bool pending = false;
    std::function<void()> waiting;
};
