#include <gtest/gtest.h>

#include "core/device_list.h"

using namespace orvix;

namespace {

DeviceRecord* recordWithId(uint32_t id, const char16_t* name) {
    DeviceRecord* r = createRecord();
    r->id = id;
    setText(r->name, name);
    return r;
}

}  // namespace

TEST(DeviceList, KeepsInsertionOrderAndFindsFirstMatchingId) {
    DeviceList list;
    list.append(recordWithId(5, u"a"));
    list.append(recordWithId(7, u"b"));
    list.append(recordWithId(5, u"c"));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.at(2)->name.view(), u"c");
    EXPECT_EQ(list.findById(5)->name.view(), u"a");
    EXPECT_EQ(list.indexOfId(7), 1);
    EXPECT_EQ(list.findById(8), nullptr);
    EXPECT_EQ(list.findById(0), nullptr);
}

TEST(DeviceList, RemoveTakesFirstMatchOnly) {
    DeviceList list;
    list.append(recordWithId(5, u"a"));
    list.append(recordWithId(5, u"b"));
    EXPECT_TRUE(list.removeFirstWithId(5));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.at(0)->name.view(), u"b");
    EXPECT_FALSE(list.removeFirstWithId(9));
    EXPECT_TRUE(list.removeFirstWithId(5));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(list.removeFirstWithId(5));
}

TEST(DeviceList, EmptyListFindsNothing) {
    DeviceList list;
    EXPECT_EQ(list.findById(1), nullptr);
    EXPECT_EQ(list.indexOfId(1), -1);
    list.append(nullptr);  // ignored
    EXPECT_TRUE(list.empty());
}

TEST(DeviceList, UniqueIdSkipsTakenIdsAndZero) {
    DeviceList list;
    EXPECT_EQ(list.uniqueId(100), 100u);
    list.append(recordWithId(100, u"a"));
    list.append(recordWithId(101, u"b"));
    EXPECT_EQ(list.uniqueId(100), 102u);
    EXPECT_EQ(list.uniqueId(0), 1u);
    list.append(recordWithId(0xFFFFFFFF, u"c"));
    list.append(recordWithId(1, u"d"));
    EXPECT_EQ(list.uniqueId(0xFFFFFFFF), 2u);
}
