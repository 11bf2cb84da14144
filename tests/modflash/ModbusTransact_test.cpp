#include "modflash/ModbusTransact.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "FakeResponder_support.h"
#include "platform/EventWait.h"
#include "platform/ticks.h"

using namespace modflash;
using namespace modflash::test;

namespace {

std::vector<uint8_t> OneRegister(uint16_t v) {
    return {2, static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF)};
}

struct Connected {
    explicit Connected(FakeResponder::Handler h) : responder(std::move(h)) {
        EXPECT_TRUE(socket.Create());
        EXPECT_TRUE(socket.Connect("127.0.0.1", responder.Port(), 1000));
    }
    FakeResponder responder;
    FlashSocket socket;
};

}  // namespace

TEST(ModbusReads, TakeTheirValuesFromTheEndOfTheReply) {
    Connected c([](const Frame& rq) {
        if (rq[8] == 0x02 && rq[9] == 0x45)
            return FakeResponder::Now(FakeResponder::Reply(rq, OneRegister(0x00F1)));
        if (rq[8] == 0x02 && rq[9] == 0x55)
            return FakeResponder::Now(FakeResponder::Reply(rq, OneRegister(8)));
        return FakeResponder::Now(FakeResponder::Reply(rq, {4, 0, 2, 0x12, 0x34}));
    });
    EXPECT_EQ(ReadModuleId(c.socket, 5), 241);
    EXPECT_EQ(ReadModuleMode(c.socket, 5), 8);
    uint16_t words[2] = {0, 0};
    EXPECT_EQ(ReadUpgradeStatus(c.socket, 3, words), 1);
    EXPECT_EQ(words[0], 2);
    EXPECT_EQ(words[1], 0x1234);
    const auto rqs = c.responder.Requests();
    ASSERT_EQ(rqs.size(), 3u);
    EXPECT_EQ(rqs[0], BuildReadInputRegister(0x0245));
    EXPECT_EQ(rqs[1], BuildReadInputRegister(0x0255));
    EXPECT_EQ(rqs[2], BuildReadUpgradeStatus(3));
}

TEST(ModbusReads, ExceptionOrSilenceGivesZeroAndLeavesStatusAlone) {
    std::atomic<bool> silent{false}, otherUnit{false};
    Connected c([&](const Frame& rq) {
        if (silent) return FakeAnswer{};
        if (!otherUnit) return FakeResponder::Now(FakeResponder::ExceptionReply(rq, 2));
        // The reply's shape fits, but another unit gave it.
        Frame reply = FakeResponder::Reply(rq, OneRegister(0x0062));
        reply[6] = 2;
        return FakeResponder::Now(reply);
    });
    EXPECT_EQ(ReadModuleId(c.socket, 0), 0);
    otherUnit = true;
    EXPECT_EQ(ReadModuleId(c.socket, 0), 0);
    otherUnit = false;
    uint16_t words[2] = {7, 9};
    EXPECT_EQ(ReadUpgradeStatus(c.socket, 0, words), 0);
    EXPECT_EQ(words[0], 7);
    EXPECT_EQ(words[1], 9);
    silent = true;
    const uint32_t t0 = rt::GetTickCount();
    EXPECT_EQ(ReadModuleMode(c.socket, 0), 0);
    const uint32_t took = rt::GetTickCount() - t0;
    EXPECT_GE(took, TransactTimeoutMs - 1u);
    EXPECT_LT(took, 2000u);
}

TEST(ModbusTransact, AReplyInPiecesIsReadWhole) {
    // The header and function code first, the value 60 ms later.
    Connected c([](const Frame& rq) {
        const Frame whole = FakeResponder::Reply(rq, OneRegister(0x0021));
        FakeAnswer a;
        a.pieces.push_back({0, Frame(whole.begin(), whole.begin() + 9)});
        a.pieces.push_back({60, Frame(whole.begin() + 9, whole.end())});
        return a;
    });
    EXPECT_EQ(ReadModuleId(c.socket, 1), 0x21);
}

