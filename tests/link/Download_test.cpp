#include "link/Download.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "config/ConfigDefaults.h"
#include "config/ConfigFile.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/Upload.h"
#include "platform/WinsockControl.h"
#include "sequence_support.h"
#include "tests/support/ConfigRecords.h"

namespace {

using nxsim::Channel;
using nxsim::FaultKind;
using nxsim::FaultRule;
using Words = std::vector<uint16_t>;

class Download : public LinkSequenceTest {
  protected:
    void SetUp() override {
        LinkSequenceTest::SetUp();
        StartStation();
        ConnectOk();
        UploadOk();
        window.eventLog.clear();
        window.calls.clear();
    }
    NodeConfig& set() { return ConfigSetting[0]; }
    void RunDownload() {
        int16_t node = 0;
        nxlink::DownloadConfiguration(node);
    }
    // The codes the stand-in received for one slot, in order.
    std::vector<int> CodesOfSlot(int slot) const {
        std::vector<int> codes;
        for (const Words& w : ModuleCommandsReceived(sim))
            if (w.size() >= 2 && w[1] == slot) codes.push_back(w[0]);
        return codes;
    }
    int CountLine(const std::string& line) const {
        return static_cast<int>(std::count(window.eventLog.begin(), window.eventLog.end(), line));
    }
    FaultRule CommandFault(int code, int slot, FaultKind kind) {
        FaultRule f;
        f.channel = Channel::Modbus;
        f.function = 16;
        f.addressFirst = 0x8000;
        f.command = code;
        f.slot = slot;
        f.kind = kind;
        return f;
    }
    // Edits that differ from every default of the stand-in.
    void EditSlots() {
        for (int c = 0; c < 8; ++c) {  // slot 2: KB-521, alarm levels
            set().LowAlarmVal(2, c) = static_cast<int16_t>(-100 - c);
            set().HighAlarmVal(2, c) = static_cast<int16_t>(9000 + c);
        }
        set().AlarmMode(2) = 0x00A5;
        set().BreakLineFunc(2) = 1;
        for (int c = 0; c < 8; ++c) {  // slot 4: KB-552, range-selectable AO
            set().RangeCode(4, c) = static_cast<int16_t>(48 + c % 6);
            set().PowerOnValue(4, c) = static_cast<int16_t>(1000 * c);
            set().SafeValue(4, c) = static_cast<int16_t>(-c);
            set().PowerOnValueMode(4, c) = 1;
            set().SafeValueMode(4, c) = static_cast<uint8_t>(c % 3);
        }
        set().CHBreakLineMode(4) = 0x00030005;
        for (int c = 0; c < 16; ++c) {  // slot 6: KB-590, pulse outputs
            set().PO(6).RefTime(c) = static_cast<int16_t>(100 + c);
            set().PO(6).OffsetTime(c) = 40000 + c;
            set().PO(6).PWMCount(c) = static_cast<int16_t>(c);
            set().PO(6).CyclicSteps(c) = 50;
            set().PO(6).DutySteps(c) = static_cast<int16_t>(c * 2);
            set().SafeValueMode(6, c) = 2;
        }
        for (int s : {2, 4, 6}) set().DownloadPending(s) = kTrue;
    }
};

TEST_F(Download, EditedSlotsGoOutInOrderAndReadBack) {
    EditSlots();
    RunDownload();
    EXPECT_TRUE(Messages().empty()) << Messages().front();

    EXPECT_EQ(CodesOfSlot(2), (std::vector<int>{1, 16, 17, 66, 67, 1}));
    EXPECT_EQ(CodesOfSlot(4), (std::vector<int>{1, 16, 17, 64, 81, 66, 67, 48, 49, 50, 1}));
    EXPECT_EQ(CodesOfSlot(6), (std::vector<int>{1, 16, 17, 64, 112, 113, 114, 115, 1}));
    for (int s : {0, 1, 3, 5, 7}) EXPECT_TRUE(CodesOfSlot(s).empty()) << s;

    // Byte by byte: the opening NMT command, the slot's line detect and its
    // alarm limits.
    const auto frames = sim.received(Channel::Modbus);
    ASSERT_EQ(frames.size(), 26u);
    EXPECT_EQ(HexBytes(frames[0].bytes),
              "00 00 00 00 00 0D 01 10 80 00 00 03 06 00 01 00 02 00 01");
    EXPECT_EQ(HexBytes(frames[2].bytes),
              "00 00 00 00 00 0D 01 10 80 00 00 03 06 00 11 00 02 00 01");
    EXPECT_EQ(HexBytes(frames[3].bytes.left(25)),
              "00 00 00 00 00 2F 01 10 80 00 00 14 28 00 42 00 02 00 00 00 08 FF 9C 23 28");
    EXPECT_EQ(frames[3].bytes.size(), 53);
    EXPECT_EQ(HexBytes(frames[4].bytes),
              "00 00 00 00 00 0D 01 10 80 00 00 03 06 00 43 00 02 00 A5");
    EXPECT_EQ(HexBytes(frames[5].bytes),
              "00 00 00 00 00 0D 01 10 80 00 00 03 06 00 01 00 02 00 02");

    const std::vector<std::string> slot2 = {"Write IOM 2 NMT to PreOp-Mode",
                                            "Write IOM 2 redundancy status",
                                            "Write IOM 2 terminal line detect function OK!",
                                            "Write IOM 2 alarm low/high value OK!",
                                            "Write IOM 2 alarm enable/disable mode OK!",
                                            "Write IOM 2 NMT to OP-Mode",
                                            "Write IOM 2 configuration OK!"};
    ASSERT_GE(window.eventLog.size(), slot2.size());
    EXPECT_EQ(std::vector<std::string>(window.eventLog.begin(), window.eventLog.begin() + 7),
              slot2);
    EXPECT_EQ(CountLine("Write IOM 4 Channel breakline detected function OK!"), 1);
    EXPECT_EQ(CountLine("Write IOM 6 Cyclic Steps and Duty Steps OK!"), 1);
    EXPECT_EQ(window.eventLog.back(), "Download data to NX-4410 finished.");

    for (int s : {2, 4, 6}) {
        EXPECT_EQ(ConfigSetting[0].DownloadPending(s), kFalse) << s;
        EXPECT_EQ(ConfigReal[0].DownloadPending(s), kTrue) << s;
    }
    EXPECT_EQ(ConfigReal[0].LowAlarmVal(2, 3), -103);
    EXPECT_EQ(ConfigReal[0].PO(6).OffsetTime(5), 40005);
    EXPECT_TRUE(window.timer2.isActive());

    // The station holds the edits, and an Upload reads them back.
    const nxsim::SlotConfig st4 = sim.station().slot[4];
    EXPECT_EQ(st4.reg(nxsim::BlkRangeCode, 7), 49);
    EXPECT_EQ(st4.nmtState, nxsim::NmtOperation);
    const NodeConfig edited = ConfigSetting[0];
    ResetConfigRecordsForStartup();
    ConfigReal[0].NetID = 1;
    window.eventLog.clear();
    UploadOk();
    const NodeConfig& r = ConfigReal[0];
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(r.LowAlarmVal(2, c), edited.LowAlarmVal(2, c));
        EXPECT_EQ(r.HighAlarmVal(2, c), edited.HighAlarmVal(2, c));
        EXPECT_EQ(r.RangeCode(4, c), edited.RangeCode(4, c));
        EXPECT_EQ(r.PowerOnValue(4, c), edited.PowerOnValue(4, c));
        EXPECT_EQ(r.SafeValue(4, c), edited.SafeValue(4, c));
        EXPECT_EQ(r.PowerOnValueMode(4, c), 1);
        EXPECT_EQ(r.SafeValueMode(4, c), edited.SafeValueMode(4, c));
    }
    EXPECT_EQ(r.AlarmMode(2), 0x00A5);
    EXPECT_EQ(r.BreakLineFunc(2), 1);
    EXPECT_EQ(r.CHBreakLineMode(4), 0x00030005);
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(r.PO(6).RefTime(c), 100 + c);
        EXPECT_EQ(r.PO(6).OffsetTime(c), 40000 + c);
        EXPECT_EQ(r.PO(6).PWMCount(c), c);
        EXPECT_EQ(r.PO(6).DutySteps(c), c * 2);
        EXPECT_EQ(r.SafeValueMode(6, c), 2);
    }
}

