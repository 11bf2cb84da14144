// The start-up floor: a bare Qt main window of the given size, shown and
// ended at its first paint that reaches the screen.
//   minimal_window <width> <height>
#include <QApplication>
#include <QMainWindow>
#include <cstdlib>

#include "common/first_paint.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(argc > 2 ? std::atoi(argv[1]) : 1046, argc > 2 ? std::atoi(argv[2]) : 730);
    bench::FirstPaintProbe probe(&window);
    window.show();
    return app.exec();
}
