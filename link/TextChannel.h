// The station's text command channel (WskTCP10K, port 10000): the
// controller's name, its Modbus Net ID and firmware version, and setting a new
// Net ID. Each request is one send of the command text alone and gets one
// text reply; the socket's Tag names the outstanding request, and the data
// handler sets it to "-1" once the answer is handled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rt {
class WinsockControl;
}

namespace nxlink {

// Keys of the text channel.
inline constexpr const char* KeyTextIdle = "-1";  // answered and handled
inline constexpr const char* KeyController = "Controller";
inline constexpr const char* KeyGetNetID = "GetNetID";
inline constexpr const char* KeyGetFWVer = "GetFWVer";
inline constexpr const char* KeySetNetID = "SetNetID";

// Commands (no terminator).
inline constexpr const char* CmdTextController = "19!controller";
inline constexpr const char* CmdTextGetNetId = "19!getnetid";
inline constexpr const char* CmdTextGetFwVer = "19!getfwver";
inline constexpr const char* CmdTextSetNetIdPrefix = "19!setnetid ";

// A numeric reply as a signed 16-bit value: a decimal number with blanks
// around it allowed, a fraction rounded to the nearest integer (a half to
// the even neighbour). Raises "Type mismatch" (13) for a reply that is not a
// number and "Overflow" (6) outside -32768..32767.
int16_t TextReplyToInteger(std::string_view reply);

// Sends one text request: drops whatever bytes an earlier reply left queued
// (so that no late fragment is read together with this answer), writes the
// key and sends the command. A failing send raises its run-time error.
void SendTextRequest(rt::WinsockControl& ws, const std::string& key, std::string_view command);

// Waits, letting events run, until the text key reads "-1" or timeoutMs have
// passed; returns whether it reads "-1". Counts as a text request being
// awaited for the whole wait.
bool WaitForTextAnswer(rt::WinsockControl& ws, uint32_t timeoutMs);
// Waits until the key no longer equals `key` or timeoutMs have passed (the
// watchdog's name probe); returns whether it changed.
bool WaitWhileTextKey(rt::WinsockControl& ws, const std::string& key, uint32_t timeoutMs);
// Number of text waits in progress (nested ones count).
int TextWaitsInProgress();

// The data handler of WskTCP10K: parses the reply by the key at the moment
// data arrives and stores it in ConfigReal. Data that arrives while no
// request key is set stays queued. A reply that cannot be converted shows the
// error's description (critical icon, title "Error") from the event loop.
void WskTCP10K_DataArrival(rt::WinsockControl& ws);

// The Set button of the Net ID: sends "19!setnetid " with the value of
// TxtNetID, reports " Set Modbus Net ID OK!!" or " Set Modbus Net ID
// error!!" after the time of day, and shows the Net ID in force in TxtNetID.
// Does nothing while the text connection is down or another text request
// is awaited.
void CmdSetNetID_Click();

// The numeric value of a Net ID text: the decimal number at its start
// (digits with at most one decimal point), 0 when it does not start with one.
double NetIdTextValue(std::string_view text);
// That value written in decimal without blanks ("17", "17.5").
std::string NetIdTextForCommand(std::string_view text);

// Key filter of TxtCtlIP and TxtNetID: Backspace (8), Enter (13), "." (46)
// and "0".."9" pass.
bool ConnectionBarKeyPasses(int keyAscii);
// The key handlers: return the key code to use, 0 (with a beep) for a key
// that is dropped.
int TxtCtlIP_KeyPress(int keyAscii);
int TxtNetID_KeyPress(int keyAscii);
// The Net ID box losing the focus: the text to show ("1" for an empty text
// or a value outside 1..247, else the text unchanged).
std::string TxtNetID_LostFocus(std::string_view text);

}  // namespace nxlink
