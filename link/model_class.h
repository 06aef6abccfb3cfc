// Recorder model codes, model indexes and the classes derived from them.
#pragma once

#include <cstdint>
#include <optional>

#include "link/wire_format.h"

namespace orvix {

// The model index for a reported model code; nullopt for codes not in the
// table (the record's index then stays as it was).
std::optional<int32_t> modelIndexForCode(uint32_t modelCode);

bool isWideClass(int32_t modelIndex);   // 0-2, 10-16, 20, 21, 47
bool isPlainClass(int32_t modelIndex);  // 23-46, 48-52

// Framing of commands sent for this model; nullopt when the model belongs to
// neither class (no command but the TCP connect is sent then).
std::optional<FramingKind> commandFraming(int32_t modelIndex);

// Models whose play-control value is sent as a number rather than the fixed
// bytes 01 00 00 01: 0-2, 12-16, 20, 21, 47.
bool usesNumericPlayControl(int32_t modelIndex);

}  // namespace orvix
