#pragma once

#include <cstdint>
#include <string>

#include "runtime/LThreadEvent.h"

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

// Only the newest position of a stream matters: it replaces one still queued.
class TrackProgressEvent : public LThreadEvent {
public:
    TrackProgressEvent(RadioPlayer* player, const std::string& url, float position, float trackLength,
                       float bufferedTime);
    void Fire() override;
    size_t KeepNewest() const override { return 1; }
    bool SameReport(const LThreadEvent& queued) const override;

private:
    RadioPlayer* player_;
    std::string url_;
    float position_;
    float trackLength_;
    float bufferedTime_;
};

// Carries its own copy of the bytes; when the copy could not be allocated the event
// fires nothing. At most kKeepNewest documents of a stream wait in the queue; an older one
// is dropped unfired. A listener keeps one next-track document, which each new document
// replaces, so of a backlog only the newest is ever used; the few kept cover documents
// that come close together in any real stream.
class MetaDataEvent : public LThreadEvent {
public:
    MetaDataEvent(RadioPlayer* player, const std::string& url, const void* bytes, uint32_t length, double trackStart);
    ~MetaDataEvent() override;
    MetaDataEvent(const MetaDataEvent&) = delete;
    MetaDataEvent& operator=(const MetaDataEvent&) = delete;
    void Fire() override;
    static constexpr size_t kKeepNewest = 4;
    size_t KeepNewest() const override { return kKeepNewest; }
    bool SameReport(const LThreadEvent& queued) const override;

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
