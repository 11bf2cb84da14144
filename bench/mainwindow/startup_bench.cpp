// Start-up benchmark of NX-4410: starts the program N times with
// NX4410_QUIT_AFTER_SHOW=1 on the offscreen platform, measures the time from
// the process start to its "shown" line, and reads the peak resident memory
// of each run from getrusage.
//   nx4410_startup_bench [runs]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Run {
    double shownMs = -1;
    double exitMs = -1;
    long maxRssKb = 0;
};

Run StartOnce(const char* program) {
    int out[2];
    if (pipe(out) != 0) return {};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("NX4410_QUIT_AFTER_SHOW", "1", 1);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    Run run;
    std::string seen;
    char buf[256];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0) {
        seen.append(buf, static_cast<size_t>(n));
        if (run.shownMs < 0 && seen.find("shown") != std::string::npos)
            run.shownMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.exitMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.maxRssKb = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) run.shownMs = -1;
    return run;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::vector<double> shown, exited, rss;
    for (int i = 0; i < runs; ++i) {
        const Run r = StartOnce(NX4410_PROGRAM);
        if (r.shownMs < 0) {
            std::fprintf(stderr, "run %d: NX-4410 did not start and show its window\n", i + 1);
            return 1;
        }
        shown.push_back(r.shownMs);
        exited.push_back(r.exitMs);
        rss.push_back(static_cast<double>(r.maxRssKb));
    }
    std::printf("runs                       %d\n", runs);
    std::printf("start to window shown  ms  median %.1f  min %.1f  max %.1f\n", Median(shown),
                *std::min_element(shown.begin(), shown.end()),
                *std::max_element(shown.begin(), shown.end()));
    std::printf("start to process end   ms  median %.1f\n", Median(exited));
    std::printf("peak resident memory   KiB median %.0f  max %.0f\n", Median(rss),
                *std::max_element(rss.begin(), rss.end()));
    return 0;
}
