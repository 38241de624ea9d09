#include "dms/core/DMRequestTokenRegistry.h"

DMRequestTokenRegistry::~DMRequestTokenRegistry() = default;

DMServiceRequestToken* DMRequestTokenRegistry::Adopt(std::unique_ptr<DMServiceRequestToken> token) {
    DMServiceRequestToken* raw = token.get();
    if (raw) {
        mLive[raw] = Entry{std::move(token), ++mNextSerial};
    }
    return raw;
}

bool DMRequestTokenRegistry::IsLive(const Waiting& waiting) const {
    auto found = mLive.find(waiting.token);
    return found != mLive.end() && found->second.serial == waiting.serial;
}

DMRequestTokenRegistry::Waiting DMRequestTokenRegistry::Track(DMServiceRequestToken* token) const {
    auto found = mLive.find(token);
    return Waiting{token, found == mLive.end() ? 0 : found->second.serial};
}

std::unique_ptr<DMServiceRequestToken> DMRequestTokenRegistry::Release(DMServiceRequestToken* token) {
    auto found = mLive.find(token);
    if (found == mLive.end()) {
        return nullptr;
    }
    std::unique_ptr<DMServiceRequestToken> owned = std::move(found->second.token);
    mLive.erase(found);
    return owned;
}
