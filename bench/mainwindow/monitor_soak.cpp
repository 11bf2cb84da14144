// The live monitor for a while against the station stand-in misbehaving in
// one of several ways: every reply held back by a delay, every request
// worked on by the station for a service time one after the other, one
// reply in n never sent, one reply in n sent twice, or a station that falls
// silent for a while and then answers again. What a user would see on a slow
// or lossy link or with a slow station.
//
// Prints the message boxes shown, the monitor's requests per second on the
// wire, how long the DO value column takes to follow a coil that a second
// client switches, and a digest of the first request frames, so that two
// builds' wires can be compared. Every few seconds it double-clicks a DO
// mapping row, as a user would, and prints how long the write took to reach
// the station. From the stand-in's log it prints how long the window's
// requests waited in the station for their replies; from the link's debug
// lines it counts the replies the window stored and the ones it dropped, and
// checks each stored reply against the request the station sent it for.
//
//   nx4410_monitor_soak <seconds> <reply delay ms> [service]
//   nx4410_monitor_soak <seconds> delay <ms>        every reply <ms> late
//   nx4410_monitor_soak <seconds> service <ms>      <ms> of work per request
//   nx4410_monitor_soak <seconds> lose <n>          one reply in n never sent
//   nx4410_monitor_soak <seconds> repeat <n> [<ms>] one reply in n sent twice,
//                                                   the copy <ms> (100) later
//   nx4410_monitor_soak <seconds> silent [<s>]      from a quarter of the run
//                                                   on, every request
//                                                   swallowed for <s> (20) s
//   nx4410_monitor_soak <seconds> silent-late [<s>] the same window, its
//                                                   requests answered at its
//                                                   end instead
//
// In the silent window the station swallows every client's requests, so
// the second client's switch falling into it is made in the station itself;
// in silent-late only the window's connection waits (its first request of
// the window is held for the window's length, the ones behind it wait in
// order and are answered right after it).
//
// With NX_SOAK_DUMP=<file> the link's debug lines and the stand-in's log of
// the whole run, each with its time (ms of the stand-in's clock), are
// written to <file> for a closer look.
#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/common/online_window.h"
#include "link/Connection.h"
#include "mainwindow/frmMain.h"
#include "platform/EventWait.h"
#include "platform/diag.h"
#include "sim/StationSim.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

constexpr int kDigestFrames = 400;
// The second client's writes carry this transaction id, which tells its
// connections from the window's in the station's log.
constexpr int kHelperTransaction = 0xC0DE;
// The DO rows the double-clicks take in turn (coil 32 is the second
// client's), and the time between two clicks.
constexpr int kFirstClickCoil = 33;
constexpr int kClickCoils = 31;
constexpr qint64 kClickEveryMs = 5000;
// A click whose write took longer than this is listed on its own.
constexpr qint64 kSlowClickMs = 1000;
constexpr size_t kClicksListed = 20;

// ---- The scenario --------------------------------------------------------------

struct Scenario {
    enum Kind { Delay, Service, Lose, Repeat, Silent, SilentLate };
    Kind kind = Delay;
    int ms = 0;        // Delay, Service: per request; Repeat: from the reply to its copy
    int every = 0;     // Lose, Repeat: one request in `every`
    int windowS = 20;  // Silent, SilentLate: the length of the silent window
    bool silent() const { return kind == Silent || kind == SilentLate; }
};

bool ParseNumber(const char* text, int low, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > 10000000) return false;
    *out = static_cast<int>(v);
    return true;
}

// argv[2] on: the scenario. A number there is a reply delay (the
// program's first command line), `service` after it makes it a service time.
bool ParseScenario(int argc, char** argv, Scenario* s) {
    const std::string name = argv[2];
    const auto number = [&](int at, int low, int* out, bool optional) {
        if (at >= argc) return optional;
        return ParseNumber(argv[at], low, out);
    };
    if (ParseNumber(argv[2], 0, &s->ms)) {
        s->kind =
            argc > 3 && std::strcmp(argv[3], "service") == 0 ? Scenario::Service : Scenario::Delay;
        return argc <= 4;
    }
    if (name == "delay" || name == "service") {
        s->kind = name == "delay" ? Scenario::Delay : Scenario::Service;
        return argc == 4 && number(3, 0, &s->ms, false);
    }
    if (name == "lose") {
        s->kind = Scenario::Lose;
        return argc == 4 && number(3, 1, &s->every, false);
    }
    if (name == "repeat") {
        s->kind = Scenario::Repeat;
        s->ms = 100;
        return argc >= 4 && argc <= 5 && number(3, 1, &s->every, false) &&
               number(4, 0, &s->ms, true);
    }
    if (name == "silent" || name == "silent-late") {
        s->kind = name == "silent" ? Scenario::Silent : Scenario::SilentLate;
        return argc <= 4 && number(3, 1, &s->windowS, true);
    }
    return false;
}

