#include <algorithm>

#include "base/Precondition.h"
#include "core/AudioContent.h"

namespace quar {

namespace {

// Folds the samples [begin, end) into `result` exactly.
void mergeExactly(PeakSummary& result, const float* samples, int64_t begin, int64_t end) {
  const PeakSummary part = PeakSummary::of(samples + begin, end - begin);
  result.merge(part.min, part.max, part.sumSquares, part.count);
}

} // namespace

PeakSummary AudioContent::peaks(int channel, FrameRange range) const {
  QUAR_PRECONDITION(channel >= 0 && channel < channelCount_, "channel outside the content");
  PeakSummary result = PeakSummary::empty();
  const FrameRange clamped = clampedToContent(range);
  if (clamped.isEmpty() || segments_.empty()) return result;
  const auto c = static_cast<size_t>(channel);
  constexpr int64_t bin = QuarSummary::binFrames;
  constexpr int64_t group = QuarSummary::binsPerGroup;

  // Summaries and samples of long contents are mostly out of cache: for ranges beyond a few
  // bins, ask for everything the query reads before reading any of it, so that the fetches
  // overlap.
  const size_t firstSegment = segmentIndex(clamped.lowerBound);
  const size_t prefetchEnd = clamped.count() > 4 * bin ? segments_.size() : firstSegment;
  for (size_t i = firstSegment; i < prefetchEnd && starts_[i] < clamped.upperBound; ++i) {
    const Segment& segment = segments_[i];
    const AudioBlock& block = *segment.block;
    const QuarSummary& q = block.summary();
    const int64_t a = segment.offset + std::max<int64_t>(clamped.lowerBound - starts_[i], 0);
    const int64_t b = segment.offset + std::min(clamped.upperBound - starts_[i], segment.count);
    if (a == 0 && b == block.frameCount()) {
      for (const auto* values : {&q.blockMin, &q.blockMax, &q.blockSumSquares}) __builtin_prefetch(values->data() + c);
      continue;
    }
    const auto firstBin = static_cast<size_t>(a / bin);
    for (const auto* values : {&q.mins, &q.maxs, &q.sumSquares}) __builtin_prefetch((*values)[c].data() + firstBin);
    for (const auto* values : {&q.groupMins, &q.groupMaxs, &q.groupSumSquares})
      __builtin_prefetch((*values)[c].data() + firstBin / group);
    const float* s = block.channel(channel);
    for (int64_t f = a; f < std::min(b, (a + bin - 1) / bin * bin); f += 16) __builtin_prefetch(s + f);
    for (int64_t f = std::max(a, b / bin * bin); f < b; f += 16) __builtin_prefetch(s + f);
  }

  size_t i = firstSegment;
  int64_t pos = clamped.lowerBound;
  while (pos < clamped.upperBound && i < segments_.size()) {
    const Segment& segment = segments_[i];
    const AudioBlock& block = *segment.block;
    const QuarSummary& q = block.summary();
    const float* s = block.channel(channel);
    const int64_t local = pos - starts_[i];
    const int64_t end = std::min(clamped.upperBound - starts_[i], segment.count);
    const int64_t a = segment.offset + local;
    const int64_t b = segment.offset + end;
    if (a == 0 && b == block.frameCount()) {
      result.merge(q.blockMin[c], q.blockMax[c], q.blockSumSquares[c], b);
    } else {
      const int64_t first = (a + bin - 1) / bin;
      const int64_t last = b / bin;
      if (first < last) {
        if (a < bin * first) mergeExactly(result, s, a, bin * first);
        // Whole groups where they fit, single bins elsewhere.
        for (int64_t k = first; k < last;) {
          if (k % group == 0 && k + group <= last) {
            const auto g = static_cast<size_t>(k / group);
            result.merge(q.groupMins[c][g], q.groupMaxs[c][g], q.groupSumSquares[c][g],
                         std::min(block.frameCount() - bin * k, bin * group));
            k += group;
          } else {
            const auto kb = static_cast<size_t>(k);
            result.merge(q.mins[c][kb], q.maxs[c][kb], q.sumSquares[c][kb], std::min(block.frameCount() - bin * k, bin));
            ++k;
          }
        }
        if (bin * last < b) mergeExactly(result, s, bin * last, b);
      } else if (a < b) {
        mergeExactly(result, s, a, b);
      }
    }
    pos += end - local;
    ++i;
  }
  return result;
}

} // namespace quar
