#pragma once

#include <complex>
#include <cstddef>

struct fftw_plan_s;

// FFTW's plans for one transform length, made once per process and kept to
// its end: the planner is not thread-safe, so making them is serialised,
// while running them on other arrays is safe from any thread. The arrays
// must be AlignedBuffer's.
class FftPlans {
public:
    static const FftPlans& forLength(std::size_t length);

    // length complex values to their spectrum, out of place.
    void forward(std::complex<double>* in, std::complex<double>* out) const;
    // The length / 2 + 1 values of a real series' spectrum to the series,
    // unscaled, out of place; in is overwritten.
    void inverse(std::complex<double>* in, double* out) const;

    FftPlans(const FftPlans&) = delete;
    FftPlans& operator=(const FftPlans&) = delete;

private:
    explicit FftPlans(std::size_t length);

    fftw_plan_s* forward_;
    fftw_plan_s* inverse_;
};
