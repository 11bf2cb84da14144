// Times one full repaint of the strip chart at 1280x720 on the offscreen
// platform: 51 channels of 10,000 points each, every point inside the time
// window (the worst case: nothing can be skipped), next to the same chart
// without points (axes and track frames only). Prints the table row of
// scripts/bench.sh, and the heap the point rings take, as the allocator
// counts it while the chart is filled and after Clear gives them back.
#include <malloc.h>

#include <QApplication>
#include <QImage>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/bench_stats.h"
#include "scope/StripChart.h"

namespace {

constexpr int kPoints = 10000;
constexpr int kRuns = 60;

void Fill(scope::StripChart& chart) {
    chart.SetTimeSpan(kPoints / 86400.0);  // one point a second
    for (int ch = 0; ch < scope::kStripChannels; ++ch) {
        chart.SetChannel(static_cast<int16_t>(ch));
        const bool digital = ch % 3 == 0;
        chart.SetChannelTrack(digital ? 1 + ch % 4 : 0);
        chart.SetChannelDigital(digital ? 1 : 0);
        if (digital) chart.SetChannelStyle(2);
        chart.SetChannelColor(0x1F3F7F * (ch + 1) & 0xFFFFFF);
        for (int i = 0; i < kPoints; ++i)
            chart.AddSample(
                static_cast<int16_t>(ch), 45000.0 + i / 86400.0,
                digital ? (i / (7 + ch)) % 2 : 50 + 40 * std::sin(i * 0.01 + ch) + (i * 7919 % 13));
    }
    chart.SetCurrentTime(45000.0 + (kPoints - 1) / 86400.0);
}

// Bytes the allocator hands out now, from its arenas and as mapped blocks.
size_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

std::vector<double> Repaints(scope::StripChart& chart) {
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    chart.render(&image);  // warm-up
    std::vector<double> ms;
    for (int r = 0; r < kRuns; ++r) {
        const double t0 = bench::NowMs();
        chart.render(&image);
        ms.push_back(bench::NowMs() - t0);
    }
    return ms;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    scope::StripChart full, empty;
    for (scope::StripChart* c : {&full, &empty}) c->resize(1280, 720);
    const size_t heapBefore = HeapInUse();
    Fill(full);
    const size_t rings = HeapInUse() - heapBefore;
    empty.SetTimeSpan(full.TimeSpan());
    const std::vector<double> withPoints = Repaints(full);
    const std::vector<double> without = Repaints(empty);
    bench::PrintRow("strip chart repaint 1280x720, 51 x 10000 points", "ms", "StripChart",
                    withPoints, "same chart without points", without,
                    "offscreen QPainter into an image");
    const bench::Spread s = bench::Summarise(withPoints);
    std::printf("repaint: median %.2f ms, p25 %.2f, p75 %.2f over %d runs (%s)\n", s.median, s.p25,
                s.p75, kRuns, bench::CpuModel().c_str());
    std::printf("point rings: %zu bytes (%.2f MiB) of heap for %d channels of %d points\n", rings,
                rings / 1048576.0, scope::kStripChannels, kPoints);
    const size_t heapFull = HeapInUse();
    full.Clear();
    std::printf("after Clear: %zu bytes of heap given back\n", heapFull - HeapInUse());
    return 0;
}
