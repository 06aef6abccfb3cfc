// What the program remembers from one start to the next: the chosen
// recorder and channel, "I only", the page shown, the window's place and
// whether it was maximised or showed the video on the whole screen.
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
#include <optional>

namespace orvix {

struct ViewerSettings {
    uint32_t recorderId = 0;  // the recorder chosen last; 0 for none
    int channel = 0;          // its channel, 0-15
    bool iframeOnly = true;   // "I only"
    int page = 0;             // the tab page shown, 0-6
    std::optional<QPoint> position;  // the window's top-left corner, frame included
    std::optional<QSize> size;       // the normal (not maximised) size
    bool maximised = false;
    bool fullScreen = false;         // the video alone on the whole screen

    // The file, from the environment at the time of the call.
    static QString filePath();
    static ViewerSettings load();
    // False when the file could not be written.
    bool save() const;
};

}  // namespace orvix
