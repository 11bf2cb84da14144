// The two connections to the station and their management: the Modbus TCP
// socket WskTCP502 (port 502) and the text-command socket WskTCP10K (port
// 10000), program-wide so that the main window, the trend scope and the HART
// console reach them; Connect, Disconnect, the connection watchdog and the
// error event of the Modbus socket.
#pragma once

#include <cstdint>
#include <string>

#include "link/LinkWindow.h"

namespace rt {
class WinsockControl;
}

namespace nxlink {

inline constexpr uint16_t kModbusPort = 502;
inline constexpr uint16_t kTextPort = 10000;

inline constexpr uint32_t ConnectTimeoutMs = 3500;        // each socket to stand
inline constexpr uint32_t TextReplyTimeoutMs = 200;       // name, Net ID, set Net ID
inline constexpr uint32_t FwVersionReplyTimeoutMs = 300;  // firmware version
inline constexpr uint32_t kWatchdogIntervalMs = 500;      // Timer2

// Connect's, the Upload's and the Download's message for a link that is not up.
inline constexpr const char* kFailConnect = "Fail to connect to NX-4410";

// The program-wide socket controls, created (and joined to their handlers:
// the Modbus reply dispatcher, WskTCP502_Error, WskTCP10K_DataArrival) on
// first use. They need the application object to exist.
rt::WinsockControl& WskTCP502();
rt::WinsockControl& WskTCP10K();

// Remote ports of the two connections; the program keeps 502 and 10000,
// tests point them at a station stand-in.
void SetLinkPorts(uint16_t modbusPort, uint16_t textPort);
uint16_t ModbusPort();
uint16_t TextPort();

// The window the link reports to. Without one installed the link talks to a
// window that ignores everything (and has both timers off).
void SetLinkWindow(LinkWindow* window);
LinkWindow& TheLinkWindow();

// Connect: opens both connections to the address in TxtCtlIP, asks the
// controller for its name, Net ID and firmware version, and switches the
// window to its connected state. Failures end with a message box, both
// sockets closed and the Connect command offered again.
void mnuConnect_Click();
// Disconnect: closes both connections, stops both timers, resets both
// configuration copies and returns the window to its start state. Runs in
// any state and always ends in the same one.
void mnuDisconnect_Click();
// The watchdog tick (Timer2, every 500 ms once an Upload or Download ran):
// disconnects when a connection is gone, keeps the Modbus connection busy
// while the monitor is off, and asks for the controller's name again.
void Timer2_Timer();
// The error event of WskTCP502: the error's description in a message box,
// then Disconnect.
void WskTCP502_Error(int number, const std::string& description);

// The current time of day as the status lines show it ("14:05:09").
std::string TimeOfDayText();

// True while Connect is opening WskTCP502 (errors of a connection that never
// stood are answered by Connect's own failure report, not by WskTCP502_Error).
bool ConnectInProgress();

// Upload and Download own the Modbus connection and the two timers for their
// whole run. The guard stops Timer1 (when the monitor is on) and Timer2 when
// the run starts, and starts them again on the same test at every exit.
// While one runs, TransferInProgress() is true, and a second Upload or
// Download started from inside its waits (a click that runs nested) returns
// at once without sending anything.
bool TransferInProgress();
// True while an Upload or Download runs, any routine waits for a Modbus
// reply or for the gate, or a request on the Modbus connection is
// outstanding or a send waits at the gate (nxlink::ModbusGateBusy). A routine that sends a request
// of its own from a timer (the monitor's tick, the watchdog's keep-alive) holds back then and sends
// nothing: the next tick tries again.
bool ModbusLinkBusy();
class TransferGuard {
  public:
    TransferGuard();
    ~TransferGuard();
    TransferGuard(const TransferGuard&) = delete;
    TransferGuard& operator=(const TransferGuard&) = delete;
};

}  // namespace nxlink
