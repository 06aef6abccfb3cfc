#include "media/access_unit.h"

#include <limits>

#include "link/recorder_connection.h"
#include "link/wire_format.h"
#include "media/calendar_time.h"
#include "media/parameter_sets.h"

namespace orvix {
namespace {

constexpr size_t kEndMarkerBytes = 4;
constexpr size_t kRawHeaderBytes = 32;

AccessUnitStep readFramed(const uint8_t* slot, size_t length, size_t header, int selectedChannel,
                          AccessUnit& unit) {
    if (length <= header + kEndMarkerBytes) return AccessUnitStep::TooShort;
    unit.channel = slot[8] & 0x0F;
    if (unit.channel != selectedChannel) return AccessUnitStep::OtherChannel;
    unit.keyPicture = (slot[8] >> 4) == 1;
    unit.recorderSeconds = readLe32(slot + 4);
    unit.payload = slot + header;
    unit.payloadLength = length - header - kEndMarkerBytes;
    return AccessUnitStep::Ready;
}

AccessUnitStep readRaw(const uint8_t* slot, size_t length, int selectedChannel, uint8_t& rawConfig,
                       AccessUnit& unit) {
    if (length < kRawHeaderBytes) return AccessUnitStep::TooShort;
    unit.channel = slot[4];
    if (unit.channel != selectedChannel) {
        rawConfig = kRawConfigAfterFailure;
        return AccessUnitStep::OtherChannel;
    }
    const uint32_t payloadLength = readLe32(slot + 12);
    if (payloadLength > length - kRawHeaderBytes) {
        rawConfig = kRawConfigAfterFailure;
        return AccessUnitStep::TooShort;
    }
    const uint8_t coding = slot[20];
    const int code = coding & 0x07;
    const int standard = (coding >> 3) & 0x01;
    unit.keyPicture = slot[5] == 0;
    unit.recorderSeconds = int64_t{readLe32(slot + 8)} + kRawTimeOffset;
    unit.resolutionCode = code;
    unit.payload = slot + kRawHeaderBytes;
    unit.payloadLength = payloadLength;
    if (code == rawConfig) return AccessUnitStep::Ready;

    // Until a key picture brings the new configuration, nothing can decode.
    if (!unit.keyPicture) return AccessUnitStep::WaitingForKey;
    const RawParameterSet* set = rawParameterSet(standard, code);
    if (set == nullptr) {
        rawConfig = kRawConfigAfterFailure;
        return AccessUnitStep::NoParameterSet;
    }
    rawConfig = static_cast<uint8_t>(code);
    unit.parameterSet = set->bytes;
    unit.parameterSetLength = set->length;
    return AccessUnitStep::Ready;
}

}  // namespace

AccessUnitStep readAccessUnit(const uint8_t* slot, size_t length, FrameKind kind, int selectedChannel,
                              uint8_t& rawConfig, AccessUnit& unit) {
    unit = AccessUnit{};
    unit.kind = kind;
    if (slot == nullptr) return AccessUnitStep::TooShort;
    switch (kind) {
        case FrameKind::None:
            return AccessUnitStep::NoKind;
        case FrameKind::Header64:
            return readFramed(slot, length, 64, selectedChannel, unit);
        case FrameKind::Header32:
            return readFramed(slot, length, 32, selectedChannel, unit);
        case FrameKind::Header32Raw:
            return readRaw(slot, length, selectedChannel, rawConfig, unit);
    }
    return AccessUnitStep::NoKind;
}

int32_t overlaySeconds(int64_t recorderSeconds) {
    if (recorderSeconds > std::numeric_limits<int32_t>::max()) return -1;
    return static_cast<int32_t>(recorderSeconds);
}

}  // namespace orvix
