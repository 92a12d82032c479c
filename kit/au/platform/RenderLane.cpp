#include "au/platform/RenderLane.h"

#include <algorithm>
#include <cstring>

#include "base/Precondition.h"

namespace quar {

namespace {

int64_t frameLimit(const PlatformUnit& unit) {
  const uint32_t limit = unit.maximumFramesToRender();
  return limit == 0 ? 1 : limit;
}

std::shared_ptr<PlatformUnit> checkedUnit(std::shared_ptr<PlatformUnit> unit, int inChannels, int outChannels) {
  QUAR_PRECONDITION(unit && inChannels >= 0 && outChannels >= 0, "RenderLane needs a unit and channel counts >= 0");
  return unit;
}

std::optional<PullInputBlock> choosePull(int inChannels, std::optional<PullInputBlock> pull, PullInputBlock own) {
  if (inChannels == 0) return std::nullopt;
  if (pull) return pull;
  return own;
}

} // namespace

std::vector<float*> RenderLane::slots(std::vector<std::vector<float>>& storage, int channels, int64_t frames) {
  std::vector<float*> result(static_cast<size_t>(std::max(channels, 1)), nullptr);
  storage.resize(static_cast<size_t>(channels));
  for (int i = 0; i < channels; ++i) {
    storage[static_cast<size_t>(i)].assign(static_cast<size_t>(frames), 0.0f);
    result[static_cast<size_t>(i)] = storage[static_cast<size_t>(i)].data();
  }
  return result;
}

RenderLane::RenderLane(std::shared_ptr<PlatformUnit> unit_, int inChannels_, int outChannels_,
                       std::optional<PullInputBlock> pull)
    : unit(checkedUnit(std::move(unit_), inChannels_, outChannels_)),
      inChannels(inChannels_), outChannels(outChannels_), maxFrames(frameLimit(*unit)),
      input(slots(inputBuffers_, inChannels, maxFrames)), outputStorage(slots(outputBuffers_, outChannels, maxFrames)),
      outputList(static_cast<uint32_t>(std::max(outChannels, 1))), renderBlock(unit->renderBlock()),
      pullBlock(choosePull(inChannels, std::move(pull),
                           [this](AudioUnitRenderActionFlags*, const AudioTimeStamp*, uint32_t frames, int64_t,
                                  AudioBufferList* list) { return pullFromInput(frames, list); })) {
  timeStamp.mFlags = AudioTimeStamp::sampleTimeValid;
}

AUStatus RenderLane::render(uint32_t frames) {
  AudioBufferList* list = outputList.get();
  for (int j = 0; j < outChannels; ++j)
    list->mBuffers[j] = {1, frames * 4, outputStorage[static_cast<size_t>(j)]};
  flags = 0;
  const AUStatus status = renderBlock(&flags, &timeStamp, frames, 0, list, pullBlock ? &*pullBlock : nullptr);
  timeStamp.mSampleTime += frames;
  return status;
}

const float* RenderLane::output(int k) const {
  const void* data = outputList.get()->mBuffers[k].mData;
  return data ? static_cast<const float*>(data) : outputStorage[static_cast<size_t>(k)];
}

AUStatus RenderLane::pullFromInput(uint32_t frames, AudioBufferList* list) const {
  if (frames > maxFrames) return auStatus::tooManyFramesToProcess;
  const uint32_t n = std::min(static_cast<uint32_t>(inChannels), list->mNumberBuffers);
  for (uint32_t i = 0; i < n; ++i) {
    AudioBuffer& buffer = list->mBuffers[i];
    if (!buffer.mData) buffer.mData = input[i];
    else if (buffer.mData != input[i]) std::memcpy(buffer.mData, input[i], frames * sizeof(float));
    buffer.mDataByteSize = frames * 4;
    buffer.mNumberChannels = 1;
  }
  return auStatus::noErr;
}

} // namespace quar
