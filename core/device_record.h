// One recorder's settings and, while connected, what the recorder reported.
//
// The record crosses into libnodra and libtlset by address, so its layout is
// fixed and checked at compile time below: stored fields first, then what a
// connection fills in. Text fields are owned UTF-16 strings held through
// pointer slots, which makes the block 680 bytes on a 64-bit host.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvix {

// A UTF-16 text owned by its record: a NUL-terminated heap buffer, or null
// for the empty text. Only the functions below allocate or free it.
struct RecordText {
    char16_t* chars = nullptr;

    std::u16string_view view() const { return chars ? std::u16string_view(chars) : std::u16string_view(); }
    bool empty() const { return chars == nullptr || chars[0] == 0; }
};

void setText(RecordText& text, std::u16string_view value);
void clearText(RecordText& text);

constexpr int kCameraNameSlots = 16;
constexpr int kCameraNameChars = 16;

struct DeviceRecord {
    // Stored fields: kept by the device store, moved by the copy rule.
    uint32_t id;                   // 0 means "no record" (also: setup cancelled)
    uint32_t reserved0;            // keeps the owner pointer aligned
    void* owner;                   // main dialog of the working record; never copied
    RecordText name;
    RecordText account;
    RecordText password;
    std::atomic<int32_t> modelIndex;   // rewritten by the link from the model code
    std::atomic<int32_t> framingKind;  // FramingKind; the setup dialog may store -1
    uint32_t useDdns;
    // Whether the link connects again by itself after losing the recorder:
    // 0 means it does (the default, so zeroed, new and old records read as
    // on), nonzero that it does not. Kept by the store with the record and
    // moved by the copy rule; the setup dialog does not show it.
    uint32_t autoReconnectOff;
    RecordText ddnsId;
    RecordText ddnsServer;
    uint16_t ddnsPort;
    uint8_t reserved2[2];
    uint32_t useStatic;            // nonzero: connect to address:port directly
    RecordText address;
    uint16_t port;
    uint8_t reserved3[2];

    // Connection fields: meaningful in the working record while connected.
    std::atomic<int32_t> currentChannel;  // 0-15
    uint8_t cap[7];
    uint8_t reserved4[5];
    uint32_t val[4];
    uint32_t modelCode;
    uint16_t protocolVersion;
    uint16_t protocolSubVersion;
    uint32_t deviceAttribute;
    uint32_t deviceValues[4];
    uint8_t reserved5[2];          // cleared together with the device values
    uint16_t cameraCount;
    uint16_t secondCount;
    uint8_t videoAttr1;
    uint8_t videoAttr2;
    uint32_t namesAreWide;
    char16_t cameraNames[kCameraNameSlots][kCameraNameChars];
};

// The layout is part of the interface of the two shared libraries.
static_assert(sizeof(void*) == 8, "the record layout below is for 64-bit hosts");
static_assert(offsetof(DeviceRecord, id) == 0);
static_assert(offsetof(DeviceRecord, owner) == 8);
static_assert(offsetof(DeviceRecord, name) == 16);
static_assert(offsetof(DeviceRecord, account) == 24);
static_assert(offsetof(DeviceRecord, password) == 32);
static_assert(offsetof(DeviceRecord, modelIndex) == 40);
static_assert(offsetof(DeviceRecord, framingKind) == 44);
static_assert(offsetof(DeviceRecord, useDdns) == 48);
static_assert(offsetof(DeviceRecord, autoReconnectOff) == 52);
static_assert(offsetof(DeviceRecord, ddnsId) == 56);
static_assert(offsetof(DeviceRecord, ddnsServer) == 64);
static_assert(offsetof(DeviceRecord, ddnsPort) == 72);
static_assert(offsetof(DeviceRecord, useStatic) == 76);
static_assert(offsetof(DeviceRecord, address) == 80);
static_assert(offsetof(DeviceRecord, port) == 88);
static_assert(offsetof(DeviceRecord, currentChannel) == 92);
static_assert(offsetof(DeviceRecord, cap) == 96);
static_assert(offsetof(DeviceRecord, val) == 108);
static_assert(offsetof(DeviceRecord, modelCode) == 124);
static_assert(offsetof(DeviceRecord, protocolVersion) == 128);
static_assert(offsetof(DeviceRecord, protocolSubVersion) == 130);
static_assert(offsetof(DeviceRecord, deviceAttribute) == 132);
static_assert(offsetof(DeviceRecord, deviceValues) == 136);
static_assert(offsetof(DeviceRecord, reserved5) == 152);
static_assert(offsetof(DeviceRecord, cameraCount) == 154);
static_assert(offsetof(DeviceRecord, secondCount) == 156);
static_assert(offsetof(DeviceRecord, videoAttr1) == 158);
static_assert(offsetof(DeviceRecord, videoAttr2) == 159);
static_assert(offsetof(DeviceRecord, namesAreWide) == 160);
static_assert(offsetof(DeviceRecord, cameraNames) == 164);
static_assert(sizeof(DeviceRecord) == 680);
static_assert(std::atomic<int32_t>::is_always_lock_free);
static_assert(sizeof(std::atomic<int32_t>) == 4);

// Values a new record's stored fields take (the setup dialog's reset).
constexpr uint16_t kDefaultDdnsPort = 2000;
constexpr uint16_t kDefaultRecorderPort = 3000;

// Fills the whole block with zero: empty texts, all numbers 0.
void initRecord(DeviceRecord& record);
// Releases the six texts; the block itself stays.
void releaseRecordTexts(DeviceRecord& record);

// A new heap record with empty texts and all numbers 0.
DeviceRecord* createRecord();
// Releases the texts, then the block. Accepts null.
void destroyRecord(DeviceRecord* record);

// The copy rule: the stored fields id, name, account, password, model index,
// framing kind, use-DDNS flag, DDNS id, DDNS server and port, use-static flag,
// recorder address and port, and the reconnect setting, texts by value.
// Owner, reserved bytes and the connection fields of the destination stay as
// they were.
void copyRecord(DeviceRecord& destination, const DeviceRecord& source);

// Sets the stored fields of a record that is about to be filled in by the
// user: empty texts, DDNS port 2000, recorder port 3000, use-DDNS on,
// use-static off, model index 0, framing kind 0, reconnecting on. The id is
// left alone.
void resetStoredFields(DeviceRecord& record);

}  // namespace orvix
