#include "scope/StripChart.h"

#include <QDate>
#include <QDateTime>
#include <QImage>
#include <QLine>
#include <QPainter>
#include <QRect>
#include <algorithm>
#include <cmath>

namespace scope {

namespace {

constexpr int kLeftMargin = 56;
constexpr int kBottomMargin = 22;
constexpr int kTopMargin = 6;
constexpr int kRightMargin = 8;
constexpr int kTrackGap = 4;
// Share of the plot's height that the analog track takes.
constexpr double kAnalogShare = 0.55;
constexpr double kSecondsPerDay = 86400.0;

// Label steps of the time axis, in seconds: the first that divides the
// span into at most kMaxGridSteps steps is used. The last one does so for
// the longest span.
constexpr double kTimeSteps[] = {1,     2,     5,     10,    15,     30,     60,
                                 120,   300,   600,   900,   1800,   3600,   7200,
                                 10800, 21600, 43200, 86400, 172800, 604800, 2592000};
constexpr double kMaxGridSteps = 8;
static_assert(StripChart::kMaxTimeSpan * kSecondsPerDay / 2592000 <= kMaxGridSteps);
// Automation dates of the years 100 to 9999, the dates a label can show.
constexpr double kFirstDate = -657434;
constexpr double kLastDate = 2958466;

// Sets the pixels of `logical` (in the image's logical coordinates, held
// inside the image) to `rgb`.
void FillPixels(QImage& image, const QRect& logical, QRgb rgb) {
    const qreal ratio = image.devicePixelRatio();
    const auto scaled = [ratio](int v) { return static_cast<int>(std::floor(v * ratio)); };
    const int x0 = std::max(0, scaled(logical.left()));
    const int x1 = std::min(image.width(), scaled(logical.left() + logical.width()));
    const int y0 = std::max(0, scaled(logical.top()));
    const int y1 = std::min(image.height(), scaled(logical.top() + logical.height()));
    if (x0 >= x1 || y0 >= y1) return;
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int y = y0; y < y1; ++y) {
        auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
        std::fill(line + x0, line + x1, rgb);
    }
}

}  // namespace

double NowAsDate() {
    const QDateTime now = QDateTime::currentDateTime();
    return static_cast<double>(QDate(1899, 12, 30).daysTo(now.date())) +
           now.time().msecsSinceStartOfDay() / 86400000.0;
}

StripChart::StripChart(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (int t = 1; t < kStripTracks; ++t) {
        tracks_[t].yMin = -0.1;
        tracks_[t].yMax = 1.1;
        tracks_[t].order = t;
    }
}

// ---- Properties -----------------------------------------------------------------

void StripChart::SetBufferSize(double points) {
    const double r = std::isnan(points) ? kMinBufferSize : std::nearbyint(points);
    bufferSize_ = static_cast<int>(std::clamp<double>(r, kMinBufferSize, kMaxBufferSize));
    for (ChannelData& c : channels_)
        if (!c.ring.empty()) Resize(c, static_cast<size_t>(bufferSize_));
    update();
}

void StripChart::Resize(ChannelData& c, size_t capacity) {
    const size_t keep = std::min(c.count, capacity);
    std::vector<Point> ring(capacity);
    for (size_t i = 0; i < keep; ++i) ring[i] = c.at(c.count - keep + i);
    c.ring = std::move(ring);
    c.head = 0;
    c.count = keep;
}

void StripChart::SetChannel(int16_t n) {
    if (n >= 0 && n < kStripChannels) channel_ = n;
}
void StripChart::SetChannelColor(int32_t rgb) {
    channels_[channel_].color = rgb;
    update();
}
void StripChart::SetChannelStyle(int16_t style) {
    channels_[channel_].style = style;
    update();
}
void StripChart::SetChannelTrack(double track) {
    if (!(track >= 0 && track < kStripTracks)) return;
    channels_[channel_].track = static_cast<int>(track);
    update();
}
void StripChart::SetChannelVisible(bool visible) {
    channels_[channel_].visible = visible;
    update();
}
void StripChart::SetChannelDigital(int32_t digital) {
    channels_[channel_].digital = digital != 0;
    update();
}

void StripChart::SetTimeSpan(double days) {
    if (!(days > 0) || !std::isfinite(days)) return;
    timeSpan_ = std::clamp(days, kMinTimeSpan, kMaxTimeSpan);
    update();
}

void StripChart::SetCurrentTime(double date) {
    currentTime_ = date;
    if (!paused_) update();
}

