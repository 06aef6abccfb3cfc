#include "core/device_list.h"

namespace orvix {

DeviceList::~DeviceList() { clear(); }

void DeviceList::append(DeviceRecord* record) {
    if (record != nullptr) entries_.push_back(record);
}

DeviceRecord* DeviceList::findById(uint32_t id) const {
    long index = indexOfId(id);
    return index < 0 ? nullptr : entries_[static_cast<size_t>(index)];
}

long DeviceList::indexOfId(uint32_t id) const {
    if (id == 0) return -1;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i]->id == id) return static_cast<long>(i);
    }
    return -1;
}

bool DeviceList::removeFirstWithId(uint32_t id) {
    long index = indexOfId(id);
    if (index < 0) return false;
    DeviceRecord* record = entries_[static_cast<size_t>(index)];
    entries_.erase(entries_.begin() + index);
    destroyRecord(record);
    return true;
}

void DeviceList::clear() {
    for (DeviceRecord* record : entries_) destroyRecord(record);
    entries_.clear();
}

uint32_t DeviceList::uniqueId(uint32_t wanted) const {
    uint32_t id = wanted == 0 ? 1 : wanted;
    // At most size() ids are taken, so this ends within size() + 1 steps.
    while (indexOfId(id) >= 0) {
        ++id;
        if (id == 0) id = 1;
    }
    return id;
}

}  // namespace orvix
