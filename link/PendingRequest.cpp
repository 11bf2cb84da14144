#include "link/PendingRequest.h"

#include <QObject>
#include <algorithm>
#include <charconv>
#include <map>

#include "link/LinkLog.h"
#include "link/RegisterMap.h"
#include "platform/EventWait.h"
#include "platform/WinsockControl.h"
#include "platform/diag.h"
#include "platform/ticks.h"

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

uint64_t SendKeyedRequest(rt::WinsockControl& ws, const std::string& key,
                          const ModbusFrame& frame) {
    return SendModbusRequest(ws, frame, key);
}

ReplyOutcome SendRequestAndWait(rt::WinsockControl& ws, const std::string& key,
                                const ModbusFrame& frame, uint32_t timeoutMs, uint32_t giveUpMs) {
    // Without a give-up time of its own the request is given up when the
    // wait ends: a reply that the wait's last round of events takes is its
    // own, however late this thread got to run.
    const bool untilTheWaitEnds = giveUpMs == 0;
    const uint64_t id = SendModbusRequest(ws, frame, key, untilTheWaitEnds ? timeoutMs : giveUpMs,
                                          untilTheWaitEnds);
    const ReplyOutcome outcome = WaitForReply(ws, timeoutMs);
    if (untilTheWaitEnds) nxlink::GateOf(ws).EndWait(id, rt::GetTickCount());
    return outcome;
}

uint64_t SendModbusRequest(rt::WinsockControl& ws, const ModbusFrame& frame, const std::string& key,
                           uint32_t giveUpMs, bool senderWaits) {
    nxlink::WaitForGate(ws);
    if (!key.empty()) ws.SetTag(key);
    nxlink::RequestGate& gate = nxlink::GateOf(ws);
    ws.SendData(frame);
    const uint64_t id = gate.Note(frame, key, giveUpMs, rt::GetTickCount(), senderWaits);
    LogSentFrame(frame, id);
    return id;
}

void LogSentFrame(const ModbusFrame& frame, uint64_t id) {
    if (lcLinkFrames().isDebugEnabled())
        qCDebug(lcLinkFrames, "send #%llu %s", static_cast<unsigned long long>(id),
                rt::HexBytes(frame.data(), frame.size()).c_str());
}

namespace nxlink {

namespace {

uint16_t Word(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

// Data bytes of the full answer to a read.
size_t FullReadData(const SentRequest& r) {
    const bool bits = r.Function == FcReadCoils || r.Function == FcReadDiscreteInputs;
    return bits ? (r.Quantity + 7u) / 8u : 2u * r.Quantity;
}

bool IsRead(uint8_t function) {
    return function == FcReadCoils || function == FcReadDiscreteInputs ||
           function == FcReadHoldingRegisters || function == FcReadInputRegisters;
}

// The gates of the Modbus connections, each dropped with its control.
std::map<const QObject*, RequestGate>& Gates() {
    static std::map<const QObject*, RequestGate> gates;
    return gates;
}

}  // namespace

bool ReplyFits(std::span<const uint8_t> reply, const SentRequest& request) {
    const std::optional<MbapHeader> header = ParseMbapHeader(reply);
    if (!header || reply.size() < 8) return false;
    const uint8_t function = reply[7];
    if (function == (request.Function | 0x80)) return true;
    if (function != request.Function) return false;
    if (!IsRead(function)) return reply.size() >= 10 && Word(reply, 8) == request.Start;
    if (header->Length < 3) return false;  // not even a byte count
    const size_t data = header->Length - 3u;
    const size_t full = FullReadData(request);
    if (data > full) return false;
    // Up to 255 data bytes the byte count tells the rules what came; a
    // longer answer carries its byte count modulo 256, and only the bytes
    // themselves tell one block's reply from another's.
    if (full <= 255) return true;
    const size_t needed = std::min(full + 9, static_cast<size_t>(kHartReplyMinBytes)) - 9;
    return data >= needed;
}

bool RequestGate::Expire(uint32_t now) {
    if (!outstanding_ || HoldLeft(now) > 0) return false;
    qCDebug(lcLinkState, "request #%llu given up: no reply",
            static_cast<unsigned long long>(outstanding_->Id));
    outstanding_.reset();
    return true;
}

uint32_t RequestGate::HoldLeft(uint32_t now) const {
    if (!outstanding_) return 0;
    const uint64_t hold = 2 * static_cast<uint64_t>(outstanding_->GiveUpMs);
    const uint32_t elapsed = now - outstanding_->SentAtMs;
    return elapsed >= hold ? 0 : static_cast<uint32_t>(hold - elapsed);
}

uint64_t RequestGate::Note(const ModbusFrame& frame, std::string key, uint32_t giveUpMs,
                           uint32_t now, bool senderWaits) {
    if (frame.size() < static_cast<size_t>(kReadFrameSize)) return 0;
    SentRequest r;
    r.Id = nextId_++;
    r.Function = frame[7];
    r.Start = Word(frame, 8);
    r.Quantity = Word(frame, 10);
    r.Key = std::move(key);
    r.SentAtMs = now;
    r.GiveUpMs = giveUpMs;
    r.SenderWaits = senderWaits;
    outstanding_ = std::move(r);
    return outstanding_->Id;
}

void RequestGate::EndWait(uint64_t id, uint32_t now) {
    if (!outstanding_ || outstanding_->Id != id) return;
    outstanding_->SenderWaits = false;
    outstanding_->GiveUpMs = std::min(outstanding_->GiveUpMs, now - outstanding_->SentAtMs);
}

ReplyMatch RequestGate::Take(std::span<const uint8_t> reply, const std::string& currentKey,
                             uint32_t now, SentRequest* answered) {
    Expire(now);
    if (!outstanding_ || !ReplyFits(reply, *outstanding_)) return ReplyMatch::Unexpected;
    const SentRequest r = std::move(*outstanding_);
    outstanding_.reset();
    if (answered) *answered = r;
    if (!r.SenderWaits && now - r.SentAtMs > r.GiveUpMs) return ReplyMatch::GivenUp;
    if (r.Key.empty()) return ReplyMatch::Keyless;
    return r.Key == currentKey ? ReplyMatch::Dispatch : ReplyMatch::GivenUp;
}

RequestGate& GateOf(rt::WinsockControl& ws) {
    auto [it, made] = Gates().try_emplace(&ws);
    if (made) QObject::connect(&ws, &QObject::destroyed, [key = &ws] { Gates().erase(key); });
    return it->second;
}

bool ModbusReplyOwed(rt::WinsockControl& ws) {
    RequestGate& gate = GateOf(ws);
    return gate.Waiters() > 0 || !gate.Open(rt::GetTickCount());
}

void ForgetSentRequests(rt::WinsockControl& ws) { GateOf(ws).Forget(); }

void WaitForGate(rt::WinsockControl& ws) {
    RequestGate& gate = GateOf(ws);
    gate.AddWaiter(1);
    struct Leave {
        RequestGate& g;
        ~Leave() { g.AddWaiter(-1); }
    } leave{gate};
    for (;;) {
        if (ws.State() != rt::sckConnected) return;
        if (gate.Expire(rt::GetTickCount())) ws.DiscardData();
        if (gate.Open(rt::GetTickCount())) return;
        // The reply's arrival opens the gate; the hold's end is a deadline.
        rt::WaitUntil(
            [&] {
                return ws.State() != rt::sckConnected || gate.HoldLeft(rt::GetTickCount()) == 0;
            },
            std::max<uint32_t>(1, gate.HoldLeft(rt::GetTickCount())));
    }
}

}  // namespace nxlink
