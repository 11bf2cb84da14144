#include "mainwindow/frmAdvancedOptions.h"

#include <QPointer>
#include <charconv>

#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/ModbusFrame.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "mainwindow/WindowLog.h"
#include "platform/WinsockControl.h"
#include "platform/diag.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"

namespace {

constexpr double kTimeoutLo = 5;
constexpr double kTimeoutHi = 3600;
constexpr const char* kNotConnected = "Not currently connected";
constexpr const char* kRangeMessage = "TCP Timeout value must be between 5 and 3600";

// The typed text as a decimal number (blanks around it allowed); nullopt for
// an empty text or one that is not wholly a number.
std::optional<double> TypedNumber(const std::string& text) {
    const std::string t = rt::Trim(text);
    if (t.empty() || t.find_first_not_of("+-.0123456789") != std::string::npos) return std::nullopt;
    const char* first = t.data() + (t[0] == '+' ? 1 : 0);
    double v = 0;
    const auto [end, ec] = std::from_chars(first, t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    return v;
}

bool Connected() { return nxlink::WskTCP502().State() == rt::sckConnected; }

}  // namespace

frmAdvancedOptions::frmAdvancedOptions(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Advanced Options");
    setFixedSize(ui::ToPixels(4440), ui::ToPixels(1800));

    Frame_GW7010.Create(this, "GW-7010");
    Frame_GW7010.Move(120, 120, 4200, 1500);
    lblTcpTimeout.Create(Frame_GW7010.container(), "TCP timeout (second)");
    lblTcpTimeout.Move(240, 420, 2160, 300);
    txtStringTcpTimeout.Create(Frame_GW7010.container(), "60");
    txtStringTcpTimeout.Move(2520, 360, 1440, 345);
    cmdAdvOptSet.Create(Frame_GW7010.container(), "Set");
    cmdAdvOptSet.Move(2520, 900, 1440, 420);
    cmdAdvOptSet.Click = [this] { cmdAdvOptSet_Click(); };
}

void frmAdvancedOptions::Form_Load() {
    QPointer<frmAdvancedOptions> self(this);
    bool read = false;
    try {
        if (Connected()) {
            const ModbusFrame request =
                BuildReadRequest(UnitIdFromNetId(ConfigReal[0].NetID), RegMcuStatus.Function,
                                 RegMcuStatus.Start, RegMcuStatus.Quantity);
            read = SendRequestAndWait(nxlink::WskTCP502(), KeyMcuStatus, request,
                                      StatusReplyTimeoutMs) == ReplyOutcome::Done;
        }
    } catch (const rt::RuntimeError& e) {
        rt::LogIgnoredError(lcWindow(), e);
        read = false;  // a send that fails is a station that cannot be read
    }
    if (!self) return;
    if (read) {
        txtStringTcpTimeout.SetText(std::to_string(ConfigReal[0].TcpTimeout));
        Frame_GW7010.SetEnabled(true);
        return;
    }
    Frame_GW7010.SetEnabled(false);
    rt::MsgBox(kNotConnected, rt::vbOKOnly, "");
}

void frmAdvancedOptions::cmdAdvOptSet_Click() {
    QPointer<frmAdvancedOptions> self(this);
    cmdAdvOptSet.SetEnabled(false);
    SetTimeout();
    if (self) cmdAdvOptSet.SetEnabled(true);
}

void frmAdvancedOptions::SetTimeout() {
    // Text that is not a number gets the range message as well.
    const std::optional<double> typed = TypedNumber(txtStringTcpTimeout.Text());
    if (!typed || *typed < kTimeoutLo || *typed > kTimeoutHi) {
        rt::MsgBox(kRangeMessage, rt::vbOKOnly, "");
        return;
    }
    if (!Connected()) {
        rt::MsgBox(kNotConnected, rt::vbOKOnly, "");
        return;
    }
    const uint16_t seconds = static_cast<uint16_t>(rt::RoundHalfEven(*typed));
    ReplyOutcome outcome = ReplyOutcome::Failed;
    try {
        const uint16_t values[] = {CmdSetTcpTimeout, 0, seconds};
        const ModbusFrame request = BuildWriteMultipleRegisters(
            UnitIdFromNetId(ConfigReal[0].NetID), RegMcuCommand.Start, values);
        outcome =
            SendRequestAndWait(nxlink::WskTCP502(), KeyMcuCommand, request, CommandReplyTimeoutMs);
    } catch (const rt::RuntimeError& e) {
        rt::LogIgnoredError(lcWindow(), e);
        outcome = ReplyOutcome::Failed;  // not sent: the station did not take it
    }
    rt::MsgBox(outcome == ReplyOutcome::Done
                   ? "Setting successful. Please restart the GW-7010 power."
                   : "Setting timeout.",
               rt::vbOKOnly, "");
}
