#pragma once

#include <cstdint>
#include <string>

#include "engine/base/LThreadEvent.h"

namespace Amp {

class RadioPlayer;

// Events a stream posts to its player's queue; each is made on the posting thread and
// fired (calling the player's matching Notify operation) on the player's thread.

class PlayStateChangeEvent : public LThreadEvent {
public:
    PlayStateChangeEvent(RadioPlayer* player, const std::string& url, int from, int to);
    void Fire() override;

private:
    RadioPlayer* player_;
    std::string url_;
    int from_;
    int to_;
};

class TrackProgressEvent : public LThreadEvent {
public:
    TrackProgressEvent(RadioPlayer* player, const std::string& url, float position, float trackLength,
                       float bufferedTime);
    void Fire() override;

private:
    RadioPlayer* player_;
    std::string url_;
    float position_;
    float trackLength_;
    float bufferedTime_;
};

// Carries its own copy of the bytes; when the copy could not be allocated the event
// fires nothing.
class MetaDataEvent : public LThreadEvent {
public:
    MetaDataEvent(RadioPlayer* player, const std::string& url, const void* bytes, uint32_t length, double trackStart);
    ~MetaDataEvent() override;
    MetaDataEvent(const MetaDataEvent&) = delete;
    MetaDataEvent& operator=(const MetaDataEvent&) = delete;
    void Fire() override;

private:
    RadioPlayer* player_;
    std::string url_;
    uint8_t* bytes_;
    uint32_t length_;
    double trackStart_;
};

class PlayerErrorEvent : public LThreadEvent {
public:
    PlayerErrorEvent(RadioPlayer* player, const std::string& url, int domain, int code);
    void Fire() override;

private:
    RadioPlayer* player_;
    std::string url_;
    int domain_;
    int code_;
};

}  // namespace Amp
