#include <gtest/gtest.h>

#include <cstring>

#include "au/platform/AUFormat.h"
#include "au/platform/RenderLane.h"
#include "au/support/TestUnits.h"

using namespace quar;
using namespace quar::test;

namespace {

std::shared_ptr<FakeUnit> configured(FakeUnitConfig unitConfig, int in, int out, int64_t maxFrames) {
  auto unit = std::make_shared<FakeUnit>(std::move(unitConfig));
  AUFormat::configure(*unit, 48000, in, out, maxFrames);
  return unit;
}

} // namespace

TEST(RenderLane, ConstructionSizesEverythingFromTheFrameLimit) {
  auto unit = configured({}, 2, 3, 256);
  RenderLane lane(unit, 2, 3);
  EXPECT_EQ(lane.maxFrames, 256);
  ASSERT_EQ(lane.input.size(), 2u);
  ASSERT_EQ(lane.outputStorage.size(), 3u);
  EXPECT_EQ(lane.outputList.capacity(), 3u);
  for (float* slot : lane.input)
    for (int i = 0; i < 256; ++i) ASSERT_EQ(slot[i], 0.0f);
  for (float* slot : lane.outputStorage)
    for (int i = 0; i < 256; ++i) ASSERT_EQ(slot[i], 0.0f);
  EXPECT_EQ(lane.flags, 0u);
  EXPECT_EQ(lane.timeStamp.mFlags, AudioTimeStamp::sampleTimeValid);
  EXPECT_EQ(lane.timeStamp.mSampleTime, 0.0);
  EXPECT_EQ(lane.groupStart, 0);
  EXPECT_EQ(lane.groupSize, 0);
  EXPECT_TRUE(lane.pullBlock.has_value());

  // A later change of the unit's limit does not resize the lane.
  unit->maxFrames = 8192;
  EXPECT_EQ(lane.maxFrames, 256);
}

TEST(RenderLane, ZeroChannelsKeepOneEmptySlotAndAZeroFrameLimitGivesOne) {
  FakeUnitConfig unitConfig;
  unitConfig.inputBuses = 0;
  unitConfig.fixedFrameLimit = 0;
  auto unit = configured(unitConfig, 0, 2, 4096);
  RenderLane lane(unit, 0, 2);
  EXPECT_EQ(lane.maxFrames, 1);
  ASSERT_EQ(lane.input.size(), 1u);
  EXPECT_EQ(lane.input[0], nullptr);
  EXPECT_FALSE(lane.pullBlock.has_value());
}

TEST(RenderLane, WithoutInputTheUnitGetsNoPullBlockEvenWhenOneIsGiven) {
  FakeUnitConfig unitConfig;
  unitConfig.inputBuses = 0;
  auto unit = configured(unitConfig, 0, 2, 64);
  bool called = false;
  RenderLane lane(unit, 0, 2, PullInputBlock([&](auto...) {
    called = true;
    return AUStatus{0};
  }));
  EXPECT_FALSE(lane.pullBlock.has_value());
  EXPECT_EQ(lane.render(64), 0);
  EXPECT_FALSE(unit->lastRenderHadPull);
  EXPECT_FALSE(called);
}

