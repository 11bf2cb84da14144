// Main of the test programs with windows: offscreen windows, one QApplication
// made before any test, with the program's safety net for errors that
// escape an event handler (test discovery runs the program at build time too).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/ui/application.h"

int main(int argc, char* argv[]) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ui::Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
