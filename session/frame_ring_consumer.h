// The consumer's side of a connection's frame ring, as the display thread
// and the packet thread both run it: waits for each packet (at most the
// ring's frame wait at a time, so that a stop is seen), counts it for the
// rates, hands it on and releases its slot, until the link thread state
// becomes 0; then `endLine` goes to the debug output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "link/recorder_connection.h"

namespace orvix {

// The consumer's thread. The connection must carry its LinkShared.
void consumeFrameRing(RecorderConnection& connection,
                      const std::function<void(const uint8_t* data, size_t length)>& handle, const char* endLine);

}  // namespace orvix
