// The live monitor for a while against the station stand-in, every reply
// held back by a delay, or every request worked on by the station for a
// service time one after the other: what a user would see on a slow link or
// with a slow station. Prints the message boxes shown, the monitor's
// requests per second on the wire, how long the DO value column takes to
// follow a coil that a second client switches, and a digest of the first
// request frames, so that two builds' wires can be compared. From the
// stand-in's log it prints how long the window's requests waited in the
// station for their replies; from the link's debug lines it counts the
// replies the window stored, the ones it dropped as answers of requests
// given up, and checks each stored reply against the request the station
// sent it for.
//
//   nx4410_monitor_soak <seconds> <reply delay ms> [service]
//
// With `service` the station works <reply delay ms> on each request, one
// request after the other, instead of holding each reply back by it.
#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QString>
#include <QTcpSocket>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
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

// A second client's function-5 write of `coil`.
void WriteCoil(quint16 port, int coil, bool on) {
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(2000)) return;
    const char frame[] = {
        0, 1, 0, 0, 0, 6, 1, 5, 0, static_cast<char>(coil), static_cast<char>(on ? 0xFF : 0), 0};
    s.write(frame, sizeof frame);
    s.waitForBytesWritten(2000);
    s.waitForReadyRead(2000);
}

// ---- The link's debug lines ------------------------------------------------

// The messages of the nx.link categories, kept as they come and read after
// the run, so that the handler does no more than append under a lock.
std::mutex g_linkLinesLock;
std::vector<QString> g_linkLines;
QtMessageHandler g_previousHandler = nullptr;

