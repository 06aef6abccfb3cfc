// The DDNS server that the setup dialog writes into its server address field
// each time it opens, chosen by the caller's build variant. The addresses are
// from the documentation ranges and the host name is a documentation name, so
// a build for a real deployment replaces them here and nowhere else.
#pragma once

#include <cstdint>

namespace orvix {

inline constexpr char16_t kDdnsServer1[] = u"192.0.2.10";        // variants 0 and 3
inline constexpr char16_t kDdnsServer2[] = u"ddns.example.com";  // variant 1
inline constexpr char16_t kDdnsServer3[] = u"198.51.100.20";     // variant 2
inline constexpr char16_t kDdnsServer4[] = u"203.0.113.30";      // variant 4

// The default server of variants 0-4; null for any other variant.
constexpr const char16_t* defaultDdnsServer(int32_t variant) {
    switch (variant) {
        case 0:
        case 3: return kDdnsServer1;
        case 1: return kDdnsServer2;
        case 2: return kDdnsServer3;
        case 4: return kDdnsServer4;
        default: return nullptr;
    }
}

}  // namespace orvix
