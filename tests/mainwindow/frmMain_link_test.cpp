// The main window joined to the controller link, against the station
// stand-in on loopback: Connect, Disconnect, the watchdog, Upload and
// Download against a station that answers late, short or not at all, Set
// Net ID and the key filters of the connection bar.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTcpServer>
#include <QTimer>
#include <utility>
#include <vector>

#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "mainwindow/frmMain.h"
#include "mainwindow_support.h"

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
