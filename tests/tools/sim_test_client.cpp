#include "tests/tools/sim_test_client.h"

#include <algorithm>
#include <cstdlib>

#include "link/command_wrappers.h"
#include "link/frame_kind.h"
#include "link/link_stop.h"
#include "link/wire_format.h"
#include "media/calendar_time.h"

namespace orvix::test {

SimTestClient::SimTestClient(uint16_t port, const ClientSettings& settings) {
    record = createRecord();
    setText(record->account, settings.account);
    setText(record->password, settings.password);
    setText(record->address, u"127.0.0.1");
    record->port = port;
    record->useStatic = 1;
    record->modelIndex = settings.modelIndex;
    record->currentChannel = settings.channel;

    // What the video window does at set-up.
    connection.record = record;
    connection.shared = &shared;
    connection.notifier = &window;
    connection.allocateBuffers();
    connection.socket.create();
    connection.resync = 1;
    shared.iframeOnly = settings.iframeOnly ? 1 : 0;
    shared.threadState = kLinkReady;
    window.attach(&connection);
    link.start();
    consumer.start();
    connection.ring.signalSlotFree();
}

SimTestClient::~SimTestClient() {
    if (link.joinable()) disconnect();
    consumer.stop();
    destroyRecord(record);
}

void SimTestClient::useDdns(uint16_t ddnsPort, std::u16string_view ddnsId) {
    record->useStatic = 0;
    record->useDdns = 1;
    setText(record->ddnsServer, u"127.0.0.1");
    record->ddnsPort = ddnsPort;
    setText(record->ddnsId, ddnsId);
    // The recorder's address comes from the DDNS server.
    setText(record->address, u"");
    record->port = 0;
}

void SimTestClient::connect() { shared.threadState = kLinkConnect; }

void SimTestClient::disconnect() {
    window.run([this] { stopLink(shared, &connection, &link, [this](int ms) { window.pumpFor(ms); }); });
}

bool SimTestClient::waitStatus(int value) {
    return waitUntil([this, value] {
        const auto statuses = window.refreshStatuses();
        return status() == value && !statuses.empty() && statuses.back() == value;
    });
}

bool SimTestClient::waitPackets(size_t count) {
    return waitUntil([this, count] { return consumer.packetCount() >= count; });
}

void SimTestClient::selectChannel(int channel) {
    record->currentChannel = channel;
    window.run([this, channel] { requestData(&connection, channel, 0); });
}

std::optional<PacketInfo> readPacket(const PacketBytes& p, int32_t modelIndex) {
    if (p.size() < 36) return std::nullopt;
    PacketInfo info;
    const uint8_t marker = p[3];
    info.kind = marker == 0xF2 ? '2' : marker == 0xF3 ? '3' : marker == 0xF5 ? '5' : static_cast<char>(marker);
    switch (info.kind) {
        case 'V':
            info.streamKind = p[28];
            break;
        case '`':
            info.streamKind = p[22];
            break;
        default:
            info.streamKind = p[24];
            break;
    }
    switch (frameKindForModel(modelIndex)) {
        case FrameKind::Header64:
        case FrameKind::Header32: {
            const size_t header = frameKindForModel(modelIndex) == FrameKind::Header64 ? 64 : 32;
            if (p.size() < header + 4) return std::nullopt;
            info.channel = p[8] & 0x0F;
            info.key = (p[8] >> 4) == 1;
            info.time = readLe32(p.data() + 4);
            info.payloadOffset = header;
            info.payloadLength = p.size() - header - 4;
            return info;
        }
        case FrameKind::Header32Raw:
            info.channel = p[4];
            info.key = p[5] == 0;
            info.time = readLe32(p.data() + 8) + kRawTimeOffset;
            info.payloadOffset = 32;
            info.payloadLength = readLe32(p.data() + 12);
            if (info.payloadLength > p.size() - 32) return std::nullopt;
            return info;
        case FrameKind::None:
            break;
    }
    return std::nullopt;
}

sim::Rgb Picture::at(int x, int y) const {
    const uint8_t* p = bgrx.data() + (static_cast<size_t>(y) * width + x) * 4;
    return {p[2], p[1], p[0]};
}

sim::Rgb Picture::background() const {
    std::vector<int> r, g, b;
    for (int y = height / 3; y < 2 * height / 3; y += 2) {
        for (int x = 2; x < width / 5; x += 2) {
            const sim::Rgb c = at(x, y);
            r.push_back(c.r);
            g.push_back(c.g);
            b.push_back(c.b);
        }
    }
    auto median = [](std::vector<int>& v) {
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return static_cast<uint8_t>(v[v.size() / 2]);
    };
    return {median(r), median(g), median(b)};
}

bool Picture::findTarget(double& x, double& y, int& pixels) const {
    double sx = 0, sy = 0;
    pixels = 0;
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            const sim::Rgb c = at(i, j);
            if (c.r < 50 && c.g < 50 && c.b < 50) {
                sx += i;
                sy += j;
                ++pixels;
            }
        }
    }
    if (pixels == 0) return false;
    x = sx / pixels;
    y = sy / pixels;
    return true;
}

sim::Rgb Picture::mean(const sim::Rect& rect) const {
    long r = 0, g = 0, b = 0, n = 0;
    for (int j = rect.y; j < rect.y + rect.height; ++j) {
        for (int i = rect.x; i < rect.x + rect.width; ++i) {
            const sim::Rgb c = at(i, j);
            r += c.r;
            g += c.g;
            b += c.b;
            ++n;
        }
    }
    if (n == 0) return {};
    return {static_cast<uint8_t>(r / n), static_cast<uint8_t>(g / n), static_cast<uint8_t>(b / n)};
}

PacketDecoder::PacketDecoder(int32_t modelIndex) : model_(modelIndex), record_(createRecord()) {
    record_->modelIndex = modelIndex;
    connection_.record = record_;
    decoder_.open(720, 576, *record_);
}

PacketDecoder::~PacketDecoder() {
    decoder_.close();
    destroyRecord(record_);
}

std::optional<Picture> PacketDecoder::decode(const PacketBytes& packet, int channel) {
    const std::optional<PacketInfo> info = readPacket(packet, model_);
    if (!info || info->channel != channel) return std::nullopt;
    record_->currentChannel = channel;
    DecodedPicture decoded;
    if (frameKindForModel(model_) == FrameKind::Header32Raw) {
        decoded = decoder_.decodeRaw(packet.data(), packet.size(), connection_);
    } else {
        decoded = decoder_.decode(packet.data() + info->payloadOffset, info->payloadLength);
    }
    if (!decoded) return std::nullopt;
    Picture picture;
    picture.width = decoded.width;
    picture.height = decoded.height;
    picture.bgrx.assign(decoded.pixels, decoded.pixels + static_cast<size_t>(decoded.width) * decoded.height * 4);
    picture.info = *info;
    return picture;
}

std::vector<Picture> PacketDecoder::decodeAll(const std::vector<PacketBytes>& packets, int channel) {
    std::vector<Picture> out;
    for (const PacketBytes& packet : packets) {
        if (auto picture = decode(packet, channel)) out.push_back(std::move(*picture));
    }
    return out;
}

bool isNear(sim::Rgb a, sim::Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

}  // namespace orvix::test
