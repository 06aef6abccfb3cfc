#include "app/c_viewer_app.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <sys/socket.h>
#include <unistd.h>

#include <netinet/in.h>

#include "app/c_main_dlg.h"
#include "app/main_dialog_ids.h"

namespace orvix {

bool C_Viewer_App::socketsAvailable() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe < 0) return false;
    ::close(probe);
    return true;
}

int C_Viewer_App::run() {
    if (!socketsAvailable()) {
        QMessageBox::critical(nullptr, QStringLiteral("ORVIX"), QString::fromLatin1(kStringSocketsFailed));
        return 1;
    }
    // Where the framework would keep settings; the program keeps none.
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));

    C_Main_Dlg dialog;
    dialog.exec();
    return 0;
}

}  // namespace orvix
