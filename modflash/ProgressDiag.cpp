#include "modflash/ProgressDiag.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "platform/ticks.h"

namespace modflash {

namespace {

// The worker's elapsed-time report to the box: event number 1000 of the
// program's own range (0x3E8 above QEvent::User), so that no event of the
// toolkit or of another window is taken for it.
const QEvent::Type kElapsedEventType = static_cast<QEvent::Type>(QEvent::User + 0x3E8);

// Qt hands a posted event to the receiving thread under a lock of its own,
// which ThreadSanitizer cannot see when Qt itself is not instrumented; these
// mark that handover so the report's sender and receiver are ordered for it.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
void MarkHandedOver(void* event) { __tsan_release(event); }
void MarkReceived(void* event) { __tsan_acquire(event); }
#else
void MarkHandedOver(void*) {}
void MarkReceived(void*) {}
#endif

class ElapsedEvent : public QEvent {
  public:
    explicit ElapsedEvent(uint32_t elapsed) : QEvent(kElapsedEventType), elapsed(elapsed) {}
    uint32_t elapsed;
};

// The tick counter; the worker's pause is a plain sleep of the thread.
class RealClock : public WaitClock {
  public:
    uint32_t Now() override { return rt::GetTickCount(); }
    void Pause(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace

WaitClock& RealWaitClock() {
    static RealClock clock;
    return clock;
}

ProgressDiag::ProgressDiag(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      label_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      workerCheck_(new QTimer(this)) {
    // Dialog units 232 x 42 at the standard font: about 348 x 68 pixels.
    setWindowTitle(QStringLiteral("Status & Progress"));
    setModal(true);
    setFixedSize(348, 68);
    label_->setObjectName(QString::number(IDC_LABEL));
    bar_->setObjectName(QString::number(IDC_BAR));
    bar_->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    workerCheck_->setTimerType(Qt::PreciseTimer);
    workerCheck_->setInterval(10);
    connect(workerCheck_, &QTimer::timeout, this, [this] {
        OnTimer(kTimerWorkerCheck);
        if (CapReached()) OnTimer(kTimerCap);
    });
}

ProgressDiag::~ProgressDiag() { StopWorker(); }

void ProgressDiag::Arm(const QString& message, uint32_t durationMs, uint32_t capMs,
                       WaitClock* clock) {
    message_ = message;
    durationMs_ = durationMs;
    capMs_ = capMs;
    clock_ = clock ? clock : &RealWaitClock();
    armed_ = true;
}

int ProgressDiag::DoModal() {
    closed_ = false;
    OnInitDialog();
    return exec();
}

void ProgressDiag::OnInitDialog() {
    if (!armed_) return;
    // The bar's range has 16-bit bounds. It is set here, on the box's own
    // thread, before the worker starts; the worker only reports.
    bar_->setRange(1, static_cast<int>(std::clamp<uint32_t>(durationMs_, 1, 0xFFFF)));
    bar_->setValue(1);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = false;
    }
    workerEnded_ = false;
    // The limit runs from here on the box's clock: it is tested with every
    // report (about each millisecond) and with every check of the worker.
    openedAt_ = clock_->Now();
    worker_ = std::thread([this] { ProgressDiagWaitThread(); });
    workerCheck_->start();
}

bool ProgressDiag::CapReached() {
    // Past the limit, not at it: whole ticks that differ by the limit may lie
    // up to a millisecond less apart.
    return isVisible() && !closed_ && clock_->Now() - openedAt_ > capMs_;
}

void ProgressDiag::ProgressDiagWaitThread() {
    const uint32_t start = clock_->Now();
    for (;;) {
        const uint32_t elapsed = clock_->Now() - start;
        if (!Report(elapsed)) break;
        if (elapsed >= durationMs_) {
            Report(durationMs_);
            break;
        }
        // About one report a millisecond; the next report sees a stop request.
        clock_->Pause(1);
    }
    workerEnded_ = true;
}

bool ProgressDiag::Report(uint32_t elapsed) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stop_) return false;
    const uint64_t seq = ++posted_;
    // Posted while the lock is held: once the box has set stop_ (under the
    // same lock) and removed the posted reports, no further report is sent.
    auto* report = new ElapsedEvent(elapsed);
    MarkHandedOver(report);
    QCoreApplication::postEvent(this, report);
    cv_.wait(lock, [&] { return stop_ || handled_ >= seq; });
    return !stop_;
}

bool ProgressDiag::event(QEvent* e) {
    MarkReceived(e);
    if (e->type() == kElapsedEventType) {
        OnElapsed(static_cast<ElapsedEvent*>(e)->elapsed);
        return true;
    }
    return QDialog::event(e);
}

void ProgressDiag::OnElapsed(uint32_t elapsed) {
    label_->setText(message_);
    bar_->setValue(static_cast<int>(std::min<uint32_t>(elapsed, 0xFFFF)));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handled_ = posted_;
        cv_.notify_all();
    }
    if (CapReached()) OnTimer(kTimerCap);
}

void ProgressDiag::OnTimer(int id) {
    if (id == kTimerWorkerCheck) {
        if (workerEnded_) done(1);
    } else if (id == kTimerCap) {
        done(1);
    }
}

void ProgressDiag::RequestStop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        cv_.notify_all();
    }
    QCoreApplication::removePostedEvents(this, kElapsedEventType);
}

void ProgressDiag::StopWorker() {
    RequestStop();
    if (worker_.joinable()) worker_.join();
}

void ProgressDiag::done(int result) {
    workerCheck_->stop();
    RequestStop();
    closed_ = true;
    closingByUs_ = true;
    QDialog::done(result);
    closingByUs_ = false;
}

void ProgressDiag::keyPressEvent(QKeyEvent* e) {
    // The keyboard may end the wait early: Esc as Cancel (the base class),
    // Enter as OK. The base class gives Enter to a default button only, and
    // the box has no button, so Enter is handled here.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void ProgressDiag::closeEvent(QCloseEvent* e) {
    // The window menu offers no Close: only the box's own ends (its timers,
    // Esc and Enter) close it.
    if (!closingByUs_) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void ShowWaitDialog(QWidget* parent, const QString& message, uint32_t durationMs, uint32_t capMs,
                    WaitClock* clock) {
    ProgressDiag dlg(parent);
    dlg.Arm(message, durationMs, capMs, clock);
    dlg.DoModal();
    dlg.StopWorker();
}

}  // namespace modflash
