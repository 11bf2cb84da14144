#include "link/PendingRequest.h"

#include <algorithm>
#include <charconv>
#include <deque>

#include "link/LinkLog.h"
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
    ws.SetTag(key);
    return SendModbusRequest(ws, frame, key);
}

ReplyOutcome SendRequestAndWait(rt::WinsockControl& ws, const std::string& key,
                                const ModbusFrame& frame, uint32_t timeoutMs) {
    ws.SetTag(key);
    // Its reply stays owed past a short wait, so that no timer's request
    // meets it on the wire.
    SendModbusRequest(ws, frame, key, std::max(timeoutMs, nxlink::kNoWaitReplyOwedMs));
    return WaitForReply(ws, timeoutMs);
}

void LogSentFrame(const ModbusFrame& frame) {
    if (lcLinkFrames().isDebugEnabled())
        qCDebug(lcLinkFrames, "send %s", rt::HexBytes(frame.data(), frame.size()).c_str());
}

namespace nxlink {

namespace {

// A station that stops answering must not make the list grow without end.
constexpr size_t kMaxRemembered = 32;

struct InFlight {
    std::deque<SentRequest> requests;  // oldest first
    uint64_t nextId = 1;
};

InFlight& Flight() {
    static InFlight f;
    return f;
}

uint16_t Word(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

// The MBAP length of the normal reply to a request: unit id, function and
// what follows (the byte count and the data of a read, the echo of a write).
int ReplyLength(const SentRequest& r) {
    switch (r.Function) {
        case FcReadCoils:
        case FcReadDiscreteInputs:
            return 3 + (r.Quantity + 7) / 8;
        case FcReadHoldingRegisters:
        case FcReadInputRegisters:
            return 3 + 2 * r.Quantity;
        default:
            return 6;
    }
}

bool Owed(const SentRequest& r, uint32_t now) { return now - r.SentAtMs < r.OwedMs; }

}  // namespace

uint64_t NoteSentRequest(const ModbusFrame& frame, std::string key, uint32_t owedMs) {
    if (frame.size() < kReadFrameSize) return 0;
    InFlight& f = Flight();
    SentRequest r;
    r.Function = frame[7];
    r.Start = Word(frame, 8);
    r.Quantity = Word(frame, 10);
    r.Key = std::move(key);
    r.SentAtMs = rt::GetTickCount();
    r.OwedMs = owedMs;
    r.Id = f.nextId++;
    f.requests.push_back(std::move(r));
    if (f.requests.size() > kMaxRemembered) f.requests.pop_front();
    return f.requests.back().Id;
}

bool ReplyFits(std::span<const uint8_t> reply, const SentRequest& request) {
    if (reply.size() < 8) return false;
    const int length = Word(reply, 4);
    if (reply.size() != 6 + static_cast<size_t>(length)) return false;
    const uint8_t function = reply[7];
    if (function == (request.Function | 0x80)) return length == 3;
    if (function != request.Function || length != ReplyLength(request)) return false;
    const bool write = function == FcWriteSingleCoil || function == FcWriteSingleRegister ||
                       function == FcWriteMultipleRegisters;
    // A write's echo repeats its address and its quantity (function 16) or
    // value (functions 5 and 6).
    return !write || (Word(reply, 8) == request.Start && Word(reply, 10) == request.Quantity);
}

ReplyMatch TakeSentRequestFor(std::span<const uint8_t> reply, const std::string& currentKey) {
    InFlight& f = Flight();
    // Nothing was sent (or everything was forgotten): the key alone decides.
    if (f.requests.empty()) return ReplyMatch::Dispatch;
    auto it = std::find_if(f.requests.begin(), f.requests.end(),
                           [&](const SentRequest& r) { return ReplyFits(reply, r); });
    if (it == f.requests.end()) return ReplyMatch::Unexpected;
    // Requests of the same function, start and quantity cannot be told apart
    // by their replies: one that got none (the station dropped it) must not
    // take the next one's reply, so the newest of them takes it.
    const auto same = [&first = *it](const SentRequest& r) {
        return r.Function == first.Function && r.Start == first.Start &&
               r.Quantity == first.Quantity;
    };
    for (auto later = std::next(it); later != f.requests.end(); ++later)
        if (same(*later)) it = later;
    const SentRequest answered = *it;
    const bool newestKeyed = std::none_of(std::next(it), f.requests.end(),
                                          [](const SentRequest& r) { return !r.Key.empty(); });
    f.requests.erase(f.requests.begin(), std::next(it));
    if (answered.Key.empty()) return ReplyMatch::Keyless;
    if (!newestKeyed || answered.Key != currentKey) return ReplyMatch::Stale;
    return ReplyMatch::Dispatch;
}

bool ReplyOwed(uint64_t id) {
    const uint32_t now = rt::GetTickCount();
    return std::any_of(Flight().requests.begin(), Flight().requests.end(),
                       [&](const SentRequest& r) { return r.Id == id && Owed(r, now); });
}

bool ModbusReplyOwed() {
    const uint32_t now = rt::GetTickCount();
    return std::any_of(Flight().requests.begin(), Flight().requests.end(),
                       [&](const SentRequest& r) { return Owed(r, now); });
}

void ForgetSentRequests() { Flight().requests.clear(); }

}  // namespace nxlink
