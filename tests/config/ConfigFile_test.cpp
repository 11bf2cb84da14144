#include "config/ConfigFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <locale>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "config/ConfigDefaults.h"
#include "config/ConfigLog.h"
#include "config/FileCommandsHost.h"
#include "config/ModuleCatalog.h"
#include "config/NodeConfig.h"
#include "config/RangeCodes.h"
#include "platform/IniFile.h"
#include "platform/diag.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"
#include "tests/support/ConfigRecords.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestFiles.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace fs = std::filesystem;

namespace {

const fs::path kDataDir = fs::path(__FILE__).parent_path() / "data";

// Records every window step the file commands take, in order.
class RecordingHost : public FileCommandsHost {
  public:
    int16_t SelectedNode() override { return node; }
    void SelectFirstNode() override { steps.push_back("SelectFirstNode"); }
    void ShowAnalogOutputFrame() override { steps.push_back("ShowAnalogOutputFrame"); }
    void SetControllerCaption(const std::string& c) override {
        steps.push_back("ControllerCaption " + c);
    }
    void ClearSlotButton(int16_t s) override {
        steps.push_back("ClearSlotButton " + std::to_string(s));
    }
    void FillMappingAndSummaryLists(int16_t n) override {
        steps.push_back("FillMappingAndSummaryLists " + std::to_string(n));
    }
    void ShowRackPictures(int16_t n) override {
        steps.push_back("ShowRackPictures " + std::to_string(n));
    }
    void SelectSlot(int16_t s) override {
        steps.push_back("SelectSlot " + std::to_string(s));
        // The page shown on selection reads the edited copy.
        moduleInSettingAtSelection = ConfigSetting[0].Module(s);
    }
    void SetModuleKindLabel(int16_t s, const std::string& m) override {
        steps.push_back("KindLabel " + std::to_string(s) + " " + m);
    }
    void SetModeCaption(const std::string& m) override { steps.push_back("Caption " + m); }

    int16_t node = 0;
    std::vector<std::string> steps;
    std::string moduleInSettingAtSelection;
};

// The station of the golden file, built on the reset record.
NodeConfig KnownStation() {
    ResetConfigRecordsForStartup();
    SetConfigRealToDefault(0);
    NodeConfig r = ConfigReal[0];
    r.ControllerPresent = kTrue;
    r.Controller = "GW-7010";
    r.TotalSlot = 8;
    r.IPAddress = "127.0.0.1";
    r.McuVersion = 301;
    r.McuLibVersion = 105;
    r.NetID = 17;
    r.PowerName(0) = "KP-220";
    r.PowerName(1) = "KP-220";
    r.McuName(0) = "GW-7010";
    r.McuName(1) = "GW-7010";
    const char* models[] = {"KB-560", "KB-570", "KB-521", "KB-540",
                            "KB-552", "KB-580", "KB-590", "KB-510"};
    const int16_t versions[] = {12, 15, 20, 11, 10, 13, 14, 10};
    for (int s = 0; s < 8; ++s) {
        r.Module(s) = models[s];
        r.PredefModule(s) = models[s];
        r.SlotPresent(s) = kTrue;
        r.DownloadPending(s) = kTrue;
        r.Version(s) = versions[s];
    }
    r.DIChannel(0) = 32;
    r.RangeCode(0, 0) = 64;

    r.DOChannel(1) = 32;
    r.RedundancyToSlot(1) = 1;
    r.BreakLineFunc(1) = 1;
    r.RangeCode(1, 0) = 64;
    r.DO_PowerONValue_Low(1) = 255;
    r.DO_SafeValue_Low(1) = 43690;
    r.DO_SafeValue_High(1) = -1;
    r.PowerOnValueMode(1, 0) = 2;
    r.SafeValueMode(1, 0) = 1;

    r.AIChannel(2) = 2;
    r.AlarmMode(2) = 3;
    r.AIDigitalFilterMode(2) = 2;
    r.RangeCode(2, 0) = 7;
    r.UserDefLRange(2, 0) = 0;
    r.UserDefHRange(2, 0) = 10000;
    r.LowAlarmVal(2, 0) = -2500;
    r.HighAlarmVal(2, 0) = 12500;
    r.RangeCode(2, 1) = 12;
    r.UserDefLRange(2, 1) = -32768;
    r.UserDefHRange(2, 1) = 32767;
    r.LowAlarmVal(2, 1) = 100;
    r.HighAlarmVal(2, 1) = 200;

    r.AIChannel(3) = 2;
    r.CHBreakLineMode(3) = 3;
    r.CJCSetting(3) = 1;
    r.CJCValue(3) = -5;
    r.RangeCode(3, 0) = 15;
    r.UserDefLRange(3, 0) = -6448;
    r.UserDefHRange(3, 0) = 32767;
    r.HighAlarmVal(3, 0) = 10000;
    r.RangeCode(3, 1) = 23;
    r.UserDefLRange(3, 1) = -8192;
    r.UserDefHRange(3, 1) = 32767;
    r.LowAlarmVal(3, 1) = 1;
    r.HighAlarmVal(3, 1) = 2;

    r.AOChannel(4) = 2;
    r.CHBreakLineMode(4) = 1;
    r.AlarmMode(4) = 2;
    r.RangeCode(4, 0) = 51;
    r.PowerOnValue(4, 0) = 5000;
    r.SafeValue(4, 0) = -1000;
    r.UserDefHRange(4, 0) = 10000;
    r.HighAlarmVal(4, 0) = 10000;
    r.PowerOnValueMode(4, 0) = 1;
    r.SafeValueMode(4, 0) = 2;
    r.RangeCode(4, 1) = 52;
    r.SafeValue(4, 1) = 12500;
    r.UserDefLRange(4, 1) = -2500;
    r.UserDefHRange(4, 1) = 12500;
    r.LowAlarmVal(4, 1) = 5;
    r.HighAlarmVal(4, 1) = 6;
    r.SafeValueMode(4, 1) = 3;

    r.PIChannel(5) = 2;
    r.PI(5).LPFMode = 5;
    r.PI(5).FreqMode = 1;
    r.PI(5).EdgeTrig = 9;
    r.PI(5).Impendance = 5;
    r.PI(5).FilterInterval = 0.3;
    r.RangeCode(5, 0) = 82;
    r.RangeCode(5, 1) = 83;

    r.POChannel(6) = 2;
    r.RangeCode(6, 0) = 96;
    r.PO(6).RefTime(0) = 30000;
    r.PO(6).OffsetTime(0) = 65535;
    r.PO(6).CyclicSteps(0) = 100;
    r.PO(6).DutySteps(0) = 50;
    r.PO(6).PWMCount(0) = 7;
    r.SafeValueMode(6, 0) = 1;
    r.RangeCode(6, 1) = 98;
    r.PO(6).RefTime(1) = 1;
    r.PO(6).CyclicSteps(1) = 2;
    r.PO(6).DutySteps(1) = 1;

    r.AIChannel(7) = 1;
    r.AlarmMode(7) = 1;
    r.CHBreakLineMode(7) = 1;
    r.RangeCode(7, 0) = 132;
    r.UserDefLRange(7, 0) = -7710;
    r.UserDefHRange(7, 0) = 32767;
    r.HighAlarmVal(7, 0) = 10000;
    return r;
}

class ConfigFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitRangeNames();
        ResetConfigRecordsForStartup();
        char tmpl[] = "/tmp/nx_configfile_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        rt::SetDialogs(&dialogs);
        SetFileCommandsHost(&host);
        InitMcuIniPath(dir.string());
    }
    void TearDown() override {
        rt::SetDialogs(nullptr);
        SetFileCommandsHost(nullptr);
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }

    std::string SaveToText(const std::string& name = "out.ini") {
        const fs::path p = dir / name;
        SaveConfigFile(0, p.string());
        return ReadAll(p);
    }
    // The keys of one section of a saved file, in file order.
    static std::vector<std::string> SectionLines(const std::string& text,
                                                 const std::string& section) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        std::string line;
        bool inside = false;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty() && line.front() == '[') {
                inside = line == "[" + section + "]";
                continue;
            }
            if (inside && !line.empty()) lines.push_back(line);
        }
        return lines;
    }
    void LoadWithCommand(const fs::path& p) {
        McuIniPath = p.string();
        mnuFileLoad_Click();
    }
    void ExpectNoDialogs() {
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_TRUE(dialogs.unexpected.empty());
    }

    fs::path dir;
    rt::ScriptedDialogs dialogs;
    RecordingHost host;
};

