#include <algorithm>

#include "core/AudioContent.h"
#include "core/AudioContentBuilder.h"

namespace quar {

namespace {

// Compaction acts on contents of at least this many segments...
constexpr size_t minimumSegments = 9;
// ...of which more than this many are small.
constexpr int64_t tolerableSmallSegments = 16;

} // namespace

void AudioContent::compactIfFragmented() {
  if (segments_.size() < minimumSegments) return;
  const auto small = std::count_if(segments_.begin(), segments_.end(),
                                   [](const Segment& s) { return s.count < smallSegmentLimit; });
  if (small <= tolerableSmallSegments) return;

  std::vector<Segment> result;
  std::vector<Segment> run;
  int64_t runFrames = 0;
  const auto closeRun = [&] {
    if (run.size() >= 2) {
      const AudioContent pieces(channelCount_, sampleRate_, std::move(run));
      const AudioContent copy = AudioContent::copying(pieces);
      result.insert(result.end(), copy.segments_.begin(), copy.segments_.end());
    } else {
      result.insert(result.end(), run.begin(), run.end());
    }
    run.clear();
    runFrames = 0;
  };
  for (const auto& segment : segments_) {
    if (segment.count < smallSegmentLimit) {
      run.push_back(segment);
      runFrames += segment.count;
      if (runFrames >= AudioBlock::preferredFrameCount) closeRun();
    } else {
      closeRun();
      result.push_back(segment);
    }
  }
  closeRun();
  segments_ = std::move(result);
  reindex();
}

} // namespace quar
