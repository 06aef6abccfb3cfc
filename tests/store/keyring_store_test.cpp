// The device store against a real Secret Service: a gnome-keyring-daemon on
// a private session bus (see keyring_test_main.cpp).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <set>
#include <thread>
#include <tuple>

#include "store/device_store.h"
#include "tests/store/keyring_support.h"
#include "tests/store/previous_version_file.h"
#include "tests/store/store_fixture.h"

using namespace orvix;
using namespace std::chrono_literals;

namespace {

constexpr char kNoBus[] = "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/orvix-tests-no-bus";

class KeyringStoreTest : public StoreFixture {
protected:
    KeyringStoreTest() { clearOrvixSecrets(); }

    std::vector<StoredFields> loadFresh(std::string* notice = nullptr) const {
        DeviceStore store(path());
        DeviceList list;
        EXPECT_TRUE(store.load(list)) << store.notice();
        if (notice != nullptr) *notice = store.notice() + store.passwordNotice();
        std::vector<StoredFields> fields;
        for (const DeviceRecord* record : list.entries()) {
            EXPECT_TRUE(store.passwordReadable(*record));
            fields.push_back(storedFields(*record));
        }
        return fields;
    }
    // Saves recorders (id, name, password) with a store of their own.
    void saveRecorders(const std::vector<std::tuple<uint32_t, std::u16string, std::u16string>>& recorders) const {
        DeviceList list;
        for (const auto& [id, name, password] : recorders) list.append(makeRecord(id, name, password));
        ASSERT_TRUE(DeviceStore(path()).save(list));
    }
    bool fileHolds(const std::string& bytes) const { return readFile(path()).find(bytes) != std::string::npos; }
    void writePreviousVersionFile() const {
        runSql(std::string(kPreviousVersionSchema) + previousVersionRow(0, 61, "Shop", "old-pw-1") +
               previousVersionRow(1, 62, "Depot", "old-pw-2") + previousVersionRow(2, 63, "Gate", "old-pw-3"));
    }
};

TEST_F(KeyringStoreTest, PasswordsAreKeptInTheKeyringAndNotInTheFile) {
    DeviceList list;
    list.append(makeRecord(41, u"Front gate", u"gate-secret-41"));
    list.append(makeRecord(42, u"Yard", u""));
    list.append(makeRecord(43, u"K\u00fcche", u"p\u00e4ss-43"));
    DeviceStore store(path());
    ASSERT_TRUE(store.save(list)) << store.notice();
    EXPECT_EQ(store.notice(), "");
    EXPECT_EQ(store.passwordNotice(), "");

    const auto rows = rawRows();
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows) EXPECT_EQ(row.password, "") << row.name;
    EXPECT_EQ(rows[0].inKeyring, 1);
    EXPECT_EQ(rows[1].inKeyring, 0);
    EXPECT_EQ(rows[2].inKeyring, 1);
    EXPECT_FALSE(fileHolds("gate-secret-41"));
    EXPECT_FALSE(fileHolds(toUtf8(u"p\u00e4ss-43")));

    const auto items = orvixKeyringItems();
    ASSERT_EQ(items.size(), 2u);
    for (const KeyringItem& item : items) {
        const bool gate = item.attributes.at("recorder-id") == "41";
        EXPECT_EQ(item.label, gate ? "ORVIX recorder Front gate" : toUtf8(u"ORVIX recorder K\u00fcche"));
        EXPECT_EQ(item.attributes.at("application"), "orvix");
        EXPECT_EQ(item.attributes.at("key"), std::to_string(gate ? rows[0].key : rows[2].key));
        EXPECT_EQ(item.attributes.at("address"), gate ? "192.0.2.1:3041" : "192.0.2.1:3043");
        EXPECT_EQ(item.secret, gate ? "gate-secret-41" : toUtf8(u"p\u00e4ss-43"));
    }

    std::string notice;
    const auto loaded = loadFresh(&notice);
    ASSERT_EQ(loaded.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(loaded[i], storedFields(*list.at(i))) << i;
    EXPECT_EQ(notice, "");
}

TEST_F(KeyringStoreTest, RenamedReaddressedAndChangedRecordersKeepOneSecretEach) {
    DeviceList first;
    first.append(makeRecord(44, u"Office", u"office-pw"));
    ASSERT_TRUE(DeviceStore(path()).save(first));

    DeviceStore store(path());
    DeviceList list;
    ASSERT_TRUE(store.load(list));
    DeviceRecord& office = *list.at(0);
    setText(office.name, u"Office east");
    setText(office.address, u"198.51.100.44");
    ASSERT_TRUE(store.save(list)) << store.notice();
    auto items = orvixKeyringItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].label, "ORVIX recorder Office east");
    EXPECT_EQ(items[0].attributes.at("address"), "198.51.100.44:3044");
    EXPECT_EQ(items[0].secret, "office-pw");
    EXPECT_EQ(loadFresh().at(0), storedFields(office));

    setText(office.password, u"office-pw-2");
    ASSERT_TRUE(store.save(list));
    items = orvixKeyringItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].secret, "office-pw-2");
    EXPECT_EQ(loadFresh().at(0).password, u"office-pw-2");

    // No password: no secret, and nothing marked as kept there.
    setText(office.password, u"");
    ASSERT_TRUE(store.save(list));
    EXPECT_TRUE(orvixKeyringItems().empty());
    EXPECT_EQ(rawRows().at(0).inKeyring, 0);
    EXPECT_EQ(loadFresh().at(0).password, u"");
}