TEST_F(ConfigFileTest, DefaultPathIsInTheProgramFolder) {
    InitMcuIniPath("/opt/nx");
    EXPECT_EQ(McuIniPath, "/opt/nx/NX-4410_MCU.ini");
    InitMcuIniPath("/opt/nx/");
    EXPECT_EQ(McuIniPath, "/opt/nx/NX-4410_MCU.ini");
}

TEST_F(ConfigFileTest, SaveThroughALinkReplacesTheLinkedFile) {
    ConfigReal[0] = KnownStation();
    fs::create_directory(dir / "real");
    WriteAll(dir / "real" / "station.ini", "old");
    fs::create_symlink(dir / "real" / "station.ini", dir / "link.ini");
    SaveConfigFile(0, (dir / "link.ini").string());
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(ReadAll(dir / "real" / "station.ini"), ReadAll(kDataDir / "golden_station.ini"));
}

TEST_F(ConfigFileTest, KnownStationSavesToTheGoldenFile) {
    ConfigReal[0] = KnownStation();
    const std::string saved = SaveToText();
    const std::string golden = ReadAll(kDataDir / "golden_station.ini");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(saved, golden);
    ExpectNoDialogs();
}

TEST_F(ConfigFileTest, GoldenFileLoadsBackEveryField) {
    const NodeConfig expected = KnownStation();
    fs::copy_file(kDataDir / "golden_station.ini", dir / "golden.ini");
    // Leftovers that the reset before the load must clear.
    ConfigReal[0].Module(8) = "KB-560";
    ConfigReal[0].SlotPresent(8) = kTrue;
    ConfigReal[0].UserDefHRange(2, 5) = 7;
    LoadWithCommand(dir / "golden.ini");

    const NodeConfig& r = ConfigReal[0];
    EXPECT_EQ(r.Controller, "GW-7010");
    EXPECT_EQ(r.RangeCode(3, 1), 23);
    EXPECT_EQ(r.DO_SafeValue_High(1), -1);
    EXPECT_DOUBLE_EQ(r.PI(5).FilterInterval, 0.3);
    EXPECT_EQ(r.PO(6).OffsetTime(0), 65535);
    EXPECT_TRUE(r == expected);
    for (int s = 0; s < 8; ++s) {
        EXPECT_EQ(ConfigSetting[0].Module(s), expected.Module(s));
        EXPECT_EQ(ConfigSetting[0].DownloadPending(s), kTrue);
    }
    EXPECT_EQ(ConfigSetting[0].RangeCode(7, 0), 132);
    EXPECT_EQ(McuIniPath, (dir / "golden.ini").string());
    ExpectNoDialogs();
}

