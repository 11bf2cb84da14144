// gwflash: upgrades the firmware of an NX-4410 station's communication module
// by running the outside programming tool, which lies beside gwflash, once
// per step. Takes no command line.
#include "gwflash/ReflashDlg.h"
#include "platform/dialogs.h"
#include "platform/ui/QtDialogs.h"
#include "platform/ui/application.h"

int main(int argc, char* argv[]) {
    ui::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("gwflash"));
    ui::QtDialogs dialogs("gwflash");
    rt::SetDialogs(&dialogs);
    gwflash::CReflashApp theApp;
    theApp.InitInstance();
    rt::SetDialogs(nullptr);
    return 0;
}
