// What a recorder offers, from the flags and values of COMMAND_LOGIN_OK. The
// rule that reads them depends on the recorder's model code and protocol
// version.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/device_record.h"

namespace orvix {

enum class CapabilityRule {
    Full,       // flags 10h, 8, 4, 1 and all four values
    Masked,     // as Full, but only the first value
    Bitwise,    // flags 1, 2, 4, 8, 10h, 20h and the first value
    AllOn,      // everything present, no values
    Unchanged,  // the record keeps what it had
};

CapabilityRule capabilityRule(uint32_t modelCode, unsigned protocolVersion);

// Stores cap0-cap6 and val0-val3 in the record by the rule for its model code
// and protocol version. The payload holds the flags at offset 4 and the
// values at 8, 12, 16 and 20; bytes past `length` count as zero.
void storeCapabilities(DeviceRecord& record, const uint8_t* payload, size_t length);

}  // namespace orvix
