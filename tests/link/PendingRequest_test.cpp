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
        nxlink::ResetModbusGate(ws);
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

// A keyless write sent while a read waits for its reply returns at once and
// goes on the wire only after that reply: the read is stored, and the
// write's echo leaves the key as it found it.
TEST_F(WaitForReplyTest, KeylessWriteWaitsForTheReplyOutstanding) {
    const ModbusFrame read = BuildReadRequest(1, FcReadInputRegisters, RegCfgNmtState.Start, 8);
    const ModbusFrame write = BuildWriteSingleCoil(1, 0x25, 0xFF);
    SendKeyedRequest(ws, KeyConfigRead(RegCfgNmtState.Start), read);
    ASSERT_TRUE(peer.WaitReceived(read.size()));
    SendModbusRequest(ws, write);
    EXPECT_EQ(peer.Received(), read);
    peer.Send(RegistersReply(1, FcReadInputRegisters, {32, 32, 16, 1, 1, 1, 1, 64}));
    ASSERT_TRUE(peer.WaitReceived(read.size() + write.size()));
    EXPECT_EQ(ConfigReal[0].NMTState(7), 64);
    EXPECT_EQ(ws.Tag(), KeyDone);
    Bytes both = read;
    both.insert(both.end(), write.begin(), write.end());
    EXPECT_EQ(peer.Received(), both);
    peer.Send(MakeReply(1, FcWriteSingleCoil, {0x00, 0x25, 0xFF, 0x00}));
    EXPECT_TRUE(PumpUntil([&] { return !nxlink::ModbusGateBusy(ws); }));
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
