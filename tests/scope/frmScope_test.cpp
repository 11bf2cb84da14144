// The trend window against a recording chart inside the real main window:
// the kinds and tracks offered, what Add, Clear, Pause and the grid clicks
// do to the chart and to the monitor, the points each sampling tick takes
// from the mapping tables, and the track-scale refresh.
#include "scope/frmScope.h"

#include <gtest/gtest.h>

#include "config/NodeConfig.h"
#include "mainwindow/frmMain.h"
#include "mainwindow_support.h"
#include "scope/CommonDialog.h"
#include "scope/frmEditScopeRange.h"
#include "scope/frmScopeChannelInfo.h"
#include "scope_support.h"
#include "tests/support/CaptionsFit.h"
#include "tests/support/ConfigRecords.h"

namespace {

using Calls = std::vector<std::string>;
using testsupport::RecordingStrip;

class ScopeTest : public testsupport::MainWindowTest {
  protected:
    // DI slot 0 (2 channels), DO slot 1 (2), AI slot 2 (2), AO slot 3 (1);
    // `kinds` leaves out the kinds whose letter is missing.
    scope::frmScope& OpenScope(const std::string& kinds = "DI DO AI AO") {
        frmMain& w = Open();
        NodeConfig& n = ConfigReal[0];
        const auto put = [&](int slot, const char* model, const char* kind, int16_t& count,
                             int channels) {
            if (kinds.find(kind) == std::string::npos) return;
            n.SlotPresent[slot] = kTrue;
            n.Module[slot] = model;
            count = static_cast<int16_t>(channels);
        };
        put(0, "KB-560", "DI", n.DIChannel[0], 2);
        put(1, "KB-570", "DO", n.DOChannel[1], 2);
        put(2, "KB-522", "AI", n.AIChannel[2], 2);
        put(3, "KB-551", "AO", n.AOChannel[3], 1);
        n.RangeCode(3, 0) = 50;
        w.FillMappingAndSummaryLists(0);
        scope = std::make_unique<scope::frmScope>(w, &chart);
        chart.calls.clear();
        return *scope;
    }
    void TearDown() override {
        scope::SetColorChooser(nullptr);
        scope.reset();
        MainWindowTest::TearDown();
    }
    static std::vector<std::string> Items(const ui::ComboBox& c) {
        std::vector<std::string> out;
        for (int i = 0; i < c.ListCount(); ++i) out.push_back(c.List(i));
        return out;
    }
    std::vector<std::string> Row(int r) {
        std::vector<std::string> out;
        for (int c = 0; c < 4; ++c) out.push_back(scope->gridChannelList.TextMatrix(r, c));
        return out;
    }

