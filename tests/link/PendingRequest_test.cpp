#include "link/PendingRequest.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "config/NodeConfig.h"
#include "link/LiveValues.h"
#include "link/RegisterMap.h"
#include "link/ReplyDispatcher.h"
#include "loopback_support.h"
#include "platform/EventWait.h"
#include "platform/dialogs.h"
#include "platform/ticks.h"
#include "tests/support/ConfigRecords.h"
#include "tests/support/ScriptedDialogs.h"

TEST(PendingRequestKey, NumbersAndOutcomes) {
    EXPECT_EQ(KeyNumber("0"), 0);
    EXPECT_EQ(KeyNumber("-1"), -1);
    EXPECT_EQ(KeyNumber("33024"), 33024);
    for (const char* bad : {"", "-", "-0", "007", " 1", "1 ", "1a", "abc", "99999999999"})
        EXPECT_FALSE(KeyNumber(bad)) << '"' << bad << '"';

    EXPECT_EQ(ClassifyKey(KeyDone), ReplyOutcome::Done);
    EXPECT_EQ(ClassifyKey(KeyErrorReply), ReplyOutcome::Refused);
    EXPECT_EQ(ClassifyKey("1"), ReplyOutcome::TimedOut);
    EXPECT_EQ(ClassifyKey("33024"), ReplyOutcome::TimedOut);
    // A key that names no request is a failure, never a success.
    EXPECT_EQ(ClassifyKey(""), ReplyOutcome::Failed);
    EXPECT_EQ(ClassifyKey("-2"), ReplyOutcome::Failed);
    EXPECT_EQ(ClassifyKey("Controller"), ReplyOutcome::Failed);

    EXPECT_STREQ(OutcomeText(ReplyOutcome::TimedOut), "Response Timeout");
    EXPECT_STREQ(OutcomeText(ReplyOutcome::Refused), "Receive Error Messages");
    EXPECT_STREQ(OutcomeText(ReplyOutcome::Done), "");
    EXPECT_STREQ(OutcomeText(ReplyOutcome::Failed), "");
}

class WaitForReplyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetConfigRecordsForStartup();
        ResetLiveValues();
        ConfigReal[0].NetID = 1;
        nxlink::ForgetSentRequests(ws);
        rt::SetDialogs(&dialogs);
        ConnectModbusReplyHandler(ws);
        peer.Accept(ws);
    }
    void TearDown() override {
        ws.Close();
        rt::SetDialogs(nullptr);
    }
    // A controller status reply with McuStatus = role.
    static Bytes McuStatusReply(uint16_t role) {
        std::vector<uint16_t> regs(42, 0);
        regs[0] = role;
        return RegistersReply(1, FcReadInputRegisters, regs);
    }
    // Sends a read of `quantity` registers at `start` under `key`, as the
    // senders do.
    void Ask(const std::string& key, uint16_t start = RegMcuStatus.Start, uint16_t quantity = 42,
             uint8_t function = FcReadInputRegisters) {
        SendKeyedRequest(ws, key, BuildReadRequest(1, function, start, quantity));
    }

    rt::ScriptedDialogs dialogs;
    rt::WinsockControl ws;
    LoopbackPeer peer;
};

TEST_F(WaitForReplyTest, ReplyAlreadyWaitingCompletesAtOnce) {
    Ask(KeyMcuStatus);
    peer.Send(McuStatusReply(0x21));
    // The bytes are on their way before the wait starts; the wait's first
    // round of events handles them.
    const uint32_t t0 = rt::GetTickCount();
    EXPECT_EQ(WaitForReply(ws, 10000), ReplyOutcome::Done);
    EXPECT_LT(rt::GetTickCount() - t0, 5000u);
    EXPECT_EQ(ConfigReal[0].McuStatus, 0x21);
    EXPECT_EQ(ws.Tag(), KeyDone);
}

