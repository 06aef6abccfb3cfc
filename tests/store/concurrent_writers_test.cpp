// Several writers on one device list file: two programs, scripts, threads.
// Each save applies its own additions, changes and deletions and keeps what
// the others stored meanwhile.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "store/device_store.h"
#include "tests/store/store_fixture.h"

using namespace orvix;

namespace {

class ConcurrentWritersTest : public StoreFixture {
protected:
    // The saved list, loaded by a store of its own.
    std::vector<StoredFields> saved() const {
        DeviceList list;
        DeviceStore reader(path());
        EXPECT_TRUE(reader.load(list)) << reader.notice();
        std::vector<StoredFields> fields;
        for (const DeviceRecord* record : list.entries()) fields.push_back(storedFields(*record));
        return fields;
    }
};

const StoredFields* withId(const std::vector<StoredFields>& fields, uint32_t id) {
    const StoredFields* found = nullptr;
    for (const StoredFields& f : fields) {
        if (f.id != id) continue;
        EXPECT_EQ(found, nullptr) << "id " << id << " saved twice";
        found = &f;
    }
    return found;
}

// One writer's session: load, then add `count` recorders one save at a
// time, change the first and delete the second. False when a save failed.
bool writerSession(const std::string& file, uint32_t firstId, int count, std::u16string_view password) {
    DeviceStore store(file);
    DeviceList list;
    if (!store.load(list)) return false;
    for (int i = 0; i < count; ++i) {
        list.append(makeRecord(firstId + static_cast<uint32_t>(i), u"writer", password));
        if (!store.save(list)) return false;
    }
    setText(list.findById(firstId)->name, u"changed");
    if (!store.save(list)) return false;
    list.removeFirstWithId(firstId + 1);
    return store.save(list);
}

void expectSessions(const std::vector<StoredFields>& fields, const std::vector<uint32_t>& firstIds, int count) {
    EXPECT_EQ(fields.size(), firstIds.size() * static_cast<size_t>(count - 1));
    for (const uint32_t first : firstIds) {
        for (int i = 0; i < count; ++i) {
            const uint32_t id = first + static_cast<uint32_t>(i);
            const StoredFields* f = withId(fields, id);
            if (i == 1) {
                EXPECT_EQ(f, nullptr) << id << " was deleted";
            } else {
                ASSERT_NE(f, nullptr) << id << " is lost";
                EXPECT_EQ(f->name, i == 0 ? u"changed" : u"writer") << id;
            }
        }
    }
}

TEST_F(ConcurrentWritersTest, TwoProgramsAddingAtOnceKeepBothAdditions) {
    ASSERT_TRUE(DeviceStore(path()).save(threeRecords()));
    DeviceStore first(path()), second(path());
    DeviceList firstList, secondList;
    ASSERT_TRUE(first.load(firstList));
    ASSERT_TRUE(second.load(secondList));

    firstList.append(makeRecord(21, u"added by the first", u"p1"));
    ASSERT_TRUE(first.save(firstList)) << first.notice();
    secondList.append(makeRecord(22, u"added by the second", u"p2"));
    ASSERT_TRUE(second.save(secondList)) << second.notice();
    // The second program saves again, still without the first one's record
    // in its list: the record stays.
    setText(secondList.findById(22)->account, u"renamed");
    ASSERT_TRUE(second.save(secondList)) << second.notice();

    const auto fields = saved();
    ASSERT_EQ(fields.size(), 5u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(fields[i], storedFields(*three.at(i)));
    EXPECT_EQ(fields[3], storedFields(*firstList.findById(21)));
    EXPECT_EQ(fields[4], storedFields(*secondList.findById(22)));
}

TEST_F(ConcurrentWritersTest, ChangesAndDeletionsOfEachWriterApply) {
    ASSERT_TRUE(DeviceStore(path()).save(threeRecords()));
    DeviceStore first(path()), second(path());
    DeviceList firstList, secondList;
    ASSERT_TRUE(first.load(firstList));
    ASSERT_TRUE(second.load(secondList));

    // The first deletes 11 and changes 12; the second changes 13 and then
    // also 11, which the first deleted meanwhile, and leaves 12 alone.
    firstList.removeFirstWithId(11);
    setText(firstList.findById(12)->password, u"new 12");
    ASSERT_TRUE(first.save(firstList));
    setText(secondList.findById(13)->address, u"198.51.100.13");
    secondList.findById(13)->autoReconnectOff = 1;
    ASSERT_TRUE(second.save(secondList));
    auto fields = saved();
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0], storedFields(*firstList.findById(12)));  // not undone by the second
    EXPECT_EQ(fields[1], storedFields(*secondList.findById(13)));

    // A change to a recorder another writer deleted brings it back rather
    // than losing the change; an untouched one stays deleted.
    setText(secondList.findById(11)->name, u"still wanted");
    ASSERT_TRUE(second.save(secondList));
    fields = saved();
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[2], storedFields(*secondList.findById(11)));

    // The first writer deletes what it knows; the second's return of 11 is
    // news to it and stays.
    firstList.removeFirstWithId(12);
    ASSERT_TRUE(first.save(firstList));
    fields = saved();
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].id, 13u);
    EXPECT_EQ(fields[1].id, 11u);
}

