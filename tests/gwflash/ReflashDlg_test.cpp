#include "gwflash/ReflashDlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "StandInTool_support.h"
#include "gwflash/IspCommand.h"
#include "platform/EventWait.h"
#include "platform/dialogs.h"
#include "tests/support/CaptionsFit.h"
#include "tests/support/ScriptedDialogs.h"

using namespace gwflash;

namespace {

using Id = CReflashDlg::ControlId;

// What the dialog showed after it handled a step.
struct Seen {
    int step;
    int result;
    int bar;
    bool idle;  // list, path box, Exit and Browse enabled
    bool operator==(const Seen&) const = default;
};

class RecordingDlg : public CReflashDlg {
  public:
    std::vector<Seen> seen;
    int OnStep(int step) override {
        const int result = CReflashDlg::OnStep(step);
        seen.push_back({step, result, Bar()->value(), Idle()});
        return result;
    }
    QProgressBar* Bar() const { return qobject_cast<QProgressBar*>(GetDlgItem(IDC_PROGRESS)); }
    bool Idle() const {
        bool all = true, none = true;
        for (int id : {IDC_IP, IDC_PATH, IDC_EXIT, IDC_BROWSE}) {
            all = all && GetDlgItem(id)->isEnabled();
            none = none && !GetDlgItem(id)->isEnabled();
        }
        EXPECT_TRUE(all || none) << "controls enabled apart";
        return all;
    }
};

std::string Base(const std::string& ip, const std::string& mac) {
    return "GW_7010_Firmware_Upgrade ETHERNET(" + ip + ", " + mac +
           ", 10) DEVICE(LPC4333ETH, 0, 0) ";
}

// The command line as a tool that wants it whole sees it: its arguments
// joined with single blanks.
std::string Joined(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& w : words) line += (line.empty() ? "" : " ") + w;
    return line;
}

class ReflashDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rt::SetDialogs(&dialogs);
        dlg.SetPauseMs(5);
        // No tool until a test names the stand-in: a programming tool found
        // beside the test program would contact the addresses of the list.
        dlg.SetToolPath("");
    }
    void TearDown() override {
        rt::WaitUntil([&] { return !dlg.Running(); }, 20000);
        rt::SetDialogs(nullptr);
    }
    QComboBox* List() { return qobject_cast<QComboBox*>(dlg.GetDlgItem(Id::IDC_IP)); }
    QString Mac() { return qobject_cast<QLabel*>(dlg.GetDlgItem(Id::IDC_MAC))->text(); }
    void Choose(const QString& address) {
        const int index = List()->findText(address);
        ASSERT_GE(index, 0);
        List()->setCurrentIndex(index);
        emit List()->activated(index);
    }
    void Type(const QString& text) {
        QLineEdit* edit = List()->lineEdit();
        edit->selectAll();
        for (QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
            QCoreApplication::sendEvent(edit, &press);
        }
    }
    // Browse with a chosen file, then the whole run.
    void Run(const std::string& path, const gwtest::StandInTool& tool) {
        Run(path, tool.ToolPath());
    }
    void Run(const std::string& path, const std::string& toolPath) {
        dlg.SetToolPath(toolPath);
        dialogs.AnswerFile({true, path, "a.hex"});
        dlg.OnBrowse();
        EXPECT_TRUE(dlg.Running());
        EXPECT_TRUE(rt::WaitUntil([&] { return !dlg.Running(); }, 20000));
    }
    std::vector<std::string> CommandLines(const gwtest::StandInTool& tool) {
        std::vector<std::string> lines;
        for (const auto& c : tool.Calls()) lines.push_back(Joined(c.args));
        return lines;
    }

    rt::ScriptedDialogs dialogs;
    RecordingDlg dlg;
};

TEST_F(ReflashDlgTest, AddressListPairsEveryAddressWithItsMac) {
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("gwflash  v1.0.0.0"));
    EXPECT_EQ(List()->currentText(), QStringLiteral("192.168.0.16"));
    EXPECT_EQ(Mac(), QStringLiteral("02-4b-7a-00-00-10"));
    Choose(QStringLiteral("192.168.0.150"));
    EXPECT_EQ(Mac(), QStringLiteral("02-4b-7a-00-00-96"));
    // Every position: the MAC's last pair spells the address's last octet.
    ASSERT_EQ(List()->count(), 32);
    for (int p = 0; p < 32; ++p) {
        List()->setCurrentIndex(p);
        emit List()->activated(p);
        const int octet = List()->itemText(p).section(QLatin1Char('.'), 3).toInt();
        EXPECT_EQ(Mac().right(2).toInt(nullptr, 16), octet) << p;
        EXPECT_TRUE(Mac().startsWith(QStringLiteral("02-4b-7a-00-00-")));
        if (p > 0) {
            EXPECT_LT(List()->itemText(p - 1), List()->itemText(p));
        }
    }
}

