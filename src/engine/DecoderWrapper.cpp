#include "engine/DecoderWrapper.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/player_exception.h"

namespace Amp {

GrowableBuffer::GrowableBuffer(size_t initialCapacity) { Reserve(initialCapacity); }

GrowableBuffer::~GrowableBuffer() { std::free(data_); }

void GrowableBuffer::Reserve(size_t total) {
    total = (total + 15) & ~size_t(15);
    if (total <= capacity_) return;
    auto* grown = static_cast<uint8_t*>(std::realloc(data_, total));
    if (!grown) throw std::bad_alloc();
    data_ = grown;
    capacity_ = total;
}

uint8_t* GrowableBuffer::AppendSpace(size_t n) {
    Reserve(length_ + n);
    return data_ + length_;
}

const uint8_t* GrowableBuffer::Peek(size_t& n) const {
    if (n > length_) n = length_;
    return data_;
}

void GrowableBuffer::Consume(size_t n) {
    if (n >= length_) {
        length_ = 0;
        return;
    }
    std::memmove(data_, data_ + n, length_ - n);
    length_ -= n;
}

size_t TakePending(GrowableBuffer& pending, uint8_t* out, size_t room) {
    size_t n = room;
    const uint8_t* data = pending.Peek(n);
    if (n == 0) return 0;
    std::memcpy(out, data, n);
    pending.Consume(n);
    return n;
}

static DecoderWrapper::Factory& TestFactory() {
    static DecoderWrapper::Factory factory;
    return factory;
}

void DecoderWrapper::SetFactoryForTesting(Factory factory) { TestFactory() = std::move(factory); }

AudioDecoder* DecoderWrapper::CreateDecoder(uint32_t code) {
    AudioDecoder* decoder = TestFactory() ? TestFactory()(code) : CreateLibraryDecoder(code);
    if (!decoder) throw player_exception(EngineError::kNoDecoder);
    return decoder;
}

DecoderWrapper::DecoderWrapper(uint32_t codecCode) : current_(CreateDecoder(codecCode)), code_(codecCode) {}

DecoderWrapper::~DecoderWrapper() {
    if (previous_ != current_) delete previous_;
    delete current_;
}

void DecoderWrapper::SetAudioOut(AudioOut* output) {
    if (current_) current_->SetAudioOut(output);
    output_ = output;
}

void DecoderWrapper::SetSource(DataSource* source) {
    if (current_) current_->SetSource(source);
    source_ = source;
}

bool DecoderWrapper::SwitchDecoder(uint32_t codecCode) {
    if (codecCode == code_) return false;
    AudioDecoder* next = CreateDecoder(codecCode);
    next->SetAudioOut(output_);
    next->SetSource(source_);
    // A decoder still draining from an earlier switch has nothing more to come: its input
    // has moved on twice. It may be the caller of this very switch, so it is deleted on the
    // wrapper's next read, not here.
    if (previous_) retired_.reset(previous_);
    previous_ = current_;
    current_ = next;
    code_ = codecCode;
    return true;
}

int DecoderWrapper::Read(void* buffer, unsigned length) {
    retired_.reset();
    if (previous_) {
        const int result = previous_->Read(buffer, length);
        if (result != -1 && result != -2) return result;
        delete previous_;
        previous_ = nullptr;
        return 0;
    }
    if (!current_) throw player_exception(EngineError::kNoDecoder);
    AudioDecoder* before = current_;
    const int result = current_->Read(buffer, length);
    if (current_ != before && result == -1) return 0;
    return result;
}

}  // namespace Amp
