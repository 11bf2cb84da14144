// The strip chart of the trend window: up to 51 channels plotted over time
// on five tracks (track 0 the analog track on top, tracks 1 to 4 the digital
// tracks below it, each with its own Y axis), drawn with QPainter.
//
// Every channel keeps its points in a ring of the buffer size, allocated on
// its first point; a full ring drops its oldest point. A repaint looks only
// at the points inside the time window and draws at most two of them per
// pixel column (the lowest and the highest, in the order they came), so its
// cost follows the width of the chart, not the number of points kept. The
// chart is drawn into a picture of its own size (frames, axes and labels
// with QPainter, each column's run of trace pixels written directly) and
// copied to the screen in one piece.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <limits>
#include <vector>

#include "scope/Strip.h"

class QPainter;

namespace scope {

class StripChart : public QWidget, public Strip {
  public:
    static constexpr int kDefaultBufferSize = 10000;
    static constexpr int kMinBufferSize = 2;
    static constexpr int kMaxBufferSize = 100000;

    explicit StripChart(QWidget* parent = nullptr);

    double BufferSize() const override { return bufferSize_; }
    // Taken to the nearest whole number within kMinBufferSize to
    // kMaxBufferSize; every channel keeps its newest points.
    void SetBufferSize(double points) override;
    void SetChannel(int16_t n) override;
    void SetChannelColor(int32_t rgb) override;
    void SetChannelStyle(int16_t style) override;
    void SetChannelTrack(double track) override;
    void SetChannelVisible(bool visible) override;
    void SetChannelDigital(int32_t digital) override;
    // The shortest span: one millisecond, the clock's step.
    static constexpr double kMinTimeSpan = 1.0 / 86400000.0;
    // The longest span: the largest buffer filled at the slowest sampling
    // interval (65535 ms), 109225 minutes; a longer window could never fill.
    static constexpr double kMaxTimeSpan = kMaxBufferSize * 65.535 / 86400.0;

    double TimeSpan() const override { return timeSpan_; }
    // A span of zero or less, infinite or not a number is refused (kept as
    // it was); any other span is held within kMinTimeSpan to kMaxTimeSpan.
    void SetTimeSpan(double days) override;
    void SetCurrentTime(double date) override;
    void SetTrack(int16_t t) override;
    void SetTrackRangeMin(double v) override;
    void SetTrackRangeMax(double v) override;
    double TrackYMax() const override { return tracks_[track_].yMax; }
    void SetTrackYMax(double v) override;
    double TrackYMin() const override { return tracks_[track_].yMin; }
    void SetTrackYMin(double v) override;
    void SetFirstTrackSetting(int16_t order) override;
    void SetSecondTrackSetting(double base) override;
    double TrackReading() const override;
    bool Paused() const override { return paused_; }
    void SetPaused(bool paused) override;
    void AddSample(int16_t channel, double date, double value) override;
    void Clear() override;

    // The Windows RGB value as a Qt colour.
    static QColor ColorFromRgb(int32_t rgb);
    // The text of a time-axis label for the given span; empty for a date
    // outside the years 100 to 9999.
    static QString TimeLabel(double date, double span);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // A point of a channel's polyline as drawn: x in pixel columns from the
    // left edge of the window, y the value as drawn (digital channels 0 or
    // 1, values held within the track's range).
    struct Vertex {
        double x;
        double y;
    };
    struct Point {
        double t;
        double v;
    };
    struct ChannelData {
        std::vector<Point> ring;  // empty until the first point
        size_t head = 0;          // index of the oldest point
        size_t count = 0;
        int32_t color = 255;
        int16_t style = 0;
        int track = 0;
        bool visible = true;
        bool digital = false;
        const Point& at(size_t i) const { return ring[(head + i) % ring.size()]; }
    };
    struct TrackData {
        double yMin = 0;
        double yMax = 100;
        double rangeMin = -std::numeric_limits<double>::infinity();
        double rangeMax = std::numeric_limits<double>::infinity();
        int order = 0;
    };
    // The right edge of the time window: while paused where it was when
    // the pause began, else the current time or the newest point, whichever
    // is later; the present time while no channel keeps a point.
    double WindowEnd() const;
    // The polyline of one channel for a plot `width` pixels wide, at most
    // the lowest and the highest point of each pixel column.
    std::vector<Vertex> Decimate(int channel, int width) const;
    // Value as drawn on its track.
    double Shown(const ChannelData& c, double v) const;
    // The first kept point at or after t.
    size_t LowerBound(const ChannelData& c, double t) const;
    void Resize(ChannelData& c, size_t capacity);
    // The drawn tracks (0 to 3, and 4 when a channel is on it) with their
    // rectangles inside `plot`.
    std::vector<std::pair<int, QRect>> TrackRects(const QRect& plot) const;
    void DrawTimeAxis(QPainter& p, const QRect& plot, double start) const;
    // Everything the widget shows, drawn with `p` into layer_.
    void PaintLayer(QPainter& p);
    // One channel's polyline `v` on the track rectangle `r` of `layer`,
    // which `p` paints on.
    static void DrawTrace(QPainter& p, QImage& layer, const QRect& r, const std::vector<Vertex>& v,
                          double yMax, double ySpan, const QColor& color);

    std::array<ChannelData, kStripChannels> channels_{};
    std::array<TrackData, kStripTracks> tracks_{};
    int bufferSize_ = kDefaultBufferSize;
    double timeSpan_ = 1.0 / 1440.0;  // one minute
    double currentTime_ = 0;
    double pausedEnd_ = 0;
    bool paused_ = false;
    int16_t channel_ = 0;
    int16_t track_ = 0;
    QImage layer_;  // the picture the last paint drew, of the widget's size
};

}  // namespace scope
