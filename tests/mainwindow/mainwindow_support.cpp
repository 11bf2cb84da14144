#include "mainwindow_support.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "platform/WinsockControl.h"
#include "tests/support/ConfigRecords.h"

namespace testsupport {

bool WaitFor(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer wake;
        wake.setSingleShot(true);
        QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
        wake.start(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return done();
}

std::string StartCaptionText() {
    return std::string(" NX-4410 Utility  ver ") + NX_PROJECT_VERSION + " ";
}

void MainWindowTest::SetUp() {
    ResetConfigRecordsForStartup();
    rt::SetDialogs(&dialogs);
}

void MainWindowTest::TearDown() {
    // Every dialog a test causes must be one it scripted an answer for.
    for (const auto& d : dialogs.unexpected) ADD_FAILURE() << "unexpected dialog: " << d.prompt;
    window.reset();
    // The two connections live as long as the program: leave them closed
    // and idle for the next test.
    for (rt::WinsockControl* ws : {&nxlink::WskTCP502(), &nxlink::WskTCP10K()}) {
        ws->Close();
        ws->SetTag("");
    }
    nxlink::SetLinkPorts(nxlink::kModbusPort, nxlink::kTextPort);
    rt::SetDialogs(nullptr);
    ResetConfigRecordsForStartup();
}

frmMain& MainWindowTest::Open() {
    window = std::make_unique<frmMain>();
    window->SetEndProgram([this] { ++programEnds; });
    window->SetPictureFolder(NX_ASSETS_DIR);
    return *window;
}

void OnlineWindowTest::TearDown() {
    MainWindowTest::TearDown();
    sim.stop();
}

frmMain& OnlineWindowTest::Start() {
    QString error;
    EXPECT_TRUE(sim.start(options, &error)) << error.toStdString();
    nxlink::SetLinkPorts(sim.modbusPort(), sim.textPort());
    frmMain& w = Open();
    w.TxtCtlIP.SetText("127.0.0.1");
    return w;
}

bool OnlineWindowTest::Connect() {
    // Connect's questions wait 200 ms for their answers; on a loaded machine
    // the stand-in's thread may get no time within that. A try that failed
    // is made again, its one box forgotten.
    for (int t = 1;; ++t) {
        const rt::ScriptedDialogs::Mark mark = dialogs.Here();
        window->Toolbar.Buttons("Connect").PerformClick();
        if (window->Toolbar.Buttons("Disconnect").Enabled()) return true;
        if (t == 10) return false;
        dialogs.ForgetSince(mark);
    }
}

bool OnlineWindowTest::ConnectAndUpload() {
    if (!Connect()) return false;
    window->Toolbar.Buttons("Upload").PerformClick();
    return true;
}

}  // namespace testsupport
