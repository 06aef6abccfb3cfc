// A look at the compressed bytes the decoder is given, for tools that keep
// the received video (the command-line client's recording). Called on the
// display thread, inside the decoder, once per packet handed to the codec.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvix {

class DecodeTap {
public:
    virtual ~DecodeTap() = default;
    // The exact bytes about to be decoded: the packet's payload, with the
    // fixed parameter set in front where the raw path adds one. Valid only
    // during the call; the tap must not call back into the decoder.
    virtual void decoderInput(const uint8_t* bytes, size_t length) = 0;
};

}  // namespace orvix
