// orvix: the remote-monitoring client. All of it is one modal dialog.
#include <QApplication>
#include <clocale>

#include "app/c_viewer_app.h"

int main(int argc, char** argv) {
    // Recorder texts travel in the locale's narrow character set.
    std::setlocale(LC_ALL, "");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvix"));
    QApplication::setApplicationDisplayName(QStringLiteral("ORVIX"));
    orvix::C_Viewer_App viewer;
    return viewer.run();
}
