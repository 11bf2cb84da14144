#include "modflash/ModbusTransact.h"

#include <gtest/gtest.h>

#include <atomic>

#include "FakeResponder_support.h"
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
    std::atomic<bool> silent{false};
    Connected c([&](const Frame& rq) {
        if (silent) return FakeAnswer{};
        return FakeResponder::Now(FakeResponder::ExceptionReply(rq, 2));
    });
    EXPECT_EQ(ReadModuleId(c.socket, 0), 0);
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

TEST(ModbusTransact, AReplyThatBeganInTimeCountsEvenIfItEndsAfterTheTimeOut) {
    // The header comes at 120 ms, the rest at 260 ms: past the 200 ms
    // time-out, but the reply had arrived within it.
    Connected c([](const Frame& rq) {
        const Frame whole = FakeResponder::Reply(rq, OneRegister(0x00A0));
        FakeAnswer a;
        a.pieces.push_back({120, Frame(whole.begin(), whole.begin() + 7)});
        a.pieces.push_back({140, Frame(whole.begin() + 7, whole.end())});
        return a;
    });
    EXPECT_EQ(ReadModuleId(c.socket, 5), 0x00A0);

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

TEST(ModbusTransact, AReplyStillOnItsWayIsDroppedBeforeTheNextRequest) {
    // The first request's reply comes late, whole or cut off by the time-out;
    // the next request goes out at once and must get its own answer.
    struct Case {
        const char* what;
        std::vector<std::pair<int, std::pair<size_t, size_t>>> pieces;  // delay, [from, to)
    };
    const Case cases[] = {
        {"whole, after the time-out", {{150, {0, 11}}}},
        {"cut off after its header", {{50, {0, 7}}, {250, {7, 11}}}},
        {"cut off inside its header", {{50, {0, 4}}, {250, {4, 11}}}},
    };
    for (const Case& c : cases) {
        std::atomic<int> n{0};
        Connected conn([&](const Frame& rq) {
            if (n++ > 0) return FakeResponder::Now(FakeResponder::Reply(rq, OneRegister(0x00A0)));
            const Frame late = FakeResponder::Reply(rq, OneRegister(0x0BAD));
            FakeAnswer a;
            for (const auto& [delay, range] : c.pieces)
                a.pieces.push_back({delay, Frame(late.begin() + static_cast<long>(range.first),
                                                 late.begin() + static_cast<long>(range.second))});
            return a;
        });
        ReplyBuffer reply{};
        uint8_t received = 0;
        EXPECT_FALSE(ModbusTransact(conn.socket, BuildReadInputRegister(kRegKeepAlive), reply,
                                    received, kKeepAliveTimeoutMs))
            << c.what;
        EXPECT_EQ(ReadModuleId(conn.socket, 0), 0x00A0) << c.what;
        EXPECT_EQ(ReadModuleMode(conn.socket, 0), 0x00A0) << c.what;
    }
}
