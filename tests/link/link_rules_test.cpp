// Capability rules, status line texts and colours, rates, and the wrappers
// and stop sequence when there is nothing to act on.
#include <gtest/gtest.h>

#include <cstring>

#include "link/capabilities.h"
#include "link/command_wrappers.h"
#include "link/link_status.h"
#include "link/link_stop.h"
#include "link/recorder_connection.h"
#include "tests/link/stream_builders.h"

using namespace orvix;
using namespace orvix::test;

TEST(Capabilities, RuleByModelCodeAndProtocolVersion) {
    struct Case {
        uint32_t model;
        unsigned version;
        CapabilityRule rule;
    };
    const Case cases[] = {
        {11, 11, CapabilityRule::Full},    {13, 10, CapabilityRule::Masked}, {45, 5, CapabilityRule::Masked},
        {41, 4, CapabilityRule::AllOn},    {21, 30, CapabilityRule::Full},   {22, 10, CapabilityRule::Bitwise},
        {21, 5, CapabilityRule::Bitwise},  {22, 4, CapabilityRule::AllOn},   {51, 0, CapabilityRule::Full},
        {63, 7, CapabilityRule::Full},     {74, 12, CapabilityRule::Full},   {77, 1, CapabilityRule::Full},
        {14, 11, CapabilityRule::Unchanged}, {64, 11, CapabilityRule::Unchanged}, {75, 3, CapabilityRule::Unchanged},
    };
    for (const auto& c : cases)
        EXPECT_EQ(capabilityRule(c.model, c.version), c.rule) << c.model << " v" << c.version;
}