TEST_F(ConfigFileTest, FileOfATypicalStationLoadsAndSavesUnchanged) {
    const fs::path original = kDataDir / "station_typical.ini";
    fs::copy_file(original, dir / "typical.ini");
    LoadWithCommand(dir / "typical.ini");
    const NodeConfig& r = ConfigReal[0];
    EXPECT_EQ(r.ControllerPresent, kTrue);
    EXPECT_EQ(r.TotalSlot, 8);
    EXPECT_EQ(r.McuVersion, 201);
    EXPECT_EQ(r.PowerName(0), "KP-220");
    EXPECT_EQ(r.PowerName(1), "");
    EXPECT_EQ(r.RangeCode(0, 0), 64);
    EXPECT_EQ(r.DIChannel(0), 32);
    EXPECT_EQ(r.DO_PowerONValue_Low(1), 4660);
    EXPECT_EQ(r.DO_SafeValue_Low(1), 65535);
    EXPECT_EQ(r.PowerOnValueMode(1, 0), 1);
    EXPECT_EQ(r.SafeValueMode(1, 0), 2);
    EXPECT_EQ(r.AIDigitalFilterMode(2), 1);
    EXPECT_EQ(r.AlarmMode(2), 129);
    EXPECT_EQ(r.RangeCode(2, 2), 12);
    EXPECT_EQ(r.UserDefLRange(2, 7), -700);
    EXPECT_EQ(r.HighAlarmVal(2, 7), 9007);
    EXPECT_EQ(r.CHBreakLineMode(3), 65535);
    EXPECT_EQ(r.RangeCode(3, 15), 14);
    EXPECT_EQ(r.UserDefHRange(3, 15), 32752);
    EXPECT_EQ(r.AlarmMode(4), 6);
    EXPECT_EQ(r.CHBreakLineMode(4), 255);
    EXPECT_EQ(r.RangeCode(4, 7), 48);
    EXPECT_EQ(r.SafeValue(4, 7), 11993);
    EXPECT_EQ(r.SafeValueMode(4, 5), 2);
    EXPECT_EQ(r.PI(5).LPFMode, 255);
    EXPECT_EQ(r.PI(5).EdgeTrig, 21845);
    EXPECT_DOUBLE_EQ(r.PI(5).Impendance, 43690);
    EXPECT_DOUBLE_EQ(r.PI(5).FilterInterval, 100);
    EXPECT_EQ(r.RangeCode(5, 3), 83);
    EXPECT_EQ(r.RangeCode(5, 4), 82);
    EXPECT_EQ(r.PO(6).RefTime(15), 1015);
    EXPECT_EQ(r.PO(6).OffsetTime(15), 65520);
    EXPECT_EQ(r.PO(6).PWMCount(15), 15);
    EXPECT_EQ(r.SafeValueMode(6, 15), 1);
    EXPECT_EQ(r.RangeCode(6, 14), 98);
    EXPECT_EQ(r.SlotPresent(7), kFalse);
    EXPECT_EQ(r.DownloadPending(6), kTrue);
    EXPECT_EQ(r.PredefModule(6), "KB-590");

    mnuFileSave_Click();
    ExpectNoDialogs();
    EXPECT_EQ(ReadAll(dir / "typical.ini"), ReadAll(original));
}

TEST_F(ConfigFileTest, LooseSyntaxLoadsAndASaveWritesItInTheStandardForm) {
    // LF line ends, other letter case, blanks around "=" and a comment that
    // does not match its code.
    std::string text = ReadAll(kDataDir / "station_typical.ini");
    std::string loose;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "[Node0_Slot3]") line = "[NODE0_SLOT3]";
        if (line == "[Config0]") line = "[config0]";
        if (line.rfind("Comment_0=K-type", 0) == 0) line = "Comment_0=not the range";
        if (line == "NetID=1") line = "netid=1";
        const size_t eq = line.find('=');
        if (eq != std::string::npos && line.rfind("IP Address", 0) != 0)
            line = line.substr(0, eq) + " = " + line.substr(eq + 1);
        loose += line + "\n";
    }
    WriteAll(dir / "loose.ini", loose);
    LoadWithCommand(dir / "loose.ini");
    ExpectNoDialogs();
    EXPECT_EQ(ConfigReal[0].Controller, "GW-7010");
    EXPECT_EQ(ConfigReal[0].NetID, 1);
    EXPECT_EQ(ConfigReal[0].Module(3), "KB-540");
    EXPECT_EQ(ConfigReal[0].UserDefLRange(3, 0), -6448);
    EXPECT_EQ(ConfigReal[0].PI(5).EdgeTrig, 21845);

    SaveConfigFile(0, (dir / "normal.ini").string());
    EXPECT_EQ(ReadAll(dir / "normal.ini"), ReadAll(kDataDir / "station_typical.ini"));
}

TEST_F(ConfigFileTest, LoadCommandDrivesTheWindowInOrder) {
    fs::copy_file(kDataDir / "station_typical.ini", dir / "typical.ini");
    LoadWithCommand(dir / "typical.ini");
    const std::vector<std::string> expected = {
        "SelectFirstNode",        "ShowAnalogOutputFrame",        "ControllerCaption GW-7010",
        "ClearSlotButton 7",      "FillMappingAndSummaryLists 0", "ShowRackPictures 0",
        "SelectSlot 0",           "KindLabel 0 KB-560",           "KindLabel 1 KB-570",
        "KindLabel 2 KB-521",     "KindLabel 3 KB-540",           "KindLabel 4 KB-551",
        "KindLabel 5 KB-580",     "KindLabel 6 KB-590",           "KindLabel 7 ",
        "Caption (Offline Mode)",
    };
    EXPECT_EQ(host.steps, expected);
    EXPECT_EQ(host.moduleInSettingAtSelection, "KB-560");
}

TEST_F(ConfigFileTest, FirstPresentSlotIsSelectedAndSlotEightIsNot) {
    ConfigReal[0] = NodeConfig{};
    ConfigReal[0].ControllerPresent = kTrue;
    ConfigReal[0].TotalSlot = 9;
    for (int s : {3, 8}) {
        ConfigReal[0].Module(s) = "KB-560";
        ConfigReal[0].SlotPresent(s) = kTrue;
        ConfigReal[0].DIChannel(s) = 32;
    }
    SaveConfigFile(0, (dir / "a.ini").string());
    ResetConfigRecordsForStartup();
    LoadWithCommand(dir / "a.ini");
    EXPECT_EQ(ConfigReal[0].Module(8), "KB-560");
    EXPECT_EQ(ConfigReal[0].DownloadPending(8), kTrue);
    int selections = 0;
    for (const std::string& s : host.steps) selections += s.rfind("SelectSlot", 0) == 0 ? 1 : 0;
    EXPECT_EQ(selections, 1);
    EXPECT_NE(std::find(host.steps.begin(), host.steps.end(), "SelectSlot 3"), host.steps.end());
    // The edited copy takes slots 0 to 7 only.
    EXPECT_EQ(ConfigSetting[0].Module(8), "");
}

