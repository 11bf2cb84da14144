#include "link/RequestGate.h"

#include <algorithm>

#include "link/LinkLog.h"
#include "link/RegisterMap.h"

namespace nxlink {

namespace {

uint16_t Word(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

bool IsRead(uint8_t function) {
    return function == FcReadCoils || function == FcReadDiscreteInputs ||
           function == FcReadHoldingRegisters || function == FcReadInputRegisters;
}

// Data bytes of the full answer to a read.
size_t FullReadData(const SentRequest& r) {
    const bool bits = r.Function == FcReadCoils || r.Function == FcReadDiscreteInputs;
    return bits ? (r.Quantity + 7u) / 8u : 2u * r.Quantity;
}

// A read of a channel list, whose reply may carry any byte count up to 32.
bool IsChannelListRead(const SentRequest& r) {
    // Configuration blocks lie in 0x8000..0x8FFF: other reads need no look-up.
    if (r.Function != FcReadInputRegisters || r.Start < 0x8000 || r.Start > 0x8FFF) return false;
    int slot = 0;
    const RegisterBlock* block = FindConfigBlock(r.Start, &slot);
    return block != nullptr && block->ByteCount == kByteCountUpTo32;
}

// The data bytes a read's reply may carry: any count up to 32 for a channel
// list; the full answer up to 255 bytes, where the byte count tells what
// came; for a longer answer, which carries its byte count modulo 256, at
// least what the reply rules need (the HART reply area may be shorter than
// the whole block) and at most the full answer.
void SetReplyDataRange(SentRequest& r) {
    if (!IsRead(r.Function)) return;
    if (IsChannelListRead(r)) {
        r.MaxData = static_cast<uint16_t>(kMaxChannelListBytes);
        return;
    }
    const size_t full = FullReadData(r);
    r.MaxData = static_cast<uint16_t>(full);
    r.MinData =
        full <= 255
            ? r.MaxData
            : static_cast<uint16_t>(std::min(full, static_cast<size_t>(kHartReplyMinBytes) - 9));
}

// The order marks, in the order they are chosen: small reads the station
// always answers, each of its own function. The first is the keep-alive.
struct MarkRead {
    uint8_t Function;
    uint16_t Start;
    uint16_t Quantity;
};
constexpr std::array<MarkRead, 4> kMarks{{{FcReadInputRegisters, RegKeepAlive.Start, 9},
                                          {FcReadHoldingRegisters, 0x0000, 1},
                                          {FcReadDiscreteInputs, 0x0000, 1},
                                          {FcReadCoils, 0x0000, 1}}};

}  // namespace

bool ReplyFits(std::span<const uint8_t> reply, const SentRequest& request) {
    const std::optional<MbapHeader> header = ParseMbapHeader(reply);
    if (!header || reply.size() < 9 || reply.size() != 6u + header->Length) return false;
    const uint8_t function = reply[7];
    if (function == (request.Function | 0x80)) return header->Length == 3;
    if (function != request.Function) return false;
    if (!IsRead(function)) return header->Length == 6 && Word(reply, 8) == request.Start;
    if (header->Length < 3) return false;
    const size_t data = header->Length - 3u;
    return data >= request.MinData && data <= request.MaxData;
}

std::optional<uint64_t> RequestGate::Settle(uint32_t now) {
    for (SentRequest& r : wire_) {
        if (r.GivenUp || r.Role == RequestRole::Stray || r.Role == RequestRole::Judged) continue;
        if (now - r.SentAtMs < r.GiveUpMs) continue;
        r.GivenUp = true;
        qCDebug(lcLinkState, "request #%llu given up: no reply",
                static_cast<unsigned long long>(r.Id));
        return r.Id;
    }
    return std::nullopt;
}

const SentRequest* RequestGate::Live() const {
    for (const SentRequest& r : wire_)
        if (!r.GivenUp && r.Role != RequestRole::Stray) return &r;
    return nullptr;
}

std::optional<uint32_t> RequestGate::LiveDeadline() const {
    const SentRequest* live = Live();
    if (!live) return std::nullopt;
    return live->SentAtMs + live->GiveUpMs;
}

Clearance RequestGate::Clear(uint8_t function, uint8_t unitId, uint32_t now) {
    if (wire_.empty()) return {Clearance::Go, {}};
    Settle(now);
    if (Live()) return {Clearance::Wait, {}};
    const auto held = [this](uint8_t f, bool marksToo) {
        return std::any_of(wire_.begin(), wire_.end(), [&](const SentRequest& r) {
            return r.Function == f && (marksToo || r.Role != RequestRole::Mark);
        });
    };
    const bool readHeld = std::any_of(wire_.begin(), wire_.end(), [](const SentRequest& r) {
        return r.Role != RequestRole::Mark && IsRead(r.Function);
    });
    if (!held(function, true) && !(IsRead(function) && readHeld)) return {Clearance::Go, {}};
    // A mark of the request's own function would hold it back again if the
    // mark got no reply; it is taken only when no other is free.
    for (const bool ownFunction : {false, true})
        for (const MarkRead& m : kMarks)
            if ((m.Function == function) == ownFunction && !held(m.Function, false))
                return {Clearance::SendMark,
                        BuildReadRequest(unitId, m.Function, m.Start, m.Quantity)};
    // Every mark's function is held by an unresolved request or a stray: the
    // oldest stray is forgotten (a stray is only a guess), else the oldest
    // request.
    auto oldest = std::find_if(wire_.begin(), wire_.end(),
                               [](const SentRequest& r) { return r.Role == RequestRole::Stray; });
    if (oldest == wire_.end()) oldest = wire_.begin();
    qCDebug(lcLinkState, "request #%llu forgotten: no order mark is free",
            static_cast<unsigned long long>(oldest->Id));
    wire_.erase(oldest);
    return Clear(function, unitId, now);
}

uint64_t RequestGate::Note(const ModbusFrame& frame, RequestRole role, std::string key,
                           uint32_t waitMs, uint32_t now, uint64_t ticket) {
    SentRequest r;
    r.Id = nextId_++;
    r.Role = role;
    if (frame.size() >= static_cast<size_t>(kReadFrameSize)) {
        r.Function = frame[7];
        r.Start = Word(frame, 8);
        r.Quantity = Word(frame, 10);
    }
    r.Key = std::move(key);
    r.SentAtMs = now;
    r.GiveUpMs = role == RequestRole::Judged ? waitMs
                 : role == RequestRole::Mark ? MarkGiveUpMs()
                                             : GiveUpMs();
    r.Ticket = ticket;
    SetReplyDataRange(r);
    wire_.push_back(std::move(r));
    return wire_.back().Id;
}

void RequestGate::EndWait(uint64_t id) {
    for (SentRequest& r : wire_)
        if (r.Id == id && !r.GivenUp) {
            r.GivenUp = true;
            qCDebug(lcLinkState, "request #%llu given up: no reply",
                    static_cast<unsigned long long>(id));
        }
}

TakenReply RequestGate::Take(std::span<const uint8_t> reply, uint32_t now) {
    TakenReply taken;
    const auto answered = std::find_if(wire_.begin(), wire_.end(), [&](const SentRequest& r) {
        return r.Role != RequestRole::Stray && ReplyFits(reply, r);
    });
    if (answered == wire_.end()) {
        // Replies of this function may still come from before this point:
        // the newest stray of a function stands for it.
        SentRequest stray;
        stray.Role = RequestRole::Stray;
        stray.Function = reply.size() > 7 ? static_cast<uint8_t>(reply[7] & 0x7F) : 0;
        std::erase_if(wire_, [&](const SentRequest& r) {
            return r.Role == RequestRole::Stray && r.Function == stray.Function;
        });
        wire_.push_back(stray);
        return taken;
    }
    for (auto it = wire_.begin(); it != answered; ++it)
        if (it->Role != RequestRole::Stray) taken.NeverAnswered.push_back(it->Id);
    taken.Request = std::move(*answered);
    wire_.erase(wire_.begin(), answered + 1);
    NoteRoundTrip(now - taken.Request.SentAtMs);
    switch (taken.Request.Role) {
        case RequestRole::Mark:
            taken.Match = ReplyMatch::Mark;
            break;
        case RequestRole::Write:
            taken.Match = ReplyMatch::Write;
            break;
        case RequestRole::Judged:
            taken.Match = taken.Request.GivenUp ? ReplyMatch::GivenUp : ReplyMatch::Dispatch;
            break;
        case RequestRole::Polled:
        case RequestRole::Stray:
            taken.Match = taken.Request.GivenUp ? ReplyMatch::Late : ReplyMatch::Dispatch;
            break;
    }
    return taken;
}

void RequestGate::Forget() {
    // A new connection may lead to another station: its pace is learnt anew.
    wire_.clear();
    roundTripCount_ = 0;
}

uint32_t RequestGate::GiveUpMs() const {
    if (roundTripCount_ == 0) return kMinGiveUpMs;
    const size_t n = std::min(roundTripCount_, roundTrips_.size());
    const uint64_t slowest = *std::max_element(roundTrips_.begin(), roundTrips_.begin() + n);
    return static_cast<uint32_t>(std::clamp<uint64_t>(3 * slowest, kMinGiveUpMs, kMaxGiveUpMs));
}

uint32_t RequestGate::MarkGiveUpMs() const {
    // Each mark that is still unresolved doubles the next one's time, so that
    // a station slower than the give-up time is not sent a mark per period.
    uint64_t ms = GiveUpMs();
    for (const SentRequest& r : wire_)
        if (r.Role == RequestRole::Mark) ms = std::min<uint64_t>(2 * ms, kMaxGiveUpMs);
    return static_cast<uint32_t>(ms);
}

void RequestGate::NoteRoundTrip(uint32_t ms) {
    roundTrips_[roundTripCount_ % roundTrips_.size()] = ms;
    ++roundTripCount_;
}

}  // namespace nxlink
