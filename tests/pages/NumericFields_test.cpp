// Number fields of the module pages: reading, key filters, focus moves and
// the range and clamping checks on real text boxes.
#include "pages/NumericFields.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

#include "platform/dialogs.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

void Press(QWidget* w, int key, const QString& text) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(w, &down);
}

class FieldsTest : public ::testing::Test {
  protected:
    void SetUp() override { rt::SetDialogs(&dialogs); }
    void TearDown() override { rt::SetDialogs(nullptr); }
    std::vector<std::string> Messages() const {
        std::vector<std::string> m;
        for (const auto& d : dialogs.shown) {
            EXPECT_EQ(d.title, "Detail Set Error");
            EXPECT_EQ(d.style, rt::vbCritical);
            m.push_back(d.prompt);
        }
        return m;
    }
    rt::ScriptedDialogs dialogs;
    QWidget form;
};

TEST(FieldNumber, ReadsTheLongestLeadingDecimalNumber) {
    const struct {
        const char* text;
        double value;
    } cases[] = {{"1.2.3", 1.2},    {"-", 0},   {"", 0},     {"abc", 0},
                 {"-10.5x", -10.5}, {"22", 22}, {".5", 0.5}, {"1e3", 1},
                 {" 5", 0},         {"--1", 0}, {"7-", 7},   {"-.25", -0.25}};
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(pages::FieldNumber(c.text), c.value) << c.text;
}

TEST(FieldNumber, WritesOneDecimalAndMessagesTheShortestForm) {
    EXPECT_EQ(pages::FieldText(20), "20.0");
    EXPECT_EQ(pages::FieldText(-0.04), "0.0");
    EXPECT_EQ(pages::FieldText(12345678.25), "12345678.3");
    EXPECT_EQ(pages::ShortNumber(2), "2");
    EXPECT_EQ(pages::ShortNumber(-10.5), "-10.5");
    EXPECT_EQ(pages::ShortNumber(0.5), "0.5");
}

TEST_F(FieldsTest, SignedAndUnsignedKeysPassOrBeep) {
    const struct {
        int key;
        bool signedPasses, unsignedPasses;
    } cases[] = {{'0', true, true},   {'9', true, true},   {'-', true, false},
                 {'.', true, true},   {8, true, true},     {13, false, true},
                 {'a', false, false}, {' ', false, false}, {'+', false, false}};
    int beeps = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(pages::SignedKey(c.key), c.signedPasses ? c.key : 0) << c.key;
        EXPECT_EQ(pages::UnsignedKey(c.key), c.unsignedPasses ? c.key : 0) << c.key;
        beeps += !c.signedPasses + !c.unsignedPasses;
        EXPECT_EQ(dialogs.beeps, beeps) << c.key;
    }
}

// Two alarm arrays of four boxes wired as the analog input page wires
// them: channel count 3, range 4 to 20 mA, slot 3.
class AlarmFieldsTest : public FieldsTest {
  protected:
    void SetUp() override {
        FieldsTest::SetUp();
        for (int i = 0; i < 4; ++i) {
            high.Load(i).Create(&form, "20.0");
            low.Load(i).Create(&form, "4.0");
        }
        const pages::AlarmRange range = pages::AlarmRangeOf(7);
        auto count = [] { return 3; };
        pages::WireFieldArray(high, {true, count, [this, range](int i) {
                                         checked.push_back(i);
                                         pages::CheckHighAlarm(high(i), low(i), range, 3);
                                     }});
        pages::WireFieldArray(low, {true, count, [this, range](int i) {
                                        checked.push_back(10 + i);
                                        pages::CheckLowAlarm(low(i), high(i), range, 3);
                                    }});
    }
    ui::ControlArray<ui::TextBox> high, low;
    std::vector<int> checked;
};

TEST_F(AlarmFieldsTest, LeavingABoxChecksItsRangeAndOrder) {
    const std::string range = "IOM 3 Alarm Val. Range: 2mA ~ 22mA";
    const std::string highOrder = " The high alarm value must be bigger than the low alarm value.";
    const std::string lowOrder = " The low alarm value must be small than the high alarm value.";
    const struct {
        bool highSide;
        const char *highText, *lowText, *result;
        std::vector<std::string> messages;
    } cases[] = {
        {true, "", "4.0", "20.0", {range}},
        {false, "20.0", "", "2.0", {range}},
        {true, "23", "4", "20.0", {range}},
        {true, "22", "4", "22.0", {}},
        {false, "20", "2", "2.0", {}},
        {false, "20", "1.9", "2.0", {range}},
        {true, "10", "10", "22.0", {highOrder}},
        {false, "10", "10", "2.0", {lowOrder}},
        {true, "", "21", "22.0", {range, highOrder}},
        {true, "7.25abc", "4", "7.3", {}},
    };
    for (const auto& c : cases) {
        dialogs.shown.clear();
        high(1).SetText(c.highText);
        low(1).SetText(c.lowText);
        ui::TextBox& left = c.highSide ? high(1) : low(1);
        left.SetFocus();
        high(0).SetFocus();  // leaves the box: its check runs
        EXPECT_EQ(left.Text(), c.result) << c.highText << " / " << c.lowText;
        EXPECT_EQ(Messages(), c.messages) << c.highText << " / " << c.lowText;
        // The other box of the pair keeps its text.
        EXPECT_EQ((c.highSide ? low(1) : high(1)).Text(), c.highSide ? c.lowText : c.highText);
    }
}

