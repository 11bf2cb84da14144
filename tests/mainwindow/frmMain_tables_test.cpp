// The mapping and summary tables of the main window: filled after Connect
// and Upload from the station stand-in, after Download, and offline from a
// saved file; and the writes and commands a double-click on a row sends.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "config/ConfigFile.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/LiveValues.h"
#include "mainwindow/frmMain.h"
#include "mainwindow_support.h"
#include "tests/support/ConfigRecords.h"

namespace {

using testsupport::MainWindowTest;
using testsupport::OnlineWindowTest;
using testsupport::StartCaptionText;
using testsupport::WaitFor;

// Every row of a list: item text, then its sub-items.
using Table = std::vector<std::vector<std::string>>;
Table Rows(const ui::ListView& lv) {
    Table t;
    for (int i = 1; i <= lv.ListItemCount(); ++i) {
        const ui::ListItem item = lv.ListItems(i);
        std::vector<std::string> row{item.Text()};
        for (int c = 1; c < lv.ColumnHeaderCount(); ++c) row.push_back(item.SubItem(c));
        t.push_back(row);
    }
    return t;
}

// Item text, module, slot, channel, value and comment of a mapping row.
std::vector<std::string> Row(const ui::ListView& lv, const std::string& text) {
    const auto item = lv.FindItem(text);
    if (!item) return {};
    return {item->Text(),     item->SubItem(1), item->SubItem(2),
            item->SubItem(3), item->SubItem(4), item->SubItem(5)};
}

std::vector<std::string> Expected(const char* text, const char* module, const char* slot,
                                  const char* channel, const char* comment) {
    return {text, module, slot, channel, "", comment};
}

// Checks the default station's tables (DI in slot 0, DO 1, AI 2, TC 3,
// AO 4, PI 5, PO 6, scaled AI 7).
void ExpectDefaultStationTables(frmMain& w) {
    // DI: slot 0, 32 channels at 0..31.
    ASSERT_EQ(w.lvwDIMapping.ListItemCount(), 32);
    EXPECT_EQ(Row(w.lvwDIMapping, "000 [000]"),
              Expected("000 [000]", "KB-560", "0", "0", "[40]Digital Module"));
    EXPECT_EQ(Row(w.lvwDIMapping, "031 [01F]"),
              Expected("031 [01F]", "KB-560", "0", "31", "[40]Digital Module"));
    // DO: slot 1 starts at the next 32-bit window.
    ASSERT_EQ(w.lvwDOMapping.ListItemCount(), 32);
    EXPECT_EQ(w.lvwDOMapping.ListItems(1).Text(), "032 [020]");
    EXPECT_EQ(Row(w.lvwDOMapping, "063 [03F]"),
              Expected("063 [03F]", "KB-570", "1", "31", "[40]Digital Module"));
    // AI: slot 2 (8), slot 3 (16), slot 7 (8), each at s*16.
    ASSERT_EQ(w.lvwAIMapping.ListItemCount(), 32);
    EXPECT_EQ(Row(w.lvwAIMapping, "032 [020]"),
              Expected("032 [020]", "KB-521", "2", "0", "[07] +4.0 ~ 20.0 mA"));
    EXPECT_EQ(Row(w.lvwAIMapping, "039 [027]"),
              Expected("039 [027]", "KB-521", "2", "7", "[07] +4.0 ~ 20.0 mA"));
    EXPECT_FALSE(w.lvwAIMapping.FindItem("040 [028]"));
    EXPECT_EQ(Row(w.lvwAIMapping, "048 [030]"),
              Expected("048 [030]", "KB-540", "3", "0", "[0F] K-type (-270.0 ~ +1372.0 C)"));
    EXPECT_EQ(Row(w.lvwAIMapping, "063 [03F]")[3], "15");
    EXPECT_EQ(Row(w.lvwAIMapping, "112 [070]"),
              Expected("112 [070]", "KB-523", "7", "0", "[09] +1.0 To +5.0 V"));
    EXPECT_EQ(w.lvwAIMapping.ListItems(32).Text(), "119 [077]");
    // AO: slot 4 at 64.
    ASSERT_EQ(w.lvwAOMapping.ListItemCount(), 8);
    EXPECT_EQ(Row(w.lvwAOMapping, "064 [040]"),
              Expected("064 [040]", "KB-552", "4", "0", "[34] +1.0 To +5.0 V"));
    EXPECT_EQ(w.lvwAOMapping.ListItems(8).Text(), "071 [047]");
    // PI: slot 5, register pairs from 0x80 + 5*32.
    ASSERT_EQ(w.lvwPIMapping.ListItemCount(), 8);
    EXPECT_EQ(Row(w.lvwPIMapping, "288 [120]"),
              Expected("288 [120]", "KB-580", "5", "0", "[53] Up Counter"));
    EXPECT_EQ(Row(w.lvwPIMapping, "302 [12E]")[3], "7");
    // PO: slot 6, register pairs from 0x100 + 6*32.
    ASSERT_EQ(w.lvwPOMapping.ListItemCount(), 16);
    EXPECT_EQ(Row(w.lvwPOMapping, "448 [1C0]"),
              Expected("448 [1C0]", "KB-590", "6", "0", "[61] Continuous"));
    EXPECT_EQ(w.lvwPOMapping.ListItems(16).Text(), "478 [1DE]");
    // Summaries.
    const Table iom = Rows(w.lvwIOMSummary);
    ASSERT_EQ(iom.size(), 8u);
    const char* models[] = {"KB-560", "KB-570", "KB-521", "KB-540",
                            "KB-552", "KB-580", "KB-590", "KB-523"};
    for (int s = 0; s < 8; ++s) {
        EXPECT_EQ(iom[s][0], "0" + std::to_string(s));
        EXPECT_EQ(iom[s][1], models[s]);
        EXPECT_EQ(iom[s][2], "v1.0");
    }
}

void ExpectDefaultRack(frmMain& w) {
    const char* models[] = {"KB-560", "KB-570", "KB-521", "KB-540",
                            "KB-552", "KB-580", "KB-590", "KB-523"};
    const char* kinds[] = {"D\r\nI", "D\r\nO", "A\r\nI", "T\r\nC",
                           "A\r\nO", "P\r\nI", "P\r\nO", "A\r\nI"};
    for (int s = 0; s < 8; ++s) {
        EXPECT_TRUE(w.optSlot(s).HasPicture()) << s;
        EXPECT_EQ(w.optSlot(s).ToolTipText(), models[s]);
        EXPECT_TRUE(w.lblIOMName(s).Visible());
        EXPECT_EQ(w.lblIOMName(s).Caption(), kinds[s]);
    }
    EXPECT_FALSE(w.optSlot(8).HasPicture());
    EXPECT_EQ(w.fmeController.Caption(), ConfigReal[0].Controller);
    EXPECT_FALSE(ConfigReal[0].Controller.empty());
    EXPECT_TRUE(w.optPower(0).HasPicture());
    EXPECT_EQ(w.optPower(0).ToolTipText(), ConfigReal[0].PowerName[0]);
    EXPECT_FALSE(w.optPower(1).HasPicture());
    EXPECT_EQ(w.optMCU(0).HasPicture(), !ConfigReal[0].McuName[0].empty());
    EXPECT_EQ(w.optMCU(0).ToolTipText(), ConfigReal[0].McuName[0]);
    // The first present slot is chosen: its name shows beside the rack.
    EXPECT_TRUE(w.optSlot(0).Value());
    EXPECT_EQ(SelSlot, 0);
    EXPECT_TRUE(w.lbCurrentModule.Visible());
    EXPECT_EQ(w.lbCurrentModule.Caption(), "KB-560");
}

TEST_F(OnlineWindowTest, UploadFillsTablesRackAndLabelsAndGoesOnline) {
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    ExpectDefaultStationTables(w);
    ExpectDefaultRack(w);
    const Table mcu = Rows(w.lvwMCUSummary);
    ASSERT_EQ(mcu.size(), 1u);
    EXPECT_EQ(mcu[0][0], "GW-7010");
    EXPECT_EQ(mcu[0][1], "v3.01");
    EXPECT_EQ(mcu[0][2], "v1.05");
    EXPECT_EQ(w.Caption(), StartCaptionText() + "(Online Mode)");
    EXPECT_TRUE(w.Toolbar.Buttons("Download").Enabled());
    EXPECT_TRUE(w.Toolbar.Buttons("Monitor").Enabled());
    EXPECT_TRUE(w.Toolbar.Buttons("Monitor").ButtonMenus(1).Enabled());
    EXPECT_TRUE(w.mnuTimerEnable.Enabled());
    EXPECT_FALSE(w.Toolbar.Buttons("Connect").Enabled());
    EXPECT_TRUE(w.Timer2.Enabled());
    // The edited copy took what was read.
    EXPECT_EQ(ConfigSetting[0].Module[6], "KB-590");
    EXPECT_EQ(ConfigSetting[0].AIChannel[3], 16);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(ui::HourglassShown());
    // The Upload's lines went to the status line and the event log.
    EXPECT_GT(w.lvwEventLog.ListItemCount(), 10);
}

TEST_F(OnlineWindowTest, DownloadRefillsTheTablesAndEmptiesTheLiveValues) {
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    DIValue[3] = true;
    AOValue[64] = 123;
    POValue[96] = -5;
    w.lvwAOMapping.ListItems(1).SetSubItem(4, "2.5");
    ConfigSetting[0].DownloadPending[4] = kTrue;
    w.Toolbar.Buttons("Download").PerformClick();
    EXPECT_EQ(ConfigSetting[0].DownloadPending[4], 0);  // written and accepted
    EXPECT_EQ(w.lvwAOMapping.ListItems(1).SubItem(4), "");
    EXPECT_FALSE(DIValue[3]);
    EXPECT_EQ(AOValue[64], 0);
    EXPECT_EQ(POValue[96], 0);
    ExpectDefaultStationTables(w);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(OnlineWindowTest, SavedConfigurationLoadsOfflineIntoTheSameRackAndTables) {
    frmMain& w = Start();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    McuIniPath = dir.filePath("NX-4410_MCU.ini").toStdString();
    ASSERT_TRUE(ConnectAndUpload());
    const std::vector<Table> online = {
        Rows(w.lvwDIMapping), Rows(w.lvwDOMapping), Rows(w.lvwAIMapping),  Rows(w.lvwAOMapping),
        Rows(w.lvwPIMapping), Rows(w.lvwPOMapping), Rows(w.lvwIOMSummary), Rows(w.lvwMCUSummary)};
    dialogs.AnswerMsgBox(rt::vbYes);
    w.Toolbar.Buttons("Save").PerformClick();
    ASSERT_EQ(w.txtStatus.Text(), "Save data into ini file.");
    w.Toolbar.Buttons("Disconnect").PerformClick();
    sim.stop();
    ASSERT_EQ(w.lvwDIMapping.ListItemCount(), 0);

    dialogs.AnswerMsgBox(rt::vbYes);
    w.Toolbar.Buttons("Load").PerformClick();
    EXPECT_EQ(w.txtStatus.Text(), "Load data from ini file.");
    EXPECT_EQ(w.Caption(), StartCaptionText() + "(Offline Mode)");
    const std::vector<Table> offline = {
        Rows(w.lvwDIMapping), Rows(w.lvwDOMapping), Rows(w.lvwAIMapping),  Rows(w.lvwAOMapping),
        Rows(w.lvwPIMapping), Rows(w.lvwPOMapping), Rows(w.lvwIOMSummary), Rows(w.lvwMCUSummary)};
    EXPECT_EQ(offline, online);
    ExpectDefaultStationTables(w);
    ExpectDefaultRack(w);
    // Offline: still disconnected, no watchdog.
    EXPECT_TRUE(w.Toolbar.Buttons("Connect").Enabled());
    EXPECT_FALSE(w.Timer2.Enabled());
}

TEST_F(OnlineWindowTest, UploadFromAStationWithoutModulesLeavesThePageAndEmptiesTheRack) {
    options.station = nxsim::StationConfig::Empty();
    frmMain& w = Start();
    ASSERT_TRUE(Connect());
    int clicks = 0;
    for (int s = 0; s <= 8; ++s) w.optSlot(s).Click = [&] { ++clicks; };
    w.fmeCAIConf.ZOrder(0);
    w.Toolbar.Buttons("Upload").PerformClick();
    EXPECT_EQ(w.Caption(), StartCaptionText() + "(Online Mode)");
    // No slot is chosen; the redrawn rack shows the empty page.
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(w.fmeNoModule.ZPosition(), 0);
    for (int s = 0; s < 8; ++s) {
        EXPECT_FALSE(w.optSlot(s).HasPicture());
        EXPECT_FALSE(w.optSlot(s).Value());
        EXPECT_TRUE(w.lblIOMName(s).Visible());
        EXPECT_EQ(w.lblIOMName(s).Caption(), "");
    }
    EXPECT_EQ(w.lvwIOMSummary.ListItemCount(), 8);
    EXPECT_EQ(w.lvwMCUSummary.ListItemCount(), 1);
    EXPECT_EQ(w.lvwDIMapping.ListItemCount(), 0);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(OnlineWindowTest, ConnectAfterALoadKeepsTheFilesChannelsInTheTables) {
    frmMain& w = Start();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    McuIniPath = dir.filePath("NX-4410_MCU.ini").toStdString();
    {
        // A saved configuration with a pulse-output module in slot 2.
        NodeConfig& n = ConfigReal[0];
        n.Controller = "GW-7010";
        n.ControllerPresent = kTrue;
        n.TotalSlot = 8;
        n.SlotPresent[2] = kTrue;
        n.Module[2] = "KB-590";
        n.POChannel[2] = 16;
        SaveConfigFile(0, McuIniPath);
        ResetConfigRecordsForStartup();
    }
    w.Toolbar.Buttons("Load").ButtonMenus(1).action()->trigger();  // "Default"
    ASSERT_EQ(w.lvwPOMapping.ListItemCount(), 16);
    EXPECT_EQ(w.lvwPOMapping.ListItems(1).Text(), "320 [140]");
    EXPECT_EQ(w.Caption(), StartCaptionText() + "(Offline Mode)");
    ASSERT_TRUE(Connect());
    // Connect refills the tables from the loaded record.
    EXPECT_EQ(w.lvwPOMapping.ListItemCount(), 16);
    EXPECT_EQ(w.lvwIOMSummary.ListItems(3).SubItem(1), "KB-590");
    EXPECT_EQ(ConfigReal[0].DownloadPending[2], kTrue);
}

TEST_F(MainWindowTest, EmptyRecordGivesEightBareModuleRowsAndNoMappingRows) {
    frmMain& w = Open();
    ConfigReal[0].Controller = "GW-7010";  // a name alone lists no controller
    w.FillMappingAndSummaryLists(0);
    EXPECT_EQ(w.lvwMCUSummary.ListItemCount(), 0);
    const Table iom = Rows(w.lvwIOMSummary);
    ASSERT_EQ(iom.size(), 8u);
    for (int s = 0; s < 8; ++s) {
        EXPECT_EQ(iom[s][0], "0" + std::to_string(s));
        for (size_t c = 1; c < iom[s].size(); ++c) EXPECT_EQ(iom[s][c], "");
    }
    EXPECT_EQ(w.lvwDIMapping.ListItemCount(), 0);
}

TEST_F(MainWindowTest, PresentSlotWithoutChannelsGetsOnlyItsSummaryRow) {
    frmMain& w = Open();
    ConfigReal[0].SlotPresent[2] = kTrue;
    ConfigReal[0].Module[2] = "KB-531";
    ConfigReal[0].Version[2] = 12;
    ConfigReal[0].McuVersion = 156;
    ConfigReal[0].McuLibVersion = 7;
    w.FillMappingAndSummaryLists(0);
    EXPECT_EQ(Rows(w.lvwIOMSummary)[2][1], "KB-531");
    EXPECT_EQ(Rows(w.lvwIOMSummary)[2][2], "v1.2");
    EXPECT_EQ(Rows(w.lvwMCUSummary)[0][1], "v1.56");
    EXPECT_EQ(Rows(w.lvwMCUSummary)[0][2], "v0.07");
    for (ui::ListView* lv : {&w.lvwDIMapping, &w.lvwDOMapping, &w.lvwAIMapping, &w.lvwAOMapping,
                             &w.lvwPIMapping, &w.lvwPOMapping})
        EXPECT_EQ(lv->ListItemCount(), 0);
}

TEST_F(MainWindowTest, AnotherNodeIsABoundsFailureAfterTheTablesWereEmptied) {
    frmMain& w = Open();
    ConfigReal[0].SlotPresent[0] = kTrue;
    ConfigReal[0].Module[0] = "KB-560";
    ConfigReal[0].DIChannel[0] = 32;
    w.FillMappingAndSummaryLists(0);
    ASSERT_EQ(w.lvwDIMapping.ListItemCount(), 32);
    EXPECT_THROW(w.FillMappingAndSummaryLists(1), rt::RuntimeError);
    EXPECT_EQ(w.lvwDIMapping.ListItemCount(), 0);
}

TEST_F(MainWindowTest, UnusualRangeCodesAndCountsNeverBreakTheTables) {
    frmMain& w = Open();
    NodeConfig& n = ConfigReal[0];
    n.SlotPresent[7] = kTrue;
    n.Module[7] = "KB-522";
    n.AIChannel[7] = 17;  // one more than the slot's window
    n.RangeCode(7, 0) = 999;
    n.SlotPresent[6] = kTrue;
    n.Module[6] = "KB-580";
    n.PIChannel[6] = 40;
    w.FillMappingAndSummaryLists(0);
    ASSERT_EQ(w.lvwAIMapping.ListItemCount(), 16);
    EXPECT_EQ(w.lvwAIMapping.ListItems(16).Text(), "127 [07F]");
    EXPECT_EQ(w.lvwAIMapping.ListItems(1).SubItem(5), "[E7] ");
    EXPECT_EQ(w.lvwPIMapping.ListItemCount(), 16);
}

// ---- Double-clicks ------------------------------------------------------------------

class TableWritesTest : public OnlineWindowTest {
  protected:
    void SetUp() override {
        OnlineWindowTest::SetUp();
        Start();
        ASSERT_TRUE(ConnectAndUpload());
        // Let the watchdog's traffic settle out of the way of the checks.
        window->Timer2.SetEnabled(false);
        sim.clearLog();
    }
    // Selects the row and double-clicks its list.
    void DoubleClick(ui::ListView& lv, const std::string& text) {
        auto item = lv.FindItem(text);
        ASSERT_TRUE(item) << text;
        item->SetSelected(true);
        lv.DblClick();
    }
    // The Modbus frames the station received with this function code,
    // once there are `count` of them or the wait is over (a short one when
    // no more are expected).
    std::vector<nxsim::LogEntry> Received(int function, int count, int ms = 3000) {
        std::vector<nxsim::LogEntry> out;
        WaitFor(
            [&] {
                out.clear();
                for (const auto& e : sim.received(nxsim::Channel::Modbus))
                    if (e.function == function) out.push_back(e);
                return static_cast<int>(out.size()) >= count;
            },
            count > 0 ? ms : 300);
        return out;
    }
};

TEST_F(TableWritesTest, DigitalOutputRowTogglesItsCoil) {
    DoubleClick(window->lvwDOMapping, "033 [021]");  // value column still empty: on
    auto writes = Received(5, 1);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, 33);
    EXPECT_EQ(writes[0].values, QVector<quint16>{0xFF00});
    EXPECT_TRUE(WaitFor([&] { return sim.coil(33); }, 3000));
    window->lvwDOMapping.FindItem("033 [021]")->SetSubItem(4, " ON ");
    DoubleClick(window->lvwDOMapping, "033 [021]");
    writes = Received(5, 2);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1].values, QVector<quint16>{0x0000});
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TableWritesTest, AnalogOutputRowAsksForTheValueAndWritesItsRegister) {
    dialogs.AnswerInput("5");
    DoubleClick(window->lvwAOMapping, "065 [041]");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, rt::ScriptedDialogs::Shown::Input);
    EXPECT_EQ(dialogs.shown[0].title, "Slot 4 Channel 1");
    EXPECT_EQ(dialogs.shown[0].prompt, "Slot 4 KB-552 Channel 1  output value=?\r\n1~5V");
    const auto writes = Received(6, 1);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, 65);
    ASSERT_EQ(writes[0].values.size(), 1);
    EXPECT_GT(writes[0].values[0], 0);
}

