// Opening the video decoder once the recorder has described itself; the
// link calls it on its own thread after COMMAND_CONNECT_OK.
#pragma once

#include "core/device_record.h"

namespace orvix {

class DecoderOpener {
public:
    virtual ~DecoderOpener() = default;
    // Returns 1 on success, -1 when no decoder could be opened.
    virtual int openDecoder(int width, int height, DeviceRecord& record) = 0;
};

}  // namespace orvix