TEST_F(KeyringStoreTest, DeletingARecorderRemovesItsSecret) {
    DeviceStore store(path());
    DeviceList list;
    ASSERT_TRUE(store.load(list));
    list.append(makeRecord(45, u"one", u"pw-45"));
    list.append(makeRecord(46, u"two", u"pw-46"));
    list.append(makeRecord(47, u"three", u"pw-47"));
    ASSERT_TRUE(store.save(list));
    ASSERT_EQ(orvixKeyringItems().size(), 3u);

    list.removeFirstWithId(46);
    ASSERT_TRUE(store.save(list)) << store.notice();
    std::set<std::string> secrets;
    for (const KeyringItem& item : orvixKeyringItems()) secrets.insert(item.secret);
    EXPECT_EQ(secrets, (std::set<std::string>{"pw-45", "pw-47"}));
    const auto loaded = loadFresh();
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[1].password, u"pw-47");
}

TEST_F(KeyringStoreTest, PasswordsReadWhenAskedStayInTheKeyringThroughSaves) {
    saveRecorders({{57, u"Mill", u"mill-pw"}, {58, u"Pier", u"pier-pw"}});

    DeviceStore store(path());
    DeviceList list;
    ASSERT_TRUE(store.load(list, DeviceStore::KeyringReads::WhenAsked));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.at(0)->password.view(), u"");
    std::u16string password;
    ASSERT_TRUE(store.readPassword(list, *list.at(0), password)) << store.notice();
    EXPECT_EQ(password, u"mill-pw");

    // Saved without them: renamed, another password, a new recorder.
    setText(list.at(0)->name, u"Mill east");
    setText(list.at(1)->password, u"pier-pw-2");
    list.append(makeRecord(59, u"Quay", u""));
    ASSERT_TRUE(store.save(list)) << store.notice();
    const auto loaded = loadFresh();
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0].name, u"Mill east");
    EXPECT_EQ(loaded[0].password, u"mill-pw");
    EXPECT_EQ(loaded[1].password, u"pier-pw-2");
    EXPECT_EQ(orvixKeyringItems().size(), 2u);
}

TEST_F(KeyringStoreTest, APreviousVersionsFileMovesItsPasswordsOnTheFirstSave) {
    writePreviousVersionFile();
    DeviceStore store(path());
    DeviceList list;
    ASSERT_TRUE(store.load(list));
    EXPECT_EQ(list.at(1)->password.view(), u"old-pw-2");
    EXPECT_EQ(store.passwordNotice(), "");  // a keyring answers: they move at the next save
    EXPECT_TRUE(orvixKeyringItems().empty());

    ASSERT_TRUE(store.save(list)) << store.notice();
    for (const auto& row : rawRows()) {
        EXPECT_EQ(row.password, "") << row.name;
        EXPECT_EQ(row.inKeyring, 1) << row.name;
    }
    // Not in a free page either.
    EXPECT_FALSE(fileHolds("old-pw-"));
    EXPECT_EQ(orvixKeyringItems().size(), 3u);
    const auto loaded = loadFresh();
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0].password, u"old-pw-1");
    EXPECT_EQ(loaded[2].password, u"old-pw-3");
}

TEST_F(KeyringStoreTest, AKeyringThatFailsHalfWayThroughASaveLosesNothing) {
    writePreviousVersionFile();
    // Another program moves the passwords; its keyring daemon dies after
    // the first one.
    const ToolRun save = runStoreTool({"save-stopping-keyring", path(), "1"});
    ASSERT_EQ(save.exitCode, 0) << save.err;
    EXPECT_EQ(save.values("saved"), std::vector<std::string>{"1"}) << save.out;
    EXPECT_EQ(save.values("password-notice").size(), 1u) << save.out;
    const auto rows = rawRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].inKeyring, 1);
    EXPECT_EQ(rows[0].password, "");
    EXPECT_EQ(rows[1].password, "old-pw-2");
    EXPECT_EQ(rows[2].password, "old-pw-3");

    // With the keyring back, every password is there, and the next save
    // moves the rest.
    ASSERT_GT(startKeyringDaemon(), 0);
    const ToolRun load = runStoreTool({"load", path()});
    EXPECT_EQ(load.values("record"), (std::vector<std::string>{"Shop\told-pw-1\treadable", "Depot\told-pw-2\treadable",
                                                               "Gate\told-pw-3\treadable"}))
        << load.out << load.err;
    const ToolRun resave = runStoreTool({"resave", path()});
    EXPECT_EQ(resave.values("saved"), std::vector<std::string>{"1"}) << resave.out << resave.err;
    for (const auto& row : rawRows()) EXPECT_EQ(row.inKeyring, 1) << row.name;
    EXPECT_FALSE(fileHolds("old-pw-"));
}

