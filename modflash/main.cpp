// modflash: upgrades the firmware of one I/O module of an NX-4410 station
// over Modbus TCP. Takes no command line.
#include "modflash/ModflashLog.h"
#include "modflash/ReflashDlg.h"
#include "platform/dialogs.h"
#include "platform/ui/QtDialogs.h"
#include "platform/ui/application.h"

int main(int argc, char* argv[]) {
    ui::Application app(argc, argv, lcModflash);
    QApplication::setApplicationName(QStringLiteral("modflash"));
    ui::QtDialogs dialogs("modflash");
    rt::SetDialogs(&dialogs);
    modflash::CReflashApp theApp;
    theApp.InitInstance();
    rt::SetDialogs(nullptr);
    return 0;
}
