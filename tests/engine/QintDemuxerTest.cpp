#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/DecoderWrapper.h"
#include "engine/QintDemuxer.h"
#include "engine/QintPacket.h"
#include "engine/player_exception.h"

using namespace Amp;
using Bytes = std::vector<uint8_t>;

namespace {

// Hands out a byte string in pieces of a fixed size, with "nothing yet" between pieces, then
// the end (or, with throwAtEnd, the reader's error for a read past the end).
class ScriptedSource : public DataSource {
public:
    ScriptedSource(Bytes data, size_t piece) : data_(std::move(data)), piece_(piece) {}
    int Read(void* buffer, unsigned length) override {
        if ((calls_++ % 2) == 1) return 0;
        if (pos_ >= data_.size()) {
            if (endedOnce_) throw player_exception(3, 8);
            endedOnce_ = true;
            return -1;
        }
        size_t n = std::min<size_t>({piece_, length, data_.size() - pos_});
        std::memcpy(buffer, data_.data() + pos_, n);
        pos_ += n;
        return int(n);
    }

private:
    Bytes data_;
    size_t piece_;
    size_t pos_ = 0;
    unsigned calls_ = 0;
    bool endedOnce_ = false;
};

struct Metadata {
    std::string text;
    double trackStart;
};

class RecordingOwner : public QintDemuxerOwner {
public:
    bool IsOutputStopped() override { return stopped; }
    float GetSecondsBuffered() override { return 1.5f; }
    void MetaDataReceived(const char* bytes, uint32_t length, double trackStart) override {
        metadata.push_back({std::string(bytes, length), trackStart});
    }
    void TrackProgress(float position, float trackLength, float buffered) override {
        progress.push_back({position, trackLength, buffered});
    }
    bool stopped = false;
    std::vector<Metadata> metadata;
    std::vector<std::vector<float>> progress;
};

// A "codec" that passes its input through and records which codec received which bytes.
std::map<uint32_t, Bytes>* g_received = nullptr;

class PassThroughDecoder : public AudioDecoder {
public:
    explicit PassThroughDecoder(uint32_t code) : code_(code) {}
    int Read(void* buffer, unsigned length) override {
        const int n = source_->Read(buffer, length);
        if (n > 0) {
            auto* p = static_cast<uint8_t*>(buffer);
            (*g_received)[code_].insert((*g_received)[code_].end(), p, p + n);
        }
        return n;
    }
    void SetAudioOut(AudioOut*) override {}
    void SetSource(DataSource* source) override { source_ = source; }
    DataSource* GetSource() override { return source_; }

private:
    uint32_t code_;
    DataSource* source_ = nullptr;
};

Bytes Packet(unsigned cls, unsigned type, const Bytes& payload, uint8_t trailer = 0) {
    Bytes p = {0x5A,
               0x00,
               uint8_t((cls << 4) | (type >> 8)),
               uint8_t(type & 0xFF),
               uint8_t(payload.size() >> 8),
               uint8_t(payload.size() & 0xFF)};
    p.insert(p.end(), payload.begin(), payload.end());
    p.push_back(trailer);
    return p;
}

Bytes Meta(uint16_t id, uint16_t span, uint16_t index, const std::string& data) {
    Bytes p = {uint8_t(id >> 8), uint8_t(id), uint8_t(span >> 8), uint8_t(span), uint8_t(index >> 8), uint8_t(index)};
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Audio(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(seed + i * 7);
    return b;
}

struct Outcome {
    std::map<uint32_t, Bytes> received;
    RecordingOwner owner;
    int errorDomain = 0, errorCode = 0;
    std::vector<int> results;
};

// Runs a whole stream through demultiplexer and wrapper as the output would read it.
void RunStream(const Bytes& stream, size_t piece, unsigned readSize, Outcome& out, uint32_t maxPayload = 0,
               uint32_t bitrate = 0) {
    g_received = &out.received;
    DecoderWrapper::SetFactoryForTesting([](uint32_t code) -> AudioDecoder* {
        if (code == 0) return nullptr;
        return new PassThroughDecoder(code);
    });
    ScriptedSource source(stream, piece);
    QintDemuxer demuxer(&out.owner);
    demuxer.SetSource(&source);
    if (maxPayload) demuxer.SetMaxMessageSize(maxPayload);
    if (bitrate) demuxer.SetAverageBitrate(bitrate);
    DecoderWrapper wrapper(kCodecVLB);
    demuxer.SetDecoder(&wrapper);
    wrapper.SetSource(&demuxer);
    std::vector<uint8_t> buffer(readSize);
    try {
        for (int guard = 0; guard < 100000; ++guard) {
            const int n = wrapper.Read(buffer.data(), readSize);
            out.results.push_back(n);
            if (n < 0) break;
        }
    } catch (const player_exception& e) {
        out.errorDomain = e.domain;
        out.errorCode = e.code;
    }
    DecoderWrapper::SetFactoryForTesting(nullptr);
}

}  // namespace

TEST(QintPacket, ClassifiesEveryClass) {
    struct Row {
        uint16_t classAndType;
        Qint::Kind kind;
        uint32_t codec;
    } rows[] = {
        {0x7000, Qint::Kind::Audio, kCodecMP3}, {0x7001, Qint::Kind::Audio, kCodecMP3},
        {0x7002, Qint::Kind::None, 0},          {0x8000, Qint::Kind::Audio, kCodecVLB},
        {0x8001, Qint::Kind::Audio, kCodecVLB}, {0x8003, Qint::Kind::Audio, kCodecAACPlus},
        {0x8303, Qint::Kind::None, 0},          {0x2123, Qint::Kind::None, 0},
        {0x3001, Qint::Kind::Metadata, 0},      {0x6FFF, Qint::Kind::Metadata, 0},
        {0x0000, Qint::Kind::None, 0},          {0x1000, Qint::Kind::None, 0},
        {0x9000, Qint::Kind::None, 0},          {0xF000, Qint::Kind::None, 0},
    };
    for (const Row& r : rows) {
        const Qint::Classification c = Qint::ClassifyPacket(r.classAndType);
        EXPECT_EQ(int(c.kind), int(r.kind)) << std::hex << r.classAndType;
        EXPECT_EQ(c.codec, r.codec) << std::hex << r.classAndType;
    }
}

TEST(QintPacket, TitlesBecomeMetadataXml) {
    struct Row {
        std::string data;
        bool isTitle;
        std::string xml;
    } rows[] = {
        {"StreamTitle='Some Artist - Some Song';", true,
         "<metadata><song><name>Some Song</name><artist>Some Artist</artist></song></metadata>"},
        {"StreamTitle='Only a title';", true, "<metadata></metadata>"},
        {"StreamTitle='A - B", true, "<metadata></metadata>"},
        {"streamtitle='A - B';", false, ""},
        // Markup characters from the station must not break the document.
        {"StreamTitle='Simon & Garfunkel - <Live> \"1981\"';", true,
         "<metadata><song><name>&lt;Live&gt; &quot;1981&quot;</name><artist>Simon &amp; "
         "Garfunkel</artist></song></metadata>"},
    };
    for (const Row& r : rows) {
        std::string xml;
        EXPECT_EQ(Qint::TitleToXml(r.data.data(), r.data.size(), xml), r.isTitle) << r.data;
        if (r.isTitle) {
            EXPECT_EQ(xml, r.xml);
        }
    }
}

TEST(QintPacket, TimingInSeconds) {
    const uint8_t data[] = {0x00, 0x01, 0x57, 0xC0, 0x00, 0x00, 0xAB, 0xE0};
    EXPECT_DOUBLE_EQ(Qint::BytesToSeconds(Qint::ReadBigEndian32(data), 128000), 5.5);
    EXPECT_DOUBLE_EQ(Qint::BytesToSeconds(Qint::ReadBigEndian32(data + 4), 128000), 2.75);
}

TEST(QintDemuxer, WorkedExampleAudioPacket) {
    Outcome out;
    RunStream({0x5A, 0x00, 0x70, 0x00, 0x00, 0x03, 0xA1, 0xB2, 0xC3, 0x00}, 64, 4096, out);
    EXPECT_EQ(out.received[kCodecMP3], (Bytes{0xA1, 0xB2, 0xC3}));
    EXPECT_TRUE(out.received[kCodecVLB].empty());
    EXPECT_EQ(out.errorCode, 0);
}

// Audio split at arbitrary points, garbage and damaged packets around it: the audio bytes of
// the good packets arrive whole and in order.
TEST(QintDemuxer, FaultsInTheStream) {
    const Bytes a1 = Audio(1000, 1), a2 = Audio(777, 50), a3 = Audio(5000, 9);
    Bytes overlong = {0x5A, 0x00, 0x70, 0x00, 0x13, 0x89};  // 5001 > 5000
    Bytes badTrailer = Packet(7, 0, Cat({Bytes(5, 0xEE), Packet(7, 1, a2)}), 0x55);
    struct Row {
        const char* name;
        Bytes stream;
        Bytes expectedMp3;
        int errorCode;
    } rows[] = {
        {"garbage before sync", Cat({Bytes{1, 2, 3, 0x5B, 0}, Packet(7, 0, a1)}), a1, 0},
        {"over-long length resumes after header", Cat({overlong, Packet(7, 0, a1)}), a1, 0},
        {"bad trailer resyncs inside payload", Cat({badTrailer, Packet(7, 0, a1)}), Cat({a2, a1}), 0},
        {"largest payload", Cat({Packet(7, 0, a3), Packet(7, 0, a1)}), Cat({a3, a1}), 0},
        {"class 2 ends the stream", Cat({Packet(7, 0, a1), Packet(2, 0, a2)}), a1, 9},
        {"closed mid-packet", Cat({Packet(7, 0, a1), Bytes{0x5A, 0x00, 0x70, 0x00, 0x03}}), a1, 8},
        {"empty audio packet", Cat({Packet(7, 0, {}), Packet(7, 0, a1)}), a1, 0},
        {"six-byte metadata payload", Cat({Packet(3, 1, Meta(1, 1, 1, "")), Packet(7, 0, a1)}), a1, 0},
        {"metadata payload shorter than its header", Cat({Packet(3, 1, Bytes{1, 2}), Packet(7, 0, a1)}), a1, 0},
    };
    for (size_t piece : {1, 3, 700, 9000}) {
        for (unsigned readSize : {1u, 100u, 4096u}) {
            for (const Row& r : rows) {
                Outcome out;
                RunStream(r.stream, piece, readSize, out);
                const Bytes& got = out.received[kCodecMP3];
                EXPECT_EQ(out.errorCode, r.errorCode) << r.name;
                if (r.errorCode) {
                    // The read that meets the fault ends in the exception; what it had
                    // placed is not handed out, all before it is.
                    EXPECT_EQ(out.errorDomain, 3) << r.name;
                    ASSERT_LE(got.size(), r.expectedMp3.size()) << r.name;
                    EXPECT_TRUE(std::equal(got.begin(), got.end(), r.expectedMp3.begin())) << r.name;
                    if (readSize == 1) EXPECT_EQ(got, r.expectedMp3) << r.name;
                } else {
                    EXPECT_EQ(got, r.expectedMp3) << r.name << " piece " << piece << " read " << readSize;
                    EXPECT_EQ(out.results.back(), -1) << r.name;
                }
                // A switch never looks like the end to the output.
                for (size_t i = 0; i + 1 < out.results.size(); ++i)
                    EXPECT_GE(out.results[i], 0) << r.name;
            }
        }
    }
}

TEST(QintDemuxer, SwitchDrainsOldDecoderThenFeedsNewOne) {
    const Bytes v = Audio(300, 3), a = Audio(400, 4);
    Outcome out;
    RunStream(Cat({Packet(8, 0, v), Packet(8, 3, a)}), 4096, 4096, out);
    EXPECT_EQ(out.received[kCodecVLB], v);
    EXPECT_EQ(out.received[kCodecAACPlus], a);
    // VLB's bytes (the read that met the switch), 0 as the old decoder drains, then the
    // new codec's bytes; the output sees -1 only at the real end.
    EXPECT_EQ(out.results, (std::vector<int>{300, 0, 400, -1}));
}

TEST(QintDemuxer, MetadataTextsAndTrackProgress) {
    const Bytes a = Audio(10, 1);
    const Bytes timing = {0x00, 0x01, 0x57, 0xC0, 0x00, 0x00, 0xAB, 0xE0};
    const Bytes stream = Cat({
        Packet(3, 1, Meta(1, 1, 1, "StreamTitle='Some Artist - Some Song';")),
        Packet(4, 0x901, Meta(2, 3, 1, "<a>")),
        Packet(7, 0, a),
        Packet(4, 0x901, Meta(2, 3, 2, "b")),
        Packet(4, 0x901, Meta(2, 3, 3, "</a>")),
        Packet(3, 0x901, Meta(5, 0, 1, "<single/>")),
        // Interrupted: the first part goes alone, the interrupting packet's data is dropped.
        Packet(3, 0x901, Meta(7, 2, 1, "<part1>")),
        Packet(3, 0x901, Meta(8, 1, 1, "<dropped/>")),
        Packet(5, 1, Meta(9, 1, 1, std::string(timing.begin(), timing.end()))),
        Packet(6, 1, Meta(9, 1, 1, "ignored")),
    });
    Outcome out;
    const double before = GetTimeOfDaySeconds();
    RunStream(stream, 5, 4096, out, 0, 128000);
    ASSERT_EQ(out.owner.metadata.size(), 4u);
    EXPECT_EQ(out.owner.metadata[0].text,
              "<metadata><song><name>Some Song</name><artist>Some Artist</artist></song></metadata>");
    EXPECT_EQ(out.owner.metadata[1].text, "<a>b</a>");
    EXPECT_EQ(out.owner.metadata[2].text, "<single/>");
    EXPECT_EQ(out.owner.metadata[3].text, "<part1>");
    // Stamped with the time it will be heard: now plus what the output holds.
    EXPECT_GE(out.owner.metadata[0].trackStart, before + 1.5);
    EXPECT_LT(out.owner.metadata[0].trackStart, before + 1.5 + 60);
    ASSERT_EQ(out.owner.progress.size(), 1u);
    EXPECT_FLOAT_EQ(out.owner.progress[0][0], 2.75f);
    EXPECT_FLOAT_EQ(out.owner.progress[0][1], 5.5f);
    EXPECT_FLOAT_EQ(out.owner.progress[0][2], 1.5f);
    EXPECT_EQ(out.received[kCodecMP3], a);
}

TEST(QintDemuxer, TimingIgnoredWithoutBitrate) {
    Outcome out;
    RunStream(Packet(5, 1, Meta(9, 1, 1, std::string(8, '\1'))), 64, 4096, out);
    EXPECT_TRUE(out.owner.progress.empty());
}

TEST(QintDemuxer, MaxMessageSizeIsClampedAndSizesTheRing) {
    // A larger maximum admits larger packets; absurd values are clamped, not trusted.
    const Bytes big = Audio(9000, 2);
    Outcome out;
    RunStream(Packet(7, 0, big), 4096, 4096, out, 10000);
    EXPECT_EQ(out.received[kCodecMP3], big);
    Outcome clamped;
    RunStream(Packet(7, 0, Audio(100, 1)), 4096, 4096, clamped, 0xFFFFFFFFu);
    EXPECT_EQ(clamped.received[kCodecMP3], Audio(100, 1));
}

TEST(QintDemuxer, StoppedOutputEndsQuietly) {
    Outcome out;
    out.owner.stopped = true;
    g_received = &out.received;
    DecoderWrapper::SetFactoryForTesting([](uint32_t code) -> AudioDecoder* { return new PassThroughDecoder(code); });
    ScriptedSource source(Packet(7, 0, Audio(10, 1)), 64);
    QintDemuxer demuxer(&out.owner);
    demuxer.SetSource(&source);
    DecoderWrapper wrapper(kCodecVLB);
    demuxer.SetDecoder(&wrapper);
    wrapper.SetSource(&demuxer);
    uint8_t buffer[64];
    EXPECT_THROW(wrapper.Read(buffer, sizeof buffer), stream_stopped);
    DecoderWrapper::SetFactoryForTesting(nullptr);
}
