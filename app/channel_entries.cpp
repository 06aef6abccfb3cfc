#include "app/channel_entries.h"

#include <array>
#include <cstddef>

#include "link/capabilities.h"

namespace orvix {

int channelEntriesForModel(int32_t modelIndex) {
    static constexpr std::array<int, 53> kEntries = [] {
        std::array<int, 53> entries{};
        for (int i : {1, 14, 20, 27, 32, 35, 38, 41, 43, 45}) entries[i] = 9;
        for (int i : {2, 11, 15, 21, 25, 28, 33, 36, 39, 42, 44, 46, 50}) entries[i] = 16;
        for (int i : {10, 24, 49}) entries[i] = 8;
        for (int i : {0, 12, 13, 16, 23, 26, 29, 30, 31, 34, 37, 40, 47, 48, 51, 52}) entries[i] = 4;
        return entries;  // 3-9, 17-19 and 22 stay 0
    }();
    if (modelIndex < 0 || modelIndex >= static_cast<int32_t>(kEntries.size())) return 0;
    return kEntries[static_cast<size_t>(modelIndex)];
}

int channelEntriesForRecorder(int32_t modelIndex, uint16_t cameraCount) {
    const int model = channelEntriesForModel(modelIndex);
    return cameraCount >= 1 && cameraCount < model ? cameraCount : model;
}

int alarmOutputEntries(const DeviceRecord& record) {
    // Only the full rule keeps the value; the others leave 0 or old values.
    if (capabilityRule(record.modelCode, record.protocolVersion) != CapabilityRule::Full) return kAlarmOutputEntries;
    const uint32_t reported = record.val[2];
    return reported >= 1 && reported <= kAlarmOutputEntries ? static_cast<int>(reported) : kAlarmOutputEntries;
}

}  // namespace orvix