TEST_F(KeyringStoreTest, WithoutTheKeyringItsPasswordsStayAndNewOnesGoToTheFile) {
    DeviceList list;
    list.append(makeRecord(48, u"Lobby", u"lobby-pw"));
    ASSERT_TRUE(DeviceStore(path()).save(list));

    const ToolRun load = runStoreTool({"load", path()}, {kNoBus});
    EXPECT_EQ(load.values("record"), std::vector<std::string>{"Lobby\t\tunreadable"}) << load.out;
    ASSERT_EQ(load.values("notice").size(), 1u) << load.out;
    EXPECT_NE(load.values("notice")[0].find("could not be read"), std::string::npos);

    // A program without the keyring saves: the kept password stays where
    // it is, the new one goes to the file, and the program says so.
    const ToolRun add = runStoreTool({"add", path(), "49", "Dock", "dock-pw"}, {kNoBus});
    EXPECT_EQ(add.values("saved"), std::vector<std::string>{"1"}) << add.out;
    EXPECT_EQ(add.values("password-notice").size(), 1u) << add.out;
    auto rows = rawRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].inKeyring, 1);
    EXPECT_EQ(rows[1].password, "dock-pw");

    // With the keyring, both log in again, and the next save moves the new one.
    const ToolRun again = runStoreTool({"resave", path()});
    EXPECT_EQ(again.values("saved"), std::vector<std::string>{"1"});
    rows = rawRows();
    EXPECT_EQ(rows[1].inKeyring, 1);
    const auto loaded = loadFresh();
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].password, u"lobby-pw");
    EXPECT_EQ(loaded[1].password, u"dock-pw");
}

TEST_F(KeyringStoreTest, ALockedKeyringThatStaysLockedFallsBackToTheFile) {
    DeviceList list;
    list.append(makeRecord(51, u"Garden", u"garden-pw"));
    ASSERT_TRUE(DeviceStore(path()).save(list));
    ASSERT_TRUE(lockDefaultCollection());
    struct Unlock {
        ~Unlock() { EXPECT_GT(restartKeyringDaemon(), 0); }
    } unlockAfterwards;

    // Unlocking needs a prompt, which nobody answers on this bus.
    DeviceStore store(path());
    store.setKeyringCallLimit(5s);
    DeviceList loaded;
    ASSERT_TRUE(store.load(loaded));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_FALSE(store.passwordReadable(*loaded.at(0)));
    EXPECT_NE(store.notice().find("could not be read"), std::string::npos) << store.notice();

    loaded.append(makeRecord(52, u"Shed", u"shed-pw"));
    ASSERT_TRUE(store.save(loaded)) << store.notice();
    EXPECT_NE(store.passwordNotice(), "");
    const auto rows = rawRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].inKeyring, 1);  // still there, for when it is unlocked
    EXPECT_EQ(rows[1].password, "shed-pw");
}

TEST_F(KeyringStoreTest, AKeyringThatStopsAnsweringIsGivenUpAfterItsTimeLimit) {
    DeviceList list;
    list.append(makeRecord(53, u"Roof", u"roof-pw"));
    ASSERT_TRUE(DeviceStore(path()).save(list));

    const pid_t daemon = keyringDaemonPid();
    ASSERT_GT(daemon, 0);
    ASSERT_EQ(::kill(daemon, SIGSTOP), 0);
    struct Resume {
        pid_t pid;
        ~Resume() { ::kill(pid, SIGCONT); }
    } resume{daemon};

    DeviceStore store(path());
    store.setKeyringCallLimit(1s);
    DeviceList loaded;
    ASSERT_TRUE(store.load(loaded));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_FALSE(store.passwordReadable(*loaded.at(0)));
    EXPECT_NE(store.notice().find("no answer within 1 s"), std::string::npos) << store.notice();
    // Not asked again by this store: saving goes straight to the file.
    setText(loaded.at(0)->password, u"roof-pw-2");
    ASSERT_TRUE(store.save(loaded));
    EXPECT_EQ(rawRows().at(0).password, "roof-pw-2");
}