TEST_F(ConcurrentWritersTest, TwoRecordersWithTheSameClockIdAreBothKept) {
    // Two programs adding a recorder in the same second give it the same id.
    DeviceStore first(path()), second(path());
    DeviceList firstList, secondList;
    ASSERT_TRUE(first.load(firstList));
    ASSERT_TRUE(second.load(secondList));
    firstList.append(makeRecord(1700000000, u"gate", u""));
    secondList.append(makeRecord(1700000000, u"yard", u""));
    ASSERT_TRUE(first.save(firstList));
    ASSERT_TRUE(second.save(secondList));
    setText(firstList.at(0)->account, u"operator");
    ASSERT_TRUE(first.save(firstList));

    DeviceList loaded;
    ASSERT_TRUE(DeviceStore(path()).load(loaded));
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded.at(0)->name.view(), u"gate");
    EXPECT_EQ(loaded.at(0)->account.view(), u"operator");
    EXPECT_EQ(loaded.at(1)->name.view(), u"yard");
}

TEST_F(ConcurrentWritersTest, ProcessesAddingWithOneClockIdGetUniqueIdsTheyKnow) {
    // Five programs add a recorder in the same second; each must find its
    // own again by the id its list holds after the save.
    constexpr int kWriters = 5;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            DeviceStore store(path());
            DeviceList list;
            if (!store.load(list)) ::_exit(1);
            const std::u16string name = u"writer " + fromUtf8(std::to_string(w));
            list.append(makeRecord(1700000000, name, u""));
            if (!store.save(list)) ::_exit(2);
            const uint32_t id = list.at(list.size() - 1)->id;
            DeviceList reread;
            if (!DeviceStore(path()).load(reread) || reread.findById(id) == nullptr) ::_exit(3);
            ::_exit(reread.findById(id)->name.view() == name ? 0 : 4);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
    }
    const auto fields = saved();
    ASSERT_EQ(fields.size(), static_cast<size_t>(kWriters));
    for (const StoredFields& f : fields) withId(fields, f.id);
}

TEST_F(ConcurrentWritersTest, AFileWithSharedIdsIsRepairedOnLoadLosingNothing) {
    ASSERT_TRUE(DeviceStore(path()).save(threeRecords()));
    runSql("UPDATE devices SET id = 11;");
    DeviceList loaded;
    ASSERT_TRUE(DeviceStore(path()).load(loaded));
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded.at(0)->id, 11u);
    EXPECT_NE(loaded.at(1)->id, 11u);
    EXPECT_NE(loaded.at(2)->id, 11u);
    EXPECT_NE(loaded.at(1)->id, loaded.at(2)->id);
    for (size_t i = 0; i < 3; ++i) {
        StoredFields expected = storedFields(*three.at(i));
        expected.id = loaded.at(i)->id;
        EXPECT_EQ(storedFields(*loaded.at(i)), expected) << i;
    }
    // The file holds the new ids: every reader finds the same.
    const auto again = saved();
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(again.at(i).id, loaded.at(i)->id) << i;
}

TEST_F(ConcurrentWritersTest, AListTheStoreHasNotSeenReplacesRowsByIdAndRemovesNone) {
    ASSERT_TRUE(DeviceStore(path()).save(threeRecords()));
    DeviceList other;
    other.append(makeRecord(12, u"replacement for 12", u"x"));
    other.append(makeRecord(40, u"new", u"y"));
    ASSERT_TRUE(DeviceStore(path()).save(other));
    const auto fields = saved();
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0], storedFields(*three.at(0)));
    EXPECT_EQ(fields[1], storedFields(*other.at(0)));
    EXPECT_EQ(fields[2], storedFields(*three.at(2)));
    EXPECT_EQ(fields[3], storedFields(*other.at(1)));
}

TEST_F(ConcurrentWritersTest, OneStoreKeepsTrackOfEachListItLoaded) {
    // The program's list, and another loaded through the same store (the
    // library serves every caller of the process with one store).
    ASSERT_TRUE(DeviceStore(path()).save(threeRecords()));
    DeviceStore store(path());
    DeviceList program, other;
    ASSERT_TRUE(store.load(program));
    ASSERT_TRUE(store.load(other));
    program.removeFirstWithId(12);
    ASSERT_TRUE(store.save(program));
    EXPECT_EQ(saved().size(), 2u);
    // The other list still has 12 but did not change it: it stays deleted.
    setText(other.findById(13)->name, u"renamed by the other");
    ASSERT_TRUE(store.save(other));
    const auto fields = saved();
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[1].name, u"renamed by the other");
}

TEST_F(ConcurrentWritersTest, ThreadsSavingAtOnceLoseNothing) {
    const std::vector<uint32_t> firstIds = {100, 200, 300, 400};
    constexpr int kCount = 6;
    std::vector<std::thread> writers;
    std::vector<int> ok(firstIds.size(), 0);
    for (size_t w = 0; w < firstIds.size(); ++w) {
        writers.emplace_back([&, w] { ok[w] = writerSession(path(), firstIds[w], kCount, u"pw") ? 1 : 0; });
    }
    for (std::thread& writer : writers) writer.join();
    for (size_t w = 0; w < firstIds.size(); ++w) EXPECT_EQ(ok[w], 1) << "writer " << w;
    expectSessions(saved(), firstIds, kCount);
}

TEST_F(ConcurrentWritersTest, ProcessesSavingAtOnceLoseNothing) {
    ASSERT_TRUE(DeviceStore(path()).save(threeRecords()));
    const std::vector<uint32_t> firstIds = {1000, 2000, 3000, 4000, 5000};
    constexpr int kCount = 5;
    std::vector<pid_t> children;
    for (const uint32_t first : firstIds) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // No password: these writers need no keyring.
            ::_exit(writerSession(path(), first, kCount, u"") ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed to save";
    }
    auto fields = saved();
    ASSERT_GE(fields.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(fields[i], storedFields(*three.at(i)));
    fields.erase(fields.begin(), fields.begin() + 3);
    expectSessions(fields, firstIds, kCount);
}

}  // namespace