std::string Describe(const Scenario& s, double ran) {
    char text[200];
    switch (s.kind) {
        case Scenario::Delay:
            std::snprintf(text, sizeof text, "reply delay %d ms, %.1f s of monitoring", s.ms, ran);
            break;
        case Scenario::Service:
            std::snprintf(text, sizeof text, "service time %d ms per request, %.1f s of monitoring",
                          s.ms, ran);
            break;
        case Scenario::Lose:
            std::snprintf(text, sizeof text, "one reply in %d never sent, %.1f s of monitoring",
                          s.every, ran);
            break;
        case Scenario::Repeat:
            std::snprintf(text, sizeof text,
                          "one reply in %d sent twice, the copy %d ms later, %.1f s of monitoring",
                          s.every, s.ms, ran);
            break;
        case Scenario::Silent:
        case Scenario::SilentLate:
            std::snprintf(text, sizeof text,
                          "station silent for %d s from a quarter of the run (requests %s), %.1f s"
                          " of monitoring",
                          s.windowS,
                          s.kind == Scenario::Silent ? "swallowed" : "answered at its end", ran);
            break;
    }
    return text;
}

// ---- The second client ---------------------------------------------------------

// A second client's function-5 write of `coil`.
void WriteCoil(quint16 port, int coil, bool on) {
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(2000)) return;
    const char frame[] = {static_cast<char>(kHelperTransaction >> 8),
                          static_cast<char>(kHelperTransaction & 0xFF),
                          0,
                          0,
                          0,
                          6,
                          1,
                          5,
                          0,
                          static_cast<char>(coil),
                          static_cast<char>(on ? 0xFF : 0),
                          0};
    s.write(frame, sizeof frame);
    s.waitForBytesWritten(2000);
    s.waitForReadyRead(2000);
}

// ---- The link's debug lines ------------------------------------------------

