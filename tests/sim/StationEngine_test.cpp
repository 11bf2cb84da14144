// The station's behaviour without sockets: framing helpers, the module
// command mailbox, the firmware upgrade, HART and the text commands.
#include "sim/StationEngine.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <string>
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
    // A request that rules matching function 4 never match.
    const ModbusRequest chunkWrite = DecodeModbus(WriteFrame(1, 0x0200, {0x8000, 3, 2, 0x0102}));
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

TEST_F(SimEngineTest, PeriodicRuleHitsOneRequestInEvery) {
    // `hits`: for each of the matching requests in turn, whether the rule hit it.
    struct Case {
        int skip, every, count;
        const char* hits;
    };
    const auto read = DecodeModbus(Frame(1, 4, 0x8020, 2));
    for (Case c : {Case{0, 0, -1, "XXXXXXX"}, Case{0, 1, -1, "XXXXXXX"}, Case{0, 3, -1, "X..X..X"},
                   Case{2, 3, -1, "..X..X."}, Case{1, 3, 2, ".X..X.."}, Case{0, 10, -1, "X......"},
                   Case{0, 2, 0, "......."}, Case{3, 0, 2, "...XX.."}}) {
        SCOPED_TRACE(testing::Message()
                     << "skip " << c.skip << " every " << c.every << " count " << c.count);
        engine.clearFaults();
        FaultRule r;
        r.function = 4;
        r.skip = c.skip;
        r.every = c.every;
        r.count = c.count;
        const int id = engine.addFault(r);
        std::string got;
        for (size_t i = 0; c.hits[i]; ++i) {
            // A request of another function neither counts nor is hit.
            EXPECT_FALSE(engine.takeFault(Channel::Modbus, &chunkWrite, {}));
            got += engine.takeFault(Channel::Modbus, &read, {}) ? 'X' : '.';
        }
        EXPECT_EQ(got, c.hits);
        EXPECT_EQ(engine.faultHits(id), static_cast<int>(std::count(got.begin(), got.end(), 'X')));
    }
}

