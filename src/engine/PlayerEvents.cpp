#include "engine/PlayerEvents.h"

#include <cstdlib>
#include <cstring>

#include "engine/RadioPlayer.h"

namespace Amp {

PlayStateChangeEvent::PlayStateChangeEvent(RadioPlayer* player, const std::string& url, int from, int to)
    : player_(player), url_(url), from_(from), to_(to) {}

void PlayStateChangeEvent::Fire() { player_->NotifyPlayStateChanged(url_, from_, to_); }

TrackProgressEvent::TrackProgressEvent(RadioPlayer* player, const std::string& url, float position, float trackLength,
                                       float bufferedTime)
    : player_(player), url_(url), position_(position), trackLength_(trackLength), bufferedTime_(bufferedTime) {}

void TrackProgressEvent::Fire() { player_->NotifyPlayPosition(url_, position_, trackLength_, bufferedTime_); }

bool TrackProgressEvent::SameReport(const LThreadEvent& queued) const {
    const auto* older = dynamic_cast<const TrackProgressEvent*>(&queued);
    return older && older->player_ == player_ && older->url_ == url_;
}

MetaDataEvent::MetaDataEvent(RadioPlayer* player, const std::string& url, const void* bytes, uint32_t length,
                             double trackStart)
    : player_(player), url_(url), bytes_(nullptr), length_(bytes ? length : 0), trackStart_(trackStart) {
    // malloc(0) may return null; one spare byte keeps an empty copy distinct from a failed one.
    bytes_ = static_cast<uint8_t*>(std::malloc(length_ > 0 ? length_ : 1));
    if (bytes_ && length_ > 0) std::memcpy(bytes_, bytes, length_);
}

MetaDataEvent::~MetaDataEvent() { std::free(bytes_); }

void MetaDataEvent::Fire() {
    if (bytes_) player_->NotifyMetaData(url_, bytes_, length_, trackStart_);
}

bool MetaDataEvent::SameReport(const LThreadEvent& queued) const {
    const auto* older = dynamic_cast<const MetaDataEvent*>(&queued);
    return older && older->player_ == player_ && older->url_ == url_;
}

PlayerErrorEvent::PlayerErrorEvent(RadioPlayer* player, const std::string& url, int domain, int code)
    : player_(player), url_(url), domain_(domain), code_(code) {}

void PlayerErrorEvent::Fire() { player_->NotifyPlayingError(url_, domain_, code_); }

}  // namespace Amp
