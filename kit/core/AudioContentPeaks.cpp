#include <algorithm>

#include "base/Precondition.h"
#include "core/AudioContent.h"

namespace quar {

namespace {

// Folds samples[begin ..< end] into `result` exactly.
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

  size_t i = segmentIndex(clamped.lowerBound);
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
        for (int64_t k = first; k < last; ++k) {
          const auto kb = static_cast<size_t>(k);
          result.merge(q.mins[c][kb], q.maxs[c][kb], q.sumSquares[c][kb], std::min(block.frameCount() - bin * k, bin));
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
