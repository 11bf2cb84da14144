#include "modflash/ModbusTransact.h"

namespace modflash {

bool ModbusTransact(FlashSocket& socket, const Frame& request, ReplyBuffer& reply,
                    uint8_t& received, uint16_t timeoutMs) {
    received = 0;
    socket.DropLateReplies();
    if (!socket.Send(request.data(), request.size())) return false;
    const size_t n = socket.Receive(reply.data(), reply.size(), timeoutMs);
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
