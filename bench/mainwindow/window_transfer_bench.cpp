// Upload and Download clicked on the real main window's toolbar against the
// station stand-in on 127.0.0.1, next to their floor: a bare blocking socket
// that replays exactly the Modbus frames of the same click (taken from the
// stand-in's request log) against the same stand-in. Window and floor run
// interleaved, their order swapped every repetition, each timing 20 ms
// after the window last painted, as a user's click comes. A click is timed
// until the window has painted what it shows afterwards. Reports wall time
// and the processor time of the window thread per click.
//
// The platform is QT_QPA_PLATFORM's (offscreen when unset).
// Usage: nx4410_window_transfer_bench [repetitions, default 40]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/bench_stats.h"
#include "config/ConfigDefaults.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "mainwindow/frmMain.h"
#include "platform/EventWait.h"
#include "platform/dialogs.h"
#include "platform/ui/paintpacer.h"
#include "sim/StationSim.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

using Frames = std::vector<QByteArray>;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "window transfer bench: %s\n", what.c_str());
    std::exit(1);
}

// A blocking connection to the stand-in that sends each frame and reads its
// whole reply (cut by the MBAP length) before the next.
class BareReplay {
  public:
    explicit BareReplay(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) Fail("bare connect");
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~BareReplay() { ::close(fd_); }
    void Replay(const Frames& frames) {
        uint8_t reply[6 + 520];
        for (const QByteArray& f : frames) {
            if (::send(fd_, f.constData(), static_cast<size_t>(f.size()), MSG_NOSIGNAL) != f.size())
                Fail("bare send");
            Read(reply, 6);
            const size_t length = static_cast<size_t>(reply[4] << 8 | reply[5]);
            if (length > sizeof reply - 6) Fail("bare reply too long");
            Read(reply + 6, length);
        }
    }

  private:
    void Read(uint8_t* p, size_t n) {
        while (n > 0) {
            const ssize_t got = ::recv(fd_, p, n, 0);
            if (got <= 0) Fail("bare read");
            p += got;
            n -= static_cast<size_t>(got);
        }
    }
    int fd_;
};

void MarkAllSlotsForDownload() {
    SetConfig_RealToSetting(0);
    for (int s = 0; s < kStationSlots; ++s) ConfigSetting[0].DownloadPending(s) = kTrue;
}

// Returns to the event loop as the end of a click does, until the window has
// painted what the click left (the paint pacer delivers a paint it held back
// once the loop is about to block outside every wait).
void FinishClick(const ui::PaintPacer* pacer) {
    do {
        QTimer::singleShot(0, [] {});
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    } while (pacer != nullptr && pacer->Holding());
}

