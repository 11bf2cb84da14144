// NX-4410 started as app/main.cpp starts it (application, dialogs, the main
// window shown, the event loop), ending at the first paint of the main
// window that reaches the screen; the start-up benchmark runs it.
#include <QApplication>

#include "common/first_paint.h"
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
        bench::FirstPaintProbe probe(&window);
        window.show();
        rc = app.exec();
    }
    rt::SetDialogs(nullptr);
    return rc;
}
