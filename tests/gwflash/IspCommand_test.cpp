#include "gwflash/IspCommand.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDir>
#include <QFile>

#include "StandInTool_support.h"

using namespace gwflash;

namespace {

// How a tool run ends, and whether gwflash counts it as done.
TEST(RunIspCommandTest, OnlyARunThatEndsWithCodeZeroCounts) {
    struct Case {
        const char* exitCode;
        bool done;
    } cases[] = {{"0", true}, {"1", false}, {"255", false}, {"kill", false}};
    for (const Case& c : cases) {
        gwtest::StandInTool tool(c.exitCode);
        const IspCommand command = BuildBaseCommand("192.168.0.16", "02-4b-7a-00-00-10");
        EXPECT_EQ(RunIspCommand(tool.ToolPath(), command), c.done) << c.exitCode;
        // The tool ran to its end, with the command's words as its arguments.
        const auto calls = tool.Calls();
        ASSERT_EQ(calls.size(), 1u) << c.exitCode;
        EXPECT_EQ(calls[0].args, command.words);
    }
}

TEST(RunIspCommandTest, ToolThatCannotStartFailsWithoutSearching) {
    gwtest::StandInTool tool;
    const std::string folder = tool.Folder();
    // The bare file name with the tool's folder on PATH, a missing file, the
    // folder itself, a file that is not executable: none starts anything.
    const std::string plain = folder + "/plain";
    QFile f(QString::fromStdString(plain));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\nexit 0\n");
    f.close();
    const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (folder + ":" + oldPath).c_str(), 1);
    const std::string cwd = QDir::currentPath().toStdString();
    for (const std::string& path :
         {std::string(kIspToolFileName), folder + "/missing", folder, plain, std::string()}) {
        EXPECT_FALSE(RunIspCommand(path, BuildBaseCommand("192.168.0.16", "m"))) << path;
    }
    setenv("PATH", oldPath.c_str(), 1);
    ASSERT_NE(cwd, folder);
    EXPECT_TRUE(tool.Calls().empty());
}

// The worker's sequence against a recording runner: it stops at the first
// failure and reports each step.
TEST(IspUpgradeThreadTest, StepsUpToTheFirstFailure) {
    for (int failAt = 0; failAt <= 5; ++failAt) {
        std::vector<int> posted;
        int runs = 0;
        const int code = IspUpgradeThread(
            {"192.168.0.20", "02-4b-7a-00-00-14", "/f.hex", "/t", 0},
            [&](int step) { posted.push_back(step); },
            [&](const std::string&, const IspCommand&) { return ++runs != failAt + 1; });
        std::vector<int> expected = {0, 1};
        for (int s = 2; s < 2 + std::min(failAt, 5); ++s) expected.push_back(s);
        if (failAt < 5) expected.push_back(kStepFailed);
        EXPECT_EQ(posted, expected) << failAt;
        EXPECT_EQ(runs, std::min(failAt + 1, 5));
        EXPECT_EQ(code, failAt < 5 ? 1 : 0);
    }
}

}  // namespace