TEST_F(ConfigFileTest, MissingFileIsReportedAndChangesNothing) {
    ConfigReal[0] = KnownStation();
    ConfigSetting[0] = ConfigReal[0];
    const NodeConfig before = ConfigReal[0];
    const std::string missing = (dir / "nothere.ini").string();
    McuIniPath = missing;
    dialogs.AnswerMsgBox(rt::vbOK);
    mnuFileLoad_Click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].prompt.find(missing), std::string::npos);
    EXPECT_NE(dialogs.shown[0].prompt.find("File not found"), std::string::npos);
    EXPECT_TRUE(ConfigReal[0] == before);
    EXPECT_TRUE(ConfigSetting[0] == before);
    EXPECT_TRUE(host.steps.empty());
    EXPECT_EQ(McuIniPath, missing);
}

TEST_F(ConfigFileTest, FolderInsteadOfAFileIsReportedAndChangesNothing) {
    ConfigReal[0] = KnownStation();
    const NodeConfig before = ConfigReal[0];
    fs::create_directory(dir / "folder.ini");
    dialogs.AnswerFile({true, (dir / "folder.ini").string(), "folder.ini"});
    dialogs.AnswerMsgBox(rt::vbOK);
    mnuFileLoadFrom_Click();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_NE(dialogs.shown[1].prompt.find((dir / "folder.ini").string()), std::string::npos);
    EXPECT_TRUE(ConfigReal[0] == before);
    EXPECT_TRUE(host.steps.empty());
}

TEST_F(ConfigFileTest, LoadFromKeepsTheCurrentPathForTheNextSave) {
    fs::copy_file(kDataDir / "golden_station.ini", dir / "picked.ini");
    const std::string current = McuIniPath;
    dialogs.AnswerFile({true, (dir / "picked.ini").string(), "picked.ini"});
    mnuFileLoadFrom_Click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_FALSE(dialogs.shown[0].file.save);
    EXPECT_EQ(dialogs.shown[0].file.fileName, current);
    EXPECT_EQ(dialogs.shown[0].file.filter, "*.ini|*.ini");
    EXPECT_EQ(ConfigReal[0].NetID, 17);
    EXPECT_EQ(McuIniPath, current);

    mnuFileSave_Click();
    EXPECT_EQ(ReadAll(current), ReadAll(kDataDir / "golden_station.ini"));
    EXPECT_TRUE(dialogs.unexpected.empty());
}

TEST_F(ConfigFileTest, CancelledFileDialogsChangeNothing) {
    ConfigReal[0] = KnownStation();
    const NodeConfig before = ConfigReal[0];
    const std::string current = McuIniPath;
    dialogs.AnswerFile({false, "", ""});
    mnuFileLoadFrom_Click();
    dialogs.AnswerFile({true, (dir / "x.ini").string(), ""});  // no file title
    mnuFileLoadFrom_Click();
    dialogs.AnswerFile({false, "", ""});
    mnuFileSaveAs_Click();
    EXPECT_TRUE(dialogs.AllAnswersUsed());
    EXPECT_TRUE(dialogs.unexpected.empty());
    EXPECT_TRUE(ConfigReal[0] == before);
    EXPECT_TRUE(host.steps.empty());
    EXPECT_EQ(McuIniPath, current);
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(ConfigFileTest, SaveAsMakesTheChosenFileCurrent) {
    ConfigReal[0] = KnownStation();
    const std::string chosen = (dir / "chosen.ini").string();
    dialogs.AnswerFile({true, chosen, "chosen.ini"});
    mnuFileSaveAs_Click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(dialogs.shown[0].file.save);
    EXPECT_EQ(dialogs.shown[0].file.filter, "*.ini|*.ini");
    EXPECT_EQ(McuIniPath, chosen);
    EXPECT_EQ(ReadAll(chosen), ReadAll(kDataDir / "golden_station.ini"));
}

TEST_F(ConfigFileTest, FailedSaveAsStillTakesTheNewName) {
    ConfigReal[0] = KnownStation();
    WriteAll(dir / "plain", "x");
    const std::string chosen = (dir / "plain" / "new.ini").string();
    dialogs.AnswerFile({true, chosen, "new.ini"});
    dialogs.AnswerMsgBox(rt::vbOK);
    mnuFileSaveAs_Click();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].prompt, "Save file error: Path not found");
    EXPECT_EQ(McuIniPath, chosen);
}

TEST_F(ConfigFileTest, SaveIntoAFolderThatIsAFileReportsAndWritesNothing) {
    ConfigReal[0] = KnownStation();
    WriteAll(dir / "plain", "x");
    McuIniPath = (dir / "plain" / "station.ini").string();
    dialogs.AnswerMsgBox(rt::vbOK);
    mnuFileSave_Click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, "Save file error: Path not found");
    EXPECT_EQ(dialogs.shown[0].style, rt::vbOKOnly);
    EXPECT_EQ(ReadAll(dir / "plain"), "x");
}

