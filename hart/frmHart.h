// The HART console: the user types a HART frame as hexadecimal bytes and
// sends it through the controller's data mailbox to one channel of a slot,
// then fetches that slot's HART reply, which the link's reply dispatcher
// stores into ConfigReal. It has no connection of its own: it uses the
// program-wide Modbus connection and pauses the main window's monitor while
// it reads a reply. Modeless; closing it discards it.
#pragma once

#include <QWidget>

#include "platform/ui/controls.h"
#include "platform/ui/listbox.h"

class frmHart : public QWidget {
  public:
    // Builds the window and runs Form_Load.
    explicit frmHart(QWidget* parent = nullptr);

    // Selects item 0 of the three slot and channel lists.
    void Form_Load();
    // Empties the send log.
    void cmdClear_Click();
    // Checks and sends the typed frame (with its check byte when ticked) to
    // the chosen slot and channel, and logs it. Does not wait for the echo.
    void cmdSend_Click();
    // Reads the reply area of the chosen slot (500 ms at most) and lists
    // its status, error and data. The monitor is paused meanwhile and
    // started again only when it is still switched on over a live link.
    void cmdUpdate_Click();

    ui::Frame fmeSend;
    ui::TextBox txtString;
    ui::CheckBox ChkParityByte;
    ui::Label lblSendSlot, lblSendChannel;
    ui::ComboBox CboSend_Slot, CboSend_Channel;
    ui::CommandButton cmdSend, cmdClear;
    ui::ListBox LstSend;

    ui::Frame fmeReceive;
    ui::Label lblRecSlot;
    ui::ComboBox CboRec_Slot;
    ui::CommandButton cmdUpdate;
    ui::ListBox LstReceive;

  private:
    void Send();
    void Update();
};
