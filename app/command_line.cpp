#include "app/command_line.h"

#include <charconv>

namespace orvix {
namespace {

constexpr int kFirstChannel = 1;
constexpr int kLastChannel = 16;
constexpr int kShortestTour = 5;
constexpr int kLongestTour = 600;

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

std::optional<int> parseNumber(const std::string& text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < low || value > high) return std::nullopt;
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
        } else if (argument == "--wall" || argument.rfind("--wall=", 0) == 0) {
            options.wall = true;
            // The name is optional: the next argument, unless it is an option.
            if (argument != "--wall") {
                options.wallName = argument.substr(7);
            } else if (i + 1 < arguments.size() && arguments[i + 1].rfind("-", 0) != 0) {
                options.wallName = arguments[++i];
            }
        } else if (takeValue(arguments, i, "--tour", value, missing)) {
            options.tourSeconds = missing ? std::nullopt : parseNumber(value, kShortestTour, kLongestTour);
            if (!options.tourSeconds) fail("--tour needs a number of seconds from 5 to 600");
        } else if (argument == "--fullscreen") {
            options.fullScreen = true;
        } else if (takeValue(arguments, i, "--channel", value, missing)) {
            options.channel = missing ? std::nullopt : parseNumber(value, kFirstChannel, kLastChannel);
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
    if (options.tourSeconds && !options.wall) fail("--tour needs --wall");
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
    return "Usage: orvix [--connect NAME [--channel N] [--view N]] [--wall [NAME] [--tour SECONDS]]\n"
           "             [--fullscreen] [--renderer auto|software|opengl]\n"
           "Shows live and recorded video of the recorders in your device list.\n"
           "\n"
           "  --connect NAME   select the recorder NAME and connect to it at once\n"
           "  --channel N      show camera N (1-16) when connecting\n"
           "  --view N         show N pictures at once: 1, 4, 9 or 16 (as many as\n"
           "                   the recorder has cameras)\n"
           "  --wall [NAME]    open the wall: the saved layout NAME, or the cameras of\n"
           "                   the recorder NAME, or what it showed last\n"
           "  --tour SECONDS   with --wall: step through the tour's layouts (or the\n"
           "                   recorder's cameras) every 5 to 600 seconds\n"
           "  --fullscreen     show the video (with --wall: the wall) alone on the whole\n"
           "                   screen (F11 or Escape returns)\n"
           "  --renderer VIEW  draw pictures with OpenGL or in software; auto (the\n"
           "                   default) takes OpenGL only where hardware does it\n"
           "  --help           show this text and exit\n"
           "  --version        show the version and exit\n"
           "\n"
           "Exit status: 0 normally, 2 for a wrong option or an unknown recorder or layout.\n";
}

std::string versionText() { return std::string("orvix ") + ORVIX_VERSION; }

}  // namespace orvix
