// Cuts the commands a client sends out of its byte stream. Both framings
// are read: Wide packets end at 00 00 01 B4, which their filler bytes keep
// out of the payload; a Plain packet's payload is not transformed, so its
// end is looked for first where the command's payload length puts it (a
// digest may contain NEND) and otherwise at the first NEND.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/wire_format.h"

namespace orvix::sim {

struct ClientCommand {
    FramingKind framing = FramingKind::Wide;
    uint32_t code = 0;
    std::vector<uint8_t> payload;
};

class ClientCommandReader {
public:
    void feed(const uint8_t* data, size_t length);
    // The next complete command; false until one is there. Bytes before a
    // start marker are skipped; a packet that does not end within the
    // command size limit is dropped.
    bool next(ClientCommand& out);
    size_t pending() const { return buffer_.size(); }

private:
    // Length of the packet at the start of the buffer; 0 while incomplete,
    // SIZE_MAX when it cannot be a packet.
    size_t packetLength() const;

    std::vector<uint8_t> buffer_;
};

}  // namespace orvix::sim