TEST(ModbusTransact, AReplyMustBeWholeWithinTheTimeOut) {
    // The header comes at 120 ms, the rest at 260 ms: past the 200 ms
    // time-out. Once whole it only resolves its own read.
    std::atomic<int> n{0};
    Connected c([&](const Frame& rq) {
        if (n++ > 0) return FakeResponder::Now(FakeResponder::Reply(rq, OneRegister(0x00B0)));
        const Frame whole = FakeResponder::Reply(rq, OneRegister(0x00A0));
        FakeAnswer a;
        a.pieces.push_back({120, Frame(whole.begin(), whole.begin() + 7)});
        a.pieces.push_back({140, Frame(whole.begin() + 7, whole.end())});
        return a;
    });
    EXPECT_EQ(ReadModuleId(c.socket, 5), 0);
    ASSERT_TRUE(rt::WaitUntil([&] { return c.responder.Idle(); }, 5000));
    EXPECT_EQ(ReadModuleId(c.socket, 5), 0x00B0);

    // A reply that begins and is never completed is no reply, and the wait
    // for its rest is bounded as well.
    Connected cut([](const Frame& rq) {
        const Frame whole = FakeResponder::Reply(rq, OneRegister(0x00A0));
        FakeAnswer a;
        a.pieces.push_back({50, Frame(whole.begin(), whole.begin() + 7)});
        return a;
    });
    const uint32_t t0 = rt::GetTickCount();
    EXPECT_EQ(ReadModuleId(cut.socket, 5), 0);
    const uint32_t took = rt::GetTickCount() - t0;
    EXPECT_GE(took, TransactTimeoutMs - 1u);
    EXPECT_LT(took, 1500u);
}

TEST(ModbusTransact, ALateReplyIsNeverTakenForTheNextOne) {
    std::atomic<int> n{0};
    Connected c([&](const Frame& rq) {
        // The first answer comes after the keep-alive's 100 ms; the second at once.
        if (n++ == 0) {
            FakeAnswer a;
            a.pieces.push_back({150, FakeResponder::Reply(rq, OneRegister(0x0BAD))});
            return a;
        }
        return FakeResponder::Now(FakeResponder::Reply(rq, OneRegister(0x00A0)));
    });
    ReplyBuffer reply{};
    uint8_t received = 0;
    EXPECT_FALSE(ModbusTransact(c.socket, BuildReadInputRegister(kRegKeepAlive), reply, received,
                                kKeepAliveTimeoutMs));
    EXPECT_EQ(received, 0);
    rt::Sleep(120);  // the late reply is there now
    EXPECT_EQ(ReadModuleId(c.socket, 0), 0x00A0);
}

TEST(ModbusTransact, AFrameTooLongForTheBufferIsNoReply) {
    std::atomic<int> n{0};
    Connected c([&](const Frame& rq) {
        if (n++ == 0) {
            Frame big = FakeResponder::Reply(rq, std::vector<uint8_t>(300, 0x55));
            return FakeResponder::Now(big);
        }
        return FakeResponder::Now(FakeResponder::Reply(rq, OneRegister(16)));
    });
    EXPECT_EQ(ReadModuleId(c.socket, 0), 0);
    rt::Sleep(50);
    EXPECT_EQ(ReadModuleId(c.socket, 0), 16);
}

TEST(ModbusTransact, ADroppedConnectionIsNoReply) {
    Connected c([](const Frame&) {
        FakeAnswer a;
        a.close = true;
        return a;
    });
    ReplyBuffer reply{};
    uint8_t received = 0;
    EXPECT_FALSE(ModbusTransact(c.socket, BuildReadInputRegister(0x0240), reply, received,
                                TransactTimeoutMs));
    EXPECT_FALSE(ModbusTransact(c.socket, BuildReadInputRegister(0x0240), reply, received,
                                TransactTimeoutMs));
}

