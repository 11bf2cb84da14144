// nxsim: runs the station stand-in as a program of its own.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <tuple>
#include <utility>

#include "sim/StationSim.h"

namespace {

QTextStream& Out() {
    static QTextStream s(stdout);
    return s;
}

QTextStream& Err() {
    static QTextStream s(stderr);
    return s;
}

bool ParsePort(const QString& text, quint16* port) {
    bool ok = false;
    const uint v = text.toUInt(&ok);
    if (!ok || v > 65535) return false;
    *port = static_cast<quint16>(v);
    return true;
}

QString Hex(const QByteArray& b) { return QString::fromLatin1(b.toHex(' ').toUpper()); }

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("nxsim");

    QCommandLineParser p;
    p.setApplicationDescription(
        "Station stand-in: a simulated NX-4410 station that answers Modbus TCP and the text\n"
        "command channel on a loopback address, for tests and demonstrations.\n"
        "Without --station it serves the default station: KB-560 (DI), KB-570 (DO), KB-521 (AI),\n"
        "KB-540 (thermocouple), KB-552 (AO), KB-580 (PI), KB-590 (PO) and KB-523 (scaled AI)\n"
        "in slots 0 to 7, all in OPERATION, with inputs that change over time.\n\n" +
        nxsim::StationFileFormat());
    p.addHelpOption();
    p.addOption(
        {"address", "Loopback address to serve on (default 127.0.0.1).", "address", "127.0.0.1"});
    p.addOption(
        {"modbus-port", "Modbus TCP port (default 502; 0 picks a free port).", "port", "502"});
    p.addOption(
        {"text-port", "Text command port (default 10000; 0 picks a free port).", "port", "10000"});
    p.addOption({"station", "Station file to serve (format above).", "file"});
    p.addOption({"net-id", "Modbus unit id (Net ID) 1..247; overrides the station's.", "id"});
    p.addOption({"controller", "Controller name returned by 19!controller.", "name"});
    p.addOption({"fw-version", "Reply to 19!getfwver.", "text"});
    p.addOption({"mcu-version", "Controller firmware version x 100 (e.g. 301).", "n"});
    p.addOption({"lib-version", "Controller library version x 100.", "n"});
    p.addOption({"slot",
                 "Put a module into a slot, e.g. 3:KB-540 or 5:0x00A0 or 2:empty; "
                 "may be repeated.",
                 "slot:module"});
    p.addOption({"empty", "Start from a station without modules (before --slot)."});
    p.addOption({"any-unit-id", "Answer requests of every unit id (else exception 0x0B)."});
    p.addOption({"no-preop-check", "Accept module settings commands outside PREOPERATION."});
    p.addOption({"static-inputs", "Inputs keep their values instead of changing over time."});
    p.addOption({"reply-delay", "Answer every Modbus request this many milliseconds late.", "ms"});
    p.addOption({"service-time",
                 "Work this many milliseconds on every Modbus request, one request after the "
                 "other on a connection.",
                 "ms"});
    p.addOption({"lose-every",
                 "Never answer one Modbus request in N (the 1st, the (1+N)-th, ...): the "
                 "station does not act on it.",
                 "n"});
    p.addOption({"repeat-every",
                 "Send the reply of one Modbus request in N (the 1st, the (1+N)-th, ...) twice, "
                 "the copy --repeat-gap later in a write of its own.",
                 "n"});
    p.addOption({"repeat-gap", "Milliseconds from a repeated reply to its copy (default 100).",
                 "ms", "100"});
    p.addOption({"log",
                 "Print every frame received and sent; a copy of a reply is marked "
                 "(copy), a request the station swallowed (lost)."});
    p.addOption({"print-station", "Print the station as station file text and exit."});
    p.process(app);

    nxsim::SimOptions opt;
    opt.modbusPort = 502;
    opt.textPort = 10000;
    if (!opt.address.setAddress(p.value("address")) || !opt.address.isLoopback()) {
        Err() << "nxsim: --address must be a loopback address, not '" << p.value("address")
              << "'\n";
        return 2;
    }
    if (!ParsePort(p.value("modbus-port"), &opt.modbusPort)) {
        Err() << "nxsim: --modbus-port must be 0..65535\n";
        return 2;
    }
    if (!ParsePort(p.value("text-port"), &opt.textPort)) {
        Err() << "nxsim: --text-port must be 0..65535\n";
        return 2;
    }
    if (p.isSet("station")) {
        QString error;
        if (!nxsim::LoadStationFile(p.value("station"), &opt.station, &error)) {
            Err() << "nxsim: " << error << "\n";
            return 2;
        }
    } else if (p.isSet("empty")) {
        opt.station = nxsim::StationConfig::Empty();
    }
    for (const QString& s : p.values("slot")) {
        const int colon = s.indexOf(':');
        bool ok = false;
        const int slot = colon > 0 ? s.left(colon).toInt(&ok) : -1;
        if (!ok || slot < 0 || slot >= nxsim::kSlotCount) {
            Err() << "nxsim: --slot '" << s << "': expected N:MODULE with N = 0..7\n";
            return 2;
        }
        QString station = QString("[slot %1]\nmodule = %2\n").arg(slot).arg(s.mid(colon + 1));
        nxsim::StationConfig one;
        QString error;
        if (!nxsim::ParseStationText(station, &one, &error)) {
            Err() << "nxsim: --slot '" << s << "': " << error.section(": ", 1) << "\n";
            return 2;
        }
        opt.station.slot[static_cast<size_t>(slot)] = one.slot[static_cast<size_t>(slot)];
    }
    if (p.isSet("net-id")) {
        bool ok = false;
        const int id = p.value("net-id").toInt(&ok);
        if (!ok || id < 1 || id > 247) {
            Err() << "nxsim: --net-id must be 1..247\n";
            return 2;
        }
        opt.station.netId = id;
    }
    if (p.isSet("controller")) opt.station.controllerName = p.value("controller");
    if (p.isSet("fw-version")) opt.station.fwVersionText = p.value("fw-version");
    for (const char* key : {"mcu-version", "lib-version"}) {
        if (!p.isSet(key)) continue;
        bool ok = false;
        const uint v = p.value(key).toUInt(&ok);
        if (!ok || v > 32767) {
            Err() << "nxsim: --" << key << " must be 0..32767\n";
            return 2;
        }
        (QLatin1String(key) == QLatin1String("mcu-version") ? opt.station.mcuVersion
                                                            : opt.station.libVersion) =
            static_cast<uint16_t>(v);
    }
    opt.anyUnitId = p.isSet("any-unit-id");
    opt.requirePreOp = !p.isSet("no-preop-check");
    opt.liveInputs = !p.isSet("static-inputs");
    opt.logLimit = 10000;

