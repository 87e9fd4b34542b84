#include "real_fft.h"

#include <algorithm>
#include <fftw3.h>
#include <stdexcept>

namespace {

fftw_complex* asFftw(std::vector<std::complex<double>>& values) {
    return reinterpret_cast<fftw_complex*>(values.data());
}

} // namespace

RealFft::RealFft(int size)
    : size_(size), real_(static_cast<std::size_t>(size)),
      complex_(static_cast<std::size_t>(size / 2 + 1)),
      // FFTW_ESTIMATE leaves the buffers untouched while planning.
      forwardPlan_(fftw_plan_dft_r2c_1d(size, real_.data(), asFftw(complex_), FFTW_ESTIMATE)),
      inversePlan_(fftw_plan_dft_c2r_1d(size, asFftw(complex_), real_.data(), FFTW_ESTIMATE)) {
    if (forwardPlan_ == nullptr || inversePlan_ == nullptr) {
        throw std::runtime_error("FFTW could not plan a transform of this size");
    }
}

RealFft::~RealFft() {
    fftw_destroy_plan(forwardPlan_);
    fftw_destroy_plan(inversePlan_);
}

const std::vector<std::complex<double>>& RealFft::forward(const std::vector<double>& samples) {
    std::copy_n(samples.begin(), size_, real_.begin());
    fftw_execute(forwardPlan_);
    return complex_;
}

const std::vector<double>& RealFft::inverse(const std::vector<std::complex<double>>& spectrum) {
    // A complex-to-real transform overwrites its input, hence the copy.
    if (spectrum.data() != complex_.data()) {
        std::copy_n(spectrum.begin(), bins(), complex_.begin());
    }
    fftw_execute(inversePlan_);
    const double scale = 1.0 / size_;
    std::transform(real_.begin(), real_.end(), real_.begin(),
                   [scale](double value) { return value * scale; });
    return real_;
}