TEST_F(Download, AllEightSlotsOfTheDefaultStation) {
    for (int s = 0; s < 8; ++s) set().DownloadPending(s) = kTrue;
    RunDownload();
    EXPECT_TRUE(Messages().empty());
    const std::vector<size_t> perSlot = {4, 6, 6, 11, 11, 8, 9, 9};
    for (int s = 0; s < 8; ++s) {
        EXPECT_EQ(CodesOfSlot(s).size(), perSlot[static_cast<size_t>(s)]) << s;
        EXPECT_EQ(CountLine("Write IOM " + std::to_string(s) + " configuration OK!"), 1);
        EXPECT_EQ(ConfigSetting[0].DownloadPending(s), kFalse);
    }
    EXPECT_EQ(CodesOfSlot(3), (std::vector<int>{1, 16, 17, 64, 65, 66, 67, 80, 81, 82, 1}));
    EXPECT_EQ(ModuleCommandsReceived(sim).size(), 64u);
}

TEST_F(Download, BytesAfterACommandReplyAreDroppedAndEverySlotIsWritten) {
    // Every echo of slot 4 is followed by stray bytes in the same write.
    EditSlots();
    FaultRule f = CommandFault(-1, 4, FaultKind::TrailingJunk);
    f.garbage = QByteArray::fromHex("0102030405");
    f.count = -1;
    sim.addFault(f);
    RunDownload();
    EXPECT_EQ(Messages(), std::vector<std::string>{});
    for (int s : {2, 4, 6}) {
        EXPECT_EQ(CountLine("Write IOM " + std::to_string(s) + " configuration OK!"), 1) << s;
        EXPECT_EQ(ConfigSetting[0].DownloadPending(s), kFalse) << s;
        EXPECT_EQ(sim.station().slot[static_cast<size_t>(s)].nmtState, nxsim::NmtOperation) << s;
    }
    EXPECT_EQ(CodesOfSlot(6), (std::vector<int>{1, 16, 17, 64, 112, 113, 114, 115, 1}));
}

