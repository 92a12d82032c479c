#include "dsp/effects/EffectRenderer.h"

#include <algorithm>
#include <vector>

#include "base/Numbers.h"
#include "base/Precondition.h"
#include "base/QuarError.h"
#include "dsp/Buffers.h"
#include "dsp/ScopedFlushToZero.h"

namespace quar {

int64_t EffectRenderer::render(const AudioSource& source, FrameRange range, std::span<EffectProcessor* const> chain,
                               bool includeTail, double maxTailSeconds, const std::function<bool(double)>& progress,
                               const std::function<void(ChannelViews)>& emit) {
  QUAR_PRECONDITION(range.lowerBound >= 0 && range.upperBound <= source.frameCount(), "render range outside the source");
  ScopedFlushToZero flushToZero;
  const int channels = source.channelCount();
  const double rate = source.sampleRate();

  for (EffectProcessor* processor : chain) {
    processor->prepare(rate, channels, blockSize);
    processor->reset();
  }
  int64_t latency = 0;
  int64_t chainTail = 0;
  for (const EffectProcessor* processor : chain) {
    latency += std::max<int64_t>(0, processor->latencyFrames());
    chainTail += std::max<int64_t>(0, processor->tailFrames());
  }
  const int64_t tail = includeTail ? std::clamp<int64_t>(checkedInt(maxTailSeconds * rate), 0, chainTail) : 0;
  const int64_t outputLength = range.count() + tail;
  const int64_t total = outputLength + latency;

  ChannelBuffers block(std::max(channels, 1), blockSize);
  const std::span<float* const> readPointers = block.pointers().first(static_cast<size_t>(channels));
  std::vector<std::span<const float>> views(static_cast<size_t>(channels));

  int64_t emitted = 0;
  for (int64_t pos = 0; pos < total;) {
    const int64_t n = std::min<int64_t>(total - pos, blockSize);
    const int64_t start = range.lowerBound + pos;
    const int64_t take = std::clamp<int64_t>(range.upperBound - start, 0, n);
    if (take > 0) source.read({start, start + take}, readPointers);
    for (float* pointer : readPointers) std::fill(pointer + take, pointer + n, 0.0f);

    for (EffectProcessor* processor : chain) processor->process(block.pointers().data(), channels, static_cast<int>(n));

    const int64_t skip = std::clamp<int64_t>(latency - pos, 0, n);
    const int64_t count = std::min(n - skip, outputLength - emitted);
    if (count > 0) {
      for (size_t c = 0; c < views.size(); ++c) views[c] = {block.channel(static_cast<int>(c)) + skip, static_cast<size_t>(count)};
      emit(views);
      emitted += count;
    }
    pos += n;
    if (progress && !progress(static_cast<double>(pos) / static_cast<double>(total))) throw CancellationError();
  }
  // A block that failed inside a processor passed through dry: offline, that is an error.
  for (const EffectProcessor* processor : chain)
    if (const auto* counting = dynamic_cast<const RenderFailureCounting*>(processor))
      if (auto failure = counting->renderFailure()) throw *failure;
  return emitted;
}

} // namespace quar
