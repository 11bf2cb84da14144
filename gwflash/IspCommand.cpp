#include "gwflash/IspCommand.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

extern char** environ;

namespace gwflash {

IspCommand BuildBaseCommand(const std::string& ip, const std::string& mac) {
    return {
        {kIspToolFileName, "ETHERNET(" + ip + ", " + mac + ", 10)", "DEVICE(LPC4333ETH, 0, 0)"}};
}

std::vector<IspCommand> BuildUpgradeCommands(const std::string& ip, const std::string& mac,
                                             const std::string& path) {
    const IspCommand base = BuildBaseCommand(ip, mac);
    const std::string steps[] = {
        "READSIGNATURE",
        "ERASE(DEVICE, PROTECTISP)",
        "HEXFILE(" + path + ", NOCHECKSUMS, NOFILL, PROTECTISP)",
        "VERIFY(" + path + ", NOCHECKSUMS)",
        "ACTIVATEFLASHBANK(0)",
    };
    std::vector<IspCommand> commands;
    for (const std::string& step : steps) {
        IspCommand c = base;
        c.words.push_back(step);
        commands.push_back(std::move(c));
    }
    return commands;
}

bool RunIspCommand(const std::string& toolPath, const IspCommand& command) {
    std::vector<char*> argv;
    for (const std::string& w : command.words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    // Only the standard streams go to the tool; nothing else gwflash holds
    // open is handed on.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = 0;
    // posix_spawn, not posix_spawnp: the path is used as given.
    const int error = toolPath.empty() ? ENOENT
                                       : posix_spawn(&pid, toolPath.c_str(), &actions, nullptr,
                                                     argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "CreateProcess failed: %d\n", error);
        return false;
    }
    int status = 0;
    pid_t ended;
    do {
        ended = waitpid(pid, &status, 0);
    } while (ended < 0 && errno == EINTR);
    if (ended != pid) {
        std::fprintf(stderr, "Waiting for %s failed: %d\n", kIspToolFileName, errno);
        return false;
    }
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "%s ended by signal %d\n", kIspToolFileName, WTERMSIG(status));
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s ended with exit code %d\n", kIspToolFileName,
                     WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        return false;
    }
    return true;
}

int IspUpgradeThread(const IspJob& job, const std::function<void(int step)>& post,
                     const RunCommand& run) {
    post(kStepStarted);
    const std::vector<IspCommand> commands = BuildUpgradeCommands(job.ip, job.mac, job.path);
    post(kStepPrepared);
    // Without an address the tool would be pointed at no module at all.
    if (job.ip.empty()) {
        std::fprintf(stderr, "No IP address chosen.\n");
        post(kStepFailed);
        return 1;
    }
    int step = kStepPrepared;
    for (const IspCommand& command : commands) {
        if (!run(job.toolPath, command)) {
            post(kStepFailed);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(job.pauseMs));
        post(++step);
    }
    return 0;
}

}  // namespace gwflash