namespace {

// The calls of the order table's steps, each one transaction; CatchUp waits
// until the station has answered everything.
enum class Call { ModuleId, ModuleMode, KeepAlive, PreOp, CatchUp };

Frame RequestOf(Call call) {
    switch (call) {
        case Call::ModuleId:
            return BuildReadInputRegister(RegIomModuleId + 3);
        case Call::ModuleMode:
            return BuildReadInputRegister(RegIomNmtState + 3);
        case Call::KeepAlive:
            return BuildReadInputRegister(kRegKeepAlive);
        default:
            return BuildCommandWrite(CmdNmt, 3, NmtToPreOp);
    }
}

// The station's reply: slot 3 holds a KB-523 (ID 98) in its bootloader
// (mode 8), the keep-alive register reads 32 (a KB-510's ID), writes are
// echoed and any other read gives 0.
Frame StationReply(const Frame& rq) {
    if (rq[7] == kFnWriteMultipleRegisters)
        return FakeResponder::Reply(rq, {rq[8], rq[9], rq[10], rq[11]});
    if (rq[7] != kFnReadInputRegisters && rq[7] != kFnReadHoldingRegisters)
        return FakeResponder::Reply(rq, {1, 0});
    uint16_t value = 0;
    if (rq == RequestOf(Call::ModuleId)) value = 98;
    if (rq == RequestOf(Call::ModuleMode)) value = kModeBootloader;
    if (rq == RequestOf(Call::KeepAlive)) value = 32;
    return FakeResponder::Reply(rq, OneRegister(value));
}

// The program's time-out of a call.
uint16_t TimeoutOf(Call call) {
    return call == Call::KeepAlive ? kKeepAliveTimeoutMs : TransactTimeoutMs;
}

// What a transaction shows: the label's text for a module ID, the value of
// another read, or that a command was answered.
std::string Shown(Call call, FlashSocket& socket, uint16_t timeoutMs) {
    const Frame rq = RequestOf(call);
    ReplyBuffer reply{};
    uint8_t n = 0;
    if (!ModbusTransact(socket, rq, reply, n, timeoutMs)) return "no reply";
    if (!PassesExceptionCheck(rq, reply.data(), n)) return "exception";
    if (call == Call::PreOp) return "answered";
    const uint16_t value = static_cast<uint16_t>(reply[n - 2] << 8 | reply[n - 1]);
    return call == Call::ModuleId ? ModuleNameText(value) : std::to_string(value);
}

}  // namespace

