#include "mainwindow/frmAbout.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "config/NodeConfig.h"
#include "mainwindow_support.h"

namespace {

using testsupport::MainWindowTest;

const std::string kVersionLine = std::string("Version:  ") + NX_PROJECT_VERSION + "   ";

TEST_F(MainWindowTest, AboutBeforeAnyConnectShowsZeroVersions) {
    frmAbout about;
    EXPECT_EQ(about.windowTitle(), "Corvex-300 Utility");
    EXPECT_EQ(about.Label4.Caption(), "NX-4410  Utility");
    EXPECT_EQ(about.lbVersion.Caption(), kVersionLine);
    EXPECT_EQ(about.Frame1.Caption(), "Version");
    EXPECT_EQ(about.Label3.Caption(), "MCU FW:");
    EXPECT_EQ(about.labIOLibVersion.Caption(), "I/O Scan Lib:");
    EXPECT_EQ(about.txtModbusLib.Text(), "v0.00");
    EXPECT_EQ(about.txtIOLibVersion.Text(), "v0.00");
    EXPECT_TRUE(about.txtModbusLib.Locked());
    EXPECT_TRUE(about.txtIOLibVersion.Locked());
    EXPECT_TRUE(about.labIOLibVersion.Visible());
    EXPECT_TRUE(about.txtIOLibVersion.Visible());
    EXPECT_EQ(about.labAPPDate.Caption(), "  2025/07/21");
    EXPECT_EQ(about.cmdOK.Caption(), "OK");
}

TEST_F(MainWindowTest, AboutShowsTheControllerVersionsOfTheReadCopy) {
    ConfigReal[0].McuVersion = 300;
    ConfigReal[0].McuLibVersion = 105;
    ConfigSetting[0].McuVersion = 999;  // the edited copy does not count
    frmAbout about;
    EXPECT_EQ(about.txtModbusLib.Text(), "v3.00");
    EXPECT_EQ(about.txtIOLibVersion.Text(), "v1.05");
    ConfigReal[0].McuVersion = 5;
    ConfigReal[0].McuLibVersion = 1234;
    frmAbout again;  // a new instance reads the record anew
    EXPECT_EQ(again.txtModbusLib.Text(), "v0.05");
    EXPECT_EQ(again.txtIOLibVersion.Text(), "v12.34");
    ConfigReal[0].McuVersion = -150;
    frmAbout negative;
    EXPECT_EQ(negative.txtModbusLib.Text(), "v-1.50");
}

TEST_F(MainWindowTest, HelpAboutIsModalUntilOK) {
    frmMain& w = Open();
    w.show();
    bool sawModal = false;
    bool mainBlocked = false;
    QTimer::singleShot(0, [&] {
        auto* about = dynamic_cast<frmAbout*>(QApplication::activeModalWidget());
        if (!about) return;
        sawModal = true;
        mainBlocked = about->isModal();
        about->cmdOK.PerformClick();
    });
    // Returns only when the window was closed; a stuck dialog would hang
    // here, so a guard closes any modal window after a while.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* m = QApplication::activeModalWidget()) m->close();
    });
    guard.start(5000);
    w.mnuHelpAbout.PerformClick();
    EXPECT_TRUE(sawModal);
    EXPECT_TRUE(mainBlocked);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
