#include "platform/diag.h"

#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/runtime.h"
#include "tests/support/LogCapture.h"

namespace {

Q_LOGGING_CATEGORY(lcProbe, "nx.test.probe", QtWarningMsg)

// The probe category's debug lines on or off.
const char* ProbeRules(bool debugOn) {
    return debugOn ? "nx.test.probe.debug=true\nnx.dialogs.debug=true" : "";
}

TEST(IgnoringErrors, AnIgnoredErrorEndsItsStepAndLeavesADebugLineOnlyWhenAskedFor) {
    struct Case {
        bool debugOn;
        std::function<void()> step;
        std::string line;  // expected line; empty: nothing logged
    } cases[] = {
        {true, [] { throw rt::RuntimeError(6); }, "ignored error 6: Overflow"},
        {true, [] { throw std::runtime_error("boom"); }, "ignored error: boom"},
        {true, [] {}, ""},
        {false, [] { throw rt::RuntimeError(9); }, ""},
    };
    for (const Case& c : cases) {
        LogCapture capture(ProbeRules(c.debugOn));
        bool after = false;
        rt::IgnoringErrors(lcProbe(), [&] {
            c.step();
            after = true;
        });
        EXPECT_EQ(after, c.line.empty() && c.debugOn) << c.line;
        if (c.line.empty()) {
            EXPECT_TRUE(capture.Lines().empty());
        } else {
            ASSERT_EQ(capture.Lines().size(), 1u);
            EXPECT_EQ(capture.Lines()[0], c.line);
        }
    }
}

TEST(NoDialogService, EveryDialogIsAnsweredAsClosedAndWarnedAbout) {
    rt::SetDialogs(nullptr);
    LogCapture capture;
    EXPECT_EQ(rt::MsgBox("Exit?", rt::vbYesNo | rt::vbQuestion, "Message"), rt::vbNo);
    EXPECT_EQ(rt::MsgBox("Done.", rt::vbOKOnly, ""), rt::vbOK);
    EXPECT_EQ(rt::MsgBox("Go on?", rt::vbOKCancel, ""), rt::vbCancel);
    EXPECT_FALSE(rt::TheDialogs().InputBox("Interval", "Input", "100").has_value());
    EXPECT_FALSE(rt::TheDialogs().FileDialog({}).accepted);
    EXPECT_EQ(capture.Lines().size(), 5u);
}

TEST(HexBytes, SpacedUpperCasePairs) {
    const unsigned char frame[] = {0x00, 0x60, 0x13, 0x88, 0xFF};
    EXPECT_EQ(rt::HexBytes(frame, sizeof frame), "00 60 13 88 FF");
    EXPECT_EQ(rt::HexBytes(frame, 0), "");
}

}  // namespace
