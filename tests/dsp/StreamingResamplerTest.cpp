#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <utility>
#include <vector>

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

namespace {

// One sine, then from switchTo() on another one from its start, telling the first pull of it a
// jump when asked to; remembers at which output frame that first pull came.
class Switching final : public StreamingResampler::Input {
public:
  void pull(float* const* channels, int frames) override {
    jumped_ = false;
    if (!switched_) return old_.pull(channels, frames);
    fresh_.pull(channels, frames);
    if (!firstPull_) firstPull_ = *frame_;
    jumped_ = std::exchange(jump_, false);
  }
  bool jumped() const override { return jumped_; }
  void switchTo(bool tellJump, const int64_t* frame) {
    switched_ = true;
    jump_ = tellJump;
    frame_ = frame;
  }
  std::optional<int64_t> firstPull() const { return firstPull_; }

private:
  Sine old_{440, 44100};
  Sine fresh_{1000, 44100};
  bool switched_ = false;
  bool jump_ = false;
  bool jumped_ = false;
  const int64_t* frame_ = nullptr;
  std::optional<int64_t> firstPull_;
};

} // namespace

TEST(StreamingResamplerTest, StartsAfreshAfterAResetOrAJump) {
  struct Case {
    const char* name;
    bool reset;         // reset() at the switch; else the source tells of the jump
    bool spareUsedUp;   // an earlier reset took the spare and prepareSpare() did not run since
    bool fresh;         // the output from the switch on is a new resampler's
  };
  const Case cases[] = {
      {"reset", true, false, true},
      {"jump told by the source", false, false, true},
      {"reset without a spare", true, true, false},
  };
  constexpr int64_t before = 3000, after = 3000;
  for (const Case& c : cases) {
    StreamingResampler resampler(44100, 48000, 2);
    resampler.prepareSpare();
    Switching source;
    std::vector<float> left(before + after + StreamingResampler::inputChunk * 2), right(left.size());
    int64_t frame = 0;
    // One frame per call, so that a pull lands on a known output frame.
    auto run = [&](int64_t frames) {
      for (const int64_t end = frame + frames; frame < end; ++frame) {
        float* outputs[] = {left.data() + frame, right.data() + frame};
        resampler.process(outputs, 1, source);
      }
    };
    run(before / 2);
    if (c.spareUsedUp) {
      EXPECT_TRUE(resampler.reset());
    }
    run(before / 2);
    source.switchTo(!c.reset, &frame);
    if (c.reset) {
      EXPECT_EQ(resampler.reset(), !c.spareUsedUp) << c.name;
    }
    run(after + StreamingResampler::inputChunk * 2);
    ASSERT_TRUE(source.firstPull()) << c.name;
    const int64_t from = *source.firstPull();

    StreamingResampler reference(44100, 48000, 2);
    Sine sine(1000, 44100);
    std::vector<float> expected(after), ignored(after);
    for (int64_t i = 0; i < after; ++i) {
      float* outputs[] = {expected.data() + i, ignored.data() + i};
      reference.process(outputs, 1, sine);
    }
    const bool same = std::equal(expected.begin(), expected.end(), left.begin() + from);
    EXPECT_EQ(same, c.fresh) << c.name;
  }
}

TEST(StreamingResamplerTest, EachResetNeedsASparePreparedSinceTheLast) {
  StreamingResampler resampler(48000, 44100, 2);
  Sine sine(100, 48000);
  std::vector<float> out(512), unused(512);
  float* outputs[] = {out.data(), unused.data()};
  // A reset with no input taken since the converter was primed needs no spare.
  EXPECT_TRUE(resampler.reset());
  resampler.process(outputs, 512, sine);
  EXPECT_FALSE(resampler.reset());
  resampler.prepareSpare();
  resampler.prepareSpare();  // one is waiting: nothing more
  resampler.process(outputs, 512, sine);
  EXPECT_TRUE(resampler.reset());
  resampler.process(outputs, 512, sine);
  EXPECT_FALSE(resampler.reset());
}
