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

#include <QByteArray>
#include <QPoint>
#include <QSize>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "gui/wall_layout.h"
#include "gui/wall_tile_choice.h"

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

// A wall's tiles: their arrangement and the camera each shows (as many
// choices as the arrangement has tiles, empty ones included).
struct WallLayout {
    QString name;  // empty: not saved under a name
    WallArrangement arrangement = WallArrangement::Four;
    std::vector<WallTileChoice> tiles;

    bool operator==(const WallLayout&) const = default;
};

// What the wall remembers, in the [wall] part of the same file: the layouts
// saved by name, what it showed last, the tour's layouts and interval, and
// how many cameras each recorder reported at its last login. Kept apart
// from ViewerSettings: each saves only its own keys.
struct WallSettings {
    static constexpr int kMinTourSeconds = 5;
    static constexpr int kMaxTourSeconds = 600;
    static constexpr int kMaxNameLength = 64;

    std::vector<WallLayout> layouts;  // in the order saved; names unique
    WallLayout shown;                 // named after the layout it came from, if any
    std::vector<QString> tour;        // the layouts a tour steps through; empty: all
    int tourSeconds = 10;
    std::map<uint32_t, int> cameras;  // by recorder id, 1-16
    QByteArray geometry;              // the window's, as Qt saves it

    // A layout name as it is kept: trimmed; empty when blank or too long.
    static QString layoutName(const QString& wanted);
    const WallLayout* find(const QString& name) const;
    // Adds `layout` under its name, or replaces the one of that name.
    void put(const WallLayout& layout);

    // Stored values are checked: a layout without a name, with a name
    // taken already or an unknown arrangement is left out; a tile with a
    // recorder id of 0 or a camera outside 1-16 is empty; a tour interval
    // outside 5-600 s is the default.
    static WallSettings load();
    // False when the file could not be written.
    bool save() const;
};

}  // namespace orvix