TEST(ModbusTransact, ALateReplyNeverAnswersALaterTransaction) {
    // The station answers in order: a late reply holds back the answers to
    // the requests behind it. Only the first request is answered late, in
    // pieces (the pause before each, and up to which byte of the reply).
    struct Step {
        Call call;
        const char* shows = "";
        bool stationBusy = false;  // sent while the late reply is owed: no reply is right too
        uint16_t timeoutMs = 0;    // 0: the program's own
    };
    struct Piece {
        int delayMs;
        size_t upTo;
    };
    constexpr size_t kEnd = 255;
    struct Case {
        const char* what;
        std::vector<Piece> late;  // nothing: no request is ever answered
        bool exception;           // the late reply is an exception reply
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"module ID 1300 ms late, then the mode read",
         {{1300, kEnd}},
         false,
         {{Call::ModuleId, "no reply"},
          {Call::ModuleMode, "8", true},
          {Call::CatchUp},
          {Call::ModuleMode, "8"}}},
        {"keep-alive 1250 ms late, then slot 3's module ID",
         {{1250, kEnd}},
         false,
         {{Call::KeepAlive, "no reply"},
          {Call::ModuleId, "KB-523", true},
          {Call::CatchUp},
          {Call::ModuleId, "KB-523"}}},
        {"exception 1300 ms late, then the next command",
         {{1300, kEnd}},
         true,
         {{Call::PreOp, "no reply"},
          {Call::PreOp, "answered", true},
          {Call::CatchUp},
          {Call::PreOp, "answered"}}},
        // The next read's order mark waits for the late reply within the
        // read's time (made ample here, for a loaded machine).
        {"keep-alive 150 ms late, then a read with time to wait for it",
         {{150, kEnd}},
         false,
         {{Call::KeepAlive, "no reply"}, {Call::ModuleId, "KB-523", false, 2000}}},
        {"keep-alive cut off after its header, the rest 100 ms later",
         {{50, 7}, {100, kEnd}},
         false,
         {{Call::KeepAlive, "no reply"}, {Call::ModuleId, "KB-523", false, 2000}}},
        {"keep-alive cut off inside its header, the rest 1250 ms later",
         {{50, 4}, {1250, kEnd}},
         false,
         {{Call::KeepAlive, "no reply"},
          {Call::ModuleId, "KB-523", true},
          {Call::CatchUp},
          {Call::ModuleId, "KB-523"}}},
        {"keep-alive 1250 ms late in pieces",
         {{1250, 9}, {60, kEnd}},
         false,
         {{Call::KeepAlive, "no reply"},
          {Call::ModuleId, "KB-523", true},
          {Call::CatchUp},
          {Call::ModuleId, "KB-523"}}},
        {"a station that never answers",
         {},
         false,
         {{Call::ModuleId, "no reply"},
          {Call::ModuleMode, "no reply"},
          {Call::KeepAlive, "no reply"},
          {Call::ModuleMode, "no reply"},
          {Call::PreOp, "no reply"}}},
    };
    for (const Case& c : cases) {
        std::atomic<int> n{0};
        Connected conn([&](const Frame& rq) {
            if (c.late.empty()) return FakeAnswer{};
            if (n++ > 0) return FakeResponder::Now(StationReply(rq));
            const Frame reply =
                c.exception ? FakeResponder::ExceptionReply(rq, 4) : StationReply(rq);
            FakeAnswer a;
            size_t from = 0;
            for (const Piece& p : c.late) {
                const size_t to = std::min(p.upTo, reply.size());
                a.pieces.push_back({p.delayMs, Frame(reply.begin() + static_cast<long>(from),
                                                     reply.begin() + static_cast<long>(to))});
                from = to;
            }
            return a;
        });
        bool caughtUp = false;
        uint32_t total = 0;
        for (const Step& step : c.steps) {
            const auto waitIdle = [&] {
                return rt::WaitUntil([&] { return conn.responder.Idle(); }, 5000);
            };
            if (step.call == Call::CatchUp) {
                ASSERT_TRUE(waitIdle()) << c.what;
                caughtUp = true;
                continue;
            }
            const size_t sentBefore = conn.responder.Requests().size();
            const uint16_t timeoutMs = step.timeoutMs ? step.timeoutMs : TimeoutOf(step.call);
            const uint32_t t0 = rt::GetTickCount();
            const std::string shown = Shown(step.call, conn.socket, timeoutMs);
            const uint32_t took = rt::GetTickCount() - t0;
            total += took;
            // The dialog is never held past the time-out.
            EXPECT_LT(took, timeoutMs + 1000u) << c.what;
            if (c.late.empty()) {
                EXPECT_GE(took, timeoutMs - 1u) << c.what;
            }
            if (step.stationBusy && shown == "no reply") continue;
            EXPECT_EQ(shown, step.shows) << c.what;
            // Once everything is answered, the request goes out alone.
            if (caughtUp) {
                ASSERT_TRUE(waitIdle()) << c.what;
                const auto sent = conn.responder.Requests();
                EXPECT_EQ(
                    std::vector<Frame>(sent.begin() + static_cast<long>(sentBefore), sent.end()),
                    std::vector<Frame>{RequestOf(step.call)})
                    << c.what;
            }
        }
        if (c.late.empty()) {
            // Each transaction cost its time-out and no more, and a request
            // whose order mark was not answered never went out.
            EXPECT_LT(total, 2500u) << c.what;
            ASSERT_TRUE(rt::WaitUntil([&] { return conn.responder.Requests().size() >= 5; }, 5000));
            const auto sent = conn.responder.Requests();
            ASSERT_EQ(sent.size(), 5u);
            EXPECT_EQ(sent.front(), RequestOf(Call::ModuleId));
            EXPECT_EQ(sent.back(), RequestOf(Call::PreOp));
            EXPECT_EQ(std::count(sent.begin(), sent.end(), RequestOf(Call::ModuleMode)), 0);
            EXPECT_EQ(std::count(sent.begin(), sent.end(), RequestOf(Call::KeepAlive)), 0);
        }
    }
}
