// The rack picture of the main window: pictures and names of the rack
// buttons, the kind labels, and what a click on a rack button shows.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "config/NodeConfig.h"
#include "mainwindow/frmMain.h"
#include "mainwindow_support.h"

namespace {

using testsupport::MainWindowTest;

class RackTest : public MainWindowTest {
  protected:
    frmMain& OpenWithStation() {
        frmMain& w = Open();
        NodeConfig& n = ConfigReal[0];
        n.Controller = "GW-7010";
        n.McuName[0] = "GW-7010";
        n.PowerName[0] = "KB-PW1";
        n.PowerName[1] = "KB-PW2";
        Module(0, "KB-560");
        Module(3, "KB-540");
        Module(5, "KA-370");
        n.Module[4] = "KB-552";  // known model, but not present
        n.NetID = 42;
        return w;
    }
    void Module(int s, const std::string& model) {
        ConfigReal[0].Module[s] = model;
        ConfigReal[0].SlotPresent[s] = kTrue;
    }
};

TEST_F(RackTest, PresentSlotsControllerAndPowerModulesGetPictureAndName) {
    frmMain& w = OpenWithStation();
    w.ShowRackPictures(0);
    EXPECT_EQ(w.fmeController.Caption(), "GW-7010");
    for (int s : {0, 3, 5}) {
        EXPECT_TRUE(w.optSlot(s).HasPicture()) << s;
        EXPECT_EQ(w.optSlot(s).ToolTipText(), ConfigReal[0].Module[s]);
    }
    for (int s : {1, 2, 4, 6, 7}) {
        EXPECT_FALSE(w.optSlot(s).HasPicture()) << s;
        EXPECT_EQ(w.optSlot(s).ToolTipText(), "") << s;
    }
    EXPECT_TRUE(w.optMCU(0).HasPicture());
    EXPECT_EQ(w.optMCU(0).ToolTipText(), "GW-7010");
    EXPECT_FALSE(w.optMCU(1).HasPicture());
    EXPECT_TRUE(w.optPower(1).HasPicture());
    EXPECT_EQ(w.optPower(1).ToolTipText(), "KB-PW2");
}

TEST_F(RackTest, RedrawSelectsNothingHidesTheNameAndShowsTheEmptyPage) {
    frmMain& w = OpenWithStation();
    w.ShowRackPictures(0);
    w.optSlot(3).SetValue(true);
    ASSERT_TRUE(w.lbCurrentModule.Visible());
    w.fmeCAIConf.ZOrder(0);
    // Slot 3 goes away; a redraw clears it and the selection.
    ConfigReal[0].SlotPresent[3] = 0;
    w.ShowRackPictures(0);
    EXPECT_FALSE(w.optSlot(3).HasPicture());
    EXPECT_EQ(w.optSlot(3).ToolTipText(), "");
    for (int s = 0; s <= 8; ++s) EXPECT_FALSE(w.optSlot(s).Value());
    EXPECT_FALSE(w.lbCurrentModule.Visible());
    EXPECT_EQ(w.fmeNoModule.ZPosition(), 0);
    EXPECT_THROW(w.ShowRackPictures(1), rt::RuntimeError);
}

TEST_F(RackTest, EmptyRecordsDrawAnEmptyRack) {
    frmMain& w = Open();
    w.ShowRackPictures(0);
    for (int s = 0; s <= 7; ++s) EXPECT_FALSE(w.optSlot(s).HasPicture());
    for (int i = 0; i <= 1; ++i) {
        EXPECT_FALSE(w.optMCU(i).HasPicture());
        EXPECT_FALSE(w.optPower(i).HasPicture());
    }
    EXPECT_EQ(w.fmeController.Caption(), "");
}

TEST_F(RackTest, AMissingPictureLeavesOnlyItsPositionsBare) {
    frmMain& w = OpenWithStation();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QFile::copy(QDir(NX_ASSETS_DIR).filePath("Module_MCU.gif"),
                            dir.filePath("Module_MCU.gif")));
    // An unreadable power-module picture.
    QFile bad(dir.filePath("Module_PWM.gif"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture");
    bad.close();
    w.SetPictureFolder(dir.path().toStdString());
    w.ShowRackPictures(0);
    EXPECT_TRUE(w.optMCU(0).HasPicture());
    EXPECT_FALSE(w.optPower(0).HasPicture());
    EXPECT_FALSE(w.optSlot(0).HasPicture());
    // The names are still there, and the rest of the rack is drawn.
    EXPECT_EQ(w.optPower(0).ToolTipText(), "KB-PW1");
    EXPECT_EQ(w.optSlot(5).ToolTipText(), "KA-370");
    EXPECT_EQ(w.fmeController.Caption(), "GW-7010");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(RackTest, KindLabelsStackTheirLettersAndStayVisibleForUnlistedModels) {
    frmMain& w = Open();
    frmMain::SetModuleKindLabel("KB-510", w.lblIOMName(0));
    EXPECT_EQ(w.lblIOMName(0).Caption(), "R\r\nT\r\nD");
    EXPECT_TRUE(w.lblIOMName(0).Visible());
    EXPECT_TRUE(w.lblIOMName(0).AutoSize());
    w.SetModuleKindLabel(int16_t{1}, "KA-360");
    EXPECT_EQ(w.lblIOMName(1).Caption(), "");
    EXPECT_TRUE(w.lblIOMName(1).Visible());
    w.SetModuleKindLabel(int16_t{2}, "KD-612");
    EXPECT_EQ(w.lblIOMName(2).Caption(), "A\r\nI\r\nO");
}

TEST_F(RackTest, SlotClickChoosesTheSlotAndShowsItsName) {
    frmMain& w = OpenWithStation();
    w.ShowRackPictures(0);
    w.fmeCAOConf.ZOrder(0);
    w.optSlot(3).PerformClick();
    EXPECT_EQ(SelSlot, 3);
    EXPECT_TRUE(w.lbCurrentModule.Visible());
    EXPECT_EQ(w.lbCurrentModule.Caption(), "KB-540");
    // (Positions are whole pixels of 15 twips.)
    EXPECT_NEAR(w.lbCurrentModule.Left(), w.optSlot(3).Left() - 175, 15);
    EXPECT_EQ(w.fmeNoModule.ZPosition(), 0);
    // An empty slot hides the name but is chosen all the same.
    w.optSlot(6).PerformClick();
    EXPECT_EQ(SelSlot, 6);
    EXPECT_FALSE(w.lbCurrentModule.Visible());
}

TEST_F(RackTest, TheChosenButtonAloneIsDrawnHighlighted) {
    frmMain& w = OpenWithStation();
    w.ShowRackPictures(0);
    // The corner and the pixel inside it show the button's border and face.
    auto look = [](ui::OptionButton& b) {
        const QImage image = b.widget()->grab().toImage();
        return std::pair(image.pixel(0, 0), image.pixel(1, 1));
    };
    const auto plain = look(w.optSlot(3));
    w.optSlot(3).PerformClick();
    const auto chosen = look(w.optSlot(3));
    EXPECT_NE(chosen.first, plain.first);
    EXPECT_EQ(chosen.first, chosen.second);  // the chosen button's border is wider
    EXPECT_NE(plain.first, plain.second);
    w.optSlot(5).PerformClick();
    EXPECT_EQ(look(w.optSlot(3)), plain);
    EXPECT_EQ(look(w.optSlot(5)), chosen);
    EXPECT_EQ(look(w.optMCU(0)), plain);
    // The kind labels stand out on the dark backplane.
    const QPalette& label = w.lblIOMName(0).widget()->palette();
    EXPECT_GT(qGray(label.color(QPalette::WindowText).rgb()),
              qGray(w.fmeController_Q300.widget()->grab().toImage().pixel(30, 30)) + 100);
}

TEST_F(RackTest, PowerAndControllerClicksShowTheirNamesAndKeepTheSlot) {
    frmMain& w = OpenWithStation();
    w.ShowRackPictures(0);
    w.optSlot(5).PerformClick();
    w.optPower(1).PerformClick();
    EXPECT_EQ(w.lbCurrentModule.Caption(), "KB-PW2");
    EXPECT_NEAR(w.lbCurrentModule.Left(), w.optPower(1).Left() - 250, 15);
    EXPECT_EQ(w.fmeNoModule.ZPosition(), 0);
    EXPECT_EQ(SelSlot, 5);
    w.TxtNetID.SetText("7");
    w.optMCU(0).PerformClick();
    EXPECT_EQ(w.TxtNetID.Text(), "42");
    EXPECT_EQ(w.lbCurrentModule.Caption(), "GW-7010");
    // The first controller position stands at the rack's left edge: the
    // name stays inside the rack.
    EXPECT_EQ(w.lbCurrentModule.Left(), 0);
    EXPECT_EQ(SelSlot, 5);
    // An empty controller position still shows the Net ID.
    ConfigReal[0].NetID = 3;
    w.optMCU(1).PerformClick();
    EXPECT_EQ(w.TxtNetID.Text(), "3");
    EXPECT_EQ(w.lbCurrentModule.Caption(), "GW-7010");
}

TEST_F(RackTest, DisconnectResetLeavesSlotEightAndTheThirdPowerPositionAlone) {
    frmMain& w = OpenWithStation();
    w.ShowRackPictures(0);
    w.optSlot(8).SetToolTipText("KB-560");
    w.optPower(2).SetToolTipText("KB-PW3");
    w.SetModuleKindLabel(int16_t{0}, "KB-560");
    w.ClearRackPicture();
    EXPECT_FALSE(w.optSlot(0).HasPicture());
    EXPECT_EQ(w.optSlot(0).ToolTipText(), "");
    EXPECT_FALSE(w.lblIOMName(0).Visible());
    EXPECT_FALSE(w.optMCU(0).HasPicture());
    EXPECT_FALSE(w.optPower(1).HasPicture());
    EXPECT_EQ(w.optSlot(8).ToolTipText(), "KB-560");
    EXPECT_EQ(w.optPower(2).ToolTipText(), "KB-PW3");
}

}  // namespace
