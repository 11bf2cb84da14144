#include "platform/ui/toolbar.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

namespace {

using Style = ui::ToolbarButton::Style;

class ToolbarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        images.Add(QIcon());
        images.AddFile("/nonexistent/picture.png");
        tb.Create(&bar, &images);
        tb.AddButton("Connect", Style::Default, 1);
        tb.AddSeparator();
        auto& load = tb.AddButton("Load", Style::Dropdown, 2);
        tb.AddButtonMenu(load, "Default", "LoadDefault");
        tb.AddButtonMenu(load, "File", "LoadFile");
        tb.AddSeparator();
        tb.AddButton("Exit");
        tb.ButtonClick = [this](ui::ToolbarButton& b) { clicked.push_back(b.Key()); };
        tb.ButtonMenuClick = [this](ui::ButtonMenu& m) { menus.push_back(m.Key()); };
    }
    QToolBar bar;
    ui::ImageList images;
    ui::Toolbar tb;
    std::vector<std::string> clicked, menus;
};

TEST_F(ToolbarTest, ButtonsCountFromOneWithSeparators) {
    EXPECT_EQ(tb.ButtonCount(), 5);
    EXPECT_EQ(tb.Buttons(1).Key(), "Connect");
    EXPECT_EQ(tb.Buttons(2).ButtonStyle(), Style::Separator);
    EXPECT_EQ(tb.Buttons(2).Key(), "");
    EXPECT_EQ(tb.Buttons(2).widget(), nullptr);
    EXPECT_EQ(tb.Buttons(3).Key(), "Load");
    EXPECT_EQ(tb.Buttons(5).Key(), "Exit");
    EXPECT_EQ(tb.Buttons("Exit").Index(), 5);
    EXPECT_EQ(tb.Buttons(3).Caption(), "Load");
    EXPECT_THROW(tb.Buttons(0), rt::RuntimeError);
    EXPECT_THROW(tb.Buttons(6), rt::RuntimeError);
    EXPECT_THROW(tb.Buttons("Tread"), rt::RuntimeError);
}

TEST_F(ToolbarTest, ClickReportsTheButtonAndDisabledButtonsStaySilent) {
    tb.Buttons(5).PerformClick();
    tb.Buttons(1).SetEnabled(false);
    tb.Buttons(1).PerformClick();
    EXPECT_EQ(clicked, std::vector<std::string>{"Exit"});
    EXPECT_FALSE(tb.Buttons(1).Enabled());
    EXPECT_FALSE(tb.Buttons(1).widget()->isEnabled());
}

TEST_F(ToolbarTest, ButtonMenusReportTheirKey) {
    auto& load = tb.Buttons("Load");
    ASSERT_EQ(load.ButtonMenuCount(), 2);
    EXPECT_EQ(load.ButtonMenus(2).Text(), "File");
    EXPECT_EQ(&load.ButtonMenus(2).Parent(), &load);
    EXPECT_EQ(load.widget()->popupMode(), QToolButton::MenuButtonPopup);
    load.ButtonMenus(1).action()->trigger();
    EXPECT_EQ(menus, std::vector<std::string>{"LoadDefault"});
    EXPECT_TRUE(clicked.empty());  // the menu is not a click on the button
    load.ButtonMenus(1).SetText("Disable");
    EXPECT_EQ(load.ButtonMenus(1).action()->text(), "Disable");
    EXPECT_THROW(load.ButtonMenus(3), rt::RuntimeError);
    EXPECT_THROW(tb.AddButtonMenu(tb.Buttons(1), "x", "x"), rt::RuntimeError);
}

TEST_F(ToolbarTest, ImagesByIndexKeepTheirNumberingWhenAFileIsMissing) {
    EXPECT_EQ(images.Count(), 2);
    EXPECT_TRUE(images.Image(2).isNull());
    EXPECT_TRUE(images.Image(9).isNull());
    tb.Buttons(1).SetImage(2);
    EXPECT_EQ(tb.Buttons(1).Image(), 2);
}

TEST_F(ToolbarTest, ToolTipFallsBackToTheCaption) {
    EXPECT_EQ(tb.Buttons(3).ToolTipText(), "");
    EXPECT_EQ(tb.Buttons(3).widget()->toolTip(), "Load");
    tb.Buttons(3).SetToolTipText("Load configuration file (*.ini)");
    EXPECT_EQ(tb.Buttons(3).ToolTipText(), "Load configuration file (*.ini)");
}

TEST(MenuItem, OnlyTheHandlerChangesTheCheckMark) {
    QMenu menu;
    ui::MenuItem plain, marked;
    plain.Create(menu.addAction("MappingTable"));
    marked.Create(menu.addAction("EventLog"));
    int clicks = 0;
    plain.Click = [&] { ++clicks; };
    plain.PerformClick();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(plain.Checked());
    EXPECT_FALSE(plain.action()->isChecked());
    marked.SetChecked(true);
    marked.Click = [&] { marked.SetChecked(!marked.Checked()); };
    marked.PerformClick();
    EXPECT_FALSE(marked.Checked());
    EXPECT_FALSE(marked.action()->isChecked());
    marked.Click = nullptr;
    marked.SetChecked(true);
    marked.PerformClick();  // no handler: the mark stays
    EXPECT_TRUE(marked.action()->isChecked());
}

TEST(MenuItem, ADisabledItemRunsNothing) {
    QMenu menu;
    ui::MenuItem item;
    item.Create(menu.addAction("Tread"));
    int clicks = 0;
    item.Click = [&] { ++clicks; };
    item.SetEnabled(false);
    item.PerformClick();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(item.Caption(), "Tread");
}

}  // namespace