// Backing out of the input box (Cancel, Escape, an empty answer, blanks)
// never moves the output. The write that follows each one arrives alone:
// a write sent before it would have arrived first.
TEST_F(TableWritesTest, BackingOutOfAnOutputsBoxSendsNothing) {
    struct Output {
        ui::ListView* list;
        const char* row;
        int function;
        const char* answer;
        QVector<quint16> written;  // what the answer writes
    };
    const Output outputs[] = {
        {&window->lvwAOMapping, "065 [041]", 6, "5", {10000}},  // 5 V: top of 1..5 V
        {&window->lvwPOMapping, "450 [1C2]", 16, "1F4", {0x0000, 0x01F4}}};
    const std::optional<std::string> backOuts[] = {std::nullopt, "", "   "};
    for (const Output& o : outputs) {
        for (const auto& backOut : backOuts) {
            sim.clearLog();
            dialogs.AnswerInput(backOut);
            DoubleClick(*o.list, o.row);
            dialogs.AnswerInput(std::string(o.answer));
            DoubleClick(*o.list, o.row);
            const auto writes = Received(o.function, 1);
            ASSERT_EQ(writes.size(), 1u) << o.row << " '" << backOut.value_or("Cancel") << "'";
            EXPECT_EQ(writes[0].values, o.written) << o.row;
        }
    }
    EXPECT_TRUE(dialogs.AllAnswersUsed());
}

