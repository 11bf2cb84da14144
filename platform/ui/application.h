// The programs' application object: dispatches events as QApplication
// does, and is the last safety net for a run-time error that escapes an
// event handler. Such an error would otherwise end the program and lose
// what the user has not saved; here it is logged, its description shown
// in the error box, and the program keeps running.
#pragma once

#include <QApplication>
#include <QLoggingCategory>
#include <string>

namespace ui {

class Application : public QApplication {
  public:
    // The category the caught errors are written to as warnings: the
    // program's own (its window's); "nx.dialogs" when none is given.
    using Category = const QLoggingCategory& (*)();
    Application(int& argc, char** argv, Category category = nullptr);

    bool notify(QObject* receiver, QEvent* event) override;

  private:
    // Logs the error with the object and event it escaped from and, unless
    // an error box is already open, shows it.
    void ReportEscaped(const QObject* receiver, const QEvent* event,
                       const std::string& description);

    Category category_;
    bool showing_ = false;
};

}  // namespace ui
