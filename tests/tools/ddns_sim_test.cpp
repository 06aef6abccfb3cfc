// The DDNS simulator: the project's link finds a recorder through it, a
// plain socket sees the exchange byte for byte, and an unknown id ends the
// connection.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "link/command_codes.h"
#include "link/link_status.h"
#include "link/wire_format.h"
#include "tests/support/loopback_server.h"
#include "tests/tools/sim_session.h"
#include "tools/ddns_sim/ddns_simulator.h"

namespace orvix::test {
namespace {

std::vector<uint8_t> wide(uint32_t code, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out(framedLength(FramingKind::Wide, payload.size()));
    out.resize(frameCommand(FramingKind::Wide, code, payload.data(), payload.size(), out.data(), out.size()));
    return out;
}

std::vector<uint8_t> idField(const char* id) {
    std::vector<uint8_t> field(16, 0);
    std::copy(id, id + std::char_traits<char>::length(id), field.begin());
    return field;
}

sim::DdnsOptions ddnsOptions(uint16_t recorderPort) {
    sim::DdnsOptions options;
    sim::DdnsEntry entry;
    EXPECT_TRUE(sim::parseDdnsEntry("G9TEST=127.0.0.1:" + std::to_string(recorderPort), entry));
    options.entries.push_back(entry);
    EXPECT_TRUE(sim::parseDdnsEntry("OTHER=192.168.0.10:9000", entry));
    options.entries.push_back(entry);
    return options;
}

TEST(DdnsSim, TheLinkFindsTheRecorderThroughAKnownId) {
    SimSession recorder(simOptions(11));
    sim::DdnsSimulator ddns(ddnsOptions(recorder.simulator.port()));
    std::string error;
    ASSERT_TRUE(ddns.start(&error)) << error;
    recorder.client->useDdns(ddns.port(), u"G9TEST");
    recorder.client->connect();
    ASSERT_TRUE(recorder.client->waitPackets(3));
    EXPECT_TRUE(ddns.log().waitFor("DDNS_INFO_REQ id=G9TEST known=1"));
    EXPECT_EQ(recorder.client->connection.ddnsAddress, u"127.0.0.1");
    EXPECT_EQ(recorder.client->connection.ddnsPort, recorder.simulator.port());
    EXPECT_TRUE(recorder.client->record->address.empty());
    const auto statuses = recorder.client->window.refreshStatuses();
    const std::vector<int> ddnsSteps = {kStatusDdnsConnReq, kStatusDataSendOk, kStatusDdnsInfoReq, kStatusDdnsInfoOk,
                                       kStatusConnectReq};
    ASSERT_GE(statuses.size(), ddnsSteps.size());
    EXPECT_TRUE(std::equal(ddnsSteps.begin(), ddnsSteps.end(), statuses.begin()));
}

TEST(DdnsSim, ReplyCarriesTheAddressInNetworkOrderAndThePort) {
    sim::DdnsSimulator ddns(ddnsOptions(4000));
    ASSERT_TRUE(ddns.start(nullptr));
    const int fd = connectLoopback(ddns.port());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readExactly(fd, 12), wide(COMMAND_DDNS_READY, {}));
    ASSERT_TRUE(writeAll(fd, wide(COMMAND_DDNS_INFO_REQ, idField("OTHER"))));
    std::vector<uint8_t> reply = {192, 168, 0, 10, 0, 0, 0, 0};
    writeLe32(reply.data() + 4, 9000);
    EXPECT_EQ(readExactly(fd, 28), wide(COMMAND_DDNS_INFO, reply));
    closeFd(fd);
}

TEST(DdnsSim, UnknownIdClosesTheConnection) {
    sim::DdnsSimulator ddns(ddnsOptions(4000));
    ASSERT_TRUE(ddns.start(nullptr));
    const int fd = connectLoopback(ddns.port());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readExactly(fd, 12).size(), 12u);
    ASSERT_TRUE(writeAll(fd, wide(COMMAND_DDNS_INFO_REQ, idField("NOPE"))));
    uint8_t byte = 0;
    EXPECT_EQ(::recv(fd, &byte, 1, 0), 0);  // closed, nothing sent
    EXPECT_TRUE(ddns.log().waitFor("DDNS_INFO_REQ id=NOPE known=0"));
    closeFd(fd);
    // The next client is served.
    const int next = connectLoopback(ddns.port());
    EXPECT_EQ(readExactly(next, 12).size(), 12u);
    closeFd(next);
}

TEST(DdnsSim, TheSilentConnectionIsToldReadyAndThenNothing) {
    sim::DdnsOptions options = ddnsOptions(4000);
    options.silentConnection = 1;
    sim::DdnsSimulator ddns(options);
    ASSERT_TRUE(ddns.start(nullptr));
    for (const bool silent : {true, false}) {
        const int fd = connectLoopback(ddns.port());
        ASSERT_GE(fd, 0);
        EXPECT_EQ(readExactly(fd, 12), wide(COMMAND_DDNS_READY, {}));
        ASSERT_TRUE(writeAll(fd, wide(COMMAND_DDNS_INFO_REQ, idField("OTHER"))));
        EXPECT_EQ(readExactly(fd, 28, silent ? 300 : 5000).size(), silent ? 0u : 28u);
        closeFd(fd);
    }
    EXPECT_EQ(ddns.log().count("SILENT after ready"), 1u);
}

TEST(DdnsSim, EntriesAreCheckedWhenGiven) {
    sim::DdnsEntry entry;
    EXPECT_TRUE(sim::parseDdnsEntry("G9TEST=127.0.0.1:4000", entry));
    EXPECT_EQ(entry.id, "G9TEST");
    EXPECT_EQ(entry.address, (std::array<uint8_t, 4>{127, 0, 0, 1}));
    EXPECT_EQ(entry.port, 4000);
    for (const char* bad : {"G9TEST", "=1.2.3.4:5", "A=1.2.3:5", "A=1.2.3.4", "A=1.2.3.4:0", "A=1.2.3.4:70000",
                            "SIXTEEN-BYTES-ID=1.2.3.4:5", "A=host:5"})
        EXPECT_FALSE(sim::parseDdnsEntry(bad, entry)) << bad;
}

}  // namespace
}  // namespace orvix::test
