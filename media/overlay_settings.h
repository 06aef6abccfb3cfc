// The video window's settings that the display thread reads for the overlay:
// written by the main dialog on the GUI thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace orvix {

struct OverlaySettings {
    std::atomic<uint16_t> language{0};  // Windows language identifier: the date format
    std::atomic<int> statistics{0};     // 0: frame rate only; flipped by the Tab key
};

}  // namespace orvix
