#include "modflash/ProgressDiag.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "platform/EventWait.h"

using namespace modflash;

namespace {

// The box's message and bar, as the user sees them.
QLabel* Label(const ProgressDiag& dlg) {
    return dlg.findChild<QLabel*>(QString::number(ProgressDiag::IDC_LABEL));
}
QProgressBar* Bar(const ProgressDiag& dlg) {
    return dlg.findChild<QProgressBar*>(QString::number(ProgressDiag::IDC_BAR));
}

// Counts the bar's moves: each report of the worker that reached the box.
struct BarMoves {
    explicit BarMoves(const ProgressDiag& dlg) {
        QObject::connect(Bar(dlg), &QProgressBar::valueChanged, [this] { ++count; });
    }
    int count = 0;
};

// Lets the event loop run for a while (reports that might still arrive).
void RunEventsFor(uint32_t ms) {
    rt::WaitUntil([] { return false; }, ms);
}

}  // namespace

TEST(WaitBox, AShortWaitLastsItsTimeAndEndsWithTheBarFull) {
    ProgressDiag dlg;
    const BarMoves moves(dlg);
    dlg.Arm(QStringLiteral("Waiting for switching to bootloader."), 100);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(dlg.DoModal(), 1);
    const qint64 took = t.elapsed();
    dlg.StopWorker();
    // It lasted its time and ended by its worker, long before the 5000 ms limit.
    EXPECT_GE(took, 100);
    EXPECT_LT(took, 2500);
    EXPECT_EQ(Bar(dlg)->minimum(), 1);
    EXPECT_EQ(Bar(dlg)->maximum(), 100);
    EXPECT_EQ(Bar(dlg)->value(), 100);
    EXPECT_EQ(Label(dlg)->text(), QStringLiteral("Waiting for switching to bootloader."));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Status & Progress"));
    // From 1 to 100; on a loaded machine the reports between may all come
    // when the time is up already, so only the start and the end are sure.
    EXPECT_GE(moves.count, 2);
}

TEST(WaitBox, ALongWaitEndsAtFiveSecondsWithNoLaterReport) {
    ProgressDiag dlg;
    const BarMoves moves(dlg);
    dlg.Arm(QStringLiteral("Waiting for reseting module."), 7000);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(dlg.DoModal(), 1);
    const qint64 took = t.elapsed();
    // The worker would run on for two more seconds; it must be stopped, and
    // the box ends at its limit, not at the 7000 ms it was given.
    dlg.StopWorker();
    EXPECT_LT(t.elapsed(), 6500);
    EXPECT_GE(took, 5000);
    EXPECT_LT(took, 6500);
    EXPECT_EQ(Bar(dlg)->maximum(), 7000);
    // The bar followed the time up to the limit and stopped short of full.
    EXPECT_GE(Bar(dlg)->value(), 4000);
    EXPECT_LT(Bar(dlg)->value(), 7000);
    const int shown = Bar(dlg)->value();
    const int moved = moves.count;
    RunEventsFor(100);
    EXPECT_EQ(Bar(dlg)->value(), shown);
    EXPECT_EQ(moves.count, moved);
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
        // Closed by the key, before the box's own 3000 ms.
        EXPECT_LT(t.elapsed(), 2000) << key;
        EXPECT_EQ(result, key == Qt::Key_Escape ? 0 : 1);
        const int shown = Bar(dlg)->value();
        RunEventsFor(50);
        EXPECT_EQ(Bar(dlg)->value(), shown) << key;
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
