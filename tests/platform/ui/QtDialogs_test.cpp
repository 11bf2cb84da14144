#include "platform/ui/QtDialogs.h"

#include <gtest/gtest.h>

#include <QMessageBox>

namespace {

TEST(QtFileFilter, ConvertsBarSeparatedPairs) {
    EXPECT_EQ(ui::QtFileFilter("Config Files (*.ini)|*.ini|All Files (*.*)|*.*"),
              "Config Files (*.ini);;All Files (*)");
    EXPECT_EQ(ui::QtFileFilter("Text|*.txt"), "Text (*.txt)");
    EXPECT_EQ(ui::QtFileFilter("Logs|*.txt;*.log"), "Logs (*.txt *.log)");
    EXPECT_EQ(ui::QtFileFilter(""), "");
    // A description without its pattern is left out.
    EXPECT_EQ(ui::QtFileFilter("Firmware (*.fw)|*.fw|Broken"), "Firmware (*.fw)");
    EXPECT_EQ(ui::QtFileFilter("|*.hex"), "*.hex (*.hex)");
}

TEST(LookOfStyle, ButtonsAndIconFromTheStyle) {
    auto look = ui::LookOfStyle(rt::vbYesNo);
    EXPECT_EQ(look.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(look.icon, QMessageBox::NoIcon);
    look = ui::LookOfStyle(rt::vbOKOnly | rt::vbCritical);
    EXPECT_EQ(look.buttons, QMessageBox::Ok);
    EXPECT_EQ(look.icon, QMessageBox::Critical);
    look = ui::LookOfStyle(rt::vbYesNoCancel | rt::vbQuestion);
    EXPECT_EQ(look.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(look.icon, QMessageBox::Question);
    EXPECT_EQ(ui::LookOfStyle(rt::vbExclamation).icon, QMessageBox::Warning);
    EXPECT_EQ(ui::LookOfStyle(rt::vbOKCancel | rt::vbInformation).icon, QMessageBox::Information);
}

}  // namespace
