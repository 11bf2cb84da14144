// The event log and summary files from the real window's lists: byte for
// byte against golden files, the dialog's presets, cancelling, and saves
// that fail (the old file survives whole and the failure is shown).
#include "mainwindow/EventLogFiles.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mainwindow_support.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;
const fs::path kDataDir = fs::path(__FILE__).parent_path() / "data";

void AddRow(ui::ListView& lv, const std::string& text,
            std::vector<std::pair<int, const char*>> subs) {
    ui::ListItem row = lv.AddItem(text);
    for (const auto& [i, s] : subs) row.SetSubItem(i, s);
}

class EventLogFilesTest : public testsupport::MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        dir = fs::temp_directory_path() /
              ("nx_eventlog_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        Open();
    }
    void TearDown() override {
        fs::remove_all(dir);
        MainWindowTest::TearDown();
    }
    void Choose(const fs::path& p) {
        dialogs.AnswerFile({true, p.string(), p.filename().string()});
    }
    void FillLists() {
        frmMain& w = *window;
        for (const char* text : {"Connecting with NX-4410....", "   padded on both sides  ",
                                 "Net ID \"17\" read", "   "})
            w.lvwEventLog.AddItem(text);
        w.lvwMCUSummary.ClearItems();
        w.lvwIOMSummary.ClearItems();
        AddRow(w.lvwMCUSummary, "GW-7010",
               {{1, "v1.23"},
                {2, " v4.56"},
                {3, "  Master MCU "},
                {5, "OK"},
                {7, "0x0011"},
                {9, "0x00000000"}});
        AddRow(w.lvwMCUSummary, "Other", {{5, "left out"}});
        AddRow(w.lvwIOMSummary, "0",
               {{1, "KB-521"}, {2, "v1.00"}, {3, "OPERATION"}, {4, "SINGLE"}, {12, "0x0000"}});
        AddRow(w.lvwIOMSummary, "1", {{2, "v9.99"}});
        AddRow(w.lvwIOMSummary, " 2 ", {{1, "AI \"8\""}});
    }
    fs::path dir;
};

struct SaveCase {
    const char* name;
    const char* fileName;  // the dialog's preset
    void (frmMain::*click)();
    const char* golden;
};

class EventLogGoldenTest : public EventLogFilesTest,
                           public ::testing::WithParamInterface<SaveCase> {};

TEST_P(EventLogGoldenTest, SavesTheListsByteForByteOverAnOldFile) {
    const SaveCase& c = GetParam();
    FillLists();
    WriteAll(dir / "out.txt", "an older and much longer file that must disappear\r\n");
    Choose(dir / "out.txt");
    (window.get()->*c.click)();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].file.fileName, c.fileName);
    EXPECT_EQ(dialogs.shown[0].file.filter, "*.txt|*.txt");
    EXPECT_TRUE(dialogs.shown[0].file.save);
    EXPECT_EQ(ReadAll(dir / "out.txt"), ReadAll(kDataDir / c.golden));
}

INSTANTIATE_TEST_SUITE_P(
    Files, EventLogGoldenTest,
    ::testing::Values(SaveCase{"EventLog", "EventLog.txt", &frmMain::cmdEventLogSave_Click,
                               "golden_eventlog.txt"},
                      SaveCase{"Summary", "Summary.txt", &frmMain::CmdSaveSummary_Click,
                               "golden_summary.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EventLogFilesTest, RowNumbersPadToFourDigitsAndNeverCut) {
    for (int i = 1; i <= 10000; ++i) window->lvwEventLog.AddItem("r");
    const std::string text = eventlog::EventLogText(window->lvwEventLog);
    EXPECT_EQ(text.substr(0, 11), "\"0001\",\"r\"\r");
    EXPECT_EQ(text.substr(text.size() - 13), "\"10000\",\"r\"\r\n");
}

TEST_F(EventLogFilesTest, AnEmptyLogReplacesTheFileWithAnEmptyOneAndCancelWritesNothing) {
    WriteAll(dir / "EventLog.txt", "old\r\n");
    dialogs.AnswerFile({false, "", ""});
    window->cmdEventLogSave_Click();
    EXPECT_EQ(ReadAll(dir / "EventLog.txt"), "old\r\n");
    Choose(dir / "EventLog.txt");
    window->cmdEventLogSave_Click();
    EXPECT_TRUE(fs::exists(dir / "EventLog.txt"));
    EXPECT_EQ(ReadAll(dir / "EventLog.txt"), "");
}

// Failures that hold for root too: a folder that is a regular file, and a
// write that runs into the file-size limit (a full disk) over an old file.
struct FailCase {
    const char* name;
    bool sizeLimit;
};

class EventLogFailTest : public EventLogFilesTest,
                         public ::testing::WithParamInterface<FailCase> {};

TEST_P(EventLogFailTest, AFailedSaveKeepsTheOldFileAndShowsTheError) {
    FillLists();
    fs::path target;
    const std::string old = "old log\r\n";
    if (GetParam().sizeLimit) {
        target = dir / "EventLog.txt";
        WriteAll(target, old);
    } else {
        WriteAll(dir / "notafolder", old);
        target = dir / "notafolder" / "EventLog.txt";
    }
    Choose(target);
    dialogs.AnswerMsgBox(rt::vbOK);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (GetParam().sizeLimit) {
        rlimit small = saved;
        small.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    window->cmdEventLogSave_Click();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].prompt.rfind("Save file error: ", 0), 0u) << dialogs.shown[1].prompt;
    EXPECT_GT(dialogs.shown[1].prompt.size(), std::string("Save file error: ").size());
    EXPECT_EQ(dialogs.shown[1].title, "");
    EXPECT_EQ(ReadAll(GetParam().sizeLimit ? target : dir / "notafolder"), old);
    EXPECT_EQ(window->lvwEventLog.ListItemCount(), 4);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Failures, EventLogFailTest,
                         ::testing::Values(FailCase{"FolderIsAFile", false},
                                           FailCase{"FileSizeLimit", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
