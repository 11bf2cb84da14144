// The stand-in as a client sees it on the wire: raw frames over blocking
// sockets against a stand-in running on its own thread.
#include "sim/StationSim.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTcpServer>
#include <QTimer>
#include <string>

#include "RawClient.h"

using namespace nxsim;
using nxsim_test::ChunkWrites;
using nxsim_test::Frame;
using nxsim_test::RawClient;
using nxsim_test::Word;
using nxsim_test::WriteFrame;

namespace {

class StationSimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SimOptions opt;
        opt.liveInputs = false;
        startWith(opt);
    }
    void startWith(const SimOptions& opt) {
        QString error;
        ASSERT_TRUE(sim.start(opt, &error)) << error.toStdString();
        ASSERT_NE(sim.modbusPort(), 0);
        ASSERT_NE(sim.textPort(), 0);
        ASSERT_NE(sim.modbusPort(), sim.textPort());
        ASSERT_TRUE(mb.connectTo(sim.modbusPort()));
        ASSERT_TRUE(tx.connectTo(sim.textPort()));
    }
    StationSim sim;
    RawClient mb;
    RawClient tx;
};

}  // namespace

TEST_F(StationSimTest, LargeBlocksCarryByteCountZeroAndExactLength) {
    sim.setInputRegister(5, -2);
    struct Case {
        int function, address, quantity;
    };
    for (Case c : {Case{4, 0x0000, 128}, Case{3, 0x0000, 128}, Case{4, 0x0080, 256},
                   Case{3, 0x0100, 256}, Case{4, 0x1400, 256}}) {
        SCOPED_TRACE(c.address);
        QByteArray r = mb.transact(Frame(1, c.function, c.address, c.quantity));
        ASSERT_EQ(r.size(), 9 + 2 * c.quantity);
        EXPECT_EQ(Word(r, 0), 0x1234);  // transaction id echoed
        EXPECT_EQ(Word(r, 2), 0);
        EXPECT_EQ(Word(r, 4), 3 + 2 * c.quantity);  // the true length, not modulo 256
        EXPECT_EQ(static_cast<quint8>(r[6]), 1);
        EXPECT_EQ(static_cast<quint8>(r[7]), c.function);
        EXPECT_EQ(static_cast<quint8>(r[8]), 0);
    }
    QByteArray ai = mb.transact(Frame(1, 4, 0, 128));
    EXPECT_EQ(Word(ai, 9 + 2 * 5), 0xFFFE);
    // 256 bits: 32 data bytes.
    QByteArray bits = mb.transact(Frame(1, 2, 0, 256));
    ASSERT_EQ(bits.size(), 9 + 32);
    EXPECT_EQ(static_cast<quint8>(bits[8]), 32);
    // The status blocks.
    QByteArray mcu = mb.transact(Frame(1, 4, 0x0200, 42));
    ASSERT_EQ(mcu.size(), 9 + 84);
    EXPECT_EQ(static_cast<quint8>(mcu[8]), 84);
    EXPECT_EQ(Word(mcu, 9), 0x20);
    EXPECT_EQ(Word(mcu, 9 + 2 * 0x29), 60);
    QByteArray iom = mb.transact(Frame(1, 4, 0x0240, 120));
    ASSERT_EQ(iom.size(), 9 + 240);
    EXPECT_EQ(static_cast<quint8>(iom[8]), 240);
    EXPECT_EQ(Word(iom, 9 + 2 * 3), 0x0031);  // module id of slot 3
    EXPECT_EQ(Word(iom, 41 + 2 * 3), 32);     // NMT state of slot 3
}

TEST_F(StationSimTest, CommandWrittenIsReadBack) {
    // Range codes of the thermocouple module in slot 3, framed by NMT commands.
    QByteArray r = mb.transact(WriteFrame(1, 0x8000, {0x0001, 3, 0x0001}));
    ASSERT_EQ(r.size(), 12);
    EXPECT_EQ(static_cast<quint8>(r[7]), 0x10);
    EXPECT_EQ(Word(r, 8), 0x8000);
    EXPECT_EQ(Word(r, 10), 3);
    QVector<quint16> cmd = {0x0040, 3, 0, 16};
    for (int c = 0; c < 16; ++c) cmd.append(static_cast<quint16>(14 + c % 9));
    r = mb.transact(WriteFrame(1, 0x8000, cmd));
    ASSERT_EQ(static_cast<quint8>(r[7]), 0x10);
    ASSERT_EQ(mb.transact(WriteFrame(1, 0x8000, {0x0001, 3, 0x0002})).size(), 12);

    QByteArray back = mb.transact(Frame(1, 4, 0x8403, 16));
    ASSERT_EQ(back.size(), 9 + 32);
    EXPECT_EQ(static_cast<quint8>(back[8]), 32);
    for (int c = 0; c < 16; ++c) EXPECT_EQ(Word(back, 9 + 2 * c), 14 + c % 9) << c;
    QByteArray nmt = mb.transact(Frame(1, 4, 0x8120, 8));
    EXPECT_EQ(Word(nmt, 9 + 2 * 3), 32);
    EXPECT_EQ(sim.station().slot[3].reg(BlkRangeCode, 15), 14 + 15 % 9);
}

