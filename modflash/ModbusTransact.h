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

// Large enough for any reply the station sends; the received count is 8-bit.
using ReplyBuffer = std::array<uint8_t, 255>;

// Sends the request and waits up to timeoutMs for its reply to begin, then
// reads it whole. An earlier reply that came too late, or is still on its
// way (for a bounded time), is dropped first, so it is never taken for this
// request's answer. True with the
// reply's size in received; false when no reply arrived in time.
bool ModbusTransact(FlashSocket& socket, const Frame& request, ReplyBuffer& reply,
                    uint8_t& received, uint16_t timeoutMs);

// Status and error code of the slot's reply area: 1 with words filled, 0
// (words untouched) when there is no reply or it fails the exception check.
int ReadUpgradeStatus(FlashSocket& socket, uint16_t slot, uint16_t words[2]);
// One register each; 0 when there is no reply or it fails the check.
uint16_t ReadModuleMode(FlashSocket& socket, uint16_t slot);
uint16_t ReadModuleId(FlashSocket& socket, uint16_t slot);

}  // namespace modflash
