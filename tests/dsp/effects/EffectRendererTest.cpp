#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/QuarError.h"
#include "dsp/ScopedFlushToZero.h"
#include "dsp/effects/EffectRenderer.h"

using namespace quar;

namespace {

// A processor that delays its input by `delay` frames, then applies `transform` to every
// sample; it reports whatever latency and tail it is given and logs its calls.
class TestProcessor final : public EffectProcessor {
public:
  TestProcessor(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}

  void prepare(double sampleRate, int channelCount, int maxFrames) override {
    log_.push_back(name_ + " prepare " + std::to_string(static_cast<int>(sampleRate)) + " " +
                   std::to_string(channelCount) + " " + std::to_string(maxFrames));
    if (failPrepare) throw std::runtime_error("prepare failed");
    lines.assign(static_cast<size_t>(channelCount), {});
  }
  void process(float* const* channels, int channelCount, int frameCount) override {
    EXPECT_LE(frameCount, EffectRenderer::blockSize);
    EXPECT_TRUE(ScopedFlushToZero::isEnabled());
    blockSizes.push_back(frameCount);
    for (int c = 0; c < channelCount; ++c) {
      auto& line = lines[static_cast<size_t>(c)];
      for (int i = 0; i < frameCount; ++i) {
        line.push_back(channels[c][i]);
        float out = 0;
        if (static_cast<int64_t>(line.size()) > delay) {
          out = line.front();
          line.pop_front();
        }
        channels[c][i] = transform ? transform(out) : out;
      }
    }
  }
  void reset() override {
    log_.push_back(name_ + " reset");
    for (auto& line : lines) line.clear();
  }
  int64_t tailFrames() const override { return tail; }
  int64_t latencyFrames() const override { return latency; }

  int64_t delay = 0, latency = 0, tail = 0;
  bool failPrepare = false;
  std::function<float(float)> transform;
  std::vector<int> blockSizes;

private:
  std::string name_;
  std::vector<std::string>& log_;
  std::vector<std::deque<float>> lines;
};

// Two channels, frame f holding f + 1 and −(f + 1).
ArraySource ramp(int64_t frames, double rate = 1000) {
  std::vector<std::vector<float>> channels(2, std::vector<float>(static_cast<size_t>(frames)));
  for (int64_t f = 0; f < frames; ++f) {
    channels[0][static_cast<size_t>(f)] = static_cast<float>(f + 1);
    channels[1][static_cast<size_t>(f)] = -static_cast<float>(f + 1);
  }
  return ArraySource(std::move(channels), rate);
}

struct Rendered {
  std::vector<std::vector<float>> channels;
  std::vector<int64_t> blocks;
  std::vector<double> fractions;
  int64_t result = 0;
};

Rendered render(const AudioSource& source, FrameRange range, std::vector<EffectProcessor*> chain, bool includeTail = false,
                double maxTailSeconds = 30) {
  Rendered out;
  out.channels.resize(static_cast<size_t>(source.channelCount()));
  out.result = EffectRenderer::render(
      source, range, chain, includeTail, maxTailSeconds,
      [&](double fraction) {
        out.fractions.push_back(fraction);
        return true;
      },
      [&](ChannelViews views) {
        EXPECT_EQ(views.size(), out.channels.size());
        out.blocks.push_back(static_cast<int64_t>(views[0].size()));
        for (size_t c = 0; c < views.size(); ++c) {
          EXPECT_EQ(views[c].size(), views[0].size());
          out.channels[c].insert(out.channels[c].end(), views[c].begin(), views[c].end());
        }
      });
  return out;
}

std::vector<float> slice(const std::vector<float>& values, int64_t from, int64_t to) {
  return {values.begin() + from, values.begin() + to};
}

} // namespace

TEST(EffectRenderer, EmptyChainPassesTheRangeThroughInBlocks) {
  const ArraySource source = ramp(12000);
  const Rendered out = render(source, {1000, 11000}, {}, true);
  EXPECT_EQ(out.result, 10000);
  EXPECT_EQ(out.blocks, (std::vector<int64_t>{4096, 4096, 1808}));
  EXPECT_EQ(out.channels[0], slice(source.channels()[0], 1000, 11000));
  EXPECT_EQ(out.channels[1], slice(source.channels()[1], 1000, 11000));
  EXPECT_EQ(out.fractions, (std::vector<double>{4096.0 / 10000, 8192.0 / 10000, 1.0}));
}

