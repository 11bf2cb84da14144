// Shared set-up of the main-window tests: clean records, scripted dialogs,
// a window whose program end is recorded, and an event-pumping wait.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "mainwindow/frmMain.h"
#include "platform/dialogs.h"

namespace testsupport {

// Lets events run until done() holds or ms milliseconds have passed,
// blocking in the event loop between events.
bool WaitFor(const std::function<bool()>& done, int ms);

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Creates the window (its load runs) with its program end recorded.
    frmMain& Open();

    rt::ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> window;
    int programEnds = 0;
};

}  // namespace testsupport
