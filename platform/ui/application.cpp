#include "platform/ui/application.h"

#include <QEvent>
#include <QMetaEnum>
#include <QScopeGuard>
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
        ReportEscaped(receiver, event, e.what());
    }
    // The event counts as not handled; the loop goes on with the next.
    return false;
}

void Application::ReportEscaped(const QObject* receiver, const QEvent* event,
                                const std::string& description) {
    // The receiver's class and name and the event's type say which handler
    // failed; the type's name is left out for an event the toolkit does not
    // name (an application's own event type).
    const int type = event->type();
    const char* typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
    qCWarning(category_).noquote().nospace()
        << "run-time error in an event handler of " << receiver->metaObject()->className() << " \""
        << receiver->objectName() << "\" (event " << type
        << (typeName ? QString(" ") + typeName : QString())
        << "): " << QString::fromStdString(description);
    // An error raised again while its box is open (a timer's handler, say)
    // is logged only, so that boxes do not pile up.
    if (showing_) return;
    showing_ = true;
    // The box itself may fail; the next error must still get its box.
    const auto boxClosed = qScopeGuard([this] { showing_ = false; });
    rt::MsgBox(description, rt::vbOKOnly | rt::vbCritical, "Error");
}

}  // namespace ui
