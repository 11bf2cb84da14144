// Processor time of the NX-4410 main window while it monitors a station:
// starts the station stand-in nxsim as a process of its own (its default
// station: eight modules in slots 0 to 7, with moving inputs), shows the real
// main window, connects, uploads, switches the monitor on at the default
// interval and lets it run. Prints the processor time of this process (user
// and system, from getrusage) as a share of one core over the wall time, and
// the Modbus replies the window handled per second (one per request that was
// answered). Run it under Xvfb for the real window system:
//   xvfb-run -a nx4410_monitor_bench [seconds, default 60]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "link/Connection.h"
#include "mainwindow/frmMain.h"
#include "platform/WinsockControl.h"

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Starts nxsim on free loopback ports and reads the two ports it prints.
pid_t StartStation(int* modbusPort, int* textPort) {
    int out[2];
    if (pipe(out) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(NXSIM_PROGRAM, NXSIM_PROGRAM, "--modbus-port", "0", "--text-port", "0",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string seen;
    char buf[256];
    ssize_t n;
    while ((*modbusPort == 0 || *textPort == 0) && (n = read(out[0], buf, sizeof buf)) > 0) {
        seen.append(buf, static_cast<size_t>(n));
        for (auto [key, port] : {std::pair{"modbus-port=", modbusPort}, {"text-port=", textPort}}) {
            const size_t at = seen.find(key);
            const size_t end = at == std::string::npos ? at : seen.find('\n', at);
            if (end != std::string::npos) *port = std::atoi(seen.c_str() + at + std::strlen(key));
        }
    }
    close(out[0]);
    return pid;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    QApplication app(argc, argv);
    int modbusPort = 0, textPort = 0;
    const pid_t station = StartStation(&modbusPort, &textPort);
    if (station < 0 || modbusPort == 0 || textPort == 0) {
        std::fprintf(stderr, "nxsim did not start\n");
        return 1;
    }
    nxlink::SetLinkPorts(static_cast<uint16_t>(modbusPort), static_cast<uint16_t>(textPort));

    frmMain window;
    window.show();
    window.TxtCtlIP.SetText("127.0.0.1");
    window.Toolbar.Buttons("Connect").PerformClick();
    window.Toolbar.Buttons("Upload").PerformClick();
    // Counted on the socket: every arrival of reply bytes.
    long replies = 0;
    QObject::connect(&window.WskTCP502, &rt::WinsockControl::DataArrival, &app,
                     [&replies](qint64) { ++replies; });
    window.Toolbar.Buttons("Monitor").PerformClick();
    int rc = 0;
    if (!window.mnuTimerEnable.Checked()) {
        std::fprintf(stderr, "the monitor did not switch on\n");
        rc = 1;
    } else {
        const double cpuBefore = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        // Straight out of the event loop: a quit request would ask the window
        // whether to close.
        QTimer::singleShot(seconds * 1000, &app, [] { QCoreApplication::exit(0); });
        app.exec();
        const double cpu = CpuSeconds() - cpuBefore;
        const double elapsed = static_cast<double>(wall.elapsed()) / 1000;
        std::printf("platform %s, tick interval %d ms, %.1f s monitored\n",
                    qPrintable(QGuiApplication::platformName()), window.Timer1.Interval(), elapsed);
        std::printf("processor time %.3f s = %.2f %% of one core\n", cpu, 100 * cpu / elapsed);
        std::printf("Modbus reply arrivals: %ld = %.1f per second\n", replies,
                    static_cast<double>(replies) / elapsed);
        if (!window.mnuTimerEnable.Checked()) {
            std::fprintf(stderr, "the monitor switched off while it ran\n");
            rc = 1;
        }
    }
    kill(station, SIGTERM);
    waitpid(station, nullptr, 0);
    return rc;
}
