// Failures inside the VLB library. Every one is a CAacException with a fixed code and
// text; only CVlbDecoderFront catches them and turns them into statuses.
#pragma once

#include <cstdint>

class CAacException {
public:
    CAacException(uint32_t code, const char* text) : code_(code), text_(text) {}
    uint32_t Code() const { return code_; }
    const char* Text() const { return text_; }

private:
    uint32_t code_;
    const char* text_;
};

namespace vlb {
inline constexpr uint32_t kCodeUnimplemented = 4097;
inline constexpr uint32_t kCodeDoesNotExist = 4099;
inline constexpr uint32_t kCodeEndOfFile = 4100;
inline constexpr uint32_t kCodeSyncError = 4101;
inline constexpr uint32_t kCodeCrcError = 4102;
inline constexpr uint32_t kCodeInputBufferError = 4103;
inline constexpr uint32_t kCodeInvalidCodeBook = 4104;
inline constexpr uint32_t kCodeIllegalProfile = 4108;

struct UnimplementedError : CAacException {
    UnimplementedError() : CAacException(kCodeUnimplemented, "Unimplemented Feature Used") {}
};
struct InvalidCodeBookError : CAacException {
    InvalidCodeBookError() : CAacException(kCodeInvalidCodeBook, "Invalid Huffman Codebook") {}
};
struct IllegalProfileError : CAacException {
    IllegalProfileError() : CAacException(kCodeIllegalProfile, "Illegal Profile") {}
};
}  // namespace vlb

struct ESyncError : CAacException {
    ESyncError() : CAacException(vlb::kCodeSyncError, "Synchronization Error!") {}
};
struct ECRCError : CAacException {
    ECRCError() : CAacException(vlb::kCodeCrcError, "CRC calculation failed") {}
};
struct EInputBufferError : CAacException {
    EInputBufferError() : CAacException(vlb::kCodeInputBufferError, "No sync word found!") {}
};
struct EIllegalProfile : vlb::IllegalProfileError {};
