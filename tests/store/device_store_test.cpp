#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "store/device_store.h"
#include "tests/store/store_fixture.h"

using namespace orvix;
namespace fs = std::filesystem;

namespace {

class DeviceStoreTest : public StoreFixture {};

TEST_F(DeviceStoreTest, DatabaseLivesUnderTheConfigurationHome) {
    EXPECT_EQ(defaultDatabasePath(), (configHome / "orvix" / "devices.db").string());
    ::setenv("XDG_CONFIG_HOME", (configHome.string() + "/").c_str(), 1);
    EXPECT_EQ(defaultDatabasePath(), (configHome / "orvix" / "devices.db").string());
    // A relative XDG_CONFIG_HOME is not used.
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    ::setenv("HOME", root.c_str(), 1);
    EXPECT_EQ(defaultDatabasePath(), (root / ".config" / "orvix" / "devices.db").string());
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(defaultDatabasePath(), (root / ".config" / "orvix" / "devices.db").string());
}

TEST_F(DeviceStoreTest, RoundTripsEveryStoredFieldInListOrder) {
    DeviceList saved;
    saved.append(makeRecord(0xFFFFFFFF, u"Kamera K\u00fcche \u76e3\u8996 \U0001F4F7", u"p\u00e4ssw\u00f6rd \u2713"));
    saved.append(makeRecord(7, u"", u""));
    saved.append(makeRecord(3, u"third", u"'; DROP TABLE devices; --"));
    saved.at(1)->modelIndex = INT32_MIN;
    saved.at(1)->framingKind = -1;
    saved.at(1)->useDdns = 0xFFFFFFFF;
    saved.at(1)->ddnsPort = 0;
    saved.at(1)->port = 65535;
    saved.at(2)->currentChannel = 9;  // a connection field: not stored
    DeviceStore store(path());
    ASSERT_TRUE(store.save(saved)) << store.notice();
    EXPECT_TRUE(store.notice().empty());

    DeviceList loaded;
    DeviceStore reader(path());
    ASSERT_TRUE(reader.load(loaded)) << reader.notice();
    ASSERT_EQ(loaded.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(storedFields(*loaded.at(i)), storedFields(*saved.at(i))) << i;
    EXPECT_EQ(loaded.at(2)->currentChannel.load(), 0);
    EXPECT_EQ(loaded.at(2)->owner, nullptr);
}

TEST_F(DeviceStoreTest, NoFileIsAnEmptyListAndAnEmptyListIsSaved) {
    DeviceStore store(path());
    DeviceList list;
    EXPECT_TRUE(store.load(list));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(store.notice().empty());
    EXPECT_FALSE(fs::exists(path()));  // loading creates nothing

    list.append(makeRecord(1, u"one", u"x"));
    list.append(makeRecord(2, u"two", u"y"));
    ASSERT_TRUE(store.save(list));
    list.clear();
    ASSERT_TRUE(store.save(list));  // deleting the last entry saves the empty list
    DeviceList loaded;
    EXPECT_TRUE(store.load(loaded));
    EXPECT_TRUE(loaded.empty());
    EXPECT_TRUE(fs::exists(path()));
}

TEST_F(DeviceStoreTest, FilesAreOwnerOnly) {
    const mode_t previous = ::umask(0);
    DeviceStore store(path());
    DeviceList list;
    list.append(makeRecord(1, u"one", u"secret"));
    const bool saved = store.save(list);
    ::umask(previous);
    ASSERT_TRUE(saved) << store.notice();
    EXPECT_EQ(modeOf(path()), 0600u);
    EXPECT_EQ(modeOf((configHome / "orvix").string()), 0700u);
    EXPECT_EQ(modeOf(configHome.string()), 0700u);  // created by the store

    // A file someone opened up is closed again on the next save.
    ::chmod(path().c_str(), 0644);
    ASSERT_TRUE(store.save(list));
    EXPECT_EQ(modeOf(path()), 0600u);
}

TEST_F(DeviceStoreTest, ASaveAbandonedBetweenStatementsKeepsThePreviousList) {
    DeviceStore store(path());
    ASSERT_TRUE(store.save(threeRecords()));
    for (int stopAt : {0, 1, 2}) {
        SCOPED_TRACE(stopAt);
        store.setSaveStepHook([stopAt](int rows) { return rows < stopAt; });
        DeviceList replacement;
        replacement.append(makeRecord(9, u"new", u"n"));
        replacement.append(makeRecord(10, u"newer", u"n"));
        EXPECT_FALSE(store.save(replacement));
        EXPECT_FALSE(store.notice().empty());
        expectThreeRecords(path());
    }
}

TEST_F(DeviceStoreTest, AProcessKilledInTheMiddleOfASaveLeavesThePreviousList) {
    {
        DeviceStore store(path());
        ASSERT_TRUE(store.save(threeRecords()));
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Dies with the transaction open: old rows deleted, one new row in.
        DeviceStore store(path());
        store.setSaveStepHook([](int rows) {
            if (rows == 1) ::_exit(0);
            return true;
        });
        DeviceList replacement;
        replacement.append(makeRecord(9, u"new", u"n"));
        replacement.append(makeRecord(10, u"newer", u"n"));
        store.save(replacement);
        ::_exit(1);  // not reached
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(fs::exists(path() + "-journal"));  // the save really was cut off

    expectThreeRecords(path());
    DeviceStore store(path());
    DeviceList one;
    one.append(makeRecord(4, u"after", u"a"));
    EXPECT_TRUE(store.save(one));
}

TEST_F(DeviceStoreTest, AFileThatIsNotADatabaseIsMovedAsideAndNotOverwritten) {
    fs::create_directories(configHome / "orvix");
    const std::string garbage(3000, 'x');
    writeFile(path(), garbage);

    DeviceStore store(path());
    DeviceList list;
    EXPECT_FALSE(store.load(list));
    EXPECT_TRUE(list.empty());
    const std::string moved = onlyMovedAsideFile();
    ASSERT_FALSE(moved.empty());
    EXPECT_EQ(readFile(moved), garbage);
    EXPECT_FALSE(fs::exists(path()));
    EXPECT_NE(store.notice().find(moved), std::string::npos) << store.notice();

    // The program goes on: a new list is saved beside the old file.
    list.append(makeRecord(5, u"five", u"f"));
    ASSERT_TRUE(store.save(list)) << store.notice();
    EXPECT_EQ(readFile(moved), garbage);
    DeviceList loaded;
    EXPECT_TRUE(DeviceStore(path()).load(loaded));
    EXPECT_EQ(loaded.size(), 1u);
}

TEST_F(DeviceStoreTest, AFileDamagedAfterLoadingIsMovedAsideBySaving) {
    DeviceStore store(path());
    ASSERT_TRUE(store.save(threeRecords()));
    DeviceList list;
    ASSERT_TRUE(store.load(list));
    writeFile(path(), std::string(2048, 'z'));

    ASSERT_TRUE(store.save(list)) << store.notice();
    const std::string moved = onlyMovedAsideFile();
    EXPECT_EQ(readFile(moved), std::string(2048, 'z'));
    EXPECT_NE(store.notice().find(moved), std::string::npos) << store.notice();
    expectThreeRecords(path());
}

TEST_F(DeviceStoreTest, OtherSchemasAndDamagedFilesAreMovedAside) {
    const char* foreign[] = {
        "CREATE TABLE contacts (name TEXT);",
        "CREATE TABLE schema_version (version INTEGER); INSERT INTO schema_version VALUES (2);"
        "CREATE TABLE devices (position INTEGER);",
        // Our columns, but a port that does not fit its field.
        "CREATE TABLE schema_version (version INTEGER); INSERT INTO schema_version VALUES (1);"
        "CREATE TABLE devices (position INTEGER PRIMARY KEY, id, name, account, password, model_index,"
        " framing_kind, use_ddns, ddns_id, ddns_server, ddns_port, use_static, address, port);"
        "INSERT INTO devices VALUES (0, 1, 'n', 'a', 'p', 0, 0, 1, 'd', 's', 70000, 0, 'x', 1);",
    };
    for (const char* sql : foreign) {
        SCOPED_TRACE(sql);
        fs::remove_all(configHome);
        fs::create_directories(configHome / "orvix");
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);

        DeviceStore store(path());
        DeviceList list;
        EXPECT_FALSE(store.load(list));
        EXPECT_TRUE(list.empty());
        EXPECT_FALSE(onlyMovedAsideFile().empty());
        EXPECT_FALSE(fs::exists(path()));
    }

    // A device list with a damaged page.
    fs::remove_all(configHome);
    DeviceList many;
    for (uint32_t id = 1; id <= 200; ++id) many.append(makeRecord(id, u"recorder with a longish name", u"pw"));
    ASSERT_TRUE(DeviceStore(path()).save(many));
    ASSERT_GT(fs::file_size(path()), 3 * 4096u);
    {
        std::fstream file(path(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(2 * 4096);
        const std::string junk(4096, '\xA5');
        file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    DeviceStore store(path());
    DeviceList list;
    EXPECT_FALSE(store.load(list));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(onlyMovedAsideFile().empty());
}

TEST_F(DeviceStoreTest, ALockedFileIsNeitherMovedNorOverwritten) {
    DeviceStore writer(path());
    ASSERT_TRUE(writer.save(threeRecords()));
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path().c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    DeviceStore store(path());
    DeviceList list;
    EXPECT_FALSE(store.load(list));  // waits for the lock, then gives up
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(store.notice().empty());
    sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(holder);

    EXPECT_TRUE(onlyMovedAsideFile().empty());
    DeviceList other;
    other.append(makeRecord(9, u"would replace", u"x"));
    EXPECT_FALSE(store.save(other));  // the list it could not read stays
    expectThreeRecords(path());
}

TEST_F(DeviceStoreTest, ARowWithoutAnIdGetsAnUnusedOne) {
    DeviceList list;
    list.append(makeRecord(0, u"no id", u""));
    list.append(makeRecord(1, u"one", u""));
    ASSERT_TRUE(DeviceStore(path()).save(list));
    DeviceList loaded;
    ASSERT_TRUE(DeviceStore(path()).load(loaded));
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded.at(0)->id, 2u);
    EXPECT_EQ(loaded.at(1)->id, 1u);
}

}  // namespace
