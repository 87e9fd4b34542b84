#pragma once

#include "sample_store.h"

#include <array>
#include <cstdint>
#include <optional>

// What the two correlograms say about the source: where their peak lies, how
// far it stands out of the rest, and, given the receivers' geometry, the
// bearing it implies. Plain functions of the values, for the window, the
// command line and the tests alike.
namespace Bearing {

// Lags -kMaxLag..kMaxLag, negative for the left sector; lag 0 once.
inline constexpr int kAxisLength = 2 * kMaxLag + 1;
using Axis = std::array<double, kAxisLength>;

// A contrast at or above this claims a source: two independent noise
// streams reach it in fewer than 1 analysis in 1,000.
inline constexpr double kSourceContrast = 6.5;
// Sound in air at 20 °C, and in water, in m/s.
inline constexpr double kSpeedOfSoundInAir = 343.0;
inline constexpr double kSpeedOfSoundInWater = 1480.0;

struct Geometry {
    double baseline; // metres between the receivers
    double speed = kSpeedOfSoundInAir;
};

enum class Verdict { Source, None, IdleRight, IdleLeft, IdleBoth, NoDirection, Edge };

inline bool isIdle(Verdict verdict) {
    return verdict == Verdict::IdleRight || verdict == Verdict::IdleLeft ||
           verdict == Verdict::IdleBoth;
}

// A receiver whose bits were all equal over the samples analysed: 0 or 1.
struct Idle {
    std::optional<int> right;
    std::optional<int> left;
};

struct Result {
    Verdict verdict = Verdict::None;
    double lag = 0.0;      // samples, signed, to the parabola's vertex
    double delayUs = 0.0;  // the lag at the data's rate
    double contrast = 0.0; // the peak over the median, in spreads
    // Degrees from straight ahead, negative to the left, with the range of
    // the lag +-0.5 sample; for Source and Edge when the geometry is known.
    std::optional<std::array<double, 3>> bearing; // bearing, low, high
};

Axis signedAxis(const SampleStore::Correlogram& left, const SampleStore::Correlogram& right);
// The largest value's index; of equal ones the nearest lag 0, then the right.
int peakIndex(const Axis& values);
// The vertex of the parabola through three values about the middle one, in
// samples from it; 0 when it is flat.
double vertexOffset(double before, double at, double after);
// The noise floor of one window of independent bits, over windows windows.
double noiseFloor(int windows);
double contrast(const Axis& values, int peak, int windows);
// Degrees, or nothing when no direction fits: |c * tau / d| > 1.
std::optional<double> bearingOf(double delaySeconds, const Geometry& geometry);

Result assess(const SampleStore::Correlogram& left, const SampleStore::Correlogram& right,
              std::uint64_t sampleRate, int windows, const Idle& idle,
              const std::optional<Geometry>& geometry);

} // namespace Bearing
