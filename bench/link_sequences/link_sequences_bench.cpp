// Timing of the link sequences against the station stand-in on 127.0.0.1:
// a full Upload of the default station and a Download of all eight slots,
// each next to its floor (number of round trips x the bare round-trip time
// of the same kind of request, measured in the same run), and the CPU time
// the link's thread used meanwhile. A second pass lets the stand-in answer
// every request 5 ms late: a wait that spins would burn that time as CPU.
//
// Usage: link_sequences_bench [repetitions]   (default 30)
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigDefaults.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/Download.h"
#include "link/ModbusFrame.h"
#include "link/ModuleCommands.h"
#include "link/PendingRequest.h"
#include "link/Upload.h"
#include "platform/WinsockControl.h"
#include "platform/dialogs.h"
#include "sim/StationSim.h"

namespace {

class BenchWindow : public nxlink::LinkWindow {
  public:
    void ReportStatus(const std::string& t) override { last = t; }
    void SetStatusText(const std::string& t) override { last = t; }
    void ClearEventLog() override {}
    void ShowConnectedState() override {}
    void ShowDisconnectedState() override {}
    void SetConnectEnabled(bool) override {}
    std::string TxtCtlIPText() override { return "127.0.0.1"; }
    std::string TxtNetIDText() override { return "1"; }
    void SetTxtNetIDText(const std::string&) override {}
    bool Timer1Enabled() override { return false; }
    void SetTimer1Enabled(bool) override {}
    bool Timer2Enabled() override { return false; }
    void SetTimer2Enabled(bool) override {}  // no watchdog during the timing
    bool TimerEnableChecked() override { return false; }
    void FillMappingAndSummaryLists(int16_t) override {}
    void ClearRackPicture() override {}
    void SetOptPower0Selected(bool) override {}
    void RestoreStartupCaption() override {}
    void UnloadScope() override {}
    std::string last;
};

// CPU time of the calling thread (the window thread that runs the link).
double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string CpuModel() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown";
}

struct Timing {
    double medianMs = 0;
    double cpuPerRunMs = 0;
};

