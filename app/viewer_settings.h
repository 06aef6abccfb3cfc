// What the program remembers from one start to the next: the chosen
// recorder and channel, "I only", each recorder's view, group and selected
// tile, the recorders connected without the question, the page shown, the
// window's place and whether it was maximised or showed the video on the
// whole screen.
// Kept in $XDG_CONFIG_HOME/orvix/orvix.conf (~/.config/orvix/orvix.conf
// without it) in INI form, apart from the device list.
//
// A setting is one member with its default here and one key in load() and
// save(); a value missing from the file or unreadable keeps the default.
#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <set>

namespace orvix {

// How many pictures a recorder was shown with (1, 4, 9 or 16), which
// group of cameras (0 for the first `view` cameras) and the selected tile's
// channel (0-based; -1 for none kept).
struct GridChoice {
    int view = 1;
    int group = 0;
    int channel = -1;
    bool operator==(const GridChoice&) const = default;
};

struct ViewerSettings {
    uint32_t recorderId = 0;  // the recorder chosen last; 0 for none
    int channel = 0;          // its channel, 0-15
    // "I only": off on a first start, so that the first picture runs at the
    // recorder's full rate rather than at one key picture a second.
    bool iframeOnly = false;
    int page = 0;             // the tab page shown, 0-6
    std::optional<QPoint> position;  // the window's top-left corner, frame included
    std::optional<QSize> size;       // the normal (not maximised) size
    bool maximised = false;
    bool fullScreen = false;         // the video alone on the whole screen
    std::map<uint32_t, GridChoice> views;  // by recorder id
    // Recorders connected without the "Question" box ("Do not ask again").
    std::set<uint32_t> connectWithoutAsking;

    // The file, from the environment at the time of the call.
    static QString filePath();
    static ViewerSettings load();
    // False when the file could not be written.
    bool save() const;
};

}  // namespace orvix
