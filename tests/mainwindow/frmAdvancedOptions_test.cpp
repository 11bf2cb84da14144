// The advanced-options window against the station stand-in: the read at
// opening, the set command byte for byte, the range check and the answers.
#include "mainwindow/frmAdvancedOptions.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>

#include "mainwindow_support.h"

namespace {

constexpr const char* kNotConnected = "Not currently connected";
constexpr const char* kRange = "TCP Timeout value must be between 5 and 3600";
constexpr const char* kSuccess = "Setting successful. Please restart the GW-7010 power.";
constexpr const char* kTimeout = "Setting timeout.";

class AdvancedOptionsTest : public testsupport::OnlineWindowTest {
  protected:
    // Connected to a station with Net ID 17 and a timeout of 300 s; the
    // window opened with its read of the station answered (a try that the
    // stand-in answered late is made again), and the request log emptied
    // before that read.
    frmAdvancedOptions& OpenOnline() {
        options.station.netId = 17;
        options.station.tcpTimeout = 300;
        Start();
        EXPECT_TRUE(Connect());
        return OpenAdvancedOptions([this] { sim.clearLog(); });
    }
    QVector<QByteArray> Requests() {
        QVector<QByteArray> out;
        for (const auto& e : sim.received(nxsim::Channel::Modbus)) out.push_back(e.bytes);
        return out;
    }
};

TEST_F(AdvancedOptionsTest, OpeningReadsTheStatusBlockAndShowsTheTimeout) {
    frmAdvancedOptions& w = OpenOnline();
    EXPECT_EQ(Requests(), QVector<QByteArray>{QByteArray::fromHex("00000000000611040200002A")});
    EXPECT_EQ(w.txtStringTcpTimeout.Text(), "300");
    EXPECT_TRUE(w.Frame_GW7010.Enabled());
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(dialogs.shown.empty());
    // Opening it again only brings it back: nothing is read.
    window->mnuAdvancedOptions_Click();
    EXPECT_EQ(window->AdvancedOptionsWindow(), &w);
    EXPECT_EQ(Requests().size(), 1);
}

// Offline, and online with a station that does not answer within 100 ms.
class AdvancedOptionsUnreadTest : public AdvancedOptionsTest,
                                  public ::testing::WithParamInterface<bool> {};

TEST_P(AdvancedOptionsUnreadTest, OpeningWithoutAnAnswerDisablesTheFrame) {
    if (GetParam()) {
        Start();
        ASSERT_TRUE(Connect());
        nxsim::FaultRule silent;
        silent.function = 4;
        silent.addressFirst = 0x0200;
        silent.count = -1;
        sim.addFault(silent);
    } else {
        Open();
    }
    dialogs.shown.clear();
    dialogs.AnswerMsgBox(rt::vbOK);
    window->mnuAdvancedOptions_Click();
    frmAdvancedOptions& w = *window->AdvancedOptionsWindow();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, kNotConnected);
    EXPECT_EQ(dialogs.shown[0].title, "");
    EXPECT_FALSE(w.Frame_GW7010.Enabled());
    EXPECT_EQ(w.txtStringTcpTimeout.Text(), "60");
}

INSTANTIATE_TEST_SUITE_P(OfflineAndSilent, AdvancedOptionsUnreadTest, ::testing::Bool());

// The fixture's retry: a read that the stand-in answered late (after the
// read's wait) is made again, its box forgotten. (The first try takes the
// late reply itself when this thread got no time for longer than the delay.)
TEST_F(AdvancedOptionsTest, AReadAnsweredLateIsMadeAgain) {
    options.station.tcpTimeout = 300;
    Start();
    ASSERT_TRUE(Connect());
    nxsim::FaultRule late;
    late.kind = nxsim::FaultKind::Delay;
    late.function = 4;
    late.addressFirst = 0x0200;
    late.delayMs = 600;
    const int id = sim.addFault(late);
    frmAdvancedOptions& w = OpenAdvancedOptions();
    EXPECT_EQ(sim.faultHits(id), 1);
    EXPECT_TRUE(w.Frame_GW7010.Enabled());
    EXPECT_EQ(w.txtStringTcpTimeout.Text(), "300");
    EXPECT_TRUE(dialogs.shown.empty());
}

struct SetCase {
    const char* typed;
    int sent;  // the seconds in the set command; -1: nothing is sent
};

class AdvancedOptionsSetTest : public AdvancedOptionsTest,
                               public ::testing::WithParamInterface<SetCase> {};

TEST_P(AdvancedOptionsSetTest, SetSendsTheRoundedValueOrRefusesIt) {
    const SetCase& c = GetParam();
    frmAdvancedOptions& w = OpenOnline();
    sim.clearLog();
    w.txtStringTcpTimeout.SetText(c.typed);
    dialogs.AnswerMsgBox(rt::vbOK);
    w.cmdAdvOptSet.PerformClick();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(w.cmdAdvOptSet.Enabled());
    EXPECT_EQ(w.txtStringTcpTimeout.Text(), c.typed);
    if (c.sent < 0) {
        EXPECT_EQ(dialogs.shown[0].prompt, kRange);
        EXPECT_TRUE(Requests().isEmpty());
        EXPECT_EQ(sim.station().tcpTimeout, 300);
        return;
    }
    EXPECT_EQ(dialogs.shown[0].prompt, kSuccess);
    QByteArray frame = QByteArray::fromHex("00000000000D1110900000030600100000");
    frame.append(static_cast<char>(c.sent >> 8)).append(static_cast<char>(c.sent & 0xFF));
    EXPECT_EQ(Requests(), QVector<QByteArray>{frame});
    EXPECT_EQ(sim.station().tcpTimeout, c.sent);
    // The window keeps what was typed; a new window reads what the station has.
    w.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(OpenAdvancedOptions().txtStringTcpTimeout.Text(), std::to_string(c.sent));
}

INSTANTIATE_TEST_SUITE_P(Values, AdvancedOptionsSetTest,
                         ::testing::Values(SetCase{"5", 5}, SetCase{"3600", 3600},
                                           SetCase{" 60.5 ", 60}, SetCase{"61.5", 62},
                                           SetCase{"4.9", -1}, SetCase{"3600.1", -1},
                                           SetCase{"-60", -1}, SetCase{"", -1}, SetCase{"60s", -1},
                                           SetCase{"abc", -1}));

TEST_F(AdvancedOptionsTest, SetReportsTimeoutForSilenceAndRefusalAndNeedsAConnection) {
    frmAdvancedOptions& w = OpenOnline();
    for (nxsim::FaultKind kind : {nxsim::FaultKind::NoReply, nxsim::FaultKind::Exception}) {
        nxsim::FaultRule rule;
        rule.function = 16;
        rule.addressFirst = 0x9000;
        rule.kind = kind;
        sim.addFault(rule);
        dialogs.AnswerMsgBox(rt::vbOK);
        w.cmdAdvOptSet.PerformClick();
        EXPECT_EQ(dialogs.shown.back().prompt, kTimeout);
    }
    EXPECT_EQ(sim.station().tcpTimeout, 300);
    window->mnuDisconnect_Click();
    sim.clearLog();
    dialogs.AnswerMsgBox(rt::vbOK);
    w.cmdAdvOptSet.PerformClick();
    EXPECT_EQ(dialogs.shown.back().prompt, kNotConnected);
    EXPECT_TRUE(Requests().isEmpty());
    EXPECT_TRUE(w.cmdAdvOptSet.Enabled());
}

}  // namespace
