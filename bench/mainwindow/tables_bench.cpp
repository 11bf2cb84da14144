// Refill of the mapping and summary tables for the largest station the
// tables can show: eight 32-channel digital modules (256 rows in each digital
// table) and, in a second case, eight 16-channel modules of every analog and
// pulse kind (128 rows in each of those tables). Runs offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "config/NodeConfig.h"
#include "mainwindow/MappingTables.h"
#include "mainwindow/frmMain.h"

namespace {

// Both configuration copies as the program starts: zero-filled.
void ResetConfigRecordsForStartup() {
    ConfigReal[0] = NodeConfig{};
    ConfigSetting[0] = NodeConfig{};
}

void FullDigitalStation() {
    ResetConfigRecordsForStartup();
    NodeConfig& n = ConfigReal[0];
    n.McuVersion = 301;
    for (int s = 0; s < 8; ++s) {
        n.SlotPresent[s] = kTrue;
        n.Module[s] = "KB-560";
        n.DIChannel[s] = 32;
        n.DOChannel[s] = 32;
    }
}

void FullAnalogStation() {
    ResetConfigRecordsForStartup();
    NodeConfig& n = ConfigReal[0];
    for (int s = 0; s < 8; ++s) {
        n.SlotPresent[s] = kTrue;
        n.Module[s] = "KD-611";
        n.AIChannel[s] = n.AOChannel[s] = n.PIChannel[s] = n.POChannel[s] = 16;
        for (int c = 0; c < 16; ++c) n.RangeCode(s, c) = 7;
    }
}

frmMain& Window() {
    static frmMain* w = new frmMain;
    return *w;
}

void BM_FillTablesDigital(benchmark::State& state) {
    FullDigitalStation();
    for (auto _ : state) Window().FillMappingAndSummaryLists(0);
    state.counters["rows"] =
        Window().lvwDIMapping.ListItemCount() + Window().lvwDOMapping.ListItemCount();
}
BENCHMARK(BM_FillTablesDigital)->Unit(benchmark::kMillisecond);

void BM_FillTablesAnalog(benchmark::State& state) {
    FullAnalogStation();
    for (auto _ : state) Window().FillMappingAndSummaryLists(0);
    state.counters["rows"] = 4 * Window().lvwAIMapping.ListItemCount();
}
BENCHMARK(BM_FillTablesAnalog)->Unit(benchmark::kMillisecond);

void BM_MappingRowsOnly(benchmark::State& state) {
    FullAnalogStation();
    for (auto _ : state) benchmark::DoNotOptimize(mapping::MappingRows(ConfigReal[0]));
}
BENCHMARK(BM_MappingRowsOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
