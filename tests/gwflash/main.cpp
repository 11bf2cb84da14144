// Test program of gwflash: window tests run on the offscreen platform.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

#include "gwflash/ReflashDlg.h"
#include "platform/ui/application.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ui::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("gwflash"));
    gwflash::InitMacTable();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
