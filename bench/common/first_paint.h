// Ends a start-up timing at the first paint of a top-level window that
// reaches the screen: at the window's first paint event a zero-time timer is
// queued, which runs once the paint cycle that delivered the event is over
// (the backing store flushed to the window). It prints
// "painted <width> <height>" and ends the event loop.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace bench {

class FirstPaintProbe : public QObject {
  public:
    explicit FirstPaintProbe(QWidget* window) : QObject(window), window_(window) {
        window->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!seen_ && watched == window_ && event->type() == QEvent::Paint) {
            seen_ = true;
            QWidget* w = window_;
            QTimer::singleShot(0, w, [w] {
                std::printf("painted %d %d\n", w->width(), w->height());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

  private:
    QWidget* window_;
    bool seen_ = false;
};

}  // namespace bench
