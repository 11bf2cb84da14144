#include "link/RequestGate.h"

#include <gtest/gtest.h>

#include "link/RegisterMap.h"
#include "loopback_support.h"

namespace {

using nxlink::Clearance;
using nxlink::ReplyMatch;
using nxlink::RequestRole;

Bytes Regs(uint8_t fc, size_t n, uint8_t byteCount) {
    return RegistersReply(1, fc, byteCount, std::vector<uint16_t>(n, 1));
}

// Requests and replies on one connection at given times (ms): what each
// reply answers, which requests it shows were never answered, and what the
// next request may do.
TEST(RequestGate, RepliesAreTakenInOrderAndMarksResolveWhatWasGivenUp) {
    const auto read = [](uint8_t fc, uint16_t start, uint16_t q) {
        return BuildReadRequest(1, fc, start, q);
    };
    const uint16_t command[] = {0x21, 2, 0};
    const ModbusFrame iomCommand = BuildWriteMultipleRegisters(1, 0x8000, command);
    const ModbusFrame ai = read(FcReadInputRegisters, 0, 128);
    const ModbusFrame ao = read(FcReadHoldingRegisters, 0, 128);
    const ModbusFrame list2 = read(FcReadInputRegisters, 0x8402, 8);
    const ModbusFrame list3 = read(FcReadInputRegisters, 0x8403, 8);
    const ModbusFrame ids = read(FcReadInputRegisters, 0x8100, 8);
    const ModbusFrame hart = read(FcReadInputRegisters, 0x1400, 256);
    const ModbusFrame coil = BuildWriteSingleCoil(1, 0x20, 0xFF);
    const Bytes aiReply = Regs(FcReadInputRegisters, 128, 0);
    const Bytes listReply = Regs(FcReadInputRegisters, 8, 16);
    const Bytes idsReply = Regs(FcReadInputRegisters, 8, 16);
    const Bytes hart501 = Regs(FcReadInputRegisters, 246, 0);  // 9 + 492 bytes
    Bytes hart500 = hart501;
    hart500.pop_back();
    hart500[5] -= 1;
    const Bytes markReply = Regs(FcReadHoldingRegisters, 1, 2);
    const Bytes coilEcho = MakeReply(1, FcWriteSingleCoil, {0, 0x20, 0xFF, 0});
    enum Kind { Send, EndWait, Reply, Clear };
    struct Step {
        Kind kind;
        uint32_t at;
        Bytes bytes;  // Send: the request (empty: the mark Clear asked for); Reply: the reply
        RequestRole role = RequestRole::Polled;   // Send
        uint32_t waitMs = 500;                    // Send of a judged request
        ReplyMatch match = ReplyMatch::Dispatch;  // Reply
        uint64_t answers = 0;                     // Reply: the request's id
        size_t neverAnswered = 0;                 // Reply
        Clearance::Kind clear = Clearance::Go;    // Clear: for the function of `bytes`
        uint8_t markFunction = 0;                 // Clear: SendMark
    };
    const auto send = [](Bytes b, uint32_t at, RequestRole role = RequestRole::Polled) {
        return Step{Send, at, std::move(b), role};
    };
    const auto judged = [](Bytes b, uint32_t at) {
        return Step{Send, at, std::move(b), RequestRole::Judged, 500};
    };
    const auto reply = [](Bytes b, uint32_t at, ReplyMatch m, uint64_t id, size_t never = 0) {
        return Step{Reply, at, std::move(b), {}, 0, m, id, never};
    };
    const auto clear = [](Bytes forRequest, uint32_t at, Clearance::Kind k, uint8_t mark = 0) {
        return Step{Clear, at, std::move(forRequest), {}, 0, {}, 0, 0, k, mark};
    };
    const Step endWait{EndWait, 0, {}};
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases{
        {"nothing sent: a reply answers nothing", {reply(aiReply, 5, ReplyMatch::Unexpected, 0)}},
        {"one request outstanding: the next waits until it is answered",
         {send(ai, 0), clear(list2, 400, Clearance::Wait),
          reply(aiReply, 450, ReplyMatch::Dispatch, 1), clear(list2, 450, Clearance::Go)}},
        {"a polled read given up by the clock: a mark before the next read; its late reply "
         "is stored in its own place",
         {send(ai, 0), clear(list2, 500, Clearance::SendMark, FcReadHoldingRegisters),
          send({}, 500, RequestRole::Mark), reply(aiReply, 900, ReplyMatch::Late, 1),
          reply(markReply, 901, ReplyMatch::Mark, 2), clear(list2, 901, Clearance::Go)}},
        {"a judged read stays live while its sender waits, however late",
         {judged(list2, 0), clear(ids, 5000, Clearance::Wait),
          reply(listReply, 5000, ReplyMatch::Dispatch, 1)}},
        {"a judged read given up: its reply at any delay is dropped, never taken by the next "
         "read of its shape",
         {judged(list2, 0), endWait, clear(list3, 500, Clearance::SendMark, FcReadHoldingRegisters),
          send({}, 500, RequestRole::Mark), reply(listReply, 3000, ReplyMatch::GivenUp, 1),
          reply(markReply, 3001, ReplyMatch::Mark, 2), judged(list3, 3001),
          reply(listReply, 3002, ReplyMatch::Dispatch, 3)}},
        {"a mark's reply shows an unanswered read will never be answered",
         {judged(ids, 0), endWait, clear(ids, 500, Clearance::SendMark, FcReadHoldingRegisters),
          send({}, 500, RequestRole::Mark), reply(markReply, 501, ReplyMatch::Mark, 2, 1),
          clear(ids, 501, Clearance::Go)}},
        {"a write goes past an unanswered read; the next read waits for a mark",
         {judged(ids, 0), endWait, clear(coil, 500, Clearance::Go),
          send(coil, 500, RequestRole::Write), reply(coilEcho, 501, ReplyMatch::Write, 2, 1),
          clear(ids, 501, Clearance::Go)}},
        {"the same output again after its write got no echo: a mark of another function",
         {send(coil, 0, RequestRole::Write),
          clear(coil, 600, Clearance::SendMark, FcReadInputRegisters)}},
        {"two given up may still be in the station: the next send waits for a probe 2 s "
         "after the last; a mark's own reply, of its own quantity, resolves what is before it",
         {judged(ids, 0), endWait, clear(ids, 500, Clearance::SendMark, FcReadHoldingRegisters),
          send({}, 500, RequestRole::Mark), clear(ids, 1000, Clearance::Wait),
          clear(ids, 2500, Clearance::SendMark, FcReadHoldingRegisters),
          send({}, 2500, RequestRole::Mark),
          reply(Regs(FcReadHoldingRegisters, 2, 4), 2600, ReplyMatch::Mark, 3, 2),
          clear(ids, 2600, Clearance::Go)}},
        {"a read held only by a mark waits for the mark's reply, not for a second mark, until "
         "the link was quiet for the give-up time (3 x 700 ms): then a mark of another function "
         "probes",
         {send(ai, 0), clear(list2, 500, Clearance::SendMark, FcReadHoldingRegisters),
          send({}, 500, RequestRole::Mark), reply(aiReply, 700, ReplyMatch::Late, 1),
          clear(ao, 1001, Clearance::Wait), clear(ao, 2799, Clearance::Wait),
          clear(ao, 2800, Clearance::SendMark, FcReadInputRegisters)}},
        {"a copy that answers nothing: a mark before the next request of its function",
         {judged(ids, 0), reply(idsReply, 1, ReplyMatch::Dispatch, 1),
          reply(idsReply, 2, ReplyMatch::Unexpected, 0),
          clear(list2, 2, Clearance::SendMark, FcReadHoldingRegisters),
          send({}, 2, RequestRole::Mark), reply(markReply, 3, ReplyMatch::Mark, 2),
          clear(list2, 3, Clearance::Go)}},
        {"a channel list of any count up to 32 bytes answers an x8 read; 34 bytes do not",
         {judged(list2, 0), reply(Regs(FcReadInputRegisters, 17, 34), 1, ReplyMatch::Unexpected, 0),
          reply(Regs(FcReadInputRegisters, 16, 32), 2, ReplyMatch::Dispatch, 1)}},
        {"a fixed block's reply must be whole",
         {judged(ids, 0), reply(Regs(FcReadInputRegisters, 7, 14), 1, ReplyMatch::Unexpected, 0),
          reply(idsReply, 2, ReplyMatch::Dispatch, 1)}},
        {"a HART reply area of 501 bytes is an answer; of 500 not",
         {judged(hart, 0), reply(hart500, 1, ReplyMatch::Unexpected, 0),
          reply(hart501, 2, ReplyMatch::Dispatch, 1)}},
        {"an exception needs its code: length 2 answers nothing, length 3 does",
         {judged(ai, 0), reply(MakeReply(1, 0x84, {}), 1, ReplyMatch::Unexpected, 0),
          reply(MakeReply(1, 0x84, {2}), 2, ReplyMatch::Dispatch, 1)}},
        {"a command's echo must name its register",
         {judged(iomCommand, 0),
          reply(MakeReply(1, FcWriteMultipleRegisters, {0x90, 0, 0, 3}), 1, ReplyMatch::Unexpected,
                0),
          reply(MakeReply(1, FcWriteMultipleRegisters, {0x80, 0, 0, 3}), 2, ReplyMatch::Dispatch,
                1)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nxlink::RequestGate gate;
        ModbusFrame lastMark;
        uint64_t lastId = 0;
        for (const Step& s : c.steps) {
            switch (s.kind) {
                case Send: {
                    const ModbusFrame& frame = s.bytes.empty() ? lastMark : s.bytes;
                    ASSERT_FALSE(frame.empty());
                    gate.Settle(s.at);
                    lastId = gate.Note(frame, s.role, "1", s.waitMs, s.at);
                    break;
                }
                case EndWait:
                    gate.EndWait(lastId);
                    break;
                case Reply: {
                    const nxlink::TakenReply t = gate.Take(s.bytes, s.at);
                    EXPECT_EQ(t.Match, s.match) << "reply at " << s.at;
                    EXPECT_EQ(t.Request.Id, s.answers) << "reply at " << s.at;
                    EXPECT_EQ(t.NeverAnswered.size(), s.neverAnswered) << "reply at " << s.at;
                    break;
                }
                case Clear: {
                    const Clearance k = gate.Clear(s.bytes[7], 1, s.at);
                    EXPECT_EQ(k.What, s.clear) << "at " << s.at;
                    if (k.What == Clearance::SendMark) {
                        lastMark = k.Mark;
                        EXPECT_EQ(k.Mark[7], s.markFunction) << "at " << s.at;
                    }
                    break;
                }
            }
        }
    }
}

// The give-up time follows the replies: three times the slowest recent round
// trip, within 500 ms and 10 s.
TEST(RequestGate, GiveUpTimeFollowsTheSlowestRecentRoundTrip) {
    const ModbusFrame ai = BuildReadRequest(1, FcReadInputRegisters, 0, 128);
    const Bytes aiReply = Regs(FcReadInputRegisters, 128, 0);
    struct Case {
        std::vector<uint32_t> roundTrips;
        uint32_t giveUpMs;
    };
    const Case cases[] = {{{}, 500},
                          {{1, 2, 1}, 500},
                          {{700, 5, 5}, 2100},
                          {{5500}, 10000},
                          {{700, 1, 1, 1, 1, 1, 1, 1, 1}, 500}};
    for (const Case& c : cases) {
        nxlink::RequestGate gate;
        uint32_t t = 0;
        for (const uint32_t rtt : c.roundTrips) {
            gate.Note(ai, RequestRole::Polled, "1", 0, t);
            t += rtt;
            EXPECT_EQ(gate.Take(aiReply, t).Match, ReplyMatch::Dispatch);
        }
        EXPECT_EQ(gate.GiveUpMs(), c.giveUpMs) << c.roundTrips.size() << " round trips";
    }
}

}  // namespace