TEST_F(AlarmFieldsTest, EnterMovesToTheNextChannelWrapsAtTheCountAndBeeps) {
    high(2).SetFocus();
    checked.clear();
    Press(high(2).widget(), Qt::Key_Return, "\r");
    EXPECT_EQ(ui::TextBox::Focused(), &high(0));  // box 2 is the last of 3
    EXPECT_EQ(checked, std::vector<int>{2});      // the box left was checked
    EXPECT_EQ(high(0).SelLength(), 4);            // "20.0" selected whole
    Press(high(0).widget(), Qt::Key_Return, "\r");
    EXPECT_EQ(ui::TextBox::Focused(), &high(1));
    EXPECT_EQ(dialogs.beeps, 2);
    EXPECT_EQ(high(0).Text(), "20.0");  // Enter itself is not typed
    // A hidden next box is not entered.
    high(2).SetVisible(false);
    Press(high(1).widget(), Qt::Key_Return, "\r");
    EXPECT_EQ(ui::TextBox::Focused(), &high(1));
    EXPECT_EQ(dialogs.beeps, 3);
}

TEST_F(FieldsTest, PulseFieldsAreClampedSilently) {
    using F = pages::PulseField;
    const struct {
        F field;
        const char *text, *bound, *result;
    } cases[] = {
        {F::ReferenceTime, "", "", "20"},
        {F::ReferenceTime, "30001", "", "30000"},
        {F::ReferenceTime, "4", "", "5"},
        {F::ReferenceTime, "5.5", "", "5.5"},
        {F::OutputCycle, "100", "30000", "2"},
        {F::OutputCycle, "20000", "5", "13107"},
        {F::OutputCycle, "13107", "5", "13107"},
        {F::OutputCycle, "", "5", "2"},
        {F::OutputCycle, "1", "100", "2"},
        {F::OutputCycle, "60000", "0", "60000"},
        {F::OutputCycle, "60000", "0.4", "60000"},
        {F::OutputCycle, "700", "100.5", "655"},
        {F::DutyCycle, "11", "10", "10"},
        {F::DutyCycle, "", "10", "1"},
        {F::DutyCycle, "10", "10", "10"},
        {F::Offset, "70000", "", "65535"},
        {F::Offset, "", "", "0"},
        {F::Offset, "-3", "", "0"},
        {F::Counter, "65536", "", "65535"},
        {F::Counter, "", "", "0"},
        {F::Counter, "-3", "", "-3"},
    };
    ui::TextBox box, bound;
    box.Create(&form);
    bound.Create(&form);
    for (const auto& c : cases) {
        box.SetText(c.text);
        bound.SetText(c.bound);
        pages::ClampPulseField(c.field, box, &bound);
        EXPECT_EQ(box.Text(), c.result) << static_cast<int>(c.field) << " " << c.text;
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FieldsTest, UnsignedArrayDropsTheMinusAndEnterStays) {
    ui::ControlArray<ui::TextBox> boxes;
    for (int i = 0; i < 2; ++i) boxes.Load(i).Create(&form, "");
    pages::WireFieldArray(
        boxes,
        {false, [] { return 2; },
         [&](int i) { pages::ClampPulseField(pages::PulseField::Offset, boxes(i), nullptr); }});
    boxes(0).SetFocus();
    Press(boxes(0).widget(), Qt::Key_Minus, "-");
    Press(boxes(0).widget(), Qt::Key_5, "5");
    Press(boxes(0).widget(), Qt::Key_Return, "\r");
    EXPECT_EQ(boxes(0).Text(), "5");
    EXPECT_EQ(ui::TextBox::Focused(), &boxes(0));
    EXPECT_EQ(dialogs.beeps, 1);
    boxes(0).SetText("");
    boxes(1).SetFocus();
    EXPECT_EQ(boxes(0).Text(), "0");
}

}  // namespace
