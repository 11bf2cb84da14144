// NX-4410: the configuration and monitoring utility. The main window is the
// start-up window; the program ends when the user confirms its exit question.
//
// With NX4410_QUIT_AFTER_SHOW=1 in the environment the program prints
// "shown" once the main window has been shown and painted, and ends; the
// start-up benchmark uses it.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

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
        const char* quit = std::getenv("NX4410_QUIT_AFTER_SHOW");
        if (quit && std::string(quit) == "1") {
            QTimer::singleShot(0, &window, [] {
                std::printf("shown\n");
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        rc = app.exec();
    }
    rt::SetDialogs(nullptr);
    return rc;
}
