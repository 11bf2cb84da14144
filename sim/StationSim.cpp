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
void StationSim::setCoil(int index, bool on) {
    NXSIM_ENGINE()
    engine_->setCoil(index, on);
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
    // The table the modules' bootloaders share with modflash, so that an
    // upgrade run against nxsim reassembles the real image.
    return {0x56, 0xB6, 0x84, 0x72, 0xCE, 0x5C, 0xC2, 0x94, 0x81, 0x06, 0xE4, 0xAA, 0x50,
            0x5A, 0x85, 0xC8, 0xAE, 0x04, 0xBC, 0x68, 0x1A, 0xEF, 0x05, 0xA3, 0x62, 0x4C,
            0xDD, 0x06, 0xFE, 0x56, 0x8D, 0xC2, 0xA4, 0xE1, 0xFE, 0x5A, 0xA4, 0x8C, 0x19,
            0x12, 0xE1, 0x60, 0x67, 0xFC, 0x51, 0x86, 0x8F, 0x9F, 0x1D, 0x83, 0xBA, 0xE4,
            0x06, 0x90, 0xE8, 0xB7, 0x9C, 0x54, 0x07, 0xC1, 0xD9, 0x32, 0xC8, 0xB4};
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
qint64 StationSim::nowMs() const {
    NXSIM_ENGINE(0)
    return engine_->nowMs();
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
