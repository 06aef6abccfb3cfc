#include "setup/ddns_port_rules.h"

#include <array>

namespace orvix {
namespace {

struct PrefixPort {
    char prefix[3];
    uint16_t port;  // for variants 0, 1 and 3; variant 4 always takes 2400
};

// Tested in this order; the first match wins.
constexpr std::array<PrefixPort, 14> kPrefixPorts{{
    {"G4", 3100}, {"G9", 3100}, {"G6", 3100},
    {"P8", 2200}, {"P6", 2200},
    {"H4", 2400}, {"H9", 2400}, {"H6", 2400},
    {"D4", 2500}, {"D8", 2500}, {"D6", 2500},
    {"L4", 2600}, {"L8", 2600}, {"L6", 2600},
}};

constexpr uint16_t kVariantFourPort = 2400;

char16_t asciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

}  // namespace

std::optional<uint16_t> forcedDdnsPort(int32_t variant) {
    if (variant == 2 || variant == 4) return uint16_t{2400};
    return std::nullopt;
}

std::optional<uint16_t> ddnsPortForId(std::u16string_view ddnsId, int32_t variant) {
    if (variant != 0 && variant != 1 && variant != 3 && variant != 4) return std::nullopt;
    if (ddnsId.size() < 2) return std::nullopt;
    const char16_t first = asciiUpper(ddnsId[0]);
    const char16_t second = asciiUpper(ddnsId[1]);
    for (const PrefixPort& rule : kPrefixPorts) {
        if (first == static_cast<char16_t>(rule.prefix[0]) && second == static_cast<char16_t>(rule.prefix[1])) {
            return variant == 4 ? kVariantFourPort : rule.port;
        }
    }
    return std::nullopt;
}

}  // namespace orvix
