#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "core/device_record.h"
#include "link/command_codes.h"
#include "link/command_payloads.h"
#include "link/wire_format.h"
#include "tests/link/hex.h"

using namespace orvix;
using orvix::test::hexBytes;
using orvix::test::toHex;

namespace {

struct RecordGuard {
    DeviceRecord* r = createRecord();
    ~RecordGuard() { destroyRecord(r); }
};

}  // namespace

TEST(LoginPayload, VersionOneSendsTwoTextFields) {
    RecordGuard g;
    setText(g.r->account, u"admin");
    setText(g.r->password, u"1234");
    g.r->protocolVersion = 1;
    uint8_t out[104];
    std::memset(out, 0xCC, sizeof out);
    ASSERT_EQ(buildLoginPayload(*g.r, out), 100u);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "admin");
    EXPECT_STREQ(reinterpret_cast<char*>(out + 50), "1234");
    for (int i = 5; i < 50; ++i) EXPECT_EQ(out[i], 0) << i;
    for (int i = 54; i < 100; ++i) EXPECT_EQ(out[i], 0) << i;
}

TEST(LoginPayload, VersionTwentyThreeAddsModelFieldByClass) {
    RecordGuard g;
    setText(g.r->account, u"admin");
    g.r->protocolVersion = 23;
    uint8_t out[104];
    g.r->modelIndex = 12;  // Wide class
    ASSERT_EQ(buildLoginPayload(*g.r, out), 104u);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "admin");
    EXPECT_EQ(readLe32(out + 100), 0u);
    g.r->modelIndex = 30;  // Plain class
    ASSERT_EQ(buildLoginPayload(*g.r, out), 104u);
    EXPECT_EQ(readLe32(out + 100), 7u);
    g.r->protocolVersion = 2;
    EXPECT_EQ(buildLoginPayload(*g.r, out), 104u);
}

TEST(LoginPayload, VersionTwentyFourSendsSaltedDigests) {
    RecordGuard g;
    setText(g.r->account, u"admin");
    setText(g.r->password, u"1234");
    g.r->protocolVersion = 24;
    g.r->modelIndex = 26;
    uint8_t out[104];
    ASSERT_EQ(buildLoginPayload(*g.r, out), 104u);
    EXPECT_EQ(toHex(out, 32), "13f2435bdfe24427e5519cda38dbf8718b07174ae31e0a8abb5742e557348725");
    EXPECT_EQ(toHex(out + 50, 32), "95721e7a24e2c745e82d9ffab95002f38f93d4e2eec396c9ea08b3799ed9e32d");
    for (int i = 32; i < 50; ++i) EXPECT_EQ(out[i], 0);
    for (int i = 82; i < 100; ++i) EXPECT_EQ(out[i], 0);
    EXPECT_EQ(readLe32(out + 100), 7u);
}

TEST(LoginPayload, EmptyAccountHashesTheSaltAlone) {
    RecordGuard g;
    g.r->protocolVersion = 300;
    uint8_t out[104];
    ASSERT_EQ(buildLoginPayload(*g.r, out), 104u);
    EXPECT_EQ(toHex(out, 32), "406771d9d98e087fe76f68f2ec10aa017d53a50c9042bfff96f9b291179363bb");
}

TEST(LoginPayload, LongTextsAreCutToTheField) {
    RecordGuard g;
    setText(g.r->account, std::u16string(80, u'x'));
    g.r->protocolVersion = 1;
    uint8_t out[104];
    ASSERT_EQ(buildLoginPayload(*g.r, out), 100u);
    EXPECT_EQ(std::strlen(reinterpret_cast<char*>(out)), 49u);
    EXPECT_EQ(out[49], 0);
}

TEST(LoginPayload, NoClassNoLogin) {
    RecordGuard g;
    g.r->modelIndex = 5;
    uint8_t out[104];
    EXPECT_EQ(buildLoginPayload(*g.r, out), 0u);
}

TEST(PtzPayload, PresetMoveCarriesPresetAndZeroParameter) {
    uint8_t out[16];
    ASSERT_TRUE(buildPtzPayload(out, 2, 5, 3));
    EXPECT_EQ(std::vector<uint8_t>(out, out + 16), hexBytes("02000000 12000000 03000000 00000000"));
    ASSERT_TRUE(buildPtzPayload(out, 0, 6, 16));
    EXPECT_EQ(readLe32(out + 4), 17u);
    EXPECT_EQ(readLe32(out + 8), 16u);
}

TEST(PtzPayload, ActionsMapToSubCodesWithParameterOne) {
    const uint32_t expected[11] = {5, 2, 3, 0, 1, 18, 17, 7, 8, 9, 10};
    uint8_t out[16];
    for (int action = 0; action <= 10; ++action) {
        ASSERT_TRUE(buildPtzPayload(out, 1, action, 9));
        EXPECT_EQ(readLe32(out + 4), expected[action]) << action;
        EXPECT_EQ(readLe32(out + 12), (action == 5 || action == 6) ? 0u : 1u) << action;
    }
    EXPECT_FALSE(buildPtzPayload(out, 1, 11, 0));
    EXPECT_FALSE(buildPtzPayload(out, 1, -1, 0));
}

