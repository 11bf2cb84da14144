// The strip chart's point rings, decimation, value mapping and time window.
#include "scope/StripChart.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace {

using scope::StripChart;

std::vector<double> Ys(const std::vector<StripChart::Vertex>& v) {
    std::vector<double> ys;
    for (const auto& p : v) ys.push_back(p.y);
    return ys;
}

// A noisy signal far denser than the pixels: every column keeps exactly
// its lowest and highest point, and nothing else.
TEST(StripChart, DecimatesToTheExtremesOfEachColumn) {
    StripChart chart;
    chart.SetTimeSpan(1.0);
    const int n = 10000, width = 100;
    for (int i = 0; i < n; ++i) chart.AddSample(0, 1.0 * i / n, std::sin(i * 0.37) * (i % 7));
    chart.SetCurrentTime(1.0 - 1.0 / n);
    const auto v = chart.Decimate(0, width);
    ASSERT_LE(v.size(), 2u * width + 2);
    for (int col = 0; col < width; ++col) {
        double lo = 1e9, hi = -1e9;
        for (int i = 0; i < n; ++i) {
            const double x = std::floor((1.0 * i / n - (chart.WindowEnd() - 1.0)) * width);
            if (static_cast<int>(x) != col) continue;
            lo = std::min(lo, std::sin(i * 0.37) * (i % 7));
            hi = std::max(hi, std::sin(i * 0.37) * (i % 7));
        }
        std::vector<double> got;
        for (const auto& p : v)
            if (static_cast<int>(p.x) == col) got.push_back(p.y);
        SCOPED_TRACE(col);
        ASSERT_FALSE(got.empty());
        EXPECT_DOUBLE_EQ(*std::min_element(got.begin(), got.end()), lo);
        EXPECT_DOUBLE_EQ(*std::max_element(got.begin(), got.end()), hi);
        EXPECT_LE(got.size(), 2u);
    }
}

TEST(StripChart, RingKeepsTheNewestPointsOfItsSize) {
    struct Case {
        const char* what;
        double sizeBefore;  // set before the points
        double sizeAfter;   // set after them (0: none)
        int points;
        std::vector<double> kept;
    };
    const Case cases[] = {
        {"fits", 5, 0, 3, {0, 1, 2}},          {"wraps", 5, 0, 8, {3, 4, 5, 6, 7}},
        {"shrunk after", 6, 3, 6, {3, 4, 5}},  {"grown after", 3, 10, 5, {2, 3, 4}},
        {"size 0 keeps two", 0, 0, 4, {2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StripChart chart;
        chart.SetTimeSpan(10.0);
        chart.SetBufferSize(c.sizeBefore);
        for (int i = 0; i < c.points; ++i) chart.AddSample(3, i * 0.01, i);
        if (c.sizeAfter > 0) chart.SetBufferSize(c.sizeAfter);
        EXPECT_EQ(chart.PointCount(3), static_cast<int>(c.kept.size()));
        EXPECT_EQ(Ys(chart.Decimate(3, 100000)), c.kept);
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
        StripChart chart;
        chart.SetTrack(0);
        chart.SetTrackRangeMin(c.rangeMin);
        chart.SetTrackRangeMax(c.rangeMax);
        chart.SetChannel(2);
        chart.SetChannelDigital(c.digital);
        chart.AddSample(2, 1.0, c.value);
        EXPECT_EQ(Ys(chart.Decimate(2, 10)), std::vector<double>{c.shown});
    }
}

TEST(StripChart, HeldStepsGetTheirCorner) {
    StripChart chart;
    chart.SetTimeSpan(1.0);
    chart.SetChannel(0);
    chart.SetChannelStyle(2);
    chart.AddSample(0, 0.1, 0);
    chart.AddSample(0, 0.6, 1);
    const auto v = chart.Decimate(0, 10);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[1].x, v[2].x);  // the corner stands under the new level
    EXPECT_EQ(v[1].y, 0);
    EXPECT_EQ(v[2].y, 1);
}

TEST(StripChart, PauseHoldsTheTimeWindowWhilePointsComeIn) {
    StripChart chart;
    chart.SetCurrentTime(100.0);
    chart.SetPaused(true);
    chart.AddSample(0, 100.5, 1);
    chart.SetCurrentTime(100.5);
    EXPECT_EQ(chart.WindowEnd(), 100.0);
    EXPECT_EQ(chart.PointCount(0), 1);
    chart.SetPaused(false);
    EXPECT_EQ(chart.WindowEnd(), 100.5);
}

TEST(StripChart, LowerTrackScaleFromTheReading) {
    StripChart chart;
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
    chart.Clear();
    EXPECT_EQ(raised, 1);
    EXPECT_EQ(chart.PointCount(4), 0);
    EXPECT_EQ(chart.BufferBytes(), 0u);
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
        QImage image(chart.size(), QImage::Format_RGB32);
        chart.render(&image);
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
