// The main window's side of the trend window: the Tread command, the
// interval command that loads it, and its unload by Disconnect, also while
// one of its handlers is still running.
#include <gtest/gtest.h>

#include <QPointer>

#include "mainwindow/frmMain.h"
#include "mainwindow_support.h"
#include "scope/frmEditScopeRange.h"
#include "scope/frmScope.h"

namespace {

using testsupport::MainWindowTest;

TEST_F(MainWindowTest, TreadShowsTheTrendWindowAndTheIntervalCommandLoadsItHidden) {
    frmMain& w = Open();
    dialogs.AnswerInput("1000");
    w.mnuTimerInterval_Click();
    ASSERT_NE(w.LoadedScope(), nullptr);
    EXPECT_FALSE(w.LoadedScope()->isVisible());
    EXPECT_EQ(w.LoadedScope()->Timer1.Interval(), 200);
    w.Toolbar.Buttons("Tread").SetEnabled(true);
    w.mnuTread_Click();
    EXPECT_TRUE(w.LoadedScope()->isVisible());
    EXPECT_EQ(w.LoadedScope()->windowTitle(), "Scope");
}

TEST_F(MainWindowTest, DisconnectUnloadsTheTrendWindowAndItsDialogs) {
    frmMain& w = Open();
    w.mnuTread_Click();
    scope::frmScope* first = w.LoadedScope();
    first->cmdAxis.PerformClick();
    QPointer<scope::frmEditScopeRange> range = &first->EditScopeRange();
    ASSERT_TRUE(range->isVisible());
    w.mnuDisconnect_Click();
    EXPECT_EQ(w.LoadedScope(), nullptr);
    EXPECT_TRUE(range.isNull());
    // Once more: nothing loaded, nothing happens.
    w.mnuDisconnect_Click();
    w.mnuTread_Click();
    EXPECT_EQ(w.LoadedScope()->ScopeChannelCount, 0);
}

TEST_F(MainWindowTest, UnloadInsideAHandlerKeepsTheWindowUntilTheHandlerEnds) {
    frmMain& w = Open();
    w.mnuTread_Click();
    QPointer<scope::frmScope> s = w.LoadedScope();
    s->Timer1.SetEnabled(true);
    {
        scope::frmScope::BusyGuard running(*s);
        w.UnloadScope();
        ASSERT_FALSE(s.isNull());
        EXPECT_FALSE(s->isVisible());
        EXPECT_FALSE(s->Timer1.Enabled());
    }
    w.mnuTread_Click();
    EXPECT_TRUE(s.isNull());
    EXPECT_NE(w.LoadedScope(), nullptr);
}

}  // namespace
