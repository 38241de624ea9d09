#pragma once

// The statistics key table and the byte-order helpers of the statistics store. Keys are
// 16-bit; values are held and written big-endian in the width of their key's type.

#include "app/services/ServiceStatistics.h"

#include <cstddef>
#include <cstdint>
#include <string>

class Clock;

// Value types of the key table.
enum PhoneHomeValueType : std::int32_t {
    kPhoneHomeTypeNone = 0,
    kPhoneHomeTypeBytes = 1,
    kPhoneHomeTypeU8 = 2,
    kPhoneHomeTypeU16 = 3,
    kPhoneHomeTypeU32 = 4,
    kPhoneHomeTypeText = 5,
    kPhoneHomeTypeU32Time = 6,
};

// Flag bits of the key table.
enum : std::uint16_t {
    kPhoneHomeFlagCategory122 = 0x0001,
    kPhoneHomeFlagEveryRecord = 0x0002,
    kPhoneHomeFlagSessionRunning = 0x0004,
    kPhoneHomeFlagNoCategory = 0x0400,
    kPhoneHomeFlagSampled = 0x2000,
    kPhoneHomeFlagPersistent = 0x4000,
    kPhoneHomeFlagNeverWritten = 0x8000,
};

// Keys the program sets (kPhoneHomeKeyServiceError, 93, comes with the service layer's
// recorder).
enum : std::uint16_t {
    kPhoneHomeKeyRecordCategory = 1,
    kPhoneHomeKeyEndCode = 2,
    kPhoneHomeKeyPlatformCode = 13,
    kPhoneHomeKeyMajorVersion = 14,
    kPhoneHomeKeyMinorVersion = 15,
    kPhoneHomeKeyClientID = 22,
    kPhoneHomeKeyOSVersion = 24,
    kPhoneHomeKeySignOnState = 27,
    kPhoneHomeKeyLaunchCount = 28,
    kPhoneHomeKeyZeroBytes = 31,
    kPhoneHomeKeyCountry = 43,
    kPhoneHomeKeyDateStamp = 48,
    kPhoneHomeKeyMachineModel = 82,
    kPhoneHomeKeyMemoryMB = 109,
    kPhoneHomeKeySignedOnTime = 241,
    kPhoneHomeKeySignedOffTime = 242,
    kPhoneHomeKeyStationPlays = 4392,
    kPhoneHomeKeyPresetPlays = 4393,
    kPhoneHomeKeyPlayingTime = 4394,
    kPhoneHomeKeyActiveTime = 4395,
    kPhoneHomeKeyActivePlayingTime = 4396,
    kPhoneHomeKeyLayoutTime = 4397,
    kPhoneHomeKeyActivePresets = 4400,
    kPhoneHomeKeyLayoutState = 4401,
};

inline constexpr std::size_t kPhoneHomeKeyTableSize = 562;

// Keys 0-255 use their own entry of the table, 4096-4401 the entry key - 3840; every other
// key entry 0, whose type and flags are 0.
std::int32_t PhoneHomeKeyType(std::uint16_t key);
std::uint16_t PhoneHomeKeyFlags(std::uint16_t key);
// The flag bits a report category selects; 0 for a category that selects none.
std::uint16_t PhoneHomeCategoryMask(std::uint8_t category);
// Bytes a number of that type takes (0 for the types that are not numbers).
int PhoneHomeNumberWidth(std::int32_t type);

// The time as "hhmmdddyy" (UTC: hour, minute, day of the year from 1, year modulo 100).
std::string FormatDateStamp(const Clock& clock);

// Between host order and big-endian.
std::uint32_t FlipLong(std::uint32_t value);
std::uint16_t FlipShort(std::uint16_t value);
// The first `width` bytes as a big-endian number; a width below 0 or above 4 counts as 4.
std::uint32_t ReadBigEndian(const std::uint8_t* bytes, int width);