TEST_F(StationSimTest, TextCommandsAndSetNetIdChangesUnitIdAtOnce) {
    EXPECT_EQ(tx.text("19!controller"), "NX-4410");
    EXPECT_EQ(tx.text("19!getnetid"), "1");
    EXPECT_EQ(tx.text("19!getfwver"), "301");
    EXPECT_EQ(tx.text("19!setnetid 248"), "-1");
    EXPECT_EQ(tx.text("19!setnetid 0"), "-1");
    EXPECT_EQ(tx.text("19!unknown"), "-1");
    EXPECT_EQ(sim.netId(), 1);
    EXPECT_EQ(tx.text("19!setnetid 247"), "247");
    EXPECT_EQ(sim.netId(), 247);
    // The old unit id is refused from now on, the new one served.
    QByteArray old = mb.transact(Frame(1, 4, 0x8020, 2));
    ASSERT_EQ(old.size(), 9);
    EXPECT_EQ(static_cast<quint8>(old[7]), 0x84);
    EXPECT_EQ(static_cast<quint8>(old[8]), 0x0B);
    QByteArray now = mb.transact(Frame(247, 4, 0x8020, 2));
    ASSERT_EQ(now.size(), 13);
    EXPECT_EQ(static_cast<quint8>(now[6]), 247);
    EXPECT_EQ(Word(now, 9), 301);
    EXPECT_EQ(tx.text("19!getnetid"), "247");
}

TEST_F(StationSimTest, TwoRequestsInOneWriteGetTwoReplies) {
    mb.send(Frame(1, 4, 0x8020, 2) + Frame(1, 4, 0x8000, 2));
    QByteArray both = mb.read(26);
    ASSERT_EQ(both.size(), 26);
    EXPECT_EQ(Word(both, 9), 301);
    EXPECT_EQ(Word(both, 13 + 9), 0x1001);
}

TEST_F(StationSimTest, UnservedRequestsGetExceptions) {
    struct Case {
        QByteArray frame;
        int code;
    };
    QByteArray fc15 = Frame(1, 15, 0, 8);
    for (const Case& c :
         {Case{Frame(1, 4, 0x0180, 1), 2}, Case{Frame(1, 3, 0x0080, 1), 2},
          Case{Frame(1, 4, 0x0000, 257), 3}, Case{Frame(1, 1, 250, 10), 2}, Case{fc15, 1},
          Case{Frame(1, 4, 0x8104, 8), 2}, Case{Frame(1, 4, 0x8400, 17), 2}}) {
        QByteArray r = mb.transact(c.frame);
        ASSERT_EQ(r.size(), 9) << c.frame.toHex().toStdString();
        EXPECT_EQ(static_cast<quint8>(r[7]), static_cast<quint8>(c.frame[7]) | 0x80);
        EXPECT_EQ(static_cast<quint8>(r[8]), c.code) << c.frame.toHex().toStdString();
    }
}

TEST_F(StationSimTest, SingleWritesEchoAndChangeTheImages) {
    QByteArray coil = Frame(1, 5, 33, 0xFF00);
    EXPECT_EQ(mb.transact(coil), coil);
    EXPECT_TRUE(sim.coil(33));
    QByteArray reg = Frame(1, 6, 20, 0xFF9C);
    EXPECT_EQ(mb.transact(reg), reg);
    EXPECT_EQ(sim.holdingRegister(20), -100);
    // One PO channel: two registers at 0x100 + 6 * 32 + 2 * 3.
    QByteArray po = mb.transact(WriteFrame(1, 0x100 + 6 * 32 + 6, {0x1234, 0x5678}));
    ASSERT_EQ(po.size(), 12);
    EXPECT_EQ(sim.pulseOutput(6 * 16 + 3), 0x12345678);
    QByteArray poImage = mb.transact(Frame(1, 3, 0x100, 256));
    EXPECT_EQ(Word(poImage, 9 + 2 * (6 * 32 + 6)), 0x1234);
    EXPECT_EQ(Word(poImage, 9 + 2 * (6 * 32 + 7)), 0x5678);
    // A coil value other than FF00 / 0000 is refused.
    QByteArray bad = mb.transact(Frame(1, 5, 33, 0x1234));
    EXPECT_EQ(static_cast<quint8>(bad[7]), 0x85);
    EXPECT_TRUE(sim.coil(33));
}

