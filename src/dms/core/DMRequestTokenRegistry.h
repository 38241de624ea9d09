#pragma once

// The requests one user's record owns, from RequestService to their final callback.
//
// Every request gets a serial when it is taken over. Listeners may end requests (and
// start new ones, whose token may take a freed token's address) from inside any
// callback, so a list walked across callbacks is first turned into a snapshot of
// (token, serial) pairs, and each pair is checked with IsLive before it is used.
// Main thread only.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "dms/core/DMSIFMethod.h"

class DMRequestTokenRegistry {
public:
    using Serial = std::uint64_t;
    struct Waiting {
        DMServiceRequestToken* token;
        Serial serial;
    };

    DMRequestTokenRegistry() = default;
    // Tokens still held are deleted without a callback.
    ~DMRequestTokenRegistry();
    DMRequestTokenRegistry(const DMRequestTokenRegistry&) = delete;
    DMRequestTokenRegistry& operator=(const DMRequestTokenRegistry&) = delete;

    // Takes the token over and returns it; null for a null token.
    DMServiceRequestToken* Adopt(std::unique_ptr<DMServiceRequestToken> token);
    // Read by address only: the token may have ended already.
    bool Owns(const DMServiceRequestToken* token) const { return mLive.count(token) != 0; }
    bool IsLive(const Waiting& waiting) const;
    Waiting Track(DMServiceRequestToken* token) const;
    // The tokens tracked in list order.
    template <typename Tokens>
    std::vector<Waiting> Snapshot(const Tokens& tokens) const {
        std::vector<Waiting> waiting;
        for (DMServiceRequestToken* token : tokens) {
            waiting.push_back(Track(token));
        }
        return waiting;
    }
    // Hands a finishing token back to be deleted after its final callback; null when
    // the token is not held.
    [[nodiscard]] std::unique_ptr<DMServiceRequestToken> Release(DMServiceRequestToken* token);

private:
    struct Entry {
        std::unique_ptr<DMServiceRequestToken> token;
        Serial serial;
    };
    std::map<const DMServiceRequestToken*, Entry> mLive;
    Serial mNextSerial = 0;
};
