#include "link/Connection.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <regex>

#include "config/ConfigDefaults.h"
#include "config/NodeConfig.h"
#include "link/TextChannel.h"
#include "link/Upload.h"
#include "platform/WinsockControl.h"
#include "sequence_support.h"
#include "tests/support/LateAnswers.h"

namespace {

using nxsim::Channel;
using nxsim::FaultKind;
using nxsim::FaultRule;
using WS = RecordingWindow::WindowState;

bool StartsWithTimeOfDay(const std::string& line) {
    return std::regex_search(line, std::regex("^[0-9]{2}:[0-9]{2}:[0-9]{2} "));
}

// True when the record holds exactly what the reset to defaults gives.
bool AtDefaults(NodeArray& copy, void (*reset)(int16_t)) {
    const NodeConfig before = copy[0];
    reset(0);
    return copy[0] == before;
}

class Connection : public LinkSequenceTest {
  protected:
    // A Connect that must fail: the one message, both sockets closed, the
    // Connect command offered again, the event log empty, the window not
    // switched to its connected state.
    void ExpectConnectFails(const std::string& message, const std::string& statusText) {
        const WS before = window.state;
        nxlink::mnuConnect_Click();
        ASSERT_EQ(Messages(), std::vector<std::string>{message});
        EXPECT_EQ(dialogs.shown.back().title, "Error");
        EXPECT_EQ(dialogs.shown.back().style, rt::vbOKOnly);
        EXPECT_EQ(window.status, statusText);
        EXPECT_TRUE(window.eventLog.empty());
        EXPECT_TRUE(window.connectEnabled);
        EXPECT_EQ(window.state, before);
        EXPECT_NE(nxlink::WskTCP502().State(), rt::sckConnected);
        EXPECT_NE(nxlink::WskTCP10K().State(), rt::sckConnected);
        EXPECT_FALSE(window.timer2.isActive());
    }
};

// ---- Connect ---------------------------------------------------------------

TEST_F(Connection, ConnectAsksTheThreeQuestionsAndShowsTheConnectedState) {
    nxsim::SimOptions opt;
    opt.station.netId = 5;
    opt.station.controllerName = "NX-4410 Rev B";
    opt.anyUnitId = false;
    StartStation(opt);
    window.eventLog = {"an old line"};

    nxlink::mnuConnect_Click();

    EXPECT_EQ(window.state, WS::Connected);
    EXPECT_FALSE(window.connectEnabled);
    EXPECT_EQ(window.netIdText, "5");
    ASSERT_EQ(window.eventLog.size(), 1u);
    EXPECT_TRUE(StartsWithTimeOfDay(window.eventLog[0])) << window.eventLog[0];
    EXPECT_EQ(window.eventLog[0].substr(8), " Successfully connect with NX-4410.");
    EXPECT_EQ(window.status, window.eventLog[0]);
    EXPECT_EQ(window.statusHistory.front(), "Connecting with NX-4410....");
    EXPECT_TRUE(Messages().empty());

    EXPECT_EQ(TextRequests(sim),
              (std::vector<std::string>{"19!controller", "19!getnetid", "19!getfwver"}));
    EXPECT_TRUE(ModbusRequests(sim).empty()) << "Connect sends nothing on the Modbus channel";

    const NodeConfig& r = ConfigReal[0];
    EXPECT_EQ(r.Controller, "NX-4410 Rev B");
    EXPECT_EQ(r.ControllerPresent, kTrue);
    EXPECT_EQ(r.NetID, 5);
    EXPECT_EQ(r.McuFwVersion, 301);
    EXPECT_EQ(r.TotalSlot, 8);
    EXPECT_GE(window.listFills, 1);
    // The watchdog starts only with the first Upload or Download.
    EXPECT_FALSE(window.timer2.isActive());
    PumpFor(700);
    EXPECT_EQ(TextRequests(sim).size(), 3u) << "no watchdog probe after a bare Connect";
}

TEST_F(Connection, ConnectKeepsALoadedConfigurationApartFromTheAnswers) {
    StartStation();
    ConfigReal[0].Module(3) = "KB-540";
    ConfigReal[0].SlotPresent(3) = kTrue;
    ConfigReal[0].AIChannel(3) = 16;
    ConfigReal[0].TotalSlot = 3;
    ConnectOk();
    EXPECT_EQ(ConfigReal[0].Module(3), "KB-540");
    EXPECT_EQ(ConfigReal[0].AIChannel(3), 16);
    EXPECT_EQ(ConfigReal[0].TotalSlot, 8);
}

TEST_F(Connection, NoListenerOnTheModbusPortFailsWithoutTryingTheTextPort) {
    StartStation();
    nxlink::SetLinkPorts(DeadPort(), sim.textPort());
    // A loaded configuration survives a failed Connect.
    ConfigReal[0].Module(2) = "KB-521";

    QElapsedTimer t;
    t.start();
    ExpectConnectFails("Fail to connect to NX-4410", "Fail to connect to NX-4410");
    EXPECT_LT(t.elapsed(), 6000);
    EXPECT_TRUE(TextRequests(sim).empty());
    EXPECT_EQ(ConfigReal[0].Module(2), "KB-521");
    EXPECT_NE(window.state, WS::Disconnected) << "the refused connection ran Disconnect";
}

TEST_F(Connection, ModbusPortOnlyFailsAndSendsNothing) {
    StartStation();
    nxlink::SetLinkPorts(sim.modbusPort(), DeadPort());
    QElapsedTimer t;
    t.start();
    ExpectConnectFails("Fail to connect to NX-4410", "Fail to connect to NX-4410");
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_TRUE(ModbusRequests(sim).empty());
}

TEST_F(Connection, ControllerRefusingItsNameFails) {
    nxsim::SimOptions opt;
    opt.station.controllerName = "-1";
    StartStation(opt);
    QElapsedTimer t;
    t.start();
    ExpectConnectFails("Fail to get controller name.", "Fail to get controller name.");
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(TextRequests(sim), std::vector<std::string>{"19!controller"});
    EXPECT_NE(ConfigReal[0].ControllerPresent, kTrue);
    EXPECT_EQ(nxlink::WskTCP10K().Tag(), nxlink::KeyController) << "the failed request's key stays";
}

TEST_F(Connection, MissingNetIdAnswerFails) {
    StartStation();
    FaultRule f;
    f.channel = Channel::Text;
    f.textPrefix = "19!getnetid";
    f.kind = FaultKind::NoReply;
    sim.addFault(f);
    QElapsedTimer t;
    t.start();
    ExpectConnectFails("Fail to get Modbus Net ID.", "Fail to get Modbus Net ID.");
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(ConfigReal[0].Controller, "NX-4410");
    EXPECT_EQ(TextRequests(sim), (std::vector<std::string>{"19!controller", "19!getnetid"}));
}

TEST_F(Connection, FirmwareVersionRefusedFailsWithTheUpdateHint) {
    nxsim::SimOptions opt;
    opt.station.fwVersionText = "-1";
    opt.station.netId = 9;
    StartStation(opt);
    QElapsedTimer t;
    t.start();
    ExpectConnectFails(
        "Fail to get MCU firmware version. Please update the MCU FW to v3.00 or later.",
        "Fail to get MCU firmware version.");
    EXPECT_LT(t.elapsed(), 3000);
    // What the first two answers stored stays.
    EXPECT_EQ(ConfigReal[0].Controller, "NX-4410");
    EXPECT_EQ(ConfigReal[0].NetID, 9);
}

TEST_F(Connection, NonNumericNetIdShowsTheConversionErrorThenFails) {
    StartStation();
    FaultRule f;
    f.channel = Channel::Text;
    f.textPrefix = "19!getnetid";
    f.kind = FaultKind::Garbage;
    f.garbage = "one";
    sim.addFault(f);
    nxlink::mnuConnect_Click();
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(dialogs.shown[0].title, "Error");
    EXPECT_EQ(dialogs.shown[0].style, rt::vbCritical);
    EXPECT_EQ(dialogs.shown[0].prompt, "Type mismatch");
    EXPECT_EQ(dialogs.shown[1].prompt, "Fail to get Modbus Net ID.");
    EXPECT_EQ(ConfigReal[0].NetID, 0);
}

TEST_F(Connection, UnusableAddressFailsLikeAMissingStation) {
    StartStation();
    window.ctlIp = "";
    ExpectConnectFails("Fail to connect to NX-4410", "Fail to connect to NX-4410");
}

// ---- The fixtures' retry of Connect ----------------------------------------

// A Connect whose question the stand-in never answers is not tried again:
// the fault hits its one request (a second try would be answered), and the
// fixture fails with that try's box.
struct UnansweredCase {
    const char* command;
    const char* message;
};

class ConnectRetry : public LinkSequenceTest,
                     public ::testing::WithParamInterface<UnansweredCase> {};

TEST_P(ConnectRetry, AQuestionNeverAnsweredIsNotTriedAgain) {
    StartStation();
    FaultRule silent;
    silent.channel = Channel::Text;
    silent.textPrefix = GetParam().command;
    silent.kind = FaultKind::NoReply;
    const int id = sim.addFault(silent);
    EXPECT_FALSE(testsupport::RetryWhenAnsweredLate(sim, Channel::Text, dialogs, [this] {
        nxlink::mnuConnect_Click();
        return window.state == WS::Connected;
    }));
    EXPECT_EQ(sim.faultHits(id), 1);
    EXPECT_EQ(Messages(), std::vector<std::string>{GetParam().message});
}

INSTANTIATE_TEST_SUITE_P(
    Questions, ConnectRetry,
    ::testing::Values(UnansweredCase{"19!controller", "Fail to get controller name."},
                      UnansweredCase{"19!getnetid", "Fail to get Modbus Net ID."},
                      UnansweredCase{
                          "19!getfwver",
                          "Fail to get MCU firmware version. Please update the MCU FW to v3.00 or "
                          "later."}));

// ---- Disconnect ------------------------------------------------------------

TEST_F(Connection, DisconnectClosesResetsAndReturnsTheWindowToItsStartState) {
    StartStation();
    ConnectOk();
    UploadOk();
    window.timer1 = true;
    window.timerEnableChecked = true;
    ConfigReal[0].NMTState(2) = 32;  // kept by the reset
    window.calls.clear();

    nxlink::mnuDisconnect_Click();

    EXPECT_EQ(nxlink::WskTCP502().State(), rt::sckClosed);
    EXPECT_EQ(nxlink::WskTCP10K().State(), rt::sckClosed);
    EXPECT_FALSE(window.timer1);
    EXPECT_FALSE(window.timer2.isActive());
    EXPECT_TRUE(AtDefaults(ConfigReal, SetConfigRealToDefault));
    EXPECT_TRUE(AtDefaults(ConfigSetting, SetConfigSettingToDefault));
    EXPECT_EQ(ConfigReal[0].Module(3), "");
    EXPECT_EQ(ConfigReal[0].UserDefHRange(2, 0), 10000);
    EXPECT_EQ(ConfigSetting[0].UserDefHRange(2, 0), 0);
    EXPECT_EQ(ConfigReal[0].NMTState(2), 32);
    EXPECT_EQ(window.state, WS::Disconnected);
    EXPECT_TRUE(window.connectEnabled);
    EXPECT_FALSE(window.rackShown);
    EXPECT_EQ(window.optPower0Clicks, 1);
    EXPECT_FALSE(window.optPower0Selected);
    EXPECT_EQ(window.status, "Disconnect with NX-4410");
    EXPECT_EQ(window.caption, " NX-4410 Utility  ver 1.0.0 ");
    EXPECT_TRUE(window.eventLog.empty());
    EXPECT_EQ(window.scopeUnloads, 1);
    EXPECT_TRUE(Messages().empty());

    // The lists are refilled from the reset record, and the event log is
    // emptied only after the status line was written.
    auto at = [&](const std::string& call) {
        return std::find(window.calls.begin(), window.calls.end(), call) - window.calls.begin();
    };
    EXPECT_LT(at("FillMappingAndSummaryLists(0)"), at("ShowDisconnectedState"));
    EXPECT_LT(at("SetStatusText"), at("ClearEventLog"));
    EXPECT_LT(at("SetOptPower0Selected(1)"), at("SetOptPower0Selected(0)"));
}

TEST_F(Connection, DisconnectTwiceAndWithoutConnectionEndInTheSameState) {
    nxlink::mnuDisconnect_Click();
    const NodeConfig real = ConfigReal[0];
    const NodeConfig setting = ConfigSetting[0];
    const std::string status = window.status;
    EXPECT_EQ(window.state, WS::Disconnected);

    StartStation();
    ConnectOk();
    nxlink::mnuDisconnect_Click();
    nxlink::mnuDisconnect_Click();
    EXPECT_TRUE(ConfigReal[0] == real);
    EXPECT_TRUE(ConfigSetting[0] == setting);
    EXPECT_EQ(window.status, status);
    EXPECT_EQ(window.state, WS::Disconnected);
    EXPECT_TRUE(window.eventLog.empty());
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(nxlink::WskTCP502().State(), rt::sckClosed);
}

TEST_F(Connection, ErrorEventShowsTheDescriptionAndDisconnects) {
    StartStation();
    ConnectOk();
    nxlink::WskTCP502_Error(10054, "Connection is reset by remote side");
    ASSERT_EQ(Messages(), std::vector<std::string>{"Connection is reset by remote side"});
    EXPECT_EQ(dialogs.shown[0].title, "");
    EXPECT_EQ(window.state, WS::Disconnected);
    EXPECT_NE(nxlink::WskTCP502().State(), rt::sckConnected);
}

// ---- Watchdog --------------------------------------------------------------

TEST_F(Connection, WatchdogKeepsTheLinkBusyWhileTheMonitorIsOff) {
    StartStation();
    ConnectOk();
    UploadOk();
    EXPECT_TRUE(window.timer2.isActive()) << "Upload starts the watchdog";

    ASSERT_TRUE(WaitFor([&] { return TextRequests(sim).size() >= 2; }, 3000));
    const auto keepAlives = sim.received(Channel::Modbus);
    ASSERT_FALSE(keepAlives.empty());
    EXPECT_EQ(HexBytes(keepAlives[0].bytes), "00 00 00 00 00 06 01 04 01 00 00 09");
    for (const std::string& t : TextRequests(sim)) EXPECT_EQ(t, "19!controller");
    EXPECT_EQ(window.state, WS::Connected);
    EXPECT_TRUE(Messages().empty());

    // With the monitor running the watchdog sends nothing on the Modbus
    // channel, and it never sends while another routine waits for a reply.
    window.timer1 = true;
    PumpFor(50);
    sim.clearLog();
    ASSERT_TRUE(WaitFor([&] { return TextRequests(sim).size() >= 2; }, 3000));
    EXPECT_TRUE(ModbusRequests(sim).empty());
    EXPECT_TRUE(window.timer2.isActive());
}

// A reply that answers no request outstanding stores nothing, whatever key
// is current: here a controller status nobody asked for, right behind the
// keep-alive's reply, whose key "4" its own reply leaves in place.
TEST_F(Connection, ReplyThatNobodyAskedForStoresNothing) {
    StartStation();
    ConnectOk();
    UploadOk();
    const auto reply = [](int quantity, uint16_t last) {
        QByteArray r(9 + 2 * quantity, '\0');
        r[5] = static_cast<char>(3 + 2 * quantity);
        r[6] = 1;
        r[7] = 4;
        r[8] = static_cast<char>(2 * quantity);
        r[r.size() - 1] = static_cast<char>(last);
        return r;
    };
    FaultRule f;
    f.function = 4;
    f.addressFirst = 0x100;  // the keep-alive
    f.kind = FaultKind::Garbage;
    f.garbage = reply(9, 0) + reply(42, 99);  // its reply, then a status with timeout 99
    const int rule = sim.addFault(f);
    ASSERT_TRUE(WaitFor([&] { return sim.faultHits(rule) == 1; }, 3000));
    PumpFor(300);
    EXPECT_EQ(ConfigReal[0].TcpTimeout, 0);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(Connection, UnansweredProbeStopsProbingButNotWatching) {
    StartStation();
    ConnectOk();
    FaultRule f;
    f.channel = Channel::Text;
    f.textPrefix = "19!controller";
    f.kind = FaultKind::NoReply;
    f.count = -1;
    sim.addFault(f);
    UploadOk();
    PumpFor(1800);
    EXPECT_EQ(TextRequests(sim).size(), 1u) << "one probe, then none while it is unanswered";
    EXPECT_EQ(window.state, WS::Connected);
    EXPECT_TRUE(window.timer2.isActive());
    // A lost connection is still found.
    sim.stop();
    EXPECT_TRUE(WaitFor([&] { return window.state == WS::Disconnected; }, 3000));
}

TEST_F(Connection, WatchdogDisconnectsWhenTheModbusConnectionDrops) {
    StartStation();
    ConnectOk();
    UploadOk();
    FaultRule f;
    f.channel = Channel::Modbus;
    f.function = 4;
    f.addressFirst = 0x0100;
    f.kind = FaultKind::CloseConnection;
    sim.addFault(f);
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(WaitFor([&] { return window.state == WS::Disconnected; }, 4000));
    // The drop happens at the next tick (at most 500 ms); it is found
    // within a second of it.
    EXPECT_LT(t.elapsed(), 2500);
    EXPECT_FALSE(window.timer2.isActive());
    EXPECT_TRUE(AtDefaults(ConfigReal, SetConfigRealToDefault));
    EXPECT_TRUE(AtDefaults(ConfigSetting, SetConfigSettingToDefault));
    EXPECT_EQ(nxlink::WskTCP10K().State(), rt::sckClosed);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(Connection, WatchdogDisconnectsWhenTheTextConnectionDrops) {
    StartStation();
    ConnectOk();
    UploadOk();
    FaultRule f;
    f.channel = Channel::Text;
    f.textPrefix = "19!controller";
    f.kind = FaultKind::CloseConnection;
    sim.addFault(f);
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(WaitFor([&] { return window.state == WS::Disconnected; }, 4000));
    EXPECT_LT(t.elapsed(), 2500);
    EXPECT_TRUE(AtDefaults(ConfigReal, SetConfigRealToDefault));
    EXPECT_EQ(nxlink::WskTCP502().State(), rt::sckClosed);
}

TEST_F(Connection, LinkIsUsableAgainAfterTheWatchdogDisconnected) {
    StartStation();
    ConnectOk();
    UploadOk();
    sim.stop();
    ASSERT_TRUE(WaitFor([&] { return window.state == WS::Disconnected; }, 3000));
    StartStation();
    ConnectOk();
    UploadOk();
    EXPECT_EQ(ConfigReal[0].Module(3), "KB-540");
}

}  // namespace
