// The timed wait box "Status & Progress": shows a message and a bar that
// fills for a fixed time while a worker thread reports the elapsed time. It
// closes when the worker has ended, and at the latest after 5000 ms.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class QLabel;
class QProgressBar;
class QTimer;

namespace modflash {

// The longest a wait box stays open, whatever duration it was given.
constexpr uint32_t kWaitDialogCapMs = 5000;

// The time base of the wait box: the millisecond tick count its wait and its
// limit are measured on, and the worker's pause between two reports. The
// program runs on the real ticks; a test may give a clock of its own.
class WaitClock {
  public:
    virtual ~WaitClock() = default;
    virtual uint32_t Now() = 0;
    virtual void Pause(uint32_t ms) = 0;
};
WaitClock& RealWaitClock();

class ProgressDiag : public QDialog {
    Q_OBJECT
  public:
    static constexpr int IDC_LABEL = 1018;
    static constexpr int IDC_BAR = 1017;
    static constexpr int kTimerWorkerCheck = 1000;
    static constexpr int kTimerCap = 1001;

    explicit ProgressDiag(QWidget* parent = nullptr);
    ~ProgressDiag() override;

    // Sets the message and the duration; the box is armed from then on.
    // capMs is the longest the box stays open, on the clock given (the real
    // ticks when none is).
    void Arm(const QString& message, uint32_t durationMs, uint32_t capMs = kWaitDialogCapMs,
             WaitClock* clock = nullptr);
    // Runs the box modally; returns its result (1 when a timer closed it).
    int DoModal();
    // Asks the worker to stop and waits until it has ended.
    void StopWorker();

    void done(int result) override;

  protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void OnInitDialog();
    void OnTimer(int id);
    void OnElapsed(uint32_t elapsed);
    // The box's limit has passed since it opened.
    bool CapReached();
    void ProgressDiagWaitThread();
    // Sends one report and waits until the box has handled it; false once a
    // stop was requested.
    bool Report(uint32_t elapsed);
    void RequestStop();

    QLabel* label_;
    QProgressBar* bar_;
    QTimer* workerCheck_;
    QString message_;
    uint32_t durationMs_ = 0;
    uint32_t capMs_ = kWaitDialogCapMs;
    WaitClock* clock_ = &RealWaitClock();
    uint32_t openedAt_ = 0;
    bool armed_ = false;
    bool closed_ = false;
    bool closingByUs_ = false;

    std::thread worker_;
    std::atomic<bool> workerEnded_{false};
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
    uint64_t posted_ = 0;
    uint64_t handled_ = 0;
};

// Shows a wait box with the message for durationMs (at most capMs) and
// returns when it has closed and its worker has ended.
void ShowWaitDialog(QWidget* parent, const QString& message, uint32_t durationMs,
                    uint32_t capMs = kWaitDialogCapMs, WaitClock* clock = nullptr);

}  // namespace modflash
