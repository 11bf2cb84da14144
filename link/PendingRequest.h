// The pending-request handshake of the Modbus connection. A sender writes the
// key of its one outstanding request into the socket's Tag, sends the frame
// and waits; the reply dispatcher writes KeyDone ("0") after storing the
// reply, KeyErrorReply ("-1") for a refused reply, or leaves the key when the
// reply matches nothing, so that the sender times out.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/ModbusFrame.h"
#include "link/RequestGate.h"

namespace rt {
class WinsockControl;
}
struct DispatchResult;

inline constexpr const char* KeyDone = "0";
inline constexpr const char* KeyErrorReply = "-1";
inline constexpr const char* KeyMonitorImage = "1";    // 16-bit and bit images; HART request
inline constexpr const char* KeyMonitorImage32 = "2";  // 32-bit images
inline constexpr const char* KeyIomStatus = "3";
inline constexpr const char* KeyMcuStatus = "4";       // also the watchdog's keep-alive
inline constexpr const char* KeyIomCommand = "32768";  // function 16 to the module command register
inline constexpr const char* KeyMcuCommand =
    "36864";  // function 16 to the controller command register

// Key of a configuration read: its start address in decimal ("33024").
std::string KeyConfigRead(uint16_t start);
// Key of the HART reply-area read of slot 0..7: "10".."17".
std::string KeyHartReply(int slot);

// The numeric value of a key: a decimal integer written without blanks or
// leading zeros ("0", "-1", "33024"); nullopt for any other text (the empty
// start value included).
std::optional<long> KeyNumber(std::string_view key);

inline constexpr uint32_t CommandReplyTimeoutMs = 500;  // configuration reads, commands
inline constexpr uint32_t StatusReplyTimeoutMs = 100;   // status reads, keep-alive

enum class ReplyOutcome {
    Done,      // key "0": the reply was stored
    TimedOut,  // the key still names a request: "Response Timeout"
    Refused,   // key "-1": "Receive Error Messages"
    Failed,    // any other key, or the request could not be sent: no text
};

inline constexpr const char* kTextResponseTimeout = "Response Timeout";
inline constexpr const char* kTextReceiveError = "Receive Error Messages";

// Outcome of a key read after a wait.
ReplyOutcome ClassifyKey(std::string_view key);
// "Response Timeout", "Receive Error Messages", or "" for done and failed.
const char* OutcomeText(ReplyOutcome outcome);

// Lets events run (at least once) until the key of `ws` reads "0" or
// timeoutMs have passed, then classifies the key. Never spins.
ReplyOutcome WaitForReply(rt::WinsockControl& ws, uint32_t timeoutMs);

// Number of WaitForReply calls in progress (nested ones count); the watchdog
// sends its keep-alive only when it is 0, so it never replaces the key of a
// request that another routine is waiting for.
int ModbusWaitsInProgress();

// ---- The one request outstanding ------------------------------------------
// Every sender on the Modbus connection goes through the connection's gate
// (link/RequestGate.h holds its order rules). A send waits in the gate's
// queue, first come, first served, until the request before it was answered
// or given up and no reply of it could be taken for an unresolved one; the
// gate itself sends it then (and any order mark it needs first), from
// whatever runs at that moment (the arrival of a reply, a give-up time, a
// later sender), writing its key into the Tag just before. A send that
// cannot go within the link's give-up time (kJudgedGateWaitMs at least for a
// judged one) after the request in flight was answered or given up is
// dropped unsent: a click acts promptly or not at all.
namespace nxlink {

// The gate of a Modbus connection (made on first use, gone with the control).
RequestGate& GateOf(rt::WinsockControl& ws);

// True while a request on `ws` is outstanding (sent, not answered nor given
// up) or a send waits in the gate's queue. False for a connection that is
// not connected: a closed connection opens the gate (ResetModbusGate).
bool ModbusGateBusy(rt::WinsockControl& ws);
// Forgets the requests on the wire and drops the sends in the queue (the
// connection was opened or closed): a keyless write sends nothing and
// reports nothing, a waiting sender gets the run-time error of a send on a
// closed connection.
void ResetModbusGate(rt::WinsockControl& ws);

// Takes every complete reply queued on `ws` (TakeNextReply), in order, as
// the answer of the request it fits (RequestGate::Take), and dispatches the
// ones that are answers of keyed requests with `dispatch` under the
// request's own key: the request outstanding (its result goes into the Tag
// when the Tag still names it) and a polled read given up (stored in its
// own place, the Tag untouched). The others are dropped with a debug line.
// A waiting sender gets its own request's outcome. Then lets the next send
// of the queue go. `dispatch` is DispatchModbusReply in the program.
using ReplyDispatch = DispatchResult (*)(std::span<const uint8_t> reply, std::string& key);
void TakeModbusReplies(rt::WinsockControl& ws, ReplyDispatch dispatch);

}  // namespace nxlink

// Writes the frame to the "nx.link.frames" log when its debug lines are on.
void LogSentFrame(const ModbusFrame& frame, uint64_t id);

// A keyless write (table writes, module commands from the tables): queued at
// the gate, returns at once; the Tag is left as it is. A write that finds a
// write of the same output still waiting in the queue takes its place (the
// newer value is the one asked for). A send that fails at once raises its
// run-time error; one that fails later, or never goes, is dropped silently.
void SendModbusRequest(rt::WinsockControl& ws, ModbusFrame frame);

// A keyed request whose outcome nobody judges (monitor image polls, the HART
// mailbox write): queued at the gate, returns at once. Its reply is stored
// under `key` also when it comes after the request was given up.
void SendKeyedRequest(rt::WinsockControl& ws, const std::string& key, ModbusFrame frame);

// A keyed request whose sender waits up to timeoutMs from the moment it went
// on the wire (after it waited at the gate) and gets its own request's
// outcome: Done, Refused, TimedOut (no accepted reply, or dropped unsent).
// A judged request is given up when the wait ends and a later reply is
// dropped; a polled one (RequestRole::Polled: monitor status reads, the
// keep-alive) stays outstanding for the link's give-up time and its reply is
// stored whenever it comes. Does not test the connection beforehand; a send
// that fails, or a connection that closed while the request waited at the
// gate, raises the socket's run-time error.
ReplyOutcome SendRequestAndWait(rt::WinsockControl& ws, const std::string& key, ModbusFrame frame,
                                uint32_t timeoutMs,
                                nxlink::RequestRole role = nxlink::RequestRole::Judged);
