#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/DataSource.h"
#include "engine/RingBuffer.h"

namespace Amp {

class DecoderWrapper;

// What the demultiplexer needs of the stream that owns it.
class QintDemuxerOwner {
public:
    virtual bool IsOutputStopped() = 0;
    virtual float GetSecondsBuffered() = 0;
    virtual void MetaDataReceived(const char* bytes, uint32_t length, double trackStart) = 0;
    virtual void TrackProgress(float position, float trackLength, float bufferedTime) = 0;

protected:
    ~QintDemuxerOwner() = default;
};

// Splits a Quintrel packet stream into one continuous audio byte stream for the decoder
// wrapper, switching codecs as the packets change kind, and turns metadata packets into
// metadata texts and track progress for the owner.
class QintDemuxer : public DataSource, public DataSourceClient, public BufferFiller {
public:
    explicit QintDemuxer(QintDemuxerOwner* owner);
    virtual ~QintDemuxer();

    int Read(void* buffer, unsigned length) override;
    void SetSource(DataSource* source) override { source_ = source; }
    DataSource* GetSource() override { return source_; }
    int Fill(void* buffer, unsigned length) override;

    void SetDecoder(DecoderWrapper* decoder) { decoder_ = decoder; }
    void SetMaxMessageSize(uint32_t bytes);
    void SetAverageBitrate(uint32_t bitsPerSecond) { averageBitrate_ = bitsPerSecond; }

private:
    enum State { kHunting = 0, kHeader = 1, kTrailer = 2, kPayload = 3, kSwitched = 4 };

    void CreateInputBuffer();
    uint32_t HandleMetadataPacket();
    void HandleTrackProgressPacket(const uint8_t* data, uint32_t length);
    void Deliver(const std::string& text, double trackStart);
    void ReadExactly(void* destination, size_t n);
    unsigned PacketClassAndType() const;

    QintDemuxerOwner* owner_;
    DecoderWrapper* decoder_ = nullptr;
    DataSource* source_ = nullptr;
    int state_ = kHunting;
    uint8_t header_[6] = {};
    uint32_t maxPayload_;
    uint32_t averageBitrate_ = 0;
    std::unique_ptr<RingBuffer> ring_;
    uint32_t payloadConsumed_ = 0;
    uint16_t payloadLength_ = 0;
    bool payloadIsMetadata_ = false;
    bool sourceEnded_ = false;
    std::string setText_;
    uint16_t setId_ = 0;
    uint16_t setSpan_ = 0;
    uint16_t setLastIndex_ = 0;
};

// Time of day in seconds since 1970 with microsecond resolution; 0 when the clock fails.
double GetTimeOfDaySeconds();

}  // namespace Amp
