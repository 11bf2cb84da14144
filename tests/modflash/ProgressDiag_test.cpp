#include "modflash/ProgressDiag.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

using namespace modflash;

namespace {

// Lets the event loop run for a while (reports that might still arrive).
void RunEventsFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, ms);
}

}  // namespace

TEST(WaitBox, AShortWaitLastsItsTimeAndEndsWithTheBarFull) {
    ProgressDiag dlg;
    dlg.Arm(QStringLiteral("Waiting for switching to bootloader."), 100);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(dlg.DoModal(), 1);
    const qint64 took = t.elapsed();
    dlg.StopWorker();
    EXPECT_GE(took, 100);
    EXPECT_LT(took, 1000);
    EXPECT_TRUE(dlg.WorkerEnded());
    EXPECT_EQ(dlg.Bar()->minimum(), 1);
    EXPECT_EQ(dlg.Bar()->maximum(), 100);
    EXPECT_EQ(dlg.Bar()->value(), 100);
    EXPECT_EQ(dlg.Label()->text(), QStringLiteral("Waiting for switching to bootloader."));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Status & Progress"));
    EXPECT_GT(dlg.ReportsHandled(), 1);
}

TEST(WaitBox, ALongWaitEndsAtFiveSecondsWithNoLaterReport) {
    ProgressDiag dlg;
    dlg.Arm(QStringLiteral("Waiting for reseting module."), 7000);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(dlg.DoModal(), 1);
    const qint64 took = t.elapsed();
    // The worker would run on for two more seconds; it must be stopped.
    dlg.StopWorker();
    EXPECT_TRUE(dlg.WorkerEnded());
    EXPECT_LT(t.elapsed(), 6500);
    EXPECT_GE(took, 5000);
    EXPECT_LT(took, 6500);
    EXPECT_EQ(dlg.Bar()->maximum(), 7000);
    EXPECT_GE(dlg.Bar()->value(), 4800);
    EXPECT_LE(dlg.Bar()->value(), 5100);
    const int handled = dlg.ReportsHandled();
    RunEventsFor(100);
    EXPECT_EQ(dlg.ReportsAfterClose(), 0);
    EXPECT_EQ(dlg.ReportsHandled(), handled);
}

TEST(WaitBox, ShowWaitDialogReturnsOnlyAfterItsTime) {
    QElapsedTimer t;
    t.start();
    ShowWaitDialog(nullptr, QStringLiteral("Waiting for finish firmware update."), 300);
    EXPECT_GE(t.elapsed(), 300);
    EXPECT_LT(t.elapsed(), 2000);
    // A shorter limit ends a wait early, still with the worker stopped.
    t.restart();
    ShowWaitDialog(nullptr, QStringLiteral("x"), 3000, 200);
    EXPECT_GE(t.elapsed(), 200);
    EXPECT_LT(t.elapsed(), 1500);
}

TEST(WaitBox, EscAndEnterCloseItEarly) {
    for (const int key : {Qt::Key_Escape, Qt::Key_Return}) {
        ProgressDiag dlg;
        dlg.Arm(QStringLiteral("x"), 3000);
        QTimer::singleShot(100, &dlg, [&dlg, key] {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(&dlg, &press);
        });
        QElapsedTimer t;
        t.start();
        const int result = dlg.DoModal();
        dlg.StopWorker();
        EXPECT_LT(t.elapsed(), 2000) << key;
        EXPECT_EQ(result, key == Qt::Key_Escape ? 0 : 1);
        EXPECT_TRUE(dlg.WorkerEnded());
        EXPECT_EQ(dlg.ReportsAfterClose(), 0);
    }
}

TEST(WaitBox, TheWindowCloseRequestIsRefused) {
    ProgressDiag dlg;
    dlg.Arm(QStringLiteral("x"), 400);
    bool stillOpen = false;
    QTimer::singleShot(100, &dlg, [&] {
        // A close request as the title bar or Alt+F4 give it.
        stillOpen = !dlg.close() && dlg.isVisible();
    });
    QElapsedTimer t;
    t.start();
    dlg.DoModal();
    dlg.StopWorker();
    EXPECT_TRUE(stillOpen);
    EXPECT_GE(t.elapsed(), 400);
}
