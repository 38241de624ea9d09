#include "codecs/vlb/VlbBitStream.h"

#include <cstring>

#include "codecs/aaccore/Crc16.h"
#include "codecs/vlb/VlbIO.h"

namespace {

constexpr uint32_t kBitMask = CBitBuffer::kRingBits - 1;

// ADTS header bits up to and including number_of_raw_data_blocks_in_frame.
constexpr unsigned kHeaderBits = 56;

}  // namespace

CBitBuffer::CBitBuffer() { std::memset(ring_, 0, sizeof ring_); }

void CBitBuffer::ByteAlign() {
    unsigned rest = bitsSinceAlign_ % 8;
    if (rest != 0) Get(8 - rest);
    bitsSinceAlign_ = 0;
}

void CBitBuffer::PushBack(unsigned bits) {
    readPosition_ = (readPosition_ - bits) & kBitMask;
    bitsAvailable_ += static_cast<int32_t>(bits);
    bitsSinceAlign_ -= bits;
}

unsigned CBitBuffer::Get(unsigned bits) {
    if (bits == 0) return 0;
    uint32_t byteIndex = (readPosition_ >> 3) & ~1u;
    uint32_t next = (byteIndex + 2) & (kRingBytes - 1);
    uint32_t word = (uint32_t(ring_[byteIndex]) << 24) | (uint32_t(ring_[byteIndex + 1]) << 16) |
                    (uint32_t(ring_[next]) << 8) | ring_[next + 1];
    uint32_t value = (word << (readPosition_ & 15)) >> (32 - bits);
    readPosition_ = (readPosition_ + bits) & kBitMask;
    bitsSinceAlign_ += bits;
    bitsAvailable_ -= static_cast<int32_t>(bits);
    return value;
}

void CBitBuffer::SetPositionMarker(unsigned kind) {
    switch (kind) {
    case 4: ++recordIndex_; [[fallthrough]];
    case 0:
    case 2:
        // A frame with more elements than records keeps its first regions; the rest is not
        // covered, never written past the table.
        if (recordIndex_ < kMaxCrcRecords)
            records_[recordIndex_] = {kind, 0, bitsAvailable_, bitsSinceAlign_, readPosition_};
        break;
    case 1:
    case 3:
        if (recordIndex_ < kMaxCrcRecords) {
            CrcRecord& r = records_[recordIndex_];
            r.lengthBits = (readPosition_ - r.readPosition) & kBitMask;
            if (r.kind == 4 && recordIndex_ > 0) {
                CrcRecord& before = records_[recordIndex_ - 1];
                before.lengthBits = (readPosition_ - before.readPosition) & kBitMask;
            }
        }
        if (recordIndex_ < kMaxCrcRecords) ++recordIndex_;
        break;
    default: break;
    }
}

void CBitBuffer::Feed(const uint8_t* staging, uint32_t fillSize, uint32_t& bytesLeft) {
    int32_t room = (static_cast<int32_t>(kRingBits) - bitsAvailable_) / 8;
    if (room < 0) room = 0;
    uint32_t count = bytesLeft < static_cast<uint32_t>(room) ? bytesLeft : static_cast<uint32_t>(room);
    const uint8_t* from = staging + (fillSize - bytesLeft);
    for (uint32_t i = 0; i < count; ++i) {
        ring_[writeIndex_] = from[i];
        writeIndex_ = (writeIndex_ + 1) & (kRingBytes - 1);
    }
    bitsAvailable_ += static_cast<int32_t>(count * 8);
    bytesLeft -= count;
    crcWord_ = 0xFFFFFFFF;
    recordIndex_ = 0;
}

void CBitBuffer::DiscardOverrun() {
    if (bitsAvailable_ >= 0) return;
    readPosition_ = (writeIndex_ * 8) & kBitMask;
    bitsAvailable_ = 0;
    bitsSinceAlign_ = 0;
}

