#include "fft_plans.h"

#include "aligned_buffer.h"

#include <fftw3.h>
#include <map>
#include <memory>
#include <mutex>

namespace {

fftw_complex* asFftw(std::complex<double>* values) {
    return reinterpret_cast<fftw_complex*>(values);
}

} // namespace

const FftPlans& FftPlans::forLength(std::size_t length) {
    // Never destroyed: a thread may still be analysing while the process ends.
    static auto& mutex = *new std::mutex;
    static auto& plans = *new std::map<std::size_t, std::unique_ptr<FftPlans>>;
    const std::lock_guard lock(mutex);
    auto& plan = plans[length];
    if (!plan) {
        plan.reset(new FftPlans(length));
    }
    return *plan;
}

// Measured plans run in a third to a half of the time of estimated ones;
// measuring takes about half a second a length, once per process.
FftPlans::FftPlans(std::size_t length) {
    const int n = static_cast<int>(length);
    AlignedBuffer<std::complex<double>> in(length);
    AlignedBuffer<std::complex<double>> out(length);
    AlignedBuffer<double> real(length);
    forward_ =
        fftw_plan_dft_1d(n, asFftw(in.data()), asFftw(out.data()), FFTW_FORWARD, FFTW_MEASURE);
    inverse_ = fftw_plan_dft_c2r_1d(n, asFftw(in.data()), real.data(), FFTW_MEASURE);
}

void FftPlans::forward(std::complex<double>* in, std::complex<double>* out) const {
    fftw_execute_dft(forward_, asFftw(in), asFftw(out));
}

void FftPlans::inverse(std::complex<double>* in, double* out) const {
    fftw_execute_dft_c2r(inverse_, asFftw(in), out);
}
