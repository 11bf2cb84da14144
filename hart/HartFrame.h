// The HART console's model: the typed HART bytes, their check byte, the
// mailbox write that carries them to a slot's channel, the lines the send
// log shows of it, and the texts of a slot's HART reply.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/NodeConfig.h"
#include "link/ModbusFrame.h"

namespace hart {

// Most HART bytes (the check byte included) one mailbox write carries: the
// frame's length byte n + 17 (+ 1 when n is odd) must stay below 256.
inline constexpr size_t kMaxHartBytes = 238;

// The bytes of a text of hexadecimal bytes (1 or 2 digits, 0 to FF)
// separated by blanks; nullopt for a text without bytes or with any other
// token.
std::optional<std::vector<uint8_t>> ParseHartBytes(std::string_view text);

// The XOR of the bytes from the first byte that is not FF and follows an FF
// (the delimiter after the preambles) to the end; 0 without such a byte.
uint8_t HartCheckByte(std::span<const uint8_t> bytes);

// The function-16 write of a HART request to the data mailbox (0x0200):
// 0x4000, slot * 256 + channel, n, 0, 0, then the bytes two per register,
// the first in the low half. n must be 1 to kMaxHartBytes.
ModbusFrame BuildMailboxHartRequest(uint8_t unitId, int slot, int channel,
                                    std::span<const uint8_t> data);

// The send log's lines of a frame carrying n HART bytes: two upper-case hex
// digits and a blank per byte, " --> " after the header (before byte 6), a
// new line before bytes 19, 32, 45, ... indented by 35 blanks when n is odd
// and 33 when it is even.
std::vector<std::string> SendLogLines(std::span<const uint8_t> frame, size_t n);

// "Hart ProcessStatus: IDLE" (0), "PROCESSING" (1), "FINISH" (2), "ERROR".
std::string ProcessStatusLine(int16_t status);
// "HART ErrorCode: <code> , <text>".
std::string ErrorCodeLine(int16_t code);
// What an Update lists of a reply: the status and error lines, and only for
// error 0 with status IDLE or FINISH "HART Response Data:" and the data
// bytes eight to a line ("0x3F "), the last (possibly empty) line too.
std::vector<std::string> ReplyLines(const HartReply& reply);

}  // namespace hart
