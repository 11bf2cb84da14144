// The outside in-system-programming tool and the upgrade job run through it:
// one command line per step, each run as a process of its own, from a worker
// thread that reports each step's number.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace gwflash {

// The tool's program file, looked for in gwflash's own folder only.
constexpr const char* kIspToolFileName = "GW_7010_Firmware_Upgrade";

// One command of the tool: its own name followed by its clauses. The tool
// receives every clause as one argument, unchanged; joined with single blanks
// they give the command line.
struct IspCommand {
    std::vector<std::string> words;
};

// The clauses every command of a run begins with: the tool's name, the
// module's Ethernet address pair and the device.
IspCommand BuildBaseCommand(const std::string& ip, const std::string& mac);

// The five commands of a run, in their order.
std::vector<IspCommand> BuildUpgradeCommands(const std::string& ip, const std::string& mac,
                                             const std::string& path);

// Step numbers reported by the worker.
enum IspStep : int {
    kStepStarted = 0,
    kStepPrepared = 1,
    kStepDone = 6,  // after the fifth command
    kStepFailed = 256,
};

// Runs the tool at toolPath (an explicit path; never searched for, never
// through a shell) with the command's words as its argument list, in the
// caller's environment and folder, and waits for it to end. True only when
// it ran to its end with exit code 0; otherwise the reason goes to the
// standard error stream.
bool RunIspCommand(const std::string& toolPath, const IspCommand& command);

// What one run works on: written by the window thread before the worker
// starts, only read by the worker.
struct IspJob {
    std::string ip;
    std::string mac;
    std::string path;
    std::string toolPath;
    uint32_t pauseMs = 200;  // after each command that succeeded
};

// The worker's whole run: posts 0, then 1, runs the five commands (each
// after the previous one ended and the pause passed) posting 2..6 after
// each success; the first failure (or an empty address) posts 256 and runs
// nothing further. Returns 0 after step 6, 1 after a failure.
using RunCommand = std::function<bool(const std::string& toolPath, const IspCommand&)>;
int IspUpgradeThread(const IspJob& job, const std::function<void(int step)>& post,
                     const RunCommand& run = RunIspCommand);

}  // namespace gwflash
