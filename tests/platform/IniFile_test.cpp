#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/runtime.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;
using rt::IniFile;
using rt::RuntimeError;

namespace {

// A fresh folder per test, removed afterwards.
class IniFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "nx_ini_XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

}  // namespace

TEST_F(IniFileTest, AwkwardValuesRoundTripThroughTheDiskUnchanged) {
    const std::string values[] = {
        "plain",
        " leading and trailing blanks  ",
        "semi;colon ; and ;",
        "comma,separated, list",
        "\"quoted\"",
        "\"",
        "back\\slash\\\\end\\",
        "a=b=c",
        "[not a section]",
        ";starts like a comment",
        "",
        "\ttab\t",
        "C:\\Program Files\\\"x\"; y, z",
        "KB-7010\rX",  // a lone CR is text, not a line end
        "\r",
        "ends in CR\r",
    };
    IniFile out;
    for (size_t i = 0; i < std::size(values); ++i)
        out.WriteKey("Node0_Slot1", "Key_" + std::to_string(i), values[i]);
    const std::string path = PathOf("values.ini");
    out.Save(path);

    IniFile in;
    in.SetFile(path);
    for (size_t i = 0; i < std::size(values); ++i) {
        const std::string key = "Key_" + std::to_string(i);
        EXPECT_TRUE(in.HasKey("Node0_Slot1", key)) << key;
        EXPECT_EQ(in.ReadKey("Node0_Slot1", key), values[i]) << key;
    }
    // Saving what was read gives the same bytes again.
    const std::string again = PathOf("again.ini");
    in.Save(again);
    EXPECT_EQ(ReadAll(again), ReadAll(path));
}

TEST_F(IniFileTest, TextKeepsOrderReplacesInPlaceAndEndsLinesWithCrLf) {
    IniFile ini;
    ini.WriteKey("Config0", "Controller", "");
    ini.WriteKey("Config0", "TotalSlot", "8");
    ini.WriteKey("Node_0", "Power0", "KP-220");
    ini.WriteKey("Config0", "IP Address", "");
    ini.WriteKey("config0", "TOTALSLOT", "7");  // same key, other case: replaced in place
    EXPECT_EQ(ini.Text(),
              "[Config0]\r\nController=\r\nTotalSlot=7\r\nIP Address=\r\n"
              "\r\n[Node_0]\r\nPower0=KP-220\r\n");
}

TEST_F(IniFileTest, ReadsLfOnlyFilesAndMatchesNamesWithoutCase) {
    const std::string path = PathOf("lf.ini");
    WriteAll(path,
             "; a comment\n"
             "orphan=above every section\n"
             "[CONFIG0]\n"
             "  Controller  =GW-7010\n"
             "NetID=1\r\n"
             "no equals sign here\n"
             "NetID=2\n"
             "\n"
             "[ Node_0 ]\n"
             "mcu0=GW-7010  \n"
             "[config0]\n"
             "TotalSlot=8");  // no line end at the very end
    IniFile ini;
    ini.SetFile(path);
    EXPECT_EQ(ini.FileName(), path);
    EXPECT_EQ(ini.ReadKey("Config0", "controller"), "GW-7010");
    EXPECT_EQ(ini.ReadKey("config0", "NETID"), "1");      // the first of two equal keys
    EXPECT_EQ(ini.ReadKey("Config0", "TotalSlot"), "8");  // repeated section merged
    EXPECT_EQ(ini.ReadKey("Node_0", "MCU0"), "GW-7010  ");
    EXPECT_FALSE(ini.HasKey("Config0", "orphan"));
    EXPECT_FALSE(ini.HasKey("Config0", "no equals sign here"));
    EXPECT_FALSE(ini.HasKey("Config0", "; a comment"));
    EXPECT_FALSE(ini.HasKey("Missing", "Controller"));
    EXPECT_EQ(ini.ReadKey("Missing", "Controller"), "");
    EXPECT_EQ(ini.ReadKey("Config0", "Missing"), "");
}

TEST_F(IniFileTest, ParseSkipsByteOrderMarkAndBrokenHeaders) {
    IniFile ini;
    ini.Parse("\xEF\xBB\xBF[A]\r\nk=1\r\n[broken\r\nk2=2\r\n[B]\r\nk=3\r\n");
    EXPECT_EQ(ini.ReadKey("A", "k"), "1");
    EXPECT_FALSE(ini.HasKey("A", "k2"));
    EXPECT_EQ(ini.ReadKey("B", "k"), "3");
}