TEST(RenderLane, AGivenPullBlockReplacesTheLanesOwn) {
  auto unit = configured({}, 1, 1, 8);
  int calls = 0;
  std::vector<float> fed(8, 0.5f);
  RenderLane lane(unit, 1, 1, PullInputBlock([&](AudioUnitRenderActionFlags*, const AudioTimeStamp*, uint32_t frames,
                                                 int64_t, AudioBufferList* list) {
    ++calls;
    list->mBuffers[0] = {1, frames * 4, fed.data()};
    return AUStatus{0};
  }));
  ASSERT_EQ(lane.render(8), 0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(static_cast<float*>(lane.outputList.get()->mBuffers[0].mData)[7], 0.5f);
}

TEST(RenderLane, DefaultPullRefusesMoreThanMaxFramesAndTouchesNothing) {
  auto unit = configured({}, 2, 2, 16);
  RenderLane lane(unit, 2, 2);
  AudioBufferListStorage list(2);
  float sentinel[4] = {9, 9, 9, 9};
  list.get()->mBuffers[0] = {7, 123, sentinel};
  list.get()->mBuffers[1] = {7, 456, nullptr};
  AudioUnitRenderActionFlags flags = 0;
  EXPECT_EQ((*lane.pullBlock)(&flags, &lane.timeStamp, 17, 0, list.get()), -10874);
  EXPECT_EQ(list.get()->mBuffers[0].mNumberChannels, 7u);
  EXPECT_EQ(list.get()->mBuffers[0].mDataByteSize, 123u);
  EXPECT_EQ(list.get()->mBuffers[0].mData, sentinel);
  EXPECT_EQ(list.get()->mBuffers[1].mDataByteSize, 456u);
  EXPECT_EQ(list.get()->mBuffers[1].mData, nullptr);
  EXPECT_EQ(sentinel[0], 9);
}

TEST(RenderLane, DefaultPullServesAtMostInChannelsBuffers) {
  auto unit = configured({}, 2, 2, 16);
  RenderLane lane(unit, 2, 2);
  for (int i = 0; i < 16; ++i) {
    lane.input[0][i] = 1;
    lane.input[1][i] = 2;
  }
  AudioUnitRenderActionFlags flags = 0;
  std::vector<float> own(16, 0);
  // Three buffers asked: a null one is pointed at the input, a foreign one gets a copy, the third
  // stays as it is.
  AudioBufferListStorage three(3);
  three.get()->mBuffers[0] = {0, 0, nullptr};
  three.get()->mBuffers[1] = {0, 0, own.data()};
  three.get()->mBuffers[2] = {5, 5, nullptr};
  ASSERT_EQ((*lane.pullBlock)(&flags, &lane.timeStamp, 10, 0, three.get()), 0);
  EXPECT_EQ(three.get()->mBuffers[0].mData, lane.input[0]);
  EXPECT_EQ(three.get()->mBuffers[0].mDataByteSize, 40u);
  EXPECT_EQ(three.get()->mBuffers[0].mNumberChannels, 1u);
  EXPECT_EQ(three.get()->mBuffers[1].mData, own.data());
  EXPECT_EQ(own[9], 2.0f);
  EXPECT_EQ(own[10], 0.0f);
  EXPECT_EQ(three.get()->mBuffers[2].mDataByteSize, 5u);
  EXPECT_EQ(three.get()->mBuffers[2].mData, nullptr);

  AudioBufferListStorage one(1);
  one.get()->mBuffers[0] = {0, 0, nullptr};
  ASSERT_EQ((*lane.pullBlock)(&flags, &lane.timeStamp, 16, 0, one.get()), 0);
  EXPECT_EQ(one.get()->mBuffers[0].mData, lane.input[0]);
}

TEST(RenderLane, RenderStepCarriesInputToOutputAndAdvancesTimeEvenOnFailure) {
  FakeUnitConfig unitConfig;
  unitConfig.gain = 0.5f;
  unitConfig.pullBuffers = 3;  // asks for more than the lane serves
  auto unit = configured(unitConfig, 2, 2, 32);
  RenderLane lane(unit, 2, 2);
  for (int i = 0; i < 32; ++i) {
    lane.input[0][i] = static_cast<float>(i);
    lane.input[1][i] = -1;
  }
  ASSERT_EQ(lane.render(32), 0);
  EXPECT_TRUE(unit->lastRenderHadPull);
  EXPECT_EQ(unit->pulledBufferCounts, std::vector<uint32_t>{3});
  EXPECT_EQ(lane.outputStorage[0][31], 15.5f);
  EXPECT_EQ(lane.outputStorage[1][0], -0.5f);
  EXPECT_EQ(lane.timeStamp.mSampleTime, 32.0);

  unit->unitConfig.renderStatus = -50;
  EXPECT_EQ(lane.render(20), -50);
  EXPECT_EQ(lane.timeStamp.mSampleTime, 52.0);
}