TEST_F(StationSimTest, FaultNoReplyDelayAndQueueOrder) {
    FaultRule swallow;
    swallow.function = 4;
    swallow.addressFirst = 0x8020;
    int lost = sim.addFault(swallow);
    mb.send(Frame(1, 4, 0x8020, 2));
    EXPECT_TRUE(mb.read(1, 300).isEmpty());
    EXPECT_EQ(sim.faultHits(lost), 1);
    // The rule hits once; the next request is answered.
    EXPECT_EQ(mb.transact(Frame(1, 4, 0x8020, 2)).size(), 13);

    FaultRule delay;
    delay.addressFirst = 0x8000;
    delay.kind = FaultKind::Delay;
    delay.delayMs = 250;
    sim.addFault(delay);
    QElapsedTimer t;
    t.start();
    // The delayed reply holds back the one behind it.
    mb.send(Frame(1, 4, 0x8000, 2) + Frame(1, 4, 0x8020, 2));
    QByteArray both = mb.read(26, 3000);
    EXPECT_GE(t.elapsed(), 240);
    ASSERT_EQ(both.size(), 26);
    EXPECT_EQ(Word(both, 9), 0x1001);
    EXPECT_EQ(Word(both, 13 + 9), 301);
}

TEST_F(StationSimTest, FaultRepeatSendsACopyAtItsOwnTime) {
    // A (0x8000) gets the Repeat rule, B (0x8020) behind it in the same
    // write a Delay; `order`: the frames as they arrive, C the copy of A.
    struct Case {
        int gapMs, delayBMs;
        const char* order;
    };
    for (Case c :
         {Case{300, 100, "ABC"}, Case{100, 300, "ACB"}, Case{0, 0, "ACB"}, Case{200, 0, "ABC"}}) {
        SCOPED_TRACE(testing::Message() << "gap " << c.gapMs << " delay " << c.delayBMs);
        sim.clearFaults();
        sim.clearLog();
        FaultRule repeat;
        repeat.addressFirst = 0x8000;
        repeat.kind = FaultKind::Repeat;
        repeat.delayMs = c.gapMs;
        sim.addFault(repeat);
        FaultRule late;
        late.addressFirst = 0x8020;
        late.kind = FaultKind::Delay;
        late.delayMs = c.delayBMs;
        sim.addFault(late);
        mb.send(Frame(1, 4, 0x8000, 2) + Frame(1, 4, 0x8020, 2));
        std::string order;
        for (int i = 0; i < 3; ++i) {
            const QByteArray r = mb.read(13, 3000);
            ASSERT_EQ(r.size(), 13) << i;
            order += Word(r, 9) == 301 ? 'B' : order.find('A') == std::string::npos ? 'A' : 'C';
        }
        EXPECT_EQ(order, c.order);
        EXPECT_TRUE(mb.read(1, 2 * c.gapMs + 100).isEmpty());  // one copy only
        // The log marks the copy and names the reply it repeats.
        QVector<LogEntry> sent;
        for (const LogEntry& e : sim.log())
            if (e.direction == Direction::Sent) sent.append(e);
        ASSERT_EQ(sent.size(), 3);
        const qsizetype copyAt = static_cast<qsizetype>(std::string(c.order).find('C'));
        for (qsizetype i = 0; i < 3; ++i) EXPECT_EQ(sent[i].copy, i == copyAt) << i;
        EXPECT_EQ(sent[copyAt].copyOf, sent[0].seq);
        EXPECT_EQ(sent[copyAt].bytes, sent[0].bytes);
        EXPECT_GE(sent[copyAt].msecs - sent[0].msecs, c.gapMs - 1);  // clocks in whole ms
    }
}

