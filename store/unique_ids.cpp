#include "store/unique_ids.h"

#include <set>

namespace orvix {

bool makeIdsUnique(std::vector<uint32_t>& ids) {
    std::set<uint32_t> taken(ids.begin(), ids.end());
    taken.insert(0);
    std::set<uint32_t> seen;
    bool changed = false;
    for (uint32_t& id : ids) {
        if (id != 0 && seen.insert(id).second) continue;
        // At most ids.size() values are taken, so this ends.
        uint32_t next = id;
        do {
            ++next;
        } while (taken.count(next) != 0);
        taken.insert(next);
        seen.insert(next);
        id = next;
        changed = true;
    }
    return changed;
}

}  // namespace orvix
