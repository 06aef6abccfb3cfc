#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <thread>
#include <vector>

#include "link/host_lookup.h"
#include "link/tcp_socket.h"
#include "tests/support/loopback_server.h"

using namespace orvix;
using namespace orvix::test;

namespace {

// Waits until the socket reports `count` waiting bytes (or gives up).
int waitForBytes(TcpSocket& socket, int count) {
    for (int i = 0; i < 200; ++i) {
        int n = socket.bytesWaiting();
        if (n >= count) return n;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return socket.bytesWaiting();
}

}  // namespace

TEST(TcpSocket, ConnectSendReceiveOverLoopback) {
    LoopbackListener listener;
    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    ASSERT_EQ(socket.connect(u"127.0.0.1", listener.port()), 0);
    int peer = listener.accept();
    ASSERT_GE(peer, 0);

    const uint8_t hello[] = {1, 2, 3, 4, 5};
    // The connect completes in the background; a send may need a moment.
    EXPECT_EQ(socket.send(hello, sizeof hello), 5);
    EXPECT_EQ(readExactly(peer, 5), std::vector<uint8_t>(hello, hello + 5));

    ASSERT_TRUE(writeAll(peer, std::vector<uint8_t>{9, 8, 7}));
    EXPECT_EQ(waitForBytes(socket, 3), 3);
    uint8_t buffer[16];
    EXPECT_EQ(socket.receive(buffer, sizeof buffer), 3);
    EXPECT_EQ(buffer[0], 9);
    EXPECT_EQ(socket.bytesWaiting(), 0);
    EXPECT_EQ(socket.receive(buffer, sizeof buffer), -1);
    EXPECT_EQ(socket.lastError(), TcpSocket::kWouldBlock);

    closeFd(peer);
    EXPECT_EQ(socket.waitReadable(1000), TcpSocket::WaitResult::EndOfStream);
    EXPECT_EQ(socket.receive(buffer, sizeof buffer), 0);
}

TEST(TcpSocket, HostNameIsLookedUp) {
    LoopbackListener listener;
    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    ASSERT_EQ(socket.connect(u"localhost", listener.port()), 0);
    int peer = listener.accept();
    EXPECT_GE(peer, 0);
    closeFd(peer);
}

TEST(TcpSocket, DigitFirstNameThatIsNotAnAddressIsLookedUpAndFails) {
    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    EXPECT_EQ(socket.connect(u"1nonexistent.invalid", 3000), -1);
    EXPECT_EQ(socket.lastError(), TcpSocket::kInvalidArgument);
    EXPECT_EQ(socket.connect(u"", 3000), -1);
    EXPECT_EQ(socket.lastError(), TcpSocket::kInvalidArgument);
}

TEST(TcpSocket, CloseIsIdempotentAndClosedSocketFailsQueries) {
    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    socket.close();
    socket.close();
    EXPECT_FALSE(socket.isOpen());
    EXPECT_EQ(socket.bytesWaiting(), -1);
    uint8_t byte = 0;
    EXPECT_EQ(socket.send(&byte, 1), -1);
    EXPECT_EQ(socket.receive(&byte, 1), -1);
    EXPECT_EQ(socket.connect(u"127.0.0.1", 1), -1);
}

TEST(TcpSocket, SendToPeerThatHasGoneDoesNotRaiseSigpipe) {
    LoopbackListener listener;
    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    ASSERT_EQ(socket.connect(u"127.0.0.1", listener.port()), 0);
    int peer = listener.accept();
    ASSERT_GE(peer, 0);
    closeFd(peer);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<uint8_t> data(65536, 0x55);
    // The first send may still be accepted locally; later ones fail with an
    // error instead of killing the process.
    int result = 0;
    for (int i = 0; i < 20 && result >= 0; ++i) result = socket.send(data.data(), data.size());
    EXPECT_EQ(result, -1);
}

TEST(TcpSocket, RefusedConnectWaitsInsteadOfSpinning) {
    // A port nobody listens on: take one from a listener and close it.
    uint16_t port;
    {
        LoopbackListener listener;
        port = listener.port();
    }
    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    socket.connect(u"127.0.0.1", port);
    auto start = std::chrono::steady_clock::now();
    auto result = socket.waitReadable(100);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_NE(result, TcpSocket::WaitResult::Readable);
    EXPECT_GE(waited, std::chrono::milliseconds(90));
}

TEST(TcpSocket, ReceiveIntoLimitedBuffer) {
    LoopbackListener listener;
    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    ASSERT_EQ(socket.connect(u"127.0.0.1", listener.port()), 0);
    int peer = listener.accept();
    std::vector<uint8_t> data(1000, 0x42);
    ASSERT_TRUE(writeAll(peer, data));
    waitForBytes(socket, 1000);
    uint8_t buffer[300];
    EXPECT_EQ(socket.receive(buffer, sizeof buffer), 300);
    EXPECT_EQ(socket.bytesWaiting(), 700);
    closeFd(peer);
}

TEST(HostLookup, DottedAddressesAndFormatting) {
    auto a = parseDottedAddress("192.168.0.10");
    ASSERT_TRUE(a);
    EXPECT_EQ(formatDottedAddress(*a), "192.168.0.10");
    EXPECT_FALSE(parseDottedAddress("192.168.0"));
    EXPECT_FALSE(parseDottedAddress("1host"));
    auto local = lookupHost("localhost");
    ASSERT_TRUE(local);
    EXPECT_EQ(formatDottedAddress(*local), "127.0.0.1");
}
