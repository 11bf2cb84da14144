#include "sequence_support.h"

#include <QTcpServer>
#include <cstdio>
#include <ostream>

#include "config/ConfigDefaults.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/LiveValues.h"
#include "link/PendingRequest.h"
#include "link/Upload.h"
#include "platform/EventWait.h"
#include "platform/WinsockControl.h"
#include "tests/support/ConfigRecords.h"
#include "tests/support/LateAnswers.h"

// ---- RecordingWindow -------------------------------------------------------

RecordingWindow::RecordingWindow() {
    timer2.setInterval(static_cast<int>(nxlink::kWatchdogIntervalMs));
    QObject::connect(&timer2, &QTimer::timeout, [] { nxlink::Timer2_Timer(); });
}

void RecordingWindow::ReportStatus(const std::string& text) {
    calls.push_back("ReportStatus");
    status = text;
    eventLog.push_back(text);
    statusHistory.push_back(text);
}

void RecordingWindow::SetStatusText(const std::string& text) {
    calls.push_back("SetStatusText");
    status = text;
    statusHistory.push_back(text);
}

void RecordingWindow::ClearEventLog() {
    calls.push_back("ClearEventLog");
    eventLog.clear();
}

void RecordingWindow::ShowConnectedState() {
    calls.push_back("ShowConnectedState");
    state = WindowState::Connected;
    connectEnabled = false;
}

void RecordingWindow::ShowDisconnectedState() {
    calls.push_back("ShowDisconnectedState");
    state = WindowState::Disconnected;
    connectEnabled = true;
    timerEnableChecked = false;
}

void RecordingWindow::SetConnectEnabled(bool enabled) {
    calls.push_back(enabled ? "SetConnectEnabled(1)" : "SetConnectEnabled(0)");
    connectEnabled = enabled;
}

void RecordingWindow::SetTxtNetIDText(const std::string& text) {
    calls.push_back("SetTxtNetIDText");
    netIdText = text;
}

void RecordingWindow::SetTimer1Enabled(bool enabled) {
    calls.push_back(enabled ? "SetTimer1Enabled(1)" : "SetTimer1Enabled(0)");
    timer1 = enabled;
}

void RecordingWindow::SetTimer2Enabled(bool enabled) {
    calls.push_back(enabled ? "SetTimer2Enabled(1)" : "SetTimer2Enabled(0)");
    if (enabled) {
        if (!timer2.isActive()) timer2.start();
    } else {
        timer2.stop();
    }
}

void RecordingWindow::FillMappingAndSummaryLists(int16_t node) {
    calls.push_back("FillMappingAndSummaryLists(" + std::to_string(node) + ")");
    ++listFills;
}

void RecordingWindow::ClearRackPicture() {
    calls.push_back("ClearRackPicture");
    rackShown = false;
}

void RecordingWindow::SetOptPower0Selected(bool selected) {
    calls.push_back(selected ? "SetOptPower0Selected(1)" : "SetOptPower0Selected(0)");
    if (selected && !optPower0Selected) ++optPower0Clicks;
    optPower0Selected = selected;
}

void RecordingWindow::RestoreStartupCaption() {
    calls.push_back("RestoreStartupCaption");
    caption = " NX-4410 Utility  ver 1.0.0 ";
}

void RecordingWindow::UnloadScope() {
    calls.push_back("UnloadScope");
    ++scopeUnloads;
}

// ---- Helpers ---------------------------------------------------------------

std::vector<std::string> MessageTexts(const rt::ScriptedDialogs& d) {
    std::vector<std::string> out;
    for (const auto& s : d.shown)
        if (s.kind == rt::ScriptedDialogs::Shown::Message) out.push_back(s.prompt);
    return out;
}

void PumpFor(int ms) {
    rt::WaitUntil([] { return false; }, static_cast<uint32_t>(ms));
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    return rt::WaitUntil(done, static_cast<uint32_t>(timeoutMs));
}

uint16_t DeadPort() {
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0)) return 1;
    const uint16_t port = s.serverPort();
    s.close();
    return port;
}

std::ostream& operator<<(std::ostream& os, const Req& r) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "{fc %d, 0x%04X, q %d}", r.function, r.address, r.quantity);
    return os << buf;
}

std::vector<Req> ModbusRequests(const nxsim::StationSim& sim) {
    std::vector<Req> out;
    for (const nxsim::LogEntry& e : sim.received(nxsim::Channel::Modbus))
        out.push_back({e.function, e.address, e.quantity});
    return out;
}

std::vector<std::string> TextRequests(const nxsim::StationSim& sim) {
    std::vector<std::string> out;
    for (const nxsim::LogEntry& e : sim.received(nxsim::Channel::Text))
        out.push_back(e.bytes.toStdString());
    return out;
}

std::vector<std::vector<uint16_t>> ModuleCommandsReceived(const nxsim::StationSim& sim) {
    std::vector<std::vector<uint16_t>> out;
    for (const nxsim::LogEntry& e : sim.received(nxsim::Channel::Modbus)) {
        if (e.function != 16 || e.address != 0x8000) continue;
        out.emplace_back(e.values.begin(), e.values.end());
    }
    return out;
}

std::string HexBytes(const QByteArray& bytes) {
    return HexBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string out;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        if (!out.empty()) out += ' ';
        out += buf;
    }
    return out;
}

// ---- LinkSequenceTest ------------------------------------------------------

void LinkSequenceTest::SetUp() {
    ResetConfigRecordsForStartup();
    ResetLiveValues();
    rt::SetDialogs(&dialogs);
    nxlink::SetLinkWindow(&window);
    for (rt::WinsockControl* ws : {&nxlink::WskTCP502(), &nxlink::WskTCP10K()}) {
        ws->Close();
        ws->SetTag("");
    }
}

void LinkSequenceTest::TearDown() {
    window.timer2.stop();
    nxlink::WskTCP502().Close();
    nxlink::WskTCP10K().Close();
    sim.stop();
    // Message boxes and handlers deferred to the event loop run now, while
    // this test's dialogs and window are still installed.
    PumpFor(20);
    nxlink::SetLinkWindow(nullptr);
    rt::SetDialogs(nullptr);
    nxlink::SetLinkPorts(nxlink::kModbusPort, nxlink::kTextPort);
}

void LinkSequenceTest::StartStation(const nxsim::SimOptions& options) {
    QString error;
    ASSERT_TRUE(sim.start(options, &error)) << error.toStdString();
    nxlink::SetLinkPorts(sim.modbusPort(), sim.textPort());
}

void LinkSequenceTest::ConnectOk() {
    testsupport::RetryWhenAnsweredLate(sim, nxsim::Channel::Text, dialogs, [this] {
        nxlink::mnuConnect_Click();
        return window.state == RecordingWindow::WindowState::Connected;
    });
    ASSERT_EQ(window.state, RecordingWindow::WindowState::Connected) << window.status;
    ASSERT_EQ(nxlink::WskTCP502().State(), rt::sckConnected);
    ASSERT_EQ(nxlink::WskTCP10K().State(), rt::sckConnected);
    sim.clearLog();
}

void LinkSequenceTest::UploadOk() {
    int16_t node = 0;
    nxlink::UploadConfiguration(node);
    ASSERT_FALSE(window.eventLog.empty());
    ASSERT_EQ(window.eventLog.back(), "Upload data from NX-4410 finished.");
    ASSERT_TRUE(Messages().empty()) << Messages().front();
    SetConfig_RealToSetting(0);
    sim.clearLog();
}
