#include "link/TextChannel.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/Upload.h"
#include "platform/WinsockControl.h"
#include "platform/runtime.h"
#include "sequence_support.h"
#include "tests/support/CommaDecimalLocale.h"

namespace {

using nxsim::Channel;
using nxsim::FaultKind;
using nxsim::FaultRule;

int ErrorNumberOf(std::string_view reply) {
    try {
        nxlink::TextReplyToInteger(reply);
    } catch (const rt::RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

// ---- Pure parts --------------------------------------------------------------

TEST(TextReply, NumbersWithBlanksAndFractionsRoundHalfToEven) {
    EXPECT_EQ(nxlink::TextReplyToInteger("17"), 17);
    EXPECT_EQ(nxlink::TextReplyToInteger("  247 "), 247);
    EXPECT_EQ(nxlink::TextReplyToInteger("-1"), -1);
    EXPECT_EQ(nxlink::TextReplyToInteger("2.5"), 2);
    EXPECT_EQ(nxlink::TextReplyToInteger("3.5"), 4);
    EXPECT_EQ(nxlink::TextReplyToInteger("32767"), 32767);
    EXPECT_EQ(nxlink::TextReplyToInteger("-32768"), -32768);
}

TEST(TextReply, TextThatIsNoNumberOrTooLargeIsAConversionError) {
    EXPECT_EQ(ErrorNumberOf("abc"), rt::ErrTypeMismatch);
    EXPECT_EQ(ErrorNumberOf(""), rt::ErrTypeMismatch);
    EXPECT_EQ(ErrorNumberOf("12abc"), rt::ErrTypeMismatch);
    EXPECT_EQ(ErrorNumberOf("1.2.3"), rt::ErrTypeMismatch);
    EXPECT_EQ(ErrorNumberOf("-"), rt::ErrTypeMismatch);
    EXPECT_EQ(ErrorNumberOf("32768"), rt::ErrOverflow);
    EXPECT_EQ(ErrorNumberOf("99999999999999999999"), rt::ErrOverflow);
}

TEST(NetIdText, ValueIsTheLeadingDecimalNumber) {
    EXPECT_EQ(nxlink::NetIdTextForCommand("247"), "247");
    EXPECT_EQ(nxlink::NetIdTextForCommand("17.5x"), "17.5");
    EXPECT_EQ(nxlink::NetIdTextForCommand("1.2.3"), "1.2");
    EXPECT_EQ(nxlink::NetIdTextForCommand("17.0"), "17");
    EXPECT_EQ(nxlink::NetIdTextForCommand("abc"), "0");
    EXPECT_EQ(nxlink::NetIdTextForCommand(""), "0");
    EXPECT_EQ(nxlink::NetIdTextForCommand(" 5"), "0");
}

TEST(NetIdText, LosingTheFocusPutsOneForEmptyOrOutOfRangeValues) {
    EXPECT_EQ(nxlink::TxtNetID_LostFocus(""), "1");
    EXPECT_EQ(nxlink::TxtNetID_LostFocus("0"), "1");
    EXPECT_EQ(nxlink::TxtNetID_LostFocus("300"), "1");
    EXPECT_EQ(nxlink::TxtNetID_LostFocus("248"), "1");
    EXPECT_EQ(nxlink::TxtNetID_LostFocus("abc"), "1");
    EXPECT_EQ(nxlink::TxtNetID_LostFocus("247"), "247");
    EXPECT_EQ(nxlink::TxtNetID_LostFocus("1"), "1");
    EXPECT_EQ(nxlink::TxtNetID_LostFocus("12.5"), "12.5");
}

TEST(TextNumbers, ReadTheDecimalPointWhateverTheProcessLocale) {
    const CommaDecimalLocale comma;
    if (!comma.ok()) GTEST_SKIP() << "no locale with a decimal comma is available";
    EXPECT_EQ(nxlink::TextReplyToInteger("2.6"), 3);
    EXPECT_EQ(nxlink::TextReplyToInteger("17.5"), 18);
    EXPECT_EQ(nxlink::TextReplyToInteger(" -0.7 "), -1);
    EXPECT_EQ(nxlink::NetIdTextForCommand("2.6"), "2.6");
    EXPECT_EQ(nxlink::TxtNetID_LostFocus("247.6"), "1");
}

TEST(KeyFilter, DigitsPointBackspaceAndEnterPassOthersAreDroppedWithABeep) {
    rt::ScriptedDialogs d;
    rt::SetDialogs(&d);
    for (int k : {8, 13, 46, 48, 53, 57}) {
        EXPECT_EQ(nxlink::TxtCtlIP_KeyPress(k), k);
        EXPECT_EQ(nxlink::TxtNetID_KeyPress(k), k);
    }
    EXPECT_EQ(d.beeps, 0);
    for (int k : {97, 90, 45, 32, 44, 47, 58, 127}) {
        EXPECT_EQ(nxlink::TxtCtlIP_KeyPress(k), 0);
        EXPECT_EQ(nxlink::TxtNetID_KeyPress(k), 0);
    }
    EXPECT_EQ(d.beeps, 16);
    rt::SetDialogs(nullptr);
}

// ---- Against the station stand-in ------------------------------------------

class TextChannel : public LinkSequenceTest {
  protected:
    void SetUp() override {
        LinkSequenceTest::SetUp();
        StartStation();
        ConnectOk();
        window.eventLog.clear();
    }
    void ExpectSetNetIdLine(const std::string& tail) {
        ASSERT_EQ(window.eventLog.size(), 1u);
        ASSERT_GE(window.eventLog[0].size(), 8u);
        EXPECT_EQ(window.eventLog[0].substr(8), tail);
        EXPECT_EQ(window.status, window.eventLog[0]);
    }
};

TEST_F(TextChannel, SetNetIdMakesTheStationAnswerAsTheNewUnit) {
    window.netIdText = "17";
    nxlink::CmdSetNetID_Click();
    ExpectSetNetIdLine(" Set Modbus Net ID OK!!");
    EXPECT_EQ(TextRequests(sim), std::vector<std::string>{"19!setnetid 17"});
    EXPECT_EQ(ConfigReal[0].NetID, 17);
    EXPECT_EQ(window.netIdText, "17");
    EXPECT_EQ(sim.netId(), 17);

    // The next Modbus request carries unit 17, and the station answers it.
    sim.clearLog();
    int16_t node = 0;
    nxlink::UploadConfiguration(node);
    const auto frames = sim.received(Channel::Modbus);
    ASSERT_FALSE(frames.empty());
    for (const auto& f : frames) EXPECT_EQ(f.unitId, 17);
    EXPECT_EQ(window.eventLog.back(), "Upload data from NX-4410 finished.");
}

TEST_F(TextChannel, SetNetIdSendsTheThreeDigitsOf247) {
    window.netIdText = "247";
    nxlink::CmdSetNetID_Click();
    const auto received = sim.received(Channel::Text);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].bytes, QByteArray("19!setnetid 247"));
    ExpectSetNetIdLine(" Set Modbus Net ID OK!!");
    EXPECT_EQ(ConfigReal[0].NetID, 247);
}

TEST_F(TextChannel, RefusedOrOutOfRangeAnswersReportTheErrorAndKeepTheNetId) {
    // Refused by the station ("-1").
    window.netIdText = "0";
    nxlink::CmdSetNetID_Click();
    ExpectSetNetIdLine(" Set Modbus Net ID error!!");
    EXPECT_EQ(ConfigReal[0].NetID, 1);
    EXPECT_EQ(window.netIdText, "1");

    // An answer outside 1..247.
    for (const char* answer : {"248", "0"}) {
        window.eventLog.clear();
        FaultRule f;
        f.channel = Channel::Text;
        f.textPrefix = "19!setnetid";
        f.kind = FaultKind::Garbage;
        f.garbage = answer;
        sim.addFault(f);
        window.netIdText = "20";
        nxlink::CmdSetNetID_Click();
        ExpectSetNetIdLine(" Set Modbus Net ID error!!");
        EXPECT_EQ(ConfigReal[0].NetID, 1) << answer;
        EXPECT_EQ(window.netIdText, "1");
    }
    EXPECT_TRUE(Messages().empty());
}

TEST_F(TextChannel, NonNumericAnswerShowsTheConversionError) {
    FaultRule f;
    f.channel = Channel::Text;
    f.textPrefix = "19!setnetid";
    f.kind = FaultKind::Garbage;
    f.garbage = "OK";
    sim.addFault(f);
    window.netIdText = "20";
    nxlink::CmdSetNetID_Click();
    ExpectSetNetIdLine(" Set Modbus Net ID error!!");
    ASSERT_EQ(Messages(), std::vector<std::string>{"Type mismatch"});
    EXPECT_EQ(dialogs.shown[0].title, "Error");
    EXPECT_EQ(ConfigReal[0].NetID, 1);
}

TEST_F(TextChannel, NetIdSentAndReadIsTheSameUnderACommaLocale) {
    const CommaDecimalLocale comma;
    if (!comma.ok()) GTEST_SKIP() << "no locale with a decimal comma is available";
    struct Case {
        const char* box;
        const char* answer;
        const char* sent;
        int16_t stored;
    } cases[] = {{"2.6", "17.5", "19!setnetid 2.6", 18},
                 {"33.25", "32.5", "19!setnetid 33.25", 32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        sim.clearLog();
        window.eventLog.clear();
        FaultRule f;
        f.channel = Channel::Text;
        f.textPrefix = "19!setnetid";
        f.kind = FaultKind::Garbage;
        f.garbage = c.answer;
        sim.addFault(f);
        window.netIdText = c.box;
        nxlink::CmdSetNetID_Click();
        EXPECT_EQ(TextRequests(sim), std::vector<std::string>{c.sent});
        ExpectSetNetIdLine(" Set Modbus Net ID OK!!");
        EXPECT_EQ(ConfigReal[0].NetID, c.stored);
    }
}

TEST_F(TextChannel, SetNetIdDoesNothingWhileDisconnected) {
    nxlink::WskTCP10K().Close();
    window.netIdText = "17";
    const std::string status = window.status;
    nxlink::CmdSetNetID_Click();
    EXPECT_TRUE(window.eventLog.empty());
    EXPECT_EQ(window.status, status);
    PumpFor(50);
    EXPECT_TRUE(TextRequests(sim).empty());
}

TEST_F(TextChannel, ClickDuringAnotherTextWaitDoesNothing) {
    FaultRule f;
    f.channel = Channel::Text;
    f.textPrefix = "19!setnetid";
    f.kind = FaultKind::Delay;
    f.delayMs = 120;
    sim.addFault(f);
    window.netIdText = "33";
    QTimer::singleShot(30, [] { nxlink::CmdSetNetID_Click(); });
    nxlink::CmdSetNetID_Click();
    EXPECT_EQ(TextRequests(sim), std::vector<std::string>{"19!setnetid 33"});
    ExpectSetNetIdLine(" Set Modbus Net ID OK!!");
    EXPECT_EQ(ConfigReal[0].NetID, 33);
}

TEST_F(TextChannel, LateFragmentIsNeverReadWithTheNextAnswer) {
    // The answer "17" comes in two pieces: "1" completes the request, "7"
    // arrives while no request is outstanding and stays queued.
    FaultRule f;
    f.channel = Channel::Text;
    f.textPrefix = "19!setnetid";
    f.kind = FaultKind::Split;
    f.pieces = 2;
    f.delayMs = 40;
    sim.addFault(f);
    window.netIdText = "17";
    nxlink::CmdSetNetID_Click();
    ASSERT_TRUE(WaitFor([] { return nxlink::WskTCP10K().BytesReceived() == 1; }, 2000));
    EXPECT_EQ(nxlink::WskTCP10K().Tag(), nxlink::KeyTextIdle);

    // Read together, "7" and "17" would make 717, out of range.
    window.eventLog.clear();
    window.netIdText = "17";
    nxlink::CmdSetNetID_Click();
    ExpectSetNetIdLine(" Set Modbus Net ID OK!!");
    EXPECT_EQ(ConfigReal[0].NetID, 17);
    EXPECT_EQ(nxlink::WskTCP10K().BytesReceived(), 0u);
}

TEST_F(TextChannel, BytesArrivingWithoutARequestAreLeftForLater) {
    // With the key "-1" no request is outstanding: the handler leaves the
    // bytes queued and the record alone.
    ConfigReal[0].Controller = "";
    FaultRule f;
    f.channel = Channel::Text;
    f.textPrefix = "19!controller";
    f.kind = FaultKind::Delay;
    f.delayMs = 250;
    sim.addFault(f);
    nxlink::SendTextRequest(nxlink::WskTCP10K(), nxlink::KeyTextIdle, "19!controller");
    ASSERT_TRUE(WaitFor([] { return nxlink::WskTCP10K().BytesReceived() > 0; }, 2000));
    PumpFor(20);
    EXPECT_EQ(ConfigReal[0].Controller, "");
    EXPECT_EQ(nxlink::WskTCP10K().GetText(), "NX-4410");
}

}  // namespace
