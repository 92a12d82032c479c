#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/QuarError.h"
#include "core/EffectProcessing.h"

using namespace quar;

namespace {

constexpr float dryGain = 0.5f;
constexpr float echoGain = 0.25f;

// y[n] = 0.5·x[n] + 0.25·x[n − delay]; reports `tail` frames of tail.
class EchoProcessor final : public EffectProcessor {
public:
  EchoProcessor(int64_t delay, int64_t tail) : delay_(delay), tail_(tail) {}

  void prepare(double, int channelCount, int) override {
    ++prepares;
    if (failPrepare) throw std::runtime_error("cannot prepare");
    history_.assign(static_cast<size_t>(channelCount), std::vector<float>(static_cast<size_t>(delay_)));
  }
  void process(float* const* channels, int channelCount, int frameCount) override {
    for (int c = 0; c < channelCount; ++c) {
      auto& history = history_[static_cast<size_t>(c)];
      for (int i = 0; i < frameCount; ++i) {
        const size_t slot = static_cast<size_t>((position_ + i) % delay_);
        const float x = channels[c][i];
        channels[c][i] = dryGain * x + echoGain * history[slot];
        history[slot] = x;
      }
    }
    position_ += frameCount;
  }
  void reset() override {
    position_ = 0;
    for (auto& history : history_) std::fill(history.begin(), history.end(), 0.0f);
  }
  int64_t tailFrames() const override { return tail_; }
  int64_t latencyFrames() const override { return 0; }