TEST_F(WaitForReplyTest, ReplyHandledAsTheTimeRunsOutCountsAsDone) {
    // The reply is on the socket but not yet handled; a wait whose time is
    // already up still lets the events run once, and the key read after
    // them decides.
    Ask(KeyMcuStatus);
    peer.Send(McuStatusReply(0x20));
    EXPECT_EQ(ws.BytesReceived(), 0u);
    EXPECT_EQ(WaitForReply(ws, 0), ReplyOutcome::Done);
    EXPECT_EQ(ConfigReal[0].McuStatus, 0x20);
    // Without any reply the same wait ends at once as a timeout.
    Ask(KeyMcuStatus);
    EXPECT_EQ(WaitForReply(ws, 0), ReplyOutcome::TimedOut);
}

TEST_F(WaitForReplyTest, RequestAnsweredWhileWaiting) {
    const ModbusFrame frame = BuildReadRequest(1, FcReadInputRegisters, RegMcuStatus.Start, 42);
    // The peer answers when the request has arrived, while the sender waits.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (peer.Received().size() >= frame.size() && poll.isActive()) {
            poll.stop();
            peer.Send(McuStatusReply(0x20));
        }
    });
    poll.start(1);
    EXPECT_EQ(SendRequestAndWait(ws, KeyMcuStatus, frame, 10000), ReplyOutcome::Done);
    EXPECT_EQ(peer.Received(), frame);
    EXPECT_EQ(ConfigReal[0].McuStatus, 0x20);
}

TEST_F(WaitForReplyTest, NoReplyTimesOutAndKeepsTheKey) {
    const uint32_t t0 = rt::GetTickCount();
    ws.SetTag(KeyConfigRead(RegCfgVersions.Start));
    EXPECT_EQ(WaitForReply(ws, 60), ReplyOutcome::TimedOut);
    EXPECT_GE(rt::GetTickCount() - t0, 60u);
    EXPECT_EQ(ws.Tag(), "32800");
}

TEST_F(WaitForReplyTest, ReplyThatMatchesNoRuleTimesOut) {
    // The keep-alive's reply (byte count 18) completes nothing under key "4".
    Ask(KeyMcuStatus, RegKeepAlive.Start, RegKeepAlive.Quantity);
    peer.Send(RegistersReply(1, FcReadInputRegisters, std::vector<uint16_t>(9, 7)));
    EXPECT_EQ(WaitForReply(ws, 60), ReplyOutcome::TimedOut);
    EXPECT_EQ(ws.Tag(), KeyMcuStatus);
    EXPECT_EQ(ConfigReal[0].McuStatus, 0);
}

TEST_F(WaitForReplyTest, ExceptionReplyIsRefused) {
    Ask(KeyMonitorImage, 0, 128, FcReadHoldingRegisters);
    peer.Send(MakeReply(1, 0x83, {0x02}));
    EXPECT_EQ(WaitForReply(ws, 60), ReplyOutcome::Refused);
    EXPECT_EQ(ws.Tag(), KeyErrorReply);
}

// A keyless write sent while a read waits for its reply goes on the wire
// only after that reply: the read is stored, and the write's echo leaves the
// key as it found it.
TEST_F(WaitForReplyTest, KeylessWriteWaitsForTheReplyOutstanding) {
    const ModbusFrame read = BuildReadRequest(1, FcReadInputRegisters, RegCfgNmtState.Start, 8);
    const ModbusFrame write = BuildWriteSingleCoil(1, 0x25, 0xFF);
    SendKeyedRequest(ws, KeyConfigRead(RegCfgNmtState.Start), read);
    ASSERT_TRUE(peer.WaitReceived(read.size()));
    QTimer::singleShot(50, [&] {
        peer.Send(RegistersReply(1, FcReadInputRegisters, {32, 32, 16, 1, 1, 1, 1, 64}));
    });
    SendModbusRequest(ws, write);
    EXPECT_EQ(ConfigReal[0].NMTState(7), 64);
    EXPECT_EQ(ws.Tag(), KeyDone);
    ASSERT_TRUE(peer.WaitReceived(read.size() + write.size()));
    Bytes both = read;
    both.insert(both.end(), write.begin(), write.end());
    EXPECT_EQ(peer.Received(), both);
    peer.Send(MakeReply(1, FcWriteSingleCoil, {0x00, 0x25, 0xFF, 0x00}));
    EXPECT_TRUE(PumpUntil([&] { return !nxlink::ModbusReplyOwed(ws); }));
    EXPECT_EQ(ws.Tag(), KeyDone);
}

