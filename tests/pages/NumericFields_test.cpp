// Number fields of the module pages: reading, key filters, focus moves and
// the range and clamping checks on real text boxes.
#include "pages/NumericFields.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>
#include <cmath>
#include <functional>
#include <random>

#include "mainwindow_support.h"
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
        pages::WireFieldArray(high,
                              {[this](int i) { pages::SelectWholeText(high(i)); },
                               [this](int i, int& key) { pages::SignedFieldKey(high, i, key, 3); },
                               [this, range](int i) {
                                   checked.push_back(i);
                                   pages::CheckHighAlarm(high(i), low(i), range, 3);
                               }});
        pages::WireFieldArray(low,
                              {[this](int i) { pages::SelectWholeText(low(i)); },
                               [this](int i, int& key) { pages::SignedFieldKey(low, i, key, 3); },
                               [this, range](int i) {
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
        {[&](int i) { pages::SelectWholeText(boxes(i)); },
         [](int, int& key) { key = pages::UnsignedKey(key); },
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

// A window with a module of every page that has number boxes: AI in slot 1
// (4 to 20 mA), AO in slot 2 (4 to 20 mA, values preset), sensor in slot 3
// (+/- 10 V, scale -10..10, alarms -5..5), PI in slot 4, PO in slot 5.
class PageFieldsTest : public testsupport::MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        Open();
        NodeConfig& n = ConfigReal[0];
        const struct {
            const char* model;
            int16_t code;
        } modules[] = {
            {"KB-521", 7}, {"KA-353", 49}, {"KB-524", 8}, {"KB-580", 83}, {"KA-371", 98}};
        for (int s = 1; s <= 5; ++s) {
            n.Module[s] = modules[s - 1].model;
            n.SlotPresent[s] = kTrue;
            n.NMTState[s] = 32;
            for (int ch = 0; ch < 16; ++ch) {
                n.RangeCode(s, ch) = modules[s - 1].code;
                n.PowerOnValueMode(2, ch) = n.SafeValueMode(2, ch) = 1;
                n.UserDefHRange(3, ch) = 10000;
                n.LowAlarmVal(3, ch) = 2500;
                n.HighAlarmVal(3, ch) = 7500;
                n.PO[5].RefTime(ch) = 20;
            }
        }
        n.AIChannel[1] = n.AOChannel[2] = n.AIChannel[3] = n.PIChannel[4] = 8;
        n.POChannel[5] = 16;
        ConfigSetting[0] = n;
        window->ShowRackPictures(0);
    }
    void Show(int slot) {
        window->optSlot(slot).SetValue(false);
        window->optSlot(slot).PerformClick();
    }
};

TEST_F(PageFieldsTest, HugeNumbersGetTheRangeMessageAndTheLimit) {
    for (int slot = 1; slot <= 5; ++slot) Show(slot);  // builds every page
    frmMain& w = *window;
    const std::string nines(400, '9'), tiny = "0." + std::string(400, '0') + "1";
    const std::string aiAlarm = "IOM 1 Alarm Val. Range: 2mA ~ 22mA";
    const struct {
        int slot;
        ui::TextBox* box;
        std::string typed;
        const char* after;
        std::string message;  // "" for none
    } cases[] = {
        {1, &w.aiPage.txtCAIHighAlarm(0), nines, "20.0", aiAlarm},
        {1, &w.aiPage.txtCAILowAlarm(7), "-" + nines, "2.0", aiAlarm},
        {1, &w.aiPage.txtCAIHighAlarm(1), tiny, "20.0", aiAlarm},
        {2, &w.aoPage.txtCAOPowerOn(0), nines + ".5", "4.0", "IOM 2 Range: +4.0 To +20.0 mA"},
        {2, &w.aoPage.txtCAOHighAlarm(3), "-" + nines, "22.0",
         "IOM 2 Alarm Val. Range: 2mA ~ 22mA"},
        {3, &w.sensorPage.txtCAISScaleHighRange(0), nines, "10.0", "IOM 3 Range: +/- 10.0 V"},
        {3, &w.sensorPage.txtCAISLowAlarm(2), "-" + nines, "-10.0",
         "IOM 3 Scale Range: -10.0 ~ 10.0"},
        {4, &w.piPage.txtPILPFInterval, "1e400", "32767", ""},
        {4, &w.piPage.txtPILPFInterval, "-" + nines, "1", ""},
        {5, &w.poPage.txtPOCounter(0), nines, "65535", ""},
        {5, &w.poPage.txtPOOutputCycle(9), nines, "3276", ""},
    };
    for (const auto& c : cases) {
        Show(c.slot);
        ui::TextBox& box = *c.box;
        box.SetText(c.typed);
        dialogs.shown.clear();
        if (!c.message.empty()) dialogs.AnswerMsgBox(rt::vbOK);
        box.LostFocus();
        EXPECT_EQ(box.Text(), c.after) << c.typed.substr(0, 12);
        std::vector<std::string> messages;
        for (const auto& d : dialogs.shown) messages.push_back(d.title + ": " + d.prompt);
        EXPECT_EQ(messages, c.message.empty()
                                ? std::vector<std::string>{}
                                : std::vector<std::string>{"Detail Set Error: " + c.message})
            << c.typed.substr(0, 12);
    }
}

TEST_F(PageFieldsTest, TheBoxesRunThePagesNamedHandlers) {
    for (int slot = 1; slot <= 5; ++slot) Show(slot);  // builds every page
    pages::PulseOutPage& po = window->poPage;
    pages::AnalogOutPage& ao = window->aoPage;
    enum Event { Focus, Key, Leave };
    const struct {
        int slot;
        ui::TextBox* box;
        Event event;
        std::function<void(int& key)> named;
        const char* text;
        int key;
        const char* outcome;
        bool message = false;  // the range message, once per run
    } cases[] = {
        {5, &po.txtPOCounter(0), Leave, [&](int&) { po.txtPOCounter_LostFocus(0); }, "70000", 0,
         "65535 sel 0 key 0"},
        {5, &po.txtPOCounter(0), Key, [&](int& k) { po.txtPOCounter_KeyPress(0, k); }, "1", '-',
         "1 sel 0 key 0"},
        {5, &po.txtPOCounter(0), Focus, [&](int&) { po.txtPOCounter_GotFocus(0); }, "123", 0,
         "123 sel 3 key 0"},
        {2, &ao.txtCAOPowerOn(1), Leave, [&](int&) { ao.txtCAOPowerOn_LostFocus(1); }, "", 0,
         "4.0 sel 0 key 0", true},
        {2, &ao.txtCAOPowerOn(1), Key, [&](int& k) { ao.txtCAOPowerOn_KeyPress(1, k); }, "1", '5',
         "1 sel 0 key 53"},
        {4, &window->piPage.txtPILPFInterval, Focus,
         [&](int&) { window->piPage.txtPILPFInterval_GotFocus(); }, "50", 0, "50 sel 2 key 0"},
    };
    for (const auto& c : cases) {
        Show(c.slot);
        ui::TextBox& box = *c.box;
        auto outcome = [&box](int key) {
            return box.Text() + " sel " + std::to_string(box.SelLength()) + " key " +
                   std::to_string(key);
        };
        for (int run = 0; run < (c.message ? 2 : 0); ++run) dialogs.AnswerMsgBox(rt::vbOK);
        box.SetText(c.text);
        int key = c.key;
        c.named(key);
        EXPECT_EQ(outcome(key), c.outcome);
        box.SetText(c.text);
        key = c.key;
        if (c.event == Focus) box.GotFocus();
        if (c.event == Key) box.KeyPress(key);
        if (c.event == Leave) box.LostFocus();
        EXPECT_EQ(outcome(key), c.outcome) << "through the box's event";
    }
    EXPECT_TRUE(dialogs.AllAnswersUsed());
}

// Random text of the kinds a user can type or paste: digit runs of up to
// hundreds of digits, signs, points, exponents, letters and blanks.
std::string RandomText(std::mt19937& random) {
    static const char* const kPieces[] = {"-", "+", ".",  "e",     "E",  "e-", "e+",    "d",
                                          " ", "x", "&H", "1.2.3", "--", "0.", "0.0000"};
    auto pick = [&random](size_t n) { return static_cast<size_t>(random() % n); };
    std::string text;
    for (size_t part = 0, parts = 1 + pick(4); part < parts; ++part) {
        if (pick(2) == 0) {
            text += kPieces[pick(std::size(kPieces))];
            continue;
        }
        const size_t digits = pick(3) == 0 ? 100 + pick(400) : 1 + pick(6);
        for (size_t i = 0; i < digits; ++i) text.push_back(static_cast<char>('0' + pick(10)));
    }
    return text;
}

// Moves the focus into or out of a box as the window system does.
void SendFocus(QLineEdit* box, QEvent::Type type) {
    QFocusEvent event(type, Qt::OtherFocusReason);
    QCoreApplication::sendEvent(box, &event);
}

TEST_F(PageFieldsTest, RandomTextInEveryNumberBoxIsRepairedWhenTheBoxIsLeft) {
    std::mt19937 random(4410);
    frmMain& w = *window;
    const std::pair<int, ui::Frame*> pages[] = {{1, &w.fmeCAIConf},
                                                {2, &w.fmeCAOConf},
                                                {3, &w.fmeCAISConf},
                                                {4, &w.fmePIIOMConf},
                                                {5, &w.fmePOIOMConf}};
    for (const auto& [slot, frame] : pages) {
        Show(slot);
        if (slot == 2) w.aoPage.cmdCAOAllConf.PerformClick();  // the value boxes by their modes
        std::vector<QLineEdit*> boxes;
        for (QLineEdit* box : frame->widget()->findChildren<QLineEdit*>())
            if (box->isEnabled() && !box->isHidden()) boxes.push_back(box);
        ASSERT_FALSE(boxes.empty()) << slot;
        for (int i = 0; i < 300; ++i) {
            QLineEdit* box = boxes[random() % boxes.size()];
            const std::string text = RandomText(random);
            dialogs.shown.clear();
            SendFocus(box, QEvent::FocusIn);
            if (text.size() > 20) {
                box->insert(QString::fromStdString(text));  // pasted
            } else {
                for (char ch : text) Press(box, ch, QString(QChar(ch)));
            }
            SendFocus(box, QEvent::FocusOut);
            const std::string after = box->text().toStdString();
            const std::string label =
                "slot " + std::to_string(slot) + " typed " + text.substr(0, 24) + " -> " + after;
            for (const auto& d : dialogs.shown)
                EXPECT_EQ(d.title, "Detail Set Error") << label << ": " << d.prompt;
            // The PI interval reads its box as Val does, the others by its
            // leading number; no field reaches beyond 65535.
            auto inRange = [](double v) { return std::isfinite(v) && std::fabs(v) <= 65535; };
            ASSERT_TRUE(inRange(pages::FieldNumber(after)) || inRange(pages::TextVal(after)))
                << label;
        }
    }
    // The pages' own range messages were the only dialogs, checked above.
    dialogs.unexpected.clear();
}

}  // namespace
