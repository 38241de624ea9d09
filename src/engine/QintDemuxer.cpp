#include "engine/QintDemuxer.h"

#include <sys/time.h>

#include <algorithm>
#include <vector>

#include "engine/DecoderWrapper.h"
#include "runtime/LogMessage.h"
#include "engine/QintPacket.h"
#include "engine/player_exception.h"

namespace Amp {

double GetTimeOfDaySeconds() {
    timeval tv{};
    if (gettimeofday(&tv, nullptr) != 0) return 0;
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

QintDemuxer::QintDemuxer(QintDemuxerOwner* owner) : owner_(owner), maxPayload_(Qint::kDefaultMaxPayload) {}

QintDemuxer::~QintDemuxer() = default;

void QintDemuxer::SetMaxMessageSize(uint32_t bytes) { maxPayload_ = std::min(bytes, Qint::kMaxPayloadLimit); }

void QintDemuxer::CreateInputBuffer() {
    ring_ = std::make_unique<RingBuffer>(this, size_t((maxPayload_ + 22) / 16) * 16);
}

int QintDemuxer::Fill(void* buffer, unsigned length) {
    const int result = source_->Read(buffer, length);
    if (owner_->IsOutputStopped()) throw stream_stopped();
    return result;
}

void QintDemuxer::ReadExactly(void* destination, size_t n) {
    // Inside a packet the data must go on; its end here means the stream was cut.
    if (ring_->Read(destination, n) != n) throw player_exception(EngineError::kReadStreamEnded);
}

unsigned QintDemuxer::PacketClassAndType() const { return Qint::ReadBigEndian16(header_ + 2); }

int QintDemuxer::Read(void* buffer, unsigned length) {
    if (!ring_) CreateInputBuffer();
    auto* out = static_cast<uint8_t*>(buffer);
    unsigned copied = 0;
    // Bytes already placed in this call are handed out before the end is reported.
    auto endOfData = [&]() -> int {
        sourceEnded_ = true;
        return copied > 0 ? int(copied) : -1;
    };
    if (sourceEnded_) return -1;

    while (copied < length) {
        switch (state_) {
        case kHunting: {
            uint8_t byte = 0;
            do {
                if (!ring_->ReadByte(byte)) return endOfData();
            } while (byte != Qint::kSync);
            header_[0] = byte;
            state_ = kHeader;
            break;
        }
        case kHeader:
            ReadExactly(header_ + 1, Qint::kHeaderSize - 1);
            payloadLength_ = Qint::ReadBigEndian16(header_ + 4);
            state_ = payloadLength_ > maxPayload_ ? kHunting : kTrailer;
            break;
        case kTrailer: {
            payloadConsumed_ = 0;
            uint8_t trailer = 0;
            if (!ring_->EnsureBytes(size_t(payloadLength_) + 1) || !ring_->PeekAt(payloadLength_, trailer))
                return endOfData();
            if (trailer != 0) {
                LogMessage(1, "qint resync: packet is missing trailing null byte\n");
                state_ = kHunting;
                break;
            }
            const Qint::Classification kind = Qint::ClassifyPacket(uint16_t(PacketClassAndType()));
            payloadIsMetadata_ = kind.kind == Qint::Kind::Metadata;
            if (!payloadIsMetadata_) {
                if (!decoder_) throw player_exception(EngineError::kNoDecoder);
                if (decoder_->SwitchDecoder(kind.codec)) {
                    state_ = kSwitched;
                    return int(copied);
                }
            } else {
                payloadConsumed_ += HandleMetadataPacket();
            }
            state_ = kPayload;
            break;
        }
        case kPayload: {
            if (!payloadIsMetadata_) {
                const unsigned n = std::min<unsigned>(payloadLength_ - payloadConsumed_, length - copied);
                ReadExactly(out + copied, n);
                copied += n;
                payloadConsumed_ += n;
            }
            if (payloadConsumed_ >= payloadLength_) {
                uint8_t trailer = 0;
                ReadExactly(&trailer, 1);
                state_ = kHunting;
            }
            break;
        }
        case kSwitched:
            // The decoder that was current until the switch sees the end of its input; the
            // switching packet's payload goes to the new one on the next read.
            state_ = kPayload;
            return -1;
        }
    }
    return int(copied);
}

uint32_t QintDemuxer::HandleMetadataPacket() {
    const double trackStart = GetTimeOfDaySeconds() + owner_->GetSecondsBuffered();
    const unsigned cls = Qint::PacketClass(uint16_t(PacketClassAndType()));
    const unsigned type = Qint::PacketType(uint16_t(PacketClassAndType()));

    if (payloadLength_ <= Qint::kMetadataSubHeaderSize) {
        // Too short for a sub-header: skip it without reading into the next packet.
        std::vector<uint8_t> skip(payloadLength_);
        ReadExactly(skip.data(), skip.size());
        LogMessage(0, "Metadata packet (%d,%d): BAD Packet Length: %d\n", int(cls), int(type),
                   payloadLength_ == Qint::kMetadataSubHeaderSize ? 0 : int(payloadLength_));
        return payloadLength_;
    }

    uint8_t sub[Qint::kMetadataSubHeaderSize];
    ReadExactly(sub, sizeof sub);
    const uint16_t id = Qint::ReadBigEndian16(sub);
    const uint16_t span = Qint::ReadBigEndian16(sub + 2);
    const uint16_t index = Qint::ReadBigEndian16(sub + 4);

    const uint32_t dataLength = payloadLength_ - uint32_t(Qint::kMetadataSubHeaderSize);
    std::vector<char> data(dataLength + 1);
    ReadExactly(data.data(), dataLength);
    data[dataLength] = '\0';

    if ((cls == 3 || cls == 4) && type == 0x901) {
        if (!setText_.empty()) {
            const bool next = id == setId_ && index == uint16_t(setLastIndex_ + 1) &&
                              setText_.size() + dataLength <= Qint::kMaxMetadataSetBytes;
            if (next) {
                setText_.append(data.data(), dataLength);
                setLastIndex_ = index;
                if (index == setSpan_) {
                    Deliver(setText_, trackStart);
                    setText_.clear();
                }
            } else {
                LogMessage(0, "Warning: outputing incomplete metatdata set.\n");
                Deliver(setText_, trackStart);
                setText_.clear();
            }
        } else if (span <= 1) {
            owner_->MetaDataReceived(data.data(), dataLength, trackStart);
        } else {
            setId_ = id;
            setSpan_ = span;
            setLastIndex_ = index;
            setText_.assign(data.data(), dataLength);
        }
    } else if ((cls == 3 || cls == 4) && type == 1) {
        std::string xml;
        if (Qint::TitleToXml(data.data(), dataLength, xml)) Deliver(xml, trackStart);
    } else if (cls == 5 && type == 1) {
        HandleTrackProgressPacket(reinterpret_cast<const uint8_t*>(data.data()), dataLength);
    }
    return payloadLength_;
}

void QintDemuxer::HandleTrackProgressPacket(const uint8_t* data, uint32_t length) {
    if (length <= 7 || averageBitrate_ == 0) return;
    const double trackLength = Qint::BytesToSeconds(Qint::ReadBigEndian32(data), averageBitrate_);
    const double position = Qint::BytesToSeconds(Qint::ReadBigEndian32(data + 4), averageBitrate_);
    owner_->TrackProgress(float(position), float(trackLength), owner_->GetSecondsBuffered());
}

void QintDemuxer::Deliver(const std::string& text, double trackStart) {
    owner_->MetaDataReceived(text.data(), uint32_t(text.size()), trackStart);
}

}  // namespace Amp
