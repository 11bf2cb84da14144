// The channel information window: what a click on a channel's I/O or
// Address cell shows, and the single-output writes of its buttons as the
// station stand-in receives them.
#include "scope/frmScopeChannelInfo.h"

#include <gtest/gtest.h>

#include "config/Conversions.h"
#include "config/NodeConfig.h"
#include "mainwindow/frmMain.h"
#include "mainwindow_support.h"
#include "platform/dialogs.h"
#include "scope/frmScope.h"
#include "scope_support.h"

namespace {

class ChannelInfo : public testsupport::MainWindowTest {};

TEST_F(ChannelInfo, PickingAChannelSetsUpTheWindow) {
    frmMain& w = Open();
    NodeConfig& n = ConfigReal[0];
    n.SlotPresent[0] = n.SlotPresent[1] = n.SlotPresent[2] = n.SlotPresent[3] = kTrue;
    n.Module[0] = "KB-560";
    n.DIChannel[0] = 1;
    n.Module[1] = "KB-570";
    n.DOChannel[1] = 1;
    n.Module[2] = "KB-522";
    n.AIChannel[2] = 1;
    n.RangeCode(2, 0) = 8;
    n.Module[3] = "KB-551";
    n.AOChannel[3] = 1;
    n.RangeCode(3, 0) = 50;
    w.FillMappingAndSummaryLists(0);
    testsupport::RecordingStrip chart;
    scope::frmScope s(w, &chart);
    for (int i = 0; i < 4; ++i) s.cmdAdd.PerformClick();
    w.lvwDOMapping.ListItems(1).SetSubItem(4, "ON");
    w.lvwAIMapping.ListItems(1).SetSubItem(4, "3.250");
    struct Case {
        int row, col;
        const char* label;
        int16_t kind, address, range;
        bool digitalShown, digitalEnabled, setShown, setEnabled;
        const char* value;
    };
    const Case cases[] = {
        {1, 0, "DI Address:0", 0, 0, 0x40, true, false, false, false, ""},
        {2, 1, "DO Address:32", 1, 32, 0x40, true, true, false, false, "ON"},
        {3, 0, "AI Address:32", 2, 32, 8, false, false, true, false, "3.250"},
        {4, 1, "AO Address:48", 3, 48, 50, false, false, true, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        w.lvwDIMapping.ListItems(1).SetSubItem(4, "");
        s.gridChannelList.PerformClick(c.row, c.col);
        scope::frmScopeChannelInfo& info = s.ScopeChannelInfo();
        EXPECT_TRUE(info.isVisible());
        EXPECT_EQ(s.gridChannelList.Col(), 0);
        EXPECT_EQ(info.labIO.Caption(), c.label);
        EXPECT_EQ(SelectedScopeChannel.Kind, c.kind);
        EXPECT_EQ(SelectedScopeChannel.Address, c.address);
        EXPECT_EQ(SelectedScopeChannel.RangeCode, c.range);
        for (int i = 0; i <= 2; ++i) {
            EXPECT_EQ(info.cmdSetDO(i).Visible(), c.digitalShown);
            EXPECT_EQ(info.cmdSetDO(i).Enabled(), c.digitalEnabled);
        }
        EXPECT_EQ(info.cmdSetValue.Visible(), c.setShown);
        EXPECT_EQ(info.cmdSetValue.Enabled(), c.setEnabled);
        EXPECT_EQ(info.txtValue.Text(), c.value);
    }
    // A tick refreshes the field of an input, never that of an analog output.
    s.gridChannelList.PerformClick(3, 0);
    w.lvwAIMapping.ListItems(1).SetSubItem(4, "4.000");
    s.Timer1_Timer();
    EXPECT_EQ(s.ScopeChannelInfo().txtValue.Text(), "4.000");
    s.gridChannelList.PerformClick(4, 0);
    s.ScopeChannelInfo().txtValue.SetText("5");
    s.Timer1_Timer();
    EXPECT_EQ(s.ScopeChannelInfo().txtValue.Text(), "5");
}

class ChannelWrites : public testsupport::OnlineWindowTest {};

TEST_F(ChannelWrites, ButtonsSendOneWriteEach) {
    Start();
    ASSERT_TRUE(Connect());
    window->Timer2.SetEnabled(false);
    scope::frmScope& s = window->ScopeWindow();
    scope::frmScopeChannelInfo& info = s.ScopeChannelInfo();
    const int16_t raw = ConverValue2BitDec(5, 50);
    const QByteArray rawBytes = QByteArray::fromHex(
        QByteArray::number(static_cast<uint16_t>(raw), 16).rightJustified(4, '0'));
    struct Case {
        const char* what;
        int16_t kind, address, range;
        const char* text;
        int button;      // cmdSetDO index, or -1 for Set
        QByteArray pdu;  // function and data; empty: nothing sent
        const char* message = "";
    };
    const int unit = ConfigReal[0].NetID;
    const Case cases[] = {
        {"Off", 1, 33, 0x40, "ON", 0, QByteArray::fromHex("050021 0000")},
        {"On", 1, 33, 0x40, "ON", 1, QByteArray::fromHex("050021 FF00")},
        {"Inverse of OFF", 1, 33, 0x40, "OFF", 2, QByteArray::fromHex("050021 FF00")},
        {"Inverse of ON", 1, 33, 0x40, "ON", 2, QByteArray::fromHex("050021 0000")},
        {"Inverse of other", 1, 33, 0x40, "on", 2, QByteArray::fromHex("050021 0000")},
        {"no such button", 1, 33, 0x40, "ON", 3, QByteArray()},
        {"Set", 3, 64, 50, "5", -1, QByteArray::fromHex("060040") + rawBytes},
        {"Set of a leading number", 3, 64, 50, " 5 V", -1,
         QByteArray::fromHex("060040") + rawBytes},
        {"Set of a text", 3, 64, 50, "abc", -1, QByteArray(), "Type mismatch"},
        {"Set of nothing", 3, 64, 50, "", -1, QByteArray(), "Type mismatch"},
        {"Set beyond a single", 3, 64, 50, "1e39", -1, QByteArray(), "Overflow"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim.clearLog();
        dialogs.shown.clear();
        if (*c.message) dialogs.AnswerMsgBox(rt::vbOK);
        SelectedScopeChannel = {c.kind, c.address, c.range};
        info.txtValue.SetText(c.text);
        if (c.button < 0)
            info.cmdSetValue_Click();
        else
            info.cmdSetDO_Click(static_cast<int16_t>(c.button));
        EXPECT_LE(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown.empty() ? "" : dialogs.shown[0].prompt, c.message);
        if (c.pdu.isEmpty()) {
            testsupport::WaitFor([] { return false; }, 100);
            EXPECT_TRUE(sim.received(nxsim::Channel::Modbus).isEmpty());
            continue;
        }
        ASSERT_TRUE(testsupport::WaitFor(
            [&] { return !sim.received(nxsim::Channel::Modbus).isEmpty(); }, 3000));
        const QByteArray frame = sim.received(nxsim::Channel::Modbus).front().bytes;
        EXPECT_EQ(frame.mid(6, 1).toHex(), QByteArray::number(unit, 16).rightJustified(2, '0'));
        EXPECT_EQ(frame.mid(7).toHex(), c.pdu.toHex());
    }
}

}  // namespace
