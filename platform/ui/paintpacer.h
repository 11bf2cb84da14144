// Paint pacing of a top-level window while a command waits for replies.
// Every status line and event-log row of a command marks part of the window
// for a repaint (a cheap update), and the event-pumping wait of the next
// request would paint it at once, so a sequence of quick requests painted
// once per request and each wait cost a paint more than its reply. Inside
// a wait the window therefore holds every paint back: it is delivered, with
// the ones asked for meanwhile, one interval after the last paint (one
// interval after it was asked for, when the last paint is older), or at
// once when the command is over and the event loop is about to block. The
// window paints at most once per interval while a command waits, and a
// command that ends within an interval paints once, at its end. Outside
// waits nothing changes.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace ui {

class PaintPacer : public QObject {
    Q_OBJECT
  public:
    // Paces `window` (a top-level widget, which becomes the pacer's parent).
    explicit PaintPacer(QWidget* window, int intervalMs = 16);
    // Whether a paint is held back right now.
    bool Holding() const { return holding_; }

  signals:
    // The window is about to paint: what is shown only when it is painted
    // (a status line's deferred text) is brought up to date now.
    void aboutToPaint();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Deliver();

    QPointer<QWidget> window_;
    int intervalMs_;
    QElapsedTimer sinceLastPaint_;
    QTimer timer_;
    bool holding_ = false;
    bool delivering_ = false;
};

}  // namespace ui