  int prepares = 0;
  bool failPrepare = false;

private:
  int64_t delay_, tail_;
  int64_t position_ = 0;
  std::vector<std::vector<float>> history_;
};

std::vector<std::vector<float>> ramps(int channels, int64_t frames) {
  std::vector<std::vector<float>> result(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
  for (size_t c = 0; c < result.size(); ++c)
    for (int64_t f = 0; f < frames; ++f) result[c][static_cast<size_t>(f)] = static_cast<float>(((f * 7 + static_cast<int64_t>(c) * 13) % 101) - 50) / 64;
  return result;
}

std::vector<std::vector<float>> allFrames(const AudioContent& content) { return content.readChannels(content.fullRange()); }

// The expected result of the echo over [lo, hi) of one channel: the range processed, the
// rendered tail (capped at tailFrames) added from hi on, the content lengthened with silence.
std::vector<float> echoed(std::vector<float> x, int64_t lo, int64_t hi, int64_t delay, int64_t tailFrames) {
  const int64_t length = hi - lo;
  std::vector<float> rendered(static_cast<size_t>(length + tailFrames));
  auto input = [&](int64_t k) { return k >= 0 && k < length ? x[static_cast<size_t>(lo + k)] : 0.0f; };
  for (int64_t k = 0; k < length + tailFrames; ++k) rendered[static_cast<size_t>(k)] = dryGain * input(k) + echoGain * input(k - delay);
  for (int64_t k = 0; k < length; ++k) x[static_cast<size_t>(lo + k)] = rendered[static_cast<size_t>(k)];
  x.resize(std::max(x.size(), static_cast<size_t>(hi + tailFrames)), 0.0f);
  for (int64_t k = length; k < length + tailFrames; ++k) x[static_cast<size_t>(hi + k - length)] += rendered[static_cast<size_t>(k)];
  return x;
}

} // namespace

TEST(EffectTailMode, RawValuesInCaseOrder) {
  EXPECT_EQ(allCases<EffectTailMode>().size(), 2u);
  EXPECT_EQ(rawValue(allCases<EffectTailMode>()[0]), "mixIntoFollowing");
  EXPECT_EQ(rawValue(allCases<EffectTailMode>()[1]), "truncate");
  EXPECT_EQ(fromRawValue<EffectTailMode>(std::string_view("truncate")), EffectTailMode::truncate);
  EXPECT_EQ(fromRawValue<EffectTailMode>(std::string_view("mix")), std::nullopt);
}

TEST(ApplyingEffects, EmptyChainOrRangeReturnsTheReceiverUnchanged) {
  const AudioContent content(ramps(2, 1000), 1000);
  EchoProcessor echo(10, 100);
  struct Case {
    std::vector<EffectProcessor*> chain;
    FrameRange range;
  };
  const Case cases[] = {{{}, {100, 200}}, {{&echo}, {300, 300}}, {{&echo}, {1000, 1500}}, {{&echo}, {-50, 0}}};
  for (const auto& test : cases) {
    int progressCalls = 0;
    const AudioContent result = applyingEffects(content, test.chain, test.range, std::nullopt, EffectTailMode::mixIntoFollowing,
                                                [&](double) { return ++progressCalls > 0; });
    EXPECT_EQ(progressCalls, 0);
    EXPECT_EQ(result.frameCount(), 1000);
    ASSERT_EQ(result.segmentCount(), content.segmentCount());
    EXPECT_EQ(result.segments()[0].block, content.segments()[0].block);
  }
  EXPECT_EQ(echo.prepares, 0);
}

TEST(ApplyingEffects, TruncateKeepsTheLengthAndTheAudioAroundTheRange) {
  const auto input = ramps(2, 20000);
  const AudioContent content(input, 1000);
  EchoProcessor echo(50, 5000);
  std::vector<EffectProcessor*> chain{&echo};
  std::vector<double> fractions;
  const AudioContent result = applyingEffects(content, chain, {5000, 15000}, std::nullopt, EffectTailMode::truncate,
                                              [&](double f) {
                                                fractions.push_back(f);
                                                return true;
                                              });
  EXPECT_EQ(fractions, (std::vector<double>{0.4096, 0.8192, 1.0}));
  const auto output = allFrames(result);
  for (size_t c = 0; c < 2; ++c) EXPECT_EQ(output[c], echoed(input[c], 5000, 15000, 50, 0)) << "channel " << c;
  // The audio around the range still lives in the receiver's block.
  EXPECT_EQ(result.segments().front().block, content.segments().front().block);
  EXPECT_EQ(result.segments().back().block, content.segments().front().block);
}

TEST(ApplyingEffects, MixIntoFollowingAddsTheTailAfterTheRange) {
  // The tail lands inside the content, runs past its end, or is capped at 30 s (100 Hz: 3000 frames).
  struct Case {
    int64_t frames, lo, hi, reportedTail, renderedTail;
  };
  const Case cases[] = {
      {20000, 5000, 15000, 5000, 5000},
      {1000, 200, 990, 100, 100},
      {500, 400, 500, 4000, 3000},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(testing::Message() << test.lo << "..<" << test.hi << " of " << test.frames);
    const auto input = ramps(2, test.frames);
    const AudioContent content(input, 100);
    EchoProcessor echo(30, test.reportedTail);
    std::vector<EffectProcessor*> chain{&echo};
    const AudioContent result = applyingEffects(content, chain, {test.lo, test.hi}, std::nullopt, EffectTailMode::mixIntoFollowing);
    EXPECT_EQ(result.frameCount(), std::max(test.frames, test.hi + test.renderedTail));
    const auto output = allFrames(result);
    for (size_t c = 0; c < 2; ++c)
      EXPECT_EQ(output[c], echoed(input[c], test.lo, test.hi, 30, test.renderedTail)) << "channel " << c;
  }
}

TEST(ApplyingEffects, ExcludedChannelsKeepTheirAudioAndGetNoTail) {
  // 5790 frames and a 3000-frame tail: the last rendered block holds tail only.
  const auto input = ramps(2, 6000);
  const AudioContent content(input, 100);
  struct Case {
    std::set<int> channels;
    std::vector<bool> processed;
  };
  const Case cases[] = {{{0}, {true, false}}, {{1}, {false, true}}, {{}, {false, false}}, {{0, 1, 7}, {true, true}}};
  for (const auto& test : cases) {
    SCOPED_TRACE(testing::Message() << "channels " << test.channels.size());
    EchoProcessor echo(30, 5000);  // a tail of 50 s at 100 Hz: capped at 3000 frames
    std::vector<EffectProcessor*> chain{&echo};
    const AudioContent result = applyingEffects(content, chain, {200, 5990}, test.channels, EffectTailMode::mixIntoFollowing);
    EXPECT_EQ(result.frameCount(), 5990 + 3000);
    const auto output = allFrames(result);
    for (size_t c = 0; c < 2; ++c) {
      auto expected = input[c];
      if (test.processed[c]) {
        expected = echoed(input[c], 200, 5990, 30, 3000);
      } else {
        expected.resize(5990 + 3000, 0.0f);
      }
      EXPECT_EQ(output[c], expected) << "channel " << c;
    }
  }
}

TEST(ApplyingEffects, FailuresLeaveNothingChanged) {
  const auto input = ramps(2, 10000);
  const AudioContent content(input, 1000);
  EchoProcessor echo(30, 100);
  std::vector<EffectProcessor*> chain{&echo};
  int progressCalls = 0;
  EXPECT_THROW(applyingEffects(content, chain, {0, 9000}, std::set<int>{0}, EffectTailMode::mixIntoFollowing,
                               [&](double) { return ++progressCalls < 2; }),
               CancellationError);
  EXPECT_EQ(progressCalls, 2);
  echo.failPrepare = true;
  EXPECT_THROW(applyingEffects(content, chain, {0, 9000}, std::nullopt, EffectTailMode::truncate), std::runtime_error);
  EXPECT_EQ(allFrames(content), input);
  EXPECT_EQ(content.frameCount(), 10000);
}

namespace {

std::vector<float> tone(double hz, int64_t frames) {
  std::vector<float> samples(static_cast<size_t>(frames));
  for (int64_t f = 0; f < frames; ++f)
    samples[static_cast<size_t>(f)] = static_cast<float>(0.4 * std::sin(2 * M_PI * hz * static_cast<double>(f) / 44100));
  return samples;
}

// One second of A, ten of B, one of C, each in blocks of its own.
AudioContent threeParts() {
  AudioContent content({tone(220, 44100)}, 44100);
  content.append(AudioContent({tone(330, 441000)}, 44100));
  content.append(AudioContent({tone(440, 44100)}, 44100));
  return content;
}

} // namespace

TEST(TimePitched, TheRangeTakesItsNewLengthAndTheRestIsShared) {
  const AudioContent content = threeParts();
  std::vector<double> progress;
  const AudioContent result = timePitched(content, {44100, 485100}, 2, 0, [&](double fraction) {
    progress.push_back(fraction);
    return true;
  });
  ASSERT_EQ(result.frameCount(), 44100 + 220500 + 44100);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 1.0);

