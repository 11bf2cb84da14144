// The HART console after a Send the station never answers: the real main
// window, offscreen, online against the station stand-in, its HART console
// opened from the window. The stand-in swallows the mailbox write (function
// 16 at 0x0200) of the Send; then Update is clicked, and the tool prints how
// long each click's handler took, how many milliseconds after the Update
// click its read of the reply area (function 4 at 0x1400 + 0x100 * slot)
// reached the station, and what the receive list shows. The same with the
// Send answered, for comparison.
//
//   nx4410_hart_update_late [<slot> [<ms from Send to Update> [monitor]]]
//
// Slot 2 and 0 ms without arguments; `monitor` switches the monitor on
// before the Send.
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/common/online_window.h"
#include "hart/frmHart.h"
#include "mainwindow/frmMain.h"
#include "platform/EventWait.h"
#include "sim/StationSim.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

// How long the tool waits for the Update's read to reach the station.
constexpr int kReadWaitMs = 30000;

struct Outcome {
    qint64 sendHandlerMs = 0, updateHandlerMs = 0;
    qint64 readAfterMs = -1;  // from the Update click to its read at the station; -1: never
    std::vector<std::string> lines;
    std::vector<std::string> boxes;
    bool online = false;
};

Outcome Run(rt::ScriptedDialogs& dialogs, int slot, int gapMs, bool monitor, bool swallowSend) {
    Outcome o;
    nxsim::StationSim sim;
    nxsim::SimOptions options;
    options.liveInputs = false;
    frmMain window;
    window.show();
    if (!StartStationAndGoOnline(sim, options, window)) return o;
    o.online = true;
    const rt::ScriptedDialogs::Mark mark = dialogs.Here();
    if (monitor) window.Toolbar.Buttons("Monitor").PerformClick();
    window.mnuHart_Click();
    frmHart& hart = *window.HartWindow();
    hart.CboSend_Slot.SetListIndex(slot);
    hart.CboRec_Slot.SetListIndex(slot);
    if (swallowSend) {
        nxsim::FaultRule lost;
        lost.function = 16;
        lost.addressFirst = 0x0200;
        lost.kind = nxsim::FaultKind::NoReply;
        sim.addFault(lost);
    }
    // The read is looked for whenever the stand-in logs a frame: its
    // signal comes to this thread as an event, which ends the wait below.
    const int readAddress = 0x1400 + 0x100 * slot;
    qint64 updateAt = -1;
    QObject::connect(&sim, &nxsim::StationSim::frameLogged, &window, [&](quint64 seq) {
        if (updateAt < 0 || o.readAfterMs >= 0) return;
        for (const nxsim::LogEntry& e : sim.logSince(seq - 1))
            if (e.direction == nxsim::Direction::Received && e.function == 4 &&
                e.address == readAddress && e.msecs >= updateAt)
                o.readAfterMs = e.msecs - updateAt;
    });
    QElapsedTimer handler;
    handler.start();
    hart.cmdSend.PerformClick();
    o.sendHandlerMs = handler.elapsed();
    if (gapMs > 0) rt::WaitUntil([] { return false; }, static_cast<uint32_t>(gapMs));
    updateAt = sim.nowMs();
    handler.restart();
    hart.cmdUpdate.PerformClick();
    o.updateHandlerMs = handler.elapsed();
    rt::WaitUntil([&] { return o.readAfterMs >= 0; }, kReadWaitMs);
    for (int i = 0; i < hart.LstReceive.ListCount(); ++i)
        o.lines.push_back(hart.LstReceive.List(i));
    for (size_t i = mark.shown; i < dialogs.shown.size(); ++i)
        o.boxes.push_back(dialogs.shown[i].prompt);
    window.Timer1.SetEnabled(false);
    window.Timer2.SetEnabled(false);
    return o;
}

void Print(const char* title, const Outcome& o) {
    std::printf("%s\n", title);
    if (!o.online) {
        std::printf("  the window did not go online\n");
        return;
    }
    std::printf("  Send's handler took %lld ms, Update's %lld ms\n",
                static_cast<long long>(o.sendHandlerMs), static_cast<long long>(o.updateHandlerMs));
    if (o.readAfterMs >= 0)
        std::printf("  Update's read reached the station %lld ms after the click\n",
                    static_cast<long long>(o.readAfterMs));
    else
        std::printf("  Update's read never reached the station (waited %d ms)\n", kReadWaitMs);
    std::printf("  receive list: %zu lines%s\n", o.lines.size(), o.lines.empty() ? "" : ":");
    for (const std::string& l : o.lines) std::printf("    %s\n", l.c_str());
    std::printf("  message boxes: %zu\n", o.boxes.size());
    for (const std::string& b : o.boxes) std::printf("    box: %s\n", b.c_str());
}

}  // namespace

int main(int argc, char* argv[]) {
    const int slot = argc > 1 ? std::atoi(argv[1]) : 2;
    const int gapMs = argc > 2 ? std::atoi(argv[2]) : 0;
    const bool monitor = argc > 3 && std::strcmp(argv[3], "monitor") == 0;
    if (slot < 0 || slot > 7 || gapMs < 0 || argc > 4) {
        std::fprintf(stderr, "usage: %s [<slot 0..7> [<ms from Send to Update> [monitor]]]\n",
                     argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    rt::ScriptedDialogs dialogs;
    rt::SetDialogs(&dialogs);
    std::printf("slot %d, Update %d ms after Send%s\n", slot, gapMs, monitor ? ", monitor on" : "");
    Print("Send answered:", Run(dialogs, slot, gapMs, monitor, false));
    Print("Send never answered:", Run(dialogs, slot, gapMs, monitor, true));
    return 0;
}
