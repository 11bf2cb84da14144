// Time of "Load setting" (mnuFileLoad_Click: read the file, reset ConfigReal,
// load it, hand it to ConfigSetting) on a generated configuration file: a
// station of eight slots whose sections also hold many keys the load does
// not read, 300,000 keys in all by default (about 3 MB).
//
// Usage: config_load_bench [keys, default 300000] [repetitions, default 11]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/ConfigFile.h"
#include "config/NodeConfig.h"
#include "config/RangeCodes.h"

namespace {

using Clock = std::chrono::steady_clock;

// The file text and the number of keys in it.
std::string GenerateFile(long keys, long& written) {
    std::string text;
    written = 0;
    auto key = [&](const std::string& name, const std::string& value) {
        text += name;
        text += '=';
        text += value;
        text += "\r\n";
        ++written;
    };
    text += "[Config0]\r\n";
    key("Controller", "GW-7010");
    key("TotalSlot", "8");
    key("IP Address", "127.0.0.1");
    key("MCU Version", "301");
    key("MCULib Version", "105");
    key("NetID", "1");
    text += "[Node_0]\r\n";
    key("Power0", "KP-220");
    key("MCU0", "GW-7010");
    const long perSlot = std::max(0L, (keys - written - 8 * (10 + 2 + 16 * 6)) / 8);
    long filler = 0;
    for (int s = 0; s < 8; ++s) {
        text += "[Node0_Slot" + std::to_string(s) + "]\r\n";
        key("Module", "KB-521");
        key("Version", "10");
        for (const char* count : {"DOChannel", "DIChannel", "AOChannel", "POChannel", "PIChannel"})
            key(count, "0");
        key("AIChannel", "16");
        key("RedundancyToSlot", "0");
        key("BreakLineFunc", "0");
        key("AlarmMode", "0");
        key("AIDigitalFilterMode", "1");
        for (int c = 0; c < 16; ++c) {
            const std::string n = std::to_string(c);
            key("RangeCode_" + n, "07");
            key("Comment_" + n, "+4.0 ~ 20.0 mA");
            key("UserDefLRange_" + n, "0");
            key("UserDefHRange_" + n, "10000");
            key("LowAlarmVal_" + n, "-2500");
            key("HighAlarmVal_" + n, "12500");
        }
        // Keys the load does not read (notes of another tool, say).
        const long extra = s == 7 ? keys - written : perSlot;
        for (long i = 0; i < extra; ++i) key("k" + std::to_string(filler++), "1");
    }
    return text;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const long keys = argc > 1 ? std::atol(argv[1]) : 300000;
    const int reps = std::max(1, argc > 2 ? std::atoi(argv[2]) : 11);
    InitRangeNames();

    char tmpl[] = "/tmp/nx_config_bench_XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const std::filesystem::path dir = tmpl;
    const std::filesystem::path file = dir / "large.ini";
    long written = 0;
    {
        std::ofstream out(file, std::ios::binary);
        out << GenerateFile(keys, written);
    }
    std::printf("file: %ld keys, %.2f MB\n", written,
                static_cast<double>(std::filesystem::file_size(file)) / 1e6);

    std::vector<double> ms;
    for (int r = 0; r < reps; ++r) {
        ConfigReal[0] = NodeConfig{};  // each repetition loads into a fresh record
        ConfigSetting[0] = NodeConfig{};
        McuIniPath = file.string();
        const Clock::time_point t0 = Clock::now();
        mnuFileLoad_Click();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (ConfigReal[0].AIChannel(7) != 16 || ConfigSetting[0].Module(7) != "KB-521") {
            std::fprintf(stderr, "the file did not load\n");
            return 1;
        }
    }
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    // Spread: the interquartile range (medians of the lower and upper halves).
    double iqr = 0;
    if (reps >= 2) {
        const long half = reps / 2;
        iqr = Median(std::vector<double>(sorted.end() - half, sorted.end())) -
              Median(std::vector<double>(sorted.begin(), sorted.begin() + half));
    }
    std::printf("load: %d repetitions, median %.1f ms, min %.1f ms, max %.1f ms, IQR %.1f ms\n",
                reps, Median(ms), sorted.front(), sorted.back(), iqr);
    std::filesystem::remove_all(dir);
    return 0;
}
