#include "link/capabilities.h"

#include <algorithm>
#include <cstring>

#include "link/wire_format.h"

namespace orvix {
namespace {

constexpr size_t kLoginOkFields = 24;

uint8_t lowByte(uint32_t value) { return static_cast<uint8_t>(value & 0xFF); }

}  // namespace

CapabilityRule capabilityRule(uint32_t m, unsigned v) {
    const bool older = (m >= 11 && m <= 13) || (m >= 41 && m <= 45);
    const bool pair = m == 21 || m == 22;
    const bool current = (m >= 51 && m <= 53) || (m >= 61 && m <= 63) || (m >= 71 && m <= 74) || m == 77;
    if (current) return CapabilityRule::Full;
    if (!older && !pair) return CapabilityRule::Unchanged;
    if (v >= 11) return CapabilityRule::Full;
    if (v >= 5) return older ? CapabilityRule::Masked : CapabilityRule::Bitwise;
    return CapabilityRule::AllOn;
}

void storeCapabilities(DeviceRecord& record, const uint8_t* payload, size_t length) {
    uint8_t fields[kLoginOkFields] = {};
    if (payload != nullptr) std::memcpy(fields, payload, std::min(length, sizeof fields));
    const uint32_t f = readLe32(fields + 4);
    uint32_t v[4];
    for (int i = 0; i < 4; ++i) v[i] = readLe32(fields + 8 + 4 * i);

    const CapabilityRule rule = capabilityRule(record.modelCode, record.protocolVersion);
    switch (rule) {
    case CapabilityRule::Full:
    case CapabilityRule::Masked: {
        const bool full = rule == CapabilityRule::Full;
        const uint8_t caps[7] = {1, lowByte(f & 0x10), 1, lowByte(f & 0x08), lowByte(f & 0x04), lowByte(f & 0x01), 1};
        std::memcpy(record.cap, caps, sizeof caps);
        record.val[0] = v[0];
        for (int i = 1; i < 4; ++i) record.val[i] = full ? v[i] : 0;
        break;
    }
    case CapabilityRule::Bitwise: {
        const uint8_t caps[7] = {lowByte(f & 0x01), lowByte(f & 0x02), lowByte(f & 0x04), lowByte(f & 0x08),
                                 lowByte(f & 0x10), lowByte(f & 0x20), 1};
        std::memcpy(record.cap, caps, sizeof caps);
        record.val[0] = v[0];
        record.val[1] = record.val[2] = record.val[3] = 0;
        break;
    }
    case CapabilityRule::AllOn:
        std::memset(record.cap, 1, sizeof record.cap);
        std::memset(record.val, 0, sizeof record.val);
        break;
    case CapabilityRule::Unchanged:
        break;
    }
}

}  // namespace orvix