TEST_F(ReflashDlgTest, RunStartsTheFiveCommandsInOrderWithPausesAndProgress) {
    gwtest::StandInTool tool("", 30);
    dlg.SetPauseMs(200);
    Choose(QStringLiteral("192.168.0.17"));
    EXPECT_TRUE(dlg.Idle());
    Run("/fw/a.hex", tool);
    const std::string base = Base("192.168.0.17", "02-4b-7a-00-00-11");
    const std::vector<std::string> expected = {
        base + "READSIGNATURE",
        base + "ERASE(DEVICE, PROTECTISP)",
        base + "HEXFILE(/fw/a.hex, NOCHECKSUMS, NOFILL, PROTECTISP)",
        base + "VERIFY(/fw/a.hex, NOCHECKSUMS)",
        base + "ACTIVATEFLASHBANK(0)",
    };
    EXPECT_EQ(CommandLines(tool), expected);
    const auto calls = tool.Calls();
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].args.size(), 4u);
        // Each call starts after the previous one ended and the pause passed.
        if (i > 0) {
            EXPECT_GE(calls[i].startMs - calls[i - 1].endMs, 200) << i;
        }
    }
    const std::vector<Seen> steps = {{0, 0, 14, true},  {1, 0, 28, false}, {2, 0, 42, false},
                                     {3, 0, 57, false}, {4, 0, 71, false}, {5, 0, 85, false},
                                     {6, 0, 100, true}};
    EXPECT_EQ(dlg.seen, steps);
    EXPECT_EQ(dlg.Bar()->minimum(), 1);
    EXPECT_TRUE(dlg.Idle());
    EXPECT_TRUE(dialogs.unexpected.empty());
}

// A tool run that fails at any step ends the run there: no further command,
// "Upload error.", the bar at its lowest position, the dialog idle again.
TEST_F(ReflashDlgTest, ToolFailingAtEachStepEndsTheRun) {
    struct Case {
        const char* exitCodes;
        size_t logged;  // 0: no tool at the path gwflash starts
    } cases[] = {{"", 0},      {"2", 1},          {"0 kill", 2},
                 {"0 0 1", 3}, {"0 0 0 kill", 4}, {"0 0 0 0 9", 5}};
    for (const Case& c : cases) {
        gwtest::StandInTool tool(c.exitCodes);
        dlg.seen.clear();
        dialogs.shown.clear();
        dialogs.AnswerMsgBox(rt::vbOK);
        Run("/fw/b.hex", c.logged ? tool.ToolPath() : tool.Folder() + "/absent");
        EXPECT_EQ(tool.Calls().size(), c.logged) << c.exitCodes;
        // Steps 0 and 1, one per command that succeeded, then the failure;
        // the bar stood at the failing command's step before it dropped.
        const size_t failing = std::max<size_t>(c.logged, 1);
        ASSERT_EQ(dlg.seen.size(), failing + 2) << c.exitCodes;
        EXPECT_EQ(dlg.seen[failing].bar, static_cast<int>(failing + 1) * 100 / 7);
        EXPECT_EQ(dlg.seen.back(), (Seen{kStepFailed, 1, 1, true})) << c.exitCodes;
        ASSERT_EQ(dialogs.shown.size(), 2u);
        EXPECT_EQ(dialogs.shown[1].prompt, "Upload error.");
        EXPECT_EQ(dialogs.shown[1].title, "Error");
    }
}