TEST_F(StationSimTest, FaultNoReplyEveryNthIsMarkedInTheLog) {
    FaultRule lose;
    lose.kind = FaultKind::NoReply;
    lose.every = 3;
    lose.count = -1;
    sim.addFault(lose);
    QByteArray requests;
    for (int i = 0; i < 7; ++i) requests += Frame(1, 4, 0x8020, 2);
    mb.send(requests);
    EXPECT_EQ(mb.read(4 * 13, 3000).size(), 4 * 13);
    EXPECT_TRUE(mb.read(1, 300).isEmpty());
    std::string got;
    for (const LogEntry& e : sim.received(Channel::Modbus)) got += e.swallowed ? 'N' : '.';
    EXPECT_EQ(got, "N..N..N");
}

TEST_F(StationSimTest, FaultServiceTimeAnswersOneRequestAfterTheOther) {
    FaultRule slow;
    slow.addressFirst = 0x8020;
    slow.kind = FaultKind::ServiceTime;
    slow.delayMs = 250;
    slow.count = -1;
    sim.addFault(slow);
    // Requests in one write, S (0x8020) matching the rule, U (0x8000) not;
    // `earliest`: each reply's earliest time after the send, in service times.
    struct Case {
        const char *requests, *earliest;
    };
    for (Case c : {Case{"SSS", "123"}, Case{"SUS", "112"}, Case{"USU", "011"}}) {
        SCOPED_TRACE(c.requests);
        QByteArray all;
        for (int i = 0; c.requests[i]; ++i)
            all += Frame(1, 4, c.requests[i] == 'S' ? 0x8020 : 0x8000, 2);
        QElapsedTimer t;
        t.start();
        mb.send(all);
        for (int i = 0; c.requests[i]; ++i) {
            const QByteArray r = mb.read(13, 5000);
            ASSERT_EQ(r.size(), 13);
            EXPECT_EQ(Word(r, 9), c.requests[i] == 'S' ? 301 : 0x1001);    // in order
            EXPECT_GE(t.elapsed(), (c.earliest[i] - '0') * 250 - 5) << i;  // clocks in whole ms
        }
    }
}

TEST_F(StationSimTest, FaultShortReplyCutsReadRepliesOnly) {
    struct Case {
        QByteArray request;
        int byteCount, kept;  // kept: the data bytes left; -1: the reply unchanged
    };
    for (const Case& c :
         {Case{Frame(1, 4, 0x8403, 16), 6, 6}, Case{Frame(1, 2, 0, 256), 3, 3},
          Case{Frame(1, 3, 0, 2), 10, 4}, Case{WriteFrame(1, 0x8000, {1, 4, 1}), 6, -1},
          Case{Frame(1, 4, 0x0180, 1), 6, -1}}) {
        QByteArray expected = mb.transact(c.request);
        FaultRule cut;
        cut.kind = FaultKind::ShortReply;
        cut.byteCount = c.byteCount;
        sim.addFault(cut);
        if (c.kept >= 0) {  // length and byte count say what is left
            expected.truncate(9 + c.kept);
            expected[4] = 0;
            expected[5] = static_cast<char>(3 + c.kept);
            expected[8] = static_cast<char>(c.kept);
        }
        EXPECT_EQ(mb.transact(c.request).toHex(), expected.toHex()) << c.request.toHex().data();
    }
}

TEST_F(StationSimTest, FaultsThatMangleTheReply) {
    FaultRule ex;
    ex.function = 4;
    ex.kind = FaultKind::Exception;
    ex.exceptionCode = 6;
    sim.addFault(ex);
    QByteArray r = mb.transact(Frame(1, 4, 0x8100, 8));
    ASSERT_EQ(r.size(), 9);
    EXPECT_EQ(static_cast<quint8>(r[7]), 0x84);
    EXPECT_EQ(static_cast<quint8>(r[8]), 6);

    FaultRule unit;
    unit.kind = FaultKind::WrongUnitId;
    sim.addFault(unit);
    r = mb.transact(Frame(1, 4, 0x8100, 8));
    ASSERT_EQ(r.size(), 9 + 16);
    EXPECT_EQ(static_cast<quint8>(r[6]), 2);

    FaultRule twice;
    twice.kind = FaultKind::DoubleReply;
    sim.addFault(twice);
    mb.send(Frame(1, 4, 0x8020, 2));
    QByteArray two = mb.read(26);
    ASSERT_EQ(two.size(), 26);
    EXPECT_EQ(two.left(13), two.mid(13));

    FaultRule tail;
    tail.kind = FaultKind::TrailingJunk;
    sim.addFault(tail);
    mb.send(Frame(1, 4, 0x8020, 2));
    const QByteArray tailed = mb.read(15);
    ASSERT_EQ(tailed.size(), 15);
    EXPECT_EQ(tailed.left(13), two.left(13));
    EXPECT_EQ(tailed.mid(13), QByteArray("\xDE\xAD"));

    FaultRule junk;
    junk.kind = FaultKind::Garbage;
    junk.garbage = "\x01\x02\x03";
    sim.addFault(junk);
    mb.send(Frame(1, 4, 0x8020, 2));
    EXPECT_EQ(mb.read(3), QByteArray("\x01\x02\x03"));
    EXPECT_EQ(mb.transact(Frame(1, 4, 0x8020, 2)).size(), 13);
}

