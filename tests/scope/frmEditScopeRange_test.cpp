// The range dialog: the fields it shows and what Set writes to the chart,
// the sampling timer and the monitor timer.
#include "scope/frmEditScopeRange.h"

#include <gtest/gtest.h>

#include "mainwindow/frmMain.h"
#include "mainwindow_support.h"
#include "platform/dialogs.h"
#include "scope/StripChart.h"
#include "scope/frmScope.h"
#include "scope_support.h"

namespace {

using Calls = std::vector<std::string>;
using testsupport::RecordingStrip;

class RangeTest : public testsupport::MainWindowTest {
  protected:
    scope::frmEditScopeRange& OpenRange() {
        frmMain& w = Open();
        w.Timer1.SetInterval(100);
        scope = std::make_unique<scope::frmScope>(w, &chart);
        scope->cmdAxis.PerformClick();
        chart.calls.clear();
        return scope->EditScopeRange();
    }
    void TearDown() override {
        scope.reset();
        MainWindowTest::TearDown();
    }
    RecordingStrip chart;
    scope::StripChart strip;  // a real chart, for the tests that draw it
    std::unique_ptr<scope::frmScope> scope;
};

TEST_F(RangeTest, LoadShowsTheAnalogTrackWhateverTrackWasChosenLast) {
    frmMain& w = Open();
    chart.yMax[0] = 20;
    chart.yMin[0] = -2.5;
    chart.yMax[3] = 1.1;
    chart.timeSpan = 30.0 / 1440;
    chart.bufferSize = 5000;
    chart.track = 3;
    scope = std::make_unique<scope::frmScope>(w, &chart);
    scope->Timer1.SetInterval(750);
    scope->cmdAxis.PerformClick();
    scope::frmEditScopeRange& r = scope->EditScopeRange();
    EXPECT_TRUE(r.isVisible());
    EXPECT_EQ(r.txtXAxis.Text(), "5000");
    EXPECT_EQ(r.txtYMax.Text(), "20");
    EXPECT_EQ(r.txtYMin.Text(), "-2.5");
    EXPECT_EQ(r.txtTimerInterval.Text(), "750");
    EXPECT_EQ(r.txtXspan.Text(), "30");
}

TEST_F(RangeTest, SetWritesTheFieldsInOrder) {
    struct Case {
        const char* interval;
        int scopeMs, monitorMs;  // afterwards
        Calls afterY;            // chart calls after the Y range
    };
    const Case cases[] = {
        {"1000", 1000, 200, {"SetTimeSpan(0.0208333333333333)"}},
        {"502", 502, 100, {"SetTimeSpan(0.0208333333333333)"}},
        {"499", 1000, 100, {"SetTimeSpan(0.0208333333333333)"}},
        // More than the timer holds: ignored, the span still applied.
        {"70000", 1000, 100, {"SetTimeSpan(0.0208333333333333)"}},
        {"", 1000, 100, {"SetTimeSpan(0.0208333333333333)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.interval);
        scope::frmEditScopeRange& r = OpenRange();
        r.txtXAxis.SetText("");
        r.txtYMax.SetText("5");
        r.txtYMin.SetText("abc");
        r.txtTimerInterval.SetText(c.interval);
        r.txtXspan.SetText("30");
        r.cmdGo.PerformClick();
        Calls expected = {"SetBufferSize(0)",    "SetTrack(0)", "SetTrackYMax(5)",
                          "SetTrackRangeMax(5)", "SetTrack(0)", "SetTrackYMin(0)",
                          "SetTrackRangeMin(0)"};
        expected.insert(expected.end(), c.afterY.begin(), c.afterY.end());
        EXPECT_EQ(chart.calls, expected);
        EXPECT_EQ(scope->Timer1.Interval(), c.scopeMs);
        EXPECT_EQ(window->Timer1.Interval(), c.monitorMs);
        EXPECT_TRUE(r.isVisible());
        scope.reset();
        window.reset();
    }
}

TEST_F(RangeTest, EmptyYFieldsAndSpanLeaveThemAlone) {
    scope::frmEditScopeRange& r = OpenRange();
    for (ui::TextBox* t : {&r.txtXAxis, &r.txtYMax, &r.txtYMin, &r.txtTimerInterval, &r.txtXspan})
        t->SetText("");
    r.txtXAxis.SetText("2000");
    r.cmdGo.PerformClick();
    EXPECT_EQ(chart.calls, Calls{"SetBufferSize(2000)"});
    r.cmdExit.PerformClick();
    EXPECT_FALSE(r.isVisible());
    EXPECT_FALSE(r.Loaded());
}

// Whatever span is typed, Set leaves a chart that draws its time axis with
// a handful of grid lines: a span it cannot show is held to the nearest one
// it can, or refused when it is no span at all; reopening shows what holds.
TEST_F(RangeTest, AnyTypedSpanLeavesAChartThatDraws) {
    using scope::StripChart;
    const double minute = 1.0 / 1440;  // the span before each case
    struct Case {
        const char* typed;
        double days;        // the chart's span afterwards
        const char* shown;  // X-Range when the dialog is opened again
        const char* message = "";
    };
    const Case cases[] = {
        {"30", 30 * minute, "30"},
        {"1e12", StripChart::kMaxTimeSpan, "109225"},
        {"1e20", StripChart::kMaxTimeSpan, "109225"},
        {"1e300", StripChart::kMaxTimeSpan, "109225"},
        {"1e-300", StripChart::kMinTimeSpan, "1.66666666666667e-05"},
        {"0", minute, "1"},
        {"-30", minute, "1"},
        {"1e999", minute, "1", "Overflow"},
    };
    frmMain& w = Open();
    strip.resize(320, 240);
    scope = std::make_unique<scope::frmScope>(w, &strip);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        strip.SetTimeSpan(minute);
        scope->cmdAxis.PerformClick();
        scope::frmEditScopeRange& r = scope->EditScopeRange();
        r.txtXspan.SetText(c.typed);
        dialogs.shown.clear();
        if (*c.message) dialogs.AnswerMsgBox(rt::vbOK);
        r.cmdGo.PerformClick();
        EXPECT_LE(testsupport::GridLines(testsupport::Picture(strip)), 9);
        EXPECT_DOUBLE_EQ(strip.TimeSpan(), c.days);
        EXPECT_LE(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown.empty() ? "" : dialogs.shown[0].prompt, c.message);
        r.cmdExit.PerformClick();
        scope->cmdAxis.PerformClick();
        EXPECT_EQ(r.txtXspan.Text(), c.shown);
        r.cmdExit.PerformClick();
    }
}

}  // namespace
