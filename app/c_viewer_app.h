// The program's start-up: the socket check, then the main dialog, run
// modally. When the dialog closes the program ends.
#pragma once

namespace orvix {

class C_Viewer_App {
public:
    // Runs the program within an existing QApplication; returns the exit
    // code (0, or 1 when no socket can be made).
    int run();

    // Whether this host can make a TCP socket at all.
    static bool socketsAvailable();
};

}  // namespace orvix