void StripChart::SetTrack(int16_t t) {
    if (t >= 0 && t < kStripTracks) track_ = t;
}
void StripChart::SetTrackRangeMin(double v) {
    tracks_[track_].rangeMin = v;
    update();
}
void StripChart::SetTrackRangeMax(double v) {
    tracks_[track_].rangeMax = v;
    update();
}
void StripChart::SetTrackYMax(double v) {
    tracks_[track_].yMax = v;
    update();
}
void StripChart::SetTrackYMin(double v) {
    tracks_[track_].yMin = v;
    update();
}
void StripChart::SetFirstTrackSetting(int16_t order) {
    tracks_[track_].order = order;
    update();
}
void StripChart::SetSecondTrackSetting(double base) {
    tracks_[track_].yMin = base;
    tracks_[track_].yMax = base + 1.2;
    update();
}

double StripChart::TrackReading() const {
    bool any = false;
    double lowest = 0;
    for (const ChannelData& c : channels_) {
        if (c.track != track_ || !c.visible) continue;
        for (size_t i = 0; i < c.count; ++i) {
            const double v = Shown(c, c.at(i).v);
            if (!any || v < lowest) lowest = v;
            any = true;
        }
    }
    return lowest;
}

void StripChart::SetPaused(bool paused) {
    if (paused && !paused_) pausedEnd_ = WindowEnd();
    paused_ = paused;
    update();
}

// ---- Points ------------------------------------------------------------------------

void StripChart::AddSample(int16_t channel, double date, double value) {
    if (channel < 0 || channel >= kStripChannels || !std::isfinite(date)) return;
    ChannelData& c = channels_[channel];
    if (c.ring.empty()) c.ring.resize(static_cast<size_t>(bufferSize_));
    // The window search needs the points in time order: a point dated before
    // the last one (the clock was set back) is kept at the last one's time.
    if (c.count > 0) date = std::max(date, c.at(c.count - 1).t);
    if (c.count < c.ring.size()) {
        c.ring[(c.head + c.count) % c.ring.size()] = {date, value};
        ++c.count;
    } else {
        c.ring[c.head] = {date, value};
        c.head = (c.head + 1) % c.ring.size();
    }
    if (!paused_) update();
}

void StripChart::Clear() {
    for (ChannelData& c : channels_) {
        c.ring.clear();
        c.ring.shrink_to_fit();
        c.head = c.count = 0;
    }
    update();
    if (TrackScale) TrackScale();
}

double StripChart::WindowEnd() const {
    if (paused_) return pausedEnd_;
    double end = currentTime_;
    bool any = false;
    for (const ChannelData& c : channels_)
        if (c.count > 0) {
            end = std::max(end, c.at(c.count - 1).t);
            any = true;
        }
    return any ? end : NowAsDate();
}

double StripChart::Shown(const ChannelData& c, double v) const {
    if (c.digital) return v != 0 ? 1.0 : 0.0;
    const TrackData& t = tracks_[c.track];
    return std::clamp(v, std::min(t.rangeMin, t.rangeMax), std::max(t.rangeMin, t.rangeMax));
}