template <class F>
Timing Time(int reps, F run) {
    std::vector<double> ms;
    const double cpu0 = CpuMs();
    for (int i = 0; i < reps; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return {Median(ms), (CpuMs() - cpu0) / reps};
}

// Each repetition first times `trips` bare round trips, then the sequence,
// so that both see the same load of the machine.
struct Paired {
    Timing sequence;
    double floorMs = 0;      // median of the bare blocks
    double medianRatio = 0;  // median of sequence / bare block, per repetition
};

template <class Bare, class Seq>
Paired TimePaired(int reps, int trips, Bare bare, Seq sequence) {
    std::vector<double> seqMs, floorMs, ratio;
    double cpu = 0;
    for (int i = 0; i < reps; ++i) {
        QElapsedTimer t;
        t.start();
        for (int k = 0; k < trips; ++k) bare();
        const double f = static_cast<double>(t.nsecsElapsed()) / 1e6;
        const double cpu0 = CpuMs();
        t.restart();
        sequence();
        const double m = static_cast<double>(t.nsecsElapsed()) / 1e6;
        cpu += CpuMs() - cpu0;
        seqMs.push_back(m);
        floorMs.push_back(f);
        ratio.push_back(m / f);
    }
    return {{Median(seqMs), cpu / reps}, Median(floorMs), Median(ratio)};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    rt::ScriptedDialogs dialogs;
    rt::SetDialogs(&dialogs);
    BenchWindow window;
    nxlink::SetLinkWindow(&window);

    nxsim::StationSim sim;
    nxsim::SimOptions opt;
    opt.liveInputs = false;
    QString error;
    if (!sim.start(opt, &error)) {
        std::fprintf(stderr, "stand-in: %s\n", qPrintable(error));
        return 1;
    }
    nxlink::SetLinkPorts(sim.modbusPort(), sim.textPort());
    nxlink::mnuConnect_Click();
    rt::WinsockControl& ws = nxlink::WskTCP502();
    if (ws.State() != rt::sckConnected) {
        std::fprintf(stderr, "connect failed: %s\n", window.last.c_str());
        return 1;
    }

    // Round trips of one Upload and of one Download of all eight slots.
    int16_t node = 0;
    sim.clearLog();
    nxlink::UploadConfiguration(node);
    const int uploadTrips = static_cast<int>(sim.received(nxsim::Channel::Modbus).size());
    SetConfig_RealToSetting(0);
    auto markAll = [] {
        for (int s = 0; s < kStationSlots; ++s) ConfigSetting[0].DownloadPending(s) = kTrue;
    };
    markAll();
    sim.clearLog();
    nxlink::DownloadConfiguration(node);
    const int downloadTrips = static_cast<int>(sim.received(nxsim::Channel::Modbus).size());
    if (window.last != "Download data to NX-4410 finished." || !dialogs.shown.empty()) {
        std::fprintf(stderr, "download failed: %s\n", window.last.c_str());
        return 1;
    }

    const uint8_t unit = UnitIdFromNetId(ConfigReal[0].NetID);
    const ModbusFrame read = BuildReadRequest(unit, FcReadInputRegisters, 0x8020, 2);
    const Timing readTrip = Time(reps * 20, [&] {
        SendRequestAndWait(ws, KeyConfigRead(0x8020), read, CommandReplyTimeoutMs);
    });
    bool preOp = true;
    const Timing commandTrip = Time(reps * 20, [&] {
        const auto cmd = nxlink::NmtCommand(0, preOp ? nxlink::NmtToPreOp : nxlink::NmtToOp);
        preOp = !preOp;
        SendRequestAndWait(ws, KeyIomCommand, nxlink::BuildModuleCommandFrame(unit, cmd),
                           CommandReplyTimeoutMs);
    });
    auto bareRead = [&] {
        SendRequestAndWait(ws, KeyConfigRead(0x8020), read, CommandReplyTimeoutMs);
    };
    auto bareCommand = [&] {
        const auto cmd = nxlink::NmtCommand(0, preOp ? nxlink::NmtToPreOp : nxlink::NmtToOp);
        preOp = !preOp;
        SendRequestAndWait(ws, KeyIomCommand, nxlink::BuildModuleCommandFrame(unit, cmd),
                           CommandReplyTimeoutMs);
    };
    const Paired upload =
        TimePaired(reps, uploadTrips, bareRead, [&] { nxlink::UploadConfiguration(node); });
    const Paired download = TimePaired(reps, downloadTrips, bareCommand, [&] {
        markAll();
        nxlink::DownloadConfiguration(node);
    });
    if (!dialogs.shown.empty()) {
        std::fprintf(stderr, "a sequence failed: %s\n", dialogs.shown.front().prompt.c_str());
        return 1;
    }

    // The same with every reply 5 ms late.
    constexpr int kLateMs = 5;
    for (int fc : {4, 16}) {
        nxsim::FaultRule late;
        late.function = fc;
        late.kind = nxsim::FaultKind::Delay;
        late.delayMs = kLateMs;
        late.count = -1;
        sim.addFault(late);
    }
    const int lateReps = std::max(3, reps / 5);
    const Timing lateUpload = Time(lateReps, [&] { nxlink::UploadConfiguration(node); });
    const Timing lateDownload = Time(lateReps, [&] {
        markAll();
        nxlink::DownloadConfiguration(node);
    });
    sim.clearFaults();
    if (!dialogs.shown.empty()) {
        std::fprintf(stderr, "a late sequence failed: %s\n", dialogs.shown.front().prompt.c_str());
        return 1;
    }

    const double uploadFloor = uploadTrips * readTrip.medianMs;
    const double downloadFloor = downloadTrips * commandTrip.medianMs;
    std::printf("machine: %u hardware threads, %s\n", std::thread::hardware_concurrency(),
                CpuModel().c_str());
    std::printf("cpu: of the link's thread per run\n");
    std::printf("repetitions: %d sequences, %d bare round trips each kind\n", reps, reps * 20);
    std::printf("bare round trip, read (fc 4):     %8.3f ms median, cpu %6.3f ms\n",
                readTrip.medianMs, readTrip.cpuPerRunMs);
    std::printf("bare round trip, command (fc 16): %8.3f ms median, cpu %6.3f ms\n",
                commandTrip.medianMs, commandTrip.cpuPerRunMs);
    std::printf(
        "Upload:   %3d round trips, %8.3f ms median, floor %8.3f ms (paired %8.3f ms), "
        "ratio %.2f (paired median %.2f), cpu %.3f ms\n",
        uploadTrips, upload.sequence.medianMs, uploadFloor, upload.floorMs,
        upload.sequence.medianMs / uploadFloor, upload.medianRatio, upload.sequence.cpuPerRunMs);
    std::printf(
        "Download: %3d round trips, %8.3f ms median, floor %8.3f ms (paired %8.3f ms), "
        "ratio %.2f (paired median %.2f), cpu %.3f ms\n",
        downloadTrips, download.sequence.medianMs, downloadFloor, download.floorMs,
        download.sequence.medianMs / downloadFloor, download.medianRatio,
        download.sequence.cpuPerRunMs);
    std::printf("replies %d ms late (%d runs):\n", kLateMs, lateReps);
    std::printf("Upload:   %8.3f ms median, floor %8.3f ms, cpu of the link thread %.3f ms\n",
                lateUpload.medianMs, uploadTrips * (readTrip.medianMs + kLateMs),
                lateUpload.cpuPerRunMs);
    std::printf("Download: %8.3f ms median, floor %8.3f ms, cpu of the link thread %.3f ms\n",
                lateDownload.medianMs, downloadTrips * (commandTrip.medianMs + kLateMs),
                lateDownload.cpuPerRunMs);

    nxlink::mnuDisconnect_Click();
    sim.stop();
    nxlink::SetLinkWindow(nullptr);
    rt::SetDialogs(nullptr);
    return 0;
}
