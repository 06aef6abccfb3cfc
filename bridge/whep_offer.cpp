#include "bridge/whep_offer.h"

#include <map>
#include <sstream>
#include <vector>

namespace orvix::bridge {
namespace {

struct Payload {
    bool h264 = false;
    bool modeOne = false;
    std::string profileLevelId;
};

// "a=NAME:PT rest" -> PT, rest; false for another line.
bool attributeOf(const std::string& line, const std::string& name, int& pt, std::string& rest) {
    const std::string prefix = "a=" + name + ":";
    if (line.rfind(prefix, 0) != 0) return false;
    std::istringstream in(line.substr(prefix.size()));
    if (!(in >> pt)) return false;
    std::getline(in >> std::ws, rest);
    return true;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void readFmtp(const std::string& parameters, Payload& payload) {
    std::istringstream in(parameters);
    std::string item;
    while (std::getline(in, item, ';')) {
        const size_t eq = item.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = lower(item.substr(item.find_first_not_of(' '), eq - item.find_first_not_of(' ')));
        const std::string value = item.substr(eq + 1);
        if (key == "packetization-mode") payload.modeOne = value == "1";
        if (key == "profile-level-id") payload.profileLevelId = lower(value);
    }
}

}  // namespace

bool constrainedBaseline(const std::string& profileLevelId) {
    if (profileLevelId.size() != 6) return false;
    unsigned long value = 0;
    try {
        value = std::stoul(profileLevelId, nullptr, 16);
    } catch (...) {
        return false;
    }
    const unsigned long profile = value >> 16, constraints = (value >> 8) & 0xff;
    return profile == 0x42 && (constraints & 0x40) != 0;
}

std::optional<H264Choice> chooseH264(const std::string& offerSdp) {
    std::istringstream in(offerSdp);
    std::string line;
    bool inVideo = false, seenVideo = false;
    std::vector<int> order;
    std::map<int, Payload> payloads;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("m=", 0) == 0) {
            // The first video section only.
            if (seenVideo) break;
            inVideo = line.rfind("m=video ", 0) == 0;
            if (!inVideo) continue;
            seenVideo = true;
            std::istringstream fields(line.substr(2));
            std::string media, port, proto;
            fields >> media >> port >> proto;
            for (int pt; fields >> pt;) order.push_back(pt);
            continue;
        }
        if (!inVideo) continue;
        int pt = 0;
        std::string rest;
        if (attributeOf(line, "rtpmap", pt, rest)) payloads[pt].h264 = lower(rest).rfind("h264/90000", 0) == 0;
        if (attributeOf(line, "fmtp", pt, rest)) readFmtp(rest, payloads[pt]);
    }
    std::optional<H264Choice> any;
    for (int pt : order) {
        const Payload& p = payloads[pt];
        if (!p.h264 || !p.modeOne) continue;
        const H264Choice choice{pt, p.profileLevelId.empty() ? "42e01f" : p.profileLevelId};
        if (constrainedBaseline(choice.profileLevelId)) return choice;
        if (!any) any = choice;
    }
    return any;
}

}  // namespace orvix::bridge
