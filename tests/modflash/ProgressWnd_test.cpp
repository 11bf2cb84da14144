#include "modflash/ProgressWnd.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

#include "modflash/Profile.h"

using namespace modflash;

namespace {

class ProgressWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QFile::remove(ProfileFilePath());
        owner.setGeometry(200, 150, 350, 170);
        owner.show();
    }
    void TearDown() override { QFile::remove(ProfileFilePath()); }
    QWidget owner;
    // The progress window's message and bar, found among the owner's windows
    // as the user sees them; null while no window exists.
    QLabel* Text() { return owner.findChild<QLabel*>(QString::number(CProgressWnd::IDC_TEXT)); }
    QProgressBar* Bar() {
        return owner.findChild<QProgressBar*>(QString::number(CProgressWnd::IDC_PROGRESS));
    }
    QWidget* Window() { return Text() ? Text()->window() : nullptr; }
};

}  // namespace

TEST_F(ProgressWindowTest, SteppingThroughARangeOfThreeShowsThreePercentages) {
    CProgressWnd wnd;
    ASSERT_TRUE(wnd.CreateProgressWindow(&owner));
    EXPECT_EQ(Window()->windowTitle(), QStringLiteral("Progress"));
    QStringList captions;
    QObject::connect(Window(), &QWidget::windowTitleChanged,
                     [&](const QString& t) { captions << t; });
    wnd.SetRange(0, 3);
    wnd.SetStep(1);
    wnd.SetMessage("Start upgrading firmware...\n\n(Do not remove module or power!)");
    EXPECT_EQ(Text()->text(),
              QStringLiteral("Start upgrading firmware...\n\n(Do not remove module or power!)"));
    for (int i = 0; i < 3; ++i) wnd.StepIt();
    EXPECT_EQ(captions,
              (QStringList{QStringLiteral("Progress [33%]"), QStringLiteral("Progress [67%]"),
                           QStringLiteral("Progress [100%]")}));
    EXPECT_EQ(Bar()->value(), 3);
    EXPECT_EQ(Bar()->maximum(), 3);
}

TEST_F(ProgressWindowTest, AStoredPositionOffTheScreenIsIgnoredAndTheLastOneIsKept) {
    const QSize screen = QApplication::primaryScreen()->size();
    WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("X"), screen.width() + 10);
    WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("Y"), 20);
    QPoint last;
    {
        CProgressWnd wnd;
        ASSERT_TRUE(wnd.CreateProgressWindow(&owner));
        const QPoint centre = Window()->frameGeometry().center();
        EXPECT_LE(std::abs(centre.x() - owner.frameGeometry().center().x()), 2);
        EXPECT_LE(std::abs(centre.y() - owner.frameGeometry().center().y()), 2);
        Window()->move(33, 44);
        last = Window()->pos();
        wnd.DestroyWindow();
        EXPECT_EQ(Window(), nullptr);
    }
    EXPECT_EQ(GetProfileInt(QStringLiteral("Settings"), QStringLiteral("X"), -1), last.x());
    EXPECT_EQ(GetProfileInt(QStringLiteral("Settings"), QStringLiteral("Y"), -1), last.y());
    // The next window opens where the last one was.
    CProgressWnd again;
    ASSERT_TRUE(again.CreateProgressWindow(&owner));
    EXPECT_EQ(Window()->pos(), last);
}

TEST_F(ProgressWindowTest, WithoutAWindowEverythingIsSkipped) {
    CProgressWnd wnd;
    wnd.SetRange(0, 10);
    wnd.SetStep(5);
    wnd.SetMessage("%s", "nothing");
    EXPECT_EQ(wnd.SetProgress(7), 0);
    EXPECT_EQ(wnd.StepIt(), 0);
    wnd.PumpMessages();
    wnd.DestroyWindow();
    EXPECT_FALSE(QFile::exists(ProfileFilePath()));
}

TEST_F(ProgressWindowTest, EscHidesItUntilTheNextStepAndEndsItsPumping) {
    CProgressWnd wnd;
    ASSERT_TRUE(wnd.CreateProgressWindow(&owner));
    wnd.SetRange(0, 4);
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    wnd.PumpMessages();
    EXPECT_TRUE(ran);

    wnd.OnCancel();
    EXPECT_FALSE(Window()->isVisible());
    EXPECT_TRUE(QFile::exists(ProfileFilePath()));
    ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    wnd.PumpMessages();
    EXPECT_FALSE(ran);
    wnd.StepIt();
    EXPECT_TRUE(Window()->isVisible());
    EXPECT_EQ(Bar()->value(), 1);
    QApplication::processEvents();
}