TEST(EffectRenderer, EmptyRangeEmitsNothingAndReportsNoProgress) {
  const ArraySource source = ramp(100);
  const Rendered out = render(source, {50, 50}, {});
  EXPECT_EQ(out.result, 0);
  EXPECT_TRUE(out.blocks.empty());
  EXPECT_TRUE(out.fractions.empty());
}

TEST(EffectRenderer, PreparesAndResetsInOrderThenProcessesInOrder) {
  std::vector<std::string> log;
  TestProcessor doubling("a", log), offset("b", log);
  doubling.transform = [](float x) { return 2 * x; };
  offset.transform = [](float x) { return x + 1; };
  const ArraySource source = ramp(10, 44100);
  const Rendered out = render(source, {0, 3}, {&doubling, &offset});
  EXPECT_EQ(log, (std::vector<std::string>{"a prepare 44100 2 4096", "a reset", "b prepare 44100 2 4096", "b reset"}));
  EXPECT_EQ(out.channels[0], (std::vector<float>{3, 5, 7}));
  EXPECT_EQ(out.channels[1], (std::vector<float>{-1, -3, -5}));
}

TEST(EffectRenderer, CompensatesTheChainsLatency) {
  // Delays of 60 and 40 frames reported as latency; a negative latency counts as 0.
  std::vector<std::string> log;
  TestProcessor first("a", log), second("b", log), negative("c", log);
  first.delay = first.latency = 60;
  second.delay = second.latency = 40;
  negative.latency = -500;
  const ArraySource source = ramp(20000);
  const Rendered out = render(source, {500, 10500}, {&first, &negative, &second});
  EXPECT_EQ(out.result, 10000);
  EXPECT_EQ(out.channels[0], slice(source.channels()[0], 500, 10500));
  EXPECT_EQ(out.channels[1], slice(source.channels()[1], 500, 10500));
  // 100 extra frames are pushed through the chain: 10100 frames in blocks of 4096.
  EXPECT_EQ(first.blockSizes, (std::vector<int>{4096, 4096, 1908}));
}

TEST(EffectRenderer, FramesAfterTheRangeAreSilenceFedToTheChain) {
  std::vector<std::string> log;
  TestProcessor echo("a", log);
  echo.delay = 3;
  echo.tail = 5;
  const ArraySource source = ramp(100);
  const Rendered out = render(source, {10, 14}, {&echo}, true);
  EXPECT_EQ(out.result, 9);
  EXPECT_EQ(out.channels[0], (std::vector<float>{0, 0, 0, 11, 12, 13, 14, 0, 0}));
}

TEST(EffectRenderer, TailIsTheChainsTailCappedInSeconds) {
  struct Case {
    std::vector<int64_t> tails;
    bool includeTail;
    double maxTailSeconds;
    int64_t expectedTail;
  };
  // At 100 Hz: 10 s = 1000 frames.
  const Case cases[] = {
      {{1000}, true, 30, 1000},        // a 10 s tail adds 10 s
      {{6000}, true, 30, 3000},        // a 60 s tail is cut to 30 s
      {{400, 600, -50}, true, 30, 1000},  // tails add up; a negative one counts as 0
      {{1000}, true, 2.555, 255},      // the cap is truncated to whole frames
      {{1000}, false, 30, 0},
      {{1000}, true, -1, 0},           // a negative cap adds nothing
      {{}, true, 30, 0},
  };
  const ArraySource source = ramp(500, 100);
  for (const auto& test : cases) {
    SCOPED_TRACE(testing::Message() << "cap " << test.maxTailSeconds << " includeTail " << test.includeTail);
    std::vector<std::string> log;
    std::vector<std::unique_ptr<TestProcessor>> processors;
    std::vector<EffectProcessor*> chain;
    for (int64_t tail : test.tails) {
      processors.push_back(std::make_unique<TestProcessor>("p", log));
      processors.back()->tail = tail;
      chain.push_back(processors.back().get());
    }
    const Rendered out = render(source, {100, 400}, chain, test.includeTail, test.maxTailSeconds);
    EXPECT_EQ(out.result, 300 + test.expectedTail);
    EXPECT_EQ(static_cast<int64_t>(out.channels[0].size()), out.result);
    EXPECT_EQ(slice(out.channels[0], 0, 300), slice(source.channels()[0], 100, 400));
    EXPECT_EQ(slice(out.channels[0], 300, out.result), std::vector<float>(static_cast<size_t>(test.expectedTail), 0.0f));
  }
}

