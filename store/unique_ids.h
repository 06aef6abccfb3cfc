// Record ids are unique in the device list file: the program finds, edits
// and deletes recorders by id. Ids come from the clock, so two writers
// adding a recorder within one second give both the same one.
#pragma once

#include <cstdint>
#include <vector>

namespace orvix {

// `ids` in file order, each unique and nonzero: the first row with an id
// keeps it; a later row with the same id, and a row with id 0, takes the
// next id above it (from 1 for 0) that no row has. False when none changed.
bool makeIdsUnique(std::vector<uint32_t>& ids);

}  // namespace orvix
