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

}  // namespace
