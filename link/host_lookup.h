// IPv4 host name look-up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvix {

// The address of a dotted IPv4 text ("a.b.c.d" only), in network order.
std::optional<uint32_t> parseDottedAddress(const std::string& text);
// The first IPv4 address of a host name (or numeric text), in network order.
std::optional<uint32_t> lookupHost(const std::string& host);
// "%d.%d.%d.%d" of an address in network order, first byte first.
std::string formatDottedAddress(uint32_t networkOrder);

}  // namespace orvix
