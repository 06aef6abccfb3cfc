// Reading a port number from the text of a port field.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvix {

// The fields accept digits only and at most this many of them.
constexpr int kPortFieldMaxDigits = 5;

// The decimal number formed by the leading ASCII digits of `text` (no digits
// give 0, as an empty field is stored as port 0). Returns none when the number
// exceeds 65535, so that a port is never wrapped into the 16-bit field.
std::optional<uint16_t> parsePortText(std::u16string_view text);

}  // namespace orvix
