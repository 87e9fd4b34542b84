#pragma once

#include "bearing.h"
#include "estimate.h"
#include "real_fft.h"

#include <vector>

// Generalised cross-correlation with the phase transform, on the receivers'
// full-precision signals: the cross-spectrum averaged over Hann blocks of
// kBlock samples overlapping by half (Welch), each bin then cut to unit
// magnitude, and transformed back to lags -kMaxLag..kMaxLag. Its contrast is
// the instrument's, with this correlation's own null spread as the floor; its
// lag the parabola's vertex, as the instrument's; its interval the lags at
// which that parabola stays within one floor of the vertex.
class GccPhat {
public:
    static constexpr int kBlock = 4'096;

    // nullFloor: the spread of one lag's value when the signals are unrelated.
    explicit GccPhat(double nullFloor);

    // Peaks at Scene::lag.
    Bearing::Axis correlation(const Scene& scene);
    Estimate estimate(const Scene& scene);

    // The spread of every lag's value over null scenes of white noise,
    // which depends on the number of blocks, so on the samples.
    static double measureNullFloor(int samples, int scenes);

private:
    RealFft fft_;
    std::vector<double> window_;
    double floor_;
};

// The reference as the bench registers it, its floor measured for scenes of
// this many samples.
NamedEstimator gccPhatReference(int samples);