bool CBitBuffer::ReadAdtsHeader(AacStreamInfo& info) {
    ByteAlign();
    if (headerRead_) {
        headerRead_ = false;
        return true;
    }
    for (;;) {
        SetPositionMarker(2);
        if (bitsAvailable_ <= 55) {
            if (endOfInput_) throw EEndOfFile();
            return false;
        }
        unsigned sync = Get(16);
        if ((sync & 0xFFFE) != 0xFFF8) {
            PushBack(16);
            for (;;) {
                if (bitsAvailable_ < 8) {
                    if (endOfInput_) throw EEndOfFile();
                    throw EInputBufferError();
                }
                unsigned byte = Get(8);
                ++skipped_;
                if (byte != 0xFF) continue;
                if (bitsAvailable_ < 8) {
                    // The sync word's second byte has not arrived: keep the 0xFF for the
                    // next call instead of throwing a live stream's next frame away.
                    PushBack(8);
                    --skipped_;
                    if (endOfInput_) throw EEndOfFile();
                    return false;
                }
                PushBack(8);
                unsigned word = Get(16);
                PushBack(16);
                if ((word & 0xFFFE) == 0xFFF8) {
                    --skipped_;
                    break;
                }
                Get(8);
            }
            bitsSinceAlign_ = 0;
            continue;
        }
        PushBack(4);
        AdtsHeader h = header_;
        h.id = Get(1);
        h.layer = Get(2);
        h.protectionAbsent = Get(1);
        h.profile = Get(2);
        h.samplingFrequencyIndex = Get(4);
        h.privateBit = Get(1);
        h.channelConfiguration = Get(3);
        h.originalCopy = Get(1);
        h.home = Get(1);
        h.copyrightIdentificationBit = Get(1);
        h.copyrightIdentificationStart = Get(1);
        h.aacFrameLength = Get(13);
        h.adtsBufferFullness = Get(11);
        h.numberOfRawDataBlocks = Get(2);

        // A length shorter than the header itself can never be completed; take the sync
        // word for a false one and search on after it.
        uint32_t headerBytes = h.protectionAbsent ? 7 : 9;
        if (h.aacFrameLength < headerBytes) {
            PushBack(kHeaderBits);
            Get(8);
            ++skipped_;
            bitsSinceAlign_ = 0;
            continue;
        }
        // The frame must be buffered, and, unless the input has ended or the ring is full,
        // so must the next frame's two sync bytes, which the caller checks after parsing.
        int32_t need = static_cast<int32_t>(h.aacFrameLength - 7) * 8;
        bool ringFull = bitsAvailable_ + static_cast<int32_t>(kHeaderBits) >= static_cast<int32_t>(kRingBits) - 8;
        bool complete = bitsAvailable_ >= need + 16 || (bitsAvailable_ >= need && (endOfInput_ || ringFull));
        if (!complete) {
            if (endOfInput_) throw EEndOfFile();
            PushBack(kHeaderBits);
            return false;
        }
        uint32_t previousFullness = header_.previousBufferFullness;
        uint32_t previousLength = header_.previousFrameLength;
        header_ = h;
        header_.previousBufferFullness = previousFullness;
        header_.previousFrameLength = previousLength;
        SetPositionMarker(3);
        if (h.protectionAbsent == 0) crcWord_ = Get(16);
        ByteAlign();
        info.protectionAbsent = h.protectionAbsent;
        info.originalCopy = h.originalCopy;
        info.home = h.home;
        info.frameLength = h.aacFrameLength;
        UpdateBitRate(info);
        info.samplingIndex = h.samplingFrequencyIndex;
        info.profile = h.profile;
        info.channelConfiguration = h.channelConfiguration;
        rawBlocksRemaining_ = h.numberOfRawDataBlocks;
        return true;
    }
}

void CBitBuffer::UpdateBitRate(AacStreamInfo& info) {
    if (info.samplingRate == 0) return;
    double rate = info.extensionActive ? info.samplingRate * 2.0 : info.samplingRate;
    float samples = static_cast<float>((header_.numberOfRawDataBlocks + 1) * 1024);
    uint32_t bits =
        (header_.previousFrameLength + (header_.adtsBufferFullness - header_.previousBufferFullness) * 4) * 8;
    double estimate = static_cast<double>(bits) / (samples / rate);
    uint32_t value;
    if (!(estimate > 0))
        value = 0;
    else if (estimate >= 4294967296.0)
        value = 0xFFFFFFFF;
    else
        value = static_cast<uint32_t>(estimate);
    history_[historyWrites_ % 16] = value;
    ++historyWrites_;
    if (historyValid_ < 16) ++historyValid_;
    header_.previousBufferFullness = header_.adtsBufferFullness;
    header_.previousFrameLength = header_.aacFrameLength;
    uint64_t sum = 0;
    for (uint32_t i = 0; i < historyValid_; ++i)
        sum += history_[i];
    info.averageBitRate = static_cast<uint32_t>(sum / historyValid_);
}

void CBitBuffer::CheckCrc() {
    if (crcWord_ == 0xFFFFFFFF) return;
    const int32_t savedAvailable = bitsAvailable_;
    const uint32_t savedAlign = bitsSinceAlign_;
    const uint32_t savedPosition = readPosition_;
    const uint16_t* table = aaccore::adtsCrcTable();
    uint16_t crc = aaccore::kAdtsCrcInitial;
    uint32_t count = recordIndex_ < kMaxCrcRecords ? recordIndex_ : kMaxCrcRecords;
    for (uint32_t i = 0; i < count; ++i) {
        const CrcRecord& r = records_[i];
        bitsAvailable_ = r.bitsAvailable;
        bitsSinceAlign_ = r.bitsSinceAlign;
        readPosition_ = r.readPosition;
        uint32_t limit = r.kind == 2 ? 0 : r.kind == 4 ? 128 : 192;
        uint32_t n = (limit != 0 && r.lengthBits > limit) ? limit : r.lengthBits;
        uint32_t left = n;
        for (; left >= 8; left -= 8)
            crc = aaccore::crc16Byte(table, crc, static_cast<uint8_t>(Get(8)));
        for (; left > 0; --left)
            crc = aaccore::crc16Bit(aaccore::kAdtsCrcPolynomial, crc, Get(1) != 0);
        if (limit != 0)
            for (uint32_t z = n; z < limit; ++z)
                crc = aaccore::crc16Bit(aaccore::kAdtsCrcPolynomial, crc, false);
    }
    bitsAvailable_ = savedAvailable;
    bitsSinceAlign_ = savedAlign;
    readPosition_ = savedPosition;
    if (crc != crcWord_) throw ECRCError();
}

CPlainFile::CPlainFile(DataIOControl* io) : io_(io) {
    if (io_ == nullptr || io_->Open() != 0) throw EDoesNotExist();
}

unsigned CPlainFile::ReadBlock(uint8_t* buffer, unsigned n) { return io_->Read(buffer, 1, n); }

unsigned CPlainFile::Get(unsigned bits) {
    while (cacheBits_ < bits) {
        uint8_t byte = 0;
        if (io_->Read(&byte, 1, 1) == 0) throw EEndOfFile();
        cache_ = (cache_ << 8) | byte;
        cacheBits_ += 8;
    }
    if (bits == 0) return 0;
    cacheBits_ -= bits;
    return (cache_ >> cacheBits_) & ((1u << bits) - 1);
}