TEST_F(KeyringStoreTest, TwoProgramsChangingOnePasswordLeaveRowAndSecretOfTheSameWriter) {
    saveRecorders({{54, u"Porch", u"porch-pw"}});

    // The first writer dwells in the keyring; the second starts meanwhile
    // and would, unless the two take turns, save its row first.
    ToolRun first, second;
    std::thread slow([&] { first = runStoreTool({"change", path(), "Porch", "pw-first", "first", "1000"}); });
    std::this_thread::sleep_for(300ms);
    second = runStoreTool({"change", path(), "Porch", "pw-second", "second", "0"});
    slow.join();
    EXPECT_EQ(first.values("saved"), std::vector<std::string>{"1"}) << first.out << first.err;
    EXPECT_EQ(second.values("saved"), std::vector<std::string>{"1"}) << second.out << second.err;

    const auto loaded = loadFresh();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].password, u"pw-" + loaded[0].account);
    ASSERT_EQ(orvixKeyringItems().size(), 1u);
    EXPECT_EQ(rawRows().at(0).inKeyring, 1);
}

TEST_F(KeyringStoreTest, ARowWrittenAsTheListHasItBringsItsPasswordAlong) {
    saveRecorders({{60, u"Barn", u"barn-pw"}});
    DeviceStore store(path());
    DeviceList list;
    ASSERT_TRUE(store.load(list));
    // Another program changes the password; this one then the account only.
    const ToolRun other = runStoreTool({"change", path(), "Barn", "pw-other", "other", "0"});
    ASSERT_EQ(other.values("saved"), std::vector<std::string>{"1"}) << other.out << other.err;
    setText(list.at(0)->account, u"mine");
    ASSERT_TRUE(store.save(list)) << store.notice();
    const auto loaded = loadFresh();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].account, u"mine");
    EXPECT_EQ(loaded[0].password, u"barn-pw");
}

TEST_F(KeyringStoreTest, AFailedSaveTakesBackEverySecretItWrote) {
    saveRecorders({{55, u"Attic", u"attic-old"}, {56, u"Cellar", u"cellar-old"}});
    DeviceStore store(path());
    store.setKeyringCallLimit(1s);
    DeviceList list;
    ASSERT_TRUE(store.load(list));

    // The keyring takes the first new password and then stops answering;
    // it is back before the save fails.
    const pid_t daemon = keyringDaemonPid();
    struct Resume {
        pid_t pid;
        ~Resume() { ::kill(pid, SIGCONT); }
    } resume{daemon};
    store.setKeyringStepHook([daemon](int stored) {
        if (stored == 1) ::kill(daemon, SIGSTOP);
    });
    store.setSaveStepHook([daemon](int) {
        ::kill(daemon, SIGCONT);
        return false;
    });
    setText(list.at(0)->password, u"attic-new");
    setText(list.at(1)->password, u"cellar-new");
    EXPECT_FALSE(store.save(list));

    std::set<std::string> secrets;
    for (const KeyringItem& item : orvixKeyringItems()) secrets.insert(item.secret);
    EXPECT_EQ(secrets, (std::set<std::string>{"attic-old", "cellar-old"}));
    const auto loaded = loadFresh();
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].password, u"attic-old");
    EXPECT_EQ(loaded[1].password, u"cellar-old");
}

TEST_F(KeyringStoreTest, ProgramsSavingAtOnceKeepEveryRecorderAndPassword) {
    constexpr int kPrograms = 4, kEach = 3;
    std::vector<std::thread> programs;
    std::vector<int> saved(kPrograms, 0);
    for (int p = 0; p < kPrograms; ++p) {
        programs.emplace_back([&, p] {
            for (int i = 0; i < kEach; ++i) {
                const std::string id = std::to_string(100 + p * 10 + i);
                const ToolRun run = runStoreTool({"add", path(), id, "rec-" + id, "pw-" + id});
                if (run.values("saved") == std::vector<std::string>{"1"}) ++saved[static_cast<size_t>(p)];
            }
        });
    }
    for (std::thread& program : programs) program.join();
    for (int p = 0; p < kPrograms; ++p) EXPECT_EQ(saved[static_cast<size_t>(p)], kEach) << p;

    const auto loaded = loadFresh();
    ASSERT_EQ(loaded.size(), static_cast<size_t>(kPrograms * kEach));
    std::set<uint32_t> ids;
    for (const StoredFields& f : loaded) {
        ids.insert(f.id);
        EXPECT_EQ(f.password, u"pw-" + f.name.substr(4));
    }
    EXPECT_EQ(ids.size(), loaded.size());
    EXPECT_EQ(orvixKeyringItems().size(), loaded.size());
    EXPECT_FALSE(fileHolds("pw-1"));
}

}  // namespace
