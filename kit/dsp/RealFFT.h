// RealFFT: the real-input FFT of a power-of-two length N ([2, 2^30]) in the packed split form
// every spectral algorithm here uses. forward() writes N/2 complex values scaled by 2:
// real[k] + i·imag[k] = 2·X[k] for 1 <= k < N/2, real[0] = 2·X[0] (DC) and imag[0] = 2·X[N/2]
// (Nyquist), where X[k] = Σ x[n]·e^(−2πikn/N). inverse() takes that packing back without
// normalising, so inverse(forward(x)) = 2N·x.
// Make instances outside real-time code (planning allocates and locks); forward() and inverse()
// then allocate and lock nothing. One instance serves one thread at a time.
#pragma once

#include <memory>

namespace quar {

class RealFFT {
public:
  // A transform of `size` points; null when size is no power of two in [2, 2^30] or the
  // transform cannot be planned.
  static std::unique_ptr<RealFFT> make(int size);
  ~RealFFT();
  RealFFT(const RealFFT&) = delete;
  RealFFT& operator=(const RealFFT&) = delete;

  int size() const { return size_; }
  // `input` holds size() samples; `real` and `imag` receive size()/2 values each.
  void forward(const float* input, float* real, float* imag);
  // `real` and `imag` hold size()/2 values each; `output` receives size() samples.
  // Inputs and outputs of both calls may overlap: the transform works on its own copies.
  void inverse(const float* real, const float* imag, float* output);

private:
  struct Plans;
  RealFFT(int size, std::unique_ptr<Plans> plans);

  int size_;
  std::unique_ptr<Plans> plans_;
};

} // namespace quar
