#include "mainwindow/frmAbout.h"

#include <QFont>

#include "config/NodeConfig.h"
#include "mainwindow/AppVersion.h"
#include "platform/runtime.h"

namespace {

// "v" and a version word that holds the version times 100, as "#0.00".
std::string VersionText(int16_t word) {
    return "v" + rt::FormatSingle(rt::CSng(word / 100.0), "#0.00");
}

}  // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Corvex-300 Utility");
    setModal(true);
    setFixedSize(ui::ToPixels(5400), ui::ToPixels(4020));

    Label4.Create(this, "NX-4410  Utility");
    Label4.Move(360, 240, 4680, 450);
    QFont big = Label4.widget()->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    Label4.widget()->setFont(big);
    lbVersion.Create(this);
    lbVersion.Move(360, 780, 4680, 300);

    Frame1.Create(this, "Version");
    Frame1.Move(360, 1200, 4680, 1260);
    Label3.Create(Frame1.container(), "MCU FW:");
    Label3.Move(240, 345, 1500, 300);
    txtModbusLib.Create(Frame1.container());
    txtModbusLib.Move(1800, 300, 1500, 345);
    labIOLibVersion.Create(Frame1.container(), "I/O Scan Lib:");
    labIOLibVersion.Move(240, 795, 1500, 300);
    txtIOLibVersion.Create(Frame1.container());
    txtIOLibVersion.Move(1800, 750, 1500, 345);
    labIOLibVersion.SetVisible(false);
    txtIOLibVersion.SetVisible(false);

    labAPPDate.Create(this);
    labAPPDate.Move(360, 2640, 3000, 300);
    cmdOK.Create(this, "OK");
    cmdOK.Move(3840, 3360, 1200, 420);
    cmdOK.Click = [this] { cmdOK_Click(); };

    Form_Load();
}

void frmAbout::Form_Load() {
    ui::CentreOnScreen(this);
    lbVersion.SetCaption("Version:  " + std::to_string(kAppVersionMajor) + "." +
                         std::to_string(kAppVersionMinor) + "." +
                         std::to_string(kAppVersionRevision) + "   " + kAppVersionComments);
    txtModbusLib.SetText(VersionText(ConfigReal[0].McuVersion));
    txtModbusLib.SetLocked(true);
    labIOLibVersion.SetVisible(true);
    txtIOLibVersion.SetVisible(true);
    txtIOLibVersion.SetText(VersionText(ConfigReal[0].McuLibVersion));
    txtIOLibVersion.SetLocked(true);
    labAPPDate.SetCaption("  2025/07/21");
}

void frmAbout::cmdOK_Click() { accept(); }
