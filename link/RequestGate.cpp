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
    // Configuration blocks lie in 0x8000..0x8FFF; which of those addresses
    // start a channel list is worked out once (every Upload read asks).
    constexpr uint16_t kFirst = 0x8000;
    static const std::array<bool, 0x1000> kListStarts = [] {
        std::array<bool, 0x1000> starts{};
        for (size_t a = 0; a < starts.size(); ++a) {
            int slot = 0;
            const RegisterBlock* block = FindConfigBlock(static_cast<long>(kFirst + a), &slot);
            starts[a] = block != nullptr && block->ByteCount == kByteCountUpTo32;
        }
        return starts;
    }();
    return r.Function == FcReadInputRegisters && r.Start >= kFirst &&
           r.Start < kFirst + kListStarts.size() && kListStarts[r.Start - kFirst];
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

// The order marks, in the order their function is chosen: small reads the
// station always answers, each function its own. Marks of one function
// differ in their quantity, so that the reply of each tells which mark it
// answers (eight of each; one more takes the oldest one's quantity).
struct MarkRead {
    uint8_t Function;
    uint16_t Start;
    uint16_t FirstQuantity;  // the k-th quantity is FirstQuantity + k * Step
    uint16_t Step;
};
constexpr std::array<MarkRead, 4> kMarks{{{FcReadInputRegisters, RegKeepAlive.Start, 9, 1},
                                          {FcReadHoldingRegisters, 0x0000, 1, 1},
                                          {FcReadDiscreteInputs, 0x0000, 8, 8},
                                          {FcReadCoils, 0x0000, 8, 8}}};
constexpr uint16_t kMarkQuantities = 8;

// The mark of `m`'s function to send next: the first quantity that no
// unresolved mark of that function has; with all taken, the one of the
// oldest such mark.
ModbusFrame MarkFrame(const std::deque<SentRequest>& wire, const MarkRead& m, uint8_t unitId) {
    uint16_t quantity = 0;
    for (uint16_t k = 0; k < kMarkQuantities && quantity == 0; ++k) {
        const auto q = static_cast<uint16_t>(m.FirstQuantity + k * m.Step);
        const bool taken = std::any_of(wire.begin(), wire.end(), [&](const SentRequest& r) {
            return r.Role == RequestRole::Mark && r.Function == m.Function && r.Quantity == q;
        });
        if (!taken) quantity = q;
    }
    if (quantity == 0)
        for (const SentRequest& r : wire)
            if (r.Role == RequestRole::Mark && r.Function == m.Function) {
                quantity = r.Quantity;
                break;
            }
    return BuildReadRequest(unitId, m.Function, m.Start, quantity);
}

void GiveUp(SentRequest& r) {
    r.GivenUp = true;
    qCDebug(lcLinkState, "request #%llu given up: no reply", static_cast<unsigned long long>(r.Id));
}

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
        GiveUp(r);
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
    if (wire_.empty()) return {Clearance::Go, {}, std::nullopt};
    Settle(now);
    if (Live()) return {Clearance::Wait, {}, std::nullopt};
    // Held by a request (or a stray) that may still be answered: a reply of
    // this function could be its, so a mark must go first. Held by a mark
    // only: the mark's own reply will come first, another mark would not
    // come sooner.
    const auto heldByRequest = [this](uint8_t f) {
        return std::any_of(wire_.begin(), wire_.end(), [&](const SentRequest& r) {
            return r.Function == f && r.Role != RequestRole::Mark;
        });
    };
    const bool heldByMark = std::any_of(wire_.begin(), wire_.end(), [&](const SentRequest& r) {
        return r.Function == function && r.Role == RequestRole::Mark;
    });
    const bool readHeld = std::any_of(wire_.begin(), wire_.end(), [](const SentRequest& r) {
        return r.Role != RequestRole::Mark && IsRead(r.Function);
    });
    const bool needsMark = heldByRequest(function) || (IsRead(function) && readHeld);
    // What was given up may still be in the station, which works one request
    // after the other: beyond kMaxInStation, or while only a mark's reply is
    // awaited, nothing more goes until the station has been quiet for a while.
    const bool quietFirst = InStation() >= kMaxInStation || (!needsMark && heldByMark);
    if (!quietFirst) {
        if (!needsMark) return {Clearance::Go, {}, std::nullopt};
    } else {
        const uint32_t probeAt = lastActivityMs_ + ProbeIntervalMs();
        if (static_cast<int32_t>(now - probeAt) < 0) return {Clearance::Wait, {}, probeAt};
        // A probe: the request itself when nothing holds it back, else a mark.
        probing_ = true;
        if (!needsMark && !heldByMark) return {Clearance::Go, {}, std::nullopt};
    }
    // A mark of the request's own function would hold it back again; it is
    // taken only when no other is free.
    for (const bool ownFunction : {false, true})
        for (const MarkRead& m : kMarks)
            if ((m.Function == function) == ownFunction && !heldByRequest(m.Function))
                return {Clearance::SendMark, MarkFrame(wire_, m, unitId), std::nullopt};
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
    r.GiveUpMs = role == RequestRole::Judged ? waitMs : GiveUpMs();
    r.Ticket = ticket;
    SetReplyDataRange(r);
    if (probing_) ++probes_;
    probing_ = false;
    lastActivityMs_ = now;
    wire_.push_back(std::move(r));
    return wire_.back().Id;
}