TEST(AlarmPayload, AllOutputs) {
    uint8_t out[44];
    buildAlarmPayload(out, true, 0, 0);
    EXPECT_EQ(readLe16(out), 1);
    EXPECT_EQ(readLe16(out + 2), 0);
    EXPECT_EQ(out[4], 1);
    EXPECT_EQ(out[5], 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(readLe16(out + 8 + 2 * i), 0xFFFF);
    EXPECT_EQ(readLe32(out + 40), 0u);
}

TEST(AlarmPayload, OneOutputWithDuration) {
    uint8_t out[44];
    buildAlarmPayload(out, true, 2, 7200);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(out[5], 1);
    EXPECT_EQ(readLe16(out + 6), 1);
    for (int i = 8; i < 40; ++i) EXPECT_EQ(out[i], 0);
    EXPECT_EQ(readLe32(out + 40), 7200u);
    buildAlarmPayload(out, false, 2, 7200);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 44), std::vector<uint8_t>(44, 0));
}

TEST(DataRequest, PayloadMarksOnlyValidChannels) {
    uint8_t out[24];
    buildDataSendPayload(out, 1, 3, true);
    EXPECT_EQ(readLe32(out), 0u);
    EXPECT_EQ(readLe32(out + 4), 1u);
    for (int c = 0; c < 16; ++c) EXPECT_EQ(out[8 + c], c == 3 ? 1 : 0);
    buildDataSendPayload(out, 0, kNoChannel, true);  // no channel byte beyond 15
    for (int c = 0; c < 16; ++c) EXPECT_EQ(out[8 + c], 0);
    buildDataSendPayload(out, 0, -1, true);
    for (int c = 0; c < 16; ++c) EXPECT_EQ(out[8 + c], 0);
}

TEST(DataRequest, PlanFollowsModelOriginOptionAndMode) {
    // Ordinary models: one packet, flag = I-only, the channel marked.
    auto p = planDataRequest(4, 0, true, 0, false);
    ASSERT_EQ(p.count, 1);
    EXPECT_EQ(p.packets[0].flag, 1u);
    EXPECT_TRUE(p.packets[0].selected);
    p = planDataRequest(kNoChannel, 0, false, 0, false);
    ASSERT_EQ(p.count, 1);
    EXPECT_EQ(p.packets[0].flag, 0u);
    EXPECT_FALSE(p.packets[0].selected);

    // Origin 1 on models 10, 11, 26-46: one packet with flag 1.
    for (int model : {10, 11, 26, 46}) {
        p = planDataRequest(4, 1, true, model, false);
        ASSERT_EQ(p.count, 1);
        EXPECT_EQ(p.packets[0].flag, 1u);
        EXPECT_TRUE(p.packets[0].selected);
        p = planDataRequest(4, 1, false, model, false);
        EXPECT_FALSE(p.packets[0].selected);
    }
    p = planDataRequest(4, 1, true, 47, false);  // other models: the ordinary packet
    ASSERT_EQ(p.count, 1);

    // Models 10/11 with I-only: clear, then two packets for the channel.
    p = planDataRequest(4, 0, true, 10, true);
    ASSERT_EQ(p.count, 3);
    EXPECT_EQ(p.packets[0].flag, 0u);
    EXPECT_FALSE(p.packets[0].selected);
    EXPECT_EQ(p.packets[1].flag, 0u);
    EXPECT_TRUE(p.packets[1].selected);
    EXPECT_EQ(p.packets[2].flag, 1u);
    EXPECT_FALSE(p.playControlAfter);
    p = planDataRequest(kNoChannel, 0, true, 11, false);
    EXPECT_EQ(p.count, 1);

    // Models 26-46 with I-only: the same, then play control in search mode.
    p = planDataRequest(4, 0, true, 30, true);
    EXPECT_EQ(p.count, 3);
    EXPECT_TRUE(p.playControlAfter);
    p = planDataRequest(kNoChannel, 0, true, 30, true);
    EXPECT_EQ(p.count, 1);
    EXPECT_TRUE(p.playControlAfter);
    p = planDataRequest(4, 0, true, 30, false);
    EXPECT_FALSE(p.playControlAfter);
}

TEST(PlayControl, NumericForSomeModelsFixedBytesForOthers) {
    uint8_t out[4];
    buildPlayControlPayload(out, 12, PlayControlBlock{});
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), hexBytes("00 00 80 3F"));  // 1.0f
    buildPlayControlPayload(out, 10, PlayControlBlock{});
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), hexBytes("01 00 00 01"));
    buildPlayControlPayload(out, 30, PlayControlBlock{});
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), hexBytes("01 00 00 01"));
}

TEST(DdnsInfoRequest, IdCutToFifteenCharacters) {
    uint8_t out[16];
    std::memset(out, 0xCC, sizeof out);
    buildDdnsInfoReqPayload(out, u"G9ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), "G9ABCDEFGHIJKLM");
    EXPECT_EQ(out[15], 0);
}
