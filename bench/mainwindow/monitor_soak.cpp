// The live monitor for a while against the station stand-in, every reply
// held back by a delay: what a user would see on a slow link. Prints the
// message boxes shown, the monitor's requests per second on the wire, how
// long the DO value column takes to follow a coil that a second client
// switches, and a digest of the first request frames, so that two builds'
// wires can be compared.
//
//   nx4410_monitor_soak <seconds> <reply delay ms>
#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench/common/online_window.h"
#include "link/Connection.h"
#include "mainwindow/frmMain.h"
#include "platform/EventWait.h"
#include "sim/StationSim.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

constexpr int kDigestFrames = 400;

// A second client's function-5 write of `coil`.
void WriteCoil(quint16 port, int coil, bool on) {
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(2000)) return;
    const char frame[] = {
        0, 1, 0, 0, 0, 6, 1, 5, 0, static_cast<char>(coil), static_cast<char>(on ? 0xFF : 0), 0};
    s.write(frame, sizeof frame);
    s.waitForBytesWritten(2000);
    s.waitForReadyRead(2000);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <seconds> <reply delay ms>\n", argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    const int delayMs = std::atoi(argv[2]);
    QApplication app(argc, argv);
    rt::ScriptedDialogs dialogs;
    rt::SetDialogs(&dialogs);
    nxsim::SimOptions options;
    options.liveInputs = false;
    nxsim::StationSim sim;
    frmMain window;
    window.show();
    if (!StartStationAndGoOnline(sim, options, window)) return 1;
    if (delayMs > 0) {
        nxsim::FaultRule late;
        late.kind = nxsim::FaultKind::Delay;
        late.delayMs = delayMs;
        late.count = -1;
        sim.addFault(late);
    }
    sim.clearLog();
    window.Toolbar.Buttons("Monitor").PerformClick();

    // The coil of the digital output module's first channel (address 32)
    // switched by another client at each third of the run.
    const int coil = 32;
    QElapsedTimer clock;
    clock.start();
    std::vector<double> follows;
    for (int third = 1; third <= 2; ++third) {
        const qint64 at = static_cast<qint64>(third) * seconds * 1000 / 3;
        rt::WaitUntil([] { return false; },
                      static_cast<uint32_t>(std::max<qint64>(0, at - clock.elapsed())));
        const bool on = !sim.coil(coil);
        WriteCoil(sim.modbusPort(), coil, on);
        QElapsedTimer t;
        t.start();
        const char* want = on ? "ON" : "OFF";
        const bool shown = rt::WaitUntil(
            [&] { return window.lvwDOMapping.FindItem("032 [020]")->SubItem(4) == want; }, 20000);
        follows.push_back(shown ? static_cast<double>(t.elapsed()) / 1000 : -1);
    }
    rt::WaitUntil([] { return false; },
                  static_cast<uint32_t>(std::max<qint64>(0, seconds * 1000 - clock.elapsed())));
    const double ran = static_cast<double>(clock.elapsed()) / 1000;
    window.Toolbar.ButtonMenuClick(window.Toolbar.Buttons("Monitor").ButtonMenus(1));

    int requests = 0;
    QCryptographicHash digest(QCryptographicHash::Sha256);
    for (const nxsim::LogEntry& e : sim.received(nxsim::Channel::Modbus)) {
        if (e.connection != 1) continue;  // the window's own connection
        if (++requests <= kDigestFrames) digest.addData(e.bytes);
    }
    std::printf("reply delay %d ms, %.1f s of monitoring\n", delayMs, ran);
    std::printf("message boxes: %zu\n", dialogs.shown.size());
    for (const auto& s : dialogs.shown) std::printf("  box: %s\n", s.prompt.c_str());
    std::printf("monitor requests: %d (%.2f per second)\n", requests, requests / ran);
    for (double f : follows)
        std::printf("DO 032 followed the coil after %.1f s%s\n", f, f < 0 ? " (never)" : "");
    std::printf("digest of the first %d request frames: %s\n", kDigestFrames,
                digest.result().toHex().left(16).constData());
    return 0;
}
