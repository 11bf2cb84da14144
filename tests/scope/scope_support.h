// A strip chart that records every call the trend window makes, as
// "Name(arguments)" texts, and answers the reads from a little state.
#pragma once

#include <QImage>
#include <string>
#include <vector>

#include "scope/Strip.h"

namespace testsupport {

// The chart as drawn, in a picture of its size.
QImage Picture(QWidget& chart);
// The time axis's grid lines in a picture of the chart: the pixels of the
// grid's colour along a row across the analog track.
int GridLines(const QImage& picture);

class RecordingStrip : public scope::Strip {
  public:
    static std::string Num(double v);

    double BufferSize() const override;
    void SetBufferSize(double points) override;
    void SetChannel(int16_t n) override;
    void SetChannelColor(int32_t rgb) override;
    void SetChannelStyle(int16_t style) override;
    void SetChannelTrack(double track) override;
    void SetChannelVisible(bool visible) override;
    void SetChannelDigital(int32_t digital) override;
    double TimeSpan() const override;
    void SetTimeSpan(double days) override;
    // Recorded without its argument (the clock); the date is kept.
    void SetCurrentTime(double date) override;
    void SetTrack(int16_t t) override;
    void SetTrackRangeMin(double v) override;
    void SetTrackRangeMax(double v) override;
    double TrackYMax() const override;
    void SetTrackYMax(double v) override;
    double TrackYMin() const override;
    void SetTrackYMin(double v) override;
    void SetFirstTrackSetting(int16_t order) override;
    void SetSecondTrackSetting(double base) override;
    double TrackReading() const override;
    bool Paused() const override;
    void SetPaused(bool paused) override;
    // Recorded as AddSample(channel,value); the date is kept.
    void AddSample(int16_t channel, double date, double value) override;
    void Clear() override;

    mutable std::vector<std::string> calls;
    double bufferSize = 1000, timeSpan = 1.0 / 1440, reading = 0, lastDate = 0;
    double yMax[scope::kStripTracks] = {}, yMin[scope::kStripTracks] = {};
    int track = 0;
    bool paused = false;

  private:
    void Add(const std::string& name, const std::string& args) const;
};

}  // namespace testsupport
