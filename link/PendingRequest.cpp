#include "link/PendingRequest.h"

#include <charconv>

#include "link/LinkLog.h"
#include "platform/EventWait.h"
#include "platform/WinsockControl.h"
#include "platform/diag.h"

namespace {
int g_modbusWaits = 0;
}

std::string KeyConfigRead(uint16_t start) { return std::to_string(start); }

std::string KeyHartReply(int slot) { return std::to_string(10 + slot); }

std::optional<long> KeyNumber(std::string_view key) {
    if (key.empty() || key.size() > 10) return std::nullopt;
    const size_t digits = key[0] == '-' ? 1 : 0;
    if (digits == key.size()) return std::nullopt;
    // No leading zeros ("0" itself excepted), so every value has one text.
    if (key[digits] == '0' && key.size() > digits + 1) return std::nullopt;
    long v = 0;
    const auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), v);
    if (ec != std::errc() || end != key.data() + key.size()) return std::nullopt;
    if (v == 0 && digits == 1) return std::nullopt;  // "-0"
    return v;
}

ReplyOutcome ClassifyKey(std::string_view key) {
    const auto n = KeyNumber(key);
    if (!n) return ReplyOutcome::Failed;
    if (*n == 0) return ReplyOutcome::Done;
    if (*n > 0) return ReplyOutcome::TimedOut;
    if (*n == -1) return ReplyOutcome::Refused;
    return ReplyOutcome::Failed;
}

const char* OutcomeText(ReplyOutcome outcome) {
    switch (outcome) {
        case ReplyOutcome::TimedOut:
            return kTextResponseTimeout;
        case ReplyOutcome::Refused:
            return kTextReceiveError;
        default:
            return "";
    }
}

ReplyOutcome WaitForReply(rt::WinsockControl& ws, uint32_t timeoutMs) {
    ++g_modbusWaits;
    struct Leave {
        ~Leave() { --g_modbusWaits; }
    } leave;
    rt::WaitUntil([&ws] { return ws.Tag() == KeyDone; }, timeoutMs);
    return ClassifyKey(ws.Tag());
}

int ModbusWaitsInProgress() { return g_modbusWaits; }

ReplyOutcome SendRequestAndWait(rt::WinsockControl& ws, const std::string& key,
                                const ModbusFrame& frame, uint32_t timeoutMs) {
    ws.SetTag(key);
    SendModbusRequest(ws, frame);
    return WaitForReply(ws, timeoutMs);
}

void LogSentFrame(const ModbusFrame& frame) {
    if (lcLinkFrames().isDebugEnabled())
        qCDebug(lcLinkFrames, "send %s", rt::HexBytes(frame.data(), frame.size()).c_str());
}
