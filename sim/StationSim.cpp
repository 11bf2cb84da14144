#include "sim/StationSim.h"

#include <QThread>

#include "sim/SimServer.h"
#include "sim/StationEngine.h"

namespace nxsim {

StationSim::StationSim(QObject* parent)
    : QObject(parent), engine_(std::make_unique<StationEngine>(SimOptions())) {
    engine_->onLogged = [this](quint64 seq) { emit frameLogged(seq); };
}

StationSim::~StationSim() { stop(); }

bool StationSim::start(const SimOptions& options, QString* error) {
    stop();
    engine_->configure(options);
    address_ = options.address;
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName("nxsim");
    server_ = std::make_unique<SimServer>(engine_.get());
    server_->moveToThread(thread_.get());
    thread_->start();
    bool ok = false;
    QMetaObject::invokeMethod(
        server_.get(),
        [&] { ok = server_->listen(options.address, options.modbusPort, options.textPort); },
        Qt::BlockingQueuedConnection);
    if (!ok) {
        if (error) *error = server_->error();
        stop();
        return false;
    }
    return true;
}

void StationSim::stop() {
    if (server_ && thread_) {
        QThread* here = QThread::currentThread();
        SimServer* s = server_.get();
        QMetaObject::invokeMethod(
            s, [s, here] { s->shutdown(here); }, Qt::BlockingQueuedConnection);
    }
    if (thread_) {
        thread_->quit();
        thread_->wait();
    }
    server_.reset();
    thread_.reset();
    // The engine stays, so that state and log can be read after a stop.
}

bool StationSim::isRunning() const { return server_ != nullptr; }
quint16 StationSim::modbusPort() const { return server_ ? server_->modbusPort() : 0; }
quint16 StationSim::textPort() const { return server_ ? server_->textPort() : 0; }
QHostAddress StationSim::address() const { return address_; }

// Every accessor works on the engine, which exists from the first start on.
#define NXSIM_ENGINE(fallback) \
    if (!engine_) return fallback;

StationConfig StationSim::station() const {
    NXSIM_ENGINE(StationConfig())
    return engine_->station();
}
void StationSim::setStation(const StationConfig& station) {
    NXSIM_ENGINE()
    engine_->setStation(station);
}
void StationSim::updateStation(const std::function<void(StationConfig&)>& change) {
    NXSIM_ENGINE()
    engine_->updateStation(change);
}
int StationSim::netId() const {
    NXSIM_ENGINE(0)
    return engine_->netId();
}
bool StationSim::discreteInput(int index) const {
    NXSIM_ENGINE(false)
    return engine_->discreteInput(index);
}
bool StationSim::coil(int index) const {
    NXSIM_ENGINE(false)
    return engine_->coil(index);
}
qint16 StationSim::inputRegister(int index) const {
    NXSIM_ENGINE(0)
    return engine_->inputRegister(index);
}
qint16 StationSim::holdingRegister(int index) const {
    NXSIM_ENGINE(0)
    return engine_->holdingRegister(index);
}
qint32 StationSim::pulseInput(int index) const {
    NXSIM_ENGINE(0)
    return engine_->pulseInput(index);
}
qint32 StationSim::pulseOutput(int index) const {
    NXSIM_ENGINE(0)
    return engine_->pulseOutput(index);
}
void StationSim::setDiscreteInput(int index, bool on) {
    NXSIM_ENGINE()
    engine_->setDiscreteInput(index, on);
}
void StationSim::setInputRegister(int index, qint16 value) {
    NXSIM_ENGINE()
    engine_->setInputRegister(index, value);
}
void StationSim::setPulseInput(int index, qint32 value) {
    NXSIM_ENGINE()
    engine_->setPulseInput(index, value);
}
void StationSim::setLiveInputs(bool on) {
    NXSIM_ENGINE()
    engine_->setLiveInputs(on);
}
void StationSim::setScrambleTable(const std::array<quint8, 64>& table) {
    NXSIM_ENGINE()
    engine_->setScrambleTable(table);
}

std::array<quint8, 64> StationSim::DefaultScrambleTable() {
    return {0x5A, 0x3C, 0x96, 0xE1, 0x0F, 0x78, 0xA5, 0xC3, 0x1E, 0x87, 0x4B, 0xD2, 0x2D,
            0xB4, 0x69, 0xF0, 0x33, 0xCC, 0x55, 0xAA, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC,
            0xDE, 0xF1, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x10, 0x32, 0x54, 0x76,
            0x98, 0xBA, 0xDC, 0xFE, 0x01, 0x7F, 0x80, 0x3F, 0xC0, 0x1F, 0xE0, 0x0E, 0x71,
            0x8E, 0x17, 0xE8, 0x2B, 0xD4, 0x4D, 0xB2, 0x6A, 0x95, 0x39, 0xC6, 0x5C};
}

void StationSim::setSlotBehaviour(int slot, const SlotBehaviour& behaviour) {
    NXSIM_ENGINE()
    engine_->setSlotBehaviour(slot, behaviour);
}
SlotBehaviour StationSim::slotBehaviour(int slot) const {
    NXSIM_ENGINE(SlotBehaviour())
    return engine_->slotBehaviour(slot);
}
FirmwareUpload StationSim::firmware(int slot) const {
    NXSIM_ENGINE(FirmwareUpload())
    return engine_->firmware(slot);
}
QVector<HartRequest> StationSim::hartRequests() const {
    NXSIM_ENGINE({})
    return engine_->hartRequests();
}
void StationSim::setHartResponse(int slot, const QByteArray& response) {
    NXSIM_ENGINE()
    engine_->setHartResponse(slot, response);
}
int StationSim::addFault(const FaultRule& rule) {
    NXSIM_ENGINE(0)
    return engine_->addFault(rule);
}
void StationSim::removeFault(int id) {
    NXSIM_ENGINE()
    engine_->removeFault(id);
}
void StationSim::clearFaults() {
    NXSIM_ENGINE()
    engine_->clearFaults();
}
int StationSim::faultHits(int id) const {
    NXSIM_ENGINE(0)
    return engine_->faultHits(id);
}
QVector<LogEntry> StationSim::log() const {
    NXSIM_ENGINE({})
    return engine_->log();
}
QVector<LogEntry> StationSim::received(Channel channel) const {
    QVector<LogEntry> out;
    for (const LogEntry& e : log())
        if (e.channel == channel && e.direction == Direction::Received) out.append(e);
    return out;
}
QVector<LogEntry> StationSim::logSince(quint64 seq) const {
    NXSIM_ENGINE({})
    return engine_->logSince(seq);
}
void StationSim::clearLog() {
    NXSIM_ENGINE()
    engine_->clearLog();
}
bool StationSim::waitForLog(const std::function<bool(const QVector<LogEntry>&)>& predicate,
                            int timeoutMs) const {
    NXSIM_ENGINE(false)
    return engine_->waitForLog(predicate, timeoutMs);
}

#undef NXSIM_ENGINE

}  // namespace nxsim
