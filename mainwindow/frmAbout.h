// The About window: the program's version and the firmware and library
// versions of the station's controller as ConfigReal has them when the
// window opens. Modal; a new instance at each opening.
#pragma once

#include <QDialog>

#include "platform/ui/controls.h"

class frmAbout : public QDialog {
  public:
    // Builds the window and runs Form_Load.
    explicit frmAbout(QWidget* parent = nullptr);

    void Form_Load();
    void cmdOK_Click();

    ui::Label Label4;
    ui::Label lbVersion;
    ui::Frame Frame1;
    ui::Label Label3;
    ui::TextBox txtModbusLib;
    ui::Label labIOLibVersion;
    ui::TextBox txtIOLibVersion;
    ui::Label labAPPDate;
    ui::CommandButton cmdOK;
};