TEST_F(WaitForReplyTest, WaitWithoutARequestKeyFails) {
    ws.SetTag("");
    EXPECT_EQ(WaitForReply(ws, 20), ReplyOutcome::Failed);
}

TEST_F(WaitForReplyTest, WaitsInProgressAreCountedAndNest) {
    EXPECT_EQ(ModbusWaitsInProgress(), 0);
    int seenOuter = -1, seenInner = -1;
    QTimer::singleShot(0, [&] {
        seenOuter = ModbusWaitsInProgress();
        // A nested sender (a timer handler) waits inside the outer wait.
        QTimer::singleShot(0, [&] { seenInner = ModbusWaitsInProgress(); });
        WaitForReply(ws, 10);
    });
    ws.SetTag(KeyMcuStatus);
    WaitForReply(ws, 40);
    EXPECT_EQ(seenOuter, 1);
    EXPECT_EQ(seenInner, 2);
    EXPECT_EQ(ModbusWaitsInProgress(), 0);
}

TEST_F(WaitForReplyTest, SendOnAClosedConnectionRaisesAfterWritingTheKey) {
    ws.Close();
    try {
        SendRequestAndWait(ws, KeyMcuStatus,
                           BuildReadRequest(1, FcReadInputRegisters, RegMcuStatus.Start, 42), 100);
        ADD_FAILURE() << "no error raised";
    } catch (const rt::RuntimeError& e) {
        EXPECT_EQ(e.Number(), rt::sckBadState);
    }
    EXPECT_EQ(ws.Tag(), KeyMcuStatus);
}

// ---- The gate ---------------------------------------------------------------------

