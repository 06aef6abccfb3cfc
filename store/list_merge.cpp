#include "store/list_merge.h"

#include <map>

namespace orvix {

std::vector<MergedRow> mergeRows(const std::vector<FileRow>& current, const std::vector<OwnRow>& own,
                                 const std::set<int64_t>& deletedKeys) {
    std::map<int64_t, int> ownByKey;
    for (size_t i = 0; i < own.size(); ++i) {
        if (own[i].fileKey != 0) ownByKey.emplace(own[i].fileKey, static_cast<int>(i));
    }
    std::vector<bool> placed(own.size(), false);
    std::vector<MergedRow> merged;
    merged.reserve(current.size() + own.size());

    for (const FileRow& row : current) {
        const auto found = ownByKey.find(row.key);
        if (found == ownByKey.end()) {
            if (deletedKeys.count(row.key) == 0) merged.push_back({row, -1, false});
            continue;
        }
        const int index = found->second;
        const OwnRow& mine = own[static_cast<size_t>(index)];
        placed[static_cast<size_t>(index)] = true;
        if (mine.edited) {
            merged.push_back({mine.wanted, index, true});
            continue;
        }
        // Unchanged here: the file's version stands. When this save moved
        // the password the file still holds into the keyring, the row now
        // points there.
        FileRow kept = row;
        if (mine.storedSecret && !kept.passwordInKeyring && kept.fields.password == *mine.storedSecret) {
            kept.key = mine.wanted.key;
            kept.fields.password.clear();
            kept.passwordInKeyring = true;
        }
        merged.push_back({std::move(kept), index, false});
    }
    for (size_t i = 0; i < own.size(); ++i) {
        if (!placed[i] && own[i].edited) merged.push_back({own[i].wanted, static_cast<int>(i), true});
    }
    return merged;
}

}  // namespace orvix