TEST_F(StationSimTest, FaultSplitSendsPiecesWithPauses) {
    FaultRule split;
    split.kind = FaultKind::Split;
    split.pieces = 3;
    split.delayMs = 150;
    sim.addFault(split);
    QElapsedTimer t;
    t.start();
    mb.send(Frame(1, 4, 0x0000, 128));
    QByteArray first = mb.readSome();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_LT(first.size(), 265);
    QByteArray rest = mb.read(265 - static_cast<int>(first.size()), 2000);
    EXPECT_GE(t.elapsed(), 2 * 150 - 5);
    EXPECT_EQ(first.size() + rest.size(), 265);
    EXPECT_EQ(Word(first, 4), 259);
}

TEST_F(StationSimTest, FaultsThatCloseTheConnection) {
    FaultRule partial;
    partial.kind = FaultKind::ClosePartial;
    sim.addFault(partial);
    mb.send(Frame(1, 4, 0x8100, 8));
    QByteArray half = mb.read(25, 1000);
    EXPECT_GT(half.size(), 0);
    EXPECT_LT(half.size(), 25);
    EXPECT_TRUE(mb.waitClosed());

    RawClient again;
    ASSERT_TRUE(again.connectTo(sim.modbusPort()));
    FaultRule drop;
    drop.kind = FaultKind::CloseConnection;
    drop.command = 0x0001;  // NMT command
    drop.slot = 2;
    sim.addFault(drop);
    // Another slot's command passes; slot 2's closes the connection unanswered.
    EXPECT_EQ(again.transact(WriteFrame(1, 0x8000, {0x0001, 4, 1})).size(), 12);
    again.send(WriteFrame(1, 0x8000, {0x0001, 2, 1}));
    EXPECT_TRUE(again.read(1, 500).isEmpty());
    EXPECT_TRUE(again.waitClosed());
    EXPECT_EQ(sim.station().slot[2].nmtState, NmtOperation);  // the lost command did nothing
    EXPECT_EQ(sim.station().slot[4].nmtState, NmtPreOperation);
}

TEST_F(StationSimTest, UpgradeOverTheWireSurvivesAConnectionDrop) {
    SlotBehaviour b;
    b.chunkAcceptMs = 5;
    b.resetDelayMs = 50;
    sim.setSlotBehaviour(2, b);
    const std::array<quint8, 64> table = {1, 2, 3, 4, 5, 6, 7, 8};  // the tool's own table
    sim.setScrambleTable(table);
    QByteArray image;
    for (int i = 0; i < 600; ++i) image.append(static_cast<char>(i * 13 + 5));
    const auto chunks = ChunkWrites(image, 2, table);
    ASSERT_EQ(chunks.size(), 5);
    // The third chunk write never arrives: the connection closes instead.
    FaultRule drop;
    drop.kind = FaultKind::CloseConnection;
    drop.function = 16;
    drop.addressFirst = 0x0200;
    drop.command = 0x8000;
    drop.slot = 2;
    drop.skip = 2;
    sim.addFault(drop);

    auto reg = [](RawClient& c, int address) {
        QByteArray r = c.transact(Frame(1, 4, address, 1));
        return r.size() == 11 ? Word(r, 9) : -1;
    };
    EXPECT_EQ(reg(mb, 0x0242), 0x004A);
    EXPECT_EQ(reg(mb, 0x0252), 32);
    ASSERT_EQ(mb.transact(WriteFrame(1, 0x8000, {0x0001, 2, 1})).size(), 12);
    ASSERT_EQ(mb.transact(WriteFrame(1, 0x8000, {0x0080, 2, 3})).size(), 12);
    EXPECT_EQ(reg(mb, 0x0252), 8);
    ASSERT_EQ(mb.transact(WriteFrame(1, 0x8000, {0x0081, 2, 0, 0, 600})).size(), 12);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(mb.transact(WriteFrame(1, 0x0200, chunks[i])).size(), 12);
        nxsim_test::WaitMs(20);
        QByteArray st = mb.transact(Frame(1, 4, 0x1600, 2));
        ASSERT_EQ(st.size(), 13);
        EXPECT_EQ(Word(st, 9), 2);
    }
    mb.send(WriteFrame(1, 0x0200, chunks[2]));
    EXPECT_TRUE(mb.waitClosed());
    EXPECT_EQ(sim.firmware(2).chunks, 2);
    EXPECT_EQ(sim.firmware(2).image, image.left(256));

    // A second run finds the module still in its bootloader and starts over.
    RawClient again;
    ASSERT_TRUE(again.connectTo(sim.modbusPort()));
    EXPECT_EQ(reg(again, 0x0252), 8);
    ASSERT_EQ(again.transact(WriteFrame(1, 0x8000, {0x0081, 2, 0, 0, 600})).size(), 12);
    for (const auto& c : chunks) ASSERT_EQ(again.transact(WriteFrame(1, 0x0200, c)).size(), 12);
    ASSERT_EQ(again.transact(WriteFrame(1, 0x8000, {0x0080, 2, 1})).size(), 12);
    ASSERT_EQ(again.transact(WriteFrame(1, 0x8000, {0x0080, 2, 2})).size(), 12);
    EXPECT_EQ(reg(again, 0x0252), NmtBootupOk);
    nxsim_test::WaitMs(100);
    EXPECT_EQ(reg(again, 0x0252), NmtOperation);
    FirmwareUpload fw = sim.firmware(2);
    EXPECT_TRUE(fw.finished);
    EXPECT_EQ(fw.image, image);
    EXPECT_EQ(fw.resets, 1);
}

