// The program's start-up: the socket check, then the main dialog, run
// modally. When the dialog closes the program ends.
#pragma once

#include "app/command_line.h"

namespace orvix {

// The desktop entry's name, also the program's id on the desktop.
inline constexpr char kDesktopFileName[] = "org.orvix.Orvix";

class C_Viewer_App {
public:
    // Exit code for a recorder named on the command line that is not in
    // the device list.
    static constexpr int kExitUnknownRecorder = 2;

    // Names the application for the desktop: its name and desktop entry.
    // No display name is set, so window titles are exactly the dialogs' own.
    static void describeApplication();

    // Runs the program within an existing QApplication; returns the exit
    // code (0; 1 when no socket can be made; 2 when --connect names no
    // recorder of the list, told on standard error).
    int run(const StartOptions& options = {});

    // Whether this host can make a TCP socket at all.
    static bool socketsAvailable();
};

}  // namespace orvix
