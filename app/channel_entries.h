// How many channel entries the channel combo offers for a recorder model,
// once the recorder has said which model it is.
#pragma once

#include <cstdint>

namespace orvix {

// Channels shown before a recorder has reported its model.
constexpr int kDefaultChannelEntries = 16;

// 9, 16, 8 or 4 entries by model index; 0 for models without live channels
// and for indexes outside the table.
int channelEntriesForModel(int32_t modelIndex);

}  // namespace orvix