TEST_F(TableWritesTest, PulseInputRowClearsAnUpCounter) {
    DoubleClick(window->lvwPIMapping, "294 [126]");  // slot 5, channel 3
    const auto commands = Received(16, 1);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].address, 0x8000);
    EXPECT_EQ(commands[0].values, (QVector<quint16>{0x0060, 5, 8}));
    // Another mode sends nothing.
    window->lvwPIMapping.FindItem("294 [126]")->SetSubItem(5, "[52] Frequency");
    DoubleClick(window->lvwPIMapping, "294 [126]");
    EXPECT_EQ(Received(16, 2, 300).size(), 1u);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TableWritesTest, PulseOutputRowWritesAHexValueIntoItsRegisterPair) {
    dialogs.AnswerInput("1F4");
    DoubleClick(window->lvwPOMapping, "450 [1C2]");  // slot 6, channel 1
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "Channel 450");
    EXPECT_EQ(dialogs.shown[0].prompt, "Slot 6 KB-590 Channel 1  output value=?\r\nContinues");
    auto writes = Received(16, 1);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, 450);
    EXPECT_EQ(writes[0].values, (QVector<quint16>{0x0000, 0x01F4}));
    dialogs.AnswerInput("FFFFFFFF");
    DoubleClick(window->lvwPOMapping, "450 [1C2]");
    writes = Received(16, 2);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1].values, (QVector<quint16>{0xFFFF, 0xFFFF}));
}

