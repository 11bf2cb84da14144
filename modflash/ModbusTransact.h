// The one Modbus TCP transaction routine of modflash and the three reads
// built on it.
#pragma once

#include <array>
#include <cstdint>

#include "modflash/FlashProtocol.h"
#include "modflash/FlashSocket.h"

namespace modflash {

constexpr uint16_t TransactTimeoutMs = 200;
constexpr uint16_t kKeepAliveTimeoutMs = 100;

// Far larger than any reply to modflash's requests; the received count is
// 8-bit.
using ReplyBuffer = std::array<uint8_t, 255>;

// Sends the request and waits until timeoutMs from the call for its reply,
// taken whole by its length. Replies are told apart by their shape and their
// order only: a reply that fits an earlier request whose transaction timed
// out is that one's, and is dropped. When such an unresolved request has the
// request's function, an order mark goes out first (within the same time),
// and the request only once the mark is answered. True with the reply's size
// in received; false when no reply came in time.
bool ModbusTransact(FlashSocket& socket, const Frame& request, ReplyBuffer& reply,
                    uint8_t& received, uint16_t timeoutMs);

// Status and error code of the slot's reply area: 1 with words filled, 0
// (words untouched) when there is no reply or it fails the exception check.
int ReadUpgradeStatus(FlashSocket& socket, uint16_t slot, uint16_t words[2]);
// One register each; 0 when there is no reply or it fails the check.
uint16_t ReadModuleMode(FlashSocket& socket, uint16_t slot);
uint16_t ReadModuleId(FlashSocket& socket, uint16_t slot);

}  // namespace modflash
