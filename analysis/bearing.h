#pragma once

#include "sample_store.h"

#include <array>
#include <cstdint>
#include <optional>

// What the two correlograms say about the source: where their peak lies, how
// far it stands out of the noise, how sure the lag is, and, given the
// receivers' geometry, the bearing or the place along a pipe it implies.
// Plain functions of the values, for the window, the command line and the
// tests alike.
namespace Bearing {

// Lags -kMaxLag..kMaxLag, negative for the left sector; lag 0 once.
inline constexpr int kAxisLength = 2 * kMaxLag + 1;
using Axis = std::array<double, kAxisLength>;

// A contrast at or above this claims a source: independent noise streams,
// white or coloured, reach it in fewer than 1 analysis in 1,000.
inline constexpr double kSourceContrast = 6.5;
// Sound in air at 20 °C, and in water, in m/s.
inline constexpr double kSpeedOfSoundInAir = 343.0;
inline constexpr double kSpeedOfSoundInWater = 1480.0;

struct Geometry {
    // Two receivers apart in open space, which give a bearing, or two
    // sensors on a pipe, which give a place between them.
    enum class Kind { Baseline, Pipe };
    double baseline; // metres between the receivers, along the pipe for a pipe
    double speed = kSpeedOfSoundInAir;
    Kind kind = Kind::Baseline;
};

enum class Verdict { Source, None, Ambiguous, IdleRight, IdleLeft, IdleBoth, NoDirection, Edge };

inline bool isIdle(Verdict verdict) {
    return verdict == Verdict::IdleRight || verdict == Verdict::IdleLeft ||
           verdict == Verdict::IdleBoth;
}

// A receiver whose bits were all equal over the samples analysed: 0 or 1;
// throughout when they were so over every sample held as well.
struct Idle {
    std::optional<int> right;
    std::optional<int> left;
    bool throughout = true;
};

// What an analysis read: the first window of those held, the mean of them
// all, or the whitened cross-spectrum of every sample.
struct Basis {
    enum class Kind { FirstWindow, Mean, Whitened };
    Kind kind = Kind::FirstWindow;
    int windows = 1;           // windows read, or held for the first window
    std::uint64_t samples = 0; // samples whitened
};

// What the two receivers' own bits say about the noise of their correlation.
struct Noise {
    // The standard deviation of one lag's value where no source is.
    double floor = 0.0;
    // Lags over which a receiver's bits stay alike: the peak of a source
    // is at least this wide. Nothing when it is under the lag range.
    std::optional<double> width;
};

struct Result {
    Verdict verdict = Verdict::None;
    double lag = 0.0;      // samples, signed, to the parabola's vertex
    double delayUs = 0.0;  // the lag at the data's rate
    double contrast = 0.0; // the peak over the median, in noise floors
    // A 95 % interval of the lag, never narrower than +-0.5 sample.
    double lagLow = 0.0;
    double lagHigh = 0.0;
    // For Ambiguous: the other peak that stands as high within the noise.
    std::optional<double> secondLag;
    // Degrees from straight ahead, negative to the left, with the 95 %
    // interval; for Source, Ambiguous and Edge with a baseline's geometry.
    std::optional<std::array<double, 3>> bearing; // bearing, low, high
    // Metres from the right sensor along a pipe, with the 95 % interval.
    std::optional<std::array<double, 3>> position; // place, low, high
    // For Ambiguous, the second peak's bearing or place.
    std::optional<double> secondBearing;
    std::optional<double> secondPosition;
    std::optional<Geometry> geometry;
    std::uint64_t sampleRate = 0;
    Basis basis;
    // When a source's peak would be wider than the lag range, as a rate far
    // above the source's band makes it: a rate that would narrow it. No
    // source is then claimed: bits that change this seldom make a few
    // coincidences of their changes stand out of any floor.
    std::optional<std::uint64_t> lowerRate;
    // For an idle verdict: whether the bits never change over every sample
    // held, or only over the window read.
    bool idleThroughout = true;
};

// The lags' span at a rate over a geometry.
struct Sector {
    // Degrees either side that lags +-kMaxLag reach, at most 90; along a
    // pipe, metres either side of its middle, at most half its length.
    double half;
    // The highest rate whose lags reach +-90 degrees or the pipe's ends, to
    // two figures.
    std::uint64_t fullRate;
    // Degrees, or metres, one lag moves the answer straight ahead or at
    // the pipe's middle.
    double resolution;
    // Lags from straight ahead to 90 degrees, or from the middle to an end.
    double lagsAcross;
};
// Fewer lags than this across make a coarse answer.
inline constexpr double kFewLags = 20.0;

Axis signedAxis(const SampleStore::Correlogram& left, const SampleStore::Correlogram& right);
// The largest value's index; of equal ones the nearest lag 0, then the right.
int peakIndex(const Axis& values);
// The vertex of the parabola through three values about the middle one, in
// samples from it; 0 when it is flat.
double vertexOffset(double before, double at, double after);
// The noise floor of one window of independent white bits, over windows
// windows.
double noiseFloor(int windows);
// The peak over the median of values, in units of floor.
double contrast(const Axis& values, int peak, double floor);
// Degrees, or nothing when no direction fits: |c * tau / d| > 1.
std::optional<double> bearingOf(double delaySeconds, const Geometry& geometry);
// Metres from the right sensor, (L - c * tau) / 2, or nothing outside the pipe.
std::optional<double> positionOf(double delaySeconds, const Geometry& geometry);
Sector sectorOf(std::uint64_t sampleRate, const Geometry& geometry);
// rate to two figures, rounded down.
std::uint64_t twoFigures(double rate);

Result assess(const Axis& values, std::uint64_t sampleRate, const Basis& basis, const Noise& noise,
              const Idle& idle, const std::optional<Geometry>& geometry);

} // namespace Bearing