TEST_F(StationSimTest, LargestHartRequestIsTakenOverTheWire) {
    // 238 HART bytes: Length 255 (the whole Length byte), 124 registers.
    QVector<quint16> regs = {0x4000, 2 * 256 + 3, 238, 0, 0};
    QByteArray hart;
    for (int k = 0; k < 238; ++k) hart.append(static_cast<char>(0xFF - k));
    for (int k = 0; k < 238; k += 2)
        regs.append(static_cast<quint16>((static_cast<quint8>(hart[k + 1]) << 8) |
                                         static_cast<quint8>(hart[k])));
    const QByteArray frame = WriteFrame(1, 0x0200, regs);
    ASSERT_EQ(frame.size(), 261);
    ASSERT_EQ(Word(frame, 4), 255);
    const QByteArray r = mb.transact(frame);
    ASSERT_EQ(r.size(), 12);
    EXPECT_EQ(static_cast<quint8>(r[7]), 0x10);
    EXPECT_EQ(Word(r, 8), 0x0200);
    EXPECT_EQ(Word(r, 10), 124);
    const auto requests = sim.hartRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].slot, 2);
    EXPECT_EQ(requests[0].channel, 3);
    EXPECT_EQ(requests[0].data, hart);
    // The connection goes on serving.
    EXPECT_EQ(mb.transact(Frame(1, 4, 0x8020, 2)).size(), 13);
}

TEST_F(StationSimTest, MalformedHeaderDropsTheConnection) {
    QByteArray bad = Frame(1, 4, 0, 1);
    bad[2] = 0x55;  // protocol id other than 0
    mb.send(bad);
    EXPECT_TRUE(mb.waitClosed());
    auto rx = sim.received(Channel::Modbus);
    ASSERT_FALSE(rx.isEmpty());
    EXPECT_EQ(rx.last().bytes, bad);
}

TEST_F(StationSimTest, TextFaults) {
    FaultRule refuse;
    refuse.channel = Channel::Text;
    refuse.textPrefix = "19!getfwver";
    refuse.kind = FaultKind::TextRefuse;
    sim.addFault(refuse);
    FaultRule silent;
    silent.channel = Channel::Text;
    silent.textPrefix = "19!getnetid";
    silent.skip = 1;
    silent.count = -1;
    sim.addFault(silent);
    EXPECT_EQ(tx.text("19!getfwver"), "-1");
    EXPECT_EQ(tx.text("19!getfwver"), "301");
    EXPECT_EQ(tx.text("19!getnetid"), "1");      // skipped once
    EXPECT_EQ(tx.text("19!getnetid", 300), "");  // then never answered
    EXPECT_EQ(tx.text("19!getnetid", 300), "");
    EXPECT_EQ(tx.text("19!controller"), "NX-4410");
}