TEST_F(TableWritesTest, PulseOutputAnswersThatAreNoHexNumberAreReportedAndNotSent) {
    for (const char* answer : {"12G", "100000000"}) {
        dialogs.AnswerInput(std::string(answer));
        dialogs.AnswerMsgBox(rt::vbOK);
        DoubleClick(window->lvwPOMapping, "448 [1C0]");
    }
    ASSERT_EQ(dialogs.shown.size(), 4u);
    EXPECT_EQ(dialogs.shown[1].kind, rt::ScriptedDialogs::Shown::Message);
    EXPECT_EQ(dialogs.shown[1].prompt, rt::RuntimeError(rt::ErrTypeMismatch).Description());
    EXPECT_EQ(dialogs.shown[3].prompt, rt::RuntimeError(rt::ErrOverflow).Description());
    EXPECT_TRUE(Received(16, 0).empty());
}

// An analog answer that does not begin with a number is refused as a pulse
// output's is; one that does is written.
TEST_F(TableWritesTest, AnalogOutputAnswersThatAreNoNumberAreReportedAndNotSent) {
    struct Answer {
        const char* text;
        bool sent;
    };
    const Answer answers[] = {{"abc", false}, {"-", false}, {".x", false}, {"4.5V", true}};
    for (const Answer& a : answers) {
        SCOPED_TRACE(a.text);
        sim.clearLog();
        dialogs.shown.clear();
        dialogs.AnswerInput(std::string(a.text));
        if (!a.sent) dialogs.AnswerMsgBox(rt::vbOK);
        DoubleClick(window->lvwAOMapping, "065 [041]");
        ASSERT_EQ(dialogs.shown.size(), a.sent ? 1u : 2u);
        if (!a.sent) {
            EXPECT_EQ(dialogs.shown[1].prompt, rt::RuntimeError(rt::ErrTypeMismatch).Description());
        }
        EXPECT_EQ(Received(6, a.sent ? 1 : 0).size(), a.sent ? 1u : 0u);
    }
    EXPECT_TRUE(dialogs.AllAnswersUsed());
}

