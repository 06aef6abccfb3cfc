#include "core/device_record.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace orvix {

void setText(RecordText& text, std::u16string_view value) {
    // Texts are NUL-terminated: keep only what precedes an embedded NUL.
    size_t length = value.find(u'\0');
    if (length == std::u16string_view::npos) length = value.size();
    char16_t* copy = nullptr;
    if (length > 0) {
        copy = static_cast<char16_t*>(std::malloc((length + 1) * sizeof(char16_t)));
        if (copy == nullptr) throw std::bad_alloc();
        std::memcpy(copy, value.data(), length * sizeof(char16_t));
        copy[length] = 0;
    }
    std::free(text.chars);
    text.chars = copy;
}

void clearText(RecordText& text) {
    std::free(text.chars);
    text.chars = nullptr;
}

void initRecord(DeviceRecord& record) {
    // Every member is trivially constructible or an atomic of a plain integer,
    // so an all-zero block is a valid record.
    std::memset(static_cast<void*>(&record), 0, sizeof(DeviceRecord));
}

void releaseRecordTexts(DeviceRecord& record) {
    clearText(record.name);
    clearText(record.account);
    clearText(record.password);
    clearText(record.ddnsId);
    clearText(record.ddnsServer);
    clearText(record.address);
}

DeviceRecord* createRecord() {
    // Value-initialisation zero-fills every field: empty texts, numbers 0.
    return new DeviceRecord();
}

void destroyRecord(DeviceRecord* record) {
    if (record == nullptr) return;
    releaseRecordTexts(*record);
    delete record;
}

void copyRecord(DeviceRecord& destination, const DeviceRecord& source) {
    if (&destination == &source) return;
    destination.id = source.id;
    setText(destination.name, source.name.view());
    setText(destination.account, source.account.view());
    setText(destination.password, source.password.view());
    destination.modelIndex.store(source.modelIndex.load());
    destination.framingKind.store(source.framingKind.load());
    destination.useDdns = source.useDdns;
    setText(destination.ddnsId, source.ddnsId.view());
    setText(destination.ddnsServer, source.ddnsServer.view());
    destination.ddnsPort = source.ddnsPort;
    destination.useStatic = source.useStatic;
    setText(destination.address, source.address.view());
    destination.port = source.port;
    destination.autoReconnectOff = source.autoReconnectOff;
}

void resetStoredFields(DeviceRecord& record) {
    releaseRecordTexts(record);
    record.ddnsPort = kDefaultDdnsPort;
    record.port = kDefaultRecorderPort;
    record.useDdns = 1;
    record.useStatic = 0;
    record.modelIndex.store(0);
    record.framingKind.store(0);
    record.autoReconnectOff = 0;
}

}  // namespace orvix
