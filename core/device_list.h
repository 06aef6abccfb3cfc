// The ordered list of known recorders. The list owns its records: whoever
// created an entry (the main dialog on add, the store on load), the list
// destroys it on removal and when it is cleared or destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/device_record.h"

namespace orvix {

class DeviceList {
public:
    DeviceList() = default;
    ~DeviceList();
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    DeviceRecord* at(size_t index) const { return entries_.at(index); }

    // Takes ownership of a record made with createRecord(); appends it.
    void append(DeviceRecord* record);
    // The first entry in list order with this id, or null (id 0 finds nothing).
    DeviceRecord* findById(uint32_t id) const;
    // Index of the first entry with this id, or -1.
    long indexOfId(uint32_t id) const;
    // Removes and destroys the first entry with this id; false when none.
    bool removeFirstWithId(uint32_t id);
    // Destroys every entry.
    void clear();
    // An id not used by any entry: `wanted` if free, else the next free value
    // above it (skipping 0).
    uint32_t uniqueId(uint32_t wanted) const;

    const std::vector<DeviceRecord*>& entries() const { return entries_; }

private:
    std::vector<DeviceRecord*> entries_;
};

}  // namespace orvix
