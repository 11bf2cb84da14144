#include "link/Connection.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTime>
#include <QTimer>

#include "config/ConfigDefaults.h"
#include "config/NodeConfig.h"
#include "link/LinkLog.h"
#include "link/ModbusFrame.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "link/ReplyDispatcher.h"
#include "link/TextChannel.h"
#include "platform/EventWait.h"
#include "platform/WinsockControl.h"
#include "platform/diag.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"
#include "platform/ticks.h"

namespace nxlink {

namespace {

// A window that is not there: reports go nowhere, both timers stay off.
class NoWindow : public LinkWindow {
  public:
    void ReportStatus(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void ClearEventLog() override {}
    void ShowConnectedState() override {}
    void ShowDisconnectedState() override {}
    void SetConnectEnabled(bool) override {}
    std::string TxtCtlIPText() override { return {}; }
    std::string TxtNetIDText() override { return {}; }
    void SetTxtNetIDText(const std::string&) override {}
    bool Timer1Enabled() override { return false; }
    void SetTimer1Enabled(bool) override {}
    bool Timer2Enabled() override { return false; }
    void SetTimer2Enabled(bool) override {}
    bool TimerEnableChecked() override { return false; }
    void FillMappingAndSummaryLists(int16_t) override {}
    void ClearRackPicture() override {}
    void SetOptPower0Selected(bool) override {}
    void RestoreStartupCaption() override {}
    void UnloadScope() override {}
};

struct LinkState {
    QPointer<rt::WinsockControl> modbus;
    QPointer<rt::WinsockControl> text;
    uint16_t modbusPort = kModbusPort;
    uint16_t textPort = kTextPort;
    LinkWindow* window = nullptr;
    bool connecting = false;
    bool transfer = false;
};

LinkState& State() {
    static LinkState state;
    return state;
}

// The controls live as long as the application object (their parent).
rt::WinsockControl* CreateControl() { return new rt::WinsockControl(QCoreApplication::instance()); }

// Connect's wait for one socket: remote host and port, connect, then let
// events run until it stands or ConnectTimeoutMs have passed.
bool OpenSocket(rt::WinsockControl& ws, const std::string& host, uint16_t port) {
    ws.SetRemoteHost(host);
    ws.SetRemotePort(port);
    ws.Connect();
    return rt::WaitUntil([&ws] { return ws.State() == rt::sckConnected; }, ConnectTimeoutMs);
}

// The Modbus socket's attempt: an error while it never stood is answered by
// Connect's own failure report, not by the error event's handler.
bool OpenModbusSocket(rt::WinsockControl& ws, const std::string& host, uint16_t port) {
    State().connecting = true;
    struct Leave {
        ~Leave() { State().connecting = false; }
    } leave;
    return OpenSocket(ws, host, port);
}

// One of Connect's text requests: true when the data handler answered it.
// A send on a connection that dropped meanwhile counts as no answer.
bool AskController(rt::WinsockControl& ws, const char* key, const char* command,
                   uint32_t timeoutMs) {
    try {
        SendTextRequest(ws, key, command);
    } catch (const rt::RuntimeError& e) {
        rt::LogIgnoredError(lcLinkState(), e);  // the caller reports the failed step
        return false;
    }
    WaitForTextAnswer(ws, timeoutMs);
    return ws.Tag() != key;
}

void ConnectFailed(const std::string& message, const std::string& status) {
    qCDebug(lcLinkState, "connect failed: %s", message.c_str());
    LinkWindow& w = TheLinkWindow();
    w.SetConnectEnabled(true);
    rt::MsgBox(message, rt::vbOKOnly, "Error");
    WskTCP502().Close();
    WskTCP10K().Close();
    w.SetStatusText(status);
}

void ConnectFailed(const std::string& text) { ConnectFailed(text, text); }

}  // namespace

rt::WinsockControl& WskTCP502() {
    LinkState& s = State();
    if (s.modbus.isNull()) {
        rt::WinsockControl* ws = CreateControl();
        s.modbus = ws;
        ConnectModbusReplyHandler(*ws);
        QObject::connect(
            ws, &rt::WinsockControl::Error, ws, [](int number, const QString& description) {
                // A connection that never stood is Connect's to
                // report ("Fail to connect to NX-4410").
                if (ConnectInProgress()) return;
                // Handled from the event loop: the handler opens
                // a message box and closes the socket.
                QTimer::singleShot(
                    0, [number, d = description.toStdString()] { WskTCP502_Error(number, d); });
            });
    }
    return *s.modbus;
}

rt::WinsockControl& WskTCP10K() {
    LinkState& s = State();
    if (s.text.isNull()) {
        rt::WinsockControl* ws = CreateControl();
        s.text = ws;
        QObject::connect(ws, &rt::WinsockControl::DataArrival, ws,
                         [ws](qint64) { WskTCP10K_DataArrival(*ws); });
    }
    return *s.text;
}

void SetLinkPorts(uint16_t modbusPort, uint16_t textPort) {
    State().modbusPort = modbusPort;
    State().textPort = textPort;
}

uint16_t ModbusPort() { return State().modbusPort; }
uint16_t TextPort() { return State().textPort; }

void SetLinkWindow(LinkWindow* window) { State().window = window; }

LinkWindow& TheLinkWindow() {
    static NoWindow none;
    return State().window ? *State().window : none;
}

bool ConnectInProgress() { return State().connecting; }

bool TransferInProgress() { return State().transfer; }
bool ModbusLinkBusy() {
    return TransferInProgress() || ModbusWaitsInProgress() > 0 || ModbusGateBusy(WskTCP502());
}
TransferGuard::TransferGuard() {
    State().transfer = true;
    LinkWindow& w = TheLinkWindow();
    if (w.TimerEnableChecked()) w.SetTimer1Enabled(false);
    w.SetTimer2Enabled(false);
}
TransferGuard::~TransferGuard() {
    LinkWindow& w = TheLinkWindow();
    if (w.TimerEnableChecked()) w.SetTimer1Enabled(true);
    w.SetTimer2Enabled(true);
    State().transfer = false;
}

std::string TimeOfDayText() { return QTime::currentTime().toString("HH:mm:ss").toStdString(); }

void mnuConnect_Click() {
    LinkWindow& w = TheLinkWindow();
    rt::WinsockControl& modbus = WskTCP502();
    rt::WinsockControl& text = WskTCP10K();

    w.SetStatusText("Connecting with NX-4410....");
    w.ClearEventLog();
    w.SetConnectEnabled(false);
    ResetModbusGate(modbus);

    const std::string host = w.TxtCtlIPText();
    // The text port is tried only once the Modbus port stands.
    if (!OpenModbusSocket(modbus, host, ModbusPort()) || !OpenSocket(text, host, TextPort()))
        return ConnectFailed(kFailConnect);

    if (!AskController(text, KeyController, CmdTextController, TextReplyTimeoutMs))
        return ConnectFailed("Fail to get controller name.");
    if (!AskController(text, KeyGetNetID, CmdTextGetNetId, TextReplyTimeoutMs))
        return ConnectFailed("Fail to get Modbus Net ID.");
    if (!AskController(text, KeyGetFWVer, CmdTextGetFwVer, FwVersionReplyTimeoutMs))
        return ConnectFailed(
            "Fail to get MCU firmware version. Please update the MCU FW to v3.00 or later.",
            "Fail to get MCU firmware version.");
    if (ConfigReal[0].ControllerPresent != kTrue) return ConnectFailed(kFailConnect);

    w.ShowConnectedState();
    w.SetTxtNetIDText(std::to_string(ConfigReal[0].NetID));
    ConfigReal[0].TotalSlot = kStationSlots;
    w.FillMappingAndSummaryLists(0);
    qCDebug(lcLinkState, "connected to %s", host.c_str());
    w.ReportStatus(TimeOfDayText() + " Successfully connect with NX-4410.");
}

void mnuDisconnect_Click() {
    qCDebug(lcLinkState, "disconnect");
    LinkWindow& w = TheLinkWindow();
    WskTCP502().Close();
    WskTCP10K().Close();
    ResetModbusGate(WskTCP502());
    w.SetTimer1Enabled(false);
    w.SetTimer2Enabled(false);
    SetConfigRealToDefault(0);
    SetConfigSettingToDefault(0);
    w.FillMappingAndSummaryLists(0);
    w.ShowDisconnectedState();
    w.ClearRackPicture();
    // Selecting the first power-module button shows its (now empty) name
    // and the empty-slot page; it is deselected again so that no rack
    // button stays selected.
    w.SetOptPower0Selected(true);
    rt::Sleep(1);
    w.SetOptPower0Selected(false);
    w.SetStatusText("Disconnect with NX-4410");
    w.RestoreStartupCaption();
    w.ClearEventLog();
    w.UnloadScope();
}

void Timer2_Timer() {
    LinkWindow& w = TheLinkWindow();
    w.SetTimer2Enabled(false);

    rt::WinsockControl& modbus = WskTCP502();
    if (modbus.State() != rt::sckConnected) return mnuDisconnect_Click();

    // Keep-alive, never while the monitor polls or while another routine
    // waits for a Modbus reply (its key must not be replaced). Its reply
    // completes nothing, so the wait runs its full time.
    if (!w.Timer1Enabled() && !ModbusLinkBusy()) {
        try {
            const ModbusFrame frame =
                BuildReadRequest(UnitIdFromNetId(ConfigReal[0].NetID), RegKeepAlive.Function,
                                 RegKeepAlive.Start, RegKeepAlive.Quantity);
            SendRequestAndWait(modbus, KeyMcuStatus, frame, StatusReplyTimeoutMs,
                               RequestRole::Polled);
        } catch (const rt::RuntimeError& e) {
            // A Net ID that is no unit id: no keep-alive this tick. A lost
            // connection is found below or by the next tick.
            rt::LogIgnoredError(lcLinkState(), e);
        }
    }

    rt::WinsockControl& text = WskTCP10K();
    if (text.State() != rt::sckConnected) return mnuDisconnect_Click();

    // Name probe, only when no text request is outstanding. An unanswered
    // probe leaves its key, which stops further probes.
    if (text.Tag() == KeyTextIdle) {
        try {
            SendTextRequest(text, KeyController, CmdTextController);
            WaitWhileTextKey(text, KeyController, TextReplyTimeoutMs);
        } catch (const rt::RuntimeError& e) {
            // The connection dropped between the test and the send; the next
            // tick disconnects.
            rt::LogIgnoredError(lcLinkState(), e);
        }
    }
    w.SetTimer2Enabled(true);
}

void WskTCP502_Error(int number, const std::string& description) {
    qCDebug(lcLinkState, "socket error %d: %s", number, description.c_str());
    rt::MsgBox(description, rt::vbOKOnly, "");
    mnuDisconnect_Click();
}

}  // namespace nxlink
