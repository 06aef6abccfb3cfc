#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <vector>

#include "core/device_record.h"
#include "link/device_description.h"
#include "link/wire_format.h"

using namespace orvix;

namespace {

struct RecordGuard {
    DeviceRecord* r = createRecord();
    ~RecordGuard() { destroyRecord(r); }
};

std::vector<uint8_t> longForm(size_t length, int16_t cameras, uint32_t wide) {
    std::vector<uint8_t> p(length, 0);
    writeLe32(p.data(), 42);
    writeLe16(p.data() + 4, static_cast<uint16_t>(cameras));
    writeLe16(p.data() + 6, 3);
    p[8] = 0xA1;
    p[9] = 0xA2;
    writeLe16(p.data() + 12, 24);
    writeLe16(p.data() + 14, 5);
    writeLe32(p.data() + 16, 0x11223344);
    for (int i = 0; i < 4; ++i) writeLe32(p.data() + 20 + 4 * i, 100u + i);
    writeLe32(p.data() + 36, wide);
    return p;
}

}  // namespace

TEST(DeviceDescription, LongFormStoresEveryField) {
    RecordGuard g;
    auto p = longForm(552, 2, 0);
    std::memcpy(p.data() + 40, "Gate", 4);
    std::memcpy(p.data() + 72, "Yard", 4);
    ASSERT_TRUE(storeDeviceDescription(*g.r, p.data(), p.size()));
    EXPECT_EQ(g.r->modelCode, 42u);
    EXPECT_EQ(g.r->modelIndex.load(), 12);
    EXPECT_EQ(g.r->cameraCount, 2);
    EXPECT_EQ(g.r->secondCount, 3);
    EXPECT_EQ(g.r->videoAttr1, 0xA1);
    EXPECT_EQ(g.r->videoAttr2, 0xA2);
    EXPECT_EQ(g.r->protocolVersion, 24);
    EXPECT_EQ(g.r->protocolSubVersion, 5);
    EXPECT_EQ(g.r->deviceAttribute, 0x11223344u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(g.r->deviceValues[i], 100u + i);
    EXPECT_EQ(g.r->namesAreWide, 0u);
    EXPECT_EQ(std::u16string(g.r->cameraNames[0]), u"Gate");
    EXPECT_EQ(std::u16string(g.r->cameraNames[1]), u"Yard");
    EXPECT_EQ(g.r->cameraNames[2][0], 0);
}

TEST(DeviceDescription, WideNamesAreCopiedAsSixteenCharacters) {
    RecordGuard g;
    auto p = longForm(556, 1, 1);
    for (int c = 0; c < 16; ++c) writeLe16(p.data() + 40 + 2 * c, static_cast<uint16_t>(0xAC00 + c));
    ASSERT_TRUE(storeDeviceDescription(*g.r, p.data(), p.size()));
    for (int c = 0; c < 16; ++c) EXPECT_EQ(g.r->cameraNames[0][c], 0xAC00 + c);
}

TEST(DeviceDescription, TooManyCamerasAndUnterminatedNamesStayInsideTheSlots) {
    RecordGuard g;
    g.r->namesAreWide = 0;
    auto p = longForm(556, 300, 0);
    std::memset(p.data() + 40, 'N', 556 - 40);  // no NUL anywhere
    // A canary right after the name slots.
    static_assert(offsetof(DeviceRecord, cameraNames) + sizeof(DeviceRecord::cameraNames) <= sizeof(DeviceRecord));
    ASSERT_TRUE(storeDeviceDescription(*g.r, p.data(), p.size()));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(std::u16string(g.r->cameraNames[i]), std::u16string(15, u'N')) << i;
    }
    EXPECT_EQ(g.r->cameraCount, 300);
}

TEST(DeviceDescription, NegativeCameraCountReadsNoNames) {
    RecordGuard g;
    auto p = longForm(552, -5, 0);
    std::memcpy(p.data() + 40, "Gate", 4);
    ASSERT_TRUE(storeDeviceDescription(*g.r, p.data(), p.size()));
    EXPECT_EQ(g.r->cameraNames[0][0], 0);
}

TEST(DeviceDescription, ShortFormOldAndNewVersions) {
    RecordGuard g;
    std::vector<uint8_t> p(276, 0);
    writeLe32(p.data(), 61);
    writeLe16(p.data() + 4, 0xFFF0);  // unsigned in the short form
    writeLe16(p.data() + 6, 7);
    writeLe32(p.data() + 8, 0x0000BB05);
    writeLe16(p.data() + 268, 6);
    writeLe16(p.data() + 270, 2);
    g.r->deviceAttribute = 9;
    g.r->namesAreWide = 1;
    ASSERT_TRUE(storeDeviceDescription(*g.r, p.data(), p.size()));
    EXPECT_EQ(g.r->modelIndex.load(), 26);
    EXPECT_EQ(g.r->cameraCount, 0xFFF0);
    EXPECT_EQ(g.r->secondCount, 7);
    EXPECT_EQ(g.r->protocolVersion, 6);
    EXPECT_EQ(g.r->protocolSubVersion, 2);
    EXPECT_EQ(g.r->videoAttr1, 0x05);  // low byte of the 32-bit value
    EXPECT_EQ(g.r->videoAttr2, 1);
    EXPECT_EQ(g.r->namesAreWide, 0u);
    EXPECT_EQ(g.r->deviceAttribute, 0u);

    writeLe16(p.data() + 268, 7);
    ASSERT_TRUE(storeDeviceDescription(*g.r, p.data(), p.size()));
    EXPECT_EQ(g.r->videoAttr1, 0x05);
    EXPECT_EQ(g.r->videoAttr2, 0xBB);
}

TEST(DeviceDescription, OtherLengthsOnlyClearTheDeviceValues) {
    RecordGuard g;
    g.r->modelIndex = 3;
    g.r->modelCode = 77;
    for (auto& v : g.r->deviceValues) v = 5;
    g.r->reserved5[0] = 9;
    auto p = longForm(553, 1, 0);
    EXPECT_FALSE(storeDeviceDescription(*g.r, p.data(), p.size()));
    for (auto v : g.r->deviceValues) EXPECT_EQ(v, 0u);
    EXPECT_EQ(g.r->reserved5[0], 0);
    EXPECT_EQ(g.r->modelIndex.load(), 3);
    EXPECT_EQ(g.r->modelCode, 77u);
}

TEST(DeviceDescription, UnknownModelCodeLeavesModelIndex) {
    RecordGuard g;
    g.r->modelIndex = 33;
    auto p = longForm(552, 0, 0);
    writeLe32(p.data(), 99);
    ASSERT_TRUE(storeDeviceDescription(*g.r, p.data(), p.size()));
    EXPECT_EQ(g.r->modelIndex.load(), 33);
    EXPECT_EQ(g.r->modelCode, 99u);
}