  const auto& before = content.segments();
  const auto& after = result.segments();
  EXPECT_EQ(after.front().block, before.front().block);
  EXPECT_EQ(after.front().count, 44100);
  EXPECT_EQ(after.back().block, before.back().block);
  EXPECT_EQ(after.back().count, 44100);
  // The stretched part holds the tone at its level (0.4) after the first few milliseconds.
  const PeakSummary middle = result.peaks(0, {44100 + 2000, 44100 + 220500});
  EXPECT_NEAR(middle.max, 0.4f, 0.06f);
  EXPECT_NEAR(std::sqrt(middle.sumSquares / static_cast<float>(middle.count)), 0.4f / std::sqrt(2.0f), 0.04f);
}

TEST(TimePitched, RateOneStillRendersAndEmptyRangesChangeNothing) {
  const AudioContent content({tone(440, 20000), tone(660, 20000)}, 44100);
  int calls = 0;
  auto count = [&](double) {
    ++calls;
    return true;
  };
  EXPECT_EQ(timePitched(content, {1000, 15000}, 1, 0, count).frameCount(), 20000);
  EXPECT_GT(calls, 0);

  calls = 0;
  for (FrameRange range : {FrameRange{500, 500}, FrameRange{20000, 30000}}) {
    const AudioContent same = timePitched(content, range, 2, 0, count);
    EXPECT_EQ(same.frameCount(), 20000);
    EXPECT_EQ(same.segments().front().block, content.segments().front().block);
  }
  EXPECT_EQ(calls, 0);
}

TEST(TimePitched, RendererErrorsAndCancellationPropagate) {
  const AudioContent content({tone(440, 20000)}, 44100);
  try {
    timePitched(content, {0, 20000}, 0.1, 0);
    FAIL();
  } catch (const QuarError& error) {
    EXPECT_EQ(error.errorDescription(), "Unsupported format: Tempo rate 0.1 is outside 0.25...4.0");
  }
  EXPECT_THROW(timePitched(content, {0, 20000}, 1, 0, [](double) { return false; }), CancellationError);
}
