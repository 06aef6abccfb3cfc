// The recorder's self-description carried by COMMAND_CONNECT_OK.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/device_record.h"
#include "link/link_notifier.h"

namespace orvix {

constexpr size_t kDescriptionShort = 276;
constexpr size_t kDescriptionLong = 552;
constexpr size_t kDescriptionLongExtended = 556;

bool isDescriptionLength(size_t length);

// Clears the record's four device values (and the two bytes after them),
// then, when `length` is 276, 552 or 556, stores the description and sets the
// model index from the model code (codes outside the table leave it). Camera
// names are cut to the record's 16 slots of 16 characters. Returns whether a
// description was stored.
bool storeDeviceDescription(DeviceRecord& record, const uint8_t* payload, size_t length);

// A copy of what the record holds of the description, for the link's owner.
RecorderDescription describeRecorder(const DeviceRecord& record);

}  // namespace orvix
