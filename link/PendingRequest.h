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

// ---- The one request outstanding ------------------------------------------
// At most one request is outstanding on the Modbus connection, whoever sent
// it: a request goes on the wire only when the one before it was answered or
// given up. The station answers in order, so the reply that comes is the
// answer to the request outstanding, as long as its shape fits that request
// (ReplyFits); a reply that fits no request outstanding is dropped. A request
// whose reply did not come within its give-up time is given up but still
// held for the same time again: a late reply that comes then is taken off
// the stream as its own (and dropped), so it never meets the next request.
namespace nxlink {

// How long the reply of a request that no sender judges is awaited before
// the request is given up: monitor reads (the station or the link may be
// slow, and the monitor follows it at its own pace), the keep-alive, the
// status reads, the table writes, the HART send and module commands.
inline constexpr uint32_t kReplyGiveUpMs = 5000;

// One request on the wire, as its reply must answer it.
struct SentRequest {
    uint64_t Id = 0;  // counts the connection's requests from 1 (debug lines)
    uint8_t Function = 0;
    uint16_t Start = 0;
    uint16_t Quantity = 0;
    std::string Key;  // empty: a keyless write
    uint32_t SentAtMs = 0;
    uint32_t GiveUpMs = 0;     // its reply is taken as its own this long
    bool SenderWaits = false;  // its sender still waits: not given up yet
};

// Whether one complete reply (MBAP header included) can be the answer to
// `request`: the request's function code or its exception code; for a
// write the echoed address; for a read no more data than the full answer,
// and for a read whose answer is longer than a byte count can say (128
// registers and more) the length the reply rules need (the full answer, or
// at most 501 bytes for the HART reply area).
bool ReplyFits(std::span<const uint8_t> reply, const SentRequest& request);

enum class ReplyMatch {
    Dispatch,    // answers the request outstanding, whose key is current
    Keyless,     // answers a keyless write: nothing to store
    GivenUp,     // answers a request given up (or whose key was replaced)
    Unexpected,  // answers no request outstanding
};

// The request bookkeeping of one Modbus connection.
class RequestGate {
  public:
    // True when no request is outstanding, or the one outstanding was held
    // past twice its give-up time.
    bool Open(uint32_t now) const { return HoldLeft(now) == 0; }
    // Forgets a request held past twice its give-up time; true when it did
    // (whatever part of its reply is queued must go then).
    bool Expire(uint32_t now);
    // Milliseconds until the outstanding request is forgotten (0: open).
    uint32_t HoldLeft(uint32_t now) const;
    // Records a request just sent; returns its id. A request whose sender
    // waits for it (`senderWaits`) is given up when EndWait says so.
    uint64_t Note(const ModbusFrame& frame, std::string key, uint32_t giveUpMs, uint32_t now,
                  bool senderWaits = false);
    // The sender of request `id` stopped waiting: if the request is still
    // outstanding it is given up now, and held as long again.
    void EndWait(uint64_t id, uint32_t now);
    // Judges one complete reply; a reply that fits the request outstanding
    // completes it (the gate opens), whatever it is judged.
    ReplyMatch Take(std::span<const uint8_t> reply, const std::string& currentKey, uint32_t now,
                    SentRequest* answered = nullptr);
    void Forget() { outstanding_.reset(); }
    // Senders waiting for the gate to open (nested ones count).
    int Waiters() const { return waiters_; }
    void AddWaiter(int delta) { waiters_ += delta; }

  private:
    std::optional<SentRequest> outstanding_;
    uint64_t nextId_ = 1;
    int waiters_ = 0;
};

// The gate of a Modbus connection (made on first use, gone with the control).
RequestGate& GateOf(rt::WinsockControl& ws);

// True while a request on `ws` waits for its reply (or is held after it
// was given up), or a sender waits for the gate.
bool ModbusReplyOwed(rt::WinsockControl& ws);
// Forgets the request outstanding (the connection was opened or closed).
void ForgetSentRequests(rt::WinsockControl& ws);

// Lets events run until no request is outstanding on `ws`, or `ws` is no
// longer connected. Queued bytes of a request forgotten meanwhile are
// dropped, so that a late reply's remainder never completes another.
void WaitForGate(rt::WinsockControl& ws);

}  // namespace nxlink

// Writes the frame to the "nx.link.frames" log when its debug lines are on.
void LogSentFrame(const ModbusFrame& frame, uint64_t id);

// Sends one request on the Modbus connection; every sender goes through it.
// Waits for the gate (WaitForGate), writes `key` into the Tag (an empty key
// leaves the Tag: a keyless write), sends the frame, logs it and records it
// as the request outstanding (`senderWaits`: given up only when its sender's
// wait ends, RequestGate::EndWait). Bytes still queued stay: they may be the
// start of a reply. A failing send raises its run-time error (and records
// nothing).
uint64_t SendModbusRequest(rt::WinsockControl& ws, const ModbusFrame& frame,
                           const std::string& key = {}, uint32_t giveUpMs = nxlink::kReplyGiveUpMs,
                           bool senderWaits = false);

// Writes the key and sends the frame (SendModbusRequest) without waiting for
// the reply; returns the request's id.
uint64_t SendKeyedRequest(rt::WinsockControl& ws, const std::string& key, const ModbusFrame& frame);

// Writes the key, sends the frame (SendModbusRequest) and waits up to
// timeoutMs for its reply. The request is given up after `giveUpMs` (0: when
// the wait ends, for a sender that reports a timeout and goes on).
// Does not test the connection (every sender has its own answer to a closed
// connection); a failing send raises its run-time error to the caller.
ReplyOutcome SendRequestAndWait(rt::WinsockControl& ws, const std::string& key,
                                const ModbusFrame& frame, uint32_t timeoutMs,
                                uint32_t giveUpMs = 0);
