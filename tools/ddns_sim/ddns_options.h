// The DDNS simulator's settings: where it listens and which DDNS ids it
// knows, each with the recorder address and port it answers with.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orvix::sim {

struct DdnsEntry {
    std::string id;                  // at most 15 bytes, as the client sends it
    std::array<uint8_t, 4> address{};  // first byte is the first dotted number
    uint16_t port = 0;
};

struct DdnsOptions {
    std::string bind = "127.0.0.1";
    uint16_t port = 0;
    std::vector<DdnsEntry> entries;
    std::string logFile;
    // > 0: the Nth connection (from 1) is told the server is ready and then
    // gets no answer; it stays open until the client leaves.
    int silentConnection = 0;
};

// "ID=A.B.C.D:PORT"; false when it is not of that form.
bool parseDdnsEntry(const std::string& text, DdnsEntry& entry);

enum class DdnsOptionsResult { Run, Help, Invalid };
DdnsOptionsResult parseDdnsOptions(int argc, const char* const* argv, DdnsOptions& options, std::string& error);
std::string ddnsUsage();

}  // namespace orvix::sim
