#pragma once

#include <complex>
#include <vector>

struct fftw_plan_s;

// A real transform of one size, both ways, planned once: FFTW's plans are
// made for one pair of arrays, so the data passes through the buffers held
// here. Not copyable; not for two threads at once.
class RealFft {
public:
    explicit RealFft(int size);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    int size() const { return size_; }
    int bins() const { return size_ / 2 + 1; }

    // The spectrum of size() samples, unscaled.
    const std::vector<std::complex<double>>& forward(const std::vector<double>& samples);
    // size() samples from bins() bins, divided by size(), so that
    // inverse(forward(x)) is x.
    const std::vector<double>& inverse(const std::vector<std::complex<double>>& spectrum);

private:
    int size_;
    std::vector<double> real_;
    std::vector<std::complex<double>> complex_;
    fftw_plan_s* forwardPlan_;
    fftw_plan_s* inversePlan_;
};
