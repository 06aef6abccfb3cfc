// The client side of the simulator tests: the project's own link (the link
// thread, a test window handling its notifications, a test display side
// keeping every packet the ring hands over) connected to a simulator, and
// the project's decoder turning the packets back into pictures.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/link_shared.h"
#include "link/link_thread.h"
#include "link/recorder_connection.h"
#include "media/video_decoder.h"
#include "tests/link/ring_consumer.h"
#include "tests/link/test_window.h"
#include "tools/recorder_sim/picture_canvas.h"

namespace orvix::test {

using PacketBytes = std::vector<uint8_t>;

struct ClientSettings {
    std::u16string account = u"admin";
    std::u16string password = u"1234";
    int32_t modelIndex = 0;  // what the user chose; the recorder's description overwrites it
    bool iframeOnly = false;
    int channel = 0;
};

class SimTestClient {
public:
    explicit SimTestClient(uint16_t port, const ClientSettings& settings = {});
    ~SimTestClient();
    SimTestClient(const SimTestClient&) = delete;
    SimTestClient& operator=(const SimTestClient&) = delete;

    // Through a DDNS server instead of directly.
    void useDdns(uint16_t ddnsPort, std::u16string_view ddnsId);
    // Message 1026: connect.
    void connect();
    // The disconnect sequence, on the window thread.
    void disconnect();

    int status() const { return connection.status.load(); }
    // Until the status is `value` and the window has handled its refresh.
    bool waitStatus(int value);
    bool waitPackets(size_t count);
    std::vector<PacketBytes> packets() const { return consumer.packets(); }
    size_t packetCount() const { return consumer.packetCount(); }
    // Runs `task` on the window thread (where the command wrappers run).
    void onWindow(const std::function<void()>& task) { window.run(task); }
    // The channel the user picks: the record's channel and the data request.
    void selectChannel(int channel);

    DeviceRecord* record = nullptr;
    LinkShared shared;
    RecorderConnection connection;
    TestWindow window;
    LinkThread link{connection};
    RingConsumer consumer{connection.ring, shared};
};

// What the display side reads from a packet handed over by the ring (the
// fields of the model's frame kind) and the wire fields the parser checked.
struct PacketInfo {
    char kind = '?';          // the start marker's last byte: F2/F3/F5 as '2'/'3'/'5', 'J', 'V', '`'
    int channel = -1;
    bool key = false;
    uint32_t time = 0;        // seconds since 1970
    int streamKind = -1;
    size_t payloadOffset = 0;
    size_t payloadLength = 0;
};
std::optional<PacketInfo> readPacket(const PacketBytes& packet, int32_t modelIndex);

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> bgrx;
    PacketInfo info;

    sim::Rgb at(int x, int y) const;
    // Per-component median over the left middle of the picture, away from
    // the target, the number and the text.
    sim::Rgb background() const;
    // The centre of the near-black pixels (the target), and their count.
    bool findTarget(double& x, double& y, int& pixels) const;
    // The mean colour of a rectangle.
    sim::Rgb mean(const sim::Rect& rect) const;
};

// Decodes packets as the display thread does, with the project's decoder
// opened for the recorder's model.
class PacketDecoder {
public:
    explicit PacketDecoder(int32_t modelIndex);
    ~PacketDecoder();
    PacketDecoder(const PacketDecoder&) = delete;
    PacketDecoder& operator=(const PacketDecoder&) = delete;

    // Nothing for a packet of another channel, one that gives no picture
    // (e.g. a raw picture before the first key picture), or bad fields.
    std::optional<Picture> decode(const PacketBytes& packet, int channel);
    // Every picture of `packets` for `channel`.
    std::vector<Picture> decodeAll(const std::vector<PacketBytes>& packets, int channel);

private:
    int32_t model_;
    DeviceRecord* record_;
    RecorderConnection connection_;
    VideoDecoder decoder_;
};

bool isNear(sim::Rgb a, sim::Rgb b, int tolerance = 40);

}  // namespace orvix::test