    RecordingStrip chart;
    std::unique_ptr<scope::frmScope> scope;
};

TEST_F(ScopeTest, KindsOfferedAreThoseWithRowsInTheirOrder) {
    struct Case {
        std::string kinds;
        std::vector<std::string> offered;
        std::vector<std::string> addresses;
        std::vector<std::string> tracks;
    };
    const Case cases[] = {
        {"DI DO AI AO",
         {"Digital Input", "Digital Output", "Analog Input", "Analog Output"},
         {"000 [000]", "001 [001]"},
         {"2", "3", "4"}},
        {"AO DO", {"Digital Output", "Analog Output"}, {"032 [020]", "033 [021]"}, {"2", "3", "4"}},
        {"AI", {"Analog Input"}, {"032 [020]", "033 [021]"}, {"1"}},
        {"", {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kinds);
        scope::frmScope& s = OpenScope(c.kinds);
        EXPECT_EQ(Items(s.cmbIO), c.offered);
        EXPECT_EQ(Items(s.cmbAddress), c.addresses);
        EXPECT_EQ(Items(s.cmbTrack), c.tracks);
        EXPECT_EQ(s.cmbTrack.Text(), c.tracks.empty() ? "" : c.tracks[0]);
        EXPECT_EQ(s.gridChannelList.TextMatrix(0, 4), "Visible");
        scope.reset();
        window.reset();
        ResetConfigRecordsForStartup();
    }
}

TEST_F(ScopeTest, FirstAddSwitchesTheMonitorOnWithoutALinkAndStartsSampling) {
    scope::frmScope& s = OpenScope();
    frmMain& w = *window;
    MonitorTimerInterval = 140;
    s.cmdAdd.PerformClick();
    EXPECT_TRUE(w.mnuTimerEnable.Checked());
    EXPECT_EQ(w.Toolbar.Buttons(6).Image(), 10);
    EXPECT_EQ(w.Toolbar.Buttons(6).ButtonMenus(1).Text(), "Disable");
    EXPECT_TRUE(w.Timer1.Enabled());
    EXPECT_EQ(w.Timer1.Interval(), 140);
    EXPECT_TRUE(s.Timer1.Enabled());
    EXPECT_EQ(s.Timer1.Interval(), 1000);
}

TEST_F(ScopeTest, AddsWalkThroughEveryChannelAndCycleTheDigitalTracks) {
    scope::frmScope& s = OpenScope();
    struct Step {
        std::vector<std::string> row;
        Calls chart;  // after the colour
    };
    const Step steps[] = {
        {{"DI", "000 [000]", "", "2"},
         {"SetChannel(0)", "SetChannelTrack(1)", "SetChannelDigital(1)", "SetChannelStyle(2)"}},
        {{"DI", "001 [001]", "", "3"},
         {"SetChannel(1)", "SetChannelTrack(2)", "SetChannelDigital(1)", "SetChannelStyle(2)"}},
        {{"DO", "032 [020]", "", "2"},
         {"SetChannel(2)", "SetChannelTrack(1)", "SetChannelDigital(1)", "SetChannelStyle(2)"}},
        {{"DO", "033 [021]", "", "3"},
         {"SetChannel(3)", "SetChannelTrack(2)", "SetChannelDigital(1)", "SetChannelStyle(2)"}},
        {{"AI", "032 [020]", "", "1"},
         {"SetChannel(4)", "SetChannelTrack(0)", "SetChannelDigital(0)"}},
        {{"AI", "033 [021]", "", "1"},
         {"SetChannel(5)", "SetChannelTrack(0)", "SetChannelDigital(0)"}},
        {{"AO", "048 [030]", "", "1"},
         {"SetChannel(6)", "SetChannelTrack(0)", "SetChannelDigital(0)"}},
        // The last address of the last kind: the selection stays.
        {{"AO", "048 [030]", "", "1"},
         {"SetChannel(7)", "SetChannelTrack(0)", "SetChannelDigital(0)"}},
    };
    for (int i = 0; i < static_cast<int>(std::size(steps)); ++i) {
        SCOPED_TRACE(i);
        const int32_t color = s.ColorButtonColor();
        chart.calls.clear();
        s.cmdAdd.PerformClick();
        EXPECT_EQ(Row(i + 1), steps[i].row);
        Calls expected = steps[i].chart;
        expected.push_back("SetChannelColor(" + std::to_string(color) + ")");
        expected.push_back("SetChannelVisible(1)");
        EXPECT_EQ(chart.calls, expected);
        s.gridChannelList.SetRow(i + 1);
        s.gridChannelList.SetCol(2);
        EXPECT_EQ(s.gridChannelList.CellBackColor(), color);
        EXPECT_EQ(s.ScopeChannelCount, i + 1);
    }
}

TEST_F(ScopeTest, FiftySecondChannelIsRefusedAndClearStartsAgain) {
    scope::frmScope& s = OpenScope("AI");
    for (int i = 0; i < 51; ++i) s.cmdAdd.PerformClick();
    ASSERT_EQ(s.ScopeChannelCount, 51);
    chart.calls.clear();
    dialogs.AnswerMsgBox(rt::vbOK);
    s.cmdAdd.PerformClick();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, "full");
    EXPECT_TRUE(chart.calls.empty());
    EXPECT_EQ(s.ScopeChannelCount, 51);

    s.cmdClear.PerformClick();
    EXPECT_FALSE(s.Timer1.Enabled());
    EXPECT_EQ(s.ScopeChannelCount, 0);
    EXPECT_EQ(Row(1), (std::vector<std::string>{"", "", "", ""}));
    EXPECT_EQ(s.gridChannelList.TextMatrix(0, 0), "I/O");
    ASSERT_EQ(chart.calls.size(), 51u * 2 + 1);
    EXPECT_EQ(chart.calls[100], "SetChannel(50)");
    EXPECT_EQ(chart.calls[101], "SetChannelColor(255)");
    EXPECT_EQ(chart.calls.back(), "Clear()");
    EXPECT_TRUE(window->Timer1.Enabled());  // the monitor stays on

    chart.calls.clear();
    s.cmdAdd.PerformClick();
    EXPECT_EQ(chart.calls.front(), "SetChannel(0)");
    EXPECT_EQ(s.gridChannelList.TextMatrix(1, 0), "AI");
}

TEST_F(ScopeTest, TickTakesEachChannelsPointFromItsValueColumn) {
    scope::frmScope& s = OpenScope();
    frmMain& w = *window;
    for (int i = 0; i < 7; ++i) s.cmdAdd.PerformClick();
    struct Case {
        const char* what;
        ui::ListView* list;
        int row;
        std::string text;
        int channel;
        double point;
    };
    const Case cases[] = {
        {"DI on", &w.lvwDIMapping, 1, "ON", 0, 1},
        {"DI lower case", &w.lvwDIMapping, 2, "on", 1, 0},
        {"DO off", &w.lvwDOMapping, 1, "OFF", 2, 0},
        {"DO empty", &w.lvwDOMapping, 2, "", 3, 0},
        {"AI number", &w.lvwAIMapping, 1, "12.500", 4, 12.5},
        {"AI not a number", &w.lvwAIMapping, 2, "9999.9x", 5, 9999.9f},
        {"AO empty", &w.lvwAOMapping, 1, "", 6, 0},
    };
    for (const Case& c : cases) c.list->ListItems(c.row).SetSubItem(4, c.text);
    chart.calls.clear();
    s.Timer1_Timer();
    Calls expected;
    for (const Case& c : cases) {
        expected.push_back("AddSample(" + std::to_string(c.channel) + "," +
                           RecordingStrip::Num(c.point) + ")");
        expected.push_back("SetCurrentTime()");
    }
    EXPECT_EQ(chart.calls, expected);
    EXPECT_NEAR(chart.lastDate, scope::NowAsDate(), 1.0 / 86400);
}

TEST_F(ScopeTest, ChannelWhoseRowVanishedIsSkippedAndTheOthersSampled) {
    scope::frmScope& s = OpenScope();
    for (int i = 0; i < 3; ++i) s.cmdAdd.PerformClick();
    // The tables rebuilt without the second DI channel.
    ConfigReal[0].DIChannel[0] = 1;
    window->FillMappingAndSummaryLists(0);
    chart.calls.clear();
    s.Timer1_Timer();
    EXPECT_EQ(chart.calls,
              (Calls{"AddSample(0,0)", "SetCurrentTime()", "AddSample(2,0)", "SetCurrentTime()"}));
}

TEST_F(ScopeTest, GridClicks) {
    scope::frmScope& s = OpenScope("DO");
    s.cmdAdd.PerformClick();
    s.cmdAdd.PerformClick();
    struct Click {
        const char* what;
        int row, col;
        std::optional<int32_t> chosen;  // colour dialog answer
        Calls chart;
        bool checked;  // Visible picture of row 2 afterwards
    };
    const Click clicks[] = {
        {"visible off", 2, 4, {}, {"SetChannel(1)", "SetChannelVisible(0)"}, false},
        {"visible on again", 2, 4, {}, {"SetChannel(1)", "SetChannelVisible(1)"}, true},
        {"colour chosen", 2, 2, 0x00FF00, {"SetChannel(1)", "SetChannelColor(65280)"}, true},
        {"colour cancelled", 2, 2, std::nullopt, {}, true},
        {"header colour", 0, 2, 0x0000FF, {}, true},
        {"header visible", 0, 4, {}, {}, true},
        {"below the last row", 3, 4, {}, {}, true},
        {"track", 2, 3, {}, {}, true},
    };
    for (const Click& c : clicks) {
        SCOPED_TRACE(c.what);
        int asked = 0;
        scope::SetColorChooser([&](int32_t) {
            ++asked;
            return c.chosen;
        });
        chart.calls.clear();
        s.gridChannelList.PerformClick(c.row, c.col);
        EXPECT_EQ(chart.calls, c.chart);
        EXPECT_EQ(asked, c.col == 2 && c.row >= 1 ? 1 : 0);
        s.gridChannelList.SetRow(2);
        s.gridChannelList.SetCol(4);
        EXPECT_EQ(s.gridChannelList.CellPicture(),
                  (c.checked ? s.picChecked : s.picUnchecked).cacheKey());
    }
    s.gridChannelList.SetRow(2);
    s.gridChannelList.SetCol(2);
    EXPECT_EQ(s.gridChannelList.CellBackColor(), 0x00FF00);  // the cancel kept it
}

TEST_F(ScopeTest, ColourButtonTakesTheChosenColourAndCancelKeepsIt) {
    scope::frmScope& s = OpenScope("AI");
    s.SetColorButtonColor(0x123456);
    for (const std::optional<int32_t> answer :
         {std::optional<int32_t>{}, std::optional<int32_t>{0x00ABCDEF}}) {
        scope::SetColorChooser([&](int32_t initial) {
            EXPECT_EQ(initial, s.ColorButtonColor());
            return answer;
        });
        s.cmdColor.PerformClick();
        EXPECT_EQ(s.ColorButtonColor(), answer.value_or(0x123456));
    }
}

TEST_F(ScopeTest, PauseTogglesTheChartAndTheCaption) {
    scope::frmScope& s = OpenScope("AI");
    s.cmdPause.PerformClick();
    EXPECT_EQ(s.cmdPause.Caption(), "Continue");
    s.cmdPause.PerformClick();
    EXPECT_EQ(s.cmdPause.Caption(), "Pause");
    EXPECT_EQ(chart.calls, (Calls{"Paused()", "SetPaused(1)", "Paused()", "SetPaused(0)"}));
}

TEST_F(ScopeTest, TrackScaleRefreshSetsTheLowerTracksFromTheirReading) {
    OpenScope("AI");
    chart.reading = 0.5;
    chart.TrackScale();
    Calls expected;
    for (int t = 1; t <= 4; ++t)
        for (std::string c :
             {"SetTrack(" + std::to_string(t) + ")",
              "SetFirstTrackSetting(" + std::to_string(t) + ")", std::string("TrackReading()"),
              std::string("SetSecondTrackSetting(0.4)")})
            expected.push_back(c);
    EXPECT_EQ(chart.calls, expected);
}

}  // namespace

// The trend window with a channel of each kind, its range window and its
// channel window show their texts whole.
namespace {

TEST_F(ScopeTest, EveryWindowShowsItsTextsWhole) {
    scope::frmScope& s = OpenScope();
    for (int i = 0; i < 4; ++i) s.cmdAdd.PerformClick();
    s.cmdAxis.PerformClick();
    s.gridChannelList.PerformClick(2, 0);
    const std::pair<QWidget*, const char*> windows[] = {
        {&s, "trend"}, {&s.EditScopeRange(), "range"}, {&s.ScopeChannelInfo(), "channel"}};
    for (const auto& [w, name] : windows) {
        w->show();
        for (const auto& f : testsupport::CaptionsThatDoNotFit(w))
            ADD_FAILURE() << name << ": " << f;
    }
}

}  // namespace
