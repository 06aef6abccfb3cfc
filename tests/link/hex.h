// Hex text <-> bytes for readable packet expectations.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace orvix::test {

inline std::vector<uint8_t> hexBytes(const std::string& text) {
    std::vector<uint8_t> out;
    int high = -1;
    for (char ch : text) {
        if (!std::isxdigit(static_cast<unsigned char>(ch))) continue;
        int v = std::isdigit(static_cast<unsigned char>(ch)) ? ch - '0' : (std::tolower(ch) - 'a' + 10);
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

inline std::string toHex(const uint8_t* data, size_t length) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 15]);
    }
    return out;
}

}  // namespace orvix::test
