// The main window joined to the controller link, against the station
// stand-in on loopback: Connect, Disconnect, the watchdog, Upload and
// Download against a station that answers late, short or not at all, the
// senders of the windows that share the link, Set Net ID and the key filters
// of the connection bar.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "config/ConfigFile.h"
#include "config/NodeConfig.h"
#include "hart/frmHart.h"
#include "link/Connection.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "link/ReplyDispatcher.h"
#include "mainwindow/frmAdvancedOptions.h"
#include "mainwindow/frmMain.h"
#include "mainwindow_support.h"
#include "platform/EventWait.h"
#include "scope/frmScope.h"
#include "tests/support/ConfigRecords.h"

namespace {

using testsupport::MainWindowTest;
using testsupport::OnlineWindowTest;
using testsupport::StartCaptionText;
using testsupport::WaitFor;

// The enabled and visible states that Connect and Disconnect set.
void ExpectConnectedControls(frmMain& w, bool connected) {
    EXPECT_EQ(w.Toolbar.Buttons(1).Enabled(), !connected);
    EXPECT_EQ(w.mnuConnect.Enabled(), !connected);
    for (int b : {2, 3, 4, 6, 8}) EXPECT_EQ(w.Toolbar.Buttons(b).Enabled(), connected) << b;
    for (ui::MenuItem* m :
         {&w.mnuDisconnect, &w.mnuMonitor, &w.mnuTread, &w.mnuHart, &w.mnuAdvancedOptions})
        EXPECT_EQ(m->Enabled(), connected) << m->Caption();
    EXPECT_EQ(w.LblNetID.Visible(), connected);
    EXPECT_EQ(w.TxtNetID.Visible(), connected);
    EXPECT_EQ(w.CmdSetNetID.Visible(), connected);
    // Load, Save and Exit are never disabled.
    for (const char* key : {"Load", "Save", "Exit"}) EXPECT_TRUE(w.Toolbar.Buttons(key).Enabled());
}

TEST_F(OnlineWindowTest, ConnectFromTheToolbarReachesTheConnectedState) {
    options.station.netId = 17;
    frmMain& w = Start();
    w.ReportStatus("an older line");
    ASSERT_TRUE(Connect());
    ExpectConnectedControls(w, true);
    EXPECT_FALSE(w.mnuTimerEnable.Enabled());  // waits for an Upload
    EXPECT_EQ(w.TxtNetID.Text(), "17");
    EXPECT_EQ(w.WskTCP502.State(), rt::sckConnected);
    EXPECT_EQ(w.WskTCP10K.State(), rt::sckConnected);
    // The window's sockets are the link's.
    EXPECT_EQ(&w.WskTCP502, &nxlink::WskTCP502());
    EXPECT_EQ(&w.WskTCP10K, &nxlink::WskTCP10K());
    // The success line is the event log's only row.
    ASSERT_EQ(w.lvwEventLog.ListItemCount(), 1);
    EXPECT_EQ(w.lvwEventLog.ListItems(1).Text(), w.txtStatus.Text());
    EXPECT_NE(w.txtStatus.Text().find(" Successfully connect with NX-4410."), std::string::npos);
    // The lists were refilled: eight bare module rows, nothing uploaded yet.
    EXPECT_EQ(w.lvwIOMSummary.ListItemCount(), 8);
    EXPECT_EQ(w.lvwDIMapping.ListItemCount(), 0);
    EXPECT_EQ(ConfigReal[0].TotalSlot, 8);
    // Connect starts no watchdog and changes no caption.
    EXPECT_FALSE(w.Timer2.Enabled());
    EXPECT_EQ(w.Caption(), StartCaptionText());
    EXPECT_FALSE(ui::HourglassShown());
}

TEST_F(OnlineWindowTest, ConnectFromTheMenuToAStationThatIsNotThereOffersConnectAgain) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    frmMain& w = Open();
    w.TxtCtlIP.SetText("127.0.0.1");
    nxlink::SetLinkPorts(closedPort, closedPort);
    dialogs.AnswerMsgBox(rt::vbOK);
    w.mnuConnect.PerformClick();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, "Fail to connect to NX-4410");
    EXPECT_EQ(dialogs.shown[0].title, "Error");
    EXPECT_EQ(w.txtStatus.Text(), "Fail to connect to NX-4410");
    EXPECT_EQ(w.lvwEventLog.ListItemCount(), 0);
    // The offline state as it was, with Connect offered again.
    EXPECT_TRUE(w.Toolbar.Buttons(1).Enabled());
    EXPECT_TRUE(w.mnuConnect.Enabled());
    EXPECT_FALSE(w.Toolbar.Buttons(2).Enabled());
    EXPECT_FALSE(w.TxtNetID.Visible());
}

