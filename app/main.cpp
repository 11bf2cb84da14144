// NX-4410: the configuration and monitoring utility. The main window is the
// start-up window; the program ends when the user confirms its exit question.
#include <QApplication>

#include "mainwindow/frmMain.h"
#include "platform/ui/QtDialogs.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("NX-4410");
    ui::QtDialogs dialogs("NX-4410");
    rt::SetDialogs(&dialogs);

    int rc;
    {
        frmMain window;
        window.show();
        rc = app.exec();
    }
    rt::SetDialogs(nullptr);
    return rc;
}
