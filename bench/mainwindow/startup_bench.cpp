// Start-up benchmark: NX-4410 (nx4410_firstpaint, started as the program
// starts) next to a minimal Qt main window of the same size, each started as
// a process of its own, interleaved with the order swapped every run. Times
// the process start to the first paint of the main window that reaches the
// screen, and reads each run's peak resident memory from wait4.
// The platform is QT_QPA_PLATFORM's (offscreen when unset).
//   nx4410_startup_bench [runs, default 20]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/bench_stats.h"

namespace {

struct Run {
    double paintedMs = -1;
    double maxRssKib = 0;
    std::string line;  // "painted <w> <h>"
};

Run StartOnce(const std::vector<std::string>& argv) {
    int out[2];
    if (pipe(out) != 0) return {};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    Run run;
    std::string seen;
    char buf[256];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0) {
        seen.append(buf, static_cast<size_t>(n));
        if (run.paintedMs < 0 && seen.find('\n') != std::string::npos) {
            run.paintedMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            run.line = seen.substr(0, seen.find('\n'));
        }
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.maxRssKib = static_cast<double>(usage.ru_maxrss);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || run.line.rfind("painted", 0) != 0)
        run.paintedMs = -1;
    return run;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int runs = argc > 1 ? std::max(2, std::atoi(argv[1])) : 20;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string platform = std::getenv("QT_QPA_PLATFORM");

    // The first run tells the size of NX-4410's window.
    const Run first = StartOnce({NX4410_FIRSTPAINT});
    int width = 0, height = 0;
    if (first.paintedMs < 0 ||
        std::sscanf(first.line.c_str(), "painted %d %d", &width, &height) != 2) {
        std::fprintf(stderr, "NX-4410 did not start and paint its window\n");
        return 1;
    }
    const std::vector<std::string> nx = {NX4410_FIRSTPAINT};
    const std::vector<std::string> minimal = {MINIMAL_WINDOW, std::to_string(width),
                                              std::to_string(height)};
    std::vector<double> nxMs, minMs, nxKib, minKib;
    for (int r = 0; r < runs; ++r) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool nxTurn = (turn == 0) == (r % 2 == 0);
            const Run run = StartOnce(nxTurn ? nx : minimal);
            if (run.paintedMs < 0) {
                std::fprintf(stderr, "run %d: %s did not paint\n", r + 1,
                             nxTurn ? "NX-4410" : "the minimal window");
                return 1;
            }
            (nxTurn ? nxMs : minMs).push_back(run.paintedMs);
            (nxTurn ? nxKib : minKib).push_back(run.maxRssKib / 1024.0);
        }
    }
    std::printf("window %dx%d, platform %s\n", width, height, platform.c_str());
    const std::string note = std::to_string(runs) + " starts each";
    bench::PrintRow("start to first paint (" + platform + ")", "ms", "NX-4410", nxMs,
                    "minimal window", minMs, note);
    std::vector<double> extra;
    for (size_t i = 0; i < nxKib.size(); ++i) extra.push_back(nxKib[i] - minKib[i]);
    const bench::Spread e = bench::Summarise(extra);
    bench::PrintRow(
        "peak memory (" + platform + ")", "MiB", "NX-4410", nxKib, "minimal window", minKib,
        "NX-4410 above minimal: median " + std::to_string(e.median).substr(0, 5) + " MiB");
    return 0;
}
