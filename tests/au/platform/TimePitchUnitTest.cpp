#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "au/platform/AUFormat.h"
#include "au/platform/ComponentManager.h"
#include "au/platform/PlatformError.h"
#include "au/platform/RenderLane.h"
#include "au/platform/TimePitchComponent.h"
#include "au/platform/TimePitchUnit.h"

using namespace quar;

namespace {

std::shared_ptr<PlatformUnit> configuredUnit(int channels, int64_t maxFrames = 4096) {
  auto unit = ComponentManager::instantiate(timePitch::description);
  AUFormat::configure(*unit, 44100, channels, channels, maxFrames);
  return unit;
}

// Serves a sine of 1000 Hz on every channel and records the size of each request.
struct SineInput {
  std::vector<uint32_t> requests;
  std::vector<float> samples = std::vector<float>(32768);
  int64_t position = 0;

  PullInputBlock block() {
    return [this](AudioUnitRenderActionFlags*, const AudioTimeStamp*, uint32_t frames, int64_t, AudioBufferList* list) {
      requests.push_back(frames);
      for (uint32_t f = 0; f < frames; ++f)
        samples[f] = static_cast<float>(0.5 * std::sin(2 * M_PI * 1000 * static_cast<double>(position + f) / 44100));
      position += frames;
      for (AudioBuffer& buffer : buffers(*list)) buffer = {1, frames * 4, samples.data()};
      return AUStatus{0};
    };
  }
  int64_t pulled() const { return std::accumulate(requests.begin(), requests.end(), int64_t{0}); }
};

} // namespace

TEST(TimePitchUnit, TheTimePitchComponentMakesAConfigurableUnitOfAnyChannelCount) {
  for (int channels : {1, 2, 3, 8}) {
    auto unit = configuredUnit(channels);
    ASSERT_NE(dynamic_cast<TimePitchUnit*>(unit.get()), nullptr);
    EXPECT_EQ(unit->audioUnitName(), "Quarnel Time-Pitch");
    EXPECT_TRUE(unit->renderResourcesAllocated());
    EXPECT_EQ(unit->maximumFramesToRender(), 4096u);
    // The start delay: a few thousand frames at 44.1 kHz.
    EXPECT_GT(unit->latency() * 44100, 100) << channels;
    EXPECT_LT(unit->latency() * 44100, 10000) << channels;
  }

  auto unit = configuredUnit(2);
  PlatformParameterTree* tree = unit->parameterTree();
  ASSERT_NE(tree, nullptr);
  std::vector<uint64_t> addresses;
  for (const auto& p : tree->allParameters()) addresses.push_back(p.address);
  EXPECT_EQ(addresses, (std::vector<uint64_t>{0, 1, 4, 7}));
  EXPECT_EQ(tree->parameter(0)->value, 1.0f);
  EXPECT_EQ(tree->parameter(1)->unit, parameterUnit::cents);
  EXPECT_FALSE(tree->parameter(2).has_value());
  std::vector<std::pair<uint64_t, float>> observed;
  const int64_t token = tree->addObserver([&](uint64_t address, float value) { observed.emplace_back(address, value); });
  tree->setValue(4, 16);
  tree->setValue(7, 0);
  tree->removeObserver(token);
  tree->setValue(1, 300);
  EXPECT_EQ(tree->parameter(4)->value, 16.0f);
  EXPECT_EQ(tree->parameter(7)->value, 0.0f);
  EXPECT_EQ(observed, (std::vector<std::pair<uint64_t, float>>{{4, 16.0f}, {7, 0.0f}}));
}

TEST(TimePitchUnit, RefusesMismatchedBusesAndReportsRenderMisuse) {
  auto unit = ComponentManager::instantiate(timePitch::description);
  EXPECT_THROW(AUFormat::configure(*unit, 44100, 2, 1, 4096), PlatformError);
  EXPECT_FALSE(unit->renderResourcesAllocated());
  EXPECT_THROW(unit->setOutputFormat({44100, 2, true, std::nullopt}), PlatformError);

  SineInput input;
  auto lane = [&](const std::shared_ptr<PlatformUnit>& u) { return std::make_unique<RenderLane>(u, 1, 1, input.block()); };
  AUFormat::configure(*unit, 44100, 1, 1, 512);
  auto configured = lane(unit);
  EXPECT_EQ(configured->render(513), auStatus::tooManyFramesToProcess);
  EXPECT_EQ(configured->render(512), auStatus::noErr);
  unit->deallocateRenderResources();
  EXPECT_EQ(configured->render(512), auStatus::uninitialized);

  auto noInput = configuredUnit(1);
  RenderLane withoutPull(noInput, 0, 1);
  EXPECT_EQ(withoutPull.render(64), auStatus::noConnection);
}

TEST(TimePitchUnit, PullsInputOnDemandAndFollowsRateChangesBetweenChunks) {
  auto unit = configuredUnit(1);
  SineInput input;
  RenderLane lane(unit, 1, 1, input.block());
  for (int i = 0; i < 40; ++i) ASSERT_EQ(lane.render(1024), 0);
  const int64_t atRateOne = input.pulled();

  unit->parameterTree()->setValue(0, 2);
  for (int i = 0; i < 40; ++i) ASSERT_EQ(lane.render(1024), 0);
  const double consumed = static_cast<double>(input.pulled() - atRateOne);
  EXPECT_NEAR(consumed / (40 * 1024), 2.0, 0.15);

  unit->parameterTree()->setValue(0, 0.5);
  const int64_t atRateTwo = input.pulled();
  for (int i = 0; i < 40; ++i) ASSERT_EQ(lane.render(1024), 0);
  EXPECT_NEAR(static_cast<double>(input.pulled() - atRateTwo) / (40 * 1024), 0.5, 0.1);

  // Sound, not silence, comes out, bounded like the input.
  const float* out = lane.outputStorage[0];
  const float peak = std::abs(*std::max_element(out, out + 1024, [](float a, float b) { return std::abs(a) < std::abs(b); }));
  EXPECT_GT(peak, 0.2f);
  EXPECT_LT(peak, 1.0f);
}
