// The program's command line: --help, --version, --connect NAME with
// --channel N, --view N and --fullscreen for a display that shows one recorder from
// the start, --wall [NAME] with --tour SECONDS for a wall of several
// recorders, and --renderer for the view pictures are drawn in. Plain
// C++, so that it can be read before any window system is reached.
//
// An option is one member of StartOptions, one branch in
// parseStartOptions() and one line of the usage text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "gui/renderer_preference.h"

namespace orvix {

struct StartOptions {
    enum class Action { Run, Help, Version, Invalid };
    Action action = Action::Run;
    std::string connectName;     // --connect: the recorder to connect to at once
    std::optional<int> channel;  // --channel: 1-16 as the user counts
    std::optional<int> view;     // --view: 1, 4, 9 or 16 pictures
    bool fullScreen = false;     // --fullscreen: start with the video (or the wall) on the whole screen
    bool wall = false;           // --wall: open the wall
    std::string wallName;        // its layout, or the recorder whose cameras it shows; empty: as last shown
    std::optional<int> tourSeconds;  // --tour: 5-600
    RendererPreference renderer = RendererPreference::Auto;  // --renderer
    std::string error;           // Invalid: what is wrong, for one line
};

// `arguments` without the program name. --help or --version anywhere wins
// over everything else; anything unknown or malformed makes it Invalid.
StartOptions parseStartOptions(const std::vector<std::string>& arguments);

std::string usageText();
// "orvix VERSION"
std::string versionText();

}  // namespace orvix
