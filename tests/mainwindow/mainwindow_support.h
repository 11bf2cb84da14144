// Shared set-up of the main-window tests: clean records, scripted dialogs,
// a window whose program end is recorded, and an event-pumping wait; and a
// window joined to the station stand-in on loopback.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "config/NodeConfig.h"
#include "mainwindow/frmMain.h"
#include "platform/dialogs.h"
#include "sim/StationSim.h"
#include "tests/support/ScriptedDialogs.h"

namespace testsupport {

// Lets events run until done() holds or ms milliseconds have passed,
// blocking in the event loop between events.
bool WaitFor(const std::function<bool()>& done, int ms);

// " NX-4410 Utility  ver <project version> ".
std::string StartCaptionText();

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Creates the window (its load runs) with its program end recorded and
    // its rack pictures read from the shipped pictures.
    frmMain& Open();

    rt::ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> window;
    int programEnds = 0;
};

// A window for the tests of one module page (`kPage`, the page a slot click
// fills): the set-up opens it; the tests put modules in slots, then Commit.
template <typename Page, Page frmMain::*kPage>
class PageTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        Open();
    }
    // Slot `slot` of node 0 holds `model`, present and working (state 32);
    // returns the read record for the counts and codes.
    static NodeConfig& PutWorking(int slot, const char* model) {
        NodeConfig& n = ConfigReal[0];
        n.Module[slot] = model;
        n.SlotPresent[slot] = kTrue;
        n.NMTState[slot] = 32;
        return n;
    }
    // The edited record becomes the read one, and the rack shows it.
    void Commit() {
        ConfigSetting[0] = ConfigReal[0];
        window->ShowRackPictures(0);
    }
    // Clicks slot `slot` (again) and returns the page it filled.
    Page& Show(int slot) {
        window->optSlot(slot).SetValue(false);
        window->optSlot(slot).PerformClick();
        return (*window).*kPage;
    }
    // Clicks a page's button, answering its confirmation with Yes.
    void Answer(ui::CommandButton& button) {
        dialogs.AnswerMsgBox(rt::vbYes);
        button.PerformClick();
    }
};

// A window whose link points at a station stand-in on 127.0.0.1 with free
// ports; the stand-in starts with StationConfig::Default() unless a test
// changes `options` before Start().
class OnlineWindowTest : public MainWindowTest {
  protected:
    void TearDown() override;
    // Starts the stand-in, opens the window and types 127.0.0.1 into its IP
    // box.
    frmMain& Start();
    // Toolbar Connect; true when the window reached its connected state
    // (a try that the stand-in answered late is made again).
    bool Connect();
    // Toolbar Connect, then toolbar Upload.
    bool ConnectAndUpload();
    // Opens the advanced options window and returns it; its read of the
    // station was answered unless the stand-in left it unanswered (then the
    // window shows its box). `beforeTry` runs before each try; a try that
    // the stand-in answered late is made again, its window closed.
    frmAdvancedOptions& OpenAdvancedOptions(const std::function<void()>& beforeTry = {});

    nxsim::SimOptions options;
    nxsim::StationSim sim;
};

}  // namespace testsupport
