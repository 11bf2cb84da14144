#include "platform/ui/paintpacer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include "platform/EventWait.h"
#include "platform/ui/controls.h"
#include "platform/ui/listview.h"

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

// Inside a wait even a paint asked for long after the last one is held:
// a command that ends sooner paints once, at its end, and one that waits
// longer shows it one interval later, inside the wait.
TEST(PaintPacerInterval, InsideAWaitTheFirstPaintComesAnIntervalLater) {
    QWidget window;
    window.resize(200, 60);
    auto* label = new CountingLabel("start", &window);
    label->resize(200, 60);
    auto* pacer = new ui::PaintPacer(&window, 300);
    window.show();
    ASSERT_TRUE(LoopUntil([&] { return label->paints > 0 && !pacer->Holding(); }, 5000));
    LoopUntil([] { return false; }, 400);  // the last paint is an interval old
    const int before = label->paints;
    QTimer::singleShot(0, [&] { label->setText("inside"); });
    rt::WaitUntil([] { return false; }, 20);
    EXPECT_EQ(label->paints, before);
    EXPECT_TRUE(pacer->Holding());
    EXPECT_TRUE(rt::WaitUntil([&] { return label->paints > before; }, 3000));
    EXPECT_EQ(label->painted, "inside");
}

// A status line and a log with deferred display, wired to the pacer as the
// main window wires them: inside a wait their widgets stay as they were,
// while Text(), Change and the list's own reads see every change at once;
// the paint at the end of the command shows the last text and every row.
TEST_F(PaintPacerTest, DeferredTextAndRowsReachTheirWidgetsJustBeforeThePaint) {
    ui::TextBox status;
    status.Create(&window);
    status.SetDeferredDisplay(true);
    ui::ListView log;
    log.Create(&window);
    log.AddColumnHeader("Event Log", 3000);
    log.SetDeferredRows(true);
    status.SetVisible(true);
    log.SetVisible(true);
    QObject::connect(pacer, &ui::PaintPacer::aboutToPaint, [&] {
        status.ShowDeferredText();
        log.ShowDeferredRows();
    });
    ASSERT_TRUE(LoopUntil([&] { return !pacer->Holding(); }, 2000));
    auto* edit = qobject_cast<QLineEdit*>(status.widget());
    auto* tree = qobject_cast<QTreeWidget*>(log.widget());
    int changes = 0;
    status.Change = [&] { ++changes; };

    int reads = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (reads == 20) return;
        ++reads;
        status.SetText("Read " + std::to_string(reads));
        status.SetText("Read " + std::to_string(reads));  // no change: no Change
        log.AddItem(status.Text());
    });
    tick.start(0);
    ASSERT_TRUE(rt::WaitUntil([&] { return reads == 20; }, 5000));
    tick.stop();
    EXPECT_EQ(status.Text(), "Read 20");
    EXPECT_EQ(changes, 20);
    EXPECT_EQ(edit->text(), "");
    EXPECT_EQ(tree->topLevelItemCount(), 0);

    ASSERT_TRUE(LoopUntil([&] { return !pacer->Holding(); }, 2000));
    EXPECT_EQ(edit->text(), "Read 20");
    EXPECT_EQ(changes, 20);
    ASSERT_EQ(tree->topLevelItemCount(), 20);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Read 1");
    EXPECT_EQ(tree->topLevelItem(19)->text(0), "Read 20");

    // A row kept aside is placed by whatever needs it in the list.
    const ui::ListItem late = log.AddItem("late");
    EXPECT_EQ(late.Index(), 21);
    log.AddItem("later");
    EXPECT_EQ(log.ListItems(22).Text(), "later");
    // A hidden log places its rows when it is shown again.
    log.SetVisible(false);
    log.AddItem("while hidden");
    EXPECT_EQ(tree->topLevelItemCount(), 22);
    log.SetVisible(true);
    EXPECT_EQ(tree->topLevelItemCount(), 23);
    log.ClearItems();
    log.AddItem("after clearing");
    EXPECT_EQ(log.ListItemCount(), 1);
}

}  // namespace
