#include <gtest/gtest.h>

#include <cstring>

#include "core/device_record.h"

using namespace orvix;

namespace {

DeviceRecord* filledRecord() {
    DeviceRecord* r = createRecord();
    r->id = 77;
    r->owner = reinterpret_cast<void*>(0x1234);
    setText(r->name, u"Front door");
    setText(r->account, u"admin");
    setText(r->password, u"s\u00e9cret");
    r->modelIndex = 12;
    r->framingKind = 1;
    r->useDdns = 1;
    setText(r->ddnsId, u"G9ABC");
    setText(r->ddnsServer, u"ddns.example.org");
    r->ddnsPort = 3100;
    r->useStatic = 0;
    setText(r->address, u"192.0.2.7");
    r->port = 9000;
    r->currentChannel = 5;
    r->cap[0] = 9;
    r->val[3] = 99;
    r->modelCode = 42;
    r->cameraCount = 4;
    r->cameraNames[3][0] = u'X';
    r->reserved2[0] = 0xAB;
    r->autoReconnectOff = 1;
    return r;
}

}  // namespace

TEST(DeviceRecord, NewRecordHasEmptyTextsAndZeroNumbers) {
    DeviceRecord* r = createRecord();
    EXPECT_TRUE(r->name.empty());
    EXPECT_TRUE(r->address.empty());
    EXPECT_EQ(r->id, 0u);
    EXPECT_EQ(r->port, 0);
    EXPECT_EQ(r->currentChannel.load(), 0);
    EXPECT_EQ(r->name.view(), u"");
    destroyRecord(r);
    destroyRecord(nullptr);
}

TEST(DeviceRecord, CopyMovesStoredFieldsOnly) {
    DeviceRecord* source = filledRecord();
    DeviceRecord* destination = createRecord();
    destination->owner = reinterpret_cast<void*>(0x9999);
    destination->currentChannel = 11;
    destination->cap[0] = 3;
    destination->val[3] = 4;
    destination->modelCode = 5;
    destination->cameraCount = 2;
    destination->cameraNames[3][0] = u'Y';
    destination->reserved2[0] = 0x11;

    copyRecord(*destination, *source);

    EXPECT_EQ(destination->id, 77u);
    EXPECT_EQ(destination->name.view(), u"Front door");
    EXPECT_EQ(destination->account.view(), u"admin");
    EXPECT_EQ(destination->password.view(), u"s\u00e9cret");
    EXPECT_EQ(destination->modelIndex.load(), 12);
    EXPECT_EQ(destination->framingKind.load(), 1);
    EXPECT_EQ(destination->useDdns, 1u);
    EXPECT_EQ(destination->ddnsId.view(), u"G9ABC");
    EXPECT_EQ(destination->ddnsServer.view(), u"ddns.example.org");
    EXPECT_EQ(destination->ddnsPort, 3100);
    EXPECT_EQ(destination->useStatic, 0u);
    EXPECT_EQ(destination->address.view(), u"192.0.2.7");
    EXPECT_EQ(destination->port, 9000);
    EXPECT_EQ(destination->autoReconnectOff, 1u);
    // Owner, reserved bytes and connection fields stay.
    EXPECT_EQ(destination->owner, reinterpret_cast<void*>(0x9999));
    EXPECT_EQ(destination->reserved2[0], 0x11);
    EXPECT_EQ(destination->currentChannel.load(), 11);
    EXPECT_EQ(destination->cap[0], 3);
    EXPECT_EQ(destination->val[3], 4u);
    EXPECT_EQ(destination->modelCode, 5u);
    EXPECT_EQ(destination->cameraCount, 2);
    EXPECT_EQ(destination->cameraNames[3][0], u'Y');

    // Texts are copied by value: changing the source leaves the copy.
    setText(source->name, u"Changed");
    EXPECT_EQ(destination->name.view(), u"Front door");
    destroyRecord(source);
    destroyRecord(destination);
}

TEST(DeviceRecord, CopyOfEmptyTextsClearsDestinationTexts) {
    DeviceRecord* source = createRecord();
    DeviceRecord* destination = filledRecord();
    copyRecord(*destination, *source);
    EXPECT_TRUE(destination->name.empty());
    EXPECT_TRUE(destination->ddnsServer.empty());
    copyRecord(*destination, *destination);  // self-copy keeps everything
    EXPECT_TRUE(destination->name.empty());
    destroyRecord(source);
    destroyRecord(destination);
}

TEST(DeviceRecord, SetTextStopsAtEmbeddedNul) {
    RecordText text;
    setText(text, std::u16string_view(u"ab\0cd", 5));
    EXPECT_EQ(text.view(), u"ab");
    setText(text, u"");
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(text.chars, nullptr);
    clearText(text);
}

TEST(DeviceRecord, ResetGivesNewRecordDefaults) {
    DeviceRecord* r = filledRecord();
    resetStoredFields(*r);
    EXPECT_TRUE(r->name.empty());
    EXPECT_TRUE(r->account.empty());
    EXPECT_TRUE(r->password.empty());
    EXPECT_TRUE(r->ddnsId.empty());
    EXPECT_TRUE(r->ddnsServer.empty());
    EXPECT_TRUE(r->address.empty());
    EXPECT_EQ(r->ddnsPort, 2000);
    EXPECT_EQ(r->port, 3000);
    EXPECT_EQ(r->useDdns, 1u);
    EXPECT_EQ(r->useStatic, 0u);
    EXPECT_EQ(r->autoReconnectOff, 0u);  // a new recorder reconnects by itself
    EXPECT_EQ(r->modelIndex.load(), 0);
    EXPECT_EQ(r->framingKind.load(), 0);
    EXPECT_EQ(r->id, 77u);  // the id is the setup dialog's business
    destroyRecord(r);
}
