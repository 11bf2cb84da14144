// Test program of modflash: window tests run on the offscreen platform, and
// the profile lands in a temporary configuration folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QTemporaryDir>

#include "modflash/FlashProtocol.h"
#include "platform/ui/application.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    ui::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("modflash"));
    modflash::InitModelNameTable();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