TEST(Capabilities, StoredPerRule) {
    DeviceRecord* record = createRecord();
    const Bytes payload = loginOkPayload(0x3F, 11, 22, 33, 44);
    const auto caps = [record] { return Bytes(record->cap, record->cap + 7); };

    record->modelCode = 52;
    record->protocolVersion = 2;
    storeCapabilities(*record, payload.data(), payload.size());
    EXPECT_EQ(caps(), (Bytes{1, 0x10, 1, 8, 4, 1, 1}));
    EXPECT_EQ(record->val[0], 11u);
    EXPECT_EQ(record->val[3], 44u);

    record->modelCode = 12;
    record->protocolVersion = 8;
    storeCapabilities(*record, payload.data(), payload.size());
    EXPECT_EQ(record->val[0], 11u);
    EXPECT_EQ(record->val[1], 0u);
    EXPECT_EQ(record->val[3], 0u);

    record->modelCode = 21;
    const Bytes bitwise = loginOkPayload(0x2A, 7);
    storeCapabilities(*record, bitwise.data(), bitwise.size());
    EXPECT_EQ(caps(), (Bytes{0, 2, 0, 8, 0, 0x20, 1}));
    EXPECT_EQ(record->val[0], 7u);

    record->protocolVersion = 4;
    storeCapabilities(*record, bitwise.data(), bitwise.size());
    EXPECT_EQ(caps(), (Bytes{1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(record->val[0], 0u);

    record->modelCode = 99;  // not in the table: nothing changes
    storeCapabilities(*record, payload.data(), payload.size());
    EXPECT_EQ(caps(), (Bytes{1, 1, 1, 1, 1, 1, 1}));

    // A short reply: the missing fields count as zero.
    record->modelCode = 61;
    storeCapabilities(*record, payload.data(), 6);
    EXPECT_EQ(caps(), (Bytes{1, 0x10, 1, 8, 4, 1, 1}));
    EXPECT_EQ(record->val[0], 0u);
    destroyRecord(record);
}

TEST(LinkStatus, TextsAndColours) {
    StatusValues values;
    values.address = "10.1.2.3";
    values.port = 3000;
    values.channel = 3;
    EXPECT_EQ(statusText(0, values), "Disconnect");
    EXPECT_EQ(statusText(1, values), "Connect Req Ip:10.1.2.3 Port:3000");
    EXPECT_EQ(statusText(6, values), "Login FAIL - Incorrect Account");
    EXPECT_EQ(statusText(7, values), "Connect FAIL - Model Mismatch");
    EXPECT_EQ(statusText(8, values), "Data Send Req Ch 03");
    values.channel = 12;
    EXPECT_EQ(statusText(8, values), "Data Send Req Ch 12");
    EXPECT_EQ(statusText(12, values), "DDNS Info Req");
    EXPECT_EQ(statusText(14, values), "Disconnect");
    EXPECT_EQ(statusText(15, values), "Search Info Req FAIL!");
    EXPECT_EQ(statusText(16, values), "Disconnect");
    EXPECT_EQ(statusText(-1, values), "Disconnect");

    for (int white : {0, 1, 2, 14, 16, 1000}) {
        EXPECT_EQ(statusColours(white).text, 0x00FFFFFFu) << white;
        EXPECT_EQ(statusColours(white).shadow, 0x00646464u) << white;
    }
    for (int red : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15}) {
        EXPECT_EQ(statusColours(red).text, 0x000000FFu) << red;
        EXPECT_EQ(statusColours(red).shadow, 0x00C8C8C8u) << red;
    }
}

TEST(LinkStatus, StatusLineOfAConnectionWithItsRates) {
    EXPECT_EQ(formatStatusLine(nullptr), "Disconnect");
    RecorderConnection connection;
    LinkShared shared;
    DeviceRecord* record = createRecord();
    connection.shared = &shared;
    connection.record = record;

    // Four seconds of 100 frames and 819200 bytes: 25 fps and 200.
    shared.framesCounter = 100;
    shared.bytesCounter = 819200;
    shared.updateRates();
    connection.status = 9;
    EXPECT_EQ(formatStatusLine(&connection), "Data Send OK [25fps][200byte]");
    EXPECT_EQ(shared.framesCounter.load(), 0u);
    shared.updateRates();
    EXPECT_EQ(formatStatusLine(&connection), "Data Send OK [0fps][0byte]");

    connection.statusAddress.set("192.168.0.10", 9000);
    connection.status = 1;
    EXPECT_EQ(formatStatusLine(&connection), "Connect Req Ip:192.168.0.10 Port:9000");
    record->currentChannel = 7;
    connection.status = 8;
    EXPECT_EQ(formatStatusLine(&connection), "Data Send Req Ch 07");
    destroyRecord(record);
}

TEST(CommandWrappers, NothingWithoutALinkAndOnlyInfoLinesBeforeStreaming) {
    requestData(nullptr, 1, 0);
    requestPtz(nullptr, 1, 0);
    switchAlarmOn(nullptr, 0, 0);
    switchAlarmOff(nullptr);
    EXPECT_EQ(requestRecordInfo(nullptr), nullptr);
    EXPECT_EQ(startSearch(nullptr, 1000), nullptr);
    EXPECT_EQ(endSearch(nullptr), nullptr);

    RecorderConnection connection;
    DeviceRecord* record = createRecord();
    connection.record = record;
    ASSERT_TRUE(connection.allocateBuffers());
    connection.status = 5;
    EXPECT_EQ(requestRecordInfo(&connection), nullptr);
    EXPECT_STREQ(startSearch(&connection, 1000), "Search start ...");
    EXPECT_EQ(connection.mode.load(), 0);
    connection.mode = 1;
    EXPECT_STREQ(endSearch(&connection), "Search end -> goto Live");
    EXPECT_EQ(connection.mode.load(), 1);
    destroyRecord(record);
}

TEST(LinkStop, WithoutARunningThreadNothingIsAwaited) {
    LinkShared shared;
    RecorderConnection connection;
    shared.threadState = kLinkReady;  // after a tear-down: 1 with no thread
    connection.status = 9;
    int waits = 0;
    stopLink(shared, &connection, nullptr, [&waits](int) { ++waits; });
    EXPECT_EQ(waits, 0);
    EXPECT_EQ(shared.threadState.load(), kLinkStopped);
    EXPECT_EQ(connection.status.load(), 0);
    stopLink(shared, nullptr, nullptr, {});
    EXPECT_EQ(shared.threadState.load(), kLinkStopped);
}
