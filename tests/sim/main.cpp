// Test program of the station stand-in: the stand-in's servers need a Qt
// application object; the test clients speak raw bytes with blocking sockets.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
