// Where a stream parser stands between two received chunks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvix {

struct ParserState {
    uint32_t markerRegister = 0;  // last four bytes, first in the high byte
    int state = 0;                // 0 hunting, else a collecting/complete state
    size_t assembledLength = 0;   // bytes of the current packet assembled
};

}  // namespace orvix