void CollectLinkLine(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtDebugMsg && context.category &&
        std::strncmp(context.category, "nx.link.", 8) == 0) {
        const std::lock_guard<std::mutex> lock(g_linkLinesLock);
        g_linkLines.push_back(message);
        return;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// One debug line of the link, read: a request sent, a reply stored, a reply
// dropped, or a request given up.
struct LinkEvent {
    enum Kind { Send, Stored, DroppedGivenUp, DroppedNoRequest, DroppedWrite, GivenUp, Other };
    Kind kind = Other;
    unsigned long long id = 0;
    std::string hex;  // the frame, as rt::HexBytes writes it
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

LinkEvent ReadLinkLine(const QString& line) {
    const std::string s = line.toStdString();
    LinkEvent e;
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
    } else if (starts("reply dropped (")) {
        e.kind = starts("reply dropped (answers a request given up") ? LinkEvent::DroppedGivenUp
                 : starts("reply dropped (answers no request outstanding")
                     ? LinkEvent::DroppedNoRequest
                     : LinkEvent::DroppedWrite;
        e.id = IdAfterHash(s, 0, &end);
        const size_t colon = s.find("): ", end);
        if (colon != std::string::npos) e.hex = s.substr(colon + 3);
    } else if (starts("request #") && s.find(" given up") != std::string::npos) {
        e.kind = LinkEvent::GivenUp;
        e.id = IdAfterHash(s, 0, &end);
    }
    return e;
}

// ---- The station's side ------------------------------------------------------

// A request the station received on the window's connection, with the time
// its reply went out (-1: none went out).
struct StationRequest {
    quint64 seq = 0;
    qint64 receivedMs = 0;
    qint64 repliedMs = -1;
    QByteArray bytes;
};

// A reply the station sent on the window's connection and the request it
// answers (index into the requests, -1: none was waiting for a reply).
struct StationReply {
    QByteArray bytes;
    int request = -1;
};

double Median(std::vector<qint64> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? static_cast<double>(v[n / 2])
                 : (static_cast<double>(v[n / 2 - 1]) + static_cast<double>(v[n / 2])) / 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <seconds> <reply delay ms> [service]\n", argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    const int delayMs = std::atoi(argv[2]);
    const bool service = argc > 3 && std::strcmp(argv[3], "service") == 0;
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
    frmMain window;
    window.show();
    if (!StartStationAndGoOnline(sim, options, window)) return 1;
    if (delayMs > 0) {
        nxsim::FaultRule late;
        late.kind = service ? nxsim::FaultKind::ServiceTime : nxsim::FaultKind::Delay;
        late.delayMs = delayMs;
        late.count = -1;
        sim.addFault(late);
    }
    const QVector<nxsim::LogEntry> online = sim.log();
    const quint64 monitorFrom = online.isEmpty() ? 0 : online.back().seq;
    window.Toolbar.Buttons("Monitor").PerformClick();

    // The coil of the digital output module's first channel (address 32)
    // switched by another client at each third of the run.
    const int coil = 32;
    QElapsedTimer clock;
    clock.start();
    std::vector<double> follows;
    // Whether the column showed the new value already when the coil was
    // switched (the switch before was never followed): then the time after
    // says nothing.
    std::vector<bool> shownBefore;
    const auto doColumn = [&window] {
        return window.lvwDOMapping.FindItem("032 [020]")->SubItem(4);
    };
    for (int third = 1; third <= 2; ++third) {
        const qint64 at = static_cast<qint64>(third) * seconds * 1000 / 3;
        rt::WaitUntil([] { return false; },
                      static_cast<uint32_t>(std::max<qint64>(0, at - clock.elapsed())));
        const bool on = !sim.coil(coil);
        const char* want = on ? "ON" : "OFF";
        shownBefore.push_back(doColumn() == want);
        WriteCoil(sim.modbusPort(), coil, on);
        QElapsedTimer t;
        t.start();
        // Up to a third of the run: a slow station's cycle takes long.
        const bool shown = rt::WaitUntil([&] { return doColumn() == want; },
                                         static_cast<uint32_t>(seconds * 1000 / 3));
        follows.push_back(shown ? static_cast<double>(t.elapsed()) / 1000 : -1);
    }
    rt::WaitUntil([] { return false; },
                  static_cast<uint32_t>(std::max<qint64>(0, seconds * 1000 - clock.elapsed())));
    const double ran = static_cast<double>(clock.elapsed()) / 1000;
    window.Toolbar.ButtonMenuClick(window.Toolbar.Buttons("Monitor").ButtonMenus(1));

    // The window's connection is the one the first Modbus request came on
    // (Upload's); the second client's writes come on connections of their own.
    int windowConnection = -1;
    const auto windowFrames = [&](const QVector<nxsim::LogEntry>& log, qsizetype* received,
                                  qsizetype* sent) {
        *received = *sent = 0;
        for (const nxsim::LogEntry& e : log) {
            if (e.channel != nxsim::Channel::Modbus) continue;
            if (windowConnection < 0 && e.direction == nxsim::Direction::Received)
                windowConnection = e.connection;
            if (e.connection != windowConnection) continue;
            ++(e.direction == nxsim::Direction::Received ? *received : *sent);
        }
    };
    // Lets the last request's reply come in, so that every request the
    // station received has its reply, and the window has read it.
    {
        QElapsedTimer drain;
        drain.start();
        qint64 lastLook = -1000;
        rt::WaitUntil(
            [&] {
                if (drain.elapsed() - lastLook < 200) return false;
                lastLook = drain.elapsed();
                qsizetype received = 0, sent = 0;
                windowFrames(sim.log(), &received, &sent);
                if (received != sent) return false;
                size_t replyLines = 0;
                {
                    const std::lock_guard<std::mutex> lock(g_linkLinesLock);
                    for (const QString& l : g_linkLines)
                        if (l.startsWith(QLatin1String("reply "))) ++replyLines;
                }
                return static_cast<qsizetype>(replyLines) == sent;
            },
            static_cast<uint32_t>(2 * std::max(delayMs, 5000) + 2000));
    }
    qInstallMessageHandler(g_previousHandler);
    QLoggingCategory::setFilterRules(QString());

    const QVector<nxsim::LogEntry> log = sim.log();
    const bool logWhole = log.isEmpty() || log.front().seq == 1;

    // The station's side of the window's connection: each reply answers the
    // oldest request of the connection not yet answered (the station answers
    // in order).
    std::vector<StationRequest> requests;
    std::vector<StationReply> replies;
    std::deque<int> waiting;
    int otherConnectionRequests = 0;
    windowConnection = -1;
    {
        qsizetype received = 0, sent = 0;
        windowFrames(log, &received, &sent);
        requests.reserve(static_cast<size_t>(received));
        replies.reserve(static_cast<size_t>(sent));
    }
    for (const nxsim::LogEntry& e : log) {
        if (e.channel != nxsim::Channel::Modbus) continue;
        if (e.connection != windowConnection) {
            if (e.direction == nxsim::Direction::Received) ++otherConnectionRequests;
            continue;
        }
        if (e.direction == nxsim::Direction::Received) {
            waiting.push_back(static_cast<int>(requests.size()));
            requests.push_back(StationRequest{e.seq, e.msecs, -1, e.bytes});
        } else {
            StationReply r{e.bytes, -1};
            if (!waiting.empty()) {
                r.request = waiting.front();
                waiting.pop_front();
                requests[static_cast<size_t>(r.request)].repliedMs = e.msecs;
            }
            replies.push_back(std::move(r));
        }
    }

    // The monitor's requests: those received after the window went online.
    int monitorRequests = 0;
    int unanswered = 0;
    QCryptographicHash digest(QCryptographicHash::Sha256);
    std::vector<qint64> waits;
    for (const StationRequest& r : requests) {
        if (r.seq <= monitorFrom) continue;
        if (++monitorRequests <= kDigestFrames) digest.addData(r.bytes);
        if (r.repliedMs < 0)
            ++unanswered;
        else
            waits.push_back(r.repliedMs - r.receivedMs);
    }
    const qint64 longestWait = waits.empty() ? 0 : *std::max_element(waits.begin(), waits.end());

    // The window's side: its request ids count the connection's requests
    // from 1 in the order the station received them, and its k-th reply line
    // (stored or dropped) is about the station's k-th reply.
    std::vector<LinkEvent> events;
    {
        const std::lock_guard<std::mutex> lock(g_linkLinesLock);
        events.reserve(g_linkLines.size());
        for (const QString& l : g_linkLines) events.push_back(ReadLinkLine(l));
    }
    size_t sends = 0, sendsOutOfStep = 0;
    size_t replyLines = 0, replyBytesDiffer = 0;
    int stored = 0, storedMonitoring = 0, storedFromOther = 0, storedUnpaired = 0;
    int droppedGivenUp = 0, droppedNoRequest = 0, droppedWrite = 0, givenUp = 0;
    for (const LinkEvent& e : events) {
        switch (e.kind) {
            case LinkEvent::Send: {
                ++sends;
                const bool inStep =
                    e.id == sends && sends <= requests.size() &&
                    e.hex == rt::HexBytes(requests[sends - 1].bytes.constData(),
                                          static_cast<size_t>(requests[sends - 1].bytes.size()));
                if (!inStep) ++sendsOutOfStep;
                break;
            }
            case LinkEvent::Stored:
            case LinkEvent::DroppedGivenUp:
            case LinkEvent::DroppedNoRequest:
            case LinkEvent::DroppedWrite: {
                const size_t k = replyLines++;
                const StationReply* r = k < replies.size() ? &replies[k] : nullptr;
                if (!r || e.hex != rt::HexBytes(r->bytes.constData(),
                                                static_cast<size_t>(r->bytes.size())))
                    ++replyBytesDiffer;
                if (e.kind == LinkEvent::DroppedGivenUp) ++droppedGivenUp;
                if (e.kind == LinkEvent::DroppedNoRequest) ++droppedNoRequest;
                if (e.kind == LinkEvent::DroppedWrite) ++droppedWrite;
                if (e.kind != LinkEvent::Stored) break;
                ++stored;
                if (!r || r->request < 0) {
                    ++storedUnpaired;
                    break;
                }
                if (requests[static_cast<size_t>(r->request)].seq > monitorFrom) ++storedMonitoring;
                if (static_cast<unsigned long long>(r->request) + 1 != e.id) ++storedFromOther;
                break;
            }
            case LinkEvent::GivenUp:
                ++givenUp;
                break;
            case LinkEvent::Other:
                break;
        }
    }

    if (service)
        std::printf("service time %d ms per request, %.1f s of monitoring\n", delayMs, ran);
    else
        std::printf("reply delay %d ms, %.1f s of monitoring\n", delayMs, ran);
    std::printf("message boxes: %zu\n", dialogs.shown.size());
    for (const auto& s : dialogs.shown) std::printf("  box: %s\n", s.prompt.c_str());
    std::printf("monitor requests: %d (%.2f per second)\n", monitorRequests, monitorRequests / ran);
    for (size_t i = 0; i < follows.size(); ++i)
        std::printf("DO 032 followed the coil after %.1f s%s%s\n", follows[i],
                    follows[i] < 0 ? " (never)" : "",
                    shownBefore[i] ? " (the column showed the value before the switch)" : "");
    std::printf("digest of the first %d request frames: %s\n", kDigestFrames,
                digest.result().toHex().left(16).constData());
    std::printf(
        "wait in the station (monitor requests): longest %lld ms, median %.1f ms"
        " (%zu replied, %d unanswered)\n",
        static_cast<long long>(longestWait), Median(waits), waits.size(), unanswered);
    std::printf(
        "window's connection %d: station received %zu requests, sent %zu replies;"
        " other connections: %d requests%s\n",
        windowConnection, requests.size(), replies.size(), otherConnectionRequests,
        logWhole ? "" : " (station log incomplete: oldest entries dropped)");
    std::printf(
        "link: %zu requests sent (%s the station's count), %zu not in step with the"
        " station's requests\n",
        sends, sends == requests.size() ? "equal to" : "NOT equal to", sendsOutOfStep);
    std::printf(
        "link: %zu reply lines for %zu station replies, %zu with other bytes than the"
        " station's reply\n",
        replyLines, replies.size(), replyBytesDiffer);
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
    return storedFromOther == 0 ? 0 : 3;
}