TEST_F(Download, TimeoutLeavesTheSlotPendingWithoutItsFinalNmtCommand) {
    EditSlots();
    set().DownloadPending(3) = kTrue;
    sim.addFault(CommandFault(0x42, 2, FaultKind::NoReply));  // slot 2, alarm limits
    const NodeConfig realBefore = ConfigReal[0];
    RunDownload();

    EXPECT_EQ(CodesOfSlot(2), (std::vector<int>{1, 16, 17, 66}));
    EXPECT_EQ(CodesOfSlot(3).back(), 1);
    EXPECT_EQ(CodesOfSlot(3).size(), 11u);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Response Timeout on slot 2"});
    EXPECT_EQ(dialogs.shown[0].title, "Message");
    EXPECT_EQ(dialogs.shown[0].style, rt::vbCritical);
    EXPECT_EQ(CountLine("Write IOM 2 configuration Error!!!"), 1);
    EXPECT_EQ(CountLine("Write IOM 2 configuration OK!"), 0);
    EXPECT_EQ(CountLine("Write IOM 3 configuration OK!"), 1);
    EXPECT_EQ(window.eventLog.back(), "Download data to NX-4410 finished.");
    EXPECT_EQ(ConfigSetting[0].DownloadPending(2), kTrue);
    EXPECT_EQ(ConfigSetting[0].DownloadPending(3), kFalse);
    EXPECT_EQ(ConfigReal[0].LowAlarmVal(2, 0), realBefore.LowAlarmVal(2, 0));
    EXPECT_EQ(sim.station().slot[2].nmtState, nxsim::NmtPreOperation);
}

TEST_F(Download, RefusedCommandReportsTheSlot) {
    set().DownloadPending(3) = kTrue;
    set().DownloadPending(5) = kTrue;
    sim.addFault(CommandFault(0x40, 3, FaultKind::Exception));
    RunDownload();
    EXPECT_EQ(Messages(), std::vector<std::string>{"Receive Error Messages on slot 3"});
    EXPECT_EQ(CodesOfSlot(3), (std::vector<int>{1, 16, 17, 64}));
    EXPECT_EQ(CountLine("Write IOM 3 configuration Error!!!"), 1);
    EXPECT_EQ(CountLine("Write IOM 5 configuration OK!"), 1);
    EXPECT_EQ(ConfigSetting[0].DownloadPending(3), kTrue);
}

TEST_F(Download, NothingPendingSendsNothing) {
    set().DownloadPending(2) = 1;  // only -1 counts
    set().DownloadPending(8) = kTrue;
    window.timer2.stop();
    RunDownload();
    EXPECT_TRUE(ModbusRequests(sim).empty());
    EXPECT_EQ(window.eventLog, std::vector<std::string>{"Download data to NX-4410 finished."});
    EXPECT_TRUE(window.timer2.isActive());
}

TEST_F(Download, NotConnectedSendsNothingAndStartsTheWatchdog) {
    set().DownloadPending(2) = kTrue;
    nxlink::WskTCP502().Close();
    window.timer2.stop();
    window.timerEnableChecked = false;
    RunDownload();
    EXPECT_EQ(window.eventLog, std::vector<std::string>{"Fail to connect to NX-4410"});
    EXPECT_EQ(Messages(), std::vector<std::string>{"Fail to connect to NX-4410"});
    EXPECT_EQ(dialogs.shown[0].title, "Error");
    EXPECT_EQ(dialogs.shown[0].style, rt::vbOKOnly);
    EXPECT_TRUE(window.timer2.isActive());
    EXPECT_FALSE(window.timer1);
    EXPECT_EQ(ConfigSetting[0].DownloadPending(2), kTrue);
}