TEST_F(OnlineWindowTest, DisconnectReturnsTheWindowToItsStartState) {
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    ASSERT_EQ(w.Caption(), StartCaptionText() + "(Online Mode)");
    ASSERT_TRUE(w.optSlot(0).HasPicture());
    ASSERT_NE(w.fmeController.Caption(), "");
    w.Toolbar.Buttons("Disconnect").PerformClick();

    ExpectConnectedControls(w, false);
    EXPECT_FALSE(w.mnuTimerEnable.Enabled());
    EXPECT_FALSE(w.mnuTimerEnable.Checked());
    EXPECT_EQ(w.Toolbar.Buttons(6).Image(), 9);
    EXPECT_EQ(w.Toolbar.Buttons(6).ButtonMenus(1).Text(), "Enable");
    EXPECT_EQ(w.WskTCP502.State(), rt::sckClosed);
    EXPECT_EQ(w.WskTCP10K.State(), rt::sckClosed);
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_FALSE(w.Timer2.Enabled());
    EXPECT_EQ(w.Caption(), StartCaptionText());
    EXPECT_EQ(w.txtStatus.Text(), "Disconnect with NX-4410");
    EXPECT_EQ(w.lvwEventLog.ListItemCount(), 0);
    // The records are back at their defaults and the tables show that.
    EXPECT_EQ(ConfigReal[0].Module[0], "");
    EXPECT_EQ(ConfigSetting[0].Module[0], "");
    for (ui::ListView* lv : {&w.lvwDIMapping, &w.lvwDOMapping, &w.lvwAIMapping, &w.lvwAOMapping,
                             &w.lvwPIMapping, &w.lvwPOMapping, &w.lvwMCUSummary})
        EXPECT_EQ(lv->ListItemCount(), 0);
    ASSERT_EQ(w.lvwIOMSummary.ListItemCount(), 8);
    EXPECT_EQ(w.lvwIOMSummary.ListItems(8).Text(), "07");
    EXPECT_EQ(w.lvwIOMSummary.ListItems(1).SubItem(1), "");
    // The rack is empty, names no controller and nothing in it is selected.
    EXPECT_EQ(w.fmeController.Caption(), "");
    for (int s = 0; s <= 7; ++s) {
        EXPECT_FALSE(w.optSlot(s).Value());
        EXPECT_FALSE(w.optSlot(s).HasPicture());
        EXPECT_EQ(w.optSlot(s).ToolTipText(), "");
        EXPECT_FALSE(w.lblIOMName(s).Visible());
    }
    for (int i = 0; i <= 1; ++i) {
        EXPECT_FALSE(w.optMCU(i).Value());
        EXPECT_FALSE(w.optMCU(i).HasPicture());
        EXPECT_FALSE(w.optPower(i).Value());
        EXPECT_FALSE(w.optPower(i).HasPicture());
    }
    // The power click that Disconnect runs shows the (now empty) name and
    // the empty page.
    EXPECT_TRUE(w.lbCurrentModule.Visible());
    EXPECT_EQ(w.lbCurrentModule.Caption(), "");
    EXPECT_EQ(w.fmeNoModule.ZPosition(), 0);
    EXPECT_TRUE(dialogs.shown.empty());

    // A second Disconnect, with nothing connected, ends the same way.
    w.mnuDisconnect_Click();
    ExpectConnectedControls(w, false);
    EXPECT_TRUE(dialogs.shown.empty());
}

