// A record owner that remembers the messages it was sent, and the record's
// id at the moment each arrived.
#pragma once

#include <vector>

#include "core/device_record.h"
#include "core/window_messages.h"

namespace orvix {

class RecordingOwner : public MessageTarget {
public:
    struct Message {
        uint32_t message;
        WParam wParam;
        LParam lParam;
        uint32_t idWhenSent;
    };

    explicit RecordingOwner(DeviceRecord& record) : record_(record) {}

    // Makes this the record's owner.
    void attach() { record_.owner = static_cast<MessageTarget*>(this); }

    LParam sendMessage(uint32_t message, WParam wParam, LParam lParam) override {
        messages.push_back({message, wParam, lParam, record_.id});
        return 1;
    }

    std::vector<Message> messages;

private:
    DeviceRecord& record_;
};

}  // namespace orvix
