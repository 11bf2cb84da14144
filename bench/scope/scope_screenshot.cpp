// Draws the trend window into a PNG file while it plots live channels of
// the station stand-in on 127.0.0.1: Connect and Upload, Tread, a few
// digital and analog channels added, sampling every 500 ms for a while.
//   scope_screenshot <out.png>
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "bench/common/online_window.h"
#include "link/Connection.h"
#include "mainwindow/frmMain.h"
#include "platform/EventWait.h"
#include "scope/frmEditScopeRange.h"
#include "sim/StationSim.h"

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <out.png>\n", argv[0]);
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    nxsim::StationSim sim;
    frmMain window;
    window.show();
    if (!StartStationAndGoOnline(sim, nxsim::SimOptions(), window)) return 1;
    window.Toolbar.Buttons("Tread").PerformClick();
    scope::frmScope& s = window.ScopeWindow();
    s.resize(1280, 720);
    // Three digital inputs, three digital outputs, then the analog inputs.
    for (int i = 0; i < 3; ++i) s.cmdAdd.PerformClick();
    s.cmbIO.SetListIndex(1);
    for (int i = 0; i < 3; ++i) s.cmdAdd.PerformClick();
    s.cmbIO.SetListIndex(2);
    for (int i = 0; i < 6; ++i) s.cmdAdd.PerformClick();
    s.cmdAxis.PerformClick();
    scope::frmEditScopeRange& range = s.EditScopeRange();
    range.txtTimerInterval.SetText("500");
    range.txtXspan.SetText("0.5");
    range.txtYMax.SetText(argc > 2 ? argv[2] : "10");
    range.txtYMin.SetText(argc > 3 ? argv[3] : "-10");
    range.cmdGo.PerformClick();
    range.cmdExit.PerformClick();
    rt::WaitUntil([] { return false; }, 20000);
    QApplication::processEvents();
    if (!s.grab().save(argv[1], "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
