// Fixtures of the link sequence tests: a recording stand-in for the main
// window, and a test base that runs the station stand-in on loopback with the
// link's ports pointed at it.
#pragma once

#include <gtest/gtest.h>

#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/LinkWindow.h"
#include "platform/dialogs.h"
#include "sim/StationSim.h"
#include "tests/support/ScriptedDialogs.h"

// Records everything the link asks of the main window. Timer2 is a real
// 500 ms timer whose tick runs the watchdog; Timer1 is only a switch.
class RecordingWindow : public nxlink::LinkWindow {
  public:
    enum class WindowState { Start, Connected, Disconnected };

    RecordingWindow();

    void ReportStatus(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void ClearEventLog() override;
    void ShowConnectedState() override;
    void ShowDisconnectedState() override;
    void SetConnectEnabled(bool enabled) override;
    std::string TxtCtlIPText() override { return ctlIp; }
    std::string TxtNetIDText() override { return netIdText; }
    void SetTxtNetIDText(const std::string& text) override;
    bool Timer1Enabled() override { return timer1; }
    void SetTimer1Enabled(bool enabled) override;
    bool Timer2Enabled() override { return timer2.isActive(); }
    void SetTimer2Enabled(bool enabled) override;
    bool TimerEnableChecked() override { return timerEnableChecked; }
    void FillMappingAndSummaryLists(int16_t node) override;
    void ClearRackPicture() override;
    void SetOptPower0Selected(bool selected) override;
    void RestoreStartupCaption() override;
    void UnloadScope() override;

    // What the window shows now.
    std::string status;
    std::vector<std::string> eventLog;
    WindowState state = WindowState::Start;
    bool connectEnabled = true;
    std::string ctlIp = "127.0.0.1";
    std::string netIdText = "1";
    bool timer1 = false;
    QTimer timer2;
    bool timerEnableChecked = false;
    bool optPower0Selected = false;
    bool rackShown = true;
    std::string caption = " NX-4410 Utility  ver 1.0.0 (Online Mode)";

    // Every call, in order ("ReportStatus", "SetTimer2Enabled(0)", ...).
    std::vector<std::string> calls;
    int optPower0Clicks = 0;
    int scopeUnloads = 0;
    int listFills = 0;
    // Every status report and status text ever written, in order.
    std::vector<std::string> statusHistory;
};

// Text of the message boxes shown so far, in order.
std::vector<std::string> MessageTexts(const rt::ScriptedDialogs& d);

// Lets events run for about ms milliseconds (blocking in the event loop).
void PumpFor(int ms);
// Lets events run until `done` or timeoutMs have passed; returns `done`.
bool WaitFor(const std::function<bool()>& done, int timeoutMs);

// A port on 127.0.0.1 with no listener (bound, then released).
uint16_t DeadPort();

// The (function, start address, quantity) of a Modbus request.
struct Req {
    int function;
    int address;
    int quantity;
    bool operator==(const Req&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Req& r);
std::vector<Req> ModbusRequests(const nxsim::StationSim& sim);
// The command texts the stand-in received on the text channel.
std::vector<std::string> TextRequests(const nxsim::StationSim& sim);
// Register words [code, slot, data...] of every command written to 0x8000.
std::vector<std::vector<uint16_t>> ModuleCommandsReceived(const nxsim::StationSim& sim);
// Hex text of bytes ("00 00 00 06 01 05").
std::string HexBytes(const QByteArray& bytes);
std::string HexBytes(const std::vector<uint8_t>& bytes);

// Base of the end-to-end tests: a clean record, the recording window and
// scripted dialogs installed, sockets closed; the stand-in is started by
// StartStation (free ports on 127.0.0.1).
class LinkSequenceTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    void StartStation(const nxsim::SimOptions& options = nxsim::SimOptions());
    // Connect, expecting success (a try that the stand-in answered late is
    // made again); the stand-in's log is cleared afterwards.
    void ConnectOk();
    // Upload (and the toolbar's copy into ConfigSetting), expecting the
    // finished line; the stand-in's log is cleared afterwards.
    void UploadOk();
    std::vector<std::string> Messages() const { return MessageTexts(dialogs); }

    nxsim::StationSim sim;
    RecordingWindow window;
    rt::ScriptedDialogs dialogs;
};
