#pragma once

// Numbers in the services' XML, one rule for every service: the C conversions "%d", "%f"
// and "%.1f" in the C locale, whatever the process locale says (the application runs
// with the user's). A scan skips leading white space, takes one optional sign and reads
// as far as the number goes; anything after it is ignored. A number that does not fit (an
// integer beyond 32 bits, a float beyond its range) counts as not converted, as does text
// without digits; the value is then left unchanged.

#include <cstdint>
#include <string>

bool DMScanInt(const std::string& text, std::int32_t& value);
std::string DMFormatInt(std::int32_t value);
// Hexadecimal floats ("0x1p1") too, as "%f" reads them.
bool DMScanFloat(const std::string& text, float& value);
// One decimal, rounded as "%.1f" rounds.
std::string DMFormatFloat(float value);
