// Finding the next byte that can complete an end marker, so the parser does
// not have to shift every byte of a packet body through its register.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvix {

// Index of the first byte in [0, length) equal to `a` or `b`; `length` when
// there is none.
size_t findEitherByte(const uint8_t* bytes, size_t length, uint8_t a, uint8_t b);

}  // namespace orvix
