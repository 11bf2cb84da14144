#include "platform/ui/application.h"

#include <exception>
#include <string>

#include "platform/diag.h"
#include "platform/dialogs.h"

namespace ui {

Application::Application(int& argc, char** argv, Category category)
    : QApplication(argc, argv), category_(category ? category : &lcDialogs) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        // A run-time error's text is its standard description.
        ReportEscaped(e.what());
    }
    // The event counts as not handled; the loop goes on with the next.
    return false;
}

void Application::ReportEscaped(const std::string& description) {
    qCWarning(category_).noquote()
        << "run-time error in an event handler:" << QString::fromStdString(description);
    // An error raised again while its box is open (a timer's handler, say)
    // is logged only, so that boxes do not pile up.
    if (showing_) return;
    showing_ = true;
    rt::MsgBox(description, rt::vbOKOnly | rt::vbCritical, "Error");
    showing_ = false;
}

}  // namespace ui
