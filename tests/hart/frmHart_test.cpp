// The HART console in the real main window against the station stand-in:
// the mailbox writes byte for byte, refused texts, the reply listing, a
// reply too long for the record, and the monitor pause around an Update.
#include "hart/frmHart.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "config/NodeConfig.h"
#include "link/LiveValues.h"
#include "mainwindow_support.h"
#include "tests/support/CaptionsFit.h"

namespace {

using testsupport::WaitFor;
using Bytes = std::vector<uint8_t>;

constexpr int kNetId = 17;
constexpr const char* kInitial = "FF FF FF FF FF 02 80 00 00 82";
constexpr const char* kNotConnected = "Not currently connected";

std::string HexText(const Bytes& b) {
    std::string t;
    for (uint8_t v : b)
        t += QByteArray(1, static_cast<char>(v)).toHex().toUpper().toStdString() + " ";
    return t;
}

// The mailbox write as its byte table lays it out.
QByteArray ByTable(int slot, int channel, const Bytes& d) {
    const int n = static_cast<int>(d.size()), p = n % 2;
    QByteArray f;
    // Transaction and protocol id, length (two bytes), unit id, function 16,
    // start 0x0200, register and byte counts, then the mailbox registers.
    const int head[] = {0,          0,    0,    0,    0,       n + 17 + p,
                        kNetId,     0x10, 0x02, 0x00, 0,       (n + 10 + p) / 2,
                        n + 10 + p, 0x40, 0x00, slot, channel, n >> 8,
                        n & 0xFF,   0,    0,    0,    0};
    for (int v : head) f.append(static_cast<char>(v));
    for (int k = 0; k < n; k += 2) {
        f.append(static_cast<char>(k + 1 < n ? d[static_cast<size_t>(k + 1)] : 0));
        f.append(static_cast<char>(d[static_cast<size_t>(k)]));
    }
    return f;
}

// A reply of the reply area, `size` bytes in all (521: all 256 registers),
// with its first three registers and data bytes (the first of a pair in the
// low half); its byte count is 0.
QByteArray ReplyArea(int status, int error, int length, const Bytes& data, int size = 521) {
    QByteArray r(size, '\0');
    r[4] = char((size - 6) >> 8), r[5] = char(size - 6), r[6] = kNetId, r[7] = 0x04;
    const int regs[] = {status, error, length};
    for (int i = 0; i < 3; ++i) r[9 + 2 * i] = char(regs[i] >> 8), r[10 + 2 * i] = char(regs[i]);
    for (size_t i = 0; i < data.size(); ++i)
        r[static_cast<int>(i % 2 == 0 ? 20 + i : 18 + i)] = static_cast<char>(data[i]);
    return r;
}

class HartTest : public testsupport::OnlineWindowTest {
  protected:
    frmHart& OpenOnline() {
        options.station.netId = kNetId;
        Start();
        EXPECT_TRUE(Connect());
        window->Timer2.SetEnabled(false);
        sim.clearLog();
        window->mnuHart_Click();
        return *window->HartWindow();
    }
    QVector<QByteArray> Requests() {
        QVector<QByteArray> out;
        for (const auto& e : sim.received(nxsim::Channel::Modbus)) out.push_back(e.bytes);
        return out;
    }
    std::vector<std::string> Lines(const ui::ListBox& l) {
        std::vector<std::string> out;
        for (int i = 0; i < l.ListCount(); ++i) out.push_back(l.List(i));
        return out;
    }
};

// ---- Send ------------------------------------------------------------------------

struct SendCase {
    const char* name;
    std::string text;
    bool parity;
    int slot, channel;
    Bytes sent;       // the HART bytes the frame carries; empty: refused
    const char* hex;  // the whole frame, where the Part's examples give it
};

Bytes Pattern(size_t n) {
    Bytes b{0xFF, 0x02};
    while (b.size() < n) b.push_back(0);
    return b;
}
Bytes WithCheck(Bytes b, uint8_t x) {
    b.push_back(x);
    return b;
}
const Bytes kInitialBytes = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x80, 0x00, 0x00, 0x82};