TEST_F(SimEngineTest, RequestsAPeriodicRulePassesGoToTheRulesAfterIt) {
    FaultRule lose;
    lose.kind = FaultKind::NoReply;
    lose.every = 3;
    lose.count = -1;
    engine.addFault(lose);
    FaultRule late;
    late.kind = FaultKind::Delay;
    late.count = -1;
    engine.addFault(late);
    const auto read = DecodeModbus(Frame(1, 4, 0x8020, 2));
    std::string kinds;
    for (int i = 0; i < 7; ++i) {
        const auto f = engine.takeFault(Channel::Modbus, &read, {});
        kinds += !f ? '-' : f->kind == FaultKind::NoReply ? 'N' : 'D';
    }
    EXPECT_EQ(kinds, "NDDNDDN");
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

// ---- The register map, byte by byte ------------------------------------------
//
// Every expected frame below is written out from the station's register
// layout (offsets, byte counts, high byte first, 32-bit values high word
// first), never produced by the stand-in's own helpers.

namespace {

QByteArray Hex(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

void Put16(QByteArray& b, int at, quint16 v) {
    b[at] = static_cast<char>(v >> 8);
    b[at + 1] = static_cast<char>(v & 0xFF);
}

void Put32(QByteArray& b, int at, quint32 v) {
    Put16(b, at, static_cast<quint16>(v >> 16));
    Put16(b, at + 2, static_cast<quint16>(v & 0xFFFF));
}

class SimRegisterBytes : public ::testing::Test {
  protected:
    QByteArray ask(const QByteArray& frame) { return engine.handleModbus(DecodeModbus(frame)); }
    // The reply to a read, checked for its header; returns the data bytes.
    QByteArray data(const char* request, int byteCount, int dataBytes) {
        const QByteArray r = ask(Hex(request));
        EXPECT_EQ(r.size(), 9 + dataBytes) << r.toHex().toStdString();
        if (r.size() != 9 + dataBytes) return {};
        EXPECT_EQ(Word(r, 4), 3 + dataBytes);  // the true Length, not modulo 256
        EXPECT_EQ(static_cast<quint8>(r[8]), byteCount);
        return r.mid(9);
    }
    StationEngine engine{Options()};
    // A request that rules matching function 4 never match.
    const ModbusRequest chunkWrite = DecodeModbus(WriteFrame(1, 0x0200, {0x8000, 3, 2, 0x0102}));
};

}  // namespace

TEST_F(SimRegisterBytes, ControllerStatusBlockAndKeepAliveReads) {
    engine.updateStation([](StationConfig& st) {
        st.mcuRole = 0x21;
        st.otherMcu = 16;
        st.canStatus = 0x1F;
        st.pwmStatus = 3;
        st.lightFault = 0x12345678;
        st.heavyFault = 0xFFFFFFFE;
        st.dipSwitch = 0xA5;
        st.tcpTimeout = 3600;
    });
    // Input registers 0x0200, 42 registers: reply bytes 9..92, byte count 84.
    QByteArray want = Hex("0021 0010 001F 0003 12345678 FFFFFFFE 00A5");
    want += QByteArray(2 * (0x0229 - 0x0209), '\0');  // 0x0209..0x0228 not used
    want += Hex("0E10");                              // 0x0229: 3600 seconds
    ASSERT_EQ(want.size(), 84);
    EXPECT_EQ(data("0000 0000 0006 01 04 0200 002A", 84, 84).toHex(), want.toHex());

    // modflash's keep-alive: one register at 0x0200, its transaction id echoed.
    EXPECT_EQ(ask(Hex("0102 0000 0006 01 04 0200 0001")).toHex(),
              Hex("0102 0000 0005 01 04 02 0021").toHex());
    // The watchdog's keep-alive: 9 registers at 0x0100, byte count 18.
    EXPECT_EQ(data("0000 0000 0006 01 04 0100 0009", 18, 18).size(), 18);
    // A request of another unit id is refused with the unit id it carried.
    EXPECT_EQ(ask(Hex("0000 0000 0006 05 04 0200 002A")).toHex(),
              Hex("0000 0000 0003 05 84 0B").toHex());
}

TEST_F(SimRegisterBytes, ModuleStatusBlockAtItsReplyOffsets) {
    engine.updateStation([](StationConfig& st) {
        for (int s = 0; s < kSlotCount; ++s) {
            SlotConfig& sc = st.slot[static_cast<size_t>(s)];
            sc.duplexStatus = static_cast<uint16_t>(s % 3 == 0 ? 5 : s % 3);
            sc.underLow = static_cast<uint16_t>(0x0100 + s);
            sc.underLowLow = static_cast<uint16_t>(0x0200 + s);
            sc.exceedHigh = static_cast<uint16_t>(0x0300 + s);
            sc.exceedHighHigh = static_cast<uint16_t>(0x8400 + s);
            sc.chBroken = 0xC0000000u + static_cast<uint32_t>(s);
            sc.lightEmcy = 0x00010000u * static_cast<uint32_t>(s) + 0x11;
            sc.heavyEmcy = 0x80000000u | static_cast<uint32_t>(s << 8);
        }
        st.slot[4].nmtState = NmtPreOperation;
        st.setModule(7, 0);  // an empty slot
    });
    const StationConfig st = engine.station();
    // Input registers 0x0240, 120 registers: byte count 240, reply bytes 9..248.
    const QByteArray got = ask(Hex("0000 0000 0006 01 04 0240 0078"));
    ASSERT_EQ(got.size(), 249);
    EXPECT_EQ(Word(got, 4), 243);
    EXPECT_EQ(static_cast<quint8>(got[8]), 240);

    QByteArray want(249, '\0');
    want.replace(0, 9, got.left(9));
    // Registers 0x0248..0x024F are the station's own: taken as they came.
    want.replace(25, 16, got.mid(25, 16));
    for (int s = 0; s < kSlotCount; ++s) {
        const SlotConfig& sc = st.slot[static_cast<size_t>(s)];
        Put16(want, 9 + 2 * s, sc.moduleId);  // 0x0240 + s: the module's ID
        Put16(want, 41 + 2 * s, sc.nmtState);
        Put16(want, 57 + 2 * s, sc.duplexStatus);
        Put16(want, 89 + 2 * s, sc.underLow);
        Put16(want, 105 + 2 * s, sc.underLowLow);
        Put16(want, 121 + 2 * s, sc.exceedHigh);
        Put16(want, 137 + 2 * s, sc.exceedHighHigh);
        Put32(want, 153 + 4 * s, sc.chBroken);
        Put32(want, 185 + 4 * s, sc.lightEmcy);
        Put32(want, 217 + 4 * s, sc.heavyEmcy);
    }
    EXPECT_EQ(got.toHex(), want.toHex());
    // Spot checks of the same bytes as literals.
    EXPECT_EQ(got.mid(41 + 2 * 4, 2), Hex("0010"));       // slot 4 PREOPERATION
    EXPECT_EQ(got.mid(41 + 2 * 7, 2), Hex("0001"));       // slot 7 EMPTY
    EXPECT_EQ(got.mid(9 + 2 * 6, 2), Hex("00F1"));        // slot 6 KB-590
    EXPECT_EQ(got.mid(153 + 4 * 3, 4), Hex("C0000003"));  // slot 3 broken channels
    EXPECT_EQ(got.mid(217 + 4 * 2, 4), Hex("80000200"));
}

TEST_F(SimRegisterBytes, ControllerLevelConfigurationBlocks) {
    engine.updateStation([](StationConfig& st) {
        st.mcuIds = {0x1001, 0x1001};
        st.powerIds = {0x6001, 0};
        st.mcuVersion = 301;
        st.libVersion = 105;
        st.slot[1].predefinedId = 0x0049;
        st.slot[2].nmtState = NmtStop;
        st.slot[5].redundancy = 0x0103;
        st.slot[2].lineDetect = 1;
        st.slot[6].version = 12;
    });
    EXPECT_EQ(data("0000 0000 0006 01 04 8000 0002", 4, 4), Hex("1001 1001"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8010 0002", 4, 4), Hex("6001 0000"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8020 0002", 4, 4), Hex("012D 0069"));
    // The default station: KB-560, KB-570, KB-521, KB-540, KB-552, KB-580, KB-590, KB-523.
    EXPECT_EQ(data("0000 0000 0006 01 04 8100 0008", 16, 16),
              Hex("0001 0010 004A 0031 0072 00A0 00F1 0062"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8110 0008", 16, 16),
              Hex("0001 0049 004A 0031 0072 00A0 00F1 0062"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8120 0008", 16, 16),
              Hex("0020 0020 0040 0020 0020 0020 0020 0020"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8130 0008", 16, 16).mid(12, 2), Hex("000C"));
    // Redundancy word of slot 5: high byte 1 (DUPLEX), low byte 3.
    EXPECT_EQ(data("0000 0000 0006 01 04 8140 0008", 16, 16).mid(10, 2), Hex("0103"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8150 0008", 16, 16),
              Hex("0000 0000 0001 0000 0000 0000 0000 0000"));
}

TEST_F(SimRegisterBytes, LiveImagesPackBitsAndSignedValues) {
    engine.setDiscreteInput(0, true);
    engine.setDiscreteInput(9, true);
    engine.setDiscreteInput(255, true);
    QByteArray di = data("0000 0000 0006 01 02 0000 0100", 32, 32);
    ASSERT_EQ(di.size(), 32);
    EXPECT_EQ(di.left(2), Hex("0102"));  // bit 0 first: input 0, then input 9
    EXPECT_EQ(static_cast<quint8>(di[31]), 0x80);

    engine.setInputRegister(0, -1);
    engine.setInputRegister(1, -32768);
    engine.setInputRegister(127, 0x1234);
    QByteArray ai = data("0000 0000 0006 01 04 0000 0080", 0, 256);
    ASSERT_EQ(ai.size(), 256);
    EXPECT_EQ(ai.left(4), Hex("FFFF 8000"));
    EXPECT_EQ(ai.right(2), Hex("1234"));

    engine.setPulseInput(0, -2);
    engine.setPulseInput(127, 0x01020304);
    QByteArray pi = data("0000 0000 0006 01 04 0080 0100", 0, 512);
    ASSERT_EQ(pi.size(), 512);
    EXPECT_EQ(pi.left(4), Hex("FFFF FFFE"));
    EXPECT_EQ(pi.right(4), Hex("0102 0304"));

    // Single coil 37 on: echoed, then bit 5 of coil byte 4.
    const QByteArray coil = Hex("0000 0000 0006 01 05 0025 FF00");
    EXPECT_EQ(ask(coil).toHex(), coil.toHex());
    EXPECT_EQ(data("0000 0000 0006 01 01 0000 0100", 32, 32).mid(4, 1), Hex("20"));
    // Single AO register 21 = 12000.
    const QByteArray ao = Hex("0000 0000 0006 01 06 0015 2EE0");
    EXPECT_EQ(ask(ao).toHex(), ao.toHex());
    EXPECT_EQ(data("0000 0000 0006 01 03 0000 0080", 0, 256).mid(2 * 21, 2), Hex("2EE0"));
    // PO channel 3 of slot 6 at 0x0100 + 6 x 32 + 2 x 3: all ones.
    EXPECT_EQ(ask(Hex("0000 0000 000B 01 10 01C6 0002 04 FFFF FFFF")).toHex(),
              Hex("0000 0000 0006 01 10 01C6 0002").toHex());
    EXPECT_EQ(data("0000 0000 0006 01 03 0100 0100", 0, 512).mid(2 * 0xC6, 4), Hex("FFFFFFFF"));
    EXPECT_EQ(engine.pulseOutput(6 * 16 + 3), -1);
}

TEST_F(SimRegisterBytes, CommandFramesAreReadBackAsWritten) {
    // Each command frame: MBAP, 0x10, 0x8000, Q, 2Q, [code, slot, data...].
    auto cmd = [&](const QByteArray& f) {
        const QByteArray r = ask(f);
        EXPECT_EQ(r.toHex(), (f.left(4) + Hex("0006") + f.mid(6, 6)).toHex())
            << f.toHex().toStdString();
    };
    for (const char* slot : {"0001", "0003", "0004", "0005", "0006"}) {
        QByteArray f = Hex("0000 0000 000D 01 10 8000 0003 06 0001 0000 0001");
        f.replace(15, 2, Hex(slot));
        cmd(f);
    }
    // Slot 3, KB-540 (16 channels): redundancy, line detection, range codes,
    // scaling, alarms, alarm mask, CJC, break-line mask, filter.
    cmd(Hex("0000 0000 000D 01 10 8000 0003 06 0010 0003 0001"));
    cmd(Hex("0000 0000 000D 01 10 8000 0003 06 0011 0003 0001"));
    cmd(
        Hex("0000 0000 002F 01 10 8000 0014 28 0040 0003 0000 0010"
            " 000E 000F 0010 0011 0012 0013 0014 0015 0016 000E 000F 0010 0011 0012 0013 0014"));
    QByteArray scale = Hex("0000 0000 004F 01 10 8000 0024 48 0041 0003 0000 0010");
    QByteArray alarm = Hex("0000 0000 004F 01 10 8000 0024 48 0042 0003 0000 0010");
    for (int c = 0; c < 16; ++c) {
        scale.resize(scale.size() + 4);
        Put16(scale, static_cast<int>(scale.size()) - 4, static_cast<quint16>(-100 - c));
        Put16(scale, static_cast<int>(scale.size()) - 2, static_cast<quint16>(1000 * c));
        alarm.resize(alarm.size() + 4);
        Put16(alarm, static_cast<int>(alarm.size()) - 4, static_cast<quint16>(-c));
        Put16(alarm, static_cast<int>(alarm.size()) - 2, static_cast<quint16>(30000 + c));
    }
    ASSERT_EQ(scale.size(), 85);
    cmd(scale);
    cmd(alarm);
    cmd(Hex("0000 0000 000D 01 10 8000 0003 06 0043 0003 0003"));       // bits 0, 1 (16 dropped)
    cmd(Hex("0000 0000 000F 01 10 8000 0004 08 0050 0003 0001 FFFB"));  // CJC on, value -5
    cmd(Hex("0000 0000 000F 01 10 8000 0004 08 0051 0003 0002 0001"));  // bits 17 and 0
    cmd(Hex("0000 0000 0011 01 10 8000 0005 0A 0052 0003 0003 0007 003C"));

    EXPECT_EQ(data("0000 0000 0006 01 04 8403 0010", 32, 32).left(6), Hex("000E 000F 0010"));
    QByteArray low = data("0000 0000 0006 01 04 8413 0010", 32, 32);
    EXPECT_EQ(low.left(4), Hex("FF9C FF9B"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8423 0010", 32, 32).right(2), Hex("3A98"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8433 0002", 4, 4), Hex("0000 FFFF"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8443 0002", 4, 4), Hex("7530 7531"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8453 0001", 2, 2), Hex("0003"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8703 0002", 4, 4), Hex("0001 FFFB"));
    // r0 high byte: the filter word's high byte (second data word), low byte
    // the digital filter mode (first data word); r1 the mains frequency.
    EXPECT_EQ(data("0000 0000 0006 01 04 8463 0002", 4, 4), Hex("0703 003C"));
    // Bits 16..31 first: 0x00020001 is bits 17 and 0.
    EXPECT_EQ(data("0000 0000 0006 01 04 8713 0002", 4, 4), Hex("0002 0001"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8140 0008", 16, 16).mid(6, 2), Hex("0100"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8150 0008", 16, 16).mid(6, 2), Hex("0001"));

    // Slot 1, KB-570: masks High, Low, safe High, safe Low; fault modes 1 : 2.
    cmd(Hex("0000 0000 0013 01 10 8000 0006 0C 0020 0001 0001 8000 00FF 1234"));
    cmd(Hex("0000 0000 000D 01 10 8000 0003 06 0021 0001 0102"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8201 0002", 4, 4), Hex("0001 8000"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8211 0002", 4, 4), Hex("00FF 1234"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8221 0001", 2, 2), Hex("0102"));

    // Slot 4, KB-552 (8 channels): power-on values, safe values, modes.
    cmd(
        Hex("0000 0000 001F 01 10 8000 000C 18 0030 0004 0000 0008"
            " 0001 0002 0003 0004 0005 0006 0007 FFFF"));
    cmd(
        Hex("0000 0000 001F 01 10 8000 000C 18 0031 0004 0000 0008"
            " 0011 0012 0013 0014 0015 0016 0017 8000"));
    cmd(
        Hex("0000 0000 001F 01 10 8000 000C 18 0032 0004 0000 0008"
            " 0102 0201 0000 0000 0000 0000 0000 0303"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8304 0008", 16, 16).right(4), Hex("0007 FFFF"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8314 0008", 16, 16).right(2), Hex("8000"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8324 0008", 16, 16).left(4), Hex("0102 0201"));

    // Slot 5, KB-580: interval 2.5 rounded to 2, filter configuration (LPF 0x81,
    // edges 0x4005), impedance 0x00012345.
    cmd(Hex("0000 0000 000F 01 10 8000 0004 08 0061 0005 0000 0002"));
    cmd(Hex("0000 0000 0011 01 10 8000 0005 0A 0062 0005 0081 0000 4005"));
    cmd(Hex("0000 0000 000F 01 10 8000 0004 08 0063 0005 0001 2345"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8605 0006", 12, 12), Hex("0081 4005 0000 0002 0001 2345"));

    // Slot 6, KB-590 (16 channels), one channel each: reference time, offset
    // 65535 with PWM count 7, cycle 10 with duty 5, fault mode 2.
    cmd(Hex("0000 0000 0011 01 10 8000 0005 0A 0070 0006 0000 0001 0BB8"));
    cmd(Hex("0000 0000 0013 01 10 8000 0006 0C 0071 0006 0000 0001 FFFF 0007"));
    cmd(Hex("0000 0000 0013 01 10 8000 0006 0C 0072 0006 0000 0001 000A 0005"));
    cmd(Hex("0000 0000 0011 01 10 8000 0005 0A 0073 0006 0000 0001 0002"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8506 0001", 2, 2), Hex("0BB8"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8516 0001", 2, 2), Hex("FFFF"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8526 0001", 2, 2), Hex("000A"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8536 0001", 2, 2), Hex("0005"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8546 0001", 2, 2), Hex("0002"));
    EXPECT_EQ(data("0000 0000 0006 01 04 8556 0001", 2, 2), Hex("0007"));
    // The second channel was not in the lists: still the station's own.
    EXPECT_EQ(data("0000 0000 0006 01 04 8506 0002", 4, 4).right(2), Hex("03E8"));
}

TEST_F(SimRegisterBytes, OlderControllerFirmwareLacksTheGatedBlocks) {
    auto refused = [&](const char* request) {
        const QByteArray r = ask(Hex(request));
        return r.size() == 9 && (static_cast<quint8>(r[7]) & 0x80) != 0;
    };
    ASSERT_EQ(ask(Hex("0000 0000 000D 01 10 8000 0003 06 0001 0003 0001")).size(), 12);
    const char* filterRead = "0000 0000 0006 01 04 8463 0002";
    const char* filterCmd = "0000 0000 0011 01 10 8000 0005 0A 0052 0003 0003 0007 003C";
    const char* pwmRead = "0000 0000 0006 01 04 8556 0010";
    for (int version : {200, 201, 300, 301}) {
        SCOPED_TRACE(version);
        engine.updateStation(
            [&](StationConfig& st) { st.mcuVersion = static_cast<uint16_t>(version); });
        EXPECT_EQ(refused(filterRead), version < 301);
        EXPECT_EQ(refused(filterCmd), version < 301);
        EXPECT_EQ(refused(pwmRead), version < 201);
        // Blocks without a gate are there on every firmware.
        EXPECT_FALSE(refused("0000 0000 0006 01 04 8703 0002"));
        EXPECT_FALSE(refused("0000 0000 0006 01 04 8546 0010"));
    }
}

TEST_F(SimRegisterBytes, LargestHartMailboxWriteFillsTheLengthByte) {
    // n HART bytes: Length n + 17 + p, registers (n + 10 + p) / 2, byte count
    // n + 10 + p, [0x4000, slot:channel, n, 0, 0, data in swapped pairs].
    for (int n : {237, 238}) {
        SCOPED_TRACE(n);
        const int p = n % 2;
        QByteArray d;
        for (int k = 0; k < n; ++k) d.append(static_cast<char>(k * 3 + 1));
        QByteArray f = Hex("0000 0000 00");
        f.append(static_cast<char>(n + 17 + p));
        f += Hex("01 10 0200 00");
        f.append(static_cast<char>((n + 10 + p) / 2));
        f.append(static_cast<char>(n + 10 + p));
        f += Hex("4000 02 01 00");
        f.append(static_cast<char>(n));
        f += Hex("0000 0000");
        for (int k = 0; k < n; k += 2) {
            f.append(k + 1 < n ? d[k + 1] : '\0');
            f.append(d[k]);
        }
        ASSERT_EQ(f.size(), n + 23 + p);
        ASSERT_EQ(static_cast<quint8>(f[5]), 255);
        EXPECT_EQ(ModbusFrameLength(f + f), f.size());
        EXPECT_EQ(ask(f).toHex(), Hex("0000 0000 0006 01 10 0200 007C").toHex());
        ASSERT_FALSE(engine.hartRequests().isEmpty());
        EXPECT_EQ(engine.hartRequests().last().slot, 2);
        EXPECT_EQ(engine.hartRequests().last().channel, 1);
        EXPECT_EQ(engine.hartRequests().last().data.toHex(), d.toHex());
    }
    // A Length past one byte is no request of the station's clients.
    QByteArray big = Hex("0000 0000 0100 01 10 0200 007D FA");
    EXPECT_EQ(ModbusFrameLength(big), -1);
}

namespace {

// The firmware tool's combining of a byte run with its table: every byte after
// the first is XORed with the table entry at (first byte + position) mod 64.
void Combine(QByteArray& run, int at, int len, const std::array<quint8, 64>& table) {
    const auto first = static_cast<quint8>(run[at]);
    for (int m = 1; m < len; ++m)
        run[at + m] = static_cast<char>(static_cast<quint8>(run[at + m]) ^
                                        table[static_cast<size_t>((first + m) % 64)]);
}

// One chunk write to the data mailbox as the firmware tool frames it.
QByteArray ChunkFrame(int slot, const QByteArray& chunk) {
    const int n = static_cast<int>(chunk.size());
    const int q = (n + 1) / 2 + 3, bc = 2 * q;
    QByteArray f = Hex("0102 0000 00");
    f.append(static_cast<char>(bc + 7));
    f += Hex("01 10 0200 00");
    f.append(static_cast<char>(q));
    f.append(static_cast<char>(bc));
    f += Hex("8000 00");
    f.append(static_cast<char>(slot));
    f += Hex("00");
    f.append(static_cast<char>(n));
    QByteArray padded = chunk;
    if (n % 2) padded.append('\0');
    for (int k = 0; k < padded.size(); k += 2) {
        f.append(padded[k + 1]);
        f.append(padded[k]);
    }
    return f;
}

}  // namespace

TEST_F(SimRegisterBytes, FirmwareUpgradeAsTheToolFramesIt) {
    std::array<quint8, 64> table{};
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<quint8>(i * 29 + 7);
    engine.setScrambleTable(table);
    SlotBehaviour quick;
    quick.chunkAcceptMs = 0;
    quick.resetDelayMs = 0;
    engine.setSlotBehaviour(6, quick);
    QByteArray image;
    for (int i = 0; i < 257; ++i) image.append(static_cast<char>((i * 71 + 13) & 0xFF));

    // Reads answer with the value in their last bytes; writes pass the check
    // of unit id and function code.
    auto last = [&](const char* request, int bytes) { return ask(Hex(request)).right(bytes); };
    auto passes = [&](const char* request) {
        const QByteArray f = Hex(request), r = ask(f);
        return r.size() >= 8 && r.mid(6, 2) == f.mid(6, 2);
    };
    EXPECT_EQ(last("0102 0000 0006 01 04 0246 0001", 2), Hex("00F1"));  // KB-590
    EXPECT_EQ(last("0102 0000 0006 01 04 0256 0001", 2), Hex("0020"));
    EXPECT_TRUE(passes("0102 0000 000D 01 10 8000 0003 06 0001 0006 0001"));
    EXPECT_TRUE(passes("0102 0000 000D 01 10 8000 0003 06 0080 0006 0003"));
    EXPECT_EQ(last("0102 0000 0006 01 04 0256 0001", 2), Hex("0008"));
    // Announce 257 bytes: [0x0081, slot, 0, size bits 31..16, bits 15..0].
    EXPECT_TRUE(passes("0102 0000 0011 01 10 8000 0005 0A 0081 0006 0000 0000 0101"));

    QVector<QByteArray> frames;
    for (int b = 0; b < image.size(); b += 256) {
        QByteArray block = image.mid(b, 256);
        const int n = static_cast<int>(block.size());
        Combine(block, 0, n, table);
        for (int o = 0; o < n; o += 128) {
            const int len = std::min(128, n - o);
            if (len >= 2) Combine(block, o, len, table);
            frames.append(ChunkFrame(6, block.mid(o, len)));
        }
    }
    ASSERT_EQ(frames.size(), 3);
    // The last chunk holds one byte: N 1, Q 4, BC 8, Length 15, data 00 then the byte.
    EXPECT_EQ(
        frames[2].toHex(),
        (Hex("0102 0000 000F 01 10 0200 0004 08 8000 0006 0001 00") + image.right(1)).toHex());
    // The first chunk of a block goes out as the file holds it.
    QByteArray plain;
    for (int k = 0; k < 128; k += 2) plain += QByteArray(1, image[k + 1]) + QByteArray(1, image[k]);
    EXPECT_EQ(frames[0].mid(19).toHex(), plain.toHex());
    EXPECT_NE(frames[1].mid(19, 2), QByteArray(1, image[129]) + QByteArray(1, image[128]));
    for (const QByteArray& f : frames) {
        const QByteArray r = ask(f);
        EXPECT_EQ(r.toHex(), (f.left(4) + Hex("0006") + f.mid(6, 6)).toHex());
        // Upgrade status of slot 6: two registers at 0x1A00, status 2 = accepted.
        EXPECT_EQ(last("0102 0000 0006 01 04 1A00 0002", 4), Hex("0002 0000"));
    }
    EXPECT_EQ(engine.firmware(6).image.toHex(), image.toHex());

    EXPECT_TRUE(passes("0102 0000 000D 01 10 8000 0003 06 0080 0006 0001"));
    EXPECT_TRUE(engine.firmware(6).finished);
    EXPECT_TRUE(passes("0102 0000 000D 01 10 8000 0003 06 0080 0006 0002"));
    EXPECT_EQ(last("0102 0000 0006 01 04 0256 0001", 2), Hex("0020"));
}

TEST_F(SimRegisterBytes, ChannelListLongerThanTheModuleIsRefused) {
    ASSERT_EQ(ask(Hex("0000 0000 000D 01 10 8000 0003 06 0001 0004 0001")).size(), 12);
    // KB-552 has 8 output channels: a list of 9 is refused, nothing changes.
    EXPECT_EQ(ask(Hex("0000 0000 0021 01 10 8000 000D 1A 0030 0004 0000 0009"
                      " 0001 0002 0003 0004 0005 0006 0007 0008 0009"))
                  .toHex(),
              Hex("0000 0000 0003 01 90 03").toHex());
    EXPECT_EQ(data("0000 0000 0006 01 04 8304 0001", 2, 2), Hex("0000"));
    // A shorter list changes only its channels.
    EXPECT_EQ(ask(Hex("0000 0000 0011 01 10 8000 0005 0A 0030 0004 0000 0001 0123")).size(), 12);
    EXPECT_EQ(data("0000 0000 0006 01 04 8304 0002", 4, 4), Hex("0123 0000"));
}

TEST_F(SimRegisterBytes, CounterClearMaskBitIsTheChannel) {
    // KB-580 in slot 5: its counters are PI pairs 80..87.
    for (int c = 0; c < 8; ++c) engine.setPulseInput(5 * 16 + c, 1000 + c);
    // Command 96 in OPERATION, mask 2^3: channel 3 only.
    EXPECT_EQ(ask(Hex("0000 0000 000D 01 10 8000 0003 06 0060 0005 0008")).size(), 12);
    QByteArray pi = data("0000 0000 0006 01 04 0080 0100", 0, 512);
    ASSERT_EQ(pi.size(), 512);
    EXPECT_EQ(pi.mid(4 * 83, 4), Hex("0000 0000"));
    EXPECT_EQ(pi.mid(4 * 82, 4), Hex("0000 03EA"));
    EXPECT_EQ(pi.mid(4 * 84, 4), Hex("0000 03EC"));
    // Mask 0x81: channels 0 and 7.
    EXPECT_EQ(ask(Hex("0000 0000 000D 01 10 8000 0003 06 0060 0005 0081")).size(), 12);
    EXPECT_EQ(engine.pulseInput(80), 0);
    EXPECT_EQ(engine.pulseInput(87), 0);
    EXPECT_EQ(engine.pulseInput(81), 1001);
}

TEST(SimEngineLive, EveryReadThatCoversACounterMovesIt) {
    // Live inputs are brought up to date for exactly the registers a read
    // covers. The KB-580 of the default station sits in slot 5; the low word
    // of channel 7's counter (pair 87) is register 0x12F and counts up by 8
    // every 100 ms.
    struct Case {
        const char* name;
        int address, quantity;
    };
    const Case cases[] = {
        {"the whole PI image", 0x80, 256},
        {"the pair alone", 0x12E, 2},
        {"the low word alone", 0x12F, 1},
        {"AI and PI in one read", 0x7F, 0xB1},
    };
    // One station per case, so that no case sees another's refresh.
    std::vector<std::unique_ptr<StationEngine>> engines;
    auto counter = [&](int i) -> int {
        const Case& c = cases[i];
        const QByteArray r = engines[static_cast<size_t>(i)]->handleModbus(
            DecodeModbus(Frame(1, 4, c.address, c.quantity)));
        const int at = 9 + 2 * (0x12F - c.address);
        return r.size() >= at + 2 ? Word(r, at) : -1;
    };
    QVector<int> before;
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        engines.push_back(std::make_unique<StationEngine>(SimOptions()));
        before.append(counter(i));
    }
    nxsim_test::WaitMs(250);
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        SCOPED_TRACE(cases[i].name);
        ASSERT_GE(before[i], 0);
        EXPECT_GT(counter(i), before[i]);
    }
}
