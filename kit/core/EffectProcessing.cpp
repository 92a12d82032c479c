#include "core/EffectProcessing.h"

#include <algorithm>
#include <vector>

#include "au/TimePitch.h"
#include "core/AudioContentBuilder.h"
#include "core/Processing.h"
#include "dsp/Buffers.h"
#include "dsp/effects/EffectRenderer.h"

namespace quar {

namespace {

constexpr double maxTailSeconds = 30;

} // namespace

AudioContent applyingEffects(const AudioContent& content, std::span<EffectProcessor* const> chain, FrameRange range,
                             const std::optional<std::set<int>>& channels, EffectTailMode tail,
                             const std::function<bool(double)>& progress) {
  const FrameRange target = range.clamped(content.fullRange());
  if (target.isEmpty() || chain.empty()) return content;

  const int channelCount = content.channelCount();
  std::vector<bool> excluded(static_cast<size_t>(channelCount), false);
  for (int c = 0; c < channelCount; ++c) excluded[static_cast<size_t>(c)] = channels && !channels->contains(c);
  const bool anyExcluded = std::find(excluded.begin(), excluded.end(), true) != excluded.end();

  AudioContentBuilder builder(channelCount, content.sampleRate());
  // The receiver's own audio of the excluded channels, silence past the range.
  std::optional<ChannelBuffers> original;
  if (anyExcluded) original.emplace(channelCount, EffectRenderer::blockSize);
  std::vector<std::span<const float>> merged(static_cast<size_t>(channelCount));
  const int64_t length = target.count();
  int64_t written = 0;

  auto emit = [&](ChannelViews block) {
    const int64_t n = static_cast<int64_t>(block[0].size());
    if (!anyExcluded) {
      builder.append(block);
    } else {
      const int64_t keep = std::clamp<int64_t>(length - written, 0, n);
      if (keep > 0) {
        const int64_t start = target.lowerBound + written;
        content.read({start, start + keep}, original->pointers());
      }
      for (size_t c = 0; c < merged.size(); ++c) {
        float* own = original->channel(static_cast<int>(c));
        std::fill(own + keep, own + n, 0.0f);
        merged[c] = excluded[c] ? std::span<const float>(own, static_cast<size_t>(n)) : block[c];
      }
      builder.append(ChannelViews(merged));
    }
    written += n;
  };
  EffectRenderer::render(content, target, chain, tail == EffectTailMode::mixIntoFollowing, maxTailSeconds, progress,
                         emit);

  const AudioContent processed = builder.build();
  AudioContent result = content;
  result.replaceSubrange(target, processed.slice({0, length}));
  if (processed.frameCount() > length)
    result = mixing(result, processed.slice({length, processed.frameCount()}), target.upperBound, 0);
  return result;
}

AudioContent timePitched(const AudioContent& content, FrameRange range, double rate, double pitchCents,
                         const std::function<bool(double)>& progress) {
  const FrameRange target = range.clamped(content.fullRange());
  if (target.isEmpty()) return content;
  AudioContentBuilder builder(content.channelCount(), content.sampleRate());
  TimePitch::render(content, target, rate, pitchCents, progress, [&](ChannelViews chunk) { builder.append(chunk); });
  AudioContent result = content;
  result.replaceSubrange(target, builder.build());
  return result;
}

} // namespace quar