TEST_F(IniFileTest, SetFileStartsOverAndAMissingFileIsEmpty) {
    const std::string path = PathOf("one.ini");
    WriteAll(path, "[S]\nk=v\n");
    IniFile ini;
    ini.WriteKey("Old", "x", "1");
    ini.SetFile(path);
    EXPECT_FALSE(ini.HasKey("Old", "x"));
    EXPECT_EQ(ini.ReadKey("S", "k"), "v");

    ini.SetFile(PathOf("does-not-exist.ini"));
    EXPECT_FALSE(ini.HasKey("S", "k"));
    EXPECT_EQ(ini.Text(), "");
    EXPECT_FALSE(fs::exists(PathOf("does-not-exist.ini")));  // reading creates nothing

    ini.WriteKey("S", "k", "v2");
    ini.Save();  // to the set file
    EXPECT_EQ(ReadAll(PathOf("does-not-exist.ini")), "[S]\r\nk=v2\r\n");

    ini.Clear();
    EXPECT_EQ(ini.Text(), "");
    EXPECT_EQ(ReadAll(PathOf("does-not-exist.ini")), "[S]\r\nk=v2\r\n");  // disk untouched
}

TEST_F(IniFileTest, SaveReplacesTheWholeFile) {
    const std::string path = PathOf("twice.ini");
    IniFile first;
    first.WriteKey("A", "old", "1");
    first.WriteKey("A", "kept", "2");
    first.Save(path);
    IniFile second;
    second.WriteKey("A", "kept", "3");
    second.Save(path);
    IniFile in;
    in.SetFile(path);
    EXPECT_FALSE(in.HasKey("A", "old"));
    EXPECT_EQ(in.ReadKey("A", "kept"), "3");
}

TEST_F(IniFileTest, WriteKeyRefusesTextThatCannotReadBack) {
    IniFile ini;
    EXPECT_EQ(ErrorNumberOf([&] { ini.WriteKey("S", "k", "two\r\nlines"); }),
              rt::ErrInvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { ini.WriteKey("S", "k", "lf\nonly"); }),
              rt::ErrInvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { ini.WriteKey("S", "a=b", "v"); }), rt::ErrInvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { ini.WriteKey("S", " k", "v"); }), rt::ErrInvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { ini.WriteKey("S", "", "v"); }), rt::ErrInvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { ini.WriteKey("S", ";k", "v"); }), rt::ErrInvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { ini.WriteKey("S]x", "k", "v"); }), rt::ErrInvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { ini.WriteKey("", "k", "v"); }), rt::ErrInvalidProcedureCall);
    EXPECT_EQ(ini.Text(), "");  // nothing refused was stored
}

TEST_F(IniFileTest, SaveIntoAMissingFolderOrUnderAFileIsPathNotFound) {
    IniFile ini;
    ini.WriteKey("S", "k", "v");
    EXPECT_EQ(ErrorNumberOf([&] { ini.Save(PathOf("no-such-folder/x.ini")); }),
              rt::ErrPathNotFound);
    const std::string file = PathOf("plain-file");
    WriteAll(file, "x");
    EXPECT_EQ(ErrorNumberOf([&] { ini.Save(file + "/x.ini"); }), rt::ErrPathNotFound);
    EXPECT_EQ(ReadAll(file), "x");
    // A folder in the place of the file cannot be written either.
    EXPECT_NE(ErrorNumberOf([&] { ini.Save(dir_.string()); }), 0);
    // No path at all.
    IniFile unnamed;
    EXPECT_EQ(ErrorNumberOf([&] { unnamed.Save(); }), rt::ErrBadFileName);
}

TEST_F(IniFileTest, SetFileOnAFolderRaises) {
    IniFile ini;
    EXPECT_EQ(ErrorNumberOf([&] { ini.SetFile(dir_.string()); }), rt::ErrPathFileAccess);
    ini.WriteKey("S", "k", "v");
    EXPECT_EQ(ErrorNumberOf([&] { ini.SetFile(PathOf("nowhere") + "/under.ini"); }), 0);
    EXPECT_FALSE(ini.HasKey("S", "k"));
    const std::string file = PathOf("plain");
    WriteAll(file, "[S]\nk=v\n");
    EXPECT_EQ(ErrorNumberOf([&] { ini.SetFile(file + "/under.ini"); }), 0);
    EXPECT_EQ(ini.Text(), "");
}

TEST_F(IniFileTest, SaveIntoAReadOnlyFolderIsPermissionDenied) {
    const fs::path ro = dir_ / "ro";
    fs::create_directory(ro);
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
    IniFile ini;
    ini.WriteKey("S", "k", "v");
    const std::string target = (ro / "x.ini").string();
    int number = 0;
    if (geteuid() != 0) {
        number = ErrorNumberOf([&] { ini.Save(target); });
    } else {
        // The superuser writes anywhere; the save runs in a child process
        // that has given up its rights for an ordinary user's.
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(255);
            _exit(ErrorNumberOf([&] { ini.Save(target); }));
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 255) GTEST_SKIP() << "cannot take an ordinary user's rights";
        number = WEXITSTATUS(status);
    }
    fs::permissions(ro, fs::perms::owner_all);
    EXPECT_EQ(number, rt::ErrPermissionDenied);
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(IniFileTest, AWriteThatDoesNotReachTheDiskIsDiskFull) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    IniFile ini;
    ini.WriteKey("S", "k", std::string(100000, 'x'));
    EXPECT_EQ(ErrorNumberOf([&] { ini.Save("/dev/full"); }), rt::ErrDiskFull);
}
