#include "platform/ui/paintpacer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPaintEvent>
#include <QTimer>
#include <QWindow>

#include "platform/EventWait.h"

namespace {

// A label that records how often and with which text it was painted.
class CountingLabel : public QLabel {
  public:
    using QLabel::QLabel;
    int paints = 0;
    QString painted;

  protected:
    void paintEvent(QPaintEvent* e) override {
        ++paints;
        painted = text();
        QLabel::paintEvent(e);
    }
};

// Runs the application's event loop (outside every wait) until `done`.
bool LoopUntil(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return done();
}

// A pacer whose interval never ends within a test: what it holds back is
// delivered only when the event loop blocks outside every wait.
class PaintPacerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.resize(200, 60);
        label = new CountingLabel("start", &window);
        label->resize(200, 60);
        pacer = new ui::PaintPacer(&window, 3600 * 1000);
        window.show();
        ASSERT_TRUE(LoopUntil([&] { return label->paints > 0 && !pacer->Holding(); }, 5000));
    }
    QWidget window;
    CountingLabel* label = nullptr;
    ui::PaintPacer* pacer = nullptr;
};

TEST_F(PaintPacerTest, OutsideWaitsEveryUpdateIsPaintedAtOnce) {
    for (const char* text : {"one", "two", "three"}) {
        const int before = label->paints;
        label->setText(text);
        EXPECT_TRUE(LoopUntil([&] { return label->paints > before; }, 2000)) << text;
        EXPECT_EQ(label->painted, text);
        EXPECT_FALSE(pacer->Holding());
    }
}

TEST_F(PaintPacerTest, InsideAWaitUpdatesWaitForTheEndOfTheCommand) {
    // Twenty updates from events that run inside one wait, each in its own
    // round of the wait.
    const int before = label->paints;
    int updates = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (updates < 20) label->setText(QString::number(++updates));
    });
    tick.start(0);
    ASSERT_TRUE(rt::WaitUntil([&] { return updates == 20; }, 5000));
    tick.stop();
    // The last paint before the wait was just now: none inside it.
    EXPECT_EQ(label->paints, before);
    EXPECT_TRUE(pacer->Holding());
    // Back in the event loop, the last text is painted, once.
    ASSERT_TRUE(LoopUntil([&] { return !pacer->Holding(); }, 2000));
    EXPECT_EQ(label->paints, before + 1);
    EXPECT_EQ(label->painted, "20");
}

}  // namespace
