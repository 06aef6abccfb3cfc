// The store as the program reaches it: libnodra.so bound by name.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/library_binding.h"
#include "tests/store/store_fixture.h"

using namespace orvix;

namespace {

class NodraExportsTest : public StoreFixture {
protected:
    NodraExportsTest() : binding(bindLibraries()) { initRecord(working); }
    ~NodraExportsTest() override { releaseRecordTexts(working); }

    LibraryBinding binding;
    DeviceRecord working;
};

TEST_F(NodraExportsTest, SavedListComesBackThroughTheEntries) {
    ASSERT_TRUE(binding.storeAvailable()) << binding.problem;
    DeviceList list;
    list.append(makeRecord(21, u"\u6771\u4eac", u"\u043f\u0430\u0440\u043e\u043b\u044c"));
    list.append(makeRecord(22, u"Depot", u""));
    EXPECT_EQ(binding.saveDevInfoV2(&list, &working), 1);
    EXPECT_EQ(binding.storeNotice(), std::string());

    DeviceList loaded;
    EXPECT_EQ(loadDeviceList(binding, loaded, working), "");
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(storedFields(*loaded.at(0)), storedFields(*list.at(0)));
    EXPECT_EQ(storedFields(*loaded.at(1)), storedFields(*list.at(1)));

    // The first-generation entries behave the same; a null list is refused.
    DeviceList again;
    EXPECT_EQ(binding.loadDevInfo(&again, &working), 1);
    EXPECT_EQ(again.size(), 2u);
    EXPECT_EQ(binding.loadDevInfoV2(nullptr, &working), -1);
    EXPECT_EQ(binding.saveDevInfoV2(nullptr, &working), -1);
}

TEST_F(NodraExportsTest, QueuedSavesEndInTurnAndTellTheListener) {
    ASSERT_TRUE(binding.queuedStoreAvailable()) << binding.problem;
    struct Heard {
        std::vector<int> kinds;
        std::vector<NodraIdChange> changes;
    } heard;
    binding.storeSetListener(
        [](void* context, const NodraOutcome* outcome) {
            auto* h = static_cast<Heard*>(context);
            h->kinds.push_back(outcome->kind * 10 + outcome->ok);
            h->changes.insert(h->changes.end(), outcome->idChanges, outcome->idChanges + outcome->idChangeCount);
        },
        &heard);
    DeviceList list;
    ASSERT_EQ(binding.loadDevInfoNoKeyring(&list, &working), 1);
    DeviceList other;
    other.append(makeRecord(31, u"another program's", u""));
    ASSERT_EQ(binding.saveDevInfoV2(&other, &working), 1);
    list.append(makeRecord(31, u"mine", u""));
    EXPECT_EQ(binding.saveDevInfoQueued(&list, &working), 1);
    EXPECT_EQ(binding.storeWaitIdle(60000), 1);
    binding.storeSetListener(nullptr, &heard);

    EXPECT_EQ(heard.kinds, std::vector<int>{kNodraSaved * 10 + 1});
    ASSERT_EQ(heard.changes.size(), 1u);
    EXPECT_EQ(heard.changes[0].record, list.at(0));
    EXPECT_EQ(heard.changes[0].from, 31u);
    EXPECT_EQ(heard.changes[0].to, 32u);
    // The list's record keeps its id until its owner applies the change.
    EXPECT_EQ(list.at(0)->id, 31u);
    DeviceList loaded;
    EXPECT_EQ(loadDeviceList(binding, loaded, working), "");
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded.at(1)->id, 32u);
}

TEST_F(NodraExportsTest, ACorruptFileIsReportedThroughTheNotice) {
    ASSERT_TRUE(binding.storeAvailable()) << binding.problem;
    std::filesystem::create_directories(configHome / "orvix");
    writeFile(path(), "definitely not a database, but long enough to be taken for one.....");
    DeviceList list;
    const std::string notice = loadDeviceList(binding, list, working);
    EXPECT_TRUE(list.empty());
    EXPECT_NE(notice.find("devices.db.corrupt-"), std::string::npos) << notice;
    EXPECT_FALSE(onlyMovedAsideFile().empty());

    // The next call has nothing more to say.
    list.append(makeRecord(1, u"new", u""));
    EXPECT_EQ(saveDeviceList(binding, list, working), "");
}

}  // namespace
