#include "tools/ddns_sim/ddns_simulator.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "link/command_codes.h"
#include "link/wire_format.h"
#include "tools/sim_common/client_command_reader.h"

namespace orvix::sim {
namespace {

constexpr int kAcceptWaitMs = 100;
constexpr int kPollMs = 100;
// How long a client may stay connected without sending anything useful.
constexpr auto kClientTimeout = std::chrono::seconds(10);

bool sendWide(int fd, uint32_t code, const std::vector<uint8_t>& payload, const std::atomic<bool>& stop) {
    std::vector<uint8_t> packet(framedLength(FramingKind::Wide, payload.size()));
    const size_t length =
        frameCommand(FramingKind::Wide, code, payload.data(), payload.size(), packet.data(), packet.size());
    return length != 0 && writeAll(fd, packet.data(), length, stop) == IoResult::Done;
}

}  // namespace

DdnsSimulator::DdnsSimulator(DdnsOptions options) : options_(std::move(options)) {}

DdnsSimulator::~DdnsSimulator() { stop(); }

bool DdnsSimulator::start(std::string* error) {
    if (thread_.joinable()) {
        if (error) *error = "already running";
        return false;
    }
    if (!options_.logFile.empty() && !log_.openFile(options_.logFile, error)) return false;
    if (!listener_.open(options_.bind, options_.port, 0, error)) return false;
    stop_ = false;
    thread_ = std::thread([this] { serve(); });
    return true;
}

void DdnsSimulator::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    listener_.close();
}

std::string DdnsSimulator::readyLine() const {
    return "listening on " + listener_.address() + ":" + std::to_string(listener_.port());
}

void DdnsSimulator::serve() {
    while (!stop_.load()) {
        const int client = listener_.accept(kAcceptWaitMs);
        if (client < 0) continue;
        serveClient(client, ++connections_);
        closeSocket(client);
    }
}

void DdnsSimulator::holdSilent(int fd) {
    log_.add("SILENT after ready");
    uint8_t buffer[1024];
    while (!stop_.load() && readSome(fd, buffer, sizeof buffer, kPollMs) >= 0) {
    }
}

void DdnsSimulator::serveClient(int fd, int connection) {
    if (!sendWide(fd, COMMAND_DDNS_READY, {}, stop_)) return;
    if (connection == options_.silentConnection) return holdSilent(fd);
    ClientCommandReader reader;
    const auto deadline = std::chrono::steady_clock::now() + kClientTimeout;
    uint8_t buffer[1024];
    while (!stop_.load() && std::chrono::steady_clock::now() < deadline) {
        const long n = readSome(fd, buffer, sizeof buffer, kPollMs);
        if (n < 0) return;  // the client has gone
        reader.feed(buffer, static_cast<size_t>(n));
        ClientCommand command;
        while (reader.next(command)) {
            if (command.code != COMMAND_DDNS_INFO_REQ) {
                log_.add("COMMAND code=" + std::to_string(command.code) +
                         " length=" + std::to_string(command.payload.size()));
                continue;
            }
            const auto& p = command.payload;
            const size_t field = std::min<size_t>(p.size(), kDdnsInfoReqPayload);
            const std::string id(p.begin(), std::find(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(field), 0));
            const auto entry = std::find_if(options_.entries.begin(), options_.entries.end(),
                                            [&](const DdnsEntry& e) { return e.id == id; });
            log_.add("DDNS_INFO_REQ id=" + id + " known=" + (entry != options_.entries.end() ? "1" : "0"));
            if (entry == options_.entries.end()) return;  // unknown: close
            std::vector<uint8_t> reply(8);
            std::copy(entry->address.begin(), entry->address.end(), reply.begin());
            writeLe32(reply.data() + 4, entry->port);
            if (!sendWide(fd, COMMAND_DDNS_INFO, reply, stop_)) return;
        }
    }
}

}  // namespace orvix::sim
