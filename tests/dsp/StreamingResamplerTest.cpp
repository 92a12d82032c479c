#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "base/QuarError.h"
#include "dsp/StreamingResampler.h"

using quar::StreamingResampler;

namespace {

// A sine of `frequency` Hz at `rate` Hz, amplitude 0.5, on every channel.
class Sine final : public StreamingResampler::Input {
public:
  Sine(double frequency, double rate) : step_(2 * std::numbers::pi * frequency / rate) {}
  void pull(float* const* channels, int frames) override {
    for (int i = 0; i < frames; ++i, ++frame_) {
      const auto value = static_cast<float>(0.5 * std::sin(step_ * static_cast<double>(frame_)));
      channels[0][i] = value;
      channels[1][i] = -value;
    }
  }

private:
  double step_;
  int64_t frame_ = 0;
};

} // namespace

TEST(StreamingResamplerTest, ConvertsAPulledStreamInAnyBlockSizes) {
  for (const auto& [from, to] : {std::pair{44100.0, 48000.0}, std::pair{96000.0, 44100.0}}) {
    StreamingResampler resampler(from, to, 2);
    Sine sine(100, from);
    std::vector<float> left(40000), right(40000);
    int64_t done = 0;
    for (int i = 0; done < 40000; ++i) {
      const int frames = static_cast<int>(std::min<int64_t>(std::array{7, 512, 3000, 100}[i % 4], 40000 - done));
      float* outputs[] = {left.data() + done, right.data() + done};
      resampler.process(outputs, frames, sine);
      done += frames;
    }
    const int64_t delay = resampler.delayFrames();
    double worst = 0;
    for (int64_t j = delay + 1000; j < 40000; ++j) {
      const double expected = 0.5 * std::sin(2 * std::numbers::pi * 100 * static_cast<double>(j - delay) / to);
      worst = std::max({worst, std::abs(left[j] - expected), std::abs(right[j] + expected)});
    }
    EXPECT_LT(worst, 0.005) << from << " -> " << to;
  }
}

TEST(StreamingResamplerTest, RefusesRatesThatAreNotPositive) {
  for (const double rate : {0.0, -48000.0, std::nan("")}) {
    try {
      StreamingResampler resampler(rate, 48000, 2);
      FAIL() << rate;
    } catch (const quar::QuarError& error) {
      EXPECT_EQ(error.kind(), quar::QuarError::Kind::unsupportedFormat);
    }
  }
}
