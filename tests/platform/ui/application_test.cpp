// The application's safety net: a run-time error that escapes an event
// handler, delivered through the real event loop, shows its description in
// the error box and the program goes on with its next event.
#include "platform/ui/application.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <stdexcept>

#include "platform/runtime.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

TEST(Application, AnErrorEscapingAHandlerIsShownAndTheLoopGoesOn) {
    ASSERT_NE(dynamic_cast<ui::Application*>(QCoreApplication::instance()), nullptr);
    const struct {
        std::function<void()> handler;
        const char* description;
    } cases[] = {
        {[] { rt::Raise(rt::ErrOverflow); }, "Overflow"},
        {[] { throw std::out_of_range("no such row"); }, "no such row"},
    };
    for (const auto& c : cases) {
        rt::ScriptedDialogs dialogs;
        rt::SetDialogs(&dialogs);
        dialogs.AnswerMsgBox(rt::vbOK);
        QEventLoop loop;
        bool next = false;
        QTimer::singleShot(0, &loop, c.handler);
        QTimer::singleShot(0, &loop, [&] {
            next = true;
            loop.quit();
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // a deadline only
        loop.exec();
        rt::SetDialogs(nullptr);
        EXPECT_TRUE(next) << c.description;
        ASSERT_EQ(dialogs.shown.size(), 1u) << c.description;
        EXPECT_EQ(dialogs.shown[0].prompt, c.description);
        EXPECT_EQ(dialogs.shown[0].title, "Error");
        EXPECT_EQ(dialogs.shown[0].style, rt::vbCritical);
    }
}

// Raises Overflow in place of every event of the object it watches.
class RaisingFilter : public QObject {
  public:
    bool eventFilter(QObject*, QEvent*) override { rt::Raise(rt::ErrOverflow); }
};

// An error box that fails itself, as a scripted dialog may.
class FailingDialogs : public rt::ScriptedDialogs {
  public:
    int MsgBox(const std::string&, int, const std::string&) override {
        throw std::logic_error("no box");
    }
};

TEST(Application, TheLogNamesReceiverAndEventAndAFailedBoxDoesNotSilenceTheNextError) {
    auto* app = dynamic_cast<ui::Application*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    QTimer receiver;
    receiver.setObjectName("pollTimer");
    RaisingFilter filter;
    receiver.installEventFilter(&filter);
    QEvent event(QEvent::User);
    const LogCapture log;
    FailingDialogs failing;
    rt::SetDialogs(&failing);
    EXPECT_THROW(app->notify(&receiver, &event), std::logic_error);
    rt::ScriptedDialogs dialogs;
    rt::SetDialogs(&dialogs);
    dialogs.AnswerMsgBox(rt::vbOK);
    app->notify(&receiver, &event);
    rt::SetDialogs(nullptr);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    ASSERT_EQ(log.Lines().size(), 2u);
    EXPECT_EQ(log.Lines()[1],
              "run-time error in an event handler of QTimer \"pollTimer\" (event 1000 User): "
              "Overflow");
}

}  // namespace
