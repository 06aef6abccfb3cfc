#include "tools/ddns_sim/ddns_options.h"

#include <arpa/inet.h>

#include <cstring>

#include "tools/sim_common/option_reader.h"

namespace orvix::sim {
namespace {

constexpr size_t kMaxIdLength = 15;  // the client's 16-byte field holds a NUL

constexpr OptionDefinition kOptions[] = {
    {"help", false}, {"port", true}, {"bind", true}, {"entry", true}, {"log", true}, {"fault-silent-on", true},
};

}  // namespace

bool parseDdnsEntry(const std::string& text, DdnsEntry& entry) {
    const size_t equals = text.find('=');
    const size_t colon = text.rfind(':');
    if (equals == std::string::npos || colon == std::string::npos || colon < equals) return false;
    DdnsEntry parsed;
    parsed.id = text.substr(0, equals);
    if (parsed.id.empty() || parsed.id.size() > kMaxIdLength) return false;
    const std::string address = text.substr(equals + 1, colon - equals - 1);
    in_addr binary{};
    if (::inet_pton(AF_INET, address.c_str(), &binary) != 1) return false;
    std::memcpy(parsed.address.data(), &binary, 4);  // network order: first number first
    int64_t port = 0;
    if (!parseInteger(std::string_view(text).substr(colon + 1), 1, 65535, port)) return false;
    parsed.port = static_cast<uint16_t>(port);
    entry = parsed;
    return true;
}

DdnsOptionsResult parseDdnsOptions(int argc, const char* const* argv, DdnsOptions& options, std::string& error) {
    std::vector<ParsedOption> parsed;
    if (!readOptions(argc, argv, kOptions, parsed, error)) return DdnsOptionsResult::Invalid;
    for (const ParsedOption& o : parsed) {
        if (o.name == "help") return DdnsOptionsResult::Help;
    }
    for (const ParsedOption& o : parsed) {
        if (o.name == "port") {
            int64_t port = 0;
            if (!parseInteger(o.value, 0, 65535, port)) {
                error = "--port needs a number from 0 to 65535, not \"" + o.value + "\"";
                return DdnsOptionsResult::Invalid;
            }
            options.port = static_cast<uint16_t>(port);
        } else if (o.name == "bind") {
            options.bind = o.value;
        } else if (o.name == "entry") {
            DdnsEntry entry;
            if (!parseDdnsEntry(o.value, entry)) {
                error = "--entry needs ID=A.B.C.D:PORT with an id of 1 to 15 bytes, not \"" + o.value + "\"";
                return DdnsOptionsResult::Invalid;
            }
            options.entries.push_back(entry);
        } else if (o.name == "log") {
            options.logFile = o.value;
        } else if (o.name == "fault-silent-on") {
            int64_t connection = 0;
            if (!parseInteger(o.value, 1, 1000000, connection)) {
                error = "--fault-silent-on needs a connection number from 1, not \"" + o.value + "\"";
                return DdnsOptionsResult::Invalid;
            }
            options.silentConnection = static_cast<int>(connection);
        }
    }
    return DdnsOptionsResult::Run;
}

std::string ddnsUsage() {
    return "usage: orvix-ddns-sim [options]\n"
           "A DDNS server: announces itself ready, answers a known recorder id with its\n"
           "address and port, and closes the connection for an unknown id.\n"
           "Prints \"listening on ADDRESS:PORT\" when ready; ends on SIGINT or SIGTERM.\n"
           "\n"
           "  --port N                 port to listen on; 0 chooses a free one (default 0)\n"
           "  --bind ADDRESS           IPv4 address to listen on (default 127.0.0.1)\n"
           "  --entry ID=A.B.C.D:PORT  a known id and its recorder (repeatable; none by default)\n"
           "  --log FILE               write one line per received command to FILE\n"
           "  --help                   this text\n"
           "\n"
           "Faults, for tests:\n"
           "  --fault-silent-on N      the Nth connection (from 1) is told the server is\n"
           "                           ready and then gets no answer; it stays open until\n"
           "                           the client leaves\n";
}

}  // namespace orvix::sim
