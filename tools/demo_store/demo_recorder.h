// The recorder the demo puts into a device list: found by name and brought
// up to date, or appended with an id of its own.
#pragma once

#include <cstdint>
#include <string>

#include "core/device_list.h"

namespace orvix::demo {

struct DemoRecorder {
    std::u16string name = u"Demo recorder";
    std::u16string address = u"127.0.0.1";
    uint16_t port = 0;
    std::u16string account = u"admin";
    std::u16string password = u"1234";
    int32_t framingKind = 0;  // "MPEG4"
};

// Updates the first entry named like `demo` (static address, account,
// password, framing) or appends a new one whose id is `clock` made unique in
// the list. Other entries stay as they are. Returns the entry.
DeviceRecord* putDemoRecorder(DeviceList& list, const DemoRecorder& demo, uint32_t clock);

}  // namespace orvix::demo