// Requests and replies on one connection at given times (ms): which request
// a reply answers, and when the next request may go.
TEST(RequestGate, OneRequestOutstandingAndEachReplyItsOwn) {
    using nxlink::ReplyMatch;
    const auto read = [](uint8_t fc, uint16_t start, uint16_t q) {
        return BuildReadRequest(1, fc, start, q);
    };
    const auto regs = [](uint8_t fc, size_t n, uint8_t byteCount) {
        return RegistersReply(1, fc, byteCount, std::vector<uint16_t>(n, 1));
    };
    const uint16_t command[] = {0x21, 2, 0};
    const ModbusFrame iomCommand = BuildWriteMultipleRegisters(1, 0x8000, command);
    const Bytes hart501 = regs(FcReadInputRegisters, 246, 0);  // 9 + 492 bytes
    Bytes hart500 = hart501;
    hart500.pop_back();
    hart500[5] -= 1;
    enum Kind { Send, SendWaited, EndWait, Reply, IsOpen };
    struct Step {
        Kind kind;
        uint32_t at;
        Bytes bytes;                              // Send: the request; Reply: the reply
        std::string key;                          // Send: its key ("": keyless)
        uint32_t giveUp = 0;                      // Send
        ReplyMatch match = ReplyMatch::Dispatch;  // Reply
        bool open = false;                        // IsOpen
    };
    const ModbusFrame ai = read(FcReadInputRegisters, 0, 128);
    const ModbusFrame po = read(FcReadHoldingRegisters, 0x100, 256);
    const ModbusFrame list2 = read(FcReadInputRegisters, 0x8402, 16);
    const ModbusFrame list3 = read(FcReadInputRegisters, 0x8403, 16);
    const ModbusFrame hart = read(FcReadInputRegisters, 0x1400, 256);
    const Bytes aiReply = regs(FcReadInputRegisters, 128, 0);
    const Bytes listReply = regs(FcReadInputRegisters, 16, 32);
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases{
        {"nothing sent: a reply answers nothing",
         {{IsOpen, 0, {}, "", 0, {}, true}, {Reply, 5, aiReply, "", 0, ReplyMatch::Unexpected}}},
        {"a slow reply within the give-up time is the request's own",
         {{Send, 0, ai, "1", 5000},
          {IsOpen, 4000, {}, "", 0, {}, false},
          {Reply, 4999, aiReply, "", 0, ReplyMatch::Dispatch},
          {IsOpen, 4999, {}, "", 0, {}, true}}},
        {"a reply after the give-up time is dropped as the given-up request's",
         {{Send, 0, list2, "33794", 500},
          {IsOpen, 600, {}, "", 0, {}, false},
          {Reply, 700, listReply, "", 0, ReplyMatch::GivenUp},
          {IsOpen, 700, {}, "", 0, {}, true}}},
        {"while its sender waits, a reply after the wait's time is still its own",
         {{SendWaited, 0, list2, "33794", 500},
          {Reply, 700, listReply, "", 0, ReplyMatch::Dispatch}}},
        {"once its sender stopped waiting, the late reply is dropped",
         {{SendWaited, 0, list2, "33794", 500},
          {EndWait, 650, {}, "", 0, {}, false},
          {IsOpen, 999, {}, "", 0, {}, false},
          {Reply, 700, listReply, "", 0, ReplyMatch::GivenUp}}},
        {"one unanswered read costs only its own time",
         {{Send, 0, list2, "33794", 500},
          {IsOpen, 1000, {}, "", 0, {}, true},
          {Send, 1000, list3, "33795", 500},
          {Reply, 1100, listReply, "", 0, ReplyMatch::Dispatch}}},
        {"a reply after the hold answers nothing",
         {{Send, 0, ai, "1", 5000},
          {IsOpen, 10000, {}, "", 0, {}, true},
          {Reply, 10001, aiReply, "", 0, ReplyMatch::Unexpected}}},
        {"another block's reply of the same function is not the answer",
         {{Send, 0, po, "2", 5000},
          {Reply, 10, regs(FcReadHoldingRegisters, 128, 0), "", 0, ReplyMatch::Unexpected},
          {IsOpen, 10, {}, "", 0, {}, false},
          {Reply, 20, regs(FcReadHoldingRegisters, 256, 0), "", 0, ReplyMatch::Dispatch}}},
        {"another function is not the answer; the exception code is",
         {{Send, 0, ai, "1", 5000},
          {Reply, 1, regs(FcReadHoldingRegisters, 128, 0), "", 0, ReplyMatch::Unexpected},
          {Reply, 2, MakeReply(1, 0x84, {2}), "", 0, ReplyMatch::Dispatch}}},
        {"a shorter channel list is an answer; a longer one is not",
         {{Send, 0, list2, "33794", 500},
          {Reply, 1, regs(FcReadInputRegisters, 17, 34), "", 0, ReplyMatch::Unexpected},
          {Reply, 2, regs(FcReadInputRegisters, 3, 6), "", 0, ReplyMatch::Dispatch}}},
        {"a HART reply area of 501 bytes is an answer; of 500 not",
         {{Send, 0, hart, "12", 500},
          {Reply, 1, hart500, "", 0, ReplyMatch::Unexpected},
          {Reply, 2, hart501, "", 0, ReplyMatch::Dispatch}}},
        {"a command's echo must name its register",
         {{Send, 0, iomCommand, "32768", 500},
          {Reply, 1, MakeReply(1, FcWriteMultipleRegisters, {0x90, 0, 0, 3}), "", 0,
           ReplyMatch::Unexpected},
          {Reply, 2, MakeReply(1, FcWriteMultipleRegisters, {0x80, 0, 0, 3}), "", 0,
           ReplyMatch::Dispatch}}},
        {"a keyless write's echo opens the gate and stores nothing",
         {{Send, 0, BuildWriteSingleCoil(1, 0x20, 0xFF), "", 5000},
          {Reply, 3, MakeReply(1, FcWriteSingleCoil, {0, 0x20, 0xFF, 0}), "", 0,
           ReplyMatch::Keyless},
          {IsOpen, 3, {}, "", 0, {}, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nxlink::RequestGate gate;
        std::string key;
        for (const Step& s : c.steps) {
            switch (s.kind) {
                case Send:
                case SendWaited:
                    if (!s.key.empty()) key = s.key;
                    gate.Note(s.bytes, s.key, s.giveUp, s.at, s.kind == SendWaited);
                    break;
                case EndWait:
                    gate.EndWait(1, s.at);
                    break;
                case Reply:
                    EXPECT_EQ(gate.Take(s.bytes, key, s.at), s.match) << "reply at " << s.at;
                    break;
                case IsOpen:
                    EXPECT_EQ(gate.Open(s.at), s.open) << "at " << s.at;
                    break;
            }
        }
    }
}
