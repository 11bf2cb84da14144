// The Modbus reply dispatcher: every reply that arrives on the Modbus
// connection is matched against the pending-request key and its own unit id,
// function code and byte count, checked whole, and only then stored into
// ConfigReal or the live-value arrays; the key then reads "0" (stored) or
// "-1" (refused).
//
// TCP is a stream: replies are cut out of the received bytes by the MBAP
// length field, never by the byte-count byte (0 for 128- and 256-register
// reads). A reply split over several arrivals is dispatched once, when it is
// complete; an arrival that holds several replies gives each its turn. A header with a protocol id
// other than 0 or a length outside 2..515 cannot be a reply: the bytes of that arrival (with the
// unfinished reply they were meant to complete) are dropped, and the stream starts again with the
// next arrival. Every sender drops what is still queued before it sends (SendModbusRequest), so
// each request's reply is read from its first byte.
#pragma once

#include <QMetaObject>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

inline constexpr int kMinMbapLength = 2;    // unit id and function code
inline constexpr int kMaxMbapLength = 515;  // unit id, function, byte count, 512 data bytes

// Takes the next complete reply out of a byte queue (the socket control's, or
// anything with BytesReceived(), PeekData(n), GetData(n) and DiscardData()).
// Returns nullopt while the next reply is incomplete (its bytes stay queued)
// and after dropping a header that cannot be a reply (then *discarded is set).
template <class Queue>
std::optional<std::vector<uint8_t>> TakeNextReply(Queue& queue, bool* discarded = nullptr) {
    if (queue.BytesReceived() < 6) return std::nullopt;
    const std::vector<uint8_t> head = queue.PeekData(6);
    const int protocol = head[2] << 8 | head[3];
    const int length = head[4] << 8 | head[5];
    if (protocol != 0 || length < kMinMbapLength || length > kMaxMbapLength) {
        queue.DiscardData();
        if (discarded) *discarded = true;
        return std::nullopt;
    }
    if (queue.BytesReceived() < 6 + static_cast<size_t>(length)) return std::nullopt;
    return queue.GetData(6 + static_cast<size_t>(length));
}

// Hands every complete reply of the queue to `take` in turn; when `take`
// returns false (the reply answers nothing) the bytes after it are dropped
// too, so that stray bytes never become the head of the next reply.
template <class Queue, class Take>
void TakeArrivalReplies(Queue& queue, Take take) {
    while (std::optional<std::vector<uint8_t>> reply = TakeNextReply(queue)) {
        if (!take(*reply)) {
            queue.DiscardData();
            return;
        }
    }
}

// The data-arrival handler of the Modbus connection: takes every complete
// reply of the arrival (TakeNextReply) and dispatches each one that answers
// the request in flight (nxlink::TakeSentRequestFor) against the Tag of `ws`;
// the others are dropped with a debug line. A reply that answers no request
// ends the arrival: the bytes after it are dropped as well. The error
// message of a failed reply (the error's description, critical icon, title
// "Error") is shown from the event loop afterwards, never from inside the
// handler.
void WskTCP502_DataArrival(rt::WinsockControl& ws, int32_t bytesTotal);

// Connects the handler to the control's DataArrival event.
QMetaObject::Connection ConnectModbusReplyHandler(rt::WinsockControl& ws);
