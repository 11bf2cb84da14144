#include "modflash/FlashProtocol.h"

#include <algorithm>

namespace modflash {

namespace {

void PutWord(Frame& f, uint16_t v) {
    f.push_back(static_cast<uint8_t>(v >> 8));
    f.push_back(static_cast<uint8_t>(v & 0xFF));
}

// Transaction ID, protocol ID, length (high byte always 0 for our frames)
// and unit ID.
Frame Header(uint8_t length) {
    Frame f;
    PutWord(f, kTransactionId);
    PutWord(f, 0);
    PutWord(f, length);
    f.push_back(kUnitId);
    return f;
}

}  // namespace

Frame BuildReadInputRegister(uint16_t address) {
    Frame f = Header(6);
    f.push_back(kFnReadInputRegisters);
    PutWord(f, address);
    PutWord(f, 1);
    return f;
}

Frame BuildReadUpgradeStatus(uint16_t slot) {
    Frame f = Header(6);
    f.push_back(kFnReadInputRegisters);
    PutWord(f, static_cast<uint16_t>(RegSlotReplyArea + 0x100 * slot));
    PutWord(f, 2);
    return f;
}

Frame BuildCommandWrite(uint16_t command, uint16_t slot, uint16_t data) {
    Frame f = Header(13);
    f.push_back(kFnWriteMultipleRegisters);
    PutWord(f, RegIomCommand);
    PutWord(f, 3);
    f.push_back(6);
    PutWord(f, command);
    PutWord(f, slot);
    PutWord(f, data);
    return f;
}

Frame BuildInitDownload(uint16_t slot, uint32_t imageSize) {
    Frame f = Header(17);
    f.push_back(kFnWriteMultipleRegisters);
    PutWord(f, RegIomCommand);
    PutWord(f, 5);
    f.push_back(10);
    PutWord(f, CmdFwInitDownload);
    PutWord(f, slot);
    PutWord(f, 0);
    PutWord(f, static_cast<uint16_t>(imageSize >> 16));
    PutWord(f, static_cast<uint16_t>(imageSize & 0xFFFF));
    return f;
}

Frame BuildChunkFrame(uint16_t slot, const uint8_t* chunk, size_t len) {
    const uint16_t n = static_cast<uint16_t>(len);
    const uint16_t q = static_cast<uint16_t>((n + 1) / 2 + 3);
    const uint8_t bc = static_cast<uint8_t>(2 * q);
    Frame f = Header(static_cast<uint8_t>(bc + 7));
    f.push_back(kFnWriteMultipleRegisters);
    PutWord(f, RegDataMailbox);
    PutWord(f, q);
    f.push_back(bc);
    PutWord(f, MailboxFwChunk);
    PutWord(f, slot);
    PutWord(f, n);
    // Data area: the chunk padded to an even length with one 0 byte, then
    // every pair of bytes swapped.
    const size_t start = f.size();
    f.insert(f.end(), chunk, chunk + len);
    if (len % 2 != 0) f.push_back(0);
    for (size_t k = start; k + 1 < f.size(); k += 2) std::swap(f[k], f[k + 1]);
    return f;
}

Frame BuildOrderMark(uint8_t function) {
    Frame f = Header(6);
    f.push_back(function);
    PutWord(f, 0);
    PutWord(f, 1);
    return f;
}

bool ReplyFits(const Frame& request, const uint8_t* reply, size_t replyLen) {
    if (request.size() < 12 || replyLen < 9) return false;
    const size_t length = static_cast<size_t>(reply[4]) << 8 | reply[5];
    if (length + 6 != replyLen) return false;
    const uint8_t function = request[7];
    if (reply[7] == (function | 0x80)) return replyLen == 9;
    if (reply[7] != function) return false;
    const size_t quantity = static_cast<size_t>(request[10]) << 8 | request[11];
    size_t byteCount = 0;
    switch (function) {
        case kFnReadCoils:
        case kFnReadDiscreteInputs:
            byteCount = (quantity + 7) / 8;
            break;
        case kFnReadHoldingRegisters:
        case kFnReadInputRegisters:
            byteCount = 2 * quantity;
            break;
        case kFnWriteMultipleRegisters:
            return replyLen == 12 && std::equal(reply + 8, reply + 12, request.begin() + 8);
        default:
            return false;
    }
    return reply[8] == byteCount && replyLen == 9 + byteCount;
}

bool PassesExceptionCheck(const Frame& request, const uint8_t* reply, size_t replyLen) {
    return replyLen >= 8 && request.size() >= 8 && reply[6] == request[6] && reply[7] == request[7];
}

const std::array<uint8_t, 64> FwScrambleTable = {
    0x56, 0xB6, 0x84, 0x72, 0xCE, 0x5C, 0xC2, 0x94, 0x81, 0x06, 0xE4, 0xAA, 0x50, 0x5A, 0x85, 0xC8,
    0xAE, 0x04, 0xBC, 0x68, 0x1A, 0xEF, 0x05, 0xA3, 0x62, 0x4C, 0xDD, 0x06, 0xFE, 0x56, 0x8D, 0xC2,
    0xA4, 0xE1, 0xFE, 0x5A, 0xA4, 0x8C, 0x19, 0x12, 0xE1, 0x60, 0x67, 0xFC, 0x51, 0x86, 0x8F, 0x9F,
    0x1D, 0x83, 0xBA, 0xE4, 0x06, 0x90, 0xE8, 0xB7, 0x9C, 0x54, 0x07, 0xC1, 0xD9, 0x32, 0xC8, 0xB4,
};

void Scramble(uint8_t* p, size_t len) {
    for (size_t m = 1; m < len; ++m) p[m] ^= FwScrambleTable[(p[0] + m) % 64];
}

uint16_t FirmwareModuleId(const uint8_t* header) {
    return static_cast<uint16_t>(header[1] * 256 + header[2]);
}

std::array<std::string, kModelNameCount> ModelNameTable;

const std::array<uint16_t, kModelIdCount> ModelIdTable = {
    1, 16, 97, 98, 49, 32, 73, 74, 113, 145, 114, 82, 81, 160, 241, 0,
};

void InitModelNameTable() {
    ModelNameTable = {"KB-560", "KB-570", "KB-524", "KB-523", "KB-540",
                      "KB-510", "KB-522", "KB-521", "KB-553", "KB-551",
                      "KB-552", "KB-531", "KB-532", "KB-580", "KB-590"};
}

std::string ModuleNameText(uint16_t moduleId) {
    if (moduleId == 0) return "Null";
    for (size_t i = 0; i < kModelIdCount; ++i) {
        // Only the named entries can match: ID 0 was handled above.
        if (ModelIdTable[i] == moduleId && i < kModelNameCount) return ModelNameTable[i];
    }
    return "Not supportted";
}

}  // namespace modflash
