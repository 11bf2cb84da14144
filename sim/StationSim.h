// The station stand-in: a simulated NX-4410 station that serves Modbus TCP and
// the text command channel on loopback, for tests and for trying the programs
// without hardware. It runs on a thread of its own, so its handlers never run
// nested inside a client's waits, and every method below is thread-safe.
//
// Typical use in a test:
//     nxsim::StationSim sim;
//     nxsim::SimOptions opt;            // loopback, ports 0 = free ports
//     opt.station.setModule(2, 0x004A);  // KB-521 in slot 2
//     ASSERT_TRUE(sim.start(opt, &err));
//     connect to sim.modbusPort() / sim.textPort() ...
//     sim.log(), sim.station(), sim.firmware(2), sim.addFault(...)
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QVector>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "sim/StationConfig.h"

namespace nxsim {

struct SimOptions {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 modbusPort = 0;  // 0: pick a free port (the program defaults to 502)
    quint16 textPort = 0;    // 0: pick a free port (the program defaults to 10000)
    StationConfig station = StationConfig::Default();
    // Answer requests of any unit id (echoing it). Otherwise only the station's
    // Net ID is served and other unit ids get exception 0x0B.
    bool anyUnitId = false;
    // Module settings commands are refused (exception 0x04) unless the module
    // is in PREOPERATION, as the station's modules require.
    bool requirePreOp = true;
    // Inputs (DI, AI, PI images) change over time.
    bool liveInputs = true;
    // The request log keeps at most this many entries (oldest dropped).
    int logLimit = 200000;
};

enum class Channel { Modbus, Text };
enum class Direction { Received, Sent };

// One frame of the request log. Received Modbus frames are decoded; fields
// that a frame does not carry are -1.
struct LogEntry {
    quint64 seq = 0;  // 1, 2, 3, ... over both channels
    Channel channel = Channel::Modbus;
    Direction direction = Direction::Received;
    int connection = 0;  // connection number, counted from 1 per server
    qint64 msecs = 0;    // milliseconds since the StationSim was created
    QByteArray bytes;    // the whole frame (text: the command text)
    int unitId = -1, function = -1, address = -1, quantity = -1;
    QVector<quint16> values;  // written registers (FC 6/16) or coil word (FC 5)
    // Received: a fault swallowed the request (NoReply, CloseConnection), so
    // no reply will answer it.
    bool swallowed = false;
    // Sent: a Repeat fault's copy of an earlier reply, which answers no
    // request of its own; copyOf is the seq of the Sent entry it repeats.
    bool copy = false;
    quint64 copyOf = 0;
};

// Fault injection. A rule matches requests by channel, and for Modbus by
// function code, start address range, and for writes to the command registers
// 0x8000 / 0x9000 and the mailbox 0x0200 by the command word (register 0) and
// the slot (register 1); for text by a prefix of the command. -1 / empty
// matches anything.
//
// A request is taken by one rule at most: the first rule, in the order they
// were added, that matches it and is due. A rule counts the requests that
// match it and that no rule before it took: the first `skip` pass untouched,
// then the rule is due for one request in every `every` (the 1st after the
// skipped ones, the (1 + every)-th, ...; 0 or 1: each one), and the first
// `count` of those (-1: all) get the fault. So skip = n - 1, count = 1 hits
// exactly the n-th; every = 10, count = -1 hits the 1st, 11th, 21st, ...
// A request a rule passes goes on to the rules after it. To combine a
// standing rule (e.g. ServiceTime for all requests) with a single or a
// periodic fault, add that fault first.
//
// Replies on one connection always go out in the order of their requests:
// a reply that waits holds back the replies behind it, whatever rule they
// matched. Only a Repeat's copy keeps no place in that order.
enum class FaultKind {
    NoReply,  // swallow the request: the station does not act on it and never replies
    Delay,    // the reply goes out delayMs after the request arrived or delayMs after
              // the reply queued before it is due, whichever is later
    // The station works delayMs on the request, one request after the other:
    // the work starts when the request arrived or when the reply before it
    // went out, whichever is later. Requests at 0, 100 and 200 ms with 700 ms
    // are answered at about 700, 1400 and 2100 ms.
    ServiceTime,
    Exception,    // Modbus exception reply with exceptionCode
    WrongUnitId,  // the reply carries unit id + 1
    // The reply in `pieces` (at least 2, at most one per byte) writes of
    // near-equal size: the first goes out when the reply is due, each further
    // one delayMs after the one before it went out. With pieces = 2 and a
    // reply of 12 bytes or more, the first write holds the MBAP length field.
    Split,
    // A read request's reply (functions 1 to 4) with its data cut to
    // byteCount bytes (at most the data there is); the byte count (byte 8)
    // and the MBAP length (3 + byteCount) say so. Other replies, exceptions
    // among them, are sent unchanged.
    ShortReply,
    DoubleReply,      // the reply twice in one write
    TrailingJunk,     // the reply followed by `garbage` (DE AD when empty) in one write
    Garbage,          // `garbage` instead of the reply: any hand-made reply, or
                      // 12 random bytes when empty
    CloseConnection,  // close the connection without replying
    ClosePartial,     // send the first half of the reply, then close
    TextRefuse,       // text channel: reply "-1"
    // The reply goes out as usual, then a copy of it once more, delayMs
    // after the reply went out, in a write of its own, as a duplicating
    // network would deliver it. The copy keeps no place in the reply order:
    // a reply behind it that is due earlier goes out before it, one due at
    // the same time or later after it; the copy holds nothing back.
    Repeat,
};

struct FaultRule {
    Channel channel = Channel::Modbus;
    int function = -1;
    int addressFirst = -1;
    int addressLast = -1;  // -1: same as addressFirst
    int command = -1;      // register 0 of a write to 0x8000, 0x9000 or 0x0200
    int slot = -1;         // register 1 of such a write (mailbox: its high byte for HART)
    QString textPrefix;    // text channel: e.g. "19!getnetid"
    FaultKind kind = FaultKind::NoReply;
    // Delay: the delay; ServiceTime: the work on each request; Split: the
    // pause between pieces; Repeat: the time from the reply to its copy;
    // other kinds: a pause before the mangled reply (or the close).
    int delayMs = 0;
    int exceptionCode = 4;
    int pieces = 2;
    int byteCount = 0;  // ShortReply: the data bytes kept
    QByteArray garbage;
    int skip = 0;
    int every = 0;  // 0 or 1: every matching request after `skip`; n: one in n
    int count = 1;
};

// Timing and misbehaviour of one slot's module for the firmware upgrade and
// HART exchanges.
struct SlotBehaviour {
    bool enterBootloader = true;    // false: the bootloader command is echoed, nothing happens
    int bootloaderDelayMs = 0;      // time until the module reports mode 8
    int chunkAcceptMs = 10;         // time until a chunk's status reads 2 (accepted)
    int stallFromChunk = -1;        // from this chunk (0-based) on the status never reads 2
    int resetDelayMs = 100;         // after reset: BOOTUP_OK, then OPERATION after this time
    bool returnToOperation = true;  // false: after reset the module stays in BOOTUP_OK
    int hartReplyMs = 50;           // time until a HART reply reads FINISH
};

// What the station received of a firmware upgrade of one slot.
struct FirmwareUpload {
    bool initialised = false;       // init-download received
    quint32 expectedSize = 0;       // size announced by init-download
    QByteArray image;               // the received image, scrambling undone
    QVector<QByteArray> rawChunks;  // chunk bytes as they arrived (after un-swapping)
    int chunks = 0;
    bool finished = false;  // finish command received with the whole image
    int resets = 0;         // reset commands received
};

struct HartRequest {
    int slot = 0;
    int channel = 0;
    QByteArray data;  // the HART bytes as the client meant them
};

class SimServer;
class StationEngine;

class StationSim : public QObject {
    Q_OBJECT
  public:
    explicit StationSim(QObject* parent = nullptr);
    ~StationSim() override;

