// The modeless progress window shown while the firmware chunks are sent: a
// message, a bar, and the percentage in its caption. Its last position is
// kept in the user's profile (section "Settings", keys "X" and "Y").
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace modflash {

class CProgressWnd {
  public:
    static constexpr int IDC_TEXT = 11;
    static constexpr int IDC_PROGRESS = 12;
    static constexpr int IDC_CANCEL = 10;

    CProgressWnd();
    ~CProgressWnd();
    CProgressWnd(const CProgressWnd&) = delete;
    CProgressWnd& operator=(const CProgressWnd&) = delete;

    void InitDefaults();
    void SetTitle(const QString& title) { title_ = title; }
    // Creates the window owned by parent (or by the application's main
    // window when none is given); false when it cannot be created.
    bool CreateProgressWindow(QWidget* parent);

    // Range and step are set only while the window exists.
    void SetRange(int lower, int upper);
    void SetStep(int step);
    // printf-style message of at most 511 characters.
    void SetMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int SetProgress(int position);
    int StepIt() { return SetProgress(lastPosition_ + step_); }
    void PumpMessages();
    void OnCancel();
    void DestroyWindow();

  private:
    class ProgressWindow;
    void ComputeLayout();
    void Place();
    void SavePosition();

    QWidget* reenable_ = nullptr;
    bool cancelled_ = false;
    bool modal_ = false;
    bool persistentPosition_ = true;
    int lastPosition_ = 0;
    int lastPercent_ = 0;
    int step_ = 1;
    int upper_ = 100;
    int lower_ = 0;
    int textLines_ = 4;
    QString title_;
    QString cancelLabel_;
    QWidget* owner_ = nullptr;
    QPointer<QWidget> window_;
    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace modflash
