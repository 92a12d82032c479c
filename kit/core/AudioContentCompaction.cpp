#include <algorithm>
#include <iterator>

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
  const auto isSmall = [](const Segment& segment) { return segment.count < smallSegmentLimit; };
  if (std::count_if(segments_.begin(), segments_.end(), isSmall) <= tolerableSmallSegments) return;
  // Only runs of two or more small segments change; without one there is nothing to rebuild.
  const auto pair = std::adjacent_find(segments_.begin(), segments_.end(),
                                       [&](const Segment& a, const Segment& b) { return isSmall(a) && isSmall(b); });
  if (pair == segments_.end()) return;

  std::vector<Segment> result;
  std::vector<Segment> run;
  int64_t runFrames = 0;
  // Segments move rather than copy: their blocks' reference counts stay untouched.
  const auto closeRun = [&] {
    if (run.size() >= 2) {
      const AudioContent pieces(channelCount_, sampleRate_, std::move(run));
      AudioContent copy = AudioContent::copying(pieces);
      result.insert(result.end(), std::make_move_iterator(copy.segments_.begin()),
                    std::make_move_iterator(copy.segments_.end()));
    } else {
      result.insert(result.end(), std::make_move_iterator(run.begin()), std::make_move_iterator(run.end()));
    }
    run.clear();
    runFrames = 0;
  };
  for (auto& segment : segments_) {
    if (segment.count < smallSegmentLimit) {
      runFrames += segment.count;
      run.push_back(std::move(segment));
      if (runFrames >= AudioBlock::preferredFrameCount) closeRun();
    } else {
      closeRun();
      result.push_back(std::move(segment));
    }
  }
  closeRun();
  segments_ = std::move(result);
  reindex();
}

} // namespace quar