TEST_F(ConfigFileTest, SaveOverAFolderReportsAndLeavesItAlone) {
    ConfigReal[0] = KnownStation();
    fs::create_directory(dir / "station.ini");
    WriteAll(dir / "station.ini" / "inside", "keep");
    McuIniPath = (dir / "station.ini").string();
    dialogs.AnswerMsgBox(rt::vbOK);
    mnuFileSave_Click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt.rfind("Save file error: ", 0), 0u);
    EXPECT_TRUE(fs::is_directory(dir / "station.ini"));
    EXPECT_EQ(ReadAll(dir / "station.ini" / "inside"), "keep");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(ConfigFileTest, WriteFailingHalfwayKeepsTheOldFile) {
    // A file-size limit makes the write fail part way, for root as well.
    ConfigReal[0] = KnownStation();
    const fs::path target = dir / "station.ini";
    WriteAll(target, "[Config0]\r\nController=OLD\r\n");
    McuIniPath = target.string();
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 200;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    dialogs.AnswerMsgBox(rt::vbOK);
    mnuFileSave_Click();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt.rfind("Save file error: ", 0), 0u);
    EXPECT_EQ(ReadAll(target), "[Config0]\r\nController=OLD\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(ConfigFileTest, SaveIntoAReadOnlyFolderKeepsTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root; see the size-limit test";
    ConfigReal[0] = KnownStation();
    const fs::path target = dir / "station.ini";
    WriteAll(target, "old");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    McuIniPath = target.string();
    dialogs.AnswerMsgBox(rt::vbOK);
    mnuFileSave_Click();
    fs::permissions(dir, fs::perms::owner_all);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, "Save file error: Permission denied");
    EXPECT_EQ(ReadAll(target), "old");
}

TEST_F(ConfigFileTest, SavingAgainLeavesNoKeyOfTheFirstSave) {
    ConfigReal[0] = KnownStation();
    const fs::path target = dir / "station.ini";
    WriteAll(target, "[Stale]\r\nKey=1\r\n");
    SaveConfigFile(0, target.string());
    ConfigReal[0].SlotPresent(3) = kFalse;
    ConfigReal[0].McuName(1) = "";
    SaveConfigFile(0, target.string());
    const std::string text = ReadAll(target);
    EXPECT_EQ(text.find("[Stale]"), std::string::npos);
    EXPECT_EQ(text.find("[Node0_Slot3]"), std::string::npos);
    EXPECT_EQ(text.find("MCU1="), std::string::npos);
    EXPECT_NE(text.find("[Node0_Slot4]"), std::string::npos);
}

TEST_F(ConfigFileTest, SaveKeepsTheOldFilesPermissions) {
    ConfigReal[0] = KnownStation();
    const fs::path target = dir / "station.ini";
    WriteAll(target, "old");
    ::chmod(target.c_str(), 0640);
    SaveConfigFile(0, target.string());
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ConfigFileTest, WithoutAControllerOnlyTheControllerSectionsAreWritten) {
    ConfigReal[0] = KnownStation();
    ConfigReal[0].ControllerPresent = kFalse;
    ConfigReal[0].Controller = "";
    ConfigReal[0].IPAddress = "";
    const std::string text = SaveToText();
    EXPECT_EQ(text.find("[Node0_Slot"), std::string::npos);
    EXPECT_NE(text.find("\r\nController=\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nIP Address=\r\n"), std::string::npos);

    for (int i = 0; i < 2; ++i) ConfigReal[0].McuName(i) = ConfigReal[0].PowerName(i) = "";
    ConfigReal[0].McuName(2) = "never written";
    const std::string bare = SaveToText("bare.ini");
    EXPECT_EQ(bare,
              "[Config0]\r\nController=\r\nTotalSlot=8\r\nIP Address=\r\nMCU Version=301\r\n"
              "MCULib Version=105\r\nNetID=17\r\n");
}

TEST_F(ConfigFileTest, FamilyKeysOfSpecialSlots) {
    NodeConfig& r = ConfigReal[0];
    r.ControllerPresent = kTrue;
    r.TotalSlot = 8;
    r.McuVersion = 200;
    auto present = [&](int s, const char* model) {
        r.Module(s) = model;
        r.SlotPresent(s) = kTrue;
    };
    present(0, "KB-531");   // no family
    present(1, "KB-560");   // digital input: no output keys
    r.RangeCode(1, 0) = 7;  // written as the digital-module code anyway
    present(2, "KB-522");   // analog input below version 201
    r.AIChannel(2) = 11;
    r.RangeCode(2, 10) = 300;
    present(3, "KB-553");    // analog output without channels
    present(4, " KB-570 ");  // blanks around the model name
    r.Module(5) = "KB-560";  // not present: not written
    present(6, "KA-380");
    r.PI(6).FilterInterval = 12.5;
    r.PI(6).Impendance = 1e20;
    const std::string text = SaveToText();

    EXPECT_EQ(SectionLines(text, "Node0_Slot0").size(), 10u);
    const auto di = SectionLines(text, "Node0_Slot1");
    ASSERT_EQ(di.size(), 12u);
    EXPECT_EQ(di[10], "RangeCode_0=40");
    EXPECT_EQ(di[11], "Comment_0=Digital module");
    const auto ai = SectionLines(text, "Node0_Slot2");
    EXPECT_EQ(ai[10], "AlarmMode=0");
    EXPECT_EQ(ai[11], "RangeCode_0=00");
    EXPECT_EQ(ai[12], "Comment_0=+/- 15.0 mV");
    EXPECT_EQ(text.find("AIDigitalFilterMode"), std::string::npos);
    EXPECT_NE(text.find("\r\nRangeCode_10=2C\r\nComment_10=\r\n"), std::string::npos);
    const auto ao = SectionLines(text, "Node0_Slot3");
    ASSERT_EQ(ao.size(), 11u);
    EXPECT_EQ(ao[10], "CHBreakLineMode=0");
    const auto dout = SectionLines(text, "Node0_Slot4");
    EXPECT_EQ(dout[0], "Module=KB-570");
    // The family is chosen by the untrimmed name, which matches none.
    EXPECT_EQ(dout.size(), 10u);
    EXPECT_TRUE(SectionLines(text, "Node0_Slot5").empty());
    const auto pi = SectionLines(text, "Node0_Slot6");
    EXPECT_EQ(pi[13], "PI_Impendance=1E+20");
    EXPECT_EQ(pi[14], "PI_FilterInterval=12.5");

    r.McuVersion = 201;
    EXPECT_NE(SaveToText("v201.ini").find("\r\nAIDigitalFilterMode=0\r\n"), std::string::npos);
}

