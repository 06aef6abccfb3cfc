#include "link/device_description.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/text_codec.h"
#include "link/model_class.h"
#include "link/wire_format.h"

namespace orvix {
namespace {

constexpr size_t kNameFieldBytes = 32;
constexpr size_t kNamesOffset = 40;

void storeCameraNames(DeviceRecord& record, const uint8_t* payload, size_t length, int announced) {
    std::memset(record.cameraNames, 0, sizeof(record.cameraNames));
    const size_t fitting = (length - kNamesOffset) / kNameFieldBytes;
    const int count = std::clamp(announced, 0, static_cast<int>(std::min<size_t>(fitting, kCameraNameSlots)));
    for (int i = 0; i < count; ++i) {
        const uint8_t* field = payload + kNamesOffset + static_cast<size_t>(i) * kNameFieldBytes;
        char16_t* slot = record.cameraNames[i];
        if (record.namesAreWide != 0) {
            for (int c = 0; c < kCameraNameChars; ++c) slot[c] = readLe16(field + 2 * c);
        } else {
            std::u16string wide = fromNarrow(reinterpret_cast<const char*>(field), kNameFieldBytes);
            const size_t n = std::min<size_t>(wide.size(), kCameraNameChars - 1);
            std::copy_n(wide.data(), n, slot);
            slot[n] = 0;
        }
    }
}

}  // namespace

bool isDescriptionLength(size_t length) {
    return length == kDescriptionShort || length == kDescriptionLong || length == kDescriptionLongExtended;
}

bool storeDeviceDescription(DeviceRecord& record, const uint8_t* payload, size_t length) {
    std::memset(record.deviceValues, 0, sizeof(record.deviceValues));
    std::memset(record.reserved5, 0, sizeof(record.reserved5));
    if (payload == nullptr || !isDescriptionLength(length)) return false;

    record.modelCode = readLe32(payload);
    if (length == kDescriptionShort) {
        record.cameraCount = readLe16(payload + 4);
        record.secondCount = readLe16(payload + 6);
        record.protocolVersion = readLe16(payload + 268);
        record.protocolSubVersion = readLe16(payload + 270);
        record.namesAreWide = 0;
        record.deviceAttribute = 0;
        if (record.protocolVersion >= 7) {
            record.videoAttr1 = payload[8];
            record.videoAttr2 = payload[9];
        } else {
            record.videoAttr1 = static_cast<uint8_t>(readLe32(payload + 8));
            record.videoAttr2 = 1;
        }
    } else {
        const int16_t cameras = static_cast<int16_t>(readLe16(payload + 4));
        record.cameraCount = static_cast<uint16_t>(cameras);
        record.secondCount = readLe16(payload + 6);
        record.videoAttr1 = payload[8];
        record.videoAttr2 = payload[9];
        record.protocolVersion = readLe16(payload + 12);
        record.protocolSubVersion = readLe16(payload + 14);
        record.deviceAttribute = readLe32(payload + 16);
        for (int i = 0; i < 4; ++i) record.deviceValues[i] = readLe32(payload + 20 + 4 * i);
        record.namesAreWide = readLe32(payload + 36);
        storeCameraNames(record, payload, length, cameras);
    }
    if (auto index = modelIndexForCode(record.modelCode)) record.modelIndex.store(*index);
    return true;
}

RecorderDescription describeRecorder(const DeviceRecord& record) {
    RecorderDescription description;
    description.modelIndex = record.modelIndex.load();
    description.modelCode = record.modelCode;
    description.protocolVersion = record.protocolVersion;
    description.cameraCount = record.cameraCount;
    description.framingKind = record.framingKind.load();
    return description;
}

}  // namespace orvix
