#include "link/Upload.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "platform/WinsockControl.h"
#include "sequence_support.h"
#include "tests/support/ConfigRecords.h"

namespace {

using nxsim::Channel;
using nxsim::FaultKind;
using nxsim::FaultRule;
using nxsim::ModuleKind;
using nxsim::SlotConfig;
using nxsim::StationConfig;

constexpr int F4 = 4;

// The reads of an Upload of the stand-in's default station (controller
// version 3.01): DI, DO, AI, thermocouple KB-540, AO KB-552, PI, PO and
// scaled AI modules in slots 0 to 7.
const std::vector<Req> kDefaultStationReads = {
    // controller level
    {F4, 0x8020, 2},
    {F4, 0x8000, 2},
    {F4, 0x8010, 2},
    {F4, 0x8100, 8},
    {F4, 0x8110, 8},
    {F4, 0x8130, 8},
    {F4, 0x8120, 8},
    {F4, 0x8140, 8},
    {F4, 0x8150, 8},
    // slot 0, KB-560: nothing; slot 1, KB-570
    {F4, 0x8201, 2},
    {F4, 0x8211, 2},
    {F4, 0x8221, 1},
    // slot 2, KB-521 (8 AI)
    {F4, 0x8402, 8},
    {F4, 0x8412, 8},
    {F4, 0x8422, 8},
    {F4, 0x8432, 8},
    {F4, 0x8442, 8},
    {F4, 0x8452, 1},
    // slot 3, KB-540 (16 thermocouple channels)
    {F4, 0x8403, 16},
    {F4, 0x8413, 16},
    {F4, 0x8423, 16},
    {F4, 0x8433, 16},
    {F4, 0x8443, 16},
    {F4, 0x8453, 1},
    {F4, 0x8703, 2},
    {F4, 0x8463, 2},
    {F4, 0x8713, 2},
    // slot 4, KB-552 (8 AO)
    {F4, 0x8404, 8},
    {F4, 0x8414, 8},
    {F4, 0x8424, 8},
    {F4, 0x8434, 8},
    {F4, 0x8444, 8},
    {F4, 0x8454, 1},
    {F4, 0x8304, 8},
    {F4, 0x8314, 8},
    {F4, 0x8324, 8},
    {F4, 0x8714, 2},
    // slot 5, KB-580 (8 PI)
    {F4, 0x8405, 8},
    {F4, 0x8605, 6},
    // slot 6, KB-590 (16 PO)
    {F4, 0x8406, 16},
    {F4, 0x8506, 16},
    {F4, 0x8516, 16},
    {F4, 0x8526, 16},
    {F4, 0x8536, 16},
    {F4, 0x8546, 16},
    {F4, 0x8556, 16},
    // slot 7, KB-523 (8 scaled AI)
    {F4, 0x8407, 8},
    {F4, 0x8417, 8},
    {F4, 0x8427, 8},
    {F4, 0x8437, 8},
    {F4, 0x8447, 8},
    {F4, 0x8457, 1},
};

// Gives every register of every present slot its own value (1..250, so that
// every encoding can hold it), and a few values that test the signs.
void MakeDistinct(StationConfig& st) {
    st.libVersion = 123;
    for (int s = 0; s < nxsim::kSlotCount; ++s) {
        SlotConfig& sc = st.slot[static_cast<size_t>(s)];
        if (!sc.present()) continue;
        sc.version = static_cast<uint16_t>(10 + s);
        sc.lineDetect = static_cast<uint16_t>(s % 2);
        sc.redundancy = static_cast<uint16_t>((s % 2) << 8 | (s + 3));
        for (const nxsim::SlotBlock& b : nxsim::SlotBlocks())
            for (int i = 0; i < b.size; ++i)
                sc.setReg(
                    b.base, i,
                    static_cast<uint16_t>((s * 31 + (b.base >> 4 & 0xFF) * 5 + i * 3) % 250 + 1));
        sc.setReg(nxsim::BlkScaleLow, 1, 0xFF9C);      // -100
        sc.setReg(nxsim::BlkAoPowerOn, 0, 0x8000);     // -32768
        sc.setReg(nxsim::BlkPoOffsetTime, 0, 0xFFFF);  // 65535
        sc.setReg(nxsim::BlkBreakLine, 0, 0x00FF);     // bits 16-23
        sc.setReg(nxsim::BlkPiConfig, 2, 0x0001);      // filter interval 70000
        sc.setReg(nxsim::BlkPiConfig, 3, 0x1170);
        sc.setReg(nxsim::BlkPiConfig, 4, 0xFFFF);  // impedance -2
        sc.setReg(nxsim::BlkPiConfig, 5, 0xFFFE);
    }
}

std::string ModelName(uint16_t id) {
    const nxsim::ModuleModel* m = nxsim::ModelById(id);
    return m ? m->name : "";
}

// ConfigReal after an Upload, checked field by field against the stand-in's
// own description of the station.
void ExpectRecordMatchesStation(const StationConfig& st) {
    const NodeConfig& r = ConfigReal[0];
    EXPECT_EQ(r.McuVersion, st.mcuVersion);
    EXPECT_EQ(r.McuLibVersion, st.libVersion);
    EXPECT_EQ(r.McuName(0), ModelName(st.mcuIds[0]));
    EXPECT_EQ(r.McuName(1), ModelName(st.mcuIds[1]));
    EXPECT_EQ(r.PowerName(0), ModelName(st.powerIds[0]));
    EXPECT_EQ(r.PowerName(1), ModelName(st.powerIds[1]));

    for (int s = 0; s < nxsim::kSlotCount; ++s) {
        SCOPED_TRACE("slot " + std::to_string(s));
        const SlotConfig& sc = st.slot[static_cast<size_t>(s)];
        auto reg = [&](uint16_t base, int i) { return sc.reg(base, i); };
        auto s16 = [&](uint16_t base, int i) { return static_cast<int16_t>(reg(base, i)); };
        auto s32 = [&](uint16_t base, int i) {
            return static_cast<int32_t>(static_cast<uint32_t>(reg(base, i)) << 16 |
                                        reg(base, i + 1));
        };
        EXPECT_EQ(r.Module(s), ModelName(sc.moduleId));
        EXPECT_EQ(r.PredefModule(s), ModelName(sc.predefinedId));
        EXPECT_EQ(r.SlotPresent(s), sc.present() ? kTrue : kFalse);
        EXPECT_EQ(r.NMTState(s), sc.nmtState);
        EXPECT_EQ(r.Version(s), sc.version);
        EXPECT_EQ(r.RedundancyToSlot(s), sc.redundancy >> 8);
        EXPECT_EQ(r.RedundancyInfo(s), sc.redundancy & 0xFF);
        EXPECT_EQ(r.BreakLineFunc(s), sc.lineDetect);
        if (!sc.present()) continue;

        const nxsim::ModuleModel* m = nxsim::ModelById(sc.moduleId);
        ASSERT_NE(m, nullptr);
        const int n = m->channels;
        const ModuleKind k = m->kind;
        const bool analog = k == ModuleKind::AI || k == ModuleKind::TC ||
                            k == ModuleKind::ScaledAI || k == ModuleKind::RTD ||
                            k == ModuleKind::AO;
        if (k == ModuleKind::DO) {
            EXPECT_EQ(r.DO_PowerONValue_High(s), reg(nxsim::BlkDoPowerOn, 0));
            EXPECT_EQ(r.DO_PowerONValue_Low(s), reg(nxsim::BlkDoPowerOn, 1));
            EXPECT_EQ(r.DO_SafeValue_High(s), reg(nxsim::BlkDoSafe, 0));
            EXPECT_EQ(r.DO_SafeValue_Low(s), reg(nxsim::BlkDoSafe, 1));
            EXPECT_EQ(r.PowerOnValueMode(s, 0), reg(nxsim::BlkDoFaultMode, 0) >> 8);
            EXPECT_EQ(r.SafeValueMode(s, 0), reg(nxsim::BlkDoFaultMode, 0) & 0xFF);
        }
        if (analog) {
            for (int c = 0; c < n; ++c) {
                EXPECT_EQ(r.RangeCode(s, c), s16(nxsim::BlkRangeCode, c)) << c;
                EXPECT_EQ(r.UserDefLRange(s, c), s16(nxsim::BlkScaleLow, c)) << c;
                EXPECT_EQ(r.UserDefHRange(s, c), s16(nxsim::BlkScaleHigh, c)) << c;
                EXPECT_EQ(r.LowAlarmVal(s, c), s16(nxsim::BlkAlarmLow, c)) << c;
                EXPECT_EQ(r.HighAlarmVal(s, c), s16(nxsim::BlkAlarmHigh, c)) << c;
            }
            // Channels past the module's count are not read.
            EXPECT_EQ(r.RangeCode(s, n), 0);
            EXPECT_EQ(r.AlarmMode(s), reg(nxsim::BlkAlarmEnable, 0));
        }
        if (k == ModuleKind::TC) {
            EXPECT_EQ(r.CJCSetting(s), reg(nxsim::BlkCjc, 0));
            EXPECT_EQ(r.CJCValue(s), s16(nxsim::BlkCjc, 1));
            if (st.mcuVersion >= 301 && (std::string(m->name) == "KB-540")) {
                EXPECT_EQ(r.AIFilterModeHigh(s), reg(nxsim::BlkAiFilterMode, 0) >> 8);
                EXPECT_EQ(r.AIDigitalFilterMode(s), reg(nxsim::BlkAiFilterMode, 0) & 0xFF);
                EXPECT_EQ(r.MainsFrequency(s), reg(nxsim::BlkAiFilterMode, 1));
            }
        }
        if (k == ModuleKind::TC || k == ModuleKind::RTD || k == ModuleKind::AO) {
            EXPECT_EQ(r.CHBreakLineMode(s), s32(nxsim::BlkBreakLine, 0));
        }
        if (k == ModuleKind::AO) {
            for (int c = 0; c < n; ++c) {
                EXPECT_EQ(r.PowerOnValue(s, c), s16(nxsim::BlkAoPowerOn, c)) << c;
                EXPECT_EQ(r.SafeValue(s, c), s16(nxsim::BlkAoSafe, c)) << c;
                EXPECT_EQ(r.PowerOnValueMode(s, c), reg(nxsim::BlkAoFaultMode, c) >> 8) << c;
                EXPECT_EQ(r.SafeValueMode(s, c), reg(nxsim::BlkAoFaultMode, c) & 0xFF) << c;
            }
        }
        if (k == ModuleKind::PI) {
            for (int c = 0; c < n; ++c) EXPECT_EQ(r.RangeCode(s, c), s16(nxsim::BlkRangeCode, c));
            const PIConfig& pi = r.PI(s);
            EXPECT_EQ(pi.FreqMode, reg(nxsim::BlkPiConfig, 0) >> 8);
            EXPECT_EQ(pi.LPFMode, reg(nxsim::BlkPiConfig, 0) & 0xFF);
            EXPECT_EQ(pi.EdgeTrig, reg(nxsim::BlkPiConfig, 1));
            EXPECT_EQ(pi.FilterInterval, s32(nxsim::BlkPiConfig, 2));
            EXPECT_EQ(pi.Impendance, s32(nxsim::BlkPiConfig, 4));
        }
        if (k == ModuleKind::PO) {
            const POConfig& po = r.PO(s);
            for (int c = 0; c < n; ++c) {
                EXPECT_EQ(r.RangeCode(s, c), s16(nxsim::BlkRangeCode, c)) << c;
                EXPECT_EQ(po.RefTime(c), s16(nxsim::BlkPoReferenceTime, c)) << c;
                EXPECT_EQ(po.OffsetTime(c), reg(nxsim::BlkPoOffsetTime, c)) << c;
                EXPECT_EQ(po.CyclicSteps(c), s16(nxsim::BlkPoCyclicSteps, c)) << c;
                EXPECT_EQ(po.DutySteps(c), s16(nxsim::BlkPoDutySteps, c)) << c;
                EXPECT_EQ(r.SafeValueMode(s, c), reg(nxsim::BlkPoFaultMode, c)) << c;
                if (st.mcuVersion >= 201) {
                    EXPECT_EQ(po.PWMCount(c), s16(nxsim::BlkPoPwmCounter, c)) << c;
                }
            }
        }
    }
}

std::vector<Req> Without(std::vector<Req> reads, const std::vector<Req>& gone) {
    for (const Req& g : gone) std::erase(reads, g);
    return reads;
}

class Upload : public LinkSequenceTest {
  protected:
    void StartAndConnect(const nxsim::SimOptions& opt = nxsim::SimOptions()) {
        StartStation(opt);
        ConnectOk();
        window.eventLog.clear();
        window.calls.clear();
    }
    void RunUpload() {
        int16_t node = 0;
        nxlink::UploadConfiguration(node);
    }
    FaultRule ModbusFault(int address, FaultKind kind) {
        FaultRule f;
        f.channel = Channel::Modbus;
        f.function = 4;
        f.addressFirst = address;
        f.kind = kind;
        return f;
    }
    int CountLine(const std::string& line) const {
        return static_cast<int>(std::count(window.eventLog.begin(), window.eventLog.end(), line));
    }
};

// ---- A healthy station -------------------------------------------------------

TEST_F(Upload, ReadsTheDefaultStationControllerFirstThenSlotBySlot) {
    StartAndConnect();
    RunUpload();
    EXPECT_EQ(ModbusRequests(sim), kDefaultStationReads);
    for (const auto& e : sim.received(Channel::Modbus)) EXPECT_EQ(e.unitId, 1);
    EXPECT_TRUE(Messages().empty());

    // One line per read, then the finished line.
    ASSERT_EQ(window.eventLog.size(), kDefaultStationReads.size() + 1);
    EXPECT_EQ(window.eventLog[0], "Read MCU & CAN Library version OK!");
    EXPECT_EQ(window.eventLog[4], "Read predefined ID of all IOM OK!");
    EXPECT_EQ(window.eventLog[5], "Read all IOM firmware version OK!");
    EXPECT_EQ(window.eventLog[8], "Read all IOM terminal line drop off detected function OK!");
    EXPECT_EQ(window.eventLog[9], "Read IOM 1 DO power on value OK!");
    EXPECT_EQ(window.eventLog[10], "Read IOM 1 DO safe on value OK!");
    EXPECT_EQ(window.eventLog[12], "Read IOM 2 Range Code OK!");
    EXPECT_EQ(window.eventLog[25], "Read IOM 3 AI filter mode OK!");
    EXPECT_EQ(window.eventLog[26], "Read IOM 3 CH breakline/redundancy function OK!");
    EXPECT_EQ(window.eventLog[36], "Read IOM 4 CH breakline function OK!");
    EXPECT_EQ(window.eventLog[38], "Read IOM 5 PI all configuration OK!");
    EXPECT_EQ(window.eventLog[40], "Read IOM 6 PO Output Referemnce Time OK!");
    EXPECT_EQ(window.eventLog[45], "Read IOM 6 PO PWM Counter OK!");
    EXPECT_EQ(window.eventLog.back(), "Upload data from NX-4410 finished.");
    EXPECT_EQ(window.status, window.eventLog.back());

    // The watchdog runs from now on; the monitor stays as it was.
    EXPECT_TRUE(window.timer2.isActive());
    EXPECT_FALSE(window.timer1);
}

TEST_F(Upload, ReadCopyEqualsTheStationFieldByField) {
    nxsim::SimOptions opt;
    MakeDistinct(opt.station);
    StartAndConnect(opt);
    RunUpload();
    ASSERT_EQ(window.eventLog.back(), "Upload data from NX-4410 finished.");
    ExpectRecordMatchesStation(sim.station());
    // Channel counts come from the models.
    EXPECT_EQ(ConfigReal[0].DIChannel(0), 32);
    EXPECT_EQ(ConfigReal[0].AIChannel(3), 16);
    EXPECT_EQ(ConfigReal[0].AOChannel(4), 8);
    EXPECT_EQ(ConfigReal[0].POChannel(6), 16);
    for (int s = 0; s < 8; ++s) EXPECT_EQ(ConfigReal[0].DownloadPending(s), kFalse);
}

TEST_F(Upload, ControllerVersionGatesTheFilterAndPwmCounterReads) {
    nxsim::SimOptions opt;
    opt.station.mcuVersion = 300;
    StartAndConnect(opt);
    RunUpload();
    EXPECT_EQ(ModbusRequests(sim), Without(kDefaultStationReads, {{F4, 0x8463, 2}}));
    sim.stop();

    nxsim::SimOptions old;
    old.station.mcuVersion = 200;
    StartAndConnect(old);
    RunUpload();
    EXPECT_EQ(ModbusRequests(sim),
              Without(kDefaultStationReads, {{F4, 0x8463, 2}, {F4, 0x8556, 16}}));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(Upload, MismatchingPredefinedModuleMarksTheSlotPending) {
    nxsim::SimOptions opt;
    opt.station.slot[2].predefinedId = 0x0049;  // KB-522 configured, KB-521 found
    opt.station.slot[5].predefinedId = 0;       // found, nothing configured
    StartAndConnect(opt);
    RunUpload();
    EXPECT_EQ(ConfigReal[0].PredefModule(2), "KB-522");
    EXPECT_EQ(ConfigReal[0].DownloadPending(2), kTrue);
    EXPECT_EQ(ConfigReal[0].DownloadPending(5), kFalse);
    EXPECT_EQ(ConfigReal[0].DownloadPending(3), kFalse);
}

TEST_F(Upload, StationWithoutModulesEndsAfterTheControllerLevel) {
    nxsim::SimOptions opt;
    opt.station = StationConfig::Empty();
    StartAndConnect(opt);
    RunUpload();
    EXPECT_EQ(ModbusRequests(sim).size(), 9u);
    EXPECT_EQ(window.eventLog.size(), 10u);
    EXPECT_EQ(window.eventLog.back(), "Upload data from NX-4410 finished.");
    for (int s = 0; s < 8; ++s) EXPECT_EQ(ConfigReal[0].SlotPresent(s), kFalse);
}

// ---- Failures --------------------------------------------------------------

TEST_F(Upload, ControllerLevelTimeoutClearsEverySlotAndReadsNoMore) {
    StartAndConnect();
    sim.addFault(ModbusFault(0x8120, FaultKind::NoReply));  // the NMT states
    QElapsedTimer t;
    t.start();
    RunUpload();
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(ModbusRequests(sim).size(), 7u);
    EXPECT_EQ(window.eventLog.back(), "Read Initial configuration Error!!!");
    EXPECT_EQ(CountLine("Upload data from NX-4410 finished."), 0);
    ASSERT_EQ(Messages(), std::vector<std::string>{"Response Timeout"});
    EXPECT_EQ(dialogs.shown[0].title, "Message");
    EXPECT_EQ(dialogs.shown[0].style, rt::vbCritical);
    for (int s = 0; s < 8; ++s) EXPECT_EQ(ConfigReal[0].SlotPresent(s), kFalse) << s;
    EXPECT_TRUE(window.timer2.isActive());
}

TEST_F(Upload, ExceptionToTheFirstReadIsARefusal) {
    StartAndConnect();
    sim.addFault(ModbusFault(0x8020, FaultKind::Exception));
    RunUpload();
    EXPECT_EQ(ModbusRequests(sim).size(), 1u);
    EXPECT_EQ(window.eventLog, std::vector<std::string>{"Read Initial configuration Error!!!"});
    EXPECT_EQ(Messages(), std::vector<std::string>{"Receive Error Messages"});
}

TEST_F(Upload, RefusedSlotReadEndsThatSlotOnly) {
    StartAndConnect();
    sim.addFault(ModbusFault(0x8422, FaultKind::Exception));  // slot 2, high scaling
    RunUpload();
    EXPECT_EQ(ModbusRequests(sim),
              Without(kDefaultStationReads, {{F4, 0x8432, 8}, {F4, 0x8442, 8}, {F4, 0x8452, 1}}));
    EXPECT_EQ(CountLine("Read IOM2 configuration Error!!!"), 1);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Receive Error Messages"});
    EXPECT_EQ(window.eventLog.back(), "Upload data from NX-4410 finished.");
    EXPECT_EQ(ConfigReal[0].SlotPresent(2), kFalse);
    EXPECT_EQ(ConfigReal[0].SlotPresent(3), kTrue);
    // What the slot's earlier reads stored stays.
    const SlotConfig sc = sim.station().slot[2];
    EXPECT_EQ(ConfigReal[0].RangeCode(2, 0), static_cast<int16_t>(sc.reg(nxsim::BlkRangeCode, 0)));
    EXPECT_NE(ConfigReal[0].RangeCode(2, 0), 0);
}

TEST_F(Upload, TwoFailingSlotsGiveTwoMessages) {
    StartAndConnect();
    sim.addFault(ModbusFault(0x8201, FaultKind::NoReply));
    sim.addFault(ModbusFault(0x8605, FaultKind::Exception));
    RunUpload();
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Response Timeout", "Receive Error Messages"}));
    EXPECT_EQ(CountLine("Read IOM1 configuration Error!!!"), 1);
    EXPECT_EQ(CountLine("Read IOM5 configuration Error!!!"), 1);
    EXPECT_EQ(ConfigReal[0].SlotPresent(1), kFalse);
    EXPECT_EQ(ConfigReal[0].SlotPresent(5), kFalse);
    EXPECT_EQ(ConfigReal[0].SlotPresent(6), kTrue);
    EXPECT_EQ(window.eventLog.back(), "Upload data from NX-4410 finished.");
}

TEST_F(Upload, LateReplyTimesOutAndTheLinkStaysUsable) {
    StartAndConnect();
    FaultRule late = ModbusFault(0x8020, FaultKind::Delay);
    late.delayMs = 700;
    sim.addFault(late);
    RunUpload();
    EXPECT_EQ(window.eventLog, std::vector<std::string>{"Read Initial configuration Error!!!"});
    EXPECT_EQ(Messages(), std::vector<std::string>{"Response Timeout"});
    EXPECT_TRUE(window.timer2.isActive());
    // The late reply arrives and is taken; then a new Upload reads everything.
    PumpFor(400);
    window.eventLog.clear();
    sim.clearLog();
    RunUpload();
    EXPECT_EQ(window.eventLog.back(), "Upload data from NX-4410 finished.");
    EXPECT_EQ(ModbusRequests(sim), kDefaultStationReads);
    ExpectRecordMatchesStation(sim.station());
    EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(Upload, ReplySplitIntoPiecesIsReadWhole) {
    nxsim::SimOptions opt;
    MakeDistinct(opt.station);
    StartAndConnect(opt);
    FaultRule split = ModbusFault(0x8403, FaultKind::Split);
    split.pieces = 3;
    split.delayMs = 20;
    sim.addFault(split);
    RunUpload();
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(window.eventLog.back(), "Upload data from NX-4410 finished.");
    ExpectRecordMatchesStation(sim.station());
}

TEST_F(Upload, BytesAfterAReplyAreDroppedAndEveryReadIsTaken) {
    struct Case {
        const char* name;
        int address;  // -1: every read
        const char* hex;
        int count;
    } cases[] = {
        {"two bytes after the configured module IDs", 0x8110, "DEAD", 1},
        {"five bytes after every reply", -1, "0102030405", -1},
        {"an exception reply after every reply", -1, "000000000003018402", -1},
    };
    nxsim::SimOptions opt;
    MakeDistinct(opt.station);
    StartAndConnect(opt);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.clearFaults();
        FaultRule f = ModbusFault(c.address, FaultKind::TrailingJunk);
        f.garbage = QByteArray::fromHex(c.hex);
        f.count = c.count;
        sim.addFault(f);
        ResetConfigRecordsForStartup();
        ConfigReal[0].NetID = 1;
        window.eventLog.clear();
        RunUpload();
        EXPECT_EQ(Messages(), std::vector<std::string>{});
        EXPECT_EQ(window.eventLog.size(), kDefaultStationReads.size() + 1);
        EXPECT_EQ(window.eventLog.back(), "Upload data from NX-4410 finished.");
        ExpectRecordMatchesStation(sim.station());
    }
}

TEST_F(Upload, ConnectionDropEndsTheUploadAndTheWatchdogDisconnects) {
    StartAndConnect();
    sim.addFault(ModbusFault(0x8404, FaultKind::CloseConnection));  // slot 4, first read
    RunUpload();
    EXPECT_EQ(CountLine("Read IOM4 configuration Error!!!"), 1);
    EXPECT_EQ(window.eventLog.back(), "Read Initial configuration Error!!!");
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[0], "Response Timeout");
    EXPECT_EQ(Messages()[1].rfind("Critical Error: ", 0), 0u) << Messages()[1];
    EXPECT_EQ(dialogs.shown[1].title, "Message");
    EXPECT_EQ(CountLine("Upload data from NX-4410 finished."), 0);
    EXPECT_EQ(ConfigReal[0].SlotPresent(5), kTrue) << "the run-time error leaves the flags";
    EXPECT_TRUE(window.timer2.isActive());

    ASSERT_TRUE(
        WaitFor([&] { return window.state == RecordingWindow::WindowState::Disconnected; }, 2000));
    // The link is usable again.
    dialogs.shown.clear();
    ConnectOk();
    UploadOk();
    EXPECT_EQ(ConfigReal[0].Module(6), "KB-590");
}

TEST_F(Upload, NotConnectedSendsNothingAndGivesTheTimersBack) {
    StartStation();
    window.timerEnableChecked = true;
    window.timer1 = true;
    RunUpload();
    EXPECT_EQ(Messages(), std::vector<std::string>{"Fail to connect to NX-4410"});
    EXPECT_EQ(dialogs.shown[0].title, "Error");
    EXPECT_EQ(dialogs.shown[0].style, rt::vbOKOnly);
    EXPECT_EQ(window.eventLog, std::vector<std::string>{"Fail to connect to NX-4410"});
    EXPECT_TRUE(ModbusRequests(sim).empty());
    EXPECT_TRUE(window.timer1);
    EXPECT_TRUE(window.timer2.isActive());
    // The monitor was stopped for the run.
    EXPECT_EQ(window.calls.front(), "SetTimer1Enabled(0)");
}

TEST_F(Upload, MonitorIsLeftOffWhenItWasNotSwitchedOn) {
    StartAndConnect();
    window.timerEnableChecked = false;
    RunUpload();
    EXPECT_EQ(std::count(window.calls.begin(), window.calls.end(), "SetTimer1Enabled(1)"), 0);
    EXPECT_FALSE(window.timer1);
}

TEST_F(Upload, NetIdThatIsNoUnitIdTakesTheRunTimeErrorPath) {
    StartAndConnect();
    UploadOk();
    ConfigReal[0].NetID = 300;
    window.eventLog.clear();
    RunUpload();
    EXPECT_EQ(window.eventLog, std::vector<std::string>{"Read Initial configuration Error!!!"});
    EXPECT_EQ(Messages(), std::vector<std::string>{"Critical Error: Overflow"});
    EXPECT_EQ(ConfigReal[0].SlotPresent(3), kTrue);
    EXPECT_TRUE(ModbusRequests(sim).empty());
}

TEST_F(Upload, SecondUploadStartedInsideTheWaitsDoesNothing) {
    StartAndConnect();
    int nested = 0;
    QTimer::singleShot(0, [&] {
        ++nested;
        int16_t node = 0;
        nxlink::UploadConfiguration(node);
    });
    RunUpload();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(ModbusRequests(sim), kDefaultStationReads);
    EXPECT_EQ(CountLine("Upload data from NX-4410 finished."), 1);
    EXPECT_TRUE(Messages().empty());
}

TEST(UploadPlan, SlotReadsByFamily) {
    ResetConfigRecordsForStartup();
    NodeConfig& r = ConfigReal[0];
    auto starts = [](const std::vector<nxlink::UploadRead>& reads) {
        std::vector<int> out;
        for (const auto& x : reads) out.push_back(x.Start);
        return out;
    };
    r.Module(0) = "KA-360";
    EXPECT_TRUE(nxlink::SlotReads(0, 0).empty());
    r.Module(0) = "KB-531";
    EXPECT_TRUE(nxlink::SlotReads(0, 0).empty());
    r.Module(1) = "KA-310";  // RTD: the break-line read only
    r.AIChannel(1) = 8;
    EXPECT_EQ(starts(nxlink::SlotReads(0, 1)),
              (std::vector<int>{0x8401, 0x8411, 0x8421, 0x8431, 0x8441, 0x8451, 0x8711}));
    r.Module(1) = "KA-340";
    r.McuVersion = 300;
    EXPECT_EQ(starts(nxlink::SlotReads(0, 1)),
              (std::vector<int>{0x8401, 0x8411, 0x8421, 0x8431, 0x8441, 0x8451, 0x8701, 0x8711}));
    r.AIChannel(1) = 18;
    EXPECT_THROW(nxlink::SlotReads(0, 1), rt::RuntimeError);
}

}  // namespace
