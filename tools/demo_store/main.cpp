// orvix-demo-store: puts one recorder reached at a static address into the
// device list of $XDG_CONFIG_HOME (through libnodra.so beside this program),
// so that ORVIX opens with it. Used by scripts/demo.sh.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "core/library_binding.h"
#include "core/text_codec.h"
#include "tools/demo_store/demo_recorder.h"
#include "tools/sim_common/option_reader.h"

namespace {

constexpr char kUsage[] =
    "usage: orvix-demo-store --port N [--address ADDR] [--name NAME] [--account NAME]\n"
    "                        [--password PW] [--stream mpeg4|h264]\n"
    "Puts the recorder into the device list in $XDG_CONFIG_HOME/orvix (default\n"
    "name \"Demo recorder\", address 127.0.0.1, account admin, password 1234,\n"
    "stream mpeg4). A recorder of that name already in the list is updated.\n";

constexpr orvix::sim::OptionDefinition kOptions[] = {
    {"help", false}, {"port", true}, {"address", true}, {"name", true},
    {"account", true}, {"password", true}, {"stream", true},
};

int usageError(const std::string& error) {
    std::fprintf(stderr, "orvix-demo-store: %s\n%s", error.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orvix;
    std::vector<sim::ParsedOption> options;
    std::string error;
    if (!sim::readOptions(argc, argv, kOptions, options, error)) return usageError(error);

    demo::DemoRecorder recorder;
    bool havePort = false;
    for (const sim::ParsedOption& o : options) {
        if (o.name == "help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (o.name == "port") {
            int64_t port = 0;
            if (!sim::parseInteger(o.value, 1, 65535, port)) return usageError("--port needs a number from 1 to 65535");
            recorder.port = static_cast<uint16_t>(port);
            havePort = true;
        } else if (o.name == "address") {
            recorder.address = fromUtf8(o.value);
        } else if (o.name == "name") {
            recorder.name = fromUtf8(o.value);
        } else if (o.name == "account") {
            recorder.account = fromUtf8(o.value);
        } else if (o.name == "password") {
            recorder.password = fromUtf8(o.value);
        } else if (o.name == "stream") {
            if (o.value != "mpeg4" && o.value != "h264") return usageError("--stream must be mpeg4 or h264");
            recorder.framingKind = o.value == "mpeg4" ? 0 : 1;
        }
    }
    if (!havePort) return usageError("--port is needed");
    if (recorder.name.empty()) return usageError("--name must not be empty");

    const LibraryBinding binding = bindLibraries();
    if (!binding.storeAvailable()) {
        std::fprintf(stderr, "orvix-demo-store: %s\n", binding.problem.c_str());
        return 1;
    }
    DeviceList list;
    DeviceRecord working;
    initRecord(working);
    std::string notice = loadDeviceList(binding, list, working);
    if (!notice.empty()) std::fprintf(stderr, "orvix-demo-store: %s\n", notice.c_str());
    const uint32_t id = demo::putDemoRecorder(list, recorder, static_cast<uint32_t>(std::time(nullptr)))->id;
    notice = saveDeviceList(binding, list, working);
    releaseRecordTexts(working);
    if (!notice.empty()) {
        std::fprintf(stderr, "orvix-demo-store: %s\n", notice.c_str());
        return 1;
    }
    // The id names the recorder in the program's wall layouts.
    std::printf("device list: \"%s\" at %s:%u (id %u)\n", toUtf8(recorder.name).c_str(),
                toUtf8(recorder.address).c_str(), static_cast<unsigned>(recorder.port), id);
    return 0;
}
