// The live monitor in the real window against the station stand-in: the
// requests of the eight poll steps, the value and summary texts, switching
// on and off, the interval box, and a monitor that something switches off
// inside a tick.
#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QTimer>
#include <functional>
#include <optional>
#include <set>

#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "mainwindow/frmMain.h"
#include "mainwindow_support.h"

namespace {

using testsupport::MainWindowTest;
using testsupport::OnlineWindowTest;
using testsupport::WaitFor;

class MonitorTest : public OnlineWindowTest {
  protected:
    // A value text expected in a mapping row.
    struct Shown {
        ui::ListView* list;
        const char* row;
        const char* text;
    };
    // Connect and Upload; the watchdog is stopped so that only the monitor
    // talks to the station, and the log starts empty.
    void GoOnline() {
        Start();
        ASSERT_TRUE(ConnectAndUpload());
        window->Timer2.SetEnabled(false);
        sim.clearLog();
    }
    // One tick (once no reply is owed: a tick drops while one is), then
    // until the reply of an image request was handled.
    void Tick() {
        WaitFor([] { return !nxlink::ModbusGateBusy(nxlink::WskTCP502()); }, 3000);
        window->Timer1_Timer();
        WaitFor([&] { return window->WskTCP502.Tag() != "1" && window->WskTCP502.Tag() != "2"; },
                3000);
    }
    QVector<QByteArray> Requests() {
        QVector<QByteArray> out;
        for (const auto& e : sim.received(nxsim::Channel::Modbus)) out.push_back(e.bytes);
        return out;
    }
};

// ---- Requests and the cycle ------------------------------------------------------

struct StationCase {
    const char* name;
    std::function<void(nxsim::StationConfig&)> build;
    std::vector<int> sent;  // steps whose requests go out; 6 and 60 are 6a, 6b
};

class MonitorCycleTest : public MonitorTest, public ::testing::WithParamInterface<StationCase> {};

TEST_P(MonitorCycleTest, EightTicksSendTheRequestsOfTheStepsWhoseTablesHaveRows) {
    // Net ID 17: byte 6 of every request.
    const std::pair<int, const char*> kFrames[] = {
        {0, "000000000006110200000100"}, {1, "000000000006110100000100"},
        {2, "000000000006110400000080"}, {3, "000000000006110300000080"},
        {4, "000000000006110400800100"}, {5, "000000000006110301000100"},
        {6, "000000000006110402400078"}, {60, "00000000000611040200002A"}};
    options.station.netId = 17;
    GetParam().build(options.station);
    GoOnline();
    QVector<QByteArray> expected;
    for (const auto& [step, hex] : kFrames)
        if (std::find(GetParam().sent.begin(), GetParam().sent.end(), step) !=
            GetParam().sent.end())
            expected.push_back(QByteArray::fromHex(hex));
    for (int tick = 0; tick < 8; ++tick) {
        ASSERT_EQ(window->PollStep, tick);
        Tick();
        // Every reply was taken: the 128- and 256-register reads too.
        EXPECT_EQ(window->WskTCP502.Tag(), "0") << tick;
        EXPECT_TRUE(window->Timer1.Enabled()) << tick;
    }
    EXPECT_EQ(window->PollStep, 0);
    EXPECT_EQ(Requests(), expected);
    // The ninth tick starts the next cycle.
    Tick();
    EXPECT_EQ(Requests().size(), expected.size() + 1);
    EXPECT_EQ(Requests().back(), expected.front());
    EXPECT_TRUE(dialogs.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Stations, MonitorCycleTest,
    ::testing::Values(StationCase{"Full", [](nxsim::StationConfig&) {}, {0, 1, 2, 3, 4, 5, 6, 60}},
                      StationCase{"DigitalOnly",
                                  [](nxsim::StationConfig& st) {
                                      st = nxsim::StationConfig::Empty();
                                      st.setModule(0, 0x0001);
                                      st.setModule(3, 0x0010);
                                      st.netId = 17;
                                  },
                                  {0, 1, 6, 60}},
                      // No controller version: no controller row, no controller request.
                      StationCase{"NoControllerRow",
                                  [](nxsim::StationConfig& st) { st.mcuVersion = 0; },
                                  {0, 1, 2, 3, 4, 5, 6}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Value texts ------------------------------------------------------------------

TEST_F(MonitorTest, MappingTablesShowTheValuesOfThePreviousReplies) {
    GoOnline();
    sim.setLiveInputs(false);
    sim.setDiscreteInput(0, true);
    sim.setDiscreteInput(1, false);
    sim.setInputRegister(32, 10000);   // slot 2, 4..20 mA
    sim.setInputRegister(33, -2500);   // its bottom
    sim.setInputRegister(48, 10001);   // slot 3, thermocouple above its span
    sim.setInputRegister(49, -1);      // and below
    sim.setInputRegister(112, 10000);  // slot 7, 1..5 V
    sim.setPulseInput(80, -1);         // slot 5, channels 0 and 1
    sim.setPulseInput(81, 12345);
    // The outputs through the tables' own writes.
    struct Write {
        ui::ListView* list;
        const char* row;
        std::optional<std::string> answer;
    };
    const Write writes[] = {{&window->lvwDOMapping, "032 [020]", std::nullopt},
                            {&window->lvwAOMapping, "064 [040]", "5"},
                            {&window->lvwPOMapping, "448 [1C0]", "FFFFFFFF"},
                            {&window->lvwPOMapping, "450 [1C2]", "1A2B"}};
    for (const Write& w : writes) {
        if (w.answer) dialogs.AnswerInput(w.answer);
        w.list->FindItem(w.row)->SetSelected(true);
        w.list->DblClick();
    }
    ASSERT_TRUE(WaitFor([&] { return sim.pulseOutput(97) == 0x1A2B && sim.coil(32); }, 3000));

    // The second cycle reads what the writes left, the third shows it.
    for (int tick = 0; tick < 24; ++tick) Tick();
    const Shown shown[] = {{&window->lvwDIMapping, "000 [000]", "ON"},
                           {&window->lvwDIMapping, "001 [001]", "OFF"},
                           {&window->lvwDOMapping, "032 [020]", "ON"},
                           {&window->lvwDOMapping, "033 [021]", "OFF"},
                           {&window->lvwAIMapping, "032 [020]", "20.000"},
                           {&window->lvwAIMapping, "033 [021]", "0.000"},
                           {&window->lvwAIMapping, "048 [030]", "9999.9"},
                           {&window->lvwAIMapping, "049 [031]", "-9999.9"},
                           {&window->lvwAIMapping, "112 [070]", "5.000"},
                           {&window->lvwAOMapping, "064 [040]", "5.000"},
                           {&window->lvwAOMapping, "065 [041]", "1.000"},
                           {&window->lvwPIMapping, "288 [120]", "-1"},
                           {&window->lvwPIMapping, "290 [122]", "12345"},
                           {&window->lvwPOMapping, "448 [1C0]", "0xFFFFFFFF"},
                           {&window->lvwPOMapping, "450 [1C2]", "0x1A2B"},
                           {&window->lvwPOMapping, "452 [1C4]", "0x0"}};
    for (const Shown& s : shown) EXPECT_EQ(s.list->FindItem(s.row)->SubItem(4), s.text) << s.row;
    EXPECT_TRUE(dialogs.AllAnswersUsed());
}

// The monitor switched on from the toolbar runs on its own timer and follows
// the moving inputs; the button menu switches it off.
TEST_F(MonitorTest, MonitorOnTheTimerFollowsTheMovingInputs) {
    GoOnline();
    ui::ToolbarButton& button = window->Toolbar.Buttons("Monitor");
    button.PerformClick();
    EXPECT_TRUE(window->mnuTimerEnable.Checked());
    EXPECT_EQ(button.Image(), 10);
    EXPECT_EQ(button.ButtonMenus(1).Text(), "Disable");
    EXPECT_EQ(window->Timer1.Interval(), 100);
    ui::ListItem ai = *window->lvwAIMapping.FindItem("032 [020]");
    ui::ListItem pi = *window->lvwPIMapping.FindItem("288 [120]");
    ASSERT_TRUE(WaitFor([&] { return !ai.SubItem(4).empty(); }, 10000));
    const std::string first = ai.SubItem(4);
    const long firstCount = std::stol(pi.SubItem(4).empty() ? "0" : pi.SubItem(4));
    EXPECT_TRUE(WaitFor([&] { return ai.SubItem(4) != first; }, 10000));
    EXPECT_TRUE(WaitFor([&] { return std::stol("0" + pi.SubItem(4)) > firstCount; }, 10000));
    EXPECT_NE(window->lvwIOMSummary.ListItems(1).SubItem(3), "");
    EXPECT_EQ(window->lvwMCUSummary.ListItems(1).SubItem(3), "Master MCU");

    window->Toolbar.ButtonMenuClick(button.ButtonMenus(1));
    EXPECT_FALSE(window->mnuTimerEnable.Checked());
    EXPECT_FALSE(window->Timer1.Enabled());
    EXPECT_EQ(button.Image(), 9);
    EXPECT_EQ(button.ButtonMenus(1).Text(), "Enable");
    EXPECT_TRUE(dialogs.shown.empty());
}

// ---- Summary texts -----------------------------------------------------------------

TEST_F(MonitorTest, SummariesShowTheStatusOfTheirStep) {
    // Redundancy modes come with the Upload.
    options.station.slot[1].redundancy = 0x0100;
    options.station.slot[2].redundancy = 0x0200;
    GoOnline();
    struct Round {
        std::function<void(nxsim::StationConfig&)> set;
        int row;                         // module summary slot, or -1 for the controller
        std::vector<const char*> texts;  // sub-items 3 on
    };
    const auto slot = [](int s, uint16_t nmt, uint16_t duplex) {
        return [=](nxsim::StationConfig& st) {
            st.slot[s].nmtState = nmt;
            st.slot[s].duplexStatus = duplex;
        };
    };
    const auto mcu = [](uint16_t role, uint16_t other, uint16_t can, uint16_t pwm, uint16_t dip,
                        uint32_t light, uint32_t heavy) {
        return [=](nxsim::StationConfig& st) {
            st.mcuRole = role;
            st.otherMcu = other;
            st.canStatus = can;
            st.pwmStatus = pwm;
            st.dipSwitch = dip;
            st.lightFault = light;
            st.heavyFault = heavy;
        };
    };
    const Round rounds[] = {
        {[](nxsim::StationConfig& st) {
             st.slot[0].nmtState = 1;
             st.slot[0].lightEmcy = 0x1E2;
             st.slot[0].heavyEmcy = 0xFFFFFFFF;
             st.slot[0].underLow = 3;
             st.slot[0].underLowLow = 0xABCD;
             st.slot[0].exceedHigh = 0x7FFF;
             st.slot[0].exceedHighHigh = 0;
             st.slot[0].chBroken = 0x1E2;
         },
         0,
         {"EMPTY", "SINGLE", "INITIAL", "0x000001E2", "0xFFFFFFFF", "0x0003", "0xABCD", "0x7FFF",
          "0x0000", "0x000001E2"}},
        {slot(1, 2, 1), 1, {"HALT", "DUPLEX", "MASTER"}},
        {slot(2, 4, 5), 2, {"BOOTUP_OK", "ERROR", "MASTER"}},
        {slot(3, 8, 2), 3, {"FW_UPDATE", "SINGLE", "SLAVE"}},
        {slot(4, 16, 3), 4, {"PREOPERATION", "SINGLE", "ERROR"}},
        {slot(5, 32, 0x0105), 5, {"OPERATION", "SINGLE", "MASTER"}},
        {slot(6, 64, 0x0100), 6, {"STOP", "SINGLE", "INITIAL"}},
        {slot(7, 0, 0), 7, {"ERROR"}},
        {slot(7, 99, 0), 7, {"ERROR"}},
        {mcu(32, 0, 0x1F, 3, 0x123, 0x1E2, 0xFFFFFFFF),
         -1,
         {"Master MCU", "NO MCU", "0x1F", "0x03", "0x123", "0x000001E2", "0xFFFFFFFF"}},
        {mcu(33, 1, 0xFFFF, 0, 0, 0, 0),
         -1,
         {"Slave MCU", "MCU Timeout", "0xFFFF", "0x00", "0x00", "0x00000000", "0x00000000"}},
        {mcu(7, 2, 0, 0, 0, 0, 0), -1, {"ERROR", "MCU Undefine"}},
        {mcu(32, 16, 0, 0, 0, 0, 0), -1, {"Master MCU", "MCU LIVE"}},
        {mcu(32, 3, 0, 0, 0, 0, 0), -1, {"Master MCU", "ERROR"}},
    };
    for (size_t r = 0; r < std::size(rounds); ++r) {
        sim.updateStation(rounds[r].set);
        window->PollStep = 6;
        Tick();
        EXPECT_EQ(window->PollStep, 7);
        ui::ListItem row = rounds[r].row < 0 ? window->lvwMCUSummary.ListItems(1)
                                             : window->lvwIOMSummary.ListItems(rounds[r].row + 1);
        for (size_t i = 0; i < rounds[r].texts.size(); ++i)
            EXPECT_EQ(row.SubItem(3 + static_cast<int>(i)), rounds[r].texts[i])
                << "round " << r << ", sub-item " << 3 + i;
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

// ---- Rows the refresh cannot find ----------------------------------------------------

TEST_F(MonitorTest, ChannelsWithoutARowAreSkippedSilently) {
    GoOnline();
    // Counts beyond the tables' rows: slot 2 has 8 rows, slot 7's window
    // ends at register 127, slot 0's at bit 31.
    ConfigReal[0].AIChannel[2] = 12;
    ConfigReal[0].AIChannel[7] = 20;
    ConfigReal[0].DIChannel[0] = 40;
    ConfigReal[0].POChannel[6] = 17;
    for (int tick = 0; tick < 16; ++tick) Tick();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(window->PollStep, 0);
    EXPECT_TRUE(window->Timer1.Enabled());
    EXPECT_NE(window->lvwAIMapping.FindItem("119 [077]")->SubItem(4), "");
    EXPECT_NE(window->lvwDIMapping.FindItem("031 [01F]")->SubItem(4), "");
}

// ---- Switched off inside a tick ---------------------------------------------------------

// Disconnect (clicked inside step 6's wait) or a link that the station drops
// there, at once or some time after request 6a: the monitor is off after the
// tick and stays off, also after a new Connect. A dropped link takes the one
// way offline: no message, no request on the closed socket.
TEST_F(MonitorTest, MonitorSwitchedOffInsideTheStatusWaitStaysOff) {
    Start();
    for (const int dropAfterMs : {-1, 0, 5, 50, 90}) {
        SCOPED_TRACE(dropAfterMs < 0 ? "Disconnect"
                                     : "dropped after " + std::to_string(dropAfterMs) + " ms");
        ASSERT_TRUE(ConnectAndUpload());
        window->Timer2.SetEnabled(false);
        window->mnuTimerEnable_Click();
        ASSERT_TRUE(window->Timer1.Enabled());
        window->PollStep = 6;
        dialogs.shown.clear();
        sim.clearFaults();
        if (dropAfterMs >= 0) {
            nxsim::FaultRule close;
            close.function = 4;
            close.addressFirst = 0x240;
            close.kind = nxsim::FaultKind::CloseConnection;
            close.delayMs = dropAfterMs;
            sim.addFault(close);
        } else {
            QTimer::singleShot(0, [&] { window->Toolbar.Buttons("Disconnect").PerformClick(); });
        }
        sim.clearLog();
        window->Timer1_Timer();

        EXPECT_FALSE(window->Timer1.Enabled());
        EXPECT_FALSE(window->mnuTimerEnable.Checked());
        EXPECT_EQ(window->Toolbar.Buttons(6).Image(), 9);
        EXPECT_EQ(window->Toolbar.Buttons(6).ButtonMenus(1).Text(), "Enable");
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_TRUE(window->Toolbar.Buttons(1).Enabled());
        EXPECT_EQ(window->txtStatus.Text(), "Disconnect with NX-4410");
        if (dropAfterMs >= 0) {
            EXPECT_EQ(Requests().size(), 1) << "request 6b went out on the closed link";
        }
        // Connected again, nothing polls.
        sim.clearFaults();
        ASSERT_TRUE(Connect());
        sim.clearLog();
        EXPECT_FALSE(WaitFor([&] { return !Requests().empty(); }, 500));
        EXPECT_FALSE(window->Timer1.Enabled());
        window->Toolbar.Buttons("Disconnect").PerformClick();
    }
}

// ---- A slow station -----------------------------------------------------------------

// Every reply 150 ms late, the monitor on its 100 ms timer: at most one
// request on the wire at a time, each value column shows what its own reply
// carried, no message, and a DO toggle acts on the coil's reported state.
TEST_F(MonitorTest, SlowStationGetsOneRequestAtATimeAndEveryColumnItsOwnReply) {
    GoOnline();
    sim.setLiveInputs(false);
    sim.setDiscreteInput(0, true);
    sim.setDiscreteInput(1, false);
    sim.setCoil(32, true);
    sim.setInputRegister(32, 10000);  // 20 mA
    sim.updateStation([](nxsim::StationConfig& st) {
        st.slot[0].nmtState = 64;
        st.mcuRole = 33;
    });
    nxsim::FaultRule late;
    late.kind = nxsim::FaultKind::Delay;
    late.delayMs = 150;
    late.count = -1;
    sim.addFault(late);
    window->Toolbar.Buttons("Monitor").PerformClick();
    const Shown shown[] = {{&window->lvwDIMapping, "000 [000]", "ON"},
                           {&window->lvwDIMapping, "001 [001]", "OFF"},
                           {&window->lvwDOMapping, "032 [020]", "ON"},
                           {&window->lvwDOMapping, "033 [021]", "OFF"},
                           {&window->lvwAIMapping, "032 [020]", "20.000"}};
    const auto allShown = [&] {
        for (const Shown& s : shown)
            if (s.list->FindItem(s.row)->SubItem(4) != s.text) return false;
        return true;
    };
    // Two whole cycles, then every column must hold its own reply's text.
    EXPECT_TRUE(WaitFor([&] { return window->PollStep == 7; }, 20000));
    EXPECT_TRUE(WaitFor([&] { return window->PollStep == 0; }, 20000));
    EXPECT_TRUE(WaitFor([&] { return window->PollStep == 7; }, 20000));
    EXPECT_TRUE(WaitFor(allShown, 20000));
    for (const Shown& s : shown) EXPECT_EQ(s.list->FindItem(s.row)->SubItem(4), s.text) << s.row;
    // The summaries show their own replies too, though these come after
    // the status waits.
    EXPECT_TRUE(WaitFor(
        [&] {
            return window->lvwIOMSummary.ListItems(1).SubItem(3) == "STOP" &&
                   window->lvwMCUSummary.ListItems(1).SubItem(3) == "Slave MCU";
        },
        20000));
    window->Toolbar.ButtonMenuClick(window->Toolbar.Buttons("Monitor").ButtonMenus(1));
    // On the wire: every image request after the replies to all before it.
    int received = 0, sent = 0;
    for (const nxsim::LogEntry& e : sim.log()) {
        if (e.channel != nxsim::Channel::Modbus) continue;
        if (e.direction == nxsim::Direction::Sent) {
            ++sent;
            continue;
        }
        if (e.address < 0x100) {
            EXPECT_EQ(received, sent) << "seq " << e.seq;
        }
        ++received;
    }
    window->lvwDOMapping.FindItem("032 [020]")->SetSelected(true);
    window->lvwDOMapping.DblClick();
    EXPECT_TRUE(WaitFor([&] { return !sim.coil(32); }, 3000)) << "the toggle switched it on";
    EXPECT_TRUE(dialogs.shown.empty());
    // The station stops with no late reply still on its way.
    sim.clearFaults();
    EXPECT_TRUE(WaitFor([] { return !nxlink::ModbusGateBusy(nxlink::WskTCP502()); }, 3000));
}

// A station or link slower than a monitor tick, or a reply that comes in two
// pieces far apart: the monitor sends one request at a time at the
// station's pace, waits for each reply as long as it needs, and every value
// column shows its own reply; a DO toggle acts on the coil's reported state
// and reaches the station behind the one request in flight; no request waits
// in the station behind others.
TEST_F(MonitorTest, SlowLinkIsFollowedAtItsOwnPace) {
    GoOnline();
    sim.setLiveInputs(false);
    sim.setDiscreteInput(0, true);
    sim.setCoil(32, true);
    sim.setInputRegister(32, 10000);  // 20 mA
    struct Case {
        const char* name;
        nxsim::FaultKind kind;
        int function;  // -1: every request
        int delayMs;
        int runMs;  // how long the monitor runs before the toggle
    };
    const Case cases[] = {
        {"every reply 700 ms late", nxsim::FaultKind::Delay, -1, 700, 7000},
        {"700 ms of work per request", nxsim::FaultKind::ServiceTime, -1, 700, 7000},
        {"the rest of each AI reply 650 ms after its start", nxsim::FaultKind::Split,
         FcReadInputRegisters, 650, 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window->PollStep = 0;
        window->lvwAIMapping.FindItem("032 [020]")->SetSubItem(4, "");
        sim.setCoil(32, true);
        sim.clearFaults();
        nxsim::FaultRule slow;
        slow.kind = c.kind;
        slow.function = c.function;
        slow.addressFirst = c.function == -1 ? -1 : 0;
        slow.delayMs = c.delayMs;
        slow.count = -1;
        sim.addFault(slow);
        sim.clearLog();
        window->Toolbar.Buttons("Monitor").PerformClick();
        WaitFor([] { return false; }, c.runMs);  // the monitor runs a while
        const Shown shown[] = {{&window->lvwDIMapping, "000 [000]", "ON"},
                               {&window->lvwDOMapping, "032 [020]", "ON"},
                               {&window->lvwAIMapping, "032 [020]", "20.000"}};
        for (const Shown& v : shown) {
            EXPECT_TRUE(
                WaitFor([&] { return v.list->FindItem(v.row)->SubItem(4) == v.text; }, 10000))
                << v.row << " shows " << v.list->FindItem(v.row)->SubItem(4);
        }
        window->lvwDOMapping.FindItem("032 [020]")->SetSelected(true);
        window->lvwDOMapping.DblClick();
        EXPECT_TRUE(WaitFor([&] { return !sim.coil(32); }, 5000)) << "the toggle did not switch";
        window->Toolbar.ButtonMenuClick(window->Toolbar.Buttons("Monitor").ButtonMenus(1));
        // The station answers in order: each reply answers the oldest
        // request still waiting; none waited behind another.
        QVector<qint64> waiting;
        qint64 longest = 0;
        for (const nxsim::LogEntry& e : sim.log()) {
            if (e.channel != nxsim::Channel::Modbus) continue;
            if (e.direction == nxsim::Direction::Received) {
                waiting.push_back(e.msecs);
            } else if (!waiting.empty()) {
                longest = std::max(longest, e.msecs - waiting.takeFirst());
            }
        }
        EXPECT_LT(longest, c.delayMs + 1000);
        sim.clearFaults();
        EXPECT_TRUE(WaitFor([] { return !nxlink::ModbusGateBusy(nxlink::WskTCP502()); }, 5000));
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

// The rest of the coil reply 1.5 s after its header, or the AI reply 5.5 s
// late, with the station's inputs changed once the next request came: no
// value inside a reply is taken for a header, so every column shows its own
// channel's value at any time; the late AI reply is stored in its own place,
// and the monitor goes on meanwhile.
class MonitorReplyFaultTest : public MonitorTest,
                              public ::testing::WithParamInterface<nxsim::FaultKind> {};

TEST_P(MonitorReplyFaultTest, EveryColumnShowsItsOwnChannelAndTheMonitorGoesOn) {
    const bool split = GetParam() == nxsim::FaultKind::Split;
    GoOnline();
    sim.setLiveInputs(false);
    sim.setCoil(32, true);
    // Slot 2 (4..20 mA), channel i in phase p: 4 + 1.6 i + 0.4 p mA.
    int phase = 0;
    const auto setPhase = [&](int p) {
        for (int i = 0; i < 8; ++i) sim.setInputRegister(32 + i, 1000 * i + 250 * p);
        phase = p;
    };
    const auto text = [](int i, int p) {
        return QString::number(4 + 1.6 * i + 0.4 * p, 'f', 3).toStdString();
    };
    const char* const rows[] = {"032 [020]", "033 [021]", "034 [022]", "035 [023]",
                                "036 [024]", "037 [025]", "038 [026]", "039 [027]"};
    const auto ai = [&](int i) { return window->lvwAIMapping.FindItem(rows[i])->SubItem(4); };
    const auto coil = [&] { return window->lvwDOMapping.FindItem("032 [020]")->SubItem(4); };
    const auto shows = [&](int p) {
        for (int i = 0; i < 8; ++i)
            if (ai(i) != text(i, p)) return false;
        return coil() == "ON";
    };
    setPhase(0);
    window->mnuTimerEnable_Click();
    ASSERT_TRUE(WaitFor([&] { return shows(0); }, 10000));
    window->mnuTimerEnable_Click();
    WaitFor([] { return !nxlink::ModbusGateBusy(nxlink::WskTCP502()); }, 10000);
    // The faulty request is the next one of its function.
    setPhase(1);
    nxsim::FaultRule fault;
    fault.kind = GetParam();
    fault.function = split ? FcReadCoils : FcReadInputRegisters;
    fault.addressFirst = 0;
    fault.delayMs = split ? 1500 : 5500;
    sim.addFault(fault);
    sim.clearLog();
    std::string wrong;         // the first text that is not its channel's
    std::set<int> phase1Seen;  // AI channels that showed phase 1
    const auto watch = [&] {
        if (wrong.empty() && coil() != "ON") wrong = "DO 32: " + coil();
        for (int i = 0; i < 8; ++i) {
            const std::string t = ai(i);
            if (t == text(i, 1)) phase1Seen.insert(i);
            if (wrong.empty() && t != text(i, 0) && t != text(i, 1) &&
                (phase < 2 || t != text(i, 2)))
                wrong = std::string("AI ") + rows[i] + ": " + t;
        }
        return false;
    };
    // Requests the station got after the faulty one: in all, and before the
    // last piece of its reply went out.
    int after = -1, owed = 0;
    const auto count = [&] {
        int sent = 0;
        after = -1;
        for (const nxsim::LogEntry& e : sim.log()) {
            if (e.channel != nxsim::Channel::Modbus) continue;
            if (e.direction == nxsim::Direction::Sent) {
                if (after >= 0 && ++sent == (split ? 2 : 1)) owed = after;
            } else if (after >= 0 || (e.function == fault.function && e.address == 0)) {
                ++after;
            }
        }
        return after > 0;
    };
    window->mnuTimerEnable_Click();
    // Once a request came after the faulty one, its reply was made.
    ASSERT_TRUE(WaitFor([&] { return watch() || count(); }, 15000));
    setPhase(2);
    EXPECT_TRUE(WaitFor([&] { return watch() || shows(2); }, 30000));
    window->mnuTimerEnable_Click();
    EXPECT_EQ(wrong, "");
    if (!split) {
        EXPECT_EQ(phase1Seen.size(), 8u);  // no other reply has the first change
    }
    count();
    EXPECT_GT(owed, 0) << "no request while the reply was owed";
    EXPECT_TRUE(dialogs.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Replies, MonitorReplyFaultTest,
                         ::testing::Values(nxsim::FaultKind::Split, nxsim::FaultKind::Delay),
                         [](const auto& info) {
                             return std::string(info.param == nxsim::FaultKind::Split
                                                    ? "CoilReplyRestLongAfterItsHeader"
                                                    : "AiReplyLaterThanTheOldGiveUp");
                         });

// The controller status read of the monitor answered late (after the
// monitor went off): the advanced options window opened meanwhile reads the
// same block, and shows its own reply, never the late one.
TEST_F(MonitorTest, LateStatusReplyIsNotTakenByTheNextReadOfItsShape) {
    GoOnline();
    nxsim::FaultRule late;
    late.kind = nxsim::FaultKind::Delay;
    late.function = FcReadInputRegisters;
    late.addressFirst = RegMcuStatus.Start;
    late.delayMs = 800;
    sim.addFault(late);
    window->PollStep = 6;  // the status step
    window->Toolbar.Buttons("Monitor").PerformClick();
    const auto statusRead = [&]() -> std::optional<qint64> {
        for (const auto& e : sim.received(nxsim::Channel::Modbus))
            if (e.address == RegMcuStatus.Start) return e.msecs;
        return std::nullopt;
    };
    ASSERT_TRUE(WaitFor([&] { return statusRead().has_value(); }, 5000));
    window->Toolbar.ButtonMenuClick(window->Toolbar.Buttons("Monitor").ButtonMenus(1));
    sim.updateStation([](nxsim::StationConfig& st) { st.tcpTimeout = 70; });
    // Opened while the late reply (timeout 60) is still on its way. A try
    // whose own reply came late is made again with another timeout, so that
    // the late reply of a try before it would show as well.
    WaitFor([] { return false; }, 600);
    int timeout = 69;
    frmAdvancedOptions& w = OpenAdvancedOptions([&] {
        sim.updateStation([t = ++timeout](nxsim::StationConfig& st) { st.tcpTimeout = t; });
    });
    EXPECT_EQ(w.txtStringTcpTimeout.Text(), std::to_string(timeout));
    EXPECT_TRUE(dialogs.shown.empty());
    w.close();
}

// ---- Every request through the one send path ------------------------------------------

// Stray bytes after a reply are dropped before the next step's request, so
// that its reply is read whole; each request is logged.
TEST_F(MonitorTest, ImageStepsStepOverJunkAndLogTheirRequests) {
    GoOnline();
    int logged = 0;
    static int* s_logged = nullptr;
    s_logged = &logged;
    QLoggingCategory::setFilterRules("nx.link.frames.debug=true");
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext& ctx, const QString& m) {
            if (QByteArray(ctx.category) == "nx.link.frames" && m.startsWith("send")) ++*s_logged;
        });
    for (int step = 0; step < 5; ++step) {
        SCOPED_TRACE("junk after the reply of step " + std::to_string(step));
        sim.clearFaults();
        nxsim::FaultRule junk;
        const int functions[] = {2, 1, 4, 3, 4};
        junk.addressFirst = step == 4 ? 0x80 : 0;
        junk.function = functions[step];
        junk.kind = nxsim::FaultKind::TrailingJunk;
        sim.addFault(junk);
        window->PollStep = static_cast<int16_t>(step);
        logged = 0;
        Tick();
        Tick();
        EXPECT_EQ(window->WskTCP502.Tag(), "0") << "the next step's reply was lost";
        EXPECT_EQ(logged, 2);
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules("");
    EXPECT_TRUE(dialogs.shown.empty());
}

// ---- Switched on inside a transfer ------------------------------------------------------

// The monitor switched on while an Upload waits for a slow reply ticks only
// once the Upload is over: the Upload sends what it sends without the
// monitor and ends as it would have.
TEST_F(MonitorTest, MonitorSwitchedOnInsideAnUploadWaitsForItsEnd) {
    GoOnline();
    nxsim::FaultRule slow;
    slow.kind = nxsim::FaultKind::Delay;
    slow.delayMs = 350;  // over three monitor ticks, within the reply timeout
    QVector<QByteArray> alone;
    for (const bool switchOn : {false, true}) {
        SCOPED_TRACE(switchOn ? "monitor switched on" : "monitor off");
        sim.clearLog();
        sim.addFault(slow);
        if (switchOn)
            QTimer::singleShot(0, [&] { window->Toolbar.Buttons("Monitor").PerformClick(); });
        window->Toolbar.Buttons("Upload").PerformClick();
        window->Timer2.SetEnabled(false);
        EXPECT_EQ(window->txtStatus.Text(), "Upload data from NX-4410 finished.");
        EXPECT_TRUE(dialogs.shown.empty());
        const QVector<QByteArray> sent = Requests();
        if (!switchOn) {
            alone = sent;
            continue;
        }
        ASSERT_GE(sent.size(), alone.size());
        EXPECT_EQ(sent.mid(0, alone.size()), alone);
        EXPECT_TRUE(window->mnuTimerEnable.Checked());
        EXPECT_TRUE(window->Timer1.Enabled());
    }
}

// The same for the table writes and module commands, which wait for no
// reply: the monitor's first request goes out once the write's reply came.
TEST_F(MonitorTest, MonitorSwitchedOnAfterATableWriteWaitsForItsReply) {
    GoOnline();
    struct Write {
        const char* name;
        ui::ListView* list;
        const char* row;
        int function;
        std::optional<std::string> answer;
    };
    const Write writes[] = {
        {"DO toggle", &window->lvwDOMapping, "032 [020]", 5, std::nullopt},
        {"AO value", &window->lvwAOMapping, "064 [040]", 6, "5"},
        {"PI counter clear", &window->lvwPIMapping, "294 [126]", 16, std::nullopt}};
    for (const Write& w : writes) {
        SCOPED_TRACE(w.name);
        WaitFor([] { return !nxlink::ModbusGateBusy(nxlink::WskTCP502()); }, 3000);
        sim.clearFaults();
        sim.clearLog();
        nxsim::FaultRule slow;
        slow.function = w.function;
        slow.kind = nxsim::FaultKind::Delay;
        slow.delayMs = 350;  // over three monitor ticks
        sim.addFault(slow);
        if (w.answer) dialogs.AnswerInput(w.answer);
        w.list->FindItem(w.row)->SetSelected(true);
        w.list->DblClick();
        window->Toolbar.Buttons("Monitor").PerformClick();
        ASSERT_TRUE(WaitFor(
            [&] {
                for (const auto& e : sim.received(nxsim::Channel::Modbus))
                    if (e.function != w.function) return true;
                return false;
            },
            5000));
        window->Toolbar.ButtonMenuClick(window->Toolbar.Buttons("Monitor").ButtonMenus(1));
        quint64 echoSent = 0, firstPoll = 0;
        for (const nxsim::LogEntry& e : sim.log()) {
            if (e.channel != nxsim::Channel::Modbus) continue;
            if (e.direction == nxsim::Direction::Sent && echoSent == 0) echoSent = e.seq;
            if (e.direction == nxsim::Direction::Received && e.function != w.function &&
                firstPoll == 0)
                firstPoll = e.seq;
        }
        EXPECT_NE(echoSent, 0u);
        EXPECT_GT(firstPoll, echoSent);
    }
    for (const auto& shown : dialogs.shown)
        EXPECT_EQ(shown.kind, rt::ScriptedDialogs::Shown::Input) << shown.prompt;
}

// ---- Switch and interval without a station -----------------------------------------------

TEST_F(MainWindowTest, IntervalBoxAcceptsWholeMillisecondsFrom500To32767) {
    frmMain& w = Open();
    // The switch alone needs a connection to go on.
    w.mnuTimerEnable_Click();
    EXPECT_FALSE(w.mnuTimerEnable.Checked());
    struct Entry {
        std::optional<std::string> answer;
        const char* message;  // "" for none
        int16_t interval;     // MonitorTimerInterval afterwards
        bool on;
    };
    const Entry entries[] = {
        {std::nullopt, "", 100, false},
        {"", "", 100, false},
        {"499", "Input data error", 100, false},
        {"abc", "Input Error", 100, false},
        {"40000", "Input Error", 100, false},
        {"500", "", 100, true},
        {"501", "", 100, true},
        {"504", "", 100, true},
        {"32767", "", 6553, true},
        {std::nullopt, "", 6553, true},
    };
    int16_t before = MonitorTimerInterval;
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.answer.value_or("Cancel"));
        dialogs.shown.clear();
        dialogs.AnswerInput(e.answer);
        if (*e.message) dialogs.AnswerMsgBox(rt::vbOK);
        w.mnuTimerInterval_Click();
        ASSERT_EQ(dialogs.shown.size(), *e.message ? 2u : 1u);
        EXPECT_EQ(dialogs.shown[0].prompt,
                  "Please Input Timer Interval by ms (500 ~ 32767)\r\n"
                  "Interval = " +
                      std::to_string(before * 5) + " ms");
        EXPECT_EQ(dialogs.shown[0].title, "");
        if (*e.message) {
            EXPECT_EQ(dialogs.shown[1].prompt, e.message);
            EXPECT_EQ(dialogs.shown[1].title, "");
            EXPECT_EQ(dialogs.shown[1].style, rt::vbOKOnly);
        }
        EXPECT_EQ(MonitorTimerInterval, e.interval);
        EXPECT_EQ(w.mnuTimerEnable.Checked(), e.on);
        EXPECT_EQ(w.Timer1.Enabled(), e.on);
        if (e.on) {
            EXPECT_EQ(w.Timer1.Interval(), e.interval);
        }
        EXPECT_EQ(w.Toolbar.Buttons(6).Image(), e.on ? 10 : 9);
        before = MonitorTimerInterval;
    }
    // The entry leaves the button menu's text alone.
    EXPECT_EQ(w.Toolbar.Buttons(6).ButtonMenus(1).Text(), "Enable");
    // Without a connection the first tick disconnects, and the timer stays
    // off.
    w.Timer1.SetInterval(1);
    EXPECT_TRUE(WaitFor([&] { return !w.Timer1.Enabled(); }, 3000));
    EXPECT_FALSE(w.mnuTimerEnable.Checked());
    EXPECT_EQ(w.txtStatus.Text(), "Disconnect with NX-4410");
}

}  // namespace