TEST_F(Download, ChannelCountThatDoesNotFitEndsTheRunBeforeTheSlotIsTouched) {
    set().DownloadPending(1) = kTrue;
    set().DownloadPending(2) = kTrue;
    set().DownloadPending(3) = kTrue;
    set().AIChannel(2) = 40;  // only a loaded file can hold such a count
    RunDownload();
    EXPECT_EQ(CodesOfSlot(1).size(), 6u);
    EXPECT_TRUE(CodesOfSlot(2).empty());
    EXPECT_TRUE(CodesOfSlot(3).empty()) << "the run ends at a run-time error";
    EXPECT_EQ(Messages(), std::vector<std::string>{"Critical Error: Subscript out of range"});
    EXPECT_EQ(window.eventLog.back(), "Write IOM 2 configuration Error!!!");
    EXPECT_EQ(CountLine("Download data to NX-4410 finished."), 0);
    EXPECT_EQ(ConfigSetting[0].DownloadPending(2), kTrue);
    EXPECT_EQ(ConfigSetting[0].DownloadPending(3), kTrue);
    EXPECT_EQ(sim.station().slot[2].nmtState, nxsim::NmtOperation);
    EXPECT_TRUE(window.timer2.isActive());
}

TEST_F(Download, MonitorIsStoppedForTheRunAndStartedAgain) {
    window.timerEnableChecked = true;
    window.timer1 = true;
    set().DownloadPending(0) = kTrue;
    RunDownload();
    EXPECT_EQ(window.calls.front(), "SetTimer1Enabled(0)");
    EXPECT_TRUE(window.timer1);
    EXPECT_EQ(CountLine("Write IOM 0 configuration OK!"), 1);
}

// The file has no key for the mains frequency and the high filter byte: a
// Download after a Load sends what the last Upload read, and leaves the
// filter command out where no Upload read it.
TEST_F(Download, LoadedFileKeepsTheUploadedFilterSettingsOrLeavesTheCommandOut) {
    char tmpl[] = "/tmp/nx_download_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::filesystem::path dir = tmpl;
    const std::string file = (dir / "station.ini").string();
    sim.updateStation([](nxsim::StationConfig& st) {  // slot 3: KB-540
        st.slot[3].setReg(nxsim::BlkAiFilterMode, 0, 0x0702);
        st.slot[3].setReg(nxsim::BlkAiFilterMode, 1, 60);
    });
    UploadOk();
    SaveConfigFile(0, file);

    struct Case {
        bool reconnectWithoutUpload;
        bool sent;
    };
    for (const Case& c : {Case{false, true}, Case{true, false}}) {
        SCOPED_TRACE(c.reconnectWithoutUpload ? "no Upload before the Load" : "Upload, then Load");
        if (c.reconnectWithoutUpload) {
            nxlink::mnuDisconnect_Click();
            ConnectOk();
        }
        McuIniPath = file;
        mnuFileLoad_Click();
        sim.clearLog();
        window.eventLog.clear();
        RunDownload();
        EXPECT_TRUE(Messages().empty());
        EXPECT_EQ(CountLine("Write IOM 3 configuration OK!"), 1);
        std::vector<Words> filter;
        for (const Words& w : ModuleCommandsReceived(sim))
            if (w.size() >= 2 && w[0] == 0x52) filter.push_back(w);
        if (c.sent) {
            EXPECT_EQ(filter, (std::vector<Words>{{0x52, 3, 0x02, 0x07, 60}}));
        } else {
            EXPECT_TRUE(filter.empty());
            EXPECT_EQ(CountLine("Write IOM 3 AI filter mode not sent: mains frequency unknown, "
                                "Upload first"),
                      1);
        }
        EXPECT_EQ(sim.station().slot[3].reg(nxsim::BlkAiFilterMode, 0), 0x0702);
        EXPECT_EQ(sim.station().slot[3].reg(nxsim::BlkAiFilterMode, 1), 60);
    }
    std::filesystem::remove_all(dir);
}

TEST_F(Download, WatchdogStartedByTheDownloadFindsALostStation) {
    window.timer2.stop();
    set().DownloadPending(1) = kTrue;
    RunDownload();
    ASSERT_TRUE(window.timer2.isActive());
    sim.stop();
    ASSERT_TRUE(
        WaitFor([&] { return window.state == RecordingWindow::WindowState::Disconnected; }, 2500));
    EXPECT_EQ(ConfigSetting[0].Module(1), "");
}

}  // namespace
