#pragma once

// Whole numbers in the services' XML, one rule for every service: sscanf "%d" and
// printf "%d" in the C locale, whatever the process locale says.

#include <cstdint>
#include <string>

// Leading white space, one optional sign, digits; anything after them is ignored. False
// (value unchanged) when no digit comes or the number leaves 32 bits.
bool DMScanInt(const std::string& text, std::int32_t& value);
std::string DMFormatInt(std::int32_t value);
