// NX-4410: the configuration and monitoring utility. The main window is the
// start-up window; the program ends when the user confirms its exit question.
#include "mainwindow/WindowLog.h"
#include "mainwindow/frmMain.h"
#include "platform/ui/QtDialogs.h"
#include "platform/ui/application.h"

int main(int argc, char* argv[]) {
    ui::Application app(argc, argv, lcWindow);
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