TEST_F(StationSimTest, RequestLogKeepsBothChannelsInOrder) {
    sim.clearLog();
    tx.text("19!controller");
    mb.transact(Frame(1, 4, 0x8020, 2));
    tx.text("19!getnetid");
    mb.transact(WriteFrame(1, 0x8000, {0x0001, 0, 1}));
    ASSERT_TRUE(sim.waitForLog([](const QVector<LogEntry>& log) { return log.size() >= 8; }, 2000));
    auto rx = sim.log();
    QVector<LogEntry> received;
    for (const auto& e : rx)
        if (e.direction == Direction::Received) received.append(e);
    ASSERT_EQ(received.size(), 4);
    EXPECT_EQ(received[0].channel, Channel::Text);
    EXPECT_EQ(received[0].bytes, "19!controller");
    EXPECT_EQ(received[1].channel, Channel::Modbus);
    EXPECT_EQ(received[1].function, 4);
    EXPECT_EQ(received[1].address, 0x8020);
    EXPECT_EQ(received[1].quantity, 2);
    EXPECT_EQ(received[2].bytes, "19!getnetid");
    EXPECT_EQ(received[3].function, 16);
    EXPECT_EQ(received[3].values, (QVector<quint16>{1, 0, 1}));
    for (int i = 1; i < rx.size(); ++i) EXPECT_GT(rx[i].seq, rx[i - 1].seq);
    EXPECT_EQ(sim.received(Channel::Text).size(), 2);
    auto tail = sim.logSince(rx[rx.size() - 3].seq);
    ASSERT_EQ(tail.size(), 2);
    EXPECT_EQ(tail[0].seq, rx[rx.size() - 2].seq);
    EXPECT_TRUE(sim.logSince(rx.last().seq).isEmpty());
}

TEST_F(StationSimTest, SeveralClientsAtOnce) {
    RawClient a, b;
    ASSERT_TRUE(a.connectTo(sim.modbusPort()));
    ASSERT_TRUE(b.connectTo(sim.modbusPort()));
    a.send(Frame(1, 4, 0x8020, 2));
    b.send(Frame(1, 4, 0x8000, 2));
    EXPECT_EQ(Word(a.read(13), 9), 301);
    EXPECT_EQ(Word(b.read(13), 9), 0x1001);
    auto rx = sim.received(Channel::Modbus);
    ASSERT_GE(rx.size(), 2);
    EXPECT_NE(rx[rx.size() - 1].connection, rx[rx.size() - 2].connection);
}

TEST(StationSimStart, BusyPortIsReported) {
    QTcpServer busy;
    ASSERT_TRUE(busy.listen(QHostAddress::LocalHost, 0));
    StationSim sim;
    SimOptions opt;
    opt.modbusPort = busy.serverPort();
    QString error;
    EXPECT_FALSE(sim.start(opt, &error));
    EXPECT_TRUE(error.contains(QString::number(busy.serverPort()))) << error.toStdString();
    EXPECT_FALSE(sim.isRunning());
    // Stopping and restarting on free ports works.
    opt.modbusPort = 0;
    EXPECT_TRUE(sim.start(opt, &error));
    sim.stop();
    sim.stop();
}

TEST(StationSimStart, LiveInputsMove) {
    StationSim sim;
    ASSERT_TRUE(sim.start());
    RawClient mb;
    ASSERT_TRUE(mb.connectTo(sim.modbusPort()));
    // The KB-521 of the default station sits in slot 2 (AI index 32..39), the
    // KB-580 in slot 5 (PI pairs 80..87).
    QByteArray a = mb.transact(Frame(1, 4, 0, 128));
    QByteArray pa = mb.transact(Frame(1, 4, 0x80, 256));
    nxsim_test::WaitMs(600);
    QByteArray b = mb.transact(Frame(1, 4, 0, 128));
    QByteArray pb = mb.transact(Frame(1, 4, 0x80, 256));
    EXPECT_NE(b.mid(9 + 64, 16), a.mid(9 + 64, 16));
    EXPECT_NE(pb.mid(9 + 4 * 80, 32), pa.mid(9 + 4 * 80, 32));
    // Counter clear sets the counter of channel 0 back.
    ASSERT_EQ(mb.transact(WriteFrame(1, 0x8000, {0x0060, 5, 1})).size(), 12);
    EXPECT_LT(sim.pulseInput(5 * 16), sim.pulseInput(5 * 16 + 7));
}

