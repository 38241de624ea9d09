#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/DataSource.h"

namespace Amp {

class AudioOut;

// A decoder adapter: a byte source of interleaved PCM that pulls compressed bytes from its
// own source and announces its PCM format to the output once, before its first PCM.
class AudioDecoder : public DataSource, public DataSourceClient {
public:
    int Read(void* buffer, unsigned length) override = 0;
    virtual ~AudioDecoder() = default;
    virtual void SetAudioOut(AudioOut* output) = 0;
};

// The adapters' byte buffer (PCM that did not fit the caller's buffer, compressed input).
class GrowableBuffer {
public:
    explicit GrowableBuffer(size_t initialCapacity);
    ~GrowableBuffer();
    GrowableBuffer(const GrowableBuffer&) = delete;
    GrowableBuffer& operator=(const GrowableBuffer&) = delete;

    void Reserve(size_t total);
    uint8_t* AppendSpace(size_t n);
    void Commit(size_t n) { length_ += n; }
    const uint8_t* Peek(size_t& n) const;
    void Consume(size_t n);
    size_t Length() const { return length_; }
    size_t Capacity() const { return capacity_; }

private:
    uint8_t* data_ = nullptr;
    size_t capacity_ = 0;
    size_t length_ = 0;
};

// Copies pending bytes of an overflow buffer to out; returns the bytes copied.
size_t TakePending(GrowableBuffer& pending, uint8_t* out, size_t room);

// Holds the decoder of the current codec and changes it when the demultiplexer meets packets
// of another codec, letting the old decoder drain first.
class DecoderWrapper : public AudioDecoder {
public:
    using Factory = std::function<AudioDecoder*(uint32_t code)>;

    explicit DecoderWrapper(uint32_t codecCode);
    ~DecoderWrapper() override;

    int Read(void* buffer, unsigned length) override;
    void SetAudioOut(AudioOut* output) override;
    void SetSource(DataSource* source) override;
    DataSource* GetSource() override { return source_; }

    // Returns true when the decoder was changed.
    bool SwitchDecoder(uint32_t codecCode);
    uint32_t CodecCode() const { return code_; }

    // Decoder creation for tests (a pass-through codec); an empty factory restores ours.
    static void SetFactoryForTesting(Factory factory);

private:
    static AudioDecoder* CreateDecoder(uint32_t code);

    AudioDecoder* current_ = nullptr;
    AudioDecoder* previous_ = nullptr;
    std::unique_ptr<AudioDecoder> retired_;
    DataSource* source_ = nullptr;
    AudioOut* output_ = nullptr;
    uint32_t code_;
};

// The adapters of our decoder libraries by codec code; null for an unknown code.
AudioDecoder* CreateLibraryDecoder(uint32_t code);

}  // namespace Amp
