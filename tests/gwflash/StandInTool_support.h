// The programming tool's stand-in, put into a folder of the test's own under
// the tool's file name, with its log and its exit codes chosen per test.
#pragma once

#include <QTemporaryDir>
#include <string>
#include <vector>

namespace gwtest {

struct ToolCall {
    long long startMs = 0;
    long long endMs = 0;
    std::vector<std::string> args;  // the tool's own name first
};

class StandInTool {
  public:
    // exitCodes: one entry per call ("0", "3", "kill"); sleepMs: how long
    // each call lasts.
    explicit StandInTool(const std::string& exitCodes = "", int sleepMs = 0);
    ~StandInTool();

    std::string Folder() const;
    std::string ToolPath() const;  // the stand-in under the tool's file name
    std::vector<ToolCall> Calls() const;

    QTemporaryDir dir;
};

}  // namespace gwtest