// Lets the window finish what is pending (paints included) before a timing,
// then lets the event loop idle for 20 ms: a user's click comes well after
// the window last painted, when its first status line is not paced by an
// earlier paint and the caches are no longer warm from the last timing.
void Settle(const ui::PaintPacer* pacer) {
    for (int i = 0; i < 3; ++i) FinishClick(pacer);
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 20) {
        QTimer::singleShot(static_cast<int>(20 - idle.elapsed()), [] {});
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int reps = argc > 1 ? std::max(2, std::atoi(argv[1])) : 40;
    const std::string platform = QApplication::platformName().toStdString();

    rt::ScriptedDialogs dialogs;
    rt::SetDialogs(&dialogs);
    nxsim::StationSim sim;
    nxsim::SimOptions opt;
    opt.liveInputs = false;  // the same replies for the window and the replay
    QString error;
    if (!sim.start(opt, &error)) Fail("stand-in: " + error.toStdString());
    nxlink::SetLinkPorts(sim.modbusPort(), sim.textPort());

    frmMain window;
    window.SetEndProgram([] {});
    window.show();
    const auto* pacer = window.findChild<ui::PaintPacer*>();
    rt::WaitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); },
                  5000);
    window.TxtCtlIP.SetText("127.0.0.1");
    window.Toolbar.Buttons("Connect").PerformClick();
    if (window.WskTCP502.State() != rt::sckConnected) Fail("Connect: " + window.txtStatus.Text());

    // One click of each, to bring the window online and take its frames.
    auto click = [&](const char* key) {
        if (std::string(key) == "Download") MarkAllSlotsForDownload();
        Settle(pacer);
        sim.clearLog();
        window.Toolbar.Buttons(key).PerformClick();
        window.Timer2.SetEnabled(false);  // no keep-alive between the timings
        Settle(pacer);
        if (!dialogs.shown.empty()) Fail(std::string(key) + ": " + dialogs.shown.front().prompt);
        if (!sim.received(nxsim::Channel::Text).isEmpty())
            Fail(std::string(key) + " used the text channel");
        Frames frames;
        for (const nxsim::LogEntry& e : sim.received(nxsim::Channel::Modbus))
            frames.push_back(e.bytes);
        return frames;
    };
    const Frames upload = click("Upload");
    if (window.txtStatus.Text() != "Upload data from NX-4410 finished.")
        Fail("Upload: " + window.txtStatus.Text());
    const Frames download = click("Download");
    if (window.txtStatus.Text() != "Download data to NX-4410 finished.")
        Fail("Download: " + window.txtStatus.Text());

    BareReplay bare(sim.modbusPort());
    std::printf("machine: %s; platform %s; %zu Upload frames, %zu Download frames\n",
                bench::CpuModel().c_str(), platform.c_str(), upload.size(), download.size());

    // "click": the whole toolbar command (for Upload also the rack pictures,
    // the tables, the slot reselection with its 1 ms pause); "sequence":
    // the window's own Upload or Download routine, whose status lines and
    // log rows the window shows. Both end when the window has painted.
    for (const char* key : {"Upload", "Download"}) {
        const bool isUpload = std::string(key) == "Upload";
        const Frames& frames = isUpload ? upload : download;
        for (const char* what : {"click", "sequence"}) {
            const bool wholeClick = std::string(what) == "click";
            std::vector<double> wallWin, wallBare, cpuWin, cpuBare;
            for (int r = 0; r < reps; ++r) {
                for (int turn = 0; turn < 2; ++turn) {
                    const bool windowTurn = (turn == 0) == (r % 2 == 0);
                    if (windowTurn && !isUpload) MarkAllSlotsForDownload();
                    Settle(pacer);
                    const double c0 = bench::ThreadCpuMs(), t0 = bench::NowMs();
                    if (windowTurn) {
                        if (wholeClick)
                            window.Toolbar.Buttons(key).PerformClick();
                        else if (isUpload)
                            window.UploadConfiguration(0);
                        else
                            window.DownloadConfiguration(0);
                        window.Timer2.SetEnabled(false);
                        FinishClick(pacer);
                    } else {
                        bare.Replay(frames);
                    }
                    const double t1 = bench::NowMs(), c1 = bench::ThreadCpuMs();
                    (windowTurn ? wallWin : wallBare).push_back(t1 - t0);
                    (windowTurn ? cpuWin : cpuBare).push_back(c1 - c0);
                }
            }
            if (!dialogs.shown.empty())
                Fail(std::string(key) + ": " + dialogs.shown.front().prompt);
            const std::string name = std::string(key) + " " + what + " (" + platform + ")";
            const std::string note =
                std::to_string(frames.size()) + " frames, " + std::to_string(reps) + " reps";
            bench::PrintRow(name + ", wall", "ms", "frmMain", wallWin, "bare replay", wallBare,
                            note);
            bench::PrintRow(name + ", processor", "ms", "frmMain", cpuWin, "bare replay", cpuBare,
                            note);
        }
    }

    window.Toolbar.Buttons("Disconnect").PerformClick();
    sim.stop();
    rt::SetDialogs(nullptr);
    return 0;
}
