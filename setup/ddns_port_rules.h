// How the build variant and the DDNS id decide the DDNS server port and
// whether the server fields may be edited in the setup dialog.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvix {

// Variants 0-4 are the ones the dialog knows; for others it fills nothing.
constexpr bool isKnownVariant(int32_t variant) { return variant >= 0 && variant <= 4; }

// Variant 1 keeps the DDNS server address and port disabled at all times.
constexpr bool ddnsServerLocked(int32_t variant) { return variant == 1; }

// Port written over the record's DDNS server port when the dialog opens:
// 2400 for variants 2 and 4, none for the others.
std::optional<uint16_t> forcedDdnsPort(int32_t variant);

// Port chosen by the first two characters of a DDNS id (ASCII, compared
// without regard to case), or none when the id matches no prefix, is shorter
// than two characters, or the variant does not take ports from the id
// (variant 2 and unknown variants).
std::optional<uint16_t> ddnsPortForId(std::u16string_view ddnsId, int32_t variant);

}  // namespace orvix
