#include "platform/ui/paintpacer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include "platform/EventWait.h"

namespace ui {

PaintPacer::PaintPacer(QWidget* window, int intervalMs)
    : QObject(window), window_(window), intervalMs_(intervalMs) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PaintPacer::Deliver);
    window->installEventFilter(this);
    // The command is over once the event loop blocks outside every wait.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (holding_ && rt::ActiveWaits() == 0) Deliver();
        });
}

bool PaintPacer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || event->type() != QEvent::UpdateRequest || delivering_) return false;
    if (holding_) return true;  // delivered with the held-back one
    if (rt::ActiveWaits() > 0) {
        // The window keeps its areas marked for repaint and asks for no
        // other paint until this request is delivered.
        const qint64 since = sinceLastPaint_.isValid() ? sinceLastPaint_.elapsed() : intervalMs_;
        holding_ = true;
        timer_.start(static_cast<int>(since < intervalMs_ ? intervalMs_ - since : intervalMs_));
        return true;
    }
    sinceLastPaint_.start();
    emit aboutToPaint();
    return false;
}

void PaintPacer::Deliver() {
    timer_.stop();
    holding_ = false;
    if (window_.isNull()) return;
    delivering_ = true;
    sinceLastPaint_.start();
    emit aboutToPaint();
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window_, &request);
    delivering_ = false;
}

}  // namespace ui
