// The Modbus reply dispatcher: every reply that arrives on the Modbus
// connection is matched against the pending-request key and its own unit id,
// function code and byte count, checked whole, and only then stored into
// ConfigReal or the live-value arrays; the key then reads "0" (stored) or
// "-1" (refused).
//
// TCP is a stream: replies are cut out of the received bytes by the MBAP
// length field, never by the byte-count byte (0 for 128- and 256-register
// reads). Bytes stay queued until their reply is complete, across arrivals
// and across sends; an arrival that holds several replies gives each its
// turn. A reply whose header came is taken by its length, whenever its rest
// comes. Only bytes that cannot begin a reply (a protocol id other than 0, a
// length outside 3..515, a unit id outside 1..247, a length that does not
// fit the function) are dropped, one at a time, so the framing finds the
// next reply after junk and never starts inside one.
#pragma once

#include <QMetaObject>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/ModbusFrame.h"

namespace rt {
class WinsockControl;
}

enum class DispatchOutcome {
    Stored,     // stored (or a command echo matched); key := "0"
    Refused,    // another unit, an exception reply, an unparsed function; key := "-1"
    Unmatched,  // no rule fits (key, byte count, a short HART reply); key left
    Failed,     // the reply breaks its rule (too short, a value out of its field's
                // range, a HART length past the data); nothing stored, key left
    Ignored,    // no request is pending (the key names none); nothing happens
};

struct DispatchResult {
    DispatchOutcome Outcome = DispatchOutcome::Ignored;
    int ErrorNumber = 0;      // Failed: the run-time error number
    std::string Description;  // Failed: its description, shown in a message box
};

// Dispatches one complete reply (MBAP header included) against `key`, reading
// and writing node 0 of ConfigReal and the live-value arrays. `key` is
// updated in place. Nothing is stored unless the outcome is Stored.
DispatchResult DispatchModbusReply(std::span<const uint8_t> reply, std::string& key);

inline constexpr int kMinMbapLength = 3;    // unit id, function and exception code
inline constexpr int kMaxMbapLength = 515;  // unit id, function, byte count, 512 data bytes

// Whether the bytes at the head of the queue can begin a reply: `head` holds
// up to 9 of them, at least the 7 of the MBAP header. The protocol id is 0,
// the unit id a station's (1..247), the function code one the program asks
// or its exception code, and the length fits the function: 3 for an
// exception, 6 for a write's echo, and for a read the byte count and the
// bytes that follow it agree (modulo 256; a reply of more than 255 bytes
// with byte count 0 may be shorter than it says, as the HART reply area's
// may). nullopt: a read whose byte count has not come yet.
std::optional<bool> CanBeginReply(std::span<const uint8_t> head);

// Takes the next complete reply out of a byte queue (the socket control's, or
// anything with BytesReceived(), PeekInto(out, n) and GetData(n)). Returns
// nullopt while the next reply is incomplete (its bytes stay queued); bytes
// that cannot begin a reply are dropped first, one at a time, so that a
// reply behind them is found.
template <class Queue>
std::optional<std::vector<uint8_t>> TakeNextReply(Queue& queue) {
    std::array<uint8_t, kMbapHeaderSize + 2> bytes{};
    while (queue.BytesReceived() >= static_cast<size_t>(kMbapHeaderSize)) {
        const std::span<const uint8_t> head(bytes.data(),
                                            queue.PeekInto(bytes.data(), bytes.size()));
        const std::optional<bool> can = CanBeginReply(head);
        if (!can) return std::nullopt;
        if (!*can) {
            queue.GetData(1);
            continue;
        }
        const size_t size = 6 + static_cast<size_t>(ParseMbapHeader(head)->Length);
        if (queue.BytesReceived() < size) return std::nullopt;
        return queue.GetData(size);
    }
    return std::nullopt;
}

// Hands every complete reply of the queue to `take` in turn.
template <class Queue, class Take>
void TakeArrivalReplies(Queue& queue, Take take) {
    while (std::optional<std::vector<uint8_t>> reply = TakeNextReply(queue)) take(*reply);
}

// The data-arrival handler of the Modbus connection: takes every complete
// reply of the arrival and dispatches each one that answers a keyed request
// under that request's key (nxlink::TakeModbusReplies). The error message of
// a failed reply (the error's description, critical icon, title "Error") is
// shown from the event loop afterwards, never from inside the handler.
void WskTCP502_DataArrival(rt::WinsockControl& ws, int32_t bytesTotal);

// Connects the handler to the control's DataArrival event.
QMetaObject::Connection ConnectModbusReplyHandler(rt::WinsockControl& ws);
