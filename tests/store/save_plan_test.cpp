// The plan of a save, worked out from the list, what the store remembers of
// it and the file's rows, before anything is written.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/device_record.h"
#include "store/save_plan.h"

using namespace orvix;

namespace {

// Records are told apart by address only.
const DeviceRecord* record(int index) {
    static DeviceRecord* records[] = {createRecord(), createRecord(), createRecord(), createRecord()};
    return records[index];
}

StoredFields fields(uint32_t id, std::u16string name, std::u16string password) {
    StoredFields f;
    f.id = id;
    f.name = std::move(name);
    f.password = std::move(password);
    f.useStatic = 1;
    f.address = u"192.0.2.9";
    f.port = 3000;
    return f;
}

struct Known {
    int record;
    int64_t key;
    StoredFields fields;
    PasswordPlace place;
    uint32_t formerId = 0;
};
struct Listed {
    int record;
    StoredFields fields;
};
// What a planned row says: record, id, change, file key, secret, whether
// its previous secret goes.
using Row = std::tuple<int, uint32_t, RowChange, int64_t, SecretAction, bool>;
using Removed = std::pair<int64_t, bool>;

struct Case {
    const char* what;
    std::optional<std::vector<Known>> known;  // none: a list the store has not seen
    std::vector<FileRow> file;
    std::vector<Listed> listed;
    std::vector<Row> rows;
    std::vector<Removed> removed;
};

using C = RowChange;
using S = SecretAction;
using P = PasswordPlace;

const Case kCases[] = {
    {"a list not seen takes the file's rows by id, once each",
     std::nullopt,
     {{5, fields(1, u"gate", u""), true}, {6, fields(2, u"yard", u"p"), false}},
     {{0, fields(2, u"yard", u"p")}, {1, fields(1, u"gate", u"")}, {2, fields(2, u"yard 2", u"")}},
     {{0, 2, C::Change, 6, S::Store, false}, {1, 1, C::Change, 5, S::Kept, false}, {2, 2, C::Add, 0, S::None, false}},
     {}},
    {"a known list keeps, changes, adds and removes",
     std::vector<Known>{{0, 11, fields(1, u"gate", u"a"), P::Keyring},
                        {1, 12, fields(2, u"yard", u""), P::File},
                        {3, 14, fields(4, u"dock", u""), P::KeyringUnread}},
     {},
     {{0, fields(1, u"gate", u"a")}, {1, fields(2, u"yard east", u"")}, {2, fields(3, u"shed", u"c")}},
     {{0, 1, C::Keep, 11, S::Kept, false}, {1, 2, C::Change, 12, S::None, false}, {2, 3, C::Add, 0, S::Store, false}},
     {{14, true}}},
    {"passwords cleared, relabelled, changed, or changed while unread",
     std::vector<Known>{{0, 21, fields(1, u"gate", u"a"), P::Keyring},
                        {1, 22, fields(2, u"yard", u"b"), P::Keyring},
                        {2, 23, fields(3, u"dock", u"c"), P::Keyring},
                        {3, 24, fields(4, u"shed", u""), P::KeyringUnread}},
     {},
     {{0, fields(1, u"gate", u"")},
      {1, fields(2, u"yard east", u"b")},
      {2, fields(3, u"dock", u"c2")},
      {3, fields(4, u"shed", u"d")}},
     {{0, 1, C::Change, 21, S::None, true},
      {1, 2, C::Change, 22, S::Store, false},
      {2, 3, C::Change, 23, S::Store, false},
      {3, 4, C::Change, 24, S::Store, false}},
     {}},
    {"a known record block reused with another id is a new record",
     std::vector<Known>{{0, 31, fields(1, u"gate", u""), P::File}},
     {},
     {{0, fields(9, u"new", u"")}},
     {{0, 9, C::Add, 0, S::None, false}},
     {{31, false}}},
    {"a record whose id a save changed is still known by the id the list holds",
     std::vector<Known>{{0, 51, fields(8, u"gate", u""), P::File, 7}},
     {},
     {{0, fields(7, u"gate", u"")}},
     {{0, 8, C::Keep, 51, S::None, false}},
     {}},
    {"a list at a known address sharing no record is another list",
     std::vector<Known>{{0, 41, fields(1, u"gate", u""), P::File}},
     {{41, fields(1, u"gate", u""), false}},
     {{1, fields(1, u"gate", u"")}},
     {{1, 1, C::Change, 41, S::None, false}},
     {}},
};

TEST(SavePlan, RowsAndPasswordsOfASave) {
    for (const Case& c : kCases) {
        std::vector<KnownRecord> known;
        if (c.known) {
            for (const Known& k : *c.known) {
                known.push_back({record(k.record), k.key, k.fields, k.place, k.formerId});
            }
        }
        std::vector<ListedRecord> listed;
        for (const Listed& l : c.listed) listed.push_back({record(l.record), l.fields});

        const SavePlan plan = planSave(listed, recordsOfSameList(listed, c.known ? &known : nullptr), c.file);
        std::vector<Row> rows;
        for (const PlannedRow& r : plan.rows) {
            int index = 0;
            while (record(index) != r.record) ++index;
            rows.emplace_back(index, r.listed.id, r.change, r.fileKey, r.secret, r.removePreviousSecret);
        }
        std::vector<Removed> removed;
        for (const RemovedRow& r : plan.removed) removed.emplace_back(r.key, r.hasSecret);
        EXPECT_EQ(rows, c.rows) << c.what;
        EXPECT_EQ(removed, c.removed) << c.what;
    }
}

}  // namespace