    // Starts the servers on their own thread with the options' station and
    // flags. Faults, slot behaviours, the scramble table, HART responses and
    // the log set before (or during an earlier run) are kept. Returns false
    // (with *error) when a port cannot be bound; a running stand-in is
    // stopped first. State and log stay readable after stop().
    bool start(const SimOptions& options = SimOptions(), QString* error = nullptr);
    void stop();
    bool isRunning() const;
    quint16 modbusPort() const;
    quint16 textPort() const;
    QHostAddress address() const;

    // ---- Station state ---------------------------------------------------
    StationConfig station() const;  // snapshot
    void setStation(const StationConfig& station);
    // Changes the station under the lock, e.g. to take a module out.
    void updateStation(const std::function<void(StationConfig&)>& change);
    int netId() const;

    // Live images (the I/O data of the monitor).
    bool discreteInput(int index) const;      // 0..255
    bool coil(int index) const;               // 0..255
    qint16 inputRegister(int index) const;    // AI image 0..127
    qint16 holdingRegister(int index) const;  // AO image 0..127
    qint32 pulseInput(int index) const;       // PI pair index 0..127 (at 0x80 + 2 * index)
    qint32 pulseOutput(int index) const;      // PO pair index 0..127 (at 0x100 + 2 * index)
    void setDiscreteInput(int index, bool on);
    void setCoil(int index, bool on);  // as another master's write would
    void setInputRegister(int index, qint16 value);
    void setPulseInput(int index, qint32 value);
    void setLiveInputs(bool on);  // inputs keep the values set while off

    // ---- Firmware upgrade and HART ---------------------------------------
    // The 64-byte table the chunks are combined with; the stand-in undoes it.
    void setScrambleTable(const std::array<quint8, 64>& table);
    static std::array<quint8, 64> DefaultScrambleTable();
    void setSlotBehaviour(int slot, const SlotBehaviour& behaviour);
    SlotBehaviour slotBehaviour(int slot) const;
    FirmwareUpload firmware(int slot) const;
    QVector<HartRequest> hartRequests() const;
    // Response bytes for the next HART requests of a slot (empty: built from
    // the request).
    void setHartResponse(int slot, const QByteArray& response);

    // ---- Faults ----------------------------------------------------------
    int addFault(const FaultRule& rule);  // returns the rule's id
    void removeFault(int id);
    void clearFaults();
    int faultHits(int id) const;  // how many requests the rule has hit

    // ---- Request log -----------------------------------------------------
    // The log's clock: milliseconds since the StationSim was created.
    qint64 nowMs() const;
    QVector<LogEntry> log() const;
    QVector<LogEntry> received(Channel channel) const;  // received frames only
    QVector<LogEntry> logSince(quint64 seq) const;      // entries after seq
    void clearLog();
    // Blocks the calling thread (no events run) until the predicate holds for
    // the log or timeoutMs passed; returns whether it holds.
    bool waitForLog(const std::function<bool(const QVector<LogEntry>&)>& predicate,
                    int timeoutMs) const;

  signals:
    // Emitted (from the stand-in's thread) after a frame was logged.
    void frameLogged(quint64 seq);

  private:
    std::unique_ptr<StationEngine> engine_;
    std::unique_ptr<SimServer> server_;
    std::unique_ptr<class QThread> thread_;
    QHostAddress address_;
};

}  // namespace nxsim
