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
#include <type_traits>

#include "link/ModbusFrame.h"

namespace rt {
class WinsockControl;
}

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

// ---- Requests in flight ------------------------------------------------------
// The station answers one connection's requests in order. The link remembers
// every request sent on the Modbus connection until its reply came (or a
// later reply passed it), so that each reply is matched to the request it
// answers: by its function code (or its exception code), its MBAP length and,
// for writes, the echoed address. Only a reply to the newest keyed request,
// while the key still names it, is dispatched against the key; the replies
// of keyless writes and late replies of requests whose key was replaced are
// taken off the stream and dropped with a debug line on "nx.link.state".
namespace nxlink {

struct SentRequest {
    uint8_t Function = 0;
    uint16_t Start = 0;
    uint16_t Quantity = 0;
    std::string Key;  // empty: a keyless write
    uint32_t SentAtMs = 0;
    uint32_t OwedMs = 0;  // how long its reply counts as owed
    uint64_t Id = 0;
};

// How long the reply of a request without a wait of its own (monitor image
// reads, table writes, the HART send) counts as owed.
inline constexpr uint32_t kNoWaitReplyOwedMs = CommandReplyTimeoutMs;

// Records a request just sent; returns its id.
uint64_t NoteSentRequest(const ModbusFrame& frame, std::string key, uint32_t owedMs);
// Whether one complete reply (MBAP header included) can answer `request`.
bool ReplyFits(std::span<const uint8_t> reply, const SentRequest& request);

enum class ReplyMatch {
    Dispatch,    // answers the newest keyed request, or nothing was sent at all
    Keyless,     // answers a keyless write: nothing to store
    Stale,       // answers a request whose key was replaced meanwhile
    Unexpected,  // answers no request in flight
};
// Finds the request a reply answers and forgets it together with every older
// request (their replies did not come).
ReplyMatch TakeSentRequestFor(std::span<const uint8_t> reply, const std::string& currentKey);
// True while the request `id` is remembered and its reply still owed.
bool ReplyOwed(uint64_t id);
// True while any request's reply is still owed (came neither its reply nor
// its time).
bool ModbusReplyOwed();
// Forgets every request (the connection was opened or closed).
void ForgetSentRequests();

}  // namespace nxlink

// Writes the frame to the "nx.link.frames" log when its debug lines are on.
void LogSentFrame(const ModbusFrame& frame);

// Sends one request on the Modbus connection; every sender goes through it.
// Drops whatever is still queued first (the tail of a late reply, stray
// bytes), so that the reply to this request is read from its first byte,
// logs the frame and remembers the request (`key` empty: keyless). A failing
// send raises its run-time error. (A template so that tests can put a byte
// queue in place of the socket control.)
template <class Channel>
uint64_t SendModbusRequest(Channel& ws, const ModbusFrame& frame, const std::string& key = {},
                           uint32_t owedMs = nxlink::kNoWaitReplyOwedMs) {
    ws.DiscardData();
    LogSentFrame(frame);
    ws.SendData(frame);
    if constexpr (std::is_same_v<Channel, rt::WinsockControl>)
        return nxlink::NoteSentRequest(frame, key, owedMs);
    return 0;
}

// Writes the key, sends the frame (SendModbusRequest) without waiting;
// returns the request's id.
uint64_t SendKeyedRequest(rt::WinsockControl& ws, const std::string& key, const ModbusFrame& frame);

// Writes the key, sends the frame (SendModbusRequest) and waits. Does not
// test the connection (every sender has its own answer to a closed
// connection); a failing send raises its run-time error to the caller.
ReplyOutcome SendRequestAndWait(rt::WinsockControl& ws, const std::string& key,
                                const ModbusFrame& frame, uint32_t timeoutMs);
