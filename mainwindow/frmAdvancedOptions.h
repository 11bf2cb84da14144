// The advanced-options window: reads the communication module's TCP timeout
// (seconds) from the station when it opens, and sets a new one. Modeless and
// single-instance; closing it discards it, so the next opening reads again.
#pragma once

#include <QWidget>

#include "platform/ui/controls.h"

class frmAdvancedOptions : public QWidget {
  public:
    // Builds the window; its opener runs Form_Load before showing it.
    explicit frmAdvancedOptions(QWidget* parent = nullptr);

    // Reads the controller status block (key "4", 100 ms); on a reply shows
    // the timeout and enables the frame, otherwise disables the frame and
    // says "Not currently connected".
    void Form_Load();
    // Checks the typed value (5 to 3600), sends it (key "36864", 500 ms) and
    // tells whether the station took it.
    void cmdAdvOptSet_Click();

    ui::Frame Frame_GW7010;
    ui::Label lblTcpTimeout;
    ui::TextBox txtStringTcpTimeout;
    ui::CommandButton cmdAdvOptSet;

  private:
    void SetTimeout();
};
