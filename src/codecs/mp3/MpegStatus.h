#pragma once

#include <cstdint>

// Status words of the MPEG audio library. The top two bits give the class:
// 00 success, 01 information (a frame was consumed all the same),
// 10 warning (nothing consumed; feed more and call again), 11 error.
namespace mp3 {

inline constexpr uint32_t kStatusOk = 0;
inline constexpr uint32_t kStatusNullPointer = 0xC0000001;
inline constexpr uint32_t kStatusOutOfMemory = 0xC0000002;
inline constexpr uint32_t kStatusBadHandle = 0xC0000003;

inline constexpr uint32_t kStatusSideInfoBad = 0x41010001;
inline constexpr uint32_t kStatusMainDataMissing = 0x41010002;

inline constexpr uint32_t kStatusNeedSync = 0x81010001;
inline constexpr uint32_t kStatusSyncLost = 0x81010002;
inline constexpr uint32_t kStatusFrameIncomplete = 0x81010003;
inline constexpr uint32_t kStatusEndOfStream = 0x81010004;

inline constexpr uint32_t kStatusWrongLayer = 0xC1010002;
inline constexpr uint32_t kStatusOutputTooSmall = 0xC1010003;

enum class StatusClass { Success = 0, Information = 1, Warning = 2, Error = 3 };

constexpr StatusClass ClassOf(uint32_t status) { return static_cast<StatusClass>(status >> 30); }

}  // namespace mp3
