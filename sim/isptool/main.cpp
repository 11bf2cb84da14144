// isptool-standin: stands in for the outside in-system-programming tool that
// gwflash runs, for tests and for trying gwflash without a module. It
// contacts nothing: it appends one line per call to a log and exits with a
// code chosen beforehand.
//
//   GWFLASH_TOOL_LOG    the log file (default: isptool-standin.log in the
//                       current folder). Each call appends one line:
//                       <start ms> <end ms>, then every argument (its own
//                       name first), each after a tab; in the arguments a
//                       backslash, tab and line end are written \\, \t, \n.
//                       The times are of the monotonic clock.
//   GWFLASH_TOOL_EXIT   exit codes by call, separated by blanks: the first
//                       entry is for the call that finds the log without
//                       lines, and so on; "kill" ends that call by SIGKILL.
//                       Calls without an entry exit with 0.
//   GWFLASH_TOOL_SLEEP_MS  how long each call lasts before it logs and ends.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

long long NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string Escaped(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\\')
            out += "\\\\";
        else if (*p == '\t')
            out += "\\t";
        else if (*p == '\n')
            out += "\\n";
        else
            out += *p;
    }
    return out;
}

// Calls logged so far: the lines of the log.
int CallsLogged(const char* log) {
    std::FILE* f = std::fopen(log, "rb");
    if (!f) return 0;
    int lines = 0;
    for (int c; (c = std::fgetc(f)) != EOF;)
        if (c == '\n') ++lines;
    std::fclose(f);
    return lines;
}

// The entry for this call: "0" when there is none.
std::string ExitEntry(int call) {
    const char* codes = std::getenv("GWFLASH_TOOL_EXIT");
    std::istringstream in(codes ? codes : "");
    std::string entry;
    for (int i = 0; in >> entry; ++i)
        if (i == call) return entry;
    return "0";
}

}  // namespace

int main(int argc, char* argv[]) {
    const long long start = NowMs();
    const char* envLog = std::getenv("GWFLASH_TOOL_LOG");
    const char* log = envLog && *envLog ? envLog : "isptool-standin.log";
    const char* sleepMs = std::getenv("GWFLASH_TOOL_SLEEP_MS");
    if (sleepMs) usleep(static_cast<useconds_t>(std::strtoul(sleepMs, nullptr, 10) * 1000));

    const std::string entry = ExitEntry(CallsLogged(log));
    std::string line = std::to_string(start) + " " + std::to_string(NowMs());
    for (int i = 0; i < argc; ++i) line += "\t" + Escaped(argv[i]);
    line += "\n";
    std::FILE* f = std::fopen(log, "ab");
    if (!f) {
        std::perror(log);
        return 125;
    }
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);

    if (entry == "kill") raise(SIGKILL);
    return std::atoi(entry.c_str());
}
