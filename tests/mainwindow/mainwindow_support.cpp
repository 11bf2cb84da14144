#include "mainwindow_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "platform/EventWait.h"
#include "platform/WinsockControl.h"
#include "tests/support/ConfigRecords.h"
#include "tests/support/LateAnswers.h"

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
    // What a handler left for the event loop (a deferred message box) runs
    // now, while this test's dialogs are installed.
    rt::DoEvents();
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
    return RetryWhenAnsweredLate(sim, nxsim::Channel::Text, dialogs, [this] {
        window->Toolbar.Buttons("Connect").PerformClick();
        return window->Toolbar.Buttons("Disconnect").Enabled();
    });
}

bool OnlineWindowTest::ConnectAndUpload() {
    if (!Connect()) return false;
    window->Toolbar.Buttons("Upload").PerformClick();
    return true;
}

frmAdvancedOptions& OnlineWindowTest::OpenAdvancedOptions(const std::function<void()>& beforeTry) {
    bool again = false;
    RetryWhenAnsweredLate(sim, nxsim::Channel::Modbus, dialogs, [&] {
        if (std::exchange(again, true)) {
            window->AdvancedOptionsWindow()->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        if (beforeTry) beforeTry();
        window->mnuAdvancedOptions_Click();
        return window->AdvancedOptionsWindow()->Frame_GW7010.Enabled();
    });
    return *window->AdvancedOptionsWindow();
}

}  // namespace testsupport
