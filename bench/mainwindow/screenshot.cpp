// Draws the main window as it stands after start-up into a PNG file:
//   nx4410_screenshot <out.png>
// Runs on the offscreen platform; the pictures are read from the program
// folder as NX-4410 reads them, so the program lies beside NX-4410.
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "mainwindow/frmMain.h"

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <out.png>\n", argv[0]);
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    frmMain window;
    window.show();
    QApplication::processEvents();
    const QPixmap shot = window.grab();
    if (!shot.save(argv[1], "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
