#include "dsp/RealFFT.h"

#include <algorithm>
#include <mutex>

#include <fftw3.h>

namespace quar {

struct RealFFT::Plans {
  explicit Plans(int size)
      : samples(fftwf_alloc_real(static_cast<size_t>(size))),
        spectrum(fftwf_alloc_complex(static_cast<size_t>(size / 2 + 1))) {
    if (samples && spectrum) {
      forward = fftwf_plan_dft_r2c_1d(size, samples, spectrum, FFTW_ESTIMATE);
      inverse = fftwf_plan_dft_c2r_1d(size, spectrum, samples, FFTW_ESTIMATE);
    }
  }
  ~Plans() {
    if (forward) fftwf_destroy_plan(forward);
    if (inverse) fftwf_destroy_plan(inverse);
    fftwf_free(samples);
    fftwf_free(spectrum);
  }
  Plans(const Plans&) = delete;
  Plans& operator=(const Plans&) = delete;

  bool isValid() const { return forward && inverse; }

  float* samples;
  fftwf_complex* spectrum;
  fftwf_plan forward = nullptr;
  fftwf_plan inverse = nullptr;
};

std::unique_ptr<RealFFT> RealFFT::make(int size) {
  if (size < 2 || size > (1 << 30) || (size & (size - 1)) != 0) return nullptr;
  static std::once_flag threadSafePlanner;
  std::call_once(threadSafePlanner, [] { fftwf_make_planner_thread_safe(); });
  auto plans = std::make_unique<Plans>(size);
  if (!plans->isValid()) return nullptr;
  return std::unique_ptr<RealFFT>(new RealFFT(size, std::move(plans)));
}

RealFFT::RealFFT(int size, std::unique_ptr<Plans> plans) : size_(size), plans_(std::move(plans)) {}

RealFFT::~RealFFT() = default;

void RealFFT::forward(const float* input, float* real, float* imag) {
  const int half = size_ / 2;
  std::copy_n(input, size_, plans_->samples);
  fftwf_execute(plans_->forward);
  const fftwf_complex* spectrum = plans_->spectrum;
  real[0] = 2 * spectrum[0][0];
  imag[0] = 2 * spectrum[half][0];
  for (int k = 1; k < half; ++k) {
    real[k] = 2 * spectrum[k][0];
    imag[k] = 2 * spectrum[k][1];
  }
}

void RealFFT::inverse(const float* real, const float* imag, float* output) {
  const int half = size_ / 2;
  fftwf_complex* spectrum = plans_->spectrum;
  spectrum[0][0] = real[0];
  spectrum[0][1] = 0;
  spectrum[half][0] = imag[0];
  spectrum[half][1] = 0;
  for (int k = 1; k < half; ++k) {
    spectrum[k][0] = real[k];
    spectrum[k][1] = imag[k];
  }
  fftwf_execute(plans_->inverse);
  std::copy_n(plans_->samples, size_, output);
}

} // namespace quar
