#include "platform/ui/controls.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/EventWait.h"

namespace {

class ControlsTest : public ::testing::Test {
  protected:
    QWidget form;
};

TEST(Twips, ConvertToNearestPixelAndBack) {
    EXPECT_EQ(ui::ToPixels(0), 0);
    EXPECT_EQ(ui::ToPixels(15), 1);
    EXPECT_EQ(ui::ToPixels(6000), 400);
    EXPECT_EQ(ui::ToPixels(22), 1);
    EXPECT_EQ(ui::ToPixels(23), 2);
    EXPECT_EQ(ui::ToPixels(-30), -2);
    EXPECT_EQ(ui::ToTwips(400), 6000);
}

TEST_F(ControlsTest, GeometryIsGivenAndReadInTwips) {
    ui::Frame f;
    f.Create(&form);
    f.Move(6000, 120, 9480, 5400);
    EXPECT_EQ(f.widget()->geometry(), QRect(400, 8, 632, 360));
    EXPECT_EQ(f.Left(), 6000);
    EXPECT_EQ(f.Top(), 120);
    EXPECT_EQ(f.Width(), 9480);
    f.SetTop(300);
    EXPECT_EQ(f.widget()->y(), 20);
    EXPECT_EQ(f.Left(), 6000);
}

TEST_F(ControlsTest, VisibleAndEnabledAreTheControlsOwnSettings) {
    ui::Label l;
    l.Create(&form, "x");
    // The form is not shown, yet the label counts as visible.
    EXPECT_TRUE(l.Visible());
    l.SetVisible(false);
    EXPECT_FALSE(l.Visible());
    form.setEnabled(false);
    EXPECT_TRUE(l.Enabled());
}

TEST_F(ControlsTest, OptionButtonSetFromCodeRunsClickOnceAndClearsTheOthers) {
    ui::OptionGroup group;
    ui::ControlArray<ui::OptionButton> opt;
    int clicks[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        opt.Load(i).Create(&form, &group);
        opt(i).Click = [&clicks, i] { ++clicks[i]; };
    }
    opt(1).SetValue(true);
    EXPECT_EQ(clicks[1], 1);
    EXPECT_TRUE(opt(1).Value());
    // Selecting the selected button again runs nothing.
    opt(1).SetValue(true);
    EXPECT_EQ(clicks[1], 1);
    opt(2).SetValue(true);
    EXPECT_EQ(clicks[2], 1);
    EXPECT_FALSE(opt(1).Value());
    EXPECT_EQ(clicks[1], 1);  // being cleared runs no click
    EXPECT_EQ(group.Selected(), &opt(2));
}

TEST_F(ControlsTest, OptionGroupCanBeLeftWithNothingSelected) {
    ui::OptionGroup group;
    ui::OptionButton a, b;
    int clicks = 0;
    a.Create(&form, &group);
    b.Create(&form, &group);
    a.Click = [&] { ++clicks; };
    a.SetValue(true);
    a.SetValue(false);
    EXPECT_EQ(group.Selected(), nullptr);
    EXPECT_FALSE(static_cast<QAbstractButton*>(a.widget())->isChecked());
    // Clear, then select again: the click runs again (the re-select idiom).
    a.SetValue(true);
    EXPECT_EQ(clicks, 2);
}

TEST_F(ControlsTest, UserClickOnOptionButtonsFollowsTheSameRules) {
    ui::OptionGroup group;
    ui::OptionButton a, b;
    int clicksA = 0;
    a.Create(&form, &group, ui::OptionButton::Style::Graphical);
    b.Create(&form, &group, ui::OptionButton::Style::Graphical);
    a.Click = [&] { ++clicksA; };
    a.PerformClick();
    EXPECT_TRUE(a.Value());
    EXPECT_EQ(clicksA, 1);
    // A click on the selected button keeps it selected and runs nothing.
    a.PerformClick();
    EXPECT_TRUE(a.Value());
    EXPECT_TRUE(static_cast<QAbstractButton*>(a.widget())->isChecked());
    EXPECT_EQ(clicksA, 1);
    b.PerformClick();
    EXPECT_FALSE(a.Value());
    EXPECT_FALSE(static_cast<QAbstractButton*>(a.widget())->isChecked());
}

TEST_F(ControlsTest, ComboListIndexFromCodeRaisesClick) {
    ui::ComboBox c;
    c.Create(&form);
    int clicks = 0;
    c.Click = [&] { ++clicks; };
    c.AddItem("0..20 mA");
    c.AddItem("4..20 mA");
    EXPECT_EQ(c.ListIndex(), -1);  // filling selects nothing
    EXPECT_EQ(clicks, 0);
    c.SetListIndex(1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(c.Text(), "4..20 mA");
    c.SetListIndex(1);  // no change, no click
    EXPECT_EQ(clicks, 1);
    EXPECT_THROW(c.SetListIndex(2), rt::RuntimeError);
    c.Clear();
    EXPECT_EQ(c.ListCount(), 0);
    EXPECT_EQ(c.ListIndex(), -1);
    EXPECT_EQ(clicks, 1);
}

TEST_F(ControlsTest, ComboTextFromCodeSelectsTheItemOrFails) {
    ui::ComboBox c;
    c.Create(&form);
    int clicks = 0;
    c.Click = [&] { ++clicks; };
    c.AddItem("Type J");
    c.AddItem("Type K");
    c.SetText("Type K");
    EXPECT_EQ(c.ListIndex(), 1);
    EXPECT_EQ(clicks, 1);
    c.SetText("type j");  // letter case does not matter
    EXPECT_EQ(c.ListIndex(), 0);
    EXPECT_EQ(clicks, 2);
    try {
        c.SetText("Type T");
        FAIL() << "no error for a text without item";
    } catch (const rt::RuntimeError& e) {
        EXPECT_EQ(e.Number(), 383);
    }
    EXPECT_EQ(c.ListIndex(), 0);
}

TEST_F(ControlsTest, ComboUserChoiceRaisesClick) {
    ui::ComboBox c;
    c.Create(&form);
    int clicks = 0;
    c.Click = [&] { ++clicks; };
    c.AddItem("a");
    c.AddItem("b");
    auto* q = static_cast<QComboBox*>(c.widget());
    q->setCurrentIndex(1);
    emit q->activated(1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(c.ListIndex(), 1);
}

TEST_F(ControlsTest, ControlArrayRaisesForAMissingElement) {
    ui::ControlArray<ui::Label> labels;
    labels.Load(0).Create(&form);
    labels.Load(7).Create(&form);
    EXPECT_EQ(labels.Count(), 2);
    EXPECT_EQ(labels.LBound(), 0);
    EXPECT_EQ(labels.UBound(), 7);
    try {
        labels(3);
        FAIL() << "no error for element 3";
    } catch (const rt::RuntimeError& e) {
        EXPECT_EQ(e.Number(), ui::ErrNoSuchControl);
    }
}

TEST_F(ControlsTest, ZOrderBringsAFrameToTheFront) {
    ui::Frame a, b, c;
    a.Create(&form);
    b.Create(&form);
    c.Create(&form);
    EXPECT_EQ(c.ZPosition(), 0);
    a.ZOrder(0);
    EXPECT_EQ(a.ZPosition(), 0);
    EXPECT_EQ(c.ZPosition(), 1);
    a.ZOrder(1);
    EXPECT_EQ(a.ZPosition(), 2);
}

// Frames stacked on one spot: a frame wholly behind a shown frame is hidden
// (never painted); its own Visible setting is kept.
TEST_F(ControlsTest, FramesWhollyBehindAShownFrameAreHidden) {
    struct Case {
        const char* what;
        void (*step)(ui::Frame* f);
        bool shown[3];
    };
    const Case cases[] = {
        {"created on one spot: the last one is in front", [](ui::Frame*) {}, {false, false, true}},
        {"the first brought to the front",
         [](ui::Frame* f) { f[0].ZOrder(0); },
         {true, false, false}},
        {"the front one sent behind", [](ui::Frame* f) { f[2].ZOrder(1); }, {false, true, false}},
        {"the front one made invisible",
         [](ui::Frame* f) { f[2].SetVisible(false); },
         {false, true, false}},
        {"invisible and visible again",
         [](ui::Frame* f) {
             f[2].SetVisible(false);
             f[2].SetVisible(true);
         },
         {false, false, true}},
        {"the front one moved aside",
         [](ui::Frame* f) { f[2].SetLeft(3000); },
         {false, true, true}},
        {"the front one narrower", [](ui::Frame* f) { f[2].SetWidth(1000); }, {false, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QWidget parent;
        ui::Frame f[3];
        for (ui::Frame& frame : f) {
            frame.Create(&parent);
            frame.Move(0, 0, 3000, 2000);
        }
        c.step(f);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(!f[i].widget()->isHidden(), c.shown[i]) << i;
        EXPECT_TRUE(f[0].Visible());
        EXPECT_TRUE(f[1].Visible());
    }
}

TEST(Timer, TicksOnlyWhileEnabledWithAnInterval) {
    ui::Timer t;
    int ticks = 0;
    t.Tick = [&] { ++ticks; };
    t.SetEnabled(false);
    t.SetInterval(5);
    EXPECT_FALSE(t.Running());
    t.SetEnabled(true);
    EXPECT_TRUE(t.Running());
    EXPECT_TRUE(rt::WaitUntil([&] { return ticks >= 2; }, 2000));
    t.SetInterval(0);  // enabled, but no interval: no ticks
    EXPECT_FALSE(t.Running());
    EXPECT_TRUE(t.Enabled());
    const int before = ticks;
    rt::WaitUntil([] { return false; }, 30);
    EXPECT_EQ(ticks, before);
}

TEST_F(ControlsTest, TabStripRaisesClickWithThePreviousTab) {
    ui::TabStrip s;
    s.Create(&form);
    for (const char* t : {"DI Mapping", "DO Mapping", "Summary"}) s.AddTab(t);
    std::vector<int> previous;
    s.Click = [&](int p) { previous.push_back(p); };
    EXPECT_EQ(s.Tab(), 0);
    EXPECT_EQ(s.Tabs(), 3);
    EXPECT_EQ(s.TabCaption(2), "Summary");
    s.SetTab(2);
    s.SetTab(1);
    s.SetTab(1);
    EXPECT_EQ(previous, (std::vector<int>{0, 2}));
    EXPECT_EQ(s.Tab(), 1);
    EXPECT_THROW(s.SetTab(3), rt::RuntimeError);
}

TEST_F(ControlsTest, ATextBoxCanBeLocked) {
    ui::TextBox t;
    t.Create(&form, "v0.00");
    int changes = 0;
    t.Change = [&] { ++changes; };
    t.SetText("v3.00");
    EXPECT_EQ(t.Text(), "v3.00");
    EXPECT_EQ(changes, 1);
    t.SetLocked(true);
    EXPECT_TRUE(t.Locked());
}

TEST_F(ControlsTest, ADisabledCommandButtonIgnoresClicks) {
    ui::CommandButton b;
    b.Create(&form, "Set");
    int clicks = 0;
    b.Click = [&] { ++clicks; };
    b.PerformClick();
    b.SetEnabled(false);
    b.PerformClick();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b.Caption(), "Set");
}

TEST(Wrappers, AWidgetOutlivingItsWrapperNoLongerCallsIt) {
    auto form = std::make_unique<QWidget>();
    int clicks = 0;
    QComboBox* raw;
    {
        ui::ComboBox c;
        c.Create(form.get());
        c.AddItem("a");
        c.Click = [&] { ++clicks; };
        raw = static_cast<QComboBox*>(c.widget());
    }
    emit raw->activated(0);
    EXPECT_EQ(clicks, 0);
}

// Sends one key press to a widget as the keyboard does.
void Press(QWidget* w, Qt::Key key, const QString& text,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent e(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(w, &e);
}

TEST_F(ControlsTest, TextBoxKeyPressSeesCharacterCodesAndCanDropOrReplaceThem) {
    ui::TextBox t;
    t.Create(&form, "");
    std::vector<int> seen;
    t.KeyPress = [&](int& key) {
        seen.push_back(key);
        if (key == 'x') key = 0;    // dropped
        if (key == 'u') key = 'U';  // replaced
    };
    Press(t.widget(), Qt::Key_A, "a");
    Press(t.widget(), Qt::Key_X, "x");
    Press(t.widget(), Qt::Key_U, "u");
    Press(t.widget(), Qt::Key_Backspace, "\b");
    Press(t.widget(), Qt::Key_Return, "\r");
    EXPECT_EQ(seen, (std::vector<int>{'a', 'x', 'u', 8, 13}));
    EXPECT_EQ(t.Text(), "a");  // "aU", then Backspace
    // Keys without a character and keys with Ctrl raise nothing.
    seen.clear();
    Press(t.widget(), Qt::Key_Left, "");
    Press(t.widget(), Qt::Key_Delete, "\x7f");
    Press(t.widget(), Qt::Key_X, "\x18", Qt::ControlModifier);
    EXPECT_TRUE(seen.empty());
}

TEST_F(ControlsTest, TextBoxLostFocusRunsWhenTheFocusLeaves) {
    ui::TextBox t;
    t.Create(&form, "5");
    int lost = 0;
    t.LostFocus = [&] { ++lost; };
    QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(t.widget(), &out);
    QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(t.widget(), &in);
    EXPECT_EQ(lost, 1);
}

TEST_F(ControlsTest, FocusMovesRunLostFocusOfTheBoxLeftThenGotFocusOfTheNext) {
    ui::TextBox a, b;
    a.Create(&form, "12.5");
    b.Create(&form, "3");
    std::vector<std::string> events;
    a.GotFocus = [&] { events.push_back("a in"); };
    a.LostFocus = [&] { events.push_back("a out"); };
    b.GotFocus = [&] { events.push_back("b in"); };
    b.LostFocus = [&] { events.push_back("b out"); };
    a.SetFocus();
    b.SetFocus();
    b.SetFocus();  // already there: nothing runs
    EXPECT_EQ(events, (std::vector<std::string>{"a in", "a out", "b in"}));
    EXPECT_EQ(ui::TextBox::Focused(), &b);
    // Focus leaving with the whole window (a message box) is no move.
    events.clear();
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(b.widget(), &away);
    EXPECT_TRUE(events.empty());
    // The user's move to a control that is no text box.
    QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(b.widget(), &out);
    EXPECT_EQ(events, std::vector<std::string>{"b out"});
    EXPECT_EQ(ui::TextBox::Focused(), nullptr);
    // A hidden box cannot take the focus.
    a.SetVisible(false);
    try {
        a.SetFocus();
        ADD_FAILURE() << "no error";
    } catch (const rt::RuntimeError& e) {
        EXPECT_EQ(e.Number(), 5);
    }
    a.SetVisible(true);
    a.SetSelStart(1);
    a.SetSelLength(99);
    EXPECT_EQ(a.SelStart(), 1);
    EXPECT_EQ(a.SelLength(), 3);
}

TEST_F(ControlsTest, CheckBoxValueFromCodeRaisesClickOnAChange) {
    ui::CheckBox c;
    c.Create(&form, "Ch31");
    int clicks = 0;
    c.Click = [&] { ++clicks; };
    c.SetValue(1);
    c.SetValue(1);
    EXPECT_EQ(clicks, 1);
    c.PerformClick();
    EXPECT_EQ(c.Value(), 0);
    EXPECT_EQ(clicks, 2);
    EXPECT_THROW(c.SetValue(3), rt::RuntimeError);
    c.SetEnabled(false);
    c.PerformClick();
    EXPECT_EQ(c.Value(), 0);
}

TEST(Wrappers, AFrameInFrontHidesTheCaptionOfTheFrameBehind) {
    QWidget form;
    form.resize(300, 200);
    // The main window's frame look: the border starts below the caption.
    ui::SetFramedLook(&form);
    ui::Frame back, front;
    back.Create(&form, "WWWWWWWWWW");
    front.Create(&form, "");
    back.Move(150, 150, 3000, 2000);
    front.Move(150, 150, 3000, 2000);
    front.ZOrder(0);
    const QImage withCaption = form.grab().toImage();
    back.SetCaption("");
    EXPECT_EQ(form.grab().toImage(), withCaption);
}

TEST(Wrappers, FramesTakeTheFramedLookOnlyInAWindowThatAskedForIt) {
    QWidget framed, other;
    ui::SetFramedLook(&framed);
    ui::Frame inFramed, plain, inOther;
    inFramed.Create(&framed, "Slot");
    plain.Create(&other, "", false);
    inOther.Create(&other, "Slot");
    for (ui::Frame* f : {&inFramed, &plain, &inOther}) f->Move(0, 0, 1500, 900);
    const QColor border(0x9a, 0xa0, 0xa6);
    const QColor window = framed.palette().color(QPalette::Window);

    const QImage look = inFramed.widget()->grab().toImage();
    EXPECT_EQ(look.pixelColor(0, 30), border);   // left edge
    EXPECT_EQ(look.pixelColor(4, 9), border);    // top edge, left of the caption
    EXPECT_EQ(look.pixelColor(40, 59), border);  // bottom edge
    int gap = 0;                                 // where the caption interrupts the top edge
    for (int x = 8; x < 40 && look.pixelColor(x, 9) != border; ++x) ++gap;
    EXPECT_GE(gap, QFontMetrics(inFramed.widget()->font()).horizontalAdvance("Slot"));
    EXPECT_EQ(look.pixelColor(60, 9), border);

    const QImage bare = plain.widget()->grab().toImage();
    for (int y = 0; y < bare.height(); ++y)
        for (int x = 0; x < bare.width(); ++x)
            ASSERT_EQ(bare.pixelColor(x, y), window) << x << "," << y;

    EXPECT_NE(inOther.widget()->grab().toImage().pixelColor(0, 30), border);
}

TEST(Wrappers, AStatusLineLooksLikeAnyLineEditInEveryState) {
    QWidget form;
    ui::TextBox status;
    status.Create(&form, "Upload data from NX-4410 finished.");
    status.SetDeferredDisplay(true);
    QLineEdit plain("Upload data from NX-4410 finished.", &form);
    struct Case {
        const char* what;
        std::function<void(QLineEdit*)> change;
    } cases[] = {
        {"as created", [](QLineEdit*) {}},
        {"wider", [](QLineEdit* e) { e->resize(300, 23); }},
        {"disabled", [](QLineEdit* e) { e->setEnabled(false); }},
        {"enabled again, read-only",
         [](QLineEdit* e) {
             e->setEnabled(true);
             e->setReadOnly(true);
         }},
        {"other colours",
         [](QLineEdit* e) {
             QPalette p = e->palette();
             p.setColor(QPalette::Base, Qt::yellow);
             e->setPalette(p);
         }},
        {"shorter", [](QLineEdit* e) { e->resize(120, 30); }},
    };
    for (const Case& c : cases) {
        for (QLineEdit* e : {static_cast<QLineEdit*>(status.widget()), &plain}) c.change(e);
        EXPECT_EQ(status.widget()->grab().toImage(), plain.grab().toImage()) << c.what;
    }
}

TEST(Wrappers, ATextBoxGoneBeforeItsWidgetNoLongerFiltersKeys) {
    auto form = std::make_unique<QWidget>();
    QLineEdit* raw;
    int presses = 0;
    {
        ui::TextBox t;
        t.Create(form.get(), "");
        t.KeyPress = [&](int& key) {
            ++presses;
            key = 0;
        };
        raw = static_cast<QLineEdit*>(t.widget());
    }
    Press(raw, Qt::Key_7, "7");
    EXPECT_EQ(presses, 0);
    EXPECT_EQ(raw->text(), "7");
}

TEST(ShownText, CrLfBecomesOneLineBreak) {
    EXPECT_EQ(ui::ShownText("Slot 4 KB-552 Channel 1  output value=?\r\n1~5V"),
              "Slot 4 KB-552 Channel 1  output value=?\n1~5V");
    EXPECT_EQ(ui::ShownText("a\r\n\r\nb"), "a\n\nb");
    EXPECT_EQ(ui::ShownText("a\rb\n"), "a\rb\n");
    EXPECT_EQ(ui::ShownText("ends\r"), "ends\r");
}

TEST_F(ControlsTest, LabelCaptionKeepsItsLineBreaksAndShowsThemAsLines) {
    ui::Label l;
    l.Create(&form, "");
    l.SetCaption("D\r\nI");
    EXPECT_EQ(l.Caption(), "D\r\nI");
    EXPECT_EQ(static_cast<QLabel*>(l.widget())->text(), "D\nI");
    l.SetAutoSize(true);
    l.SetCaption("R\r\nT\r\nD");
    EXPECT_GT(l.widget()->height(), QFontMetrics(l.widget()->font()).height() * 2);
}

}  // namespace
