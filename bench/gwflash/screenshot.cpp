// Draws gwflash's dialog into a PNG file, in the middle of a run: the tool's
// stand-in (which only logs its calls, in a temporary folder) has finished
// the erase and the dialog shows the bar at that step with its controls off.
//   gwflash_screenshot <out.png>
#include <stdlib.h>

#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

#include "gwflash/IspCommand.h"
#include "gwflash/ReflashDlg.h"
#include "platform/EventWait.h"
#include "platform/dialogs.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

class ShotDlg : public gwflash::CReflashDlg {
  public:
    int lastStep = -1;
    int OnStep(int step) override {
        lastStep = step;
        return CReflashDlg::OnStep(step);
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <out.png>\n", argv[0]);
        return 2;
    }
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString tool = dir.filePath(QString::fromLatin1(gwflash::kIspToolFileName));
    if (!QFile::link(QStringLiteral(GWFLASH_TOOL_STANDIN), tool)) {
        std::fprintf(stderr, "cannot place the tool's stand-in in %s\n", qPrintable(dir.path()));
        return 1;
    }
    setenv("GWFLASH_TOOL_LOG", qPrintable(dir.filePath(QStringLiteral("tool.log"))), 1);
    setenv("GWFLASH_TOOL_SLEEP_MS", "300", 1);
    rt::ScriptedDialogs dialogs;
    rt::SetDialogs(&dialogs);
    gwflash::InitMacTable();
    ShotDlg dlg;
    dlg.SetToolPath(tool.toStdString());
    dlg.show();
    dialogs.AnswerFile({true, "/home/user/firmware/GW-7010_v2.3.hex", "GW-7010_v2.3.hex"});
    dlg.OnBrowse();
    rt::WaitUntil([&] { return dlg.lastStep >= 3; }, 10000);
    QApplication::processEvents();
    const QPixmap shot = dlg.grab();
    const bool saved = shot.save(argv[1], "PNG");
    rt::WaitUntil([&] { return !dlg.Running(); }, 10000);
    rt::SetDialogs(nullptr);
    if (!saved) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
