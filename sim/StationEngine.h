// The station's behaviour without sockets: turns one Modbus request frame or
// one text command into the station's reply and changes the station's state.
// All state sits behind one mutex; the servers call in from the stand-in's
// thread, the test API from any thread.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMutex>
#include <QVector>
#include <QWaitCondition>
#include <array>
#include <deque>
#include <functional>
#include <optional>

#include "sim/StationSim.h"

namespace nxsim {

// Modbus exception codes.
enum ExceptionCode : uint8_t {
    ExIllegalFunction = 0x01,
    ExIllegalAddress = 0x02,
    ExIllegalValue = 0x03,
    ExDeviceFailure = 0x04,
    ExGatewayTargetFailed = 0x0B,
};

// A received Modbus request, decoded as far as the frame allows.
struct ModbusRequest {
    QByteArray frame;
    int transaction = 0;
    int unitId = -1;
    int function = -1;
    int address = -1;
    int quantity = -1;
    QVector<quint16> values;  // registers of FC 16 / value of FC 5, 6
};

ModbusRequest DecodeModbus(const QByteArray& frame);
// Length of the first complete Modbus TCP frame in buf: 0 when more bytes are
// needed, -1 when the header cannot be a Modbus TCP header.
int ModbusFrameLength(const QByteArray& buf);
// Builds a reply frame for the request with the given PDU.
QByteArray ModbusReply(const ModbusRequest& req, const QByteArray& pdu, int unitId = -1);
QByteArray ModbusException(const ModbusRequest& req, uint8_t code);

// Splits the text channel's received bytes into commands. Complete commands
// are removed from buf; a buffer that is the start of a known command is left
// waiting for the rest; unknown text is taken whole as one command.
QVector<QByteArray> SplitTextCommands(QByteArray& buf);

// Undoes (and applies: it is its own inverse) the chunk scrambling of a run.
void Scramble(quint8* p, int len, const std::array<quint8, 64>& table);

class StationEngine {
  public:
    explicit StationEngine(const SimOptions& options);
    // Takes the options' station and flags; everything else is kept.
    void configure(const SimOptions& options);

    // Reply to one Modbus request (empty: no reply).
    QByteArray handleModbus(const ModbusRequest& req);
    // Reply to one text command.
    QByteArray handleText(const QByteArray& command);

    // Faults: the first rule that matches and is due; counts its hit.
    std::optional<FaultRule> takeFault(Channel channel, const ModbusRequest* req,
                                       const QByteArray& text);
    int addFault(const FaultRule& rule);
    void removeFault(int id);
    void clearFaults();
    int faultHits(int id);

    // Log. A received request that a fault swallowed is logged `swallowed`;
    // a Repeat's copy with `copyOf`, the seq of the entry it repeats.
    quint64 logFrame(Channel channel, Direction dir, int connection, const QByteArray& bytes,
                     const ModbusRequest* req, bool swallowed = false, quint64 copyOf = 0);
    QVector<LogEntry> log();
    QVector<LogEntry> logSince(quint64 seq);
    void clearLog();
    bool waitForLog(const std::function<bool(const QVector<LogEntry>&)>& predicate,
                    int timeoutMs) const;
    std::function<void(quint64)> onLogged;

    // State access for the test API.
    StationConfig station();
    void setStation(const StationConfig& st);
    void updateStation(const std::function<void(StationConfig&)>& change);
    int netId();
    bool discreteInput(int i);
    bool coil(int i);
    qint16 inputRegister(int i);
    qint16 holdingRegister(int i);
    qint32 pulseInput(int i);
    qint32 pulseOutput(int i);
    void setDiscreteInput(int i, bool on);
    void setCoil(int i, bool on);
    void setInputRegister(int i, qint16 v);
    void setPulseInput(int i, qint32 v);
    void setLiveInputs(bool on);
    void setScrambleTable(const std::array<quint8, 64>& table);
    void setSlotBehaviour(int slot, const SlotBehaviour& b);
    SlotBehaviour slotBehaviour(int slot);
    FirmwareUpload firmware(int slot);
    QVector<HartRequest> hartRequests();
    void setHartResponse(int slot, const QByteArray& response);
    qint64 nowMs() const { return clock_.elapsed(); }

  private:
    struct Pending {
        qint64 at;
        std::function<void()> apply;
    };
    struct FaultSlot {
        int id;
        FaultRule rule;
        int seen = 0;
        int hits = 0;
    };

    void advance();  // applies due timed changes (mutex held)
    void schedule(qint64 delayMs, std::function<void()> apply);
    enum class InputImage { DI, AI, PI };
    // Brings the live inputs with index first..last-1 of an image (DI bits,
    // AI registers, PI pairs) to the current time (mutex held).
    void refreshInputs(InputImage image, int first, int last);
    void refreshAllInputs();

    QByteArray readBits(const ModbusRequest& req, bool coils);
    QByteArray readRegisters(const ModbusRequest& req, bool input);
    bool inputRegisterAt(int addr, quint16* out);
    bool holdingRegisterAt(int addr, quint16* out) const;
    bool configBlock(int start, int qty, QVector<quint16>* out, uint8_t* ex) const;
    QByteArray writeCoil(const ModbusRequest& req);
    QByteArray writeRegister(const ModbusRequest& req);
    QByteArray writeMultiple(const ModbusRequest& req);
    uint8_t moduleCommand(const QVector<quint16>& regs);
    uint8_t mcuCommand(const QVector<quint16>& regs);
    uint8_t mailbox(const QVector<quint16>& regs);
    uint8_t firmwareChunk(int slot, const QVector<quint16>& regs);
    uint8_t hartRequest(const QVector<quint16>& regs);
    QByteArray hartResponse(int slot, int channel, const QByteArray& request, quint16* error) const;

    mutable QMutex mutex_;
    mutable QWaitCondition logChanged_;
    QElapsedTimer clock_;
    SimOptions options_;
    StationConfig st_;
    std::array<bool, 256> di_{};
    std::array<bool, 256> coils_{};
    std::array<qint16, 128> ai_{};
    std::array<qint16, 128> ao_{};
    std::array<qint32, 128> pi_{};
    std::array<qint32, 128> piBase_{};
    std::array<qint32, 128> po_{};
    bool live_ = true;
    std::array<quint8, 64> scramble_{};
    std::array<SlotBehaviour, kSlotCount> behaviour_{};
    std::array<FirmwareUpload, kSlotCount> firmware_{};
    std::array<std::array<quint16, 256>, kSlotCount> replyArea_{};
    std::array<QByteArray, kSlotCount> hartResponse_{};
    QVector<HartRequest> hartRequests_;
    std::deque<Pending> pending_;
    std::vector<FaultSlot> faults_;
    int nextFaultId_ = 1;
    std::deque<LogEntry> log_;
    quint64 nextSeq_ = 1;
};

}  // namespace nxsim