TEST_F(ReflashDlgTest, SecondStartAndCloseAreRefusedDuringARun) {
    gwtest::StandInTool tool("", 150);
    dlg.SetToolPath(tool.ToolPath());
    dlg.show();
    dialogs.AnswerFile({true, "/fw/c.hex", "c.hex"});
    dlg.OnBrowse();
    ASSERT_TRUE(
        rt::WaitUntil([&] { return !dlg.seen.empty() && dlg.seen.back().step >= 1; }, 5000));
    // Browse again (even while its button is on, between steps 0 and 1),
    // Escape, the close box and Exit: nothing happens.
    dlg.OnBrowse();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&dlg, &esc);
    dlg.close();
    dlg.reject();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.Running());
    EXPECT_EQ(dialogs.shown.size(), 1u);  // only the first file dialog
    ASSERT_TRUE(rt::WaitUntil([&] { return !dlg.Running(); }, 20000));
    EXPECT_EQ(tool.Calls().size(), 5u);
    EXPECT_EQ(dlg.seen.back().step, kStepDone);
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(ReflashDlgTest, FilePathReachesTheToolUnchangedAndRunsNothingElse) {
    gwtest::StandInTool tool;
    const std::string dir = tool.Folder();
    const std::string path = dir + "/my fw;touch " + dir + "/semi $(touch " + dir +
                             "/sub) `touch " + dir + "/tick` \"q\" 'r' & |.hex";
    Run(path, tool);
    const auto calls = tool.Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[2].args.back(), "HEXFILE(" + path + ", NOCHECKSUMS, NOFILL, PROTECTISP)");
    EXPECT_EQ(calls[3].args.back(), "VERIFY(" + path + ", NOCHECKSUMS)");
    for (const char* name : {"semi", "sub", "tick"})
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir + "/" + name))) << name;
    EXPECT_EQ(
        QDir(QString::fromStdString(dir)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(),
        2);
}

// A typed text that is no list item is never used: the previous run's address
// and MAC are, and without one the run fails before any tool starts. The MAC
// label shows the pair the next run will use.
TEST_F(ReflashDlgTest, TypedAddressIsNotUsed) {
    gwtest::StandInTool first;
    Type(QStringLiteral("10.1.2.3"));
    EXPECT_EQ(Mac(), QString());
    dialogs.AnswerMsgBox(rt::vbOK);
    Run("/fw/d.hex", first);
    EXPECT_TRUE(first.Calls().empty());
    EXPECT_EQ(dlg.seen.back(), (Seen{kStepFailed, 1, 1, true}));

    Choose(QStringLiteral("192.168.0.17"));
    Run("/fw/d.hex", first);
    Choose(QStringLiteral("192.168.0.18"));
    EXPECT_EQ(Mac(), QStringLiteral("02-4b-7a-00-00-12"));
    Type(QStringLiteral("10.1.2.3"));
    EXPECT_EQ(Mac(), QStringLiteral("02-4b-7a-00-00-11"));
    gwtest::StandInTool second;
    Run("/fw/d.hex", second);
    ASSERT_EQ(second.Calls().size(), 5u);
    EXPECT_EQ(Joined(second.Calls()[0].args),
              Base("192.168.0.17", "02-4b-7a-00-00-11") + "READSIGNATURE");
}

TEST_F(ReflashDlgTest, NoFileNoRun) {
    struct Case {
        rt::FileDialogResult answer;
        const char* message;
    } cases[] = {{{false, "", ""}, "Please select file."},
                 {{true, "", ""}, "The path of the file is not correct."}};
    gwtest::StandInTool tool;
    dlg.SetToolPath(tool.ToolPath());
    for (const Case& c : cases) {
        dialogs.shown.clear();
        dialogs.AnswerFile(c.answer);
        dialogs.AnswerMsgBox(rt::vbOK);
        dlg.OnBrowse();
        EXPECT_FALSE(dlg.Running());
        ASSERT_EQ(dialogs.shown.size(), 2u);
        EXPECT_EQ(dialogs.shown[0].file.filter, "Hex File(*.hex)|*.hex|");
        EXPECT_EQ(dialogs.shown[1].prompt, c.message);
        EXPECT_EQ(dialogs.shown[1].title, "Error");
    }
    EXPECT_TRUE(tool.Calls().empty());
    EXPECT_TRUE(dlg.seen.empty());
}

// The dialog shows its captions and its address list whole.
TEST_F(ReflashDlgTest, ShowsItsTextsWhole) {
    dlg.show();
    for (const auto& f : testsupport::CaptionsThatDoNotFit(&dlg)) ADD_FAILURE() << f;
}

}  // namespace
