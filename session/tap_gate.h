// The decoder's tap as the owner changes it while the display thread
// decodes: once set() returns, the tap set before is not called any more,
// so its owner may finish and free it at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "media/decode_tap.h"

namespace orvix {

class TapGate final : public DecodeTap {
public:
    // Owner's thread; waits while a packet is being handed to the old tap.
    void set(DecodeTap* tap) {
        std::lock_guard<std::mutex> lock(mutex_);
        tap_ = tap;
    }
    // Display thread.
    void decoderInput(const uint8_t* bytes, size_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (tap_ != nullptr) tap_->decoderInput(bytes, length);
    }

private:
    std::mutex mutex_;
    DecodeTap* tap_ = nullptr;
};

}  // namespace orvix