#ifdef NXSIM_PROGRAM
namespace {

// Starts nxsim on free loopback ports; returns the Modbus and text ports it
// reports (0 when it does not).
std::array<quint16, 2> StartNxsim(QProcess& p, const QStringList& options) {
    p.start(
        NXSIM_PROGRAM,
        QStringList{"--address", "127.0.0.1", "--modbus-port", "0", "--text-port", "0"} + options);
    QByteArray out;
    while (!out.contains("text-port=") && p.waitForReadyRead(5000))
        out += p.readAllStandardOutput();
    std::array<quint16, 2> ports{};
    for (const QByteArray& line : out.split('\n'))
        for (int i : {0, 1})
            if (line.startsWith(i == 0 ? "modbus-port=" : "text-port="))
                ports[i] = static_cast<quint16>(line.mid(line.indexOf('=') + 1).toUInt());
    return ports;
}

}  // namespace

TEST(NxsimProgram, PicksFreePortsAndServes) {
    QProcess p;
    const auto [mp, tp] = StartNxsim(
        p, {"--net-id", "9", "--slot", "7:KB-510", "--mcu-version", "200", "--reply-delay", "20"});
    RawClient mb, tx;
    ASSERT_TRUE(mb.connectTo(mp));
    ASSERT_TRUE(tx.connectTo(tp));
    EXPECT_EQ(tx.text("19!getnetid"), "9");
    QByteArray ids = mb.transact(Frame(9, 4, 0x8100, 8));
    ASSERT_EQ(ids.size(), 25);
    EXPECT_EQ(Word(ids, 9 + 14), 0x0020);  // KB-510 in slot 7
    QByteArray versions = mb.transact(Frame(9, 4, 0x8020, 2));
    ASSERT_EQ(versions.size(), 13);
    EXPECT_EQ(Word(versions, 9), 200);
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(5000));
}

TEST(NxsimProgram, BadStationFileIsReportedClearly) {
    QProcess p;
    p.start(NXSIM_PROGRAM, {"--station", "/nonexistent/station.txt"});
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("cannot read station file"));
    QProcess q;
    q.start(NXSIM_PROGRAM, {"--address", "0.0.0.0"});
    ASSERT_TRUE(q.waitForFinished(5000));
    EXPECT_EQ(q.exitCode(), 2);
    EXPECT_TRUE(q.readAllStandardError().contains("loopback"));
    for (const QStringList& args :
         {QStringList{"--reply-delay", "-5"}, QStringList{"--reply-delay", "abc"},
          QStringList{"--service-time", "-5"}, QStringList{"--service-time", "60001"},
          QStringList{"--service-time", "9", "--reply-delay", "9"},
          QStringList{"--lose-every", "0"}, QStringList{"--repeat-every", "x"},
          QStringList{"--repeat-gap", "-1"},
          QStringList{"--repeat-every", "5", "--reply-delay", "9"}}) {
        QProcess r;
        r.start(NXSIM_PROGRAM, args);
        ASSERT_TRUE(r.waitForFinished(5000));
        EXPECT_EQ(r.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.readAllStandardError().contains(args[0].toLatin1()))
            << args.join(' ').toStdString();
    }
}

TEST(NxsimProgram, LosesAndRepeatsOneReplyInN) {
    QProcess p;
    RawClient mb;
    ASSERT_TRUE(mb.connectTo(
        StartNxsim(p, {"--lose-every", "3", "--repeat-every", "2", "--repeat-gap", "50"})[0]));
    // Requests 1, 4 and 7 are lost; of the other four (2, 3, 5, 6), the
    // 1st and 3rd (2 and 5) are answered twice.
    QByteArray requests;
    for (int i = 0; i < 7; ++i) requests += Frame(1, 4, 0x8020, 2);
    mb.send(requests);
    EXPECT_EQ(mb.read(6 * 13, 5000).size(), 6 * 13);
    EXPECT_TRUE(mb.read(1, 300).isEmpty());
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(5000));
}

TEST(NxsimProgram, ServiceTimeServesModbusRequestsInTurn) {
    QProcess p;
    RawClient mb;
    ASSERT_TRUE(mb.connectTo(StartNxsim(p, {"--service-time", "300"})[0]));
    QElapsedTimer t;
    t.start();
    mb.send(Frame(1, 4, 0x8020, 2) + Frame(1, 4, 0x8000, 2));
    EXPECT_EQ(mb.read(26, 5000).size(), 26);
    EXPECT_GE(t.elapsed(), 2 * 300 - 5);  // the second request waited for the first
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(5000));
}
#endif