// The messages of the nx.link categories with the stand-in's clock when
// they came, kept as they come and read after the run, so that the handler
// does no more than append under a lock.
struct LinkLine {
    qint64 ms = 0;
    QString text;
};
std::mutex g_linkLinesLock;
std::vector<LinkLine> g_linkLines;
const nxsim::StationSim* g_sim = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void CollectLinkLine(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtDebugMsg && context.category &&
        std::strncmp(context.category, "nx.link.", 8) == 0) {
        const qint64 ms = g_sim ? g_sim->nowMs() : 0;
        const std::lock_guard<std::mutex> lock(g_linkLinesLock);
        g_linkLines.push_back(LinkLine{ms, message});
        return;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

size_t ReplyLineCount() {
    const std::lock_guard<std::mutex> lock(g_linkLinesLock);
    size_t n = 0;
    for (const LinkLine& l : g_linkLines)
        if (l.text.startsWith(QLatin1String("reply "))) ++n;
    return n;
}

// One debug line of the link, read: a request sent, a reply stored, a reply
// dropped (and why), or a request given up. Every line that starts with
// "reply " is about one reply off the wire; one of a kind not known here is
// OtherReply.
struct LinkEvent {
    enum Kind {
        Send,
        Stored,
        DroppedGivenUp,
        DroppedNoRequest,
        DroppedWrite,
        DroppedOrderMark,
        OtherReply,
        GivenUp,
        Other
    };
    Kind kind = Other;
    unsigned long long id = 0;
    std::string hex;  // the frame, as rt::HexBytes writes it
    qint64 ms = 0;
    bool reply() const { return kind >= Stored && kind <= OtherReply; }
};

// The number after the first '#' at or after `from`; *end is set past it.
unsigned long long IdAfterHash(const std::string& s, size_t from, size_t* end) {
    const size_t hash = s.find('#', from);
    if (hash == std::string::npos) {
        *end = s.size();
        return 0;
    }
    char* stop = nullptr;
    const unsigned long long id = std::strtoull(s.c_str() + hash + 1, &stop, 10);
    *end = static_cast<size_t>(stop - s.c_str());
    return id;
}

LinkEvent ReadLinkLine(const LinkLine& line) {
    const std::string s = line.text.toStdString();
    LinkEvent e;
    e.ms = line.ms;
    size_t end = 0;
    const auto starts = [&s](const char* prefix) { return s.rfind(prefix, 0) == 0; };
    if (starts("send #")) {
        e.kind = LinkEvent::Send;
        e.id = IdAfterHash(s, 0, &end);
        e.hex = end < s.size() ? s.substr(end + 1) : std::string();
    } else if (starts("reply to #")) {
        e.kind = LinkEvent::Stored;
        e.id = IdAfterHash(s, 0, &end);
        const size_t key = s.find(" (key ", end);
        e.hex = end < s.size() ? s.substr(end + 1, key == std::string::npos ? std::string::npos
                                                                            : key - end - 1)
                               : std::string();
    } else if (starts("reply ")) {
        e.kind = starts("reply dropped (answers a request given up") ? LinkEvent::DroppedGivenUp
                 : starts("reply dropped (answers no request outstanding")
                     ? LinkEvent::DroppedNoRequest
                 : starts("reply dropped (answers a write")       ? LinkEvent::DroppedWrite
                 : starts("reply dropped (answers an order mark") ? LinkEvent::DroppedOrderMark
                                                                  : LinkEvent::OtherReply;
        e.id = IdAfterHash(s, 0, &end);
        const size_t colon = s.find("): ");
        if (colon != std::string::npos) e.hex = s.substr(colon + 3);
    } else if (starts("request #") && s.find(" given up") != std::string::npos) {
        e.kind = LinkEvent::GivenUp;
        e.id = IdAfterHash(s, 0, &end);
    }
    return e;
}

// ---- The station's side ------------------------------------------------------

// A request the station received on one of the window's connections, with
// the time its reply went out (-1: none went out).
struct StationRequest {
    quint64 seq = 0;
    qint64 receivedMs = 0;
    qint64 repliedMs = -1;
    QByteArray bytes;
    bool swallowed = false;  // a fault swallowed it: no reply answers it
    int function = -1, address = -1;
};

// A frame the station sent on one of the window's connections and the
// request it answers (index into the requests, -1: none was waiting for a
// reply). A copy answers no request of its own: `request` is the one of the
// reply it repeats.
struct StationReply {
    QByteArray bytes;
    std::string hex;
    qint64 msecs = 0;
    int request = -1;
    bool copy = false;
};

double Median(std::vector<qint64> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? static_cast<double>(v[n / 2])
                 : (static_cast<double>(v[n / 2 - 1]) + static_cast<double>(v[n / 2])) / 2;
}

std::string Hex(const QByteArray& b) {
    return rt::HexBytes(b.constData(), static_cast<size_t>(b.size()));
}

// One double-click on a DO row: when (stand-in's clock) and on which coil,
// how long the window's handler took, and when its write reached the
// station (-1: never).
struct Click {
    qint64 plannedMs = 0;  // from the start of the monitoring
    int coil = 0;
    bool clicked = false;
    qint64 atMs = 0;
    qint64 handlerMs = 0;
    qint64 reachedMs = -1;
    bool swallowed = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    Scenario scenario;
    if (argc < 3 || !ParseScenario(argc, argv, &scenario)) {
        std::fprintf(stderr,
                     "usage: %s <seconds> <reply delay ms> [service]\n"
                     "       %s <seconds> delay|service <ms>\n"
                     "       %s <seconds> lose <n>\n"
                     "       %s <seconds> repeat <n> [<gap ms>]\n"
                     "       %s <seconds> silent|silent-late [<window s>]\n",
                     argv[0], argv[0], argv[0], argv[0], argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    const qint64 runMs = qint64{seconds} * 1000;
    QApplication app(argc, argv);

    // Every request and reply line of the link from the first request on, so
    // that the link's request ids line up with the station's log.
    g_linkLines.reserve(1 << 20);
    g_previousHandler = qInstallMessageHandler(CollectLinkLine);
    QLoggingCategory::setFilterRules(QStringLiteral("nx.link.*.debug=true"));

    rt::ScriptedDialogs dialogs;
    rt::SetDialogs(&dialogs);
    nxsim::SimOptions options;
    options.liveInputs = false;
    // The whole run's log, Connect and Upload included: the pairing of
    // replies with requests needs every frame of the window's connection.
    options.logLimit = 20000000;
    nxsim::StationSim sim;
    g_sim = &sim;
    frmMain window;
    window.show();
    if (!StartStationAndGoOnline(sim, options, window)) return 1;
    nxsim::FaultRule standing;
    standing.count = -1;
    switch (scenario.kind) {
        case Scenario::Delay:
        case Scenario::Service:
            standing.kind = scenario.kind == Scenario::Service ? nxsim::FaultKind::ServiceTime
                                                               : nxsim::FaultKind::Delay;
            standing.delayMs = scenario.ms;
            if (scenario.ms > 0) sim.addFault(standing);
            break;
        case Scenario::Lose:
            standing.kind = nxsim::FaultKind::NoReply;
            standing.every = scenario.every;
            sim.addFault(standing);
            break;
        case Scenario::Repeat:
            standing.kind = nxsim::FaultKind::Repeat;
            standing.every = scenario.every;
            standing.delayMs = scenario.ms;
            sim.addFault(standing);
            break;
        case Scenario::Silent:
        case Scenario::SilentLate:
            break;
    }
    const QVector<nxsim::LogEntry> online = sim.log();
    const quint64 monitorFrom = online.isEmpty() ? 0 : online.back().seq;
    const qint64 monitorStartMs = sim.nowMs();
    window.Toolbar.Buttons("Monitor").PerformClick();
    QElapsedTimer clock;
    clock.start();
    bool running = true;

    // The silent window, from a quarter of the run on.
    const qint64 silentFrom = runMs / 4;
    const qint64 silentTo = silentFrom + qint64{scenario.windowS} * 1000;
    qint64 silentStartMs = -1, silentEndMs = -1;  // stand-in's clock
    int silentRule = 0;
    if (scenario.silent()) {
        QTimer::singleShot(static_cast<int>(silentFrom), Qt::PreciseTimer, &window, [&] {
            nxsim::FaultRule quiet;
            if (scenario.kind == Scenario::Silent) {
                quiet.kind = nxsim::FaultKind::NoReply;
                quiet.count = -1;
            } else {
                // Its first request held for the window's length; the ones
                // behind it wait for it in the station's reply order.
                quiet.kind = nxsim::FaultKind::Delay;
                quiet.delayMs = scenario.windowS * 1000;
                quiet.count = 1;
            }
            silentRule = sim.addFault(quiet);
            silentStartMs = sim.nowMs();
        });
        QTimer::singleShot(static_cast<int>(silentTo), Qt::PreciseTimer, &window, [&] {
            if (scenario.kind == Scenario::Silent) sim.removeFault(silentRule);
            silentEndMs = sim.nowMs();
        });
    }
    const auto inSilentWindow = [&] {
        return scenario.kind == Scenario::Silent && silentStartMs >= 0 && silentEndMs < 0;
    };

    // The double-clicks on DO rows: every few seconds, and four a second
    // apart early in the silent window.
    std::vector<Click> clicks;
    for (qint64 at = kClickEveryMs; at < runMs; at += kClickEveryMs) clicks.push_back({at});
    if (scenario.silent())
        for (qint64 k = 2; k <= 5; ++k)
            if (silentFrom + k * 1000 < runMs) clicks.push_back({silentFrom + k * 1000});
    std::stable_sort(clicks.begin(), clicks.end(),
                     [](const Click& a, const Click& b) { return a.plannedMs < b.plannedMs; });
    for (size_t i = 0; i < clicks.size(); ++i) {
        clicks[i].coil = kFirstClickCoil + static_cast<int>(i % kClickCoils);
        QTimer::singleShot(static_cast<int>(clicks[i].plannedMs), Qt::PreciseTimer, &window,
                           [&, i] {
                               if (!running) return;
                               Click& k = clicks[i];
                               char row[16];
                               std::snprintf(row, sizeof row, "%03d [%03X]", k.coil, k.coil);
                               auto item = window.lvwDOMapping.FindItem(row);
                               if (!item) return;
                               // As a user does: the row selected, then the double-click.
                               item->SetSelected(true);
                               k.clicked = true;
                               k.atMs = sim.nowMs();
                               QElapsedTimer handler;
                               handler.start();
                               window.lvwDOMapping.DblClick();
                               k.handlerMs = handler.elapsed();
                           });
    }

    // The coil of the digital output module's first channel (address 32)
    // switched by another client at each third of the run. Every step of
    // the run is a timer of its own, and the DO column is watched through
    // its list's changes: a click's handler that waits for the link holds
    // every wait below it on the stack, so a wait in this function would
    // end only when the handler's does.
    const int coil = 32;
    struct Follow {
        double seconds = -1;  // -1: the column never showed the switch
        // Whether the column showed the new value already when the coil was
        // switched (the switch before was never followed): then the time
        // after says nothing.
        bool shownBefore = false;
        bool inStation = false;  // switched in the station, not by the second client
        bool done = false;
    };
    std::vector<Follow> follows;
    std::string want;  // the text the column is to show; empty: nothing awaited
    QElapsedTimer followClock;
    const auto doColumn = [&window] {
        return window.lvwDOMapping.FindItem("032 [020]")->SubItem(4);
    };
    const auto endFollow = [&](bool shown) {
        if (want.empty()) return;
        Follow& f = follows.back();
        f.seconds = shown ? static_cast<double>(followClock.elapsed()) / 1000 : -1;
        f.done = true;
        want.clear();
    };
    const auto lookAtColumn = [&] {
        if (!want.empty() && doColumn() == want) endFollow(true);
    };
    if (auto* tree = qobject_cast<QTreeWidget*>(window.lvwDOMapping.widget())) {
        QAbstractItemModel* model = tree->model();
        QObject::connect(model, &QAbstractItemModel::dataChanged, &window, lookAtColumn);
        QObject::connect(model, &QAbstractItemModel::rowsInserted, &window, lookAtColumn);
        QObject::connect(model, &QAbstractItemModel::modelReset, &window, lookAtColumn);
    }
    for (int third = 1; third <= 2; ++third) {
        QTimer::singleShot(static_cast<int>(third * runMs / 3), Qt::PreciseTimer, &window, [&] {
            endFollow(false);
            const bool on = !sim.coil(coil);
            want = on ? "ON" : "OFF";
            Follow f;
            f.shownBefore = doColumn() == want;
            // A station that swallows every request would not take the
            // second client's write either: the switch is made in the
            // station then.
            f.inStation = inSilentWindow();
            follows.push_back(f);
            if (!f.inStation) {
                WriteCoil(sim.modbusPort(), coil, on);
                // The station may have swallowed the second client's write
                // too (one request in n lost): then it is switched there.
                f.inStation = sim.coil(coil) != on;
                follows.back().inStation = f.inStation;
            }
            if (f.inStation) sim.setCoil(coil, on);
            followClock.start();
            lookAtColumn();
        });
        // Up to a third of the run: a slow station's cycle takes long.
        QTimer::singleShot(static_cast<int>((third + 1) * runMs / 3), Qt::PreciseTimer, &window,
                           [&, third] {
                               if (follows.size() == static_cast<size_t>(third)) endFollow(false);
                           });
    }
    // The end of the run: the last follow given up, or whatever event
    // comes first.
    QTimer::singleShot(static_cast<int>(runMs), Qt::PreciseTimer, &window, [] {});
    rt::WaitUntil(
        [&] { return clock.elapsed() >= runMs && follows.size() == 2 && follows.back().done; },
        static_cast<uint32_t>(runMs + runMs / 3 + 1000));
    running = false;
    const double ran = static_cast<double>(clock.elapsed()) / 1000;
    const qint64 monitorEndMs = sim.nowMs();
    window.Toolbar.ButtonMenuClick(window.Toolbar.Buttons("Monitor").ButtonMenus(1));
    // The watchdog's keep-alive stops too, so that the requests come to an
    // end and the last ones' replies can be waited for.
    window.Timer2.SetEnabled(false);

    // The second client's connections are those whose first request carries
    // its transaction id; all other Modbus connections are the window's.
    std::map<int, bool> helperConnection;
    const auto isWindowConnection = [&](const nxsim::LogEntry& e) {
        auto it = helperConnection.find(e.connection);
        if (it == helperConnection.end()) {
            if (e.direction != nxsim::Direction::Received) return false;
            const bool helper =
                e.bytes.size() >= 2 && ((static_cast<quint8>(e.bytes[0]) << 8) |
                                        static_cast<quint8>(e.bytes[1])) == kHelperTransaction;
            it = helperConnection.emplace(e.connection, helper).first;
        }
        return !it->second;
    };
    // Lets the replies still owed come in, and the window read them: every
    // request the station received and did not swallow is answered, and the
    // link has a reply line for every frame the station sent, at two looks
    // far enough apart for a copy still due to go out in between.
    {
        const qint64 settleMs = 300 + (scenario.kind == Scenario::Repeat ? scenario.ms : 0);
        QElapsedTimer drain;
        drain.start();
        qint64 lastLook = -1000, heldSince = -1;
        qint64 owedMs = 2 * std::max(scenario.ms, 5000) + 2000;
        if (scenario.silent())
            owedMs = std::max<qint64>(owedMs, silentTo - clock.elapsed() + 12000);
        rt::WaitUntil(
            [&] {
                if (drain.elapsed() - lastLook < 200) return false;
                lastLook = drain.elapsed();
                qsizetype received = 0, swallowed = 0, answered = 0, sent = 0;
                for (const nxsim::LogEntry& e : sim.log()) {
                    if (e.channel != nxsim::Channel::Modbus || !isWindowConnection(e)) continue;
                    if (e.direction == nxsim::Direction::Received) {
                        ++received;
                        if (e.swallowed) ++swallowed;
                    } else {
                        ++sent;
                        if (!e.copy) ++answered;
                    }
                }
                const bool settled = answered == received - swallowed &&
                                     static_cast<qsizetype>(ReplyLineCount()) == sent;
                if (!settled) {
                    heldSince = -1;
                    return false;
                }
                if (heldSince < 0) heldSince = lastLook;
                return lastLook - heldSince >= settleMs;
            },
            static_cast<uint32_t>(owedMs));
    }
    qInstallMessageHandler(g_previousHandler);
    if (const char* dump = std::getenv("NX_SOAK_DUMP")) {
        FILE* f = std::fopen(dump, "w");
        for (const LinkLine& l : g_linkLines)
            std::fprintf(f, "LINK %lld %s\n", static_cast<long long>(l.ms), qPrintable(l.text));
        for (const nxsim::LogEntry& e : sim.log())
            std::fprintf(f, "SIM %lld %s %d %s\n", static_cast<long long>(e.msecs),
                         e.direction == nxsim::Direction::Received ? "RX" : "TX", e.connection,
                         e.bytes.toHex(' ').constData());
        std::fclose(f);
    }
    QLoggingCategory::setFilterRules(QString());
    g_sim = nullptr;

    const QVector<nxsim::LogEntry> log = sim.log();
    const bool logWhole = log.isEmpty() || log.front().seq == 1;

    // The station's side of the window's connections: each reply answers the
    // oldest request of its connection not yet answered that the station did
    // not swallow (the station answers in order); a copy answers none.
    std::vector<StationRequest> requests;
    std::vector<StationReply> replies;
    std::map<int, std::deque<int>> waiting;
    std::unordered_map<quint64, int> replyOfSeq;
    std::vector<int> windowConnections;
    int otherConnectionRequests = 0, swallowedRequests = 0, copiesSent = 0;
    for (const nxsim::LogEntry& e : log) {
        if (e.channel != nxsim::Channel::Modbus) continue;
        if (!isWindowConnection(e)) {
            if (e.direction == nxsim::Direction::Received) ++otherConnectionRequests;
            continue;
        }
        if (std::find(windowConnections.begin(), windowConnections.end(), e.connection) ==
            windowConnections.end())
            windowConnections.push_back(e.connection);
        if (e.direction == nxsim::Direction::Received) {
            if (e.swallowed)
                ++swallowedRequests;
            else
                waiting[e.connection].push_back(static_cast<int>(requests.size()));
            requests.push_back(
                StationRequest{e.seq, e.msecs, -1, e.bytes, e.swallowed, e.function, e.address});
            continue;
        }
        StationReply r{e.bytes, Hex(e.bytes), e.msecs, -1, e.copy};
        if (e.copy) {
            ++copiesSent;
            const auto repeated = replyOfSeq.find(e.copyOf);
            if (repeated != replyOfSeq.end())
                r.request = replies[static_cast<size_t>(repeated->second)].request;
        } else {
            std::deque<int>& q = waiting[e.connection];
            if (!q.empty()) {
                r.request = q.front();
                q.pop_front();
                requests[static_cast<size_t>(r.request)].repliedMs = e.msecs;
            }
            replyOfSeq.emplace(e.seq, static_cast<int>(replies.size()));
        }
        replies.push_back(std::move(r));
    }

    // The monitor's requests: those received after the window went online.
    int monitorRequests = 0;
    int unanswered = 0, monitorSwallowed = 0;
    QCryptographicHash digest(QCryptographicHash::Sha256);
    std::vector<qint64> waits;
    // The double-clicks' writes are left out of the digest, so that it
    // stays the monitor's own.
    const auto clickWrite = [](const StationRequest& r) {
        return r.function == 5 && r.address >= kFirstClickCoil &&
               r.address < kFirstClickCoil + kClickCoils;
    };
    int digested = 0;
    for (const StationRequest& r : requests) {
        if (r.seq <= monitorFrom) continue;
        ++monitorRequests;
        if (!clickWrite(r) && ++digested <= kDigestFrames) digest.addData(r.bytes);
        if (r.swallowed)
            ++monitorSwallowed;
        else if (r.repliedMs < 0)
            ++unanswered;
        else
            waits.push_back(r.repliedMs - r.receivedMs);
    }
    const qint64 longestWait = waits.empty() ? 0 : *std::max_element(waits.begin(), waits.end());

    // The window's side: its request ids count its requests from 1 in the
    // order the station received them, and each of its reply lines (stored
    // or dropped) is about the next frame the station sent. When a line's
    // bytes are not that frame's, the first of the next few frames with its
    // bytes is taken: the link read the ones between without a line.
    std::vector<LinkEvent> events;
    {
        const std::lock_guard<std::mutex> lock(g_linkLinesLock);
        events.reserve(g_linkLines.size());
        for (const LinkLine& l : g_linkLines) events.push_back(ReadLinkLine(l));
    }
    constexpr size_t kResyncLookAhead = 16;
    size_t nextReply = 0, repliesWithoutLine = 0;
    const auto replyOfLine = [&](const LinkEvent& e, bool* bytesDiffer) -> const StationReply* {
        *bytesDiffer = false;
        for (size_t j = nextReply; j < replies.size() && j < nextReply + kResyncLookAhead; ++j) {
            if (replies[j].hex != e.hex) continue;
            repliesWithoutLine += j - nextReply;
            nextReply = j + 1;
            return &replies[j];
        }
        *bytesDiffer = true;
        const size_t k = nextReply++;
        return k < replies.size() ? &replies[k] : nullptr;
    };
    size_t sends = 0, sendsOutOfStep = 0;
    size_t replyLines = 0, replyBytesDiffer = 0;
    int stored = 0, storedMonitoring = 0, storedFromOther = 0, storedUnpaired = 0;
    int storedFromCopy = 0, copiesDropped = 0;
    int droppedGivenUp = 0, droppedNoRequest = 0, droppedWrite = 0, droppedOrderMark = 0;
    int otherReplyLines = 0, givenUp = 0;
    std::vector<qint64> storedAt;  // stand-in's clock
    for (const LinkEvent& e : events) {
        if (e.kind == LinkEvent::Send) {
            ++sends;
            const bool inStep = e.id == sends && sends <= requests.size() &&
                                e.hex == Hex(requests[sends - 1].bytes);
            if (!inStep) ++sendsOutOfStep;
            continue;
        }
        if (e.kind == LinkEvent::GivenUp) {
            ++givenUp;
            continue;
        }
        if (!e.reply()) continue;
        ++replyLines;
        bool differ = false;
        const StationReply* r = replyOfLine(e, &differ);
        if (differ) ++replyBytesDiffer;
        switch (e.kind) {
            case LinkEvent::DroppedGivenUp:
                ++droppedGivenUp;
                break;
            case LinkEvent::DroppedNoRequest:
                ++droppedNoRequest;
                break;
            case LinkEvent::DroppedWrite:
                ++droppedWrite;
                break;
            case LinkEvent::DroppedOrderMark:
                ++droppedOrderMark;
                break;
            case LinkEvent::OtherReply:
                ++otherReplyLines;
                break;
            default:
                break;
        }
        if (e.kind != LinkEvent::Stored) {
            if (r && r->copy) ++copiesDropped;
            continue;
        }
        ++stored;
        storedAt.push_back(e.ms);
        if (r && r->copy) {
            // No rule can tell a copy from a reply: counted on its own.
            ++storedFromCopy;
            continue;
        }
        if (!r || r->request < 0) {
            ++storedUnpaired;
            continue;
        }
        if (requests[static_cast<size_t>(r->request)].seq > monitorFrom) ++storedMonitoring;
        if (static_cast<unsigned long long>(r->request) + 1 != e.id) ++storedFromOther;
    }

    // The longest stretch of the monitoring without a reply stored.
    qint64 gapFrom = monitorStartMs, gapTo = monitorStartMs, last = monitorStartMs;
    for (qint64 t : storedAt) {
        if (t < monitorStartMs) continue;
        const qint64 to = std::min(t, monitorEndMs);
        if (to - last > gapTo - gapFrom) gapFrom = last, gapTo = to;
        last = std::max(last, to);
        if (t >= monitorEndMs) break;
    }
    if (monitorEndMs - last > gapTo - gapFrom) gapFrom = last, gapTo = monitorEndMs;

    // The double-clicks: each click's write is the first function-5 write
    // of its coil on the window's connections that reached the station at or
    // after the click and that no click before took.
    std::set<quint64> writesTaken;
    std::vector<qint64> clickDelays;
    int clicked = 0, reached = 0, clicksSwallowed = 0;
    qint64 longestHandler = 0;
    for (Click& k : clicks) {
        if (!k.clicked) continue;
        ++clicked;
        longestHandler = std::max(longestHandler, k.handlerMs);
        for (const StationRequest& r : requests) {
            if (r.function != 5 || r.address != k.coil || r.receivedMs < k.atMs ||
                writesTaken.count(r.seq))
                continue;
            writesTaken.insert(r.seq);
            k.reachedMs = r.receivedMs;
            k.swallowed = r.swallowed;
            break;
        }
        if (k.reachedMs < 0) continue;
        ++reached;
        if (k.swallowed) ++clicksSwallowed;
        clickDelays.push_back(k.reachedMs - k.atMs);
    }

    const auto ofMonitoring = [&](qint64 ms) {
        return static_cast<double>(ms - monitorStartMs) / 1000;
    };
    std::printf("%s\n", Describe(scenario, ran).c_str());
    std::printf("message boxes: %zu\n", dialogs.shown.size());
    for (const auto& s : dialogs.shown) std::printf("  box: %s\n", s.prompt.c_str());
    std::printf("monitor requests: %d (%.2f per second)\n", monitorRequests, monitorRequests / ran);
    for (const Follow& f : follows)
        std::printf("DO 032 followed the coil after %.1f s%s%s%s\n", f.seconds,
                    f.seconds < 0 ? " (never)" : "",
                    f.shownBefore ? " (the column showed the value before the switch)" : "",
                    f.inStation ? " (switched in the station: it answered no client)" : "");
    std::printf("digest of the first %d request frames (the clicks' writes left out): %s\n",
                kDigestFrames, digest.result().toHex().left(16).constData());
    std::printf(
        "wait in the station (monitor requests): longest %lld ms, median %.1f ms"
        " (%zu replied, %d unanswered, %d swallowed by the station)\n",
        static_cast<long long>(longestWait), Median(waits), waits.size(), unanswered,
        monitorSwallowed);
    std::string connections;
    for (int c : windowConnections)
        connections += (connections.empty() ? "" : ", ") + std::to_string(c);
    std::printf(
        "window's connection%s %s: station received %zu requests, sent %zu replies;"
        " other connections: %d requests%s\n",
        windowConnections.size() > 1 ? "s" : "", connections.c_str(), requests.size(),
        replies.size(), otherConnectionRequests,
        logWhole ? "" : " (station log incomplete: oldest entries dropped)");
    std::printf(
        "link: %zu requests sent (%s the station's count), %zu not in step with the"
        " station's requests\n",
        sends, sends == requests.size() ? "equal to" : "NOT equal to", sendsOutOfStep);
    std::printf(
        "link: %zu reply lines for %zu station replies, %zu with other bytes than the"
        " station's reply, %zu station replies without a line\n",
        replyLines, replies.size(), replyBytesDiffer, repliesWithoutLine);
    std::printf("replies stored: %d (%d of monitor requests)\n", stored, storedMonitoring);
    std::printf("replies dropped as answers of requests given up: %d\n", droppedGivenUp);
    std::printf(
        "replies stored as the answer of another request: %d (%d with no station request"
        " waiting)\n",
        storedFromOther, storedUnpaired);
    std::printf(
        "replies dropped with no request outstanding: %d, as answers of writes: %d;"
        " requests given up: %d\n",
        droppedNoRequest, droppedWrite, givenUp);
    std::printf("replies dropped as answers of order marks: %d; other reply lines: %d\n",
                droppedOrderMark, otherReplyLines);
    std::printf(
        "station: %d requests swallowed, %d copies of replies sent; replies stored from a"
        " copy: %d, copies dropped: %d\n",
        swallowedRequests, copiesSent, storedFromCopy, copiesDropped);
    std::printf("longest stretch without a reply stored: %.1f s (%.1f s to %.1f s of monitoring)\n",
                static_cast<double>(gapTo - gapFrom) / 1000, ofMonitoring(gapFrom),
                ofMonitoring(gapTo));
    if (scenario.silent() && silentStartMs >= 0) {
        int inWindow = 0;
        qint64 answeredAgain = -1;
        const qint64 windowEnd = silentEndMs >= 0 ? silentEndMs : monitorEndMs;
        for (const StationRequest& r : requests)
            if (r.receivedMs >= silentStartMs && r.receivedMs < windowEnd) ++inWindow;
        for (const StationReply& r : replies)
            if (!r.copy && r.request >= 0 &&
                requests[static_cast<size_t>(r.request)].receivedMs >= silentStartMs) {
                answeredAgain = r.msecs;
                break;
            }
        qint64 storedAgain = -1;
        if (answeredAgain >= 0)
            for (qint64 t : storedAt)
                if (t >= answeredAgain) {
                    storedAgain = t;
                    break;
                }
        std::printf("silent window: %.1f s to %.1f s of monitoring%s, %d requests received in it",
                    ofMonitoring(silentStartMs), ofMonitoring(windowEnd),
                    silentEndMs >= 0 ? "" : " (still silent at the end)", inWindow);
        if (answeredAgain >= 0)
            std::printf("; station answered again at %.1f s", ofMonitoring(answeredAgain));
        if (storedAgain >= 0)
            std::printf(", the window stored its next reply at %.1f s", ofMonitoring(storedAgain));
        std::printf("\n");
    }
    const qint64 longestClick =
        clickDelays.empty() ? 0 : *std::max_element(clickDelays.begin(), clickDelays.end());
    std::printf(
        "DO double-clicks: %d, %d reached the station (%d of them swallowed), %d never;"
        " click to station longest %lld ms, median %.1f ms; the handler took up to %lld ms\n",
        clicked, reached, clicksSwallowed, clicked - reached, static_cast<long long>(longestClick),
        Median(clickDelays), static_cast<long long>(longestHandler));
    size_t listed = 0;
    for (const Click& k : clicks) {
        if (!k.clicked || (k.reachedMs >= 0 && k.reachedMs - k.atMs <= kSlowClickMs)) continue;
        if (++listed > kClicksListed) break;
        if (k.reachedMs < 0)
            std::printf("  click at %.1f s (DO %03d): never reached the station\n",
                        ofMonitoring(k.atMs), k.coil);
        else
            std::printf("  click at %.1f s (DO %03d): reached the station after %lld ms%s\n",
                        ofMonitoring(k.atMs), k.coil, static_cast<long long>(k.reachedMs - k.atMs),
                        k.swallowed ? " (swallowed)" : "");
    }
    return storedFromOther == 0 ? 0 : 3;
}
