// Times an upgrade of a 64 KiB image against the station stand-in on
// loopback, with the program's own times, and splits the total into the
// timed waits, the fixed pauses and the rest (requests and status polls).
// Run: build/bench/modflash_upgrade_timing [image bytes]
#include <stdlib.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>

#include "modflash/FlashProtocol.h"
#include "modflash/ReflashDlg.h"
#include "platform/dialogs.h"
#include "sim/StationSim.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

class TimedDlg : public modflash::CReflashDlg {
  public:
    qint64 waitMs = 0;
    int waits = 0;

  protected:
    void ShowWait(const QString& message, uint32_t durationMs) override {
        QElapsedTimer t;
        t.start();
        CReflashDlg::ShowWait(message, durationMs);
        waitMs += t.elapsed();
        ++waits;
    }
};

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    modflash::InitModelNameTable();
    const int size = argc > 1 ? atoi(argv[1]) : 64 * 1024;

    nxsim::StationSim sim;
    QString error;
    if (!sim.start(nxsim::SimOptions(), &error)) {
        std::fprintf(stderr, "stand-in: %s\n", qPrintable(error));
        return 1;
    }
    sim.setScrambleTable(modflash::FwScrambleTable);

    QTemporaryDir dir;
    QByteArray file(16, '\0');
    file[2] = 0x4A;  // KB-521, slot 2 of the stand-in
    for (int i = 0; i < size; ++i) file.append(static_cast<char>((i * 131 + 7) & 0xFF));
    const QString path = dir.filePath(QStringLiteral("image.fw"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(file);
    f.close();

    rt::ScriptedDialogs dialogs;
    rt::SetDialogs(&dialogs);
    TimedDlg dlg;
    dlg.SetStationPort(sim.modbusPort());
    dlg.findChild<QLineEdit*>(QStringLiteral("1012"))->setText(QStringLiteral("127.0.0.1"));
    dlg.OnConnect();
    dlg.findChild<QComboBox*>(QStringLiteral("1010"))->setCurrentIndex(2);
    dlg.OnSelchangeSlot();
    sim.clearLog();

    dialogs.AnswerFile({true, path.toStdString(), "image.fw"});
    dialogs.AnswerMsgBox(rt::vbOK);
    QElapsedTimer total;
    total.start();
    dlg.OnBrowse();
    const qint64 totalMs = total.elapsed();
    rt::SetDialogs(nullptr);

    const int chunks = (size + 127) / 128;
    int statusReads = 0;
    for (const auto& e : sim.received(nxsim::Channel::Modbus))
        statusReads += e.function == 4 && e.address == 0x1600;
    const modflash::ModflashTiming& t = dlg.Timing();
    const qint64 pausesMs = t.initDownloadPauseMs + static_cast<qint64>(chunks) * t.chunkPauseMs +
                            static_cast<qint64>(statusReads - chunks) * t.statusPollMs;
    const bool imageOk = sim.firmware(2).image == file.mid(16);
    std::printf("result: %s (image %s)\n", dialogs.shown.back().prompt.c_str(),
                imageOk ? "received intact" : "DIFFERS");
    std::printf("image %d bytes, %d chunks, %d status reads\n", size, chunks, statusReads);
    std::printf("total            %8lld ms\n", static_cast<long long>(totalMs));
    std::printf("timed waits (%d) %8lld ms  (%.1f %%)\n", dlg.waits,
                static_cast<long long>(dlg.waitMs), 100.0 * dlg.waitMs / totalMs);
    std::printf("fixed pauses     %8lld ms  (%.1f %%)\n", static_cast<long long>(pausesMs),
                100.0 * pausesMs / totalMs);
    const qint64 rest = totalMs - dlg.waitMs - pausesMs;
    std::printf("requests + rest  %8lld ms  (%.1f %%, %.2f ms per chunk)\n",
                static_cast<long long>(rest), 100.0 * rest / totalMs,
                static_cast<double>(rest) / chunks);
    sim.stop();
    return imageOk ? 0 : 1;
}
