#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/RealFFT.h"

using namespace quar;

namespace {

struct Packed {
  std::vector<float> real, imag;
};

Packed forward(RealFFT& fft, const std::vector<float>& x) {
  Packed p{std::vector<float>(x.size() / 2), std::vector<float>(x.size() / 2)};
  fft.forward(x.data(), p.real.data(), p.imag.data());
  return p;
}

std::vector<float> signal(int n, double (*f)(int, int)) {
  std::vector<float> x(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = static_cast<float>(f(i, n));
  return x;
}

// Twice the DFT in the packed layout, computed directly in double precision.
Packed referencePacked(const std::vector<float>& x) {
  const size_t n = x.size();
  std::vector<std::complex<double>> X(n / 2 + 1);
  for (size_t k = 0; k <= n / 2; ++k)
    for (size_t i = 0; i < n; ++i)
      X[k] += static_cast<double>(x[i]) * std::polar(1.0, -2 * std::numbers::pi * static_cast<double>(k * i % n) / static_cast<double>(n));
  Packed p{std::vector<float>(n / 2), std::vector<float>(n / 2)};
  p.real[0] = static_cast<float>(2 * X[0].real());
  p.imag[0] = static_cast<float>(2 * X[n / 2].real());
  for (size_t k = 1; k < n / 2; ++k) {
    p.real[k] = static_cast<float>(2 * X[k].real());
    p.imag[k] = static_cast<float>(2 * X[k].imag());
  }
  return p;
}

} // namespace

TEST(RealFFT, SizesMustBePowersOfTwo) {
  for (int size : {0, 1, 3, 12, -16, 1000}) EXPECT_EQ(RealFFT::make(size), nullptr) << size;
  for (int size : {2, 16, 65536}) {
    auto fft = RealFFT::make(size);
    ASSERT_NE(fft, nullptr) << size;
    EXPECT_EQ(fft->size(), size);
  }
}

TEST(RealFFT, ForwardIsTwiceTheDFTWithNyquistPacked) {
  auto fft = RealFFT::make(16);
  ASSERT_NE(fft, nullptr);
  struct Case {
    const char* name;
    double (*f)(int, int);
    std::vector<float> real, imag;
  };
  const Case cases[] = {
      {"constant", [](int, int) { return 1.0; }, {32, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}},
      {"alternating", [](int n, int) { return n % 2 ? -1.0 : 1.0; }, {0, 0, 0, 0, 0, 0, 0, 0}, {32, 0, 0, 0, 0, 0, 0, 0}},
      {"cosine bin 3", [](int n, int N) { return std::cos(2 * std::numbers::pi * 3 * n / N); },
       {0, 0, 0, 16, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}},
      {"sine bin 2", [](int n, int N) { return std::sin(2 * std::numbers::pi * 2 * n / N); },
       {0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, -16, 0, 0, 0, 0, 0}},
      {"impulse", [](int n, int) { return n == 0 ? 1.0 : 0.0; }, {2, 2, 2, 2, 2, 2, 2, 2}, {2, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const Packed p = forward(*fft, signal(16, test.f));
    for (size_t k = 0; k < 8; ++k) {
      EXPECT_NEAR(p.real[k], test.real[k], 1e-5) << "real " << k;
      EXPECT_NEAR(p.imag[k], test.imag[k], 1e-5) << "imag " << k;
    }
  }
}

TEST(RealFFT, MatchesTheDirectTransformAndRoundTripsToTwoNTimesTheInput) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> uniform(-1, 1);
  for (int size : {2, 4, 16, 512}) {
    SCOPED_TRACE(size);
    auto fft = RealFFT::make(size);
    std::vector<float> x(static_cast<size_t>(size));
    for (float& v : x) v = uniform(random);
    const Packed p = forward(*fft, x);
    const Packed reference = referencePacked(x);
    for (size_t k = 0; k < p.real.size(); ++k) {
      EXPECT_NEAR(p.real[k], reference.real[k], 1e-3);
      EXPECT_NEAR(p.imag[k], reference.imag[k], 1e-3);
    }
    std::vector<float> back(x.size());
    fft->inverse(p.real.data(), p.imag.data(), back.data());
    for (size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(back[i], 2.0f * size * x[i], 2e-3 * size);
  }
}

TEST(RealFFT, WorksInPlaceOnTheCallersBuffers) {
  auto fft = RealFFT::make(16);
  std::vector<float> x = signal(16, [](int n, int) { return std::sin(0.7 * n) + 0.25; });
  // Packed halves written over the input itself, then transformed back onto it.
  std::vector<float> buffer = x;
  fft->forward(buffer.data(), buffer.data(), buffer.data() + 8);
  const Packed expected = forward(*fft, x);
  EXPECT_EQ(std::vector<float>(buffer.begin(), buffer.begin() + 8), expected.real);
  EXPECT_EQ(std::vector<float>(buffer.begin() + 8, buffer.end()), expected.imag);
  fft->inverse(buffer.data(), buffer.data() + 8, buffer.data());
  for (size_t i = 0; i < 16; ++i) EXPECT_NEAR(buffer[i], 32 * x[i], 1e-4);
}
