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
    EXPECT_EQ(socket.waitReadable(1000), TcpSocket::WaitResult::Readable);
    EXPECT_EQ(socket.receive(buffer, sizeof buffer), 0);
}

TEST(TcpSocket, ResetReachesTheReceiveAsAnError) {
    // Read at once, and after a send has met the reset first.
    for (const bool sendFirst : {false, true}) {
        SCOPED_TRACE(sendFirst ? "send first" : "receive first");
        LoopbackListener listener;
        TcpSocket socket;
        ASSERT_TRUE(socket.create());
        ASSERT_EQ(socket.connect(u"127.0.0.1", listener.port()), 0);
        const int peer = listener.accept();
        ASSERT_GE(peer, 0);
        ASSERT_EQ(socket.waitConnected(5000), TcpSocket::ConnectState::Connected);

        // Bytes before the reset are still read; then the reset is an error,
        // not the quiet end of the stream a close would be.
        ASSERT_TRUE(writeAll(peer, std::vector<uint8_t>{1, 2, 3}));
        ASSERT_EQ(waitForBytes(socket, 3), 3);
        resetFd(peer);
        ASSERT_EQ(socket.waitReadable(2000), TcpSocket::WaitResult::Readable);
        uint8_t buffer[16];
        if (sendFirst) {
            // Readable also while the bytes wait: let the reset arrive.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_EQ(socket.send(buffer, 4), -1);
        }
        int result = socket.receive(buffer, sizeof buffer);
        if (result == 3) result = socket.receive(buffer, sizeof buffer);  // the bytes from before the reset
        EXPECT_EQ(result, -1);
        EXPECT_EQ(socket.lastError(), ECONNRESET);
    }
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

TEST(TcpSocket, ConnectOutcomeIsKept) {
    // A port nobody listens on: take one from a listener and close it.
    uint16_t port;
    {
        LoopbackListener listener;
        port = listener.port();
    }
    TcpSocket refused;
    ASSERT_TRUE(refused.create());
    EXPECT_EQ(refused.connectState(), TcpSocket::ConnectState::Idle);
    refused.connect(u"127.0.0.1", port);
    TcpSocket::ConnectState state = refused.connectState();
    for (int i = 0; i < 50 && state == TcpSocket::ConnectState::InProgress; ++i) state = refused.waitConnected(100);
    EXPECT_EQ(state, TcpSocket::ConnectState::Failed);
    EXPECT_EQ(refused.lastError(), ECONNREFUSED);
    // The outcome stays; asking again does not wait or change it.
    EXPECT_EQ(refused.waitConnected(100), TcpSocket::ConnectState::Failed);

    LoopbackListener listener;
    TcpSocket accepted;
    ASSERT_TRUE(accepted.create());
    ASSERT_EQ(accepted.connect(u"127.0.0.1", listener.port()), 0);
    EXPECT_EQ(accepted.waitConnected(5000), TcpSocket::ConnectState::Connected);
    const int peer = listener.accept();
    EXPECT_GE(peer, 0);
    closeFd(peer);

    // A failed look-up fails at once; a new socket starts over.
    EXPECT_EQ(accepted.connect(u"1nonexistent.invalid", 3000), -1);
    EXPECT_EQ(accepted.connectState(), TcpSocket::ConnectState::Failed);
    ASSERT_TRUE(accepted.create());
    EXPECT_EQ(accepted.connectState(), TcpSocket::ConnectState::Idle);
}

TEST(TcpSocket, SendGoesWholeOrIsReportedCut) {
    LoopbackListener listener;
    TcpSocket socket;
    ASSERT_TRUE(socket.create());
    const int small = 4096;
    ::setsockopt(socket.descriptor(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ASSERT_EQ(socket.connect(u"127.0.0.1", listener.port()), 0);
    const int peer = listener.accept();  // never reads
    ASSERT_GE(peer, 0);
    ::setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ASSERT_EQ(socket.waitConnected(5000), TcpSocket::ConnectState::Connected);

    // Far more than both buffers hold: part goes, the rest cannot.
    std::vector<uint8_t> big(4 * 1024 * 1024, 0x55);
    EXPECT_EQ(socket.send(big.data(), big.size(), 100), -1);
    EXPECT_EQ(socket.lastError(), TcpSocket::kWouldBlock);
    EXPECT_TRUE(socket.streamCut());

    // On a full buffer nothing goes: the stream is not cut by that.
    TcpSocket full;
    ASSERT_TRUE(full.create());
    ::setsockopt(full.descriptor(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ASSERT_EQ(full.connect(u"127.0.0.1", listener.port()), 0);
    const int quiet = listener.accept();
    ASSERT_GE(quiet, 0);
    ::setsockopt(quiet, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ASSERT_EQ(full.waitConnected(5000), TcpSocket::ConnectState::Connected);
    const uint8_t byte = 1;
    int sent = 0;
    while (full.send(&byte, 1, 0) == 1) ++sent;
    EXPECT_GT(sent, 0);
    EXPECT_EQ(full.lastError(), TcpSocket::kWouldBlock);
    EXPECT_FALSE(full.streamCut());
    // Once the peer reads, the same socket sends whole packets again.
    EXPECT_EQ(readExactly(quiet, static_cast<size_t>(sent)).size(), static_cast<size_t>(sent));
    EXPECT_EQ(full.send(&byte, 1, 2000), 1);
    closeFd(peer);
    closeFd(quiet);
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
