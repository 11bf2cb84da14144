#include "hart/HartFrame.h"

#include <algorithm>

#include "link/RegisterMap.h"

namespace hart {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string Hex2(uint8_t b) {
    static const char kDigits[] = "0123456789ABCDEF";
    return {kDigits[b >> 4], kDigits[b & 0x0F]};
}

constexpr size_t kLogHeaderEnd = 6;      // " --> " before this byte
constexpr size_t kLogFirstBreak = 19;    // first byte of the second line
constexpr size_t kLogBytesPerLine = 13;  // bytes per following line

}  // namespace

std::optional<std::vector<uint8_t>> ParseHartBytes(std::string_view text) {
    std::vector<uint8_t> bytes;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        const size_t end = std::min(text.find(' ', i), text.size());
        const std::string_view token = text.substr(i, end - i);
        if (token.size() > 2) return std::nullopt;
        int value = 0;
        for (char c : token) {
            const int d = HexDigit(c);
            if (d < 0) return std::nullopt;
            value = value * 16 + d;
        }
        bytes.push_back(static_cast<uint8_t>(value));
        i = end;
    }
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

uint8_t HartCheckByte(std::span<const uint8_t> bytes) {
    uint8_t x = 0;
    bool started = false;
    bool afterFF = false;
    for (uint8_t b : bytes) {
        if (b != 0xFF) {
            if (afterFF) started = true;
            afterFF = false;
        } else {
            afterFF = true;
        }
        if (started) x ^= b;
    }
    return x;
}

ModbusFrame BuildMailboxHartRequest(uint8_t unitId, int slot, int channel,
                                    std::span<const uint8_t> data) {
    const size_t n = data.size();
    std::vector<uint16_t> regs = {MailboxHartRequest,
                                  static_cast<uint16_t>((slot & 0xFF) << 8 | (channel & 0xFF)),
                                  static_cast<uint16_t>(n), 0, 0};
    for (size_t k = 0; k < n; k += 2) {
        const uint16_t second = k + 1 < n ? data[k + 1] : 0;
        regs.push_back(static_cast<uint16_t>(second << 8 | data[k]));
    }
    return BuildWriteMultipleRegisters(unitId, RegDataMailbox.Start, regs);
}

std::vector<std::string> SendLogLines(std::span<const uint8_t> frame, size_t n) {
    std::vector<std::string> lines;
    const std::string indent(n % 2 == 1 ? 35 : 33, ' ');
    std::string line;
    for (size_t i = 0; i < frame.size(); ++i) {
        if (i == kLogHeaderEnd) line += " --> ";
        if (i >= kLogFirstBreak && (i - kLogFirstBreak) % kLogBytesPerLine == 0) {
            lines.push_back(line);
            line = indent;
        }
        line += Hex2(frame[i]) + " ";
    }
    lines.push_back(line);
    return lines;
}

std::string ProcessStatusLine(int16_t status) {
    static const char* const kNames[] = {"IDLE", "PROCESSING", "FINISH"};
    return std::string("Hart ProcessStatus: ") +
           (status >= 0 && status <= 2 ? kNames[status] : "ERROR");
}

std::string ErrorCodeLine(int16_t code) {
    struct Entry {
        int16_t code;
        const char* text;
    };
    static const Entry kTexts[] = {{0, " , No Error"},
                                   {14, " , HART Timeout Error"},
                                   {15, " , HART Delimiter Error"},
                                   {16, " , HART Address Error"},
                                   {17, " , HART Checksum Error"},
                                   {18, " , HART IOM_To_Slave_Info Error"},
                                   {19, " , HART IMPOSSIBLE Error"},
                                   {20, " , HART IDENTITY Error"},
                                   {21, " , HART Command Timeout Error"},
                                   {100, " , Module Error"},
                                   {101, " , Module Status Error"},
                                   {102, " , Module Response Timeout Error"}};
    const char* text = " , Other Error";
    for (const Entry& e : kTexts)
        if (e.code == code) text = e.text;
    return "HART ErrorCode: " + std::to_string(code) + text;
}

std::vector<std::string> ReplyLines(const HartReply& reply) {
    std::vector<std::string> lines = {ProcessStatusLine(reply.ProcessStatus),
                                      ErrorCodeLine(reply.ErrorCode)};
    const bool answered = reply.ProcessStatus == 0 || reply.ProcessStatus == 2;
    if (reply.ErrorCode != 0 || !answered) return lines;
    lines.push_back("HART Response Data:");
    // The dispatcher never stores a length past the field; stay inside it.
    const int length = std::clamp<int>(reply.DataLength, 0, kHartDataBytes);
    std::string line;
    for (int i = 0; i < length; ++i) {
        line += "0x" + Hex2(reply.Data(i)) + " ";
        if ((i + 1) % 8 == 0) {
            lines.push_back(line);
            line.clear();
        }
    }
    lines.push_back(line);
    return lines;
}

}  // namespace hart
