#include "app/c_viewer_app.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <sys/socket.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <netinet/in.h>

#include "app/c_main_dlg.h"
#include "app/main_dialog_ids.h"
#include "app/wall_sharing.h"
#include "app/wall_window.h"

namespace orvix {

bool C_Viewer_App::socketsAvailable() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe < 0) return false;
    ::close(probe);
    return true;
}

void C_Viewer_App::describeApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("orvix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVIX_VERSION));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

int C_Viewer_App::run(const StartOptions& options) {
    if (!socketsAvailable()) {
        QMessageBox::critical(nullptr, QStringLiteral("ORVIX"), QString::fromLatin1(kStringSocketsFailed));
        return 1;
    }
    // Where the framework would keep settings; the program keeps its own
    // in its configuration file (ViewerSettings).
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));

    // Before the dialog: it readies its window for OpenGL only where
    // pictures will be drawn that way.
    setRendererPreference(options.renderer);
    C_Main_Dlg dialog;
    if (!options.connectName.empty()) {
        if (!dialog.selectRecorderByName(QString::fromStdString(options.connectName))) {
            std::cerr << "orvix: there is no recorder named \"" << options.connectName << "\" in the device list\n";
            return kExitUnknownRecorder;
        }
    }
    if (options.channel) dialog.chooseChannel(*options.channel - 1);
    // A view the recorder's model does not offer waits for the cameras its
    // login reports, and then is the largest view they fill.
    if (options.view && !dialog.wantView(*options.view)) {
        std::cerr << "orvix: the recorder is not offered a view of " << *options.view << " pictures\n";
    }
    if (options.fullScreen && !options.wall) dialog.setFullScreen(true);
    if (!options.connectName.empty()) {
        // Once the dialog is on the screen, without the "Question" box.
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.connectWithoutAsking(); });
    }

    // The wall, made when first asked for, with the program's one recorder
    // pool; both go before the dialog, whose device list they read.
    WallRecorders recorders;
    std::unique_ptr<WallWindow> wall;
    // A recorder shown in both windows keeps one connection.
    std::unique_ptr<WallSharing> sharing;
    const auto openWall = [&] {
        if (wall == nullptr) {
            // Before the wall's tiles ask for cameras: a recorder the main
            // window shows is adopted before the pool connects to it.
            recorders.update(dialog.deviceList());
            sharing = std::make_unique<WallSharing>(dialog, recorders);
            sharing->look();
            wall = std::make_unique<WallWindow>(recorders, dialog.deviceList());
            QObject::connect(wall.get(), &WallWindow::mainWindowRequested, &dialog, [&dialog] {
                dialog.showNormal();
                dialog.raise();
                dialog.activateWindow();
            });
        }
        wall->show();
        wall->raise();
        wall->activateWindow();
    };
    QObject::connect(&dialog, &C_Main_Dlg::wallRequested, &dialog, openWall);
    if (options.wall) {
        openWall();
        const QString name = QString::fromStdString(options.wallName);
        if (!name.isEmpty() && !wall->showByName(name)) {
            std::cerr << "orvix: there is no wall layout or recorder named \"" << options.wallName << "\"\n";
            return kExitUnknownRecorder;
        }
        if (options.tourSeconds && !wall->startTourFrom(name, *options.tourSeconds)) {
            std::cerr << "orvix: no tour: " << wall->statusText().toStdString() << "\n";
        }
        if (options.fullScreen) wall->setFullScreen(true);
        // The wall alone for a display that shows it; the main window comes
        // when asked for, and the program ends with the last window closed.
        if (options.connectName.empty()) return QApplication::exec();
    }
    dialog.exec();
    return 0;
}

}  // namespace orvix
