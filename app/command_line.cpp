#include "app/command_line.h"

#include <charconv>

namespace orvix {
namespace {

constexpr int kFirstChannel = 1;
constexpr int kLastChannel = 16;

// "--name=value" or "--name value"; false when `name` is not this option.
bool takeValue(const std::vector<std::string>& arguments, size_t& i, const std::string& name, std::string& value,
               bool& missing) {
    const std::string& argument = arguments[i];
    if (argument == name) {
        missing = i + 1 >= arguments.size();
        if (!missing) value = arguments[++i];
        return true;
    }
    if (argument.rfind(name + "=", 0) == 0) {
        value = argument.substr(name.size() + 1);
        missing = false;
        return true;
    }
    return false;
}

std::optional<int> parseView(const std::string& text) {
    for (int view : {1, 4, 9, 16}) {
        if (text == std::to_string(view)) return view;
    }
    return std::nullopt;
}

std::optional<int> parseChannel(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < kFirstChannel || value > kLastChannel) return std::nullopt;
    return value;
}

}  // namespace

StartOptions parseStartOptions(const std::vector<std::string>& arguments) {
    StartOptions options;
    bool help = false;
    bool version = false;
    std::string error;
    auto fail = [&error](std::string text) {
        if (error.empty()) error = std::move(text);
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string value;
        bool missing = false;
        if (argument == "--help" || argument == "-h") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else if (takeValue(arguments, i, "--connect", value, missing)) {
            if (missing || value.empty()) {
                fail("--connect needs the name of a recorder");
            } else {
                options.connectName = value;
            }
        } else if (argument == "--fullscreen") {
            options.fullScreen = true;
        } else if (takeValue(arguments, i, "--channel", value, missing)) {
            options.channel = missing ? std::nullopt : parseChannel(value);
            if (!options.channel) fail("--channel needs a number from 1 to 16");
        } else if (takeValue(arguments, i, "--view", value, missing)) {
            options.view = missing ? std::nullopt : parseView(value);
            if (!options.view) fail("--view needs 1, 4, 9 or 16");
        } else if (takeValue(arguments, i, "--renderer", value, missing)) {
            const auto preference = missing ? std::nullopt : parseRendererPreference(value);
            if (preference) {
                options.renderer = *preference;
            } else {
                fail("--renderer needs auto, software or opengl");
            }
        } else {
            fail("unknown option " + argument);
        }
    }
    if (help) {
        options.action = StartOptions::Action::Help;
    } else if (version) {
        options.action = StartOptions::Action::Version;
    } else if (!error.empty()) {
        options.action = StartOptions::Action::Invalid;
        options.error = error;
    }
    return options;
}

std::string usageText() {
    return "Usage: orvix [--connect NAME [--channel N] [--view N]] [--fullscreen] [--renderer auto|software|opengl]\n"
           "Shows live and recorded video of the recorders in your device list.\n"
           "\n"
           "  --connect NAME   select the recorder NAME and connect to it at once\n"
           "  --channel N      show camera N (1-16) when connecting\n"
           "  --view N         show N pictures at once: 1, 4, 9 or 16 (as many as\n"
           "                   the recorder has cameras)\n"
           "  --fullscreen     show the video alone on the whole screen (F11 or Escape returns)\n"
           "  --renderer VIEW  draw pictures with OpenGL or in software; auto (the\n"
           "                   default) takes OpenGL only where hardware does it\n"
           "  --help           show this text and exit\n"
           "  --version        show the version and exit\n"
           "\n"
           "Exit status: 0 normally, 2 for a wrong option or an unknown recorder.\n";
}

std::string versionText() { return std::string("orvix ") + ORVIX_VERSION; }

}  // namespace orvix
