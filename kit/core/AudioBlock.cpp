#include "core/AudioBlock.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/FiniteSample.h"
#include "base/Precondition.h"
#include "base/QuarError.h"

namespace quar {

namespace {

std::vector<const float*> channelPointers(const std::vector<std::vector<float>>& samples) {
  for (const auto& channel : samples)
    QUAR_PRECONDITION(channel.size() == samples.front().size(), "Summarised channels must have equal length");
  std::vector<const float*> pointers;
  for (const auto& channel : samples) pointers.push_back(channel.data());
  return pointers;
}

std::vector<const float*> channelPointers(const BlockSamples& samples) {
  std::vector<const float*> pointers;
  for (int c = 0; c < samples.channelCount(); ++c) pointers.push_back(samples.channel(c));
  return pointers;
}

// The summary checks that the channels have equal length.
const std::vector<std::vector<float>>& validated(const std::vector<std::vector<float>>& samples) {
  QUAR_PRECONDITION(!samples.empty(), "AudioBlock needs at least one channel");
  for (const auto& channel : samples)
    QUAR_PRECONDITION(channel.size() == samples.front().size(), "Block channels must have equal length");
  return samples;
}

} // namespace

bool SummaryArrays::operator==(const SummaryArrays& other) const {
  if (channels_ != other.channels_ || count_ != other.count_) return false;
  const auto n = static_cast<ptrdiff_t>(channels_ * count_);
  return std::equal(data_, data_ + n, other.data_);
}

int64_t QuarSummary::arrayFloats(int64_t channels, int64_t frames) {
  const int64_t bins = (frames + binFrames - 1) / binFrames;
  const int64_t groups = (bins + binsPerGroup - 1) / binsPerGroup;
  return 3 * channels * (bins + groups);
}

QuarSummary::QuarSummary(const std::vector<std::vector<float>>& samples)
    : QuarSummary(channelPointers(samples), samples.empty() ? 0 : static_cast<int64_t>(samples.front().size())) {}

QuarSummary::QuarSummary(std::span<const float* const> channels, int64_t frames)
    : ownRoom_(static_cast<size_t>(arrayFloats(static_cast<int64_t>(channels.size()), frames))) {
  summarise(channels, frames, ownRoom_.data());
}

QuarSummary::QuarSummary(std::span<const float* const> channels, int64_t frames, float* room) {
  summarise(channels, frames, room);
}

void QuarSummary::summarise(std::span<const float* const> samples, int64_t frames, float* room) {
  const size_t channels = samples.size();
  if (channels == 0) return;
  const auto bins = static_cast<size_t>((frames + binFrames - 1) / binFrames);
  const auto groups = (bins + binsPerGroup - 1) / binsPerGroup;
  SummaryArrays* arrays[] = {&mins, &maxs, &sumSquares, &groupMins, &groupMaxs, &groupSumSquares};
  for (size_t k = 0; k < 6; ++k) {
    const size_t count = k < 3 ? bins : groups;
    *arrays[k] = SummaryArrays(room, channels, count);
    room += channels * count;
  }
  blockMin.assign(channels, 0);
  blockMax.assign(channels, 0);
  blockSumSquares.assign(channels, 0);
  for (size_t c = 0; c < channels; ++c) {
    const float* data = samples[c];
    const std::span<float> lows = mins[c], highs = maxs[c], sums = sumSquares[c];
    for (size_t b = 0; b < bins; ++b) {
      const int64_t start = static_cast<int64_t>(b) * binFrames;
      const PeakSummary v = PeakSummary::of(data + start, std::min(frames - start, binFrames));
      lows[b] = v.min;
      highs[b] = v.max;
      sums[b] = v.sumSquares;
    }
    for (size_t g = 0; g < groups; ++g) {
      const auto first = static_cast<ptrdiff_t>(g * binsPerGroup);
      const auto end = static_cast<ptrdiff_t>(std::min(bins, (g + 1) * binsPerGroup));
      groupMins[c][g] = *std::min_element(lows.begin() + first, lows.begin() + end);
      groupMaxs[c][g] = *std::max_element(highs.begin() + first, highs.begin() + end);
      float total = 0;
      for (auto b = first; b < end; ++b) total += sums[static_cast<size_t>(b)];
      groupSumSquares[c][g] = total;
    }
    if (bins == 0) continue;
    blockMin[c] = *std::min_element(lows.begin(), lows.end());
    blockMax[c] = *std::max_element(highs.begin(), highs.end());
    float total = 0;
    for (float sum : sums) total += sum;
    blockSumSquares[c] = total;
  }
}

BlockSamples::BlockSamples(int channels, int64_t frames, Placement placement) : channels_(channels), frames_(frames) {
  QUAR_PRECONDITION(channels >= 1, "AudioBlock needs at least one channel");
  QUAR_PRECONDITION(frames >= 0, "A block cannot have fewer than 0 frames");
  const int64_t floats = static_cast<int64_t>(channels) * frames + QuarSummary::arrayFloats(channels, frames);
  const int64_t bytes = floats * static_cast<int64_t>(sizeof(float));
  if (placement != Placement::heap && bytes >= BlockStore::minimumBytes) {
    if (auto store = BlockStore::current()) {
      try {
        range_ = store->allocate(bytes);
      } catch (const QuarError&) {
        if (placement == Placement::store) throw;
      }
      if (range_.data) {
        store_ = std::move(store);
        data_ = range_.data;
        return;
      }
    }
  }
  data_ = new float[static_cast<size_t>(floats)];
}

BlockSamples::BlockSamples(const std::vector<std::vector<float>>& channels)
    : BlockSamples(static_cast<int>(validated(channels).size()), static_cast<int64_t>(validated(channels).front().size())) {
  for (int c = 0; c < channels_; ++c) std::copy(channels[static_cast<size_t>(c)].begin(), channels[static_cast<size_t>(c)].end(), channel(c));
}

BlockSamples::BlockSamples(const BlockSamples& source, int64_t frames, Placement placement)
    : BlockSamples(source.channels_, frames, placement) {
  QUAR_PRECONDITION(frames <= source.frames_, "A copy cannot hold more frames than its source");
  for (int c = 0; c < channels_; ++c) std::copy_n(source.channel(c), frames, channel(c));
}

BlockSamples::~BlockSamples() { free(); }

BlockSamples::BlockSamples(BlockSamples&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), channels_(other.channels_), frames_(other.frames_),
      store_(std::move(other.store_)), range_(other.range_) {}

BlockSamples& BlockSamples::operator=(BlockSamples&& other) noexcept {
  if (this != &other) {
    free();
    data_ = std::exchange(other.data_, nullptr);
    channels_ = other.channels_;
    frames_ = other.frames_;
    store_ = std::move(other.store_);
    range_ = other.range_;
  }
  return *this;
}

std::vector<float*> BlockSamples::pointers() {
  std::vector<float*> result;
  for (int c = 0; c < channels_; ++c) result.push_back(channel(c));
  return result;
}

void BlockSamples::free() {
  if (!data_) return;
  if (store_)
    store_->release(range_);
  else
    delete[] data_;
  data_ = nullptr;
  store_.reset();
}

AudioBlock::AudioBlock(BlockSamples samples)
    : samples_(std::move(samples)), summary_(channelPointers(samples_), samples_.frameCount(), samples_.summaryRoom()) {}

AudioBlock::AudioBlock(const std::vector<std::vector<float>>& samples) : AudioBlock(BlockSamples(samples)) {}

PeakSummary PeakSummary::of(const float* samples, int64_t count) {
  // Groups of `lanes` samples with a fixed-length inner loop, which the compiler vectorises at
  // -O2. Every lane starts from the first sample. A NaN or infinity counts as 0.
  constexpr int64_t lanes = 16;
  float lo[lanes], hi[lanes], sums[lanes] = {};
  std::fill_n(lo, lanes, finiteOrZero(samples[0]));
  std::fill_n(hi, lanes, finiteOrZero(samples[0]));
  int64_t i = 0;
  for (; i + lanes <= count; i += lanes)
    for (int64_t l = 0; l < lanes; ++l) {
      const float x = finiteOrZero(samples[i + l]);
      lo[l] = std::min(lo[l], x);
      hi[l] = std::max(hi[l], x);
      sums[l] += x * x;
    }
  float low = lo[0], high = hi[0], sum = 0;
  for (int64_t l = 0; l < lanes; ++l) {
    low = std::min(low, lo[l]);
    high = std::max(high, hi[l]);
    sum += sums[l];
  }
  for (; i < count; ++i) {
    const float x = finiteOrZero(samples[i]);
    low = std::min(low, x);
    high = std::max(high, x);
    sum += x * x;
  }
  return {low, high, sum, count};
}

float PeakSummary::rms() const {
  if (count < 1) return 0;
  return std::sqrt(sumSquares / static_cast<float>(count));
}

} // namespace quar
