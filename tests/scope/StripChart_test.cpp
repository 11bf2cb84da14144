// The strip chart as the user sees it: its point rings, the extremes each
// pixel column shows, the value mapping, the time window and its axis.
#include "scope/StripChart.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <utility>

#include "scope_support.h"

namespace {

using scope::StripChart;
using testsupport::Picture;

constexpr QRgb kRed = qRgb(255, 0, 0);  // a channel's colour until one is set

// Column -> first and last row of the red pixels in that column.
std::map<int, std::pair<int, int>> RedRuns(const QImage& picture) {
    std::map<int, std::pair<int, int>> runs;
    for (int x = 0; x < picture.width(); ++x)
        for (int y = 0; y < picture.height(); ++y)
            if (picture.pixel(x, y) == kRed) {
                auto [it, added] = runs.try_emplace(x, y, y);
                it->second.second = y;
            }
    return runs;
}

// Where the analog track of a chart this size is drawn: its frame in the
// picture of an empty chart.
QRect AnalogTrack(QSize size) {
    StripChart empty;
    empty.resize(size);
    const QImage picture = Picture(empty);
    const QRgb frame = picture.pixel(picture.width() - 9, picture.height() / 4);  // right edge
    const int right = picture.width() - 9;
    int top = 0;
    while (top < picture.height() && picture.pixel(picture.width() / 2, top) != frame) ++top;
    int left = right, bottom = top;
    while (left > 0 && picture.pixel(left - 1, top) == frame) --left;
    while (bottom + 1 < picture.height() && picture.pixel(left, bottom + 1) == frame) ++bottom;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// A chart with the Y axis of its analog track set, and where that track's
// values and times are drawn in its picture.
struct Plot {
    explicit Plot(double yMin, double yMax, double span, QSize size = {320, 240})
        : yMin(yMin), yMax(yMax), span(span), track(AnalogTrack(size)) {
        chart.resize(size);
        chart.SetTrack(0);
        chart.SetTrackYMin(yMin);
        chart.SetTrackYMax(yMax);
        chart.SetTimeSpan(span);
    }
    int Row(double v) const {
        return track.top() +
               static_cast<int>(std::lround((yMax - v) / (yMax - yMin) * (track.height() - 1)));
    }
    // The column of a time in a window that ends at `end` (a point at the
    // edge is in the last column).
    int Column(double t, double end) const {
        const double at = std::floor((t - (end - span)) * (track.width() / span));
        return track.left() + static_cast<int>(std::min(at, track.width() - 1.0));
    }
    StripChart chart;
    double yMin, yMax, span;
    QRect track;
};

// A noisy signal far denser than the pixels: every column shows its lowest
// and its highest point, and nothing beyond those of its own and of the
// column before it (the line comes in from there).
TEST(StripChart, DecimatesToTheExtremesOfEachColumn) {
    Plot plot(-7, 7, 1.0);
    const int n = 10000;
    const auto value = [](int i) { return std::sin(i * 0.37) * (i % 7); };
    for (int i = 0; i < n; ++i) plot.chart.AddSample(0, 1.0 * i / n, value(i));
    const double end = 1.0 - 1.0 / n;
    plot.chart.SetCurrentTime(end);
    std::map<int, std::pair<double, double>> extremes;  // column -> lowest and highest value
    for (int i = 0; i < n; ++i) {
        auto [it, added] = extremes.try_emplace(plot.Column(1.0 * i / n, end), value(i), value(i));
        it->second = {std::min(it->second.first, value(i)), std::max(it->second.second, value(i))};
    }
    const auto runs = RedRuns(Picture(plot.chart));
    ASSERT_EQ(runs.size(), extremes.size());
    for (auto it = extremes.begin(); it != extremes.end(); ++it) {
        SCOPED_TRACE(it->first);
        ASSERT_TRUE(runs.count(it->first));
        const auto [first, last] = runs.at(it->first);
        const auto [lo, hi] = it->second;
        EXPECT_LE(first, plot.Row(hi) + 1);
        EXPECT_GE(last, plot.Row(lo) - 1);
        const auto [prevLo, prevHi] = it == extremes.begin() ? it->second : std::prev(it)->second;
        EXPECT_GE(first, plot.Row(std::max(hi, prevHi)) - 1);
        EXPECT_LE(last, plot.Row(std::min(lo, prevLo)) + 1);
    }
}

// Points 0, 1, 2, ... a day apart with their number as value, each in a
// column of its own: the line starts at the oldest point the ring keeps.
TEST(StripChart, RingKeepsTheNewestPointsOfItsSize) {
    struct Case {
        const char* what;
        double sizeBefore;  // set before the points
        double sizeAfter;   // set after them (0: none)
        int points;
        int oldestKept;
    };
    const Case cases[] = {
        {"fits", 5, 0, 3, 0},
        {"wraps", 5, 0, 8, 3},
        {"shrunk after", 6, 3, 6, 3},
        {"grown after", 3, 10, 5, 2},
        {"size 0 keeps two", 0, 0, 4, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Plot plot(-1, 9, 10.0);
        plot.chart.SetBufferSize(c.sizeBefore);
        for (int i = 0; i < c.points; ++i) plot.chart.AddSample(3, i + 0.5, i);
        if (c.sizeAfter > 0) plot.chart.SetBufferSize(c.sizeAfter);
        plot.chart.SetCurrentTime(10);
        const auto runs = RedRuns(Picture(plot.chart));
        ASSERT_FALSE(runs.empty());
        const auto& [column, rows] = *runs.begin();
        EXPECT_EQ(column, plot.Column(c.oldestKept + 0.5, 10));
        EXPECT_EQ(rows.first, plot.Row(c.oldestKept));
        EXPECT_EQ(runs.rbegin()->first, plot.Column(c.points - 0.5, 10));
    }
}

TEST(StripChart, ValuesAsDrawn) {
    struct Case {
        const char* what;
        int32_t digital;
        double rangeMin, rangeMax;
        double value, shown;
    };
    const Case cases[] = {
        {"analog as it is", 0, -1e9, 1e9, 12.5, 12.5},
        {"held at the range top", 0, 0, 10, 12.5, 10},
        {"held at the range bottom", 0, 0, 10, -3, 0},
        {"digital on", 1, 0, 10, 7, 1},
        {"digital off", 1, 0, 10, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Plot plot(-5, 20, 1.0);
        plot.chart.SetTrackRangeMin(c.rangeMin);
        plot.chart.SetTrackRangeMax(c.rangeMax);
        plot.chart.SetChannel(2);
        plot.chart.SetChannelDigital(c.digital);
        plot.chart.AddSample(2, 1.0, c.value);
        const auto runs = RedRuns(Picture(plot.chart));
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs.begin()->second, std::make_pair(plot.Row(c.shown), plot.Row(c.shown)));
    }
}

// Held steps: the line stays on the old level up to the column of the new
// point, which rises there.
TEST(StripChart, HeldStepsGetTheirCorner) {
    Plot plot(-0.5, 1.5, 1.0);
    plot.chart.SetChannel(0);
    plot.chart.SetChannelStyle(2);
    plot.chart.AddSample(0, 0.1, 0);
    plot.chart.AddSample(0, 0.6, 1);
    plot.chart.SetCurrentTime(1.0);
    const auto runs = RedRuns(Picture(plot.chart));
    const int from = plot.Column(0.1, 1.0), to = plot.Column(0.6, 1.0);
    ASSERT_EQ(runs.size(), static_cast<size_t>(to - from + 1));
    for (int x = from; x < to; ++x)
        EXPECT_EQ(runs.at(x), std::make_pair(plot.Row(0), plot.Row(0))) << "column " << x;
    EXPECT_EQ(runs.at(to), std::make_pair(plot.Row(1), plot.Row(0)));
}

// While paused the window stays where it was: a point taken then is kept
// but shows only when the chart runs again and its window moves on.
TEST(StripChart, PauseHoldsTheTimeWindowWhilePointsComeIn) {
    Plot plot(0, 100, 1.0);
    plot.chart.AddSample(0, 99.5, 50);
    plot.chart.SetCurrentTime(100.0);
    plot.chart.SetPaused(true);
    plot.chart.AddSample(0, 100.5, 80);
    plot.chart.SetCurrentTime(100.5);
    auto runs = RedRuns(Picture(plot.chart));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.begin()->first, plot.Column(99.5, 100.0));
    plot.chart.SetPaused(false);
    runs = RedRuns(Picture(plot.chart));
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.begin()->first, plot.Column(99.5, 100.5));
    EXPECT_EQ(runs.rbegin()->first, plot.track.right());
    EXPECT_EQ(runs.rbegin()->second.first, plot.Row(80));
}

TEST(StripChart, LowerTrackScaleFromTheReading) {
    StripChart chart;
    chart.resize(320, 240);
    int raised = 0;
    chart.TrackScale = [&] { ++raised; };
    chart.SetChannel(4);
    chart.SetChannelTrack(2);
    chart.SetChannelDigital(1);
    chart.AddSample(4, 1.0, 1);
    chart.SetTrack(2);
    EXPECT_EQ(chart.TrackReading(), 1);
    chart.AddSample(4, 1.1, 0);
    EXPECT_EQ(chart.TrackReading(), 0);
    chart.SetSecondTrackSetting(chart.TrackReading() - 0.1);
    EXPECT_DOUBLE_EQ(chart.TrackYMin(), -0.1);
    EXPECT_DOUBLE_EQ(chart.TrackYMax(), 1.1);
    EXPECT_FALSE(RedRuns(Picture(chart)).empty());
    raised = 0;  // the first picture gave the chart its size
    chart.Clear();
    EXPECT_EQ(raised, 1);
    EXPECT_TRUE(RedRuns(Picture(chart)).empty());
}

// Before its first point the time axis reads the present time: the chart
// looks like one whose only point, hidden, is now. (The clock may pass a
// pixel between two pictures; one of the empty chart's two must match.)
TEST(StripChart, EmptyChartLabelsThePresentTime) {
    StripChart empty, reference;
    for (StripChart* c : {&empty, &reference}) {
        c->resize(320, 240);
        c->SetTimeSpan(1.0 / 24);
    }
    reference.SetChannel(0);
    reference.SetChannelVisible(false);
    const QImage before = Picture(empty);
    reference.AddSample(0, scope::NowAsDate(), 0);
    const QImage expected = Picture(reference);
    const QImage after = Picture(empty);
    EXPECT_TRUE(expected == before || expected == after);
}

// Random spans over the whole range of doubles (denormals, huge, negative,
// infinities, NaN), each followed by a paint of a chart with points: the
// span stays one the chart can show and its axis a handful of lines.
TEST(StripChart, AnySpanPaints) {
    StripChart chart;
    chart.resize(320, 240);
    const double now = scope::NowAsDate();
    for (int i = 0; i < 40; ++i) chart.AddSample(0, now - 1e-4 * std::pow(1.7, i), i % 5);
    chart.SetCurrentTime(now);
    const double specials[] = {0.0,
                               -0.0,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::denorm_min(),
                               std::numeric_limits<double>::max(),
                               1e-300,
                               1e12,
                               1e20};
    std::mt19937_64 random(20261209);
    for (int k = 0; k < 2000; ++k) {
        const double span =
            k % 5 == 0 ? specials[(k / 5) % std::size(specials)] : std::bit_cast<double>(random());
        SCOPED_TRACE(span);
        chart.SetTimeSpan(span);
        ASSERT_GE(chart.TimeSpan(), StripChart::kMinTimeSpan);
        ASSERT_LE(chart.TimeSpan(), StripChart::kMaxTimeSpan);
        ASSERT_LE(testsupport::GridLines(Picture(chart)), 9);
    }
}

TEST(StripChart, ColoursAndTimeLabels) {
    EXPECT_EQ(StripChart::ColorFromRgb(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(StripChart::ColorFromRgb(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(StripChart::ColorFromRgb(0x123456), QColor(0x56, 0x34, 0x12));
    // 1 January 2000 13:45:30 as an automation date.
    const double date = 36526 + (13 * 3600 + 45 * 60 + 30) / 86400.0;
    EXPECT_EQ(StripChart::TimeLabel(date, 1.0 / 1440), "13:45:30");
    EXPECT_EQ(StripChart::TimeLabel(date, 0.5), "13:45");
    EXPECT_EQ(StripChart::TimeLabel(date, 3), "2000/01/01");
}

// The drawn picture of one red channel on the analog track: each column's
// red pixels must form one run, and the runs of neighbouring columns must
// touch, from the first point's column to the last one's. Catches joins
// left out across empty columns, holes inside a column and a fill leaking
// into the frames drawn after a trace (a second run in every column).
TEST(StripChart, TracesAreDrawnAsUnbrokenLines) {
    struct Case {
        const char* what;
        int16_t style;
        std::vector<std::pair<double, double>> points;  // (day, value)
        bool held = false;                              // the track's range is 0 to 100
    };
    std::vector<std::pair<double, double>> noise;
    for (int i = 0; i < 4000; ++i) noise.push_back({0.1 + 0.8 * i / 4000, 50 + (i * 37 % 41) - 20});
    const Case cases[] = {
        {"steep line over empty columns", 0, {{0.1, 0}, {0.9, 100}}},
        {"level line over empty columns", 0, {{0.1, 50}, {0.9, 50}}},
        {"held steps", 2, {{0.1, 20}, {0.5, 80}, {0.9, 20}}},
        {"noise denser than the pixels", 0, noise},
        {"held at both ends of the range", 0, {{0.1, -500}, {0.5, 500}, {0.9, 50}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StripChart chart;
        chart.resize(320, 240);
        chart.SetTimeSpan(1.0);
        chart.SetChannel(0);
        chart.SetChannelColor(0x0000FF);
        chart.SetChannelStyle(c.style);
        if (c.held) {
            chart.SetTrackRangeMin(0);
            chart.SetTrackRangeMax(100);
        }
        for (const auto& [t, v] : c.points) chart.AddSample(0, t, v);
        chart.SetCurrentTime(1.0);
        const QImage image = Picture(chart);
        std::map<int, std::pair<int, int>> runs;  // column -> first and last red row
        for (int x = 0; x < image.width(); ++x) {
            int first = -1, last = -1, count = 0;
            for (int y = 0; y < image.height(); ++y)
                if (image.pixel(x, y) == qRgb(255, 0, 0)) {
                    if (first < 0) first = y;
                    last = y;
                    ++count;
                }
            if (count == 0) continue;
            ASSERT_EQ(count, last - first + 1) << "column " << x << " has a hole";
            runs[x] = {first, last};
        }
        ASSERT_GT(runs.size(), 150u);  // 0.8 of a plot about 256 pixels wide
        ASSERT_EQ(runs.rbegin()->first - runs.begin()->first + 1, static_cast<int>(runs.size()))
            << "a column without the line";
        for (auto it = std::next(runs.begin()); it != runs.end(); ++it) {
            const auto& [a, b] = std::prev(it)->second;
            const auto& [cFirst, cLast] = it->second;
            EXPECT_TRUE(cFirst <= b + 1 && cLast >= a - 1) << "gap before column " << it->first;
        }
    }
}

}  // namespace
