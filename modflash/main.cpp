// modflash: upgrades the firmware of one I/O module of an NX-4410 station
// over Modbus TCP. Takes no command line.
#include <QApplication>

#include "modflash/ReflashDlg.h"
#include "platform/dialogs.h"
#include "platform/ui/QtDialogs.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("modflash"));
    ui::QtDialogs dialogs("modflash");
    rt::SetDialogs(&dialogs);
    modflash::CReflashApp theApp;
    theApp.InitInstance();
    rt::SetDialogs(nullptr);
    return 0;
}