    if (p.isSet("print-station")) {
        Out() << nxsim::StationText(opt.station);
        Out().flush();
        return 0;
    }

    int replyDelayMs = 0;
    int serviceTimeMs = 0;
    int loseEvery = 0;
    int repeatEvery = 0;
    int repeatGapMs = 100;
    for (auto [key, value, low, high] : {std::tuple{"reply-delay", &replyDelayMs, 0, 60000},
                                         std::tuple{"service-time", &serviceTimeMs, 0, 60000},
                                         std::tuple{"lose-every", &loseEvery, 1, 1000000},
                                         std::tuple{"repeat-every", &repeatEvery, 1, 1000000},
                                         std::tuple{"repeat-gap", &repeatGapMs, 0, 60000}}) {
        if (!p.isSet(key)) continue;
        bool ok = false;
        *value = p.value(key).toInt(&ok);
        if (!ok || *value < low || *value > high) {
            Err() << "nxsim: --" << key << " must be " << low << ".." << high << "\n";
            return 2;
        }
    }
    // Only the first fault rule that matches a request applies: the two
    // would not add up.
    if (replyDelayMs > 0 && serviceTimeMs > 0) {
        Err() << "nxsim: --reply-delay and --service-time cannot be combined\n";
        return 2;
    }
    // A lost request is taken before the others' rules see it, so losing
    // combines with everything; a repeated reply would go out undelayed.
    if (repeatEvery > 0 && (replyDelayMs > 0 || serviceTimeMs > 0)) {
        Err() << "nxsim: --repeat-every cannot be combined with --reply-delay or "
                 "--service-time\n";
        return 2;
    }

    nxsim::StationSim sim;
    if (p.isSet("log")) {
        QObject::connect(&sim, &nxsim::StationSim::frameLogged, &app, [&sim](quint64 seq) {
            for (const nxsim::LogEntry& e : sim.logSince(seq - 1)) {
                if (e.seq != seq) continue;
                const bool text = e.channel == nxsim::Channel::Text;
                Out() << e.msecs << " ms  " << (text ? "text" : "modbus") << "#" << e.connection
                      << (e.direction == nxsim::Direction::Received ? " <- " : " -> ")
                      << (text ? QString::fromLatin1(e.bytes) : Hex(e.bytes))
                      << (e.copy ? " (copy)" : "") << (e.swallowed ? " (lost)" : "") << "\n";
                Out().flush();
            }
        });
    }
    QString error;
    if (!sim.start(opt, &error)) {
        Err() << "nxsim: " << error << "\n";
        return 1;
    }
    if (loseEvery > 0) {
        nxsim::FaultRule lose;
        lose.kind = nxsim::FaultKind::NoReply;
        lose.every = loseEvery;
        lose.count = -1;
        sim.addFault(lose);
    }
    if (repeatEvery > 0) {
        nxsim::FaultRule repeat;
        repeat.kind = nxsim::FaultKind::Repeat;
        repeat.delayMs = repeatGapMs;
        repeat.every = repeatEvery;
        repeat.count = -1;
        sim.addFault(repeat);
    }
    if (replyDelayMs > 0 || serviceTimeMs > 0) {
        nxsim::FaultRule late;
        late.kind = replyDelayMs > 0 ? nxsim::FaultKind::Delay : nxsim::FaultKind::ServiceTime;
        late.delayMs = replyDelayMs > 0 ? replyDelayMs : serviceTimeMs;
        late.count = -1;
        sim.addFault(late);
    }
    Out() << "nxsim: Modbus TCP on " << opt.address.toString() << " port " << sim.modbusPort()
          << ", text commands on port " << sim.textPort() << ", Net ID " << opt.station.netId
          << "\n";
    Out() << "modbus-port=" << sim.modbusPort() << "\n";
    Out() << "text-port=" << sim.textPort() << "\n";
    Out().flush();
    const int rc = app.exec();
    sim.stop();
    return rc;
}