TEST_F(ConfigFileTest, OnlyTheDigitalModelsGetTheDigitalModuleKeys) {
    NodeConfig& r = ConfigReal[0];
    r.ControllerPresent = kTrue;
    r.TotalSlot = 1;
    r.SlotPresent(0) = kTrue;
    std::set<std::string> digital;
    for (const CatalogEntry* e = CatalogBegin(); e != CatalogEnd(); ++e) {
        r.Module(0) = e->Model;
        if (SaveToText().find("Comment_0=Digital module") != std::string::npos)
            digital.insert(e->Model);
    }
    EXPECT_EQ(digital, (std::set<std::string>{"KA-360", "KB-560", "KA-370", "KB-570"}));
}

TEST_F(ConfigFileTest, RangeCodesAreTwoUpperCaseHexDigits) {
    NodeConfig& r = ConfigReal[0];
    r.ControllerPresent = kTrue;
    r.TotalSlot = 1;
    r.Module(0) = "KB-521";
    r.SlotPresent(0) = kTrue;
    r.AIChannel(0) = 3;
    r.RangeCode(0, 0) = 7;
    r.RangeCode(0, 1) = 132;
    r.RangeCode(0, 2) = 12;
    const std::string text = SaveToText();
    EXPECT_NE(text.find("RangeCode_0=07\r\nComment_0=+4.0 ~ 20.0 mA\r\n"), std::string::npos);
    EXPECT_NE(text.find("RangeCode_1=84\r\nComment_1=(Pt100) -200.0 To +850.0 C\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("RangeCode_2=0C\r\n"), std::string::npos);
}

TEST_F(ConfigFileTest, RangeCodesTheTwoDigitsCannotHoldSaveTheSameFileTwice) {
    // Per family one channel whose code text exceeds two hexadecimal digits.
    const struct {
        const char* model;
        const char* counts;
        const char* code;
    } rows[] = {
        {"KB-521", "AIChannel=1", "5000"}, {"KB-540", "AIChannel=1", "10F"},
        {"KB-510", "AIChannel=1", "184"},  {"KB-551", "AOChannel=1", "0131"},
        {"KB-580", "PIChannel=1", "FFFF"}, {"KB-590", "POChannel=1", "160"},
        {"KB-570", "DOChannel=1", "1040"},
    };
    for (const auto& row : rows) {
        WriteAll(dir / "a.ini", std::string("[Config0]\r\nController=GW-7010\r\nTotalSlot=1\r\n"
                                            "[Node0_Slot0]\r\nModule=") +
                                    row.model + "\r\n" + row.counts +
                                    "\r\nRangeCode_0=" + row.code + "\r\nUserDefLRange_0=-7\r\n");
        std::string saves[2];
        for (std::string& saved : saves) {
            LoadWithCommand(dir / "a.ini");
            mnuFileSave_Click();
            saved = ReadAll(dir / "a.ini");
        }
        EXPECT_EQ(saves[0], saves[1]) << row.model << " " << row.code;
    }
    ExpectNoDialogs();
}

TEST_F(ConfigFileTest, CountsBeyondTheRecordStopAtItsLimits) {
    const std::string text =
        "[Config0]\r\nController=GW-7010\r\nTotalSlot=12\r\n"
        "[Node0_Slot8]\r\nModule=KB-590\r\nPOChannel=40\r\nRangeCode_16=61\r\nRefTime_16=5\r\n"
        "[Node0_Slot9]\r\nModule=KB-560\r\n";
    WriteAll(dir / "big.ini", text);
    LoadWithCommand(dir / "big.ini");
    EXPECT_EQ(ConfigReal[0].TotalSlot, 12);
    EXPECT_EQ(ConfigReal[0].Module(8), "KB-590");
    EXPECT_EQ(ConfigReal[0].POChannel(8), 40);
    EXPECT_EQ(ConfigReal[0].RangeCode(8, 16), 97);
    EXPECT_EQ(ConfigReal[0].PO(8).RefTime(16), 5);
    EXPECT_EQ(host.steps.back(), "Caption (Offline Mode)");

    // Saving the same record stops at slot 8 and channel 16 too.
    const std::string saved = SaveToText();
    EXPECT_NE(saved.find("RefTime_16=5"), std::string::npos);
    EXPECT_EQ(saved.find("RefTime_17"), std::string::npos);
    EXPECT_EQ(saved.find("Slot9"), std::string::npos);
}

TEST_F(ConfigFileTest, LoadEdgeCases) {
    const std::string text =
        "[Config0]\r\nController=\r\nTotalSlot=4\r\nNetID=abc\r\nMCULib Version=70000\r\n"
        "[Node_0]\r\nMCU0=GW-7010\r\n"
        "[Node0_Slot0]\r\nModule=\r\nVersion=9\r\nDIChannel=32\r\n"
        "[Node0_Slot1]\r\nModule=KB-570\r\nDOChannel=32\r\nDO_PowerOnVAlueMode=7x\r\n"
        "DO_SafeValueMode=300\r\nDO_PowerONValue_Low=1.5e3\r\nDO_SafeValue_Low=0,5\r\n"
        "[Node0_Slot2]\r\nModule=KB-551\r\nAOChannel=2\r\nRangeCode_0=zz\r\nRangeCode_1=0c\r\n"
        "UserDefHRange_0=\r\nAO_PowerOnVAlueMode_0=x\r\nAO_SafeValueMode_0=3\r\n"
        "CHBreakLineMode=5\r\n"
        "[Node0_Slot3]\r\nModule=KB-521\r\nAIChannel=1\r\nAIDigitalFilterMode=4\r\n"
        "[Node0_Slot4]\r\nModule=KB-560\r\n";
    WriteAll(dir / "edge.ini", text);
    ConfigReal[0].Module(0) = "KB-540";
    ConfigReal[0].SafeValueMode(2, 1) = 9;
    ConfigReal[0].SafeValueMode(1, 0) = 8;
    LoadWithCommand(dir / "edge.ini");
    ExpectNoDialogs();
    const NodeConfig& r = ConfigReal[0];
    // A module name alone makes a controller present.
    EXPECT_EQ(r.ControllerPresent, kTrue);
    EXPECT_EQ(r.McuName(0), "GW-7010");
    EXPECT_EQ(r.NetID, 0);
    EXPECT_EQ(r.McuLibVersion, 0);
    // An empty module empties the slot whatever else the section holds.
    EXPECT_EQ(r.SlotPresent(0), kFalse);
    EXPECT_EQ(r.Module(0), "");
    EXPECT_EQ(r.Version(0), 0);
    EXPECT_EQ(r.DIChannel(0), 0);
    EXPECT_NE(std::find(host.steps.begin(), host.steps.end(), "ClearSlotButton 0"),
              host.steps.end());
    // Mode bytes take the leading number; out of range leaves the reset 0.
    EXPECT_EQ(r.PowerOnValueMode(1, 0), 7);
    EXPECT_EQ(r.SafeValueMode(1, 0), 0);
    EXPECT_EQ(r.DO_PowerONValue_Low(1), 1500);
    EXPECT_EQ(r.DO_SafeValue_Low(1), 0);
    // Analog output: bad hex refused, lower-case hex read, missing values
    // keep the reset values.
    EXPECT_EQ(r.RangeCode(2, 0), 0);
    EXPECT_EQ(r.RangeCode(2, 1), 12);
    EXPECT_EQ(r.UserDefHRange(2, 0), 10000);
    EXPECT_EQ(r.UserDefHRange(2, 1), 10000);
    EXPECT_EQ(r.PowerOnValueMode(2, 0), 0);
    EXPECT_EQ(r.SafeValueMode(2, 0), 3);
    EXPECT_EQ(r.SafeValueMode(2, 1), 0);
    EXPECT_EQ(r.CHBreakLineMode(2), 5);
    // The filter mode is read only from version 201 on.
    EXPECT_EQ(r.AIDigitalFilterMode(3), 0);
    // Slot 4 lies at the file's TotalSlot and is not read.
    EXPECT_EQ(r.Module(4), "");
    EXPECT_EQ(r.SlotPresent(4), kFalse);
}

TEST_F(ConfigFileTest, ModeBytesTakeOnlyTheLeadingDecimalNumber) {
    // One pulse-output slot, one mode key per channel.
    const char* modes[] = {
        "12 3",    // the number ends at the blank: 12
        "&H10",    // no decimal number at the start: 0
        "2.4kHz",  // 2.4 rounds to 2
        "-0.4",    // rounds to 0, which fits
        "+7",      // sign allowed
        "1E2",     // 100
        "1E",      // exponent without digits is not part of the number: 1
        "256",     // does not fit: field keeps its reset 0
        "-1",      // does not fit either
        ".5x",     // 0.5 rounds to the even 0
        "",        // empty: 0
    };
    std::string text =
        "[Config0]\r\nController=GW-7010\r\nTotalSlot=1\r\n"
        "[Node0_Slot0]\r\nModule=KB-590\r\nPOChannel=11\r\n";
    for (int c = 0; c < 11; ++c)
        text += "PO_SafeValueMode_" + std::to_string(c) + "=" + modes[c] + "\r\n";
    WriteAll(dir / "modes.ini", text);
    LoadWithCommand(dir / "modes.ini");
    const int expected[] = {12, 0, 2, 0, 7, 100, 1, 0, 0, 0, 0};
    for (int c = 0; c < 11; ++c)
        EXPECT_EQ(ConfigReal[0].SafeValueMode(0, c), expected[c]) << "text " << modes[c];
}

TEST_F(ConfigFileTest, SlotsOfAFileThatNamesNoControllerSurviveTheNextSave) {
    // As saved after an empty controller-name answer: no controller, no
    // controller module.
    ConfigReal[0] = KnownStation();
    ConfigReal[0].Controller = "";
    for (int i = 0; i < 2; ++i) ConfigReal[0].McuName(i) = "";
    SaveConfigFile(0, (dir / "a.ini").string());
    const std::string first = ReadAll(dir / "a.ini");
    ASSERT_NE(first.find("[Node0_Slot7]"), std::string::npos);

    LoadWithCommand(dir / "a.ini");
    EXPECT_EQ(ConfigReal[0].ControllerPresent, kTrue);
    mnuFileSave_Click();
    ExpectNoDialogs();
    EXPECT_EQ(ReadAll(dir / "a.ini"), first);
}

TEST_F(ConfigFileTest, LoneCarriageReturnsInValuesSaveAndReadBack) {
    const std::string text =
        "[Config0]\r\nController=KB-7010\rX\r\nTotalSlot=1\r\nIP Address=\r10.0.0.1\r\r\n"
        "[Node_0]\r\nPower0=KP\r220\r\n"
        "[Node0_Slot0]\r\nModule=KB-560\r\n";
    WriteAll(dir / "cr.ini", text);
    for (int round = 0; round < 2; ++round) {
        LoadWithCommand(dir / "cr.ini");
        EXPECT_EQ(ConfigReal[0].Controller, "KB-7010\rX") << round;
        EXPECT_EQ(ConfigReal[0].IPAddress, "\r10.0.0.1\r") << round;
        EXPECT_EQ(ConfigReal[0].PowerName(0), "KP\r220") << round;
        EXPECT_EQ(ConfigReal[0].Module(0), "KB-560") << round;
        mnuFileSave_Click();
        ExpectNoDialogs();
    }
}

TEST_F(ConfigFileTest, FileWithoutTotalSlotLoadsNoSlot) {
    WriteAll(dir / "a.ini",
             "[Config0]\r\nController=GW-7010\r\n[Node0_Slot0]\r\nModule=KB-560\r\n");
    LoadWithCommand(dir / "a.ini");
    EXPECT_EQ(ConfigReal[0].TotalSlot, 0);
    EXPECT_EQ(ConfigReal[0].SlotPresent(0), kFalse);
    EXPECT_EQ(ConfigReal[0].ControllerPresent, kTrue);
}

TEST_F(ConfigFileTest, AnalogOutputWithoutChannelsKeepsItsBreakLineMask) {
    ConfigReal[0] = KnownStation();
    ConfigReal[0].AOChannel(4) = 0;
    ConfigReal[0].CHBreakLineMode(4) = 77;
    SaveConfigFile(0, (dir / "a.ini").string());
    LoadWithCommand(dir / "a.ini");
    EXPECT_EQ(ConfigReal[0].CHBreakLineMode(4), 0);
    EXPECT_EQ(ConfigReal[0].AlarmMode(4), 0);
}

TEST_F(ConfigFileTest, InvalidNodeIsAnErrorForTheSaveAndSkipsTheLoad) {
    ConfigReal[0] = KnownStation();
    host.node = 1;
    dialogs.AnswerMsgBox(rt::vbOK);
    mnuFileSave_Click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, "Save file error: Subscript out of range");
    EXPECT_FALSE(fs::exists(McuIniPath));

    const NodeConfig before = ConfigReal[0];
    fs::copy_file(kDataDir / "station_typical.ini", dir / "t.ini");
    LoadConfigFile(1, (dir / "t.ini").string());
    EXPECT_TRUE(ConfigReal[0] == before);
}

TEST_F(ConfigFileTest, WhatALoadRefusesOrSkipsLeavesADebugLine) {
    WriteAll(dir / "big.ini",
             "[Config0]\r\nController=GW-7010\r\nTotalSlot=1\r\n"
             "[Node0_Slot0]\r\nModule=KB-521\r\nAIChannel=1\r\nRangeCode_0=5000\r\n");
    fs::create_directory(dir / "folder.ini");
    const struct {
        int16_t node;
        const char* file;
        std::string line;
    } rows[] = {
        {0, "big.ini", "refused [Node0_Slot0] RangeCode_0=5000: a range code above FF"},
        {1, "big.ini", "ignored error 9: " + rt::ErrorDescription(rt::ErrSubscriptOutOfRange)},
        {0, "folder.ini", "ignored error 75: " + rt::ErrorDescription(rt::ErrPathFileAccess)},
    };
    for (const auto& row : rows) {
        const LogCapture capture("nx.config.file.debug=true");
        LoadConfigFile(row.node, (dir / row.file).string());
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{row.line}) << row.file;
    }
}

