#include "tools/demo_store/demo_recorder.h"

namespace orvix::demo {

DeviceRecord* putDemoRecorder(DeviceList& list, const DemoRecorder& demo, uint32_t clock) {
    DeviceRecord* record = nullptr;
    for (DeviceRecord* entry : list.entries()) {
        if (entry->name.view() == demo.name) {
            record = entry;
            break;
        }
    }
    if (record == nullptr) {
        record = createRecord();
        resetStoredFields(*record);
        record->id = list.uniqueId(clock);
        setText(record->name, demo.name);
        list.append(record);
    }
    setText(record->account, demo.account);
    setText(record->password, demo.password);
    record->framingKind = demo.framingKind;
    record->useDdns = 0;
    record->useStatic = 1;
    setText(record->address, demo.address);
    record->port = demo.port;
    return record;
}

}  // namespace orvix::demo
