#pragma once

// ASCII letter case, whatever the process locale says (the application runs with the
// user's); bytes outside A-Z and a-z stay as they are.

#include <string>

inline char DMAsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
inline char DMAsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string DMAsciiLowerCopy(std::string text) {
    for (char& c : text)
        c = DMAsciiLower(c);
    return text;
}
