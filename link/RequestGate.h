// The order rules of the Modbus connection. Requests carry no number the
// station echoes (transaction id 0), so a reply is told from another only by
// its shape and by the order: the station answers one connection's requests
// in order, each at most once.
//
// At most one request is outstanding (live) at a time. A request whose reply
// did not come in time is given up but stays on the wire list, unresolved:
// its reply may still come. A reply is the answer of the oldest request on
// the list whose shape it fits (ReplyFits); every request before that one is
// then resolved as never answered, since the station answers in order.
// The next request goes out only when no reply of it could be taken for an
// unresolved one (no unresolved request has its function code, whose
// exception replies look alike; and a read only when no read is unresolved).
// Otherwise the link first sends an order mark: a small read of another
// function that the station always answers. Its reply, or exception, shows
// that every earlier reply has come or never will.
//
// A reply that fits nothing on the list (a copy, junk that looks like a
// reply) is a stray: the stream may be off by one, so its function is held
// unresolved like a request until a later request's reply resolves it.
//
// Nothing here reads a clock or a socket: times are passed in (ms of the
// tick counter), so the rules are tested as tables.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/ModbusFrame.h"

namespace nxlink {

// How a request's reply is used, and when the request is given up.
enum class RequestRole {
    // Its sender waits and judges the outcome itself (Upload, Download, HART
    // reply read, advanced options): given up when that wait ends; a reply
    // that comes after is dropped (the sender reported its failure).
    Judged,
    // A read whose outcome nobody judges (monitor polls and status reads,
    // keep-alive, HART mailbox write): given up after the link's give-up
    // time; a reply that comes after is still stored under its own key.
    Polled,
    // A keyless write (table writes, module commands from the tables): its
    // echo stores nothing; given up after the link's give-up time.
    Write,
    // The link's own order mark.
    Mark,
    // Not a request: a reply that fitted nothing (its function is held).
    Stray,
};

// One request on the wire, as its reply must answer it.
struct SentRequest {
    uint64_t Id = 0;  // counts the connection's requests from 1
    RequestRole Role = RequestRole::Polled;
    uint8_t Function = 0;  // a stray's: the reply's, without the exception bit
    uint16_t Start = 0;
    uint16_t Quantity = 0;
    std::string Key;  // empty: keyless
    uint32_t SentAtMs = 0;
    // Given up this long after it was sent; a judged request's wait time,
    // after which it is given up by its sender (EndWait).
    uint32_t GiveUpMs = 0;
    bool GivenUp = false;
    uint64_t Ticket = 0;  // the sender's ticket (0: none)
    // A read's reply carries MinData..MaxData data bytes (set by Note).
    uint16_t MinData = 0;
    uint16_t MaxData = 0;
};

// Whether one complete reply (MBAP header included) can be the answer to
// `request`: its function code, or its exception code with length 3; a
// write's echo names its address; a read's data: any count up to 32 bytes
// for a channel list, at least the 492 bytes the reply rules need and at
// most the full answer for a read of more than 255 bytes, else the full
// answer exactly.
bool ReplyFits(std::span<const uint8_t> reply, const SentRequest& request);

enum class ReplyMatch {
    Dispatch,    // answers the request outstanding: dispatched under its key
    Late,        // answers a polled read given up: stored under its own key
    Write,       // answers a keyless write: nothing to store
    Mark,        // answers an order mark
    GivenUp,     // answers a judged request given up: dropped
    Unexpected,  // answers nothing on the wire: a stray
};

struct TakenReply {
    ReplyMatch Match = ReplyMatch::Unexpected;
    SentRequest Request;                  // the request it answers
    std::vector<uint64_t> NeverAnswered;  // requests before it, now resolved
};

// What the next request of a function may do now.
struct Clearance {
    enum Kind { Go, Wait, SendMark } What = Go;
    ModbusFrame Mark;                   // SendMark: the mark to send (with the unit id asked for)
    std::optional<uint32_t> RetryAtMs;  // Wait: when to ask again (else: at the next reply
                                        // or give-up)
};

// The link's give-up time: three times the slowest of the last round
// trips, within these bounds.
inline constexpr uint32_t kMinGiveUpMs = 500;
inline constexpr uint32_t kMaxGiveUpMs = 10000;
// Requests given up may still be in the station, which works one after the
// other: while this many are unresolved, or the request waits only for a
// mark's reply, nothing goes until the link has been quiet (no send, no
// reply) for kFirstProbeMs (twice that after a probe that got no reply), and
// at least the give-up time; then the request, or a mark, goes as a probe.
inline constexpr size_t kMaxInStation = 2;
inline constexpr uint32_t kFirstProbeMs = 2000;
// How long a send waits at the gate after the request in flight was answered
// or given up before it is dropped unsent: the give-up time for clicks and
// ticks; for a sender that judges its outcome at least this long, two probe
// times, so that a station's silence of a few seconds costs it a step, not
// every step until the station answers again.
inline constexpr uint32_t kJudgedGateWaitMs = 2 * kFirstProbeMs;

class RequestGate {
  public:
    // Gives up the live request when its time is up (a judged one only by
    // EndWait); returns the id it gave up, if any.
    std::optional<uint64_t> Settle(uint32_t now);
    // The request outstanding and not given up, if any.
    const SentRequest* Live() const;
    // When the live request will be given up (its sender's wait end for a
    // judged one); nullopt without one.
    std::optional<uint32_t> LiveDeadline() const;

    // Whether a request of `function` for unit `unitId` may go now.
    Clearance Clear(uint8_t function, uint8_t unitId, uint32_t now);
    // Records a request just sent; returns its id.
    uint64_t Note(const ModbusFrame& frame, RequestRole role, std::string key, uint32_t waitMs,
                  uint32_t now, uint64_t ticket = 0);
    // The sender of a judged request stopped waiting: given up if still live.
    void EndWait(uint64_t id);
    // Takes one complete reply off the stream (see the rules above).
    TakenReply Take(std::span<const uint8_t> reply, uint32_t now);
    // Forgets everything, the round trips too (the connection was opened or
    // closed).
    void Forget();

    uint32_t GiveUpMs() const;
    // Entries on the wire list (unresolved requests, the live one, strays).
    const std::deque<SentRequest>& Wire() const { return wire_; }

  private:
    // Holds `function` as a stray's: the stream may be off by one there.
    void HoldStray(uint8_t function);
    size_t InStation() const;  // requests on the list (strays not)
    uint32_t ProbeIntervalMs() const;
    void NoteRoundTrip(uint32_t ms);

    std::deque<SentRequest> wire_;  // oldest first
    std::array<uint32_t, 8> roundTrips_{};
    size_t roundTripCount_ = 0;
    uint64_t nextId_ = 1;
    uint32_t lastActivityMs_ = 0;  // the last send or reply
    uint32_t probes_ = 0;          // probes since the last reply
    bool probing_ = false;         // the send Clear let go is a probe
};

}  // namespace nxlink