void RequestGate::EndWait(uint64_t id) {
    for (SentRequest& r : wire_)
        if (r.Id == id && !r.GivenUp) GiveUp(r);
}

TakenReply RequestGate::Take(std::span<const uint8_t> reply, uint32_t now) {
    TakenReply taken;
    const auto answered = std::find_if(wire_.begin(), wire_.end(), [&](const SentRequest& r) {
        return r.Role != RequestRole::Stray && ReplyFits(reply, r);
    });
    lastActivityMs_ = now;
    if (answered == wire_.end()) {
        HoldStray(reply.size() > 7 ? static_cast<uint8_t>(reply[7] & 0x7F) : 0);
        return taken;
    }
    for (auto it = wire_.begin(); it != answered; ++it)
        if (it->Role != RequestRole::Stray) taken.NeverAnswered.push_back(it->Id);
    taken.Request = std::move(*answered);
    wire_.erase(wire_.begin(), answered + 1);
    NoteRoundTrip(now - taken.Request.SentAtMs);
    probes_ = 0;  // the station answers
    // A channel list of another length than asked is taken (a station may
    // report fewer or more channels), but it may as well be another read's
    // reply, which would shift every later reply by one: the point is marked
    // before the next request of its function.
    const SentRequest& r = taken.Request;
    if (IsChannelListRead(r) && reply[7] == r.Function && reply.size() != 9u + 2u * r.Quantity)
        HoldStray(r.Function);
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
    probes_ = 0;
}

uint32_t RequestGate::GiveUpMs() const {
    if (roundTripCount_ == 0) return kMinGiveUpMs;
    const size_t n = std::min(roundTripCount_, roundTrips_.size());
    const uint64_t slowest = *std::max_element(roundTrips_.begin(), roundTrips_.begin() + n);
    return static_cast<uint32_t>(std::clamp<uint64_t>(3 * slowest, kMinGiveUpMs, kMaxGiveUpMs));
}

void RequestGate::HoldStray(uint8_t function) {
    // Replies of this function may still come from before this point: the
    // newest stray of a function stands for it.
    std::erase_if(wire_, [function](const SentRequest& r) {
        return r.Role == RequestRole::Stray && r.Function == function;
    });
    SentRequest stray;
    stray.Role = RequestRole::Stray;
    stray.Function = function;
    wire_.push_back(stray);
}

size_t RequestGate::InStation() const {
    return static_cast<size_t>(std::count_if(wire_.begin(), wire_.end(), [](const SentRequest& r) {
        return r.Role != RequestRole::Stray;
    }));
}

uint32_t RequestGate::ProbeIntervalMs() const {
    // 2 s, then 4 s while the station stays quiet; never sooner than the
    // give-up time, so that a slow station that still answers is left alone.
    const uint32_t quiet = probes_ == 0 ? kFirstProbeMs : 2 * kFirstProbeMs;
    return std::max(quiet, GiveUpMs());
}

void RequestGate::NoteRoundTrip(uint32_t ms) {
    roundTrips_[roundTripCount_ % roundTrips_.size()] = ms;
    ++roundTripCount_;
}

}  // namespace nxlink
