#include "scope_support.h"

#include <QString>
#include <QWidget>

namespace testsupport {

QImage Picture(QWidget& chart) {
    QImage picture(chart.size(), QImage::Format_RGB32);
    chart.render(&picture);
    return picture;
}

int GridLines(const QImage& picture) {
    const int y = picture.height() / 4;
    int lines = 0;
    for (int x = 0; x < picture.width(); ++x) lines += picture.pixel(x, y) == qRgb(60, 60, 60);
    return lines;
}

std::string RecordingStrip::Num(double v) { return QString::number(v, 'g', 15).toStdString(); }

void RecordingStrip::Add(const std::string& name, const std::string& args) const {
    calls.push_back(name + "(" + args + ")");
}

double RecordingStrip::BufferSize() const {
    Add("BufferSize", "");
    return bufferSize;
}
void RecordingStrip::SetBufferSize(double points) {
    Add("SetBufferSize", Num(points));
    bufferSize = points;
}
void RecordingStrip::SetChannel(int16_t n) { Add("SetChannel", Num(n)); }
void RecordingStrip::SetChannelColor(int32_t rgb) { Add("SetChannelColor", Num(rgb)); }
void RecordingStrip::SetChannelStyle(int16_t style) { Add("SetChannelStyle", Num(style)); }
void RecordingStrip::SetChannelTrack(double t) { Add("SetChannelTrack", Num(t)); }
void RecordingStrip::SetChannelVisible(bool v) { Add("SetChannelVisible", Num(v)); }
void RecordingStrip::SetChannelDigital(int32_t d) { Add("SetChannelDigital", Num(d)); }
double RecordingStrip::TimeSpan() const {
    Add("TimeSpan", "");
    return timeSpan;
}
void RecordingStrip::SetTimeSpan(double days) {
    Add("SetTimeSpan", Num(days));
    timeSpan = days;
}
void RecordingStrip::SetCurrentTime(double date) {
    Add("SetCurrentTime", "");
    lastDate = date;
}
void RecordingStrip::SetTrack(int16_t t) {
    Add("SetTrack", Num(t));
    track = t;
}
void RecordingStrip::SetTrackRangeMin(double v) { Add("SetTrackRangeMin", Num(v)); }
void RecordingStrip::SetTrackRangeMax(double v) { Add("SetTrackRangeMax", Num(v)); }
double RecordingStrip::TrackYMax() const {
    Add("TrackYMax", "");
    return yMax[track];
}
void RecordingStrip::SetTrackYMax(double v) {
    Add("SetTrackYMax", Num(v));
    yMax[track] = v;
}
double RecordingStrip::TrackYMin() const {
    Add("TrackYMin", "");
    return yMin[track];
}
void RecordingStrip::SetTrackYMin(double v) {
    Add("SetTrackYMin", Num(v));
    yMin[track] = v;
}
void RecordingStrip::SetFirstTrackSetting(int16_t o) { Add("SetFirstTrackSetting", Num(o)); }
void RecordingStrip::SetSecondTrackSetting(double b) { Add("SetSecondTrackSetting", Num(b)); }
double RecordingStrip::TrackReading() const {
    Add("TrackReading", "");
    return reading;
}
bool RecordingStrip::Paused() const {
    Add("Paused", "");
    return paused;
}
void RecordingStrip::SetPaused(bool p) {
    Add("SetPaused", Num(p));
    paused = p;
}
void RecordingStrip::AddSample(int16_t channel, double date, double value) {
    Add("AddSample", Num(channel) + "," + Num(value));
    lastDate = date;
}
void RecordingStrip::Clear() { Add("Clear", ""); }

}  // namespace testsupport
