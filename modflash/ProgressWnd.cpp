#include "modflash/ProgressWnd.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "modflash/Profile.h"

namespace modflash {

namespace {
const QString kSection = QStringLiteral("Settings");
// The height of a sunken edge.
constexpr int kEdge = 2;
}  // namespace

// The window itself: Esc cancels, the background is the button face.
class CProgressWnd::ProgressWindow : public QWidget {
  public:
    ProgressWindow(CProgressWnd* owner, QWidget* parent)
        : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                              Qt::WindowTitleHint),
          owner_(owner) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setBackgroundRole(QPalette::Button);
        setAutoFillBackground(true);
        setCursor(Qt::BusyCursor);
    }

  protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Escape) {
            owner_->OnCancel();
            return;
        }
        QWidget::keyPressEvent(e);
    }

  private:
    CProgressWnd* owner_;
};

CProgressWnd::CProgressWnd() { InitDefaults(); }

CProgressWnd::~CProgressWnd() { DestroyWindow(); }

void CProgressWnd::InitDefaults() {
    reenable_ = nullptr;
    cancelled_ = false;
    modal_ = false;
    persistentPosition_ = true;
    lastPosition_ = 0;
    lastPercent_ = 0;
    step_ = 1;
    upper_ = 100;
    lower_ = 0;
    textLines_ = 4;
    title_ = QStringLiteral("Progress");
    cancelLabel_ = QStringLiteral(" Cancel ");
}

bool CProgressWnd::CreateProgressWindow(QWidget* parent) {
    if (window_) return true;
    owner_ = parent ? parent : QApplication::activeWindow();
    window_ = new ProgressWindow(this, owner_);
    window_->setWindowTitle(title_);
    window_->setGeometry(0, 0, 390, 130);
    window_->setFont(QApplication::font("QMessageBox"));
    label_ = new QLabel(window_.data());
    label_->setObjectName(QString::number(IDC_TEXT));
    label_->setWordWrap(false);
    label_->setTextFormat(Qt::PlainText);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    bar_ = new QProgressBar(window_.data());
    bar_->setObjectName(QString::number(IDC_PROGRESS));
    bar_->setTextVisible(false);
    ComputeLayout();
    Place();
    window_->show();
    window_->update();
    return true;
}

void CProgressWnd::ComputeLayout() {
    const QFontMetrics fm(window_->font());
    // Text area at (10, 10), 300 wide, as high as the configured lines.
    const QRect text(10, 10, 300, fm.lineSpacing() * textLines_);
    // A row 10 pixels below it, as high as the text plus three edges; the
    // bar fills the text area's width, inset by one edge top and bottom.
    const int rowTop = text.bottom() + 1 + 10;
    const int rowHeight = fm.height() + 3 * kEdge;
    const QRect barRect(text.left(), rowTop + kEdge, text.width(), rowHeight - 2 * kEdge);
    label_->setGeometry(text);
    bar_->setGeometry(barRect);
    window_->setFixedSize(text.right() + 1 + 10, rowTop + rowHeight + 10);
}

void CProgressWnd::Place() {
    const int x = persistentPosition_ ? GetProfileInt(kSection, QStringLiteral("X"), -1) : -1;
    const int y = persistentPosition_ ? GetProfileInt(kSection, QStringLiteral("Y"), -1) : -1;
    const QScreen* screen = owner_ ? owner_->screen() : QApplication::primaryScreen();
    const QSize s = screen ? screen->size() : QSize(0, 0);
    if (persistentPosition_ && x >= 0 && x < s.width() && y >= 0 && y < s.height()) {
        window_->move(x, y);
        return;
    }
    // Centred on the owner (or the screen when there is none).
    const QRect around = owner_ ? owner_->frameGeometry() : QRect(QPoint(0, 0), s);
    const QPoint c = around.center();
    window_->move(c.x() - window_->width() / 2, c.y() - window_->height() / 2);
}

void CProgressWnd::SetRange(int lower, int upper) {
    if (!window_) return;
    lower_ = lower;
    upper_ = upper;
    bar_->setRange(lower, upper);
}

void CProgressWnd::SetStep(int step) {
    if (!window_) return;
    step_ = step;
}

void CProgressWnd::SetMessage(const char* format, ...) {
    if (!window_) return;
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    label_->setText(QString::fromLocal8Bit(buffer));
}

int CProgressWnd::SetProgress(int position) {
    if (!window_) return lastPosition_;
    if (!window_->isVisible()) {
        window_->show();
        window_->update();
    }
    lastPosition_ = position;
    const int percent =
        upper_ > lower_
            ? static_cast<int>(std::lround((position - lower_) * 100.0 / (upper_ - lower_)))
            : 0;
    if (percent != lastPercent_) {
        lastPercent_ = percent;
        window_->setWindowTitle(QStringLiteral("%1 [%2%]").arg(title_).arg(percent));
    }
    bar_->setValue(position);
    return lastPosition_;
}

void CProgressWnd::PumpMessages() {
    if (!window_) return;
    if (modal_) window_->setFocus();
    if (cancelled_) return;
    QCoreApplication::processEvents();
}

void CProgressWnd::SavePosition() {
    if (!persistentPosition_ || !window_) return;
    const QPoint p = window_->pos();
    WriteProfileInt(kSection, QStringLiteral("X"), p.x());
    WriteProfileInt(kSection, QStringLiteral("Y"), p.y());
}

void CProgressWnd::OnCancel() {
    SavePosition();
    cancelled_ = true;
    if (window_ && window_->isVisible()) window_->hide();
    if (modal_ && window_) window_->close();
    if (QWidget* main = owner_ ? owner_->window() : nullptr) main->activateWindow();
}

void CProgressWnd::DestroyWindow() {
    if (!window_) return;
    SavePosition();
    if (modal_ && reenable_) reenable_->setEnabled(true);
    // Children go with their window.
    label_ = nullptr;
    bar_ = nullptr;
    delete window_.data();
    window_ = nullptr;
}

}  // namespace modflash
