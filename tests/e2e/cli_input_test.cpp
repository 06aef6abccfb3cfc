// orvix-cli as a program against input it must survive or refuse: a recorder
// whose picture claims gigabytes, login text outside ASCII, and one file
// named for two outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

#include "link/command_codes.h"
#include "link/wire_format.h"
#include "tests/e2e/e2e_process.h"
#include "tests/link/scripted_peer.h"
#include "tests/link/stream_builders.h"
#include "tests/support/test_stream.h"

using namespace orvix;
using namespace orvix::e2e;
using namespace orvix::test;

namespace {

constexpr uint32_t kH264Model = 51;  // Plain commands, 32-byte headers, H.264

// An F5 packet of channel 1 with the 32-byte header the display side reads:
// time at 4, picture type at 8, payload length at 12.
Bytes f5Packet(const Packet& payload, uint32_t seconds, bool key) {
    Bytes packet(32 + payload.size() + 4, 0);
    writeBe32(packet.data(), 0x000001F5);
    writeLe32(packet.data() + 4, seconds);
    packet[8] = key ? 0x10 : 0x20;
    writeLe32(packet.data() + 12, static_cast<uint32_t>(payload.size()));
    std::copy(payload.begin(), payload.end(), packet.begin() + 32);
    writeBe32(packet.data() + packet.size() - 4, 0x000001B4);
    return packet;
}

void handshake(ScriptedPeer& peer) {
    ASSERT_TRUE(peer.accept(60000));
    peer.send(commandPacket(FramingKind::Plain, COMMAND_CONNECT_OK, description(kH264Model, 24)));
    ASSERT_EQ(peer.nextCode(60000), COMMAND_LOGIN_REQ);
    peer.send(commandPacket(FramingKind::Plain, COMMAND_LOGIN_OK, loginOkPayload(0x1F)));
    ASSERT_EQ(peer.nextCode(60000), COMMAND_DATA_SEND_REQ);
    peer.send(commandPacket(FramingKind::Plain, COMMAND_DATA_SEND_OK));
}

// orvix-cli against a scripted recorder that streams `packets` after the
// handshake and then waits for the client to end.
Finished runAgainst(const std::vector<Bytes>& packets, const std::string& snapshot) {
    ScriptedPeer peer;
    auto run = std::async(std::launch::async, [&] {
        return runProgram(binaryPath("orvix-cli"),
                          {"--host", "127.0.0.1", "--port", std::to_string(peer.port()), "--user", "admin",
                           "--password", "1234", "--stream", "h264", "--frames", "3", "--timeout", "60",
                           "--snapshot", snapshot});
    });
    handshake(peer);
    for (const Bytes& packet : packets) peer.send(packet);
    return run.get();
}

}  // namespace

TEST(CliInput, APictureClaimingGigabytesIsDroppedWithoutTheMemory) {
    const EncodedStream stream = encodePattern("libx264", 320, 240, 3, 1);
    std::vector<Bytes> normal;
    for (size_t i = 0; i < stream.packets.size(); ++i) normal.push_back(f5Packet(stream.packets[i], 1000, true));
    const std::string snapshot = scratchPath("oversized.png");

    // The same client with pictures of a normal size: its peak is the baseline.
    const Finished baseline = runAgainst(normal, snapshot);
    ASSERT_EQ(baseline.exitCode, 0) << baseline.err;

    // Key pictures whose parameter sets say 15984 x 15984 come first; the
    // pictures after them are shown as before.
    std::vector<Bytes> hostile;
    for (int i = 0; i < 2; ++i) hostile.push_back(f5Packet(h264KeyPictureOfSize(999, 999, 16), 1000, true));
    hostile.insert(hostile.end(), normal.begin(), normal.end());
    const Finished run = runAgainst(hostile, snapshot);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("decoded 3 frames 320x240 channel 1\n"), std::string::npos) << run.out;
    EXPECT_LT(run.peakMemoryKb, baseline.peakMemoryKb + 64 * 1024)
        << "baseline " << baseline.peakMemoryKb << " KB, with the large picture " << run.peakMemoryKb << " KB";
    std::remove(snapshot.c_str());
}

TEST(CliInput, OneFileForSnapshotAndRecordingIsAUsageErrorAndLeavesItAlone) {
    const std::string file = scratchPath("kept.mp4");
    { std::ofstream(file) << "an earlier recording"; }
    const std::string sameFile =
        (std::filesystem::path(file).parent_path() / "." / std::filesystem::path(file).filename()).string();
    const Finished run = runProgram(binaryPath("orvix-cli"), {"--host", "127.0.0.1", "--port", "1", "--user", "admin",
                                                              "--record", file, "--snapshot", sameFile});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("--snapshot and --record name the same file"), std::string::npos) << run.err;
    std::ifstream in(file);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "an earlier recording");
    std::remove(file.c_str());
}

TEST(CliInput, LoginTextOutsideAsciiGoesOutInTheLocalesCharacterSet) {
    if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    std::setlocale(LC_ALL, "C");
    const char* previous = std::getenv("LC_ALL");
    const std::string kept = previous != nullptr ? previous : "";
    setenv("LC_ALL", "C.UTF-8", 1);

    // The simulators compare the bytes they were given on their own command
    // lines; the client must send the same bytes, directly and through DDNS.
    const std::string account = "bjørn", password = "pässwörd", ddnsId = "läden";
    const std::string log = scratchPath("utf8_login.log");
    Simulator recorder("orvix-recorder-sim", {"--account", account, "--password", password, "--log", log});
    ASSERT_TRUE(recorder.ready()) << recorder.firstLine();
    Simulator ddns("orvix-ddns-sim", {"--entry", ddnsId + "=127.0.0.1:" + std::to_string(recorder.port())});
    ASSERT_TRUE(ddns.ready()) << ddns.firstLine();
    const std::vector<std::string> login = {"--user", account, "--password", password, "--frames", "2", "--timeout", "60"};

    std::vector<std::string> direct = {"--host", "127.0.0.1", "--port", std::to_string(recorder.port())};
    direct.insert(direct.end(), login.begin(), login.end());
    const Finished directRun = runProgram(binaryPath("orvix-cli"), direct);
    EXPECT_EQ(directRun.exitCode, 0) << directRun.out << directRun.err;

    std::vector<std::string> viaDdns = {"--ddns-server", "127.0.0.1", "--ddns-port", std::to_string(ddns.port()),
                                        "--ddns-id", ddnsId};
    viaDdns.insert(viaDdns.end(), login.begin(), login.end());
    const Finished ddnsRun = runProgram(binaryPath("orvix-cli"), viaDdns);
    EXPECT_EQ(ddnsRun.exitCode, 0) << ddnsRun.out << ddnsRun.err;

    const std::vector<std::string> lines = readLines(log);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "LOGIN account=" + account + " ok=1"), 2) << lines.size();
    std::remove(log.c_str());
    if (previous != nullptr) {
        setenv("LC_ALL", kept.c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
}
