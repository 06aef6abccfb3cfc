// How many channel and alarm output entries the dialog offers for a
// recorder, by its model and by what the recorder reported about itself.
#pragma once

#include <cstdint>

#include "core/device_record.h"

namespace orvix {

// Channels shown before a recorder has reported its model.
constexpr int kDefaultChannelEntries = 16;
// Alarm outputs offered (after "ALL") unless the recorder says otherwise.
constexpr int kAlarmOutputEntries = 128;

// 9, 16, 8 or 4 entries by model index; 0 for models without live channels
// and for indexes outside the table.
int channelEntriesForModel(int32_t modelIndex);

// The model's entries, or the cameras the recorder described when that is
// fewer (and at least one).
int channelEntriesForRecorder(int32_t modelIndex, uint16_t cameraCount);

// The alarm outputs the recorder reported with its login (its third
// capability value, stored for recorders whose capability rule keeps all
// four values), when that is 1-128; otherwise all 128.
int alarmOutputEntries(const DeviceRecord& record);

}  // namespace orvix