TEST_F(TableWritesTest, SummaryRowOfASinglePairSendsNothing) {
    DoubleClick(window->lvwIOMSummary, "00");
    DoubleClick(window->lvwIOMSummary, "07");
    EXPECT_TRUE(Received(16, 0).empty());
    EXPECT_TRUE(dialogs.shown.empty());
}

class DuplexPairTest : public TableWritesTest {
  protected:
    void SetUp() override {
        // Slots 0 and 1: the same model, duplex.
        options.station.setModule(1, 0x0001);
        options.station.slot[0].redundancy = 0x0100;
        options.station.slot[1].redundancy = 0x0100;
        TableWritesTest::SetUp();
        // The duplex roles come with the monitor's status reads: slot 0
        // master (5), slot 1 slave.
        ConfigReal[0].DuplexStatus[0] = 5;
        ConfigReal[0].DuplexStatus[1] = 2;
    }
};

TEST_F(DuplexPairTest, SummaryRowSwitchesTheDuplexPair) {
    ASSERT_EQ(ConfigReal[0].RedundancyToSlot[0], 1);
    DoubleClick(window->lvwIOMSummary, "00");  // master: the partner takes over
    auto commands = Received(16, 1);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].address, 0x8000);
    EXPECT_EQ(commands[0].values, (QVector<quint16>{0x0000, 1, 5}));
    DoubleClick(window->lvwIOMSummary, "01");  // slave: itself
    commands = Received(16, 2);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[1].values, (QVector<quint16>{0x0000, 1, 5}));
    ConfigReal[0].DuplexStatus[0] = 1;  // master, but not 5: slot 0 itself
    DoubleClick(window->lvwIOMSummary, "00");
    commands = Received(16, 3);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[2].values, (QVector<quint16>{0x0000, 0, 5}));
}