size_t StripChart::LowerBound(const ChannelData& c, double t) const {
    size_t lo = 0, hi = c.count;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (c.at(mid).t < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::vector<StripChart::Vertex> StripChart::Decimate(int channel, int width) const {
    std::vector<Vertex> out;
    if (channel < 0 || channel >= kStripChannels || width <= 0) return out;
    const ChannelData& c = channels_[channel];
    if (c.count == 0) return out;
    const double end = WindowEnd();
    const double start = end - timeSpan_;
    // One point before the window, so that the line enters from the left.
    size_t i = LowerBound(c, start);
    if (i > 0) --i;
    out.reserve(2 * static_cast<size_t>(std::max(width, 0)) + 4);
    const bool steps = c.style == 2;
    long column = 0;
    bool open = false;
    double lo = 0, hi = 0;
    bool loFirst = true;
    const auto flush = [&] {
        const double x = static_cast<double>(column);
        const double first = loFirst ? lo : hi;
        const double second = loFirst ? hi : lo;
        if (steps && !out.empty() && out.back().y != first) out.push_back({x, out.back().y});
        out.push_back({x, first});
        if (second != first) out.push_back({x, second});
    };
    const double scale = width / timeSpan_;
    // Shown() with the channel's rule taken out of the loop.
    const bool digital = c.digital;
    const TrackData& track = tracks_[c.track];
    const double lowest = std::min(track.rangeMin, track.rangeMax);
    const double highest = std::max(track.rangeMin, track.rangeMax);
    const auto shown = [&](double v) {
        return digital ? (v != 0 ? 1.0 : 0.0) : std::clamp(v, lowest, highest);
    };
    // The ring in its two contiguous pieces (oldest first): no index
    // arithmetic per point.
    const size_t size = c.ring.size();
    const size_t first = (c.head + i) % size;
    const size_t inFirst = std::min(c.count - i, size - first);
    const std::pair<const Point*, size_t> pieces[] = {{c.ring.data() + first, inFirst},
                                                      {c.ring.data(), c.count - i - inFirst}};
    for (const auto& [begin, n] : pieces) {
        for (const Point* p = begin; p != begin + n; ++p) {
            if (p->t > end) break;
            // The point at the window's right edge belongs to the last column;
            // the column is worked out before any conversion to a whole number.
            const double at = (p->t - start) * scale;
            const long col = !(at >= 0) ? -1 : at >= width - 1 ? width - 1 : static_cast<long>(at);
            const double v = shown(p->v);
            if (open && col == column) {
                if (v < lo) {
                    lo = v;
                    loFirst = false;
                }
                if (v > hi) {
                    hi = v;
                    loFirst = true;
                }
                continue;
            }
            if (open) flush();
            column = col;
            lo = hi = v;
            loFirst = true;
            open = true;
        }
    }
    if (open) flush();
    return out;
}

// ---- Drawing ------------------------------------------------------------------------

QColor StripChart::ColorFromRgb(int32_t rgb) {
    const auto u = static_cast<uint32_t>(rgb);
    return QColor(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF),
                  static_cast<int>((u >> 16) & 0xFF));
}

QString StripChart::TimeLabel(double date, double span) {
    if (!(date >= kFirstDate && date < kLastDate)) return {};
    const double day = std::floor(date);
    const QDate d = QDate(1899, 12, 30).addDays(static_cast<qint64>(day));
    const QTime t = QTime(0, 0).addMSecs(
        static_cast<int>(std::llround((date - day) * kSecondsPerDay * 1000.0) % 86400000));
    if (span < 1.0 / 24.0) return t.toString("HH:mm:ss");
    if (span < 1.0) return t.toString("HH:mm");
    return d.toString("yyyy/MM/dd");
}

std::vector<std::pair<int, QRect>> StripChart::TrackRects(const QRect& plot) const {
    std::vector<int> lower = {1, 2, 3};
    for (const ChannelData& c : channels_)
        if (c.track == 4 && c.count > 0) {
            lower.push_back(4);
            break;
        }
    std::stable_sort(lower.begin(), lower.end(),
                     [this](int a, int b) { return tracks_[a].order < tracks_[b].order; });
    std::vector<std::pair<int, QRect>> rects;
    const int analogHeight = static_cast<int>(plot.height() * kAnalogShare);
    rects.push_back({0, QRect(plot.left(), plot.top(), plot.width(), analogHeight)});
    const int n = static_cast<int>(lower.size());
    const int rest = plot.height() - analogHeight;
    const int each = std::max(1, (rest - n * kTrackGap) / n);
    for (int k = 0; k < n; ++k)
        rects.push_back(
            {lower[k],
             QRect(plot.left(), plot.top() + analogHeight + kTrackGap + k * (each + kTrackGap),
                   plot.width(), each)});
    return rects;
}

void StripChart::DrawTimeAxis(QPainter& p, const QRect& plot, double start) const {
    const double spanSeconds = timeSpan_ * kSecondsPerDay;
    double step = kTimeSteps[std::size(kTimeSteps) - 1];
    for (double s : kTimeSteps)
        if (spanSeconds / s <= kMaxGridSteps) {
            step = s;
            break;
        }
    const double startSeconds = start * kSecondsPerDay;
    // An integer count of grid lines, at most one per step and one more: a
    // floating counter could stall on a step too small to change it. Far
    // from today's dates the sums may not be exact; then no line is drawn.
    const double first = std::ceil(startSeconds / step) * step;
    const double steps = std::floor((startSeconds + spanSeconds - first) / step);
    if (!(steps >= 0)) return;
    const int lines = static_cast<int>(std::min(steps, kMaxGridSteps));
    for (int k = 0; k <= lines; ++k) {
        const double s = first + static_cast<double>(k) * step;
        const double at = (s - startSeconds) / spanSeconds;
        if (!(at >= 0 && at <= 1)) continue;
        const int x = plot.left() + static_cast<int>(at * plot.width());
        p.setPen(QColor(60, 60, 60));
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.setPen(QColor(200, 200, 200));
        // Centred under its line, but kept whole inside the chart at its ends.
        const QString label = TimeLabel(s / kSecondsPerDay, timeSpan_);
        const int w = p.fontMetrics().horizontalAdvance(label) + 4;
        const int left = std::max(0, std::min(x - w / 2, p.device()->width() - w));
        p.drawText(QRect(left, plot.bottom() + 3, w, kBottomMargin - 4), Qt::AlignCenter, label);
    }
}

void StripChart::DrawTrace(QPainter& p, QImage& layer, const QRect& r, const std::vector<Vertex>& v,
                           double yMax, double ySpan, const QColor& color) {
    if (v.empty()) return;
    // Rows of the track, one beyond each edge so that a value off the
    // range shows as a line along the edge's outside, which the clip cuts.
    const double rows = r.height() - 1;
    const auto row = [&](double y) {
        return static_cast<int>(
            std::lround(std::clamp((yMax - y) / ySpan * rows, -1.0, rows + 1.0)));
    };
    // The polyline drawn as one vertical run of pixels per column (from its
    // lowest to its highest pixel, including the row where the line came
    // in from the column on its left), plus real lines only for the joins
    // that cross empty columns. The picture is that of the polyline within
    // a pixel. The runs are written straight into the layer's pixels: a
    // dense noisy trace is some 50 pixels a column, and stroking or filling
    // them through the paint engine costs several times more per pixel.
    const QRgb rgb = color.rgb();
    std::vector<QLine> joins;
    const int top = r.top(), bottom = r.bottom();
    size_t k = 0;
    int lastX = 0, lastY = 0;
    bool any = false;
    while (k < v.size()) {
        const int x = static_cast<int>(v[k].x);
        int y = row(v[k].y);
        int lo = y, hi = y;
        if (any && x == lastX + 1) {
            lo = std::min(lo, lastY);
            hi = std::max(hi, lastY);
        } else if (any && lastY == y) {
            if (y >= 0 && y <= bottom - top)
                FillPixels(layer, QRect(r.left() + lastX + 1, top + y, x - lastX - 1, 1), rgb);
        } else if (any) {
            joins.emplace_back(r.left() + lastX, top + lastY, r.left() + x, top + y);
        }
        for (++k; k < v.size() && static_cast<int>(v[k].x) == x; ++k) {
            y = row(v[k].y);
            lo = std::min(lo, y);
            hi = std::max(hi, y);
        }
        lo = std::max(top + lo, top);
        hi = std::min(top + hi, bottom);
        if (lo <= hi) FillPixels(layer, QRect(r.left() + x, lo, 1, hi - lo + 1), rgb);
        lastX = x;
        lastY = y;
        any = true;
    }
    if (!joins.empty()) {
        p.save();
        p.setClipRect(r);
        p.setPen(QPen(color, 0));
        p.drawLines(joins.data(), static_cast<int>(joins.size()));
        p.restore();
    }
}

void StripChart::paintEvent(QPaintEvent*) {
    // Everything is drawn into an opaque picture of the widget's size, which
    // is then copied to the screen in one piece.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (layer_.size() != pixels) layer_ = QImage(pixels, QImage::Format_RGB32);
    layer_.setDevicePixelRatio(ratio);
    {
        QPainter p(&layer_);
        PaintLayer(p);
    }
    QPainter(this).drawImage(0, 0, layer_);
}

void StripChart::PaintLayer(QPainter& p) {
    p.fillRect(rect(), QColor(24, 24, 24));
    const QRect plot = rect().adjusted(kLeftMargin, kTopMargin, -kRightMargin, -kBottomMargin);
    if (plot.width() <= 0 || plot.height() <= 0) return;
    const double start = WindowEnd() - timeSpan_;
    DrawTimeAxis(p, plot, start);

    const auto tracks = TrackRects(plot);
    for (const auto& [t, r] : tracks) {
        const TrackData& track = tracks_[t];
        p.setPen(QColor(110, 110, 110));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(QColor(200, 200, 200));
        p.drawText(r.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("Track %1").arg(t + 1));
        p.drawText(QRect(0, r.top(), kLeftMargin - 4, 14), Qt::AlignRight | Qt::AlignTop,
                   QString::number(track.yMax, 'g', 6));
        p.drawText(QRect(0, r.bottom() - 14, kLeftMargin - 4, 14), Qt::AlignRight | Qt::AlignBottom,
                   QString::number(track.yMin, 'g', 6));
        const double ySpan = track.yMax - track.yMin;
        if (ySpan == 0 || !std::isfinite(ySpan)) continue;
        for (int ch = 0; ch < kStripChannels; ++ch) {
            const ChannelData& c = channels_[ch];
            if (c.track != t || !c.visible || c.count == 0) continue;
            DrawTrace(p, layer_, r, Decimate(ch, r.width()), track.yMax, ySpan,
                      ColorFromRgb(c.color));
        }
    }
}

void StripChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (TrackScale) TrackScale();
}

}  // namespace scope
