// Merging one writer's device list into the file's rows as they are now,
// when other writers (another running program, a script) may have saved
// since this writer loaded its list. Nothing another writer stored is
// dropped unless this writer deleted that row itself, and nothing this
// writer added or changed is dropped.
//
// Rows are told apart by their keys. Starting from the file's rows in their
// order:
// - a row this writer deleted from its list goes;
// - a row of this writer's list keeps its place and is written as the list
//   has it when the list changed it, else as the file has it (another
//   writer's change is kept);
// - every other row is another writer's and stays as it is.
// Then rows this writer added follow, in list order, and so do rows it
// changed that another writer deleted meanwhile; rows it left alone that
// another writer deleted stay deleted.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "store/device_table.h"

namespace orvix {

struct OwnRow {
    // The key of the row in the file as this writer last saw it; 0 for a
    // record the file did not have.
    int64_t fileKey = 0;
    // The row as this writer would write it: the key to write (a new random
    // one when the password goes to the keyring under a key of an earlier
    // version), the list's fields and where its password goes.
    FileRow wanted;
    // The list changed the row since this writer last loaded or saved it
    // (always true for a record the file did not have).
    bool edited = true;
    // The password this save put into the keyring under wanted.key, if any.
    std::optional<std::u16string> storedSecret;
};

struct MergedRow {
    FileRow row;
    int own = -1;         // index into the writer's rows; -1 for another writer's row
    bool asListed = false;  // written as the writer's list has it
};

std::vector<MergedRow> mergeRows(const std::vector<FileRow>& current, const std::vector<OwnRow>& own,
                                 const std::set<int64_t>& deletedKeys);

}  // namespace orvix
