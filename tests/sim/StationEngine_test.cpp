// The station's behaviour without sockets: framing helpers, the module
// command mailbox, the firmware upgrade, HART and the text commands.
#include "sim/StationEngine.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <thread>

#include "RawClient.h"

using namespace nxsim;
using nxsim_test::ChunkWrites;
using nxsim_test::Frame;
using nxsim_test::Word;
using nxsim_test::WriteFrame;

namespace {

SimOptions Options() {
    SimOptions o;
    o.liveInputs = false;
    return o;
}

class SimEngineTest : public ::testing::Test {
  protected:
    QByteArray ask(const QByteArray& frame) { return engine.handleModbus(DecodeModbus(frame)); }
    QByteArray command(const QVector<quint16>& regs) { return ask(WriteFrame(1, 0x8000, regs)); }
    // 0 for a normal reply, else the exception code.
    int outcome(const QByteArray& reply) {
        return (static_cast<quint8>(reply[7]) & 0x80) ? static_cast<quint8>(reply[8]) : 0;
    }
    QVector<quint16> read(int address, int quantity, int function = 4) {
        QByteArray r = ask(Frame(1, function, address, quantity));
        QVector<quint16> out;
        if (outcome(r)) return out;
        for (int i = 9; i + 1 < r.size(); i += 2) out.append(Word(r, i));
        return out;
    }
    StationEngine engine{Options()};
};

}  // namespace

TEST(SimFraming, FrameLengthAndTextSplitting) {
    QByteArray f = Frame(1, 4, 0, 2);
    EXPECT_EQ(ModbusFrameLength(f.left(6)), 0);
    EXPECT_EQ(ModbusFrameLength(f.left(11)), 0);
    EXPECT_EQ(ModbusFrameLength(f), 12);
    EXPECT_EQ(ModbusFrameLength(f + f), 12);
    QByteArray bad = f;
    bad[5] = 1;  // length 1 cannot hold unit id and function
    EXPECT_EQ(ModbusFrameLength(bad), -1);

    QByteArray buf = "19!getnetid19!setnetid 12\r\n19!controller19!get";
    auto cmds = SplitTextCommands(buf);
    ASSERT_EQ(cmds.size(), 3);
    EXPECT_EQ(cmds[0], "19!getnetid");
    EXPECT_EQ(cmds[1], "19!setnetid 12\r\n");
    EXPECT_EQ(cmds[2], "19!controller");
    EXPECT_EQ(buf, "19!get");  // waits for the rest
    buf += "fwver";
    cmds = SplitTextCommands(buf);
    ASSERT_EQ(cmds.size(), 1);
    EXPECT_EQ(cmds[0], "19!getfwver");
    EXPECT_TRUE(buf.isEmpty());
    buf = "hello";
    cmds = SplitTextCommands(buf);
    ASSERT_EQ(cmds.size(), 1);
    EXPECT_EQ(cmds[0], "hello");
}

TEST_F(SimEngineTest, SetNetIdParsesStrictly) {
    EXPECT_EQ(engine.handleText("19!setnetid 12\r\n"), "12");
    EXPECT_EQ(engine.handleText("19!setnetid 12.5"), "-1");
    EXPECT_EQ(engine.handleText("19!setnetid -3"), "-1");
    EXPECT_EQ(engine.handleText("19!setnetid 00000000000000000000000000007"), "-1");
    EXPECT_EQ(engine.handleText("19!setnetid "), "-1");
    EXPECT_EQ(engine.netId(), 12);
}