class HartSendTest : public HartTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(HartSendTest, WritesTheMailboxByteForByteOrRefusesTheText) {
    const SendCase& c = GetParam();
    frmHart& h = OpenOnline();
    h.txtString.SetText(c.text);
    h.ChkParityByte.SetValue(c.parity ? 1 : 0);
    h.CboSend_Slot.SetListIndex(c.slot);
    h.CboSend_Channel.SetListIndex(c.channel);
    if (c.sent.empty()) dialogs.AnswerMsgBox(rt::vbOK);
    h.cmdSend.PerformClick();
    EXPECT_TRUE(h.cmdSend.Enabled());
    if (c.sent.empty()) {
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_NE(dialogs.shown[0].prompt.find("238 hexadecimal bytes"), std::string::npos);
        EXPECT_EQ(h.LstSend.ListCount(), 0);
        WaitFor([] { return false; }, 50);
        EXPECT_TRUE(Requests().isEmpty());
        return;
    }
    const QByteArray expected = ByTable(c.slot, c.channel, c.sent);
    if (c.hex) {
        EXPECT_EQ(expected, QByteArray::fromHex(c.hex));  // the table itself
    }
    ASSERT_TRUE(sim.waitForLog([](const auto& log) { return !log.isEmpty(); }, 2000));
    EXPECT_EQ(Requests(), QVector<QByteArray>{expected});
    EXPECT_EQ(window->WskTCP502.Tag(), "1");
    // The stand-in reads back the bytes that were meant.
    const auto got = sim.hartRequests();
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0].slot, c.slot);
    EXPECT_EQ(got[0].channel, c.channel);
    EXPECT_EQ(got[0].data, QByteArray(reinterpret_cast<const char*>(c.sent.data()),
                                      static_cast<int>(c.sent.size())));
    // The log's last line is selected (the list scrolls to it).
    EXPECT_EQ(h.LstSend.ListIndex(), h.LstSend.ListCount() - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, HartSendTest,
    ::testing::Values(
        SendCase{"Initial", kInitial, false, 0, 0, kInitialBytes,
                 "00 00 00 00 00 1B 11 10 02 00 00 0A 14 40 00 00 00 00 0A 00 00 00 00 FF FF FF FF "
                 "02 FF 00 80 82 00"},
        SendCase{"InitialWithParity", kInitial, true, 0, 0, WithCheck(kInitialBytes, 0x00),
                 "00 00 00 00 00 1D 11 10 02 00 00 0B 16 40 00 00 00 00 0B 00 00 00 00 FF FF FF FF "
                 "02 FF 00 80 82 00 00 00"},
        SendCase{
            "ParityAfterOnePreamble",
            "ff 2 80",
            true,
            3,
            5,
            {0xFF, 0x02, 0x80, 0x82},
            "00 00 00 00 00 15 11 10 02 00 00 07 0E 40 00 03 05 00 04 00 00 00 00 02 FF 82 80"},
        SendCase{
            "OddLength",
            "FF 02 80",
            false,
            7,
            7,
            {0xFF, 0x02, 0x80},
            "00 00 00 00 00 15 11 10 02 00 00 07 0E 40 00 07 07 00 03 00 00 00 00 02 FF 00 80"},
        SendCase{"Longest", HexText(Pattern(238)), false, 2, 1, Pattern(238), nullptr},
        SendCase{"LongestOddWithParity", HexText(Pattern(237)), true, 2, 1,
                 WithCheck(Pattern(237), 0x02), nullptr},
        SendCase{"OneMore", HexText(Pattern(239)), false, 2, 1, {}, nullptr},
        SendCase{"OneMoreByParity", HexText(Pattern(238)), true, 2, 1, {}, nullptr},
        SendCase{"Empty", "", true, 0, 0, {}, nullptr},
        SendCase{"Blanks", "    ", false, 0, 0, {}, nullptr},
        SendCase{"BadToken", "FF 02 8G", false, 0, 0, {}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HartTest, SendAndUpdateNeedAConnection) {
    Open();
    window->mnuHart_Click();
    frmHart& h = *window->HartWindow();
    h.LstReceive.AddItem("previous");
    for (ui::CommandButton* b : {&h.cmdSend, &h.cmdUpdate}) {
        dialogs.AnswerMsgBox(rt::vbOK);
        b->PerformClick();
        EXPECT_EQ(dialogs.shown.back().prompt, kNotConnected);
        EXPECT_TRUE(b->Enabled());
    }
    EXPECT_EQ(h.LstSend.ListCount(), 0);
    EXPECT_EQ(Lines(h.LstReceive), std::vector<std::string>{"previous"});
}

// ---- Update ------------------------------------------------------------------------

struct UpdateCase {
    const char* name;
    int slot, status, error, length;
    std::vector<std::string> lines;  // empty: refused, the previous lines stay
    int size = 521;                  // bytes of the whole reply
};

class HartUpdateTest : public HartTest, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(HartUpdateTest, ListsTheReplyOfTheChosenSlot) {
    const UpdateCase& c = GetParam();
    frmHart& h = OpenOnline();
    nxsim::FaultRule reply;
    reply.function = 4;
    reply.addressFirst = 0x1400 + 0x100 * c.slot;
    reply.kind = nxsim::FaultKind::Garbage;
    reply.garbage = ReplyArea(c.status, c.error, c.length, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, c.size);
    sim.addFault(reply);
    h.LstReceive.AddItem("previous");
    h.CboRec_Slot.SetListIndex(c.slot);
    if (c.lines.empty()) dialogs.AnswerMsgBox(rt::vbOK);  // the dispatcher's error
    h.cmdUpdate.PerformClick();
    EXPECT_TRUE(h.cmdUpdate.Enabled());
    QByteArray request;
    for (int v : {0, 0, 0, 0, 0, 6, kNetId, 0x04, 0x14 + c.slot, 0x00, 0x01, 0x00})
        request.append(static_cast<char>(v));
    EXPECT_EQ(Requests(), QVector<QByteArray>{request});
    if (c.lines.empty()) {
        EXPECT_EQ(Lines(h.LstReceive), std::vector<std::string>{"previous"});
        EXPECT_EQ(ConfigReal[0].Hart(c.slot), HartReply{});
        ASSERT_TRUE(WaitFor([&] { return !dialogs.shown.empty(); }, 2000));
        EXPECT_EQ(dialogs.shown[0].title, "Error");
        return;
    }
    EXPECT_EQ(Lines(h.LstReceive), c.lines);
}

const std::string kFinish = "Hart ProcessStatus: FINISH";
const std::string kNoError = "HART ErrorCode: 0 , No Error";

INSTANTIATE_TEST_SUITE_P(
    Replies, HartUpdateTest,
    ::testing::Values(
        UpdateCase{"Data",
                   3,
                   2,
                   0,
                   10,
                   {kFinish, kNoError, "HART Response Data:",
                    "0x00 0x01 0x02 0x03 0x04 0x05 0x06 0x07 ", "0x08 0x09 "}},
        UpdateCase{"Processing", 0, 1, 0, 10, {"Hart ProcessStatus: PROCESSING", kNoError}},
        UpdateCase{"AddressError",
                   7,
                   3,
                   16,
                   10,
                   {"Hart ProcessStatus: ERROR", "HART ErrorCode: 16 , HART Address Error"}},
        UpdateCase{"IdleEightBytes",
                   1,
                   0,
                   0,
                   8,
                   {"Hart ProcessStatus: IDLE", kNoError,
                    "HART Response Data:", "0x00 0x01 0x02 0x03 0x04 0x05 0x06 0x07 ", ""}},
        UpdateCase{"OtherError", 4, 2, 13, 10, {kFinish, "HART ErrorCode: 13 , Other Error"}},
        UpdateCase{"ShortestReply",
                   2,
                   2,
                   0,
                   10,
                   {kFinish, kNoError, "HART Response Data:",
                    "0x00 0x01 0x02 0x03 0x04 0x05 0x06 0x07 ", "0x08 0x09 "},
                   501},
        UpdateCase{"LongerThanTheRecord", 6, 2, 0, 600, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The monitor around an Update ----------------------------------------------------

struct MonitorCase {
    const char* name;
    bool monitorOn;
    void (frmMain::*duringWait)();  // nullptr: nothing happens meanwhile
    bool runningAfter;
};

class HartMonitorTest : public HartTest, public ::testing::WithParamInterface<MonitorCase> {};

TEST_P(HartMonitorTest, UpdatePausesTheMonitorAndResumesOnlyALiveOne) {
    const MonitorCase& c = GetParam();
    frmHart& h = OpenOnline();
    if (c.monitorOn) window->mnuTimerEnable_Click();
    nxsim::FaultRule slow;
    slow.function = 4;
    slow.addressFirst = 0x1400;
    slow.kind = nxsim::FaultKind::Delay;
    slow.delayMs = 200;
    sim.addFault(slow);
    bool runningMeanwhile = true;
    QTimer::singleShot(50, [&] {
        runningMeanwhile = window->Timer1.Enabled();
        if (c.duringWait) (window.get()->*c.duringWait)();
    });
    h.cmdUpdate.PerformClick();
    EXPECT_FALSE(runningMeanwhile);
    EXPECT_EQ(window->Timer1.Enabled(), c.runningAfter);
    EXPECT_TRUE(h.cmdUpdate.Enabled());
}

INSTANTIATE_TEST_SUITE_P(
    States, HartMonitorTest,
    ::testing::Values(MonitorCase{"On", true, nullptr, true},
                      MonitorCase{"Off", false, nullptr, false},
                      MonitorCase{"SwitchedOff", true, &frmMain::mnuTimerEnable_Click, false},
                      MonitorCase{"Disconnected", true, &frmMain::mnuDisconnect_Click, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// An Update right after a Send: the send's echo and the read's reply may
// arrive in one piece; the reply is taken all the same.
TEST_F(HartTest, UpdateRightAfterSendTakesTheReplyThatCameWithTheEcho) {
    frmHart& h = OpenOnline();
    // The echo of the initial text's mailbox write (10 registers).
    const QByteArray echo = QByteArray::fromHex("0000000000061110020000") + QByteArray(1, 0x0A);
    const QByteArray reply = ReplyArea(2, 0, 2, {0xAB, 0xCD});
    struct Case {
        const char* name;
        QByteArray arrival;  // in place of the read's reply; the echo is held back
    };
    // The held echo that comes with the reply counts as a round trip of the
    // write's give-up time, which the link then waits three times for: that
    // case comes last.
    const Case cases[] = {{"reply alone", reply}, {"echo and reply in one arrival", echo + reply}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.clearFaults();
        nxsim::FaultRule hold;
        hold.function = 16;
        hold.addressFirst = 0x0200;
        hold.kind = nxsim::FaultKind::NoReply;
        sim.addFault(hold);
        nxsim::FaultRule both;
        both.function = 4;
        both.addressFirst = 0x1400;
        both.kind = nxsim::FaultKind::Garbage;
        both.garbage = c.arrival;
        sim.addFault(both);
        h.LstReceive.Clear();
        h.cmdSend.PerformClick();
        h.cmdUpdate.PerformClick();
        const std::vector<std::string> lines = Lines(h.LstReceive);
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0], "Hart ProcessStatus: FINISH");
        EXPECT_EQ(lines[3], "0xAB 0xCD ");
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

// The console shows its captions and list entries whole.
TEST_F(HartTest, ConsoleShowsItsTextsWhole) {
    frmHart& h = OpenOnline();
    h.show();
    for (const auto& f : testsupport::CaptionsThatDoNotFit(&h)) ADD_FAILURE() << f;
}

// An Update whose reply comes 1200 ms late, after its wait: the late reply
// is neither stored as the monitor's image of its shape (the PI image, read
// next) nor listed by a second Update, of slot 5, that waits when it comes.
class HartLateReplyTest : public HartTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HartLateReplyTest, LateReplyIsTakenForNoOtherRequest) {
    const bool secondUpdate = GetParam();  // else the monitor runs
    options.station.netId = kNetId;
    options.liveInputs = false;  // the images stay as they are
    Start();
    ASSERT_TRUE(ConnectAndUpload());  // the monitor's tables get their rows
    window->Timer2.SetEnabled(false);
    window->mnuHart_Click();
    frmHart& h = *window->HartWindow();
    nxsim::FaultRule reply;
    reply.function = 4;
    reply.kind = nxsim::FaultKind::Garbage;
    for (const int slot : {2, 5}) {
        reply.addressFirst = 0x1400 + 0x100 * slot;
        reply.garbage = ReplyArea(2, 0, 2, slot == 2 ? Bytes{0xAB, 0xCD} : Bytes{0x12, 0x34});
        reply.delayMs = slot == 2 ? 1200 : 0;
        sim.addFault(reply);
    }
    window->PollStep = 4;  // the monitor's next read: the PI image, of the reply's shape
    if (!secondUpdate) window->mnuTimerEnable_Click();
    h.LstReceive.AddItem("previous");
    h.CboRec_Slot.SetListIndex(2);
    h.cmdUpdate.PerformClick();
    EXPECT_EQ(Lines(h.LstReceive), std::vector<std::string>{"previous"});
    if (secondUpdate) {
        WaitFor([] { return false; }, 400);  // the late reply comes inside the second wait
        h.CboRec_Slot.SetListIndex(5);
        h.cmdUpdate.PerformClick();
        EXPECT_NE(Lines(h.LstReceive).back(), "0xAB 0xCD ");
    }
    // Until the monitor ran a while after the late reply, the images hold
    // the station's values whenever events ran.
    bool imagesKept = true;
    WaitFor(
        [&] {
            for (int i = 0; i < 128; ++i)
                imagesKept = imagesKept && AIValue[i] == sim.inputRegister(i) &&
                             PIValue[i] == sim.pulseInput(i);
            return false;
        },
        2500);
    EXPECT_TRUE(imagesKept);
    EXPECT_TRUE(dialogs.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Updates, HartLateReplyTest, ::testing::Values(false, true),
                         [](const auto& info) {
                             return std::string(info.param ? "SecondUpdateOfSlot5" : "MonitorOn");
                         });

}  // namespace
