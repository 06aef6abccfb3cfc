// Device list files of the previous version (without row keys, the keyring
// mark and the reconnect setting) are read, and once saved can still be
// written by that version.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "store/device_store.h"
#include "tests/store/previous_version_file.h"
#include "tests/store/store_fixture.h"

using namespace orvix;
namespace fs = std::filesystem;

namespace {

// Two rows, saved as the previous version did.
std::string previousVersionRows(const char* first, const char* second) {
    return std::string("DELETE FROM devices;") + previousVersionRow(0, 31, first, "pw-one") +
           "INSERT INTO devices (position, id, name, account, password, model_index, framing_kind, use_ddns,"
           " ddns_id, ddns_server, ddns_port, use_static, address, port) VALUES"
           " (1, 32, '" + second + "', 'viewer', 'pw-two', 51, 1, 1, 'G9X', 'ddns.example.com', 2001, 0, '', 3000);";
}

class FileCompatibilityTest : public StoreFixture {
protected:
    std::vector<std::string> columns() {
        std::vector<std::string> names;
        sqlite3* db = nullptr;
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_prepare_v2(db, "PRAGMA table_info(devices)", -1, &statement, nullptr), SQLITE_OK);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return names;
    }
};

TEST_F(FileCompatibilityTest, APreviousVersionsFileIsReadWithReconnectingOn) {
    runSql(std::string(kPreviousVersionSchema) + previousVersionRows("Shop", "Depot"));
    DeviceStore store(path());
    DeviceList list;
    ASSERT_TRUE(store.load(list)) << store.notice();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.at(0)->name.view(), u"Shop");
    EXPECT_EQ(list.at(0)->password.view(), u"pw-one");
    EXPECT_EQ(list.at(0)->address.view(), u"192.0.2.31");
    EXPECT_EQ(list.at(1)->password.view(), u"pw-two");
    EXPECT_EQ(list.at(1)->ddnsId.view(), u"G9X");
    for (const DeviceRecord* record : list.entries()) EXPECT_EQ(record->autoReconnectOff, 0u);
    EXPECT_TRUE(store.passwordReadable(*list.at(0)));

    // Saving adds the new columns and keeps every value; the setting of one
    // recorder is turned off.
    list.at(1)->autoReconnectOff = 1;
    ASSERT_TRUE(store.save(list)) << store.notice();
    const auto names = columns();
    for (const char* added : {"row_key", "password_in_keyring", "reconnect"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), added), names.end()) << added;
    }
    DeviceList loaded;
    ASSERT_TRUE(DeviceStore(path()).load(loaded));
    ASSERT_EQ(loaded.size(), 2u);
    for (size_t i = 0; i < 2; ++i) EXPECT_EQ(storedFields(*loaded.at(i)), storedFields(*list.at(i))) << i;
}

TEST_F(FileCompatibilityTest, ThePreviousVersionCanStillSaveIntoTheFile) {
    DeviceStore store(path());
    DeviceList list;
    list.append(makeRecord(5, u"five", u""));
    list.at(0)->autoReconnectOff = 1;
    ASSERT_TRUE(store.save(list));

    // Its inserts leave out the new columns, which take their defaults.
    runSql(previousVersionRows("Shop", "Depot"));
    DeviceList loaded;
    DeviceStore reader(path());
    ASSERT_TRUE(reader.load(loaded)) << reader.notice();
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded.at(0)->name.view(), u"Shop");
    EXPECT_EQ(loaded.at(1)->autoReconnectOff, 0u);

    // And this version goes on saving over what it wrote: the store that
    // knew "five" finds it gone and leaves the previous version's rows.
    list.append(makeRecord(6, u"six", u""));
    ASSERT_TRUE(store.save(list)) << store.notice();
    DeviceList after;
    ASSERT_TRUE(DeviceStore(path()).load(after));
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after.at(0)->name.view(), u"Shop");
    EXPECT_EQ(after.at(1)->name.view(), u"Depot");
    EXPECT_EQ(after.at(2)->name.view(), u"six");
}

TEST_F(FileCompatibilityTest, WritersOfAPreviousVersionsFileAgreeOnItsRows) {
    // Rows without keys: both writers must tell them apart the same way.
    runSql(std::string(kPreviousVersionSchema) + previousVersionRows("Shop", "Depot"));
    DeviceStore first(path()), second(path());
    DeviceList firstList, secondList;
    ASSERT_TRUE(first.load(firstList));
    ASSERT_TRUE(second.load(secondList));
    firstList.removeFirstWithId(31);
    ASSERT_TRUE(first.save(firstList));
    setText(secondList.findById(32)->name, u"Depot north");
    secondList.append(makeRecord(33, u"Gate", u""));
    ASSERT_TRUE(second.save(secondList));

    DeviceList loaded;
    ASSERT_TRUE(DeviceStore(path()).load(loaded));
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded.at(0)->name.view(), u"Depot north");
    EXPECT_EQ(loaded.at(1)->name.view(), u"Gate");
}

TEST_F(FileCompatibilityTest, NewColumnsOutOfRangeMakeTheFileUnreadable) {
    for (const char* bad : {"UPDATE devices SET reconnect = 2", "UPDATE devices SET password_in_keyring = 'x'"}) {
        SCOPED_TRACE(bad);
        fs::remove_all(configHome);
        DeviceList list;
        list.append(makeRecord(1, u"one", u""));
        ASSERT_TRUE(DeviceStore(path()).save(list));
        // The columns' own checks refuse such values; an edit that drops
        // them is what a damaged or hand-made file looks like.
        runSql(std::string("PRAGMA ignore_check_constraints = ON;") + bad);
        DeviceStore store(path());
        DeviceList loaded;
        EXPECT_FALSE(store.load(loaded));
        EXPECT_TRUE(loaded.empty());
        EXPECT_FALSE(onlyMovedAsideFile().empty());
    }
}

}  // namespace