TEST(EffectRenderer, CancellingAfterTheFirstBlockThrowsAfterOneEmit) {
  const ArraySource source = ramp(10000);
  int emits = 0, progressCalls = 0;
  EXPECT_THROW(EffectRenderer::render(
                   source, source.fullRange(), {}, false, 30,
                   [&](double) { return ++progressCalls < 1; }, [&](ChannelViews) { ++emits; }),
               CancellationError);
  EXPECT_EQ(emits, 1);
  EXPECT_EQ(progressCalls, 1);
}

TEST(EffectRenderer, PrepareAndEmitFailuresEndTheRender) {
  std::vector<std::string> log;
  TestProcessor first("a", log), failing("b", log), last("c", log);
  failing.failPrepare = true;
  const ArraySource source = ramp(10000);
  int emits = 0;
  std::vector<EffectProcessor*> chain{&first, &failing, &last};
  EXPECT_THROW(EffectRenderer::render(source, source.fullRange(), chain, false, 30, {}, [&](ChannelViews) { ++emits; }),
               std::runtime_error);
  EXPECT_EQ(log, (std::vector<std::string>{"a prepare 1000 2 4096", "a reset", "b prepare 1000 2 4096"}));
  EXPECT_EQ(emits, 0);

  EXPECT_THROW(EffectRenderer::render(source, source.fullRange(), {}, false, 30, {},
                                      [&](ChannelViews) {
                                        if (++emits == 2) throw QuarError::encodeFailed("full");
                                      }),
               QuarError);
  EXPECT_EQ(emits, 2);
}

// A pass-through processor whose blocks "fail" from the given block on, as a hosted plug-in
// that passes failed blocks through dry and counts them.
class FailingProcessor final : public EffectProcessor, public RenderFailureCounting {
public:
  explicit FailingProcessor(int failFromBlock) : failFromBlock_(failFromBlock) {}
  void prepare(double, int, int) override { blocks_ = failures_ = 0; }
  void process(float* const*, int, int) override {
    if (++blocks_ > failFromBlock_) ++failures_;
  }
  void reset() override {}
  int64_t tailFrames() const override { return 0; }
  int64_t latencyFrames() const override { return 0; }
  int64_t renderFailureCount() const override { return failures_; }
  std::optional<QuarError> renderFailure() const override {
    if (failures_ == 0) return std::nullopt;
    return QuarError::encodeFailed("\u201CTest\u201D failed to render (status -1)");
  }

private:
  int failFromBlock_;
  int64_t blocks_ = 0, failures_ = 0;
};

TEST(EffectRenderer, CountedBlockFailuresFailTheRenderAfterItsLastBlock) {
  const ArraySource source = ramp(10000);
  FailingProcessor healthy(1000), failing(2);
  int emits = 0;
  std::vector<EffectProcessor*> chain{&healthy};
  EXPECT_EQ(EffectRenderer::render(source, source.fullRange(), chain, false, 30, {}, [&](ChannelViews) { ++emits; }),
            10000);
  chain = {&healthy, &failing};
  try {
    EffectRenderer::render(source, source.fullRange(), chain, false, 30, {}, [&](ChannelViews) { ++emits; });
    FAIL() << "a render with failed blocks must throw";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::encodeFailed);
    EXPECT_EQ(error.message(), "\u201CTest\u201D failed to render (status -1)");
  }
  EXPECT_EQ(emits, 3 + 3);
}

TEST(EffectRendererDeathTest, RangeOutsideTheSourceStops) {
  const ArraySource source = ramp(100);
  EXPECT_DEATH(EffectRenderer::render(source, {50, 150}, {}, false, 30, {}, [](ChannelViews) {}), "outside");
}
