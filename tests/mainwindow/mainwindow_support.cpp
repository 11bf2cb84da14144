#include "mainwindow_support.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "config/NodeConfig.h"

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

void MainWindowTest::SetUp() {
    ResetConfigRecordsForStartup();
    rt::SetDialogs(&dialogs);
}

void MainWindowTest::TearDown() {
    // Every dialog a test causes must be one it scripted an answer for.
    for (const auto& d : dialogs.unexpected) ADD_FAILURE() << "unexpected dialog: " << d.prompt;
    window.reset();
    rt::SetDialogs(nullptr);
    ResetConfigRecordsForStartup();
}

frmMain& MainWindowTest::Open() {
    window = std::make_unique<frmMain>();
    window->SetEndProgram([this] { ++programEnds; });
    return *window;
}

}  // namespace testsupport
