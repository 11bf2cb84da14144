#include "modflash/ModbusTransact.h"

#include "platform/ticks.h"

namespace modflash {

namespace {

// Takes the replies that have come since the last transaction, without
// waiting: a late one resolves its request, anything else is dropped, so
// that none of them is there to be taken for the next request's answer.
void SettleArrived(FlashSocket& socket, ReplyBuffer& reply) {
    const uint32_t now = rt::GetTickCount();
    while (const size_t n = socket.ReceiveFrame(reply.data(), reply.size(), now))
        socket.Unresolved().Take(reply.data(), n);
}

// Sends the request and waits until the deadline for its reply: the first
// frame that fits it and no unresolved request. A frame that fits an
// unresolved request resolves that one; one that fits nothing is dropped.
// Returns the reply's size, or 0 when it did not come (the request is then
// unresolved).
size_t Exchange(FlashSocket& socket, const Frame& request, ReplyBuffer& reply, uint32_t deadline) {
    UnresolvedRequests& unresolved = socket.Unresolved();
    if (socket.Send(request.data(), request.size(), deadline)) {
        while (const size_t n = socket.ReceiveFrame(reply.data(), reply.size(), deadline)) {
            if (unresolved.Take(reply.data(), n)) continue;
            if (!ReplyFits(request, reply.data(), n)) continue;
            // Every unresolved request went out before this one, so its
            // reply, had it come, would have come first.
            unresolved.ResolveAll();
            return n;
        }
    }
    // Part of it may have gone out before a failed send.
    unresolved.Note(request);
    return 0;
}

}  // namespace

bool ModbusTransact(FlashSocket& socket, const Frame& request, ReplyBuffer& reply,
                    uint8_t& received, uint16_t timeoutMs) {
    received = 0;
    const uint32_t deadline = rt::GetTickCount() + timeoutMs;
    SettleArrived(socket, reply);
    // A reply still owed by an earlier request of the same function could be
    // taken for this one's: an order mark goes first, and its reply shows
    // that every earlier reply has come or never will. The mark shares the
    // transaction's time; unanswered, the request is not sent at all.
    if (socket.Unresolved().Conflicts(request) &&
        Exchange(socket, BuildOrderMark(socket.Unresolved().MarkFunction()), reply, deadline) == 0)
        return false;
    const size_t n = Exchange(socket, request, reply, deadline);
    if (n == 0) return false;
    received = static_cast<uint8_t>(n);
    return true;
}

namespace {

// Reads one register and gives the last two bytes of the reply.
uint16_t ReadOneRegister(FlashSocket& socket, uint16_t address) {
    const Frame request = BuildReadInputRegister(address);
    ReplyBuffer reply{};
    uint8_t n = 0;
    if (!ModbusTransact(socket, request, reply, n, TransactTimeoutMs)) return 0;
    if (!PassesExceptionCheck(request, reply.data(), n) || n < 10) return 0;
    return static_cast<uint16_t>(reply[n - 2] << 8 | reply[n - 1]);
}

}  // namespace

int ReadUpgradeStatus(FlashSocket& socket, uint16_t slot, uint16_t words[2]) {
    const Frame request = BuildReadUpgradeStatus(slot);
    ReplyBuffer reply{};
    uint8_t n = 0;
    if (!ModbusTransact(socket, request, reply, n, TransactTimeoutMs)) return 0;
    if (!PassesExceptionCheck(request, reply.data(), n) || n < 12) return 0;
    words[0] = static_cast<uint16_t>(reply[n - 4] << 8 | reply[n - 3]);
    words[1] = static_cast<uint16_t>(reply[n - 2] << 8 | reply[n - 1]);
    return 1;
}

uint16_t ReadModuleMode(FlashSocket& socket, uint16_t slot) {
    return ReadOneRegister(socket, static_cast<uint16_t>(RegIomNmtState + slot));
}

uint16_t ReadModuleId(FlashSocket& socket, uint16_t slot) {
    return ReadOneRegister(socket, static_cast<uint16_t>(RegIomModuleId + slot));
}

}  // namespace modflash
