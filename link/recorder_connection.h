// Everything one connection to a recorder (or to the DDNS server) needs:
// the socket, the buffers, the parser state, the frame ring, the status and
// the mode. Created by the video window at set-up, deleted at tear-down.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/device_record.h"
#include "link/channel_hand_over.h"
#include "link/decoder_opener.h"
#include "link/display_frame.h"
#include "link/frame_ring.h"
#include "link/info_line.h"
#include "link/link_end.h"
#include "link/link_notifier.h"
#include "link/link_shared.h"
#include "link/parser_state.h"
#include "link/reconnect_policy.h"
#include "link/status_address.h"
#include "link/tcp_socket.h"
#include "link/wire_format.h"

namespace orvix {

constexpr size_t kReceiveBufferSize = 262144;
constexpr size_t kAssemblyBufferSize = 262144;

// Longest a command sent from the owner's (window) thread waits for room in
// the socket: a recorder that stopped reading must not freeze the window.
// The link thread waits TcpSocket::kSendWaitMs.
constexpr int kOwnerSendWaitMs = 100;
// Longest a connect may take before the link gives up on it.
constexpr int kConnectTimeoutMs = 10000;
// A shown channel whose packets stopped this long starts again only at its
// next key picture.
constexpr int kChannelGapMs = 2000;

// The configuration memory of raw H.264 streams: no parameter set sent yet.
constexpr uint8_t kRawConfigInitial = 100;
constexpr uint8_t kRawConfigAfterFailure = 10;

class RecorderConnection {
public:
    RecorderConnection() = default;
    RecorderConnection(const RecorderConnection&) = delete;
    RecorderConnection& operator=(const RecorderConnection&) = delete;

    // Allocates every buffer, zero-filled, in this order: receive, assembly,
    // the four ring slots, decode, send payload, send frame. False when one
    // cannot be had (what was allocated stays until releaseBuffers()).
    bool allocateBuffers();
    // Frees the buffers: send frame, send payload, decode, assembly, receive.
    void releaseBuffers();
    bool buffersReady() const;

    // Frames `payload` for `framing` and sends it in one call. The caller
    // holds sendLock, so commands from the window thread and the link thread
    // never share the buffers at the same time. Returns the bytes sent, 0
    // when the packet exceeds the framing limit, -1 when it did not go out
    // whole. A packet cut part way shuts the socket down and sets
    // commandCut; the link thread then ends the link.
    int sendFramed(FramingKind framing, uint32_t code, const uint8_t* payload, size_t length);
    // How long a send on the calling thread may wait for room.
    int sendWaitMs() const;

    TcpSocket socket;
    FrameRing ring;

    std::atomic<int> status{0};  // LinkStatus, 0-15
    std::atomic<int> mode{0};    // 0 live, 1 search
    // The last data request asked for no channel (a range request, a
    // paused playback): no video is due, so the silence watch waits.
    std::atomic<bool> videoStopped{false};
    // What status 1 shows; written by the link thread, read when painting.
    StatusAddress statusAddress;

    // Link thread only: parser state and the resynchronisation rule.
    ParserState parser;
    int resync = 0;
    int lastChannel = 0;

    // The channels shown when more than one is (bit c for channel c). 0 is
    // the single view: the record's current channel and the frame ring.
    // The owner changes it with showChannels() before the request that asks
    // for them; the link thread reads it per packet.
    std::atomic<uint32_t> shownChannels{0};
    // Channels that joined the shown set since the link thread last looked:
    // each waits for its own key picture.
    std::atomic<uint32_t> channelsJoined{0};
    void showChannels(uint32_t mask) {
        channelsJoined.fetch_or(mask & ~shownChannels.load());
        shownChannels.store(mask);
    }
    // While a set is shown: the channel of the set that keeps the single
    // view's path (the record's current channel shown through the frame
    // ring, other channels riding along on the same connection); -1 for
    // none. Set by the owner with the set.
    std::atomic<int> ringChannel{-1};
    // Where the packets of a shown set go (set before the threads start).
    ChannelHandOver* channelHandOver = nullptr;
    // Link thread only: the shown channels waiting for their own key
    // picture, and when each channel's last packet came (a channel silent
    // for kChannelGapMs waits again).
    uint32_t channelResync = 0;
    std::array<std::chrono::steady_clock::time_point, 16> channelLastPacket{};

    // Link thread only: the recorder's address and port as the DDNS server
    // answered them. They belong to this connection; the record keeps the
    // address and port the user entered.
    std::u16string ddnsAddress;
    uint16_t ddnsPort = 0;

    // Set by the owner before the threads start.
    LinkShared* shared = nullptr;
    LinkNotifier* notifier = nullptr;
    // Where the link reports: the notifier, or one that hears nothing when
    // none is set.
    LinkNotifier& report();
    DecoderOpener* decoder = nullptr;
    DeviceRecord* record = nullptr;
    InfoLine* infoLine = nullptr;
    int connectTimeoutMs = kConnectTimeoutMs;

    // How the current run of the link ended, if it did (link thread writes).
    LinkEndRecord end;
    // Whether and when the link connects again by itself (owner writes).
    ReconnectSetting reconnect;
    // The attempt the link is waiting to make (0: none) and when it is due,
    // in steady-clock milliseconds; the status line shows them (link thread
    // writes).
    std::atomic<int> reconnectAttempt{0};
    std::atomic<int64_t> reconnectDueMs{0};
    // A command went out only in part (any thread that sends writes it).
    std::atomic<bool> commandCut{false};
    // The link thread, which sends with the long wait (it writes this).
    std::atomic<std::thread::id> linkThreadId{};

    // Display thread only: the raw H.264 configuration memory and its twin.
    uint8_t rawConfig = kRawConfigInitial;
    uint8_t rawConfigSecond = kRawConfigInitial;

    DisplayFrame display;

    // Buffers, allocated once per connection.
    std::unique_ptr<uint8_t[]> receiveBuffer;   // kReceiveBufferSize
    std::unique_ptr<uint8_t[]> assemblyBuffer;  // kAssemblyBufferSize
    std::unique_ptr<uint8_t[]> decodeBuffer;    // kDecodeBufferSize
    std::unique_ptr<uint8_t[]> sendPayload;     // kSendPayloadSize
    std::unique_ptr<uint8_t[]> frameBuffer;     // kFrameBufferSize

    // Held while a command is built and sent.
    std::mutex sendLock;
};

}  // namespace orvix