// An Upload or Download clicked while a transfer runs is handled inside the
// running one's waits and refused: it leaves the window, the pointer and both
// records as they were, and the running transfer ends as it would have.
TEST_F(OnlineWindowTest, TransferClickedWhileOneRunsLeavesEverythingAsItWas) {
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    w.Timer2.SetEnabled(false);
    struct Case {
        const char* running;
        const char* clicked;
    };
    const Case cases[] = {{"Download", "Upload"}, {"Upload", "Download"}, {"Download", "Download"}};
    for (const Case& c : cases) {
        for (int s : {0, 1, 2}) ConfigSetting[0].DownloadPending[s] = kTrue;
        ConfigSetting[0].BreakLineFunc[5] = 1;  // an edit not yet marked for Download
        sim.clearLog();
        bool ran = false;
        QTimer::singleShot(0, [&] {
            ran = nxlink::TransferInProgress();
            // Marks that a redraw of the window would undo.
            w.SetCaption("probe");
            w.lvwIOMSummary.ListItems(1).SetSubItem(1, "probe");
            w.fmeCAIConf.ZOrder(0);
            const NodeConfig real = ConfigReal[0], setting = ConfigSetting[0];
            const bool hourglass = ui::HourglassShown();
            w.Toolbar.Buttons(c.clicked).PerformClick();
            EXPECT_EQ(w.Caption(), "probe");
            EXPECT_EQ(w.lvwIOMSummary.ListItems(1).SubItem(1), "probe");
            EXPECT_EQ(w.fmeCAIConf.ZPosition(), 0);
            EXPECT_TRUE(ConfigReal[0] == real);
            EXPECT_TRUE(ConfigSetting[0] == setting);
            EXPECT_EQ(ui::HourglassShown(), hourglass);
        });
        w.Toolbar.Buttons(c.running).PerformClick();
        ASSERT_TRUE(ran) << c.running << " / " << c.clicked;
        if (std::string(c.running) == "Download") {
            // Every pending slot was written to the end, none is pending again.
            int toOperational = 0;
            for (const auto& e : sim.received(nxsim::Channel::Modbus))
                if (e.function == 16 && e.values.size() == 3 && e.values[0] == 1 &&
                    e.values[2] == 2)
                    ++toOperational;
            EXPECT_EQ(toOperational, 3);
            for (int s : {0, 1, 2}) EXPECT_EQ(ConfigSetting[0].DownloadPending[s], 0) << s;
            EXPECT_EQ(ConfigSetting[0].BreakLineFunc[5], 1);
        }
        w.Timer2.SetEnabled(false);
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

// A fault on the range-code list of slot 3 (16 channels), with a module of
// the same shape in slot 4: a shorter list is taken as the channels it
// holds; a list that gets no reply costs slot 3 alone, and slot 4's lists
// are read whole.
struct ChannelListFault {
    const char* name;
    nxsim::FaultKind kind;
    int byteCount;                   // ShortReply: the data bytes kept
    std::vector<std::string> boxes;  // the Upload's message boxes
    bool slot3Kept;
    int slot3Channels;  // range codes of slot 3 read from the station
};

class ChannelListFaultTest : public OnlineWindowTest,
                             public ::testing::WithParamInterface<ChannelListFault> {};

TEST_P(ChannelListFaultTest, UploadLosesAtMostTheSlotOfTheFaultyList) {
    const ChannelListFault& c = GetParam();
    options.station.setModule(4, 0x0031);  // KB-540, as in slot 3
    Start();
    nxsim::FaultRule fault;
    fault.function = 4;
    fault.addressFirst = 0x8403;  // range codes of slot 3
    fault.kind = c.kind;
    fault.byteCount = c.byteCount;
    sim.addFault(fault);
    for (size_t i = 0; i < c.boxes.size(); ++i) dialogs.AnswerMsgBox(rt::vbOK);
    ASSERT_TRUE(ConnectAndUpload());
    std::vector<std::string> boxes;
    for (const auto& d : dialogs.shown) boxes.push_back(d.prompt);
    EXPECT_EQ(boxes, c.boxes);
    EXPECT_EQ(window->txtStatus.Text(), "Upload data from NX-4410 finished.");
    EXPECT_EQ(ConfigReal[0].SlotPresent[3], c.slot3Kept ? kTrue : kFalse);
    EXPECT_EQ(ConfigReal[0].SlotPresent[4], kTrue);
    // The range codes of slots 3 and 4 as read, and as the station holds
    // them (slot 3: only the channels its list held; the others stay 0).
    const nxsim::StationConfig st = sim.station();
    std::vector<int> read3, read4, station3, station4;
    for (int ch = 0; ch < 16; ++ch) {
        read3.push_back(ConfigReal[0].RangeCode(3, ch));
        read4.push_back(ConfigReal[0].RangeCode(4, ch));
        station3.push_back(ch < c.slot3Channels ? st.slot[3].reg(nxsim::BlkRangeCode, ch) : 0);
        station4.push_back(st.slot[4].reg(nxsim::BlkRangeCode, ch));
    }
    EXPECT_EQ(read3, station3);
    EXPECT_EQ(read4, station4);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ChannelListFaultTest,
    ::testing::Values(
        ChannelListFault{"ThreeChannels", nxsim::FaultKind::ShortReply, 6, {}, true, 3},
        ChannelListFault{"NoReply", nxsim::FaultKind::NoReply, 0, {"Response Timeout"}, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Replies late, split, after junk or sent twice ---------------------------------

using nxsim::FaultKind;
using nxsim::FaultRule;

// A rule for the requests of one function and start address (-1: any).
FaultRule Rule(FaultKind kind, int function, int address, int delayMs = 0) {
    FaultRule r;
    r.kind = kind, r.function = function, r.addressFirst = address, r.delayMs = delayMs;
    return r;
}

// The station's reply to each configuration block, from the log of an
// Upload that met no fault (one request at a time, answered in order).
std::map<int, std::vector<uint8_t>> BlockReplies(const QVector<nxsim::LogEntry>& log) {
    std::map<int, std::vector<uint8_t>> replies;
    std::deque<int> asked;
    for (const nxsim::LogEntry& e : log) {
        if (e.channel != nxsim::Channel::Modbus) continue;
        if (e.direction == nxsim::Direction::Received) {
            asked.push_back(e.function == 4 && e.address >= 0x8000 ? e.address : -1);
        } else if (!asked.empty()) {
            if (asked.front() >= 0) replies[asked.front()].assign(e.bytes.begin(), e.bytes.end());
            asked.pop_front();
        }
    }
    return replies;
}

// The blocks whose fields in ConfigReal are not the station's: storing the
// station's own reply changes the record.
std::set<int> BlocksNotTheStations(const std::map<int, std::vector<uint8_t>>& replies) {
    const NodeConfig got = ConfigReal[0];
    std::set<int> off;
    for (const auto& [start, reply] : replies) {
        std::string key = KeyConfigRead(static_cast<uint16_t>(start));
        DispatchModbusReply(reply, key);
        if (!(ConfigReal[0] == got)) off.insert(start);
        ConfigReal[0] = got;
    }
    return off;
}

struct UploadReplyFault {
    const char* name;
    FaultKind kind;
    int start;  // of the function 4 request it hits (-1: any request)
    int delayMs;
    int n;  // Split: pieces; Repeat: one reply in n
    QByteArray garbage;
    int lost;  // the slot that fails (-1: none may fail); others may, each with its box
};

class UploadReplyFaultTest : public OnlineWindowTest,
                             public ::testing::WithParamInterface<UploadReplyFault> {};

// Every slot either fails with its box or holds the station's own values of
// each block; only a block whose read met a copy of an earlier reply, or
// took a reply that such a copy shifted (below), may differ, and at no time
// do more than two requests wait in the station.
TEST_P(UploadReplyFaultTest, EveryBlockHoldsItsOwnReplyOrItsSlotFails) {
    const UploadReplyFault& c = GetParam();
    // Slot 4 takes a list of slot 3's shape (KB-540), with codes of its own;
    // each analog block, slot and channel has a value of its own.
    options.station.setModule(4, 0x0031);
    for (int ch = 0; ch < 16; ++ch) {
        options.station.slot[4].setReg(nxsim::BlkRangeCode, ch, 14 + ch % 12);
        for (int s : {2, 3, 4, 7})
            for (int b = 1; b <= 4; ++b)  // scale low and high, alarm low and high
                options.station.slot[s].setReg(nxsim::BlkRangeCode + 16 * b, ch,
                                               1000 * b + 16 * s + ch);
    }
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    w.Timer2.SetEnabled(false);
    const auto replies = BlockReplies(sim.log());
    // Every field the record holds afterwards comes from the Upload below.
    const int16_t netId = ConfigReal[0].NetID;
    ConfigReal[0] = NodeConfig{};
    ConfigReal[0].NetID = netId;
    sim.clearLog();
    FaultRule fault = Rule(c.kind, c.start < 0 ? -1 : 4, c.start, c.delayMs);
    fault.pieces = std::max(2, c.n);
    fault.every = c.n;
    fault.count = c.kind == FaultKind::Repeat ? -1 : 1;
    fault.garbage = c.garbage;
    sim.addFault(fault);
    if (c.kind == FaultKind::Repeat) {
        // 30 ms of work on each other request: the copies come while the
        // Upload runs.
        fault.kind = FaultKind::ServiceTime;
        fault.delayMs = 30;
        fault.every = 0;
        sim.addFault(fault);
    }
    for (int i = 0; i < kStationSlots; ++i) dialogs.AnswerMsgBox(rt::vbOK);
    w.Toolbar.Buttons("Upload").PerformClick();
    w.Timer2.SetEnabled(false);
    rt::DoEvents();  // an error box the last reply left for the event loop
    EXPECT_EQ(w.txtStatus.Text(), "Upload data from NX-4410 finished.");
    std::set<int> failed, mayDiffer;
    for (int s = 0; s < kStationSlots; ++s)
        if (ConfigReal[0].SlotPresent(s) != kTrue) failed.insert(s);
    // A copy meets the requests that wait in the station when it goes out,
    // or the next one when none waits.
    std::deque<int> waiting;
    bool copyAhead = false;
    size_t most = 0;
    for (const nxsim::LogEntry& e : sim.log()) {
        if (e.channel != nxsim::Channel::Modbus) continue;
        if (e.direction == nxsim::Direction::Received) {
            if (copyAhead) mayDiffer.insert(e.address);
            copyAhead = false;
            waiting.push_back(e.address);
        } else if (e.copy) {
            mayDiffer.insert(waiting.begin(), waiting.end());
            copyAhead = waiting.empty();
        } else if (!waiting.empty()) {
            waiting.pop_front();
        }
        most = std::max(most, waiting.size());
    }
    // A copy that met a read while the read's own reply was still on its way
    // shifts the replies by one through the reads that follow it back to
    // back, as long as each takes the reply before it (nothing tells them
    // apart); the first read that does not ends it, as does a read of a
    // channel list whose length is not the one asked (an order mark goes
    // next).
    const auto list = [](int b) {
        int slot = 0;
        const RegisterBlock* block = FindConfigBlock(b, &slot);
        return block != nullptr && block->ByteCount == kByteCountUpTo32;
    };
    const auto takes = [&](int next, int prev) {
        const size_t prevData = replies.at(prev).size() - 9;
        return list(next) ? prevData <= 32 : replies.at(next).size() == replies.at(prev).size();
    };
    int previous = -1;
    for (const nxsim::LogEntry& e : sim.log()) {
        if (e.channel != nxsim::Channel::Modbus || e.direction != nxsim::Direction::Received)
            continue;
        const int block = e.function == 4 && replies.count(e.address) ? e.address : -1;
        if (block >= 0 && previous >= 0 && mayDiffer.count(previous) && takes(block, previous))
            mayDiffer.insert(block);
        previous = block;
    }
    if (c.kind == FaultKind::Repeat) {
        EXPECT_LE(most, 2u);
    }
    // A slot fails with its box: the slot of the fault, or one whose read met
    // a copy (a copy may also break its block's rules: the error box then).
    size_t messages = 0;
    for (const auto& d : dialogs.shown) messages += d.title == "Message" ? 1 : 0;
    EXPECT_EQ(messages, failed.size());
    if (c.kind != FaultKind::Repeat) {
        EXPECT_EQ(dialogs.shown.size(), failed.size());
    }
    if (c.lost >= 0) {
        EXPECT_EQ(failed.count(c.lost), 1u);
    }
    for (const int s : failed) {
        const bool metCopy = std::any_of(mayDiffer.begin(), mayDiffer.end(),
                                         [s](int b) { return b >= 0x8200 && (b & 0xF) == s; });
        EXPECT_TRUE(s == c.lost || (c.kind == FaultKind::Repeat && metCopy)) << "slot " << s;
        mayDiffer.insert(0x8100);  // the slot's presence
        for (const auto& r : replies)
            if (r.first >= 0x8200 && (r.first & 0xF) == s) mayDiffer.insert(r.first);
    }
    for (const int b : BlocksNotTheStations(replies))
        EXPECT_EQ(mayDiffer.count(b), 1u) << "block " << std::hex << b;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, UploadReplyFaultTest,
    ::testing::Values(
        UploadReplyFault{"RangeCodesOfSlot3AnsweredLate", FaultKind::Delay, 0x8403, 1200, 0, {}, 3},
        UploadReplyFault{
            "LowAlarmsOfSlot2InPieces1200msApart", FaultKind::Split, 0x8432, 1200, 3, {}, 2},
        // An MBAP length of 2, then the versions of the default station
        // (3.01, 1.05) for Net ID 1.
        UploadReplyFault{"LengthTwoFrameBeforeTheFirstAnswer", FaultKind::Garbage, 0x8020, 0, 0,
                         QByteArray::fromHex("0000000000020184000000000007010404012D0069"), -1},
        // Slot 2's eight range codes (7) answered with 9 and 16 channels.
        UploadReplyFault{
            "NineChannelsForEight", FaultKind::Garbage, 0x8402, 0, 0,
            QByteArray::fromHex("000000000015010412") + QByteArray::fromHex("0007").repeated(9),
            -1},
        UploadReplyFault{
            "SixteenChannelsForEight", FaultKind::Garbage, 0x8402, 0, 0,
            QByteArray::fromHex("000000000023010420") + QByteArray::fromHex("0007").repeated(16),
            -1},
        UploadReplyFault{"OneReplyInFiveSentAgain", FaultKind::Repeat, -1, 100, 5, {}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// A Download whose first command of slot 2 is answered 1200 ms late, and
// those of slots 3 to 5 never: a slot is reported written only when the
// station answered each of its commands in time; the later slots are
// written.
TEST_F(OnlineWindowTest, DownloadReportsASlotWrittenOnlyWhenItsCommandsWereAnswered) {
    options.requirePreOp = false;  // a command taken for answered leaves no refusal behind
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    w.Timer2.SetEnabled(false);
    std::vector<std::string> boxes, shown;
    FaultRule first = Rule(FaultKind::Delay, 16, 0x8000, 1200);
    first.command = 1;  // NMT to pre-operational: a slot's first command
    for (int s = 2; s <= 7; ++s) {
        ConfigSetting[0].DownloadPending(s) = kTrue;
        if (s >= 6) continue;
        first.slot = s;
        first.kind = s == 2 ? FaultKind::Delay : FaultKind::NoReply;
        sim.addFault(first);
        dialogs.AnswerMsgBox(rt::vbOK);
        boxes.push_back("Response Timeout on slot " + std::to_string(s));
    }
    w.Toolbar.Buttons("Download").PerformClick();
    w.Timer2.SetEnabled(false);
    for (const auto& d : dialogs.shown) shown.push_back(d.prompt);
    EXPECT_EQ(shown, boxes);
    for (int s = 2; s <= 7; ++s)
        EXPECT_EQ(ConfigSetting[0].DownloadPending(s), s < 6 ? kTrue : kFalse) << s;
    EXPECT_EQ(w.txtStatus.Text(), "Download data to NX-4410 finished.");
}

// A transfer started while the watchdog's keep-alive is still owed (the
// station works 700 ms on each keep-alive) sends its first request after
// that reply and runs to its end.
TEST_F(OnlineWindowTest, TransferStartedWhileAKeepAliveIsOwedRunsToItsEnd) {
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    nxsim::FaultRule slow;
    slow.function = 4;
    slow.addressFirst = 0x0100;  // the keep-alive
    slow.kind = nxsim::FaultKind::ServiceTime;
    slow.delayMs = 700;
    slow.count = -1;
    sim.addFault(slow);
    const std::pair<const char*, const char*> transfers[] = {
        {"Upload", "Upload data from NX-4410 finished."},
        {"Download", "Download data to NX-4410 finished."}};
    for (const auto& [button, finished] : transfers) {
        SCOPED_TRACE(button);
        ConfigSetting[0].DownloadPending[2] = kTrue;  // for the Download
        sim.clearLog();
        ASSERT_TRUE(WaitFor(
            [&] {
                for (const auto& e : sim.received(nxsim::Channel::Modbus))
                    if (e.function == 4 && e.address == 0x0100) return true;
                return false;
            },
            10000));
        w.Toolbar.Buttons(button).PerformClick();
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_EQ(w.txtStatus.Text(), finished);
    }
    EXPECT_EQ(ConfigSetting[0].DownloadPending[2], kFalse);
}

// A command of the tables (function 16 to 0x8000 with three registers, like
// the Download's commands, sent without a wait) clicked while a Download
// command waits for its late reply goes out after that reply: the Download
// reports its own command's outcome and stops the slot there.
TEST_F(OnlineWindowTest, DownloadKeepsItsCommandsOutcomeWhenATableCommandIsClickedMeanwhile) {
    // Slots 0 and 1: a duplex pair, which its summary row switches.
    options.station.setModule(1, 0x0001);
    options.station.slot[0].redundancy = 0x0100;
    options.station.slot[1].redundancy = 0x0100;
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    struct Case {
        const char* name;
        ui::ListView* list;
        const char* row;
        QVector<quint16> sent;   // the table's command
        nxsim::FaultKind reply;  // to slot 2's first command (200 ms late)
        const char* box;
    };
    const Case cases[] = {{"PI counter clear, refused",
                           &w.lvwPIMapping,
                           "294 [126]",
                           {0x60, 5, 8},
                           nxsim::FaultKind::Exception,
                           "Receive Error Messages on slot 2"},
                          {"redundancy switch, refused",
                           &w.lvwIOMSummary,
                           "00",
                           {0, 0, 5},
                           nxsim::FaultKind::Exception,
                           "Receive Error Messages on slot 2"},
                          {"PI counter clear, no reply",
                           &w.lvwPIMapping,
                           "294 [126]",
                           {0x60, 5, 8},
                           nxsim::FaultKind::NoReply,
                           "Response Timeout on slot 2"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w.Timer2.SetEnabled(false);
        sim.clearFaults();
        nxsim::FaultRule late;
        late.function = 16;
        late.addressFirst = 0x8000;
        late.command = 1;  // NMT: the first command of the slot's series
        late.slot = 2;
        late.kind = c.reply;
        late.delayMs = 200;
        sim.addFault(late);
        sim.clearLog();
        dialogs.shown.clear();
        dialogs.AnswerMsgBox(rt::vbOK);
        ConfigSetting[0].DownloadPending[2] = kTrue;
        QTimer::singleShot(0, [&] {
            c.list->FindItem(c.row)->SetSelected(true);
            c.list->DblClick();
        });
        w.Toolbar.Buttons("Download").PerformClick();
        w.Timer2.SetEnabled(false);
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].prompt, c.box);
        EXPECT_EQ(ConfigSetting[0].DownloadPending[2], kTrue);
        // On the wire: slot 2's first command, then the table's, and no
        // more of the slot's series.
        std::vector<QVector<quint16>> commands;
        WaitFor(
            [&] {
                commands.clear();
                for (const auto& e : sim.received(nxsim::Channel::Modbus))
                    if (e.function == 16 && e.address == 0x8000) commands.push_back(e.values);
                return commands.size() >= 2;
            },
            3000);
        EXPECT_EQ(commands, (std::vector<QVector<quint16>>{{1, 2, 1}, c.sent}));
    }
}

TEST_F(OnlineWindowTest, WatchdogDisconnectsWhenTheStationGoesAway) {
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    ASSERT_TRUE(w.Timer2.Enabled());
    // While the station stands, the watchdog keeps probing and stays on.
    const int before = sim.received(nxsim::Channel::Text).size();
    EXPECT_TRUE(WaitFor([&] { return sim.received(nxsim::Channel::Text).size() > before; }, 3000));
    EXPECT_TRUE(w.Toolbar.Buttons("Disconnect").Enabled());
    sim.stop();
    EXPECT_TRUE(WaitFor([&] { return w.Toolbar.Buttons("Connect").Enabled(); }, 5000));
    EXPECT_EQ(w.txtStatus.Text(), "Disconnect with NX-4410");
    EXPECT_EQ(w.Caption(), StartCaptionText());
    EXPECT_FALSE(w.Timer2.Enabled());
}

TEST_F(OnlineWindowTest, SetNetIdSendsTheBoxAndReportsTheAnswer) {
    frmMain& w = Start();
    ASSERT_TRUE(Connect());
    w.TxtNetID.SetText("23");
    w.CmdSetNetID.PerformClick();
    EXPECT_EQ(sim.netId(), 23);
    EXPECT_EQ(ConfigReal[0].NetID, 23);
    EXPECT_EQ(w.TxtNetID.Text(), "23");
    const std::string status = w.txtStatus.Text();
    EXPECT_NE(status.find(" Set Modbus Net ID OK!!"), std::string::npos) << status;
    EXPECT_EQ(w.lvwEventLog.ListItems(w.lvwEventLog.ListItemCount()).Text(), status);
}

// ---- Senders sharing the link ----------------------------------------------------------

using Match = std::function<bool(const nxsim::LogEntry&)>;

Match Request(int function, int address) {
    return [=](const nxsim::LogEntry& e) { return e.function == function && e.address == address; };
}
// A monitor poll: an image or status read (the link's order marks are shorter).
bool IsPoll(const nxsim::LogEntry& e) { return e.function <= 4 && e.quantity >= 42; }

// The main window, the HART console, the trend window and the advanced
// options share the one Modbus connection; each case starts afresh.
class LinkSendersTest : public OnlineWindowTest {
  protected:
    // A new stand-in and window, connected and uploaded (or, with
    // `offline`, connected after it ran), the watchdog off, the HART console
    // open, the request log and the dialogs emptied.
    bool Online(const std::function<void()>& offline = nullptr) {
        window.reset();
        for (rt::WinsockControl* ws : {&nxlink::WskTCP502(), &nxlink::WskTCP10K()}) ws->Close();
        sim.clearFaults();
        Start();
        if (offline) offline();
        if (!(offline ? Connect() : ConnectAndUpload())) return false;
        window->Timer2.SetEnabled(false);
        window->mnuHart_Click();
        sim.clearLog();
        dialogs.shown.clear();
        return true;
    }
    // The first request the stand-in received after log entry `after` that
    // `match` accepts, once it came or `ms` passed.
    std::optional<nxsim::LogEntry> Await(const Match& match, int ms, quint64 after = 0) {
        std::optional<nxsim::LogEntry> found;
        WaitFor(
            [&] {
                for (const nxsim::LogEntry& e : sim.logSince(after))
                    if (e.channel == nxsim::Channel::Modbus &&
                        e.direction == nxsim::Direction::Received && match(e))
                        return found = e, true;
                return false;
            },
            ms);
        return found;
    }
    // Runs `action` once from the event loop, inside whatever waits then, as
    // soon as the stand-in received a request that `match` accepts.
    void OnRequest(const Match& match, std::function<void()> action) {
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = QObject::connect(
            &sim, &nxsim::StationSim::frameLogged, window.get(),
            [=, this](quint64 seq) {
                const QVector<nxsim::LogEntry> e = sim.logSince(seq - 1);
                if (e.isEmpty() || e[0].direction != nxsim::Direction::Received || !match(e[0]))
                    return;
                QObject::disconnect(*once);
                action();
            },
            Qt::QueuedConnection);
    }
    void DoubleClick(ui::ListView& list, const char* row) {
        list.FindItem(row)->SetSelected(true);
        list.DblClick();
    }
};

// A request the station never answers costs the link's give-up time, not
// 10 s: what is polled or clicked meanwhile reaches the station within 3 s
// of it, or (a table write that cannot go promptly) never.
TEST_F(LinkSendersTest, AnUnansweredRequestHoldsTheLinkAMomentNotTenSeconds) {
    const auto tick = [&] { window->Timer1_Timer(); };
    const auto monitor = [&] { window->Toolbar.Buttons("Monitor").PerformClick(); };
    const auto send = [&] { window->HartWindow()->cmdSend.PerformClick(); };
    const auto update = [&] { window->HartWindow()->cmdUpdate.PerformClick(); };
    const auto toggle = [&] { DoubleClick(window->lvwDOMapping, "032 [020]"); };
    const auto nothing = [] {};
    struct Case {
        const char* name;
        int function, address;             // the one request the station does not answer
        std::function<void()> make, then;  // sends it; acts once it arrived
        Match next;                        // what must follow it promptly
        bool mayBeDropped;
    };
    const Case cases[] = {
        {"the monitor's next poll", 2, 0, monitor, nothing, IsPoll, false},
        {"a DO toggle", 2, 0, tick, toggle, Request(5, 32), true},
        {"a HART Update after a Send", 16, 0x200, send, update, Request(4, 0x1400), false},
        {"the monitor after a HART Send", 16, 0x200, send, monitor, IsPoll, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Online());
        window->PollStep = 0;
        sim.addFault(Rule(FaultKind::NoReply, c.function, c.address));
        c.make();
        const auto lost = Await(Request(c.function, c.address), 3000);
        ASSERT_TRUE(lost);
        c.then();
        const auto next = Await(c.next, 12000, lost->seq);
        EXPECT_TRUE(next || c.mayBeDropped) << "nothing followed";
        EXPECT_LT(next ? next->msecs - lost->msecs : 0, 3000);
    }
}

// A HART Update clicked while a Download command or the advanced options'
// Set waits for its echo (50 ms late) gets its own read's outcome, refused
// or unanswered; the waiting sender gets its own: success.
TEST_F(LinkSendersTest, ASenderInsideAnothersWaitDoesNotDecideItsOutcome) {
    struct Case {
        const char* name;
        bool download;  // else the Set
        FaultKind update;
    };
    const Case cases[] = {{"Download, Update refused", true, FaultKind::Exception},
                          {"Download, Update unanswered", true, FaultKind::NoReply},
                          {"Set, Update refused", false, FaultKind::Exception},
                          {"Set, Update unanswered", false, FaultKind::NoReply}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Online());
        nxsim::FaultRule late = Rule(FaultKind::Delay, 16, c.download ? 0x8000 : 0x9000, 50);
        late.command = c.download ? 1 : -1;  // the Download's first command, to slot 2
        sim.addFault(late);
        sim.addFault(Rule(c.update, 4, 0x1400));
        OnRequest(Request(16, late.addressFirst),
                  [&] { window->HartWindow()->cmdUpdate.PerformClick(); });
        if (c.download) {
            ConfigSetting[0].DownloadPending[2] = kTrue;
            window->Toolbar.Buttons("Download").PerformClick();
            EXPECT_TRUE(dialogs.shown.empty());
            EXPECT_EQ(window->txtStatus.Text(), "Download data to NX-4410 finished.");
            EXPECT_EQ(ConfigSetting[0].DownloadPending[2], kFalse);
            EXPECT_EQ(sim.station().slot[2].nmtState, nxsim::NmtOperation);
        } else {
            // The opening's box, if its read got no time on a loaded machine, and the Set's.
            dialogs.AnswerMsgBox(rt::vbOK);
            dialogs.AnswerMsgBox(rt::vbOK);
            window->mnuAdvancedOptions_Click();
            window->AdvancedOptionsWindow()->txtStringTcpTimeout.SetText("120");
            window->AdvancedOptionsWindow()->cmdAdvOptSet_Click();
            ASSERT_FALSE(dialogs.shown.empty());
            EXPECT_EQ(dialogs.shown.back().prompt,
                      "Setting successful. Please restart the GW-7010 power.");
            EXPECT_EQ(sim.station().tcpTimeout, 120);
        }
        EXPECT_TRUE(Await(Request(4, 0x1400), 0)) << "the Update did not run inside the wait";
    }
}

// HART Send and Update clicked together (the Update's click runs inside the
// Send's handler) while another request is outstanding: the mailbox write
// goes first and the Update lists the reply to this Send.
TEST_F(LinkSendersTest, SendersWaitingAtTheGateGoInTheOrderOfTheirClicks) {
    struct Case {
        const char* name;
        nxsim::FaultRule late;
        std::function<void()> make;
        char reply;  // this case's HART reply, and as the Update lists it
        const char* listed;
    };
    const Case cases[] = {
        {"a monitor poll", Rule(FaultKind::Delay, 2, 0, 300), [&] { window->Timer1_Timer(); },
         '\x11', "0x11 "},
        {"a keep-alive", Rule(FaultKind::Delay, 4, 0x100, 400), [&] { window->Timer2_Timer(); },
         '\x22', "0x22 "},
        {"a DO toggle", Rule(FaultKind::Delay, 5, 32, 300),
         [&] { DoubleClick(window->lvwDOMapping, "032 [020]"); }, '\x33', "0x33 "},
    };
    nxsim::SlotBehaviour prompt;
    prompt.hartReplyMs = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Online());
        window->PollStep = 0;
        sim.setSlotBehaviour(2, prompt);
        sim.setHartResponse(2, QByteArray(1, c.reply));
        frmHart& h = *window->HartWindow();
        h.CboSend_Slot.SetListIndex(2);
        h.CboRec_Slot.SetListIndex(2);
        sim.addFault(c.late);
        c.make();
        window->Timer2.SetEnabled(false);  // the keep-alive's tick starts the watchdog
        QTimer::singleShot(0, [&h] { h.cmdUpdate.PerformClick(); });
        h.cmdSend.PerformClick();
        ASSERT_TRUE(WaitFor([&] { return h.LstReceive.ListCount() > 0; }, 5000));
        const auto write = Await(Request(16, 0x200), 0), read = Await(Request(4, 0x1600), 0);
        ASSERT_TRUE(write && read);
        EXPECT_LT(write->seq, read->seq);
        EXPECT_EQ(h.LstReceive.List(0), "Hart ProcessStatus: FINISH");
        EXPECT_EQ(h.LstReceive.List(h.LstReceive.ListCount() - 1), c.listed);
    }
}

// A table write waiting at the gate (a poll is unanswered) when the user
// disconnects or ends the program: nothing is sent and nothing is shown.
TEST_F(LinkSendersTest, ATableWriteWaitingAtTheGateEndsSilentlyWithTheConnection) {
    const auto disconnect = [&] { window->Toolbar.Buttons("Disconnect").PerformClick(); };
    const auto exit = [&] {
        dialogs.AnswerMsgBox(rt::vbYes);
        window->close();
    };
    struct Case {
        const char* name;
        ui::ListView frmMain::*list;
        const char* row;
        std::optional<std::string> answer;
        int function;
        std::function<void()> leave;
    };
    const Case cases[] = {
        {"DO toggle, Disconnect", &frmMain::lvwDOMapping, "032 [020]", {}, 5, disconnect},
        {"AO value, Disconnect", &frmMain::lvwAOMapping, "064 [040]", "5", 6, disconnect},
        {"DO toggle, Exit", &frmMain::lvwDOMapping, "032 [020]", {}, 5, exit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Online());
        window->PollStep = 0;
        sim.addFault(Rule(FaultKind::NoReply, 2, 0));
        window->Timer1_Timer();
        ASSERT_TRUE(Await(Request(2, 0), 3000));
        if (c.answer) dialogs.AnswerInput(c.answer);
        QTimer::singleShot(0, c.leave);
        DoubleClick((*window).*c.list, c.row);
        EXPECT_TRUE(WaitFor([&] { return window->WskTCP502.State() == rt::sckClosed; }, 3000));
        EXPECT_FALSE(Await([&](const auto& e) { return e.function == c.function; }, 500));
        for (const auto& s : dialogs.shown)
            EXPECT_TRUE(s.kind == rt::ScriptedDialogs::Shown::Input ||
                        s.prompt == "Exit Utility Tool?")
                << s.prompt;
    }
}

// The monitor switched on from the trend window after a file load and a
// Connect (no Upload: the watchdog is off); the station stops answering and
// the link is lost. The first tick after the loss disconnects, not 10 s on.
TEST_F(LinkSendersTest, ALostLinkIsFoundByTheFirstMonitorTickAfterTheLoss) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto load = [&] {  // a saved station with a DI module in slot 0
        McuIniPath = dir.filePath("NX-4410_MCU.ini").toStdString();
        NodeConfig& n = ConfigReal[0];
        n.Controller = "GW-7010", n.ControllerPresent = kTrue, n.TotalSlot = 8;
        n.SlotPresent[0] = kTrue, n.Module[0] = "KB-560", n.DIChannel[0] = 32;
        SaveConfigFile(0, McuIniPath);
        ResetConfigRecordsForStartup();
        window->Toolbar.Buttons("Load").ButtonMenus(1).action()->trigger();  // "Default"
    };
    nxsim::FaultRule silent = Rule(FaultKind::NoReply, -1, -1);
    silent.count = -1;
    const std::pair<const char*, nxsim::FaultRule> cases[] = {
        {"no reply, then the stand-in stops", silent},
        {"no reply, then the connection closes", Rule(FaultKind::CloseConnection, -1, -1, 300)}};
    for (const auto& [name, rule] : cases) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(Online(load));
        window->mnuTread_Click();
        window->LoadedScope()->cmdAdd.PerformClick();
        ASSERT_TRUE(window->Timer1.Enabled());
        const int id = sim.addFault(rule);
        ASSERT_TRUE(WaitFor([&] { return sim.faultHits(id) > 0; }, 3000));
        if (rule.kind == FaultKind::NoReply) sim.stop();
        QElapsedTimer lost;
        lost.start();
        EXPECT_TRUE(WaitFor([&] { return window->Toolbar.Buttons("Connect").Enabled(); }, 12000));
        EXPECT_LT(lost.elapsed(), 3000);
    }
}

// A second click on the menu item while the new window's read waits (50 ms
// late, or unanswered) builds no second window.
TEST_F(LinkSendersTest, ASecondClickWhileTheAdvancedOptionsReadWaitsBuildsNoSecondWindow) {
    ASSERT_TRUE(Online());
    for (const FaultKind read : {FaultKind::Delay, FaultKind::NoReply}) {
        SCOPED_TRACE(read == FaultKind::Delay ? "read late" : "read unanswered");
        sim.clearFaults();
        sim.addFault(Rule(read, 4, 0x200, 50));
        dialogs.AnswerMsgBox(rt::vbOK);  // "Not currently connected" without an answer in time
        OnRequest(Request(4, 0x200), [&] { window->mnuAdvancedOptions_Click(); });
        window->mnuAdvancedOptions_Click();
        WaitFor([] { return false; }, 200);
        int windows = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            windows += dynamic_cast<frmAdvancedOptions*>(w) != nullptr;
        EXPECT_EQ(windows, 1);
        ASSERT_NE(window->AdvancedOptionsWindow(), nullptr);
        EXPECT_TRUE(window->AdvancedOptionsWindow()->isVisible());
        window->AdvancedOptionsWindow()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// ---- Connection bar key filters ------------------------------------------------------

// Types one key into a text box as the keyboard does; returns the box's text.
std::string Type(ui::TextBox& box, Qt::Key key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(box.widget(), &press);
    return box.Text();
}

TEST_F(MainWindowTest, ConnectionBarBoxesTakeDigitsDotsAndBackspaceOnly) {
    frmMain& w = Open();
    for (ui::TextBox* box : {&w.TxtCtlIP, &w.TxtNetID}) {
        box->SetText("");
        static_cast<QLineEdit*>(box->widget())->setCursorPosition(0);
        Type(*box, Qt::Key_1, "1");
        Type(*box, Qt::Key_Period, ".");
        Type(*box, Qt::Key_A, "a");
        Type(*box, Qt::Key_Space, " ");
        Type(*box, Qt::Key_Minus, "-");
        EXPECT_EQ(box->Text(), "1.");
        Type(*box, Qt::Key_Backspace, "\b");
        EXPECT_EQ(box->Text(), "1");
        // Keys with Ctrl (select all, copy, paste) are not filtered.
        QKeyEvent selectAll(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, "\x01");
        QCoreApplication::sendEvent(box->widget(), &selectAll);
        EXPECT_EQ(static_cast<QLineEdit*>(box->widget())->selectedText(), "1");
    }
    EXPECT_EQ(dialogs.beeps, 6);  // three dropped keys per box
}

TEST_F(MainWindowTest, NetIdBoxFallsBackToOneWhenItLosesTheFocusOutOfRange) {
    frmMain& w = Open();
    auto loseFocus = [&](const std::string& text) {
        w.TxtNetID.SetText(text);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(w.TxtNetID.widget(), &out);
        return w.TxtNetID.Text();
    };
    // The value is the number the text starts with, of any length, read
    // without an error box: beyond a Double it is too large, below the
    // smallest one it is 0.
    const std::string nines400(400, '9');
    const std::string nines308(308, '9');
    const std::string tiny = "0." + std::string(400, '0') + "1";
    const struct {
        std::string typed, shown;
    } cases[] = {
        {"", "1"},       {"0", "1"},      {"300", "1"},    {"248", "1"}, {"247", "247"},
        {"12", "12"},    {nines400, "1"}, {nines308, "1"}, {tiny, "1"},  {"1e400", "1e400"},
        {"-1e400", "1"}, {"abc", "1"},    {" 12 ", "1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(loseFocus(c.typed), c.shown) << c.typed;
        EXPECT_TRUE(dialogs.shown.empty()) << c.typed;
        dialogs.shown.clear();
    }
    // The IP box has no such check.
    w.TxtCtlIP.SetText("");
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(w.TxtCtlIP.widget(), &out);
    EXPECT_EQ(w.TxtCtlIP.Text(), "");
}

}  // namespace