TEST_F(ConfigFileTest, LoadConfigFileReadsAMissingFileAsEmpty) {
    ConfigReal[0].TotalSlot = 3;
    ConfigReal[0].ControllerPresent = kTrue;
    LoadConfigFile(0, (dir / "none.ini").string());
    EXPECT_EQ(ConfigReal[0].ControllerPresent, kFalse);
    EXPECT_EQ(ConfigReal[0].TotalSlot, 3);
    EXPECT_TRUE(dialogs.shown.empty());
}

// glibc keeps small allocations of a LOCPATH search that the leak checker
// reports at exit; they belong to the C library, not to the code under test.
struct LeakCheckPause {
    LeakCheckPause() {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_disable();
#endif
    }
    ~LeakCheckPause() {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_enable();
#endif
    }
};

// Numbers use "." whatever the process locale.
class ConfigFileLocaleTest : public ConfigFileTest {
  protected:
    void TearDown() override {
        const LeakCheckPause pause;
        std::setlocale(LC_ALL, "C");
        std::locale::global(std::locale::classic());
        if (!locpath_.empty()) ::unsetenv("LOCPATH");
        ConfigFileTest::TearDown();
    }
    // Switches to a German locale; builds one with localedef when the
    // system has none installed. False when neither works.
    bool UseGermanLocale() {
        const LeakCheckPause pause;
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
            locpath_ = (dir / "locales").string();
            fs::create_directory(locpath_);
            const std::string cmd =
                "localedef -i de_DE -f UTF-8 '" + locpath_ + "/de_DE.UTF-8' >/dev/null 2>&1";
            if (std::system(cmd.c_str()) == -1) return false;
            ::setenv("LOCPATH", locpath_.c_str(), 1);
            if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) return false;
        }
        if (std::string(std::localeconv()->decimal_point) != ",") return false;
        // The C library's numbers follow the locale set above; the C++
        // streams' locale is switched too where the system offers it.
        rt::IgnoringErrors(lcConfigFile(), [] { std::locale::global(std::locale("de_DE.UTF-8")); });
        return true;
    }
    std::string locpath_;
};

TEST_F(ConfigFileLocaleTest, GermanLocaleStillWritesAndReadsAPoint) {
    if (!UseGermanLocale()) GTEST_SKIP() << "no German locale available";
    ConfigReal[0] = KnownStation();
    const std::string text = SaveToText();
    EXPECT_NE(text.find("PI_FilterInterval=0.3\r\n"), std::string::npos);
    EXPECT_EQ(text.find("0,3"), std::string::npos);
    EXPECT_EQ(text, ReadAll(kDataDir / "golden_station.ini"));

    ResetConfigRecordsForStartup();
    LoadWithCommand(dir / "out.ini");
    EXPECT_DOUBLE_EQ(ConfigReal[0].PI(5).FilterInterval, 0.3);
    EXPECT_DOUBLE_EQ(ConfigReal[0].PI(5).Impendance, 5);
}

}  // namespace
