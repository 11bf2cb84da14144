// The operations of the strip chart that the trend window drives. The chart
// keeps a current channel (0 to 50) and a current track (0 to 4); the
// channel and track properties act on the current one. Colours are Windows
// RGB values (0x00BBGGRR); times are automation dates (days since 30
// December 1899, the time of day as the fraction).
#pragma once

#include <cstdint>
#include <functional>

namespace scope {

inline constexpr int kStripChannels = 51;
inline constexpr int kStripTracks = 5;

// The present local time as an automation date.
double NowAsDate();

class Strip {
  public:
    virtual ~Strip() = default;

    // Points kept per channel.
    virtual double BufferSize() const = 0;
    virtual void SetBufferSize(double points) = 0;
    // Makes channel n current.
    virtual void SetChannel(int16_t n) = 0;
    // Current channel: line colour, style (2: held steps), track (0 to 4),
    // visibility, and whether it is digital (1: drawn as on/off levels).
    virtual void SetChannelColor(int32_t rgb) = 0;
    virtual void SetChannelStyle(int16_t style) = 0;
    virtual void SetChannelTrack(double track) = 0;
    virtual void SetChannelVisible(bool visible) = 0;
    virtual void SetChannelDigital(int32_t digital) = 0;
    // Width of the visible time window, in days.
    virtual double TimeSpan() const = 0;
    virtual void SetTimeSpan(double days) = 0;
    // The right edge of the time window while the chart runs.
    virtual void SetCurrentTime(double date) = 0;
    // Makes track t current.
    virtual void SetTrack(int16_t t) = 0;
    // Current track: the limits drawn values are held within.
    virtual void SetTrackRangeMin(double v) = 0;
    virtual void SetTrackRangeMax(double v) = 0;
    // Current track: its Y axis.
    virtual double TrackYMax() const = 0;
    virtual void SetTrackYMax(double v) = 0;
    virtual double TrackYMin() const = 0;
    virtual void SetTrackYMin(double v) = 0;
    // Current track: its place among the lower tracks (first setting) and
    // the level drawn at its lower edge (second setting, the Y axis then
    // spans 1.2 from there).
    virtual void SetFirstTrackSetting(int16_t order) = 0;
    virtual void SetSecondTrackSetting(double base) = 0;
    // Current track: the lowest value its visible channels show (0 when it
    // shows none).
    virtual double TrackReading() const = 0;
    // While paused the time window stays where it was; points are still
    // taken.
    virtual bool Paused() const = 0;
    virtual void SetPaused(bool paused) = 0;
    // Appends one point to a channel.
    virtual void AddSample(int16_t channel, double date, double value) = 0;
    // Removes every point of every channel.
    virtual void Clear() = 0;

    // Raised when the tracks' scales need refreshing (new size, cleared).
    std::function<void()> TrackScale;
};

}  // namespace scope