TEST_F(SimEngineTest, DownloadSeriesIsReadBackByUpload) {
    // Slot 4 holds a KB-552 (AO, 8 channels).
    EXPECT_EQ(outcome(command({0x0001, 4, 1})), 0);
    EXPECT_EQ(outcome(command({0x0010, 4, 1})), 0);
    EXPECT_EQ(outcome(command({0x0011, 4, 1})), 0);
    QVector<quint16> range = {0x0040, 4, 0, 8, 51, 52, 51, 52, 51, 52, 51, 52};
    EXPECT_EQ(outcome(command(range)), 0);
    EXPECT_EQ(outcome(command({0x0051, 4, 0x00FF, 0x0102})), 0);
    QVector<quint16> alarms = {0x0042, 4, 0, 8};
    for (int c = 0; c < 8; ++c)
        alarms << static_cast<quint16>(-100 - c) << static_cast<quint16>(9000 + c);
    EXPECT_EQ(outcome(command(alarms)), 0);
    EXPECT_EQ(outcome(command({0x0043, 4, 0x00F0})), 0);
    QVector<quint16> powerOn = {0x0030, 4, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(outcome(command(powerOn)), 0);
    QVector<quint16> modes = {0x0032, 4, 0, 8, 0x0102, 0x0201, 0, 0, 0, 0, 0, 0x0303};
    EXPECT_EQ(outcome(command(modes)), 0);
    EXPECT_EQ(outcome(command({0x0001, 4, 2})), 0);

    EXPECT_EQ(read(0x8404, 8), (QVector<quint16>{51, 52, 51, 52, 51, 52, 51, 52}));
    EXPECT_EQ(read(0x8710 + 4, 2), (QVector<quint16>{0x00FF, 0x0102}));
    QVector<quint16> low = read(0x8430 + 4, 8), high = read(0x8440 + 4, 8);
    ASSERT_EQ(low.size(), 8);
    EXPECT_EQ(static_cast<qint16>(low[7]), -107);
    EXPECT_EQ(high[7], 9007);
    EXPECT_EQ(read(0x8450 + 4, 1), (QVector<quint16>{0x00F0}));
    EXPECT_EQ(read(0x8300 + 4, 8), (QVector<quint16>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(read(0x8320 + 4, 2), (QVector<quint16>{0x0102, 0x0201}));
    EXPECT_EQ(read(0x8140, 8)[4], 0x0100);  // duplex
    EXPECT_EQ(read(0x8150, 8)[4], 1);
    EXPECT_EQ(read(0x8120, 8)[4], 32);
    EXPECT_EQ(read(0x0258 + 4, 1)[0], 1);  // even slot of a duplex pair: master
}

TEST_F(SimEngineTest, FamilyCommandsOfEveryKind) {
    for (int s : {1, 3, 5, 6}) EXPECT_EQ(outcome(command({0x0001, static_cast<quint16>(s), 1})), 0);
    // DO: power-on/safe masks and fault mode.
    EXPECT_EQ(outcome(command({0x0020, 1, 0x00AA, 0x5555, 0x0001, 0x8000})), 0);
    EXPECT_EQ(outcome(command({0x0021, 1, 0x0102})), 0);
    EXPECT_EQ(read(0x8201, 2), (QVector<quint16>{0x00AA, 0x5555}));
    EXPECT_EQ(read(0x8211, 2), (QVector<quint16>{0x0001, 0x8000}));
    EXPECT_EQ(read(0x8221, 1), (QVector<quint16>{0x0102}));
    // Thermocouple: scaling, CJC and filter (filter word: high byte from the second word).
    QVector<quint16> scale = {0x0041, 3, 0, 2, static_cast<quint16>(-100), 500, 0, 1000};
    EXPECT_EQ(outcome(command(scale)), 0);
    EXPECT_EQ(outcome(command({0x0050, 3, 1, 25})), 0);
    EXPECT_EQ(outcome(command({0x0052, 3, 0x0003, 0x0007, 60})), 0);
    EXPECT_EQ(read(0x8413, 2), (QVector<quint16>{0xFF9C, 0}));
    EXPECT_EQ(read(0x8423, 2), (QVector<quint16>{500, 1000}));
    EXPECT_EQ(read(0x8703, 2), (QVector<quint16>{1, 25}));
    EXPECT_EQ(read(0x8463, 2), (QVector<quint16>{0x0703, 60}));
    // PI: interval, filter configuration, impedance.
    EXPECT_EQ(outcome(command({0x0061, 5, 0, 100})), 0);
    EXPECT_EQ(outcome(command({0x0062, 5, 0x0081, 0, 0x4005})), 0);
    EXPECT_EQ(outcome(command({0x0063, 5, 1, 2})), 0);
    EXPECT_EQ(read(0x8605, 6), (QVector<quint16>{0x0081, 0x4005, 0, 100, 1, 2}));
    // PO: offset with PWM count, cycle with duty, fault mode.
    EXPECT_EQ(outcome(command({0x0071, 6, 0, 1, 65535, 7})), 0);
    EXPECT_EQ(outcome(command({0x0072, 6, 0, 1, 10, 5})), 0);
    EXPECT_EQ(outcome(command({0x0073, 6, 0, 1, 2})), 0);
    EXPECT_EQ(outcome(command({0x0070, 6, 0, 1, 3000})), 0);
    EXPECT_EQ(read(0x8516, 1), (QVector<quint16>{65535}));
    EXPECT_EQ(read(0x8556, 1), (QVector<quint16>{7}));
    EXPECT_EQ(read(0x8526, 1), (QVector<quint16>{10}));
    EXPECT_EQ(read(0x8536, 1), (QVector<quint16>{5}));
    EXPECT_EQ(read(0x8546, 1), (QVector<quint16>{2}));
    EXPECT_EQ(read(0x8506, 1), (QVector<quint16>{3000}));
}

TEST_F(SimEngineTest, CommandsAreCheckedBeforeTheyChangeAnything) {
    // Settings outside PREOPERATION: device failure.
    EXPECT_EQ(outcome(command({0x0011, 2, 1})), ExDeviceFailure);
    EXPECT_EQ(read(0x8150, 8)[2], 0);
    EXPECT_EQ(outcome(command({0x0001, 2, 1})), 0);
    // Count word that does not match the register count.
    EXPECT_EQ(outcome(command({0x0040, 2, 0, 3, 7, 7})), ExIllegalValue);
    EXPECT_EQ(outcome(command({0x0040, 2, 1, 1, 7})), ExIllegalValue);
    // A command for another kind of module.
    EXPECT_EQ(outcome(command({0x0020, 2, 1, 2, 3, 4})), ExIllegalValue);
    EXPECT_EQ(outcome(command({0x0050, 2, 1, 0})), ExIllegalValue);
    // Unknown command, NMT value, slot out of range, empty slot.
    EXPECT_EQ(outcome(command({0x00EE, 2, 0})), ExIllegalValue);
    EXPECT_EQ(outcome(command({0x0001, 2, 7})), ExIllegalValue);
    EXPECT_EQ(outcome(command({0x0001, 8, 1})), ExIllegalAddress);
    engine.updateStation([](StationConfig& st) { st.setModule(2, 0); });
    EXPECT_EQ(outcome(command({0x0001, 2, 1})), ExIllegalAddress);
    EXPECT_EQ(outcome(ask(Frame(1, 4, 0x8402, 8))), ExIllegalAddress);
    // A byte count that disagrees with the quantity.
    QByteArray f = WriteFrame(1, 0x8000, {0x0001, 3, 1});
    f[12] = 4;
    EXPECT_EQ(outcome(ask(f)), ExIllegalValue);
    EXPECT_EQ(read(0x8120, 8)[3], 32);
}

TEST_F(SimEngineTest, ChecksCanBeRelaxed) {
    SimOptions o = Options();
    o.requirePreOp = false;
    o.anyUnitId = true;
    StationEngine relaxed(o);
    QByteArray r = relaxed.handleModbus(DecodeModbus(WriteFrame(1, 0x8000, {0x0011, 2, 1})));
    EXPECT_EQ(static_cast<quint8>(r[7]), 0x10);
    r = relaxed.handleModbus(DecodeModbus(Frame(77, 4, 0x8020, 2)));
    ASSERT_EQ(r.size(), 13);
    EXPECT_EQ(static_cast<quint8>(r[6]), 77);
    EXPECT_EQ(outcome(ask(Frame(77, 4, 0x8020, 2))), ExGatewayTargetFailed);
}

TEST_F(SimEngineTest, RedundancySwitchNeedsAnOperatingDuplexPair) {
    EXPECT_EQ(outcome(command({0x0000, 2, 5})), ExDeviceFailure);  // single modules
    engine.updateStation([](StationConfig& st) {
        st.setModule(3, 0x004A);
        st.slot[2].redundancy = st.slot[3].redundancy = 0x0100;
    });
    EXPECT_EQ(outcome(command({0x0000, 3, 4})), ExIllegalValue);
    EXPECT_EQ(outcome(command({0x0000, 3, 5})), 0);
    EXPECT_EQ(read(0x0258, 8).mid(2, 2), (QVector<quint16>{2, 5}));
}

TEST_F(SimEngineTest, TcpTimeoutCommand) {
    EXPECT_EQ(outcome(ask(WriteFrame(1, 0x9000, {0x0010, 0, 3600}))), 0);
    EXPECT_EQ(read(0x0229, 1)[0], 3600);
    EXPECT_EQ(outcome(ask(WriteFrame(1, 0x9000, {0x0010, 0, 4}))), ExIllegalValue);
    EXPECT_EQ(outcome(ask(WriteFrame(1, 0x9000, {0x0011, 0, 60}))), ExIllegalValue);
    EXPECT_EQ(read(0x0200, 42)[41], 3600);
}

TEST_F(SimEngineTest, FirmwareUpgradeReassemblesTheImage) {
    const auto table = StationSim::DefaultScrambleTable();
    SlotBehaviour b;
    b.chunkAcceptMs = 0;
    b.resetDelayMs = 0;
    engine.setSlotBehaviour(6, b);
    QByteArray image;
    for (int i = 0; i < 513; ++i) image.append(static_cast<char>((i * 7 + i / 256) & 0xFF));

    EXPECT_EQ(read(0x0240 + 6, 1)[0], 0x00F1);
    EXPECT_EQ(outcome(command({0x0080, 6, 3})), ExDeviceFailure);  // not pre-operational
    EXPECT_EQ(outcome(command({0x0081, 6, 0, 0, 513})), ExDeviceFailure);
    EXPECT_EQ(outcome(command({0x0001, 6, 1})), 0);
    EXPECT_EQ(outcome(command({0x0080, 6, 3})), 0);
    EXPECT_EQ(read(0x0250 + 6, 1)[0], NmtFwUpdate);
    EXPECT_EQ(outcome(command({0x0080, 6, 1})), ExDeviceFailure);  // nothing received yet
    EXPECT_EQ(outcome(command({0x0081, 6, 0, 0, 513})), 0);

    const auto writes = ChunkWrites(image, 6, table);
    ASSERT_EQ(writes.size(), 5);  // 128, 128, 128, 128, 1
    EXPECT_EQ(writes.last().size(), 4);
    for (const auto& w : writes) {
        EXPECT_EQ(outcome(ask(WriteFrame(1, 0x0200, w))), 0);
        EXPECT_EQ(read(0x1400 + 0x600, 2), (QVector<quint16>{2, 0}));
    }
    FirmwareUpload fw = engine.firmware(6);
    EXPECT_EQ(fw.expectedSize, 513u);
    EXPECT_EQ(fw.chunks, 5);
    EXPECT_EQ(fw.image, image);
    EXPECT_EQ(fw.rawChunks[0], image.left(128));  // the first chunk of a block goes out plain
    EXPECT_NE(fw.rawChunks[1], image.mid(128, 128));

    EXPECT_EQ(outcome(command({0x0080, 6, 1})), 0);
    EXPECT_TRUE(engine.firmware(6).finished);
    EXPECT_EQ(outcome(command({0x0080, 6, 2})), 0);
    EXPECT_EQ(read(0x0250 + 6, 1)[0], NmtOperation);
    EXPECT_EQ(engine.firmware(6).resets, 1);
}

TEST_F(SimEngineTest, FirmwareMisbehaviours) {
    SlotBehaviour b;
    b.chunkAcceptMs = 0;
    b.stallFromChunk = 1;
    b.returnToOperation = false;
    engine.setSlotBehaviour(2, b);
    ASSERT_EQ(outcome(command({0x0001, 2, 1})), 0);
    ASSERT_EQ(outcome(command({0x0080, 2, 3})), 0);
    ASSERT_EQ(outcome(command({0x0081, 2, 0, 0, 300})), 0);
    const auto writes = ChunkWrites(QByteArray(300, 'x'), 2, StationSim::DefaultScrambleTable());
    ASSERT_EQ(writes.size(), 3);  // 128, 128, 44
    ask(WriteFrame(1, 0x0200, writes[0]));
    EXPECT_EQ(read(0x1600, 2)[0], 2);
    ask(WriteFrame(1, 0x0200, writes[1]));
    EXPECT_EQ(read(0x1600, 2)[0], 1);  // stays "processing"
    // A chunk that overruns the announced size is flagged.
    ask(WriteFrame(1, 0x0200, writes[2]));
    ask(WriteFrame(1, 0x0200, writes[2]));
    EXPECT_EQ(read(0x1600, 2)[0], 3);
    // A bad chunk length is refused.
    EXPECT_EQ(outcome(ask(WriteFrame(1, 0x0200, {0x8000, 2, 129}))), ExIllegalValue);
    // Reset without return to OPERATION.
    EXPECT_EQ(outcome(command({0x0080, 2, 2})), 0);
    EXPECT_EQ(read(0x0252, 1)[0], NmtBootupOk);

    SlotBehaviour slow;
    slow.bootloaderDelayMs = 200;
    engine.setSlotBehaviour(3, slow);
    ASSERT_EQ(outcome(command({0x0001, 3, 1})), 0);
    ASSERT_EQ(outcome(command({0x0080, 3, 3})), 0);
    EXPECT_EQ(read(0x0253, 1)[0], NmtPreOperation);
    nxsim_test::WaitMs(300);
    EXPECT_EQ(read(0x0253, 1)[0], NmtFwUpdate);
}

TEST_F(SimEngineTest, HartMailboxFillsTheReplyArea) {
    SlotBehaviour b;
    b.hartReplyMs = 0;
    engine.setSlotBehaviour(2, b);
    // FF FF FF FF FF 02 80 00 00 82, first byte of each pair in the low half.
    QVector<quint16> req = {0x4000, 2 * 256 + 1, 10, 0, 0, 0xFFFF, 0xFFFF, 0x02FF, 0x0080, 0x8200};
    EXPECT_EQ(outcome(ask(WriteFrame(1, 0x0200, req))), 0);
    ASSERT_EQ(engine.hartRequests().size(), 1);
    EXPECT_EQ(engine.hartRequests()[0].data, QByteArray::fromHex("FFFFFFFFFF0280000082"));
    EXPECT_EQ(engine.hartRequests()[0].channel, 1);
    QVector<quint16> area = read(0x1600, 256);
    ASSERT_EQ(area.size(), 256);
    EXPECT_EQ(area[0], 2);  // FINISH
    EXPECT_EQ(area[1], 0);
    const int len = area[2];
    QByteArray data;
    for (int i = 0; i < len; ++i)
        data.append(static_cast<char>(i % 2 == 0 ? area[5 + i / 2] & 0xFF : area[5 + i / 2] >> 8));
    ASSERT_GE(data.size(), 5);
    EXPECT_EQ(static_cast<quint8>(data[0]), 0x06);  // acknowledge of the short frame
    EXPECT_EQ(static_cast<quint8>(data[1]), 0x80);
    EXPECT_EQ(static_cast<quint8>(data[2]), 0x00);
    quint8 x = 0;
    for (int i = 0; i + 1 < data.size(); ++i) x ^= static_cast<quint8>(data[i]);
    EXPECT_EQ(x, static_cast<quint8>(data.back()));

    // A wrong check byte, and a module that takes no HART.
    req[9] = 0x8300;
    ask(WriteFrame(1, 0x0200, req));
    EXPECT_EQ(read(0x1600, 2), (QVector<quint16>{3, 17}));
    req[1] = 0 * 256 + 1;  // slot 0: KB-560
    engine.setSlotBehaviour(0, b);
    ask(WriteFrame(1, 0x0200, req));
    EXPECT_EQ(read(0x1400, 2), (QVector<quint16>{3, 100}));
    // A register count that does not fit the byte count.
    req.removeLast();
    EXPECT_EQ(outcome(ask(WriteFrame(1, 0x0200, req))), ExIllegalValue);
}

TEST_F(SimEngineTest, HartReplyTakesItsTime) {
    engine.setHartResponse(4, QByteArray::fromHex("A1B2C3"));
    QVector<quint16> req = {0x4000, 4 * 256, 10, 0, 0, 0xFFFF, 0xFFFF, 0x02FF, 0x0080, 0x8200};
    ask(WriteFrame(1, 0x0200, req));
    EXPECT_EQ(read(0x1800, 1)[0], 1);  // PROCESSING
    nxsim_test::WaitMs(120);
    QVector<quint16> area = read(0x1800, 8);
    EXPECT_EQ(area[0], 2);
    EXPECT_EQ(area[2], 3);
    EXPECT_EQ(area[5], 0xB2A1);
    EXPECT_EQ(area[6], 0x00C3);
}

TEST_F(SimEngineTest, FaultRulesMatchBySkipCountAndFields) {
    FaultRule r;
    r.function = 16;
    r.command = 0x8000;  // firmware chunks in the mailbox
    r.slot = 3;
    r.skip = 2;
    r.count = 1;
    int id = engine.addFault(r);
    auto chunk = DecodeModbus(WriteFrame(1, 0x0200, {0x8000, 3, 2, 0x0102}));
    auto other = DecodeModbus(WriteFrame(1, 0x0200, {0x8000, 4, 2, 0x0102}));
    EXPECT_FALSE(engine.takeFault(Channel::Modbus, &other, {}));
    EXPECT_FALSE(engine.takeFault(Channel::Modbus, &chunk, {}));
    EXPECT_FALSE(engine.takeFault(Channel::Modbus, &chunk, {}));
    EXPECT_TRUE(engine.takeFault(Channel::Modbus, &chunk, {}));
    EXPECT_FALSE(engine.takeFault(Channel::Modbus, &chunk, {}));
    EXPECT_EQ(engine.faultHits(id), 1);
    auto read = DecodeModbus(Frame(1, 4, 0x8100, 8));
    EXPECT_FALSE(engine.takeFault(Channel::Text, nullptr, "19!getnetid"));
    engine.removeFault(id);
    FaultRule range;
    range.addressFirst = 0x8100;
    range.addressLast = 0x8150;
    range.count = -1;
    engine.addFault(range);
    EXPECT_TRUE(engine.takeFault(Channel::Modbus, &read, {}));
    EXPECT_TRUE(engine.takeFault(Channel::Modbus, &read, {}));
    auto outside = DecodeModbus(Frame(1, 4, 0x8020, 2));
    EXPECT_FALSE(engine.takeFault(Channel::Modbus, &outside, {}));
    engine.clearFaults();
    EXPECT_FALSE(engine.takeFault(Channel::Modbus, &read, {}));
}

TEST(SimEngineLog, LimitDropsTheOldestAndLogsFromManyThreads) {
    SimOptions o = Options();
    o.logLimit = 1000;
    StationEngine e(o);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&e, t] {
            for (int i = 0; i < 500; ++i)
                e.logFrame(Channel::Text, Direction::Received, t, QByteArray::number(i), nullptr);
        });
    for (auto& t : threads) t.join();
    auto log = e.log();
    ASSERT_EQ(log.size(), 1000);
    EXPECT_EQ(log.last().seq, 2000u);
    for (int i = 1; i < log.size(); ++i) EXPECT_EQ(log[i].seq, log[i - 1].seq + 1);
}