TEST_F(MainWindowTest, DoubleClicksOnEmptyTablesDoNothing) {
    frmMain& w = Open();
    w.lvwAOMapping_DblClick();
    w.lvwDOMapping_DblClick();
    w.lvwPIMapping_DblClick();
    w.lvwPOMapping_DblClick();
    w.lvwIOMSummary_DblClick();
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(MainWindowTest, AnalogOutputRowOfflineAsksButSendsNothing) {
    frmMain& w = Open();
    ConfigReal[0].SlotPresent[3] = kTrue;
    ConfigReal[0].Module[3] = "KB-551";
    ConfigReal[0].AOChannel[3] = 8;
    for (int c = 0; c < 8; ++c) ConfigReal[0].RangeCode(3, c) = 0x33;
    w.FillMappingAndSummaryLists(0);
    auto row = w.lvwAOMapping.FindItem("053 [035]");
    ASSERT_TRUE(row);
    row->SetSelected(true);
    dialogs.AnswerInput("2");
    w.lvwAOMapping_DblClick();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "Slot 3 Channel 5");
    EXPECT_EQ(dialogs.shown[0].prompt, "Slot 3 KB-551 Channel 5  output value=?\r\n-10~10V");
    EXPECT_EQ(nxlink::WskTCP502().State(), rt::sckClosed);
}

}  // namespace
