#include "recording/TakeBuffer.h"

#include <algorithm>
#include <cmath>

TakeBuffer::TakeBuffer(std::vector<int> inputChannels, int outputChannels, double sampleRate)
    : inputChannels_(std::move(inputChannels)), outputChannels_(std::max(outputChannels, 1)), sampleRate_(sampleRate) {
  meters_.peaks.assign(inputChannels_.size(), 0.0f);
  meters_.clips.assign(inputChannels_.size(), false);
  inputs_.resize(inputChannels_.size());
  blockPeaks_.resize(inputChannels_.size());
  const auto outputs = static_cast<size_t>(outputChannels_);
  state_.mapped.resize(outputs);
  state_.mappedPointers.resize(outputs);
  state_.mappedViews.resize(outputs);
}

void TakeBuffer::beginCapture(const std::optional<std::filesystem::path>& safetyPath) {
  std::unique_ptr<SafetyFile> file;
  std::optional<std::string> failure;
  if (safetyPath) {
    std::string error;
    file = SafetyFile::create(*safetyPath, sampleRate_, outputChannels_, &error);
    if (!file) failure = error;
  }
  quar::AudioContentBuilder builder(outputChannels_, sampleRate_, quar::BlockSamples::Placement::storeOrHeap);
  std::lock_guard lock(stateMutex_);
  state_.builder = std::move(builder);
  state_.file = std::move(file);
  state_.safetyFailure = std::move(failure);
  captured_.store(0, std::memory_order_relaxed);
}

std::optional<quar::AudioContent> TakeBuffer::endCapture() {
  std::optional<quar::AudioContentBuilder> builder;
  std::unique_ptr<SafetyFile> file;
  {
    std::lock_guard lock(stateMutex_);
    builder = std::move(state_.builder);
    state_.builder.reset();
    file = std::move(state_.file);
  }
  file.reset();  // closes it
  if (!builder) return std::nullopt;
  return builder->build();
}

void TakeBuffer::ingest(const float* const* channels, int available, int frames) {
  if (!channels || available <= 0 || frames <= 0 || inputChannels_.empty()) return;
  for (size_t i = 0; i < inputChannels_.size(); ++i) {
    inputs_[i] = channels[std::clamp(inputChannels_[i], 0, available - 1)];
    float peak = 0;
    for (int f = 0; f < frames; ++f) peak = std::max(peak, std::abs(inputs_[i][f]));
    blockPeaks_[i] = peak;
  }
  {
    std::lock_guard lock(metersMutex_);
    for (size_t i = 0; i < blockPeaks_.size(); ++i) {
      meters_.peaks[i] = std::max(meters_.peaks[i], blockPeaks_[i]);
      if (blockPeaks_[i] >= clipLevel) meters_.clips[i] = true;
    }
  }
  std::lock_guard lock(stateMutex_);
  if (!state_.builder) return;
  for (size_t c = 0; c < state_.mapped.size(); ++c) {
    std::vector<float>& buffer = state_.mapped[c];
    buffer.resize(static_cast<size_t>(frames));
    state_.mappedPointers[c] = buffer.data();
    state_.mappedViews[c] = {buffer.data(), static_cast<size_t>(frames)};
  }
  mapChannels(inputs_, state_.mappedPointers, frames);
  state_.builder->append(quar::ChannelViews(state_.mappedViews));
  if (state_.file) {
    std::string error;
    if (!state_.file->write(state_.mapped, frames, &error)) {
      // What it holds stays a clean start of the take: nothing more is written after a gap.
      state_.file.reset();
      state_.safetyFailure = error;
    }
  }
  captured_.fetch_add(frames, std::memory_order_relaxed);
}

std::optional<std::string> TakeBuffer::safetyFailure() const {
  std::lock_guard lock(stateMutex_);
  return state_.safetyFailure;
}

TakeBuffer::Meters TakeBuffer::takeMeters() {
  std::lock_guard lock(metersMutex_);
  Meters meters{meters_.peaks, meters_.clips};
  std::fill(meters_.peaks.begin(), meters_.peaks.end(), 0.0f);
  return meters;
}

void TakeBuffer::resetClips() {
  std::lock_guard lock(metersMutex_);
  std::fill(meters_.clips.begin(), meters_.clips.end(), false);
}

std::optional<quar::AudioContent> TakeBuffer::liveSnapshot() const {
  std::lock_guard lock(stateMutex_);
  if (!state_.builder) return std::nullopt;
  return state_.builder->snapshot();
}

void TakeBuffer::mapChannels(std::span<const float* const> inputs, std::span<float* const> outputs, int frames) {
  const size_t ins = inputs.size(), outs = outputs.size();
  if (ins == 0) return;
  for (size_t o = 0; o < outs; ++o) {
    float* out = outputs[o];
    if (outs >= ins) {
      std::copy_n(inputs[o % ins], frames, out);
      continue;
    }
    std::copy_n(inputs[o], frames, out);
    size_t count = 1;
    for (size_t i = o + outs; i < ins; i += outs, ++count)
      for (int f = 0; f < frames; ++f) out[f] += inputs[i][f];
    const float scale = 1.0f / static_cast<float>(count);
    for (int f = 0; f < frames; ++f) out[f] *= scale;
  }
}
