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

std::optional<std::vector<Segment>> AudioContent::compacted(const std::vector<Segment>& segments) const {
  if (segments.size() < minimumSegments) return std::nullopt;
  const auto isSmall = [](const Segment& segment) { return segment.count < smallSegmentLimit; };
  if (std::count_if(segments.begin(), segments.end(), isSmall) <= tolerableSmallSegments) return std::nullopt;
  // Only runs of two or more small segments change; without one there is nothing to rebuild.
  const auto pair = std::adjacent_find(segments.begin(), segments.end(),
                                       [&](const Segment& a, const Segment& b) { return isSmall(a) && isSmall(b); });
  if (pair == segments.end()) return std::nullopt;

  std::vector<Segment> result;
  std::vector<Segment> run;
  int64_t runFrames = 0;
  // Segments are copied, not moved: `segments` stay whole until the result has been made.
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
  for (const Segment& segment : segments) {
    if (isSmall(segment)) {
      runFrames += segment.count;
      run.push_back(segment);
      if (runFrames >= AudioBlock::preferredFrameCount) closeRun();
    } else {
      closeRun();
      result.push_back(segment);
    }
  }
  closeRun();
  return result;
}

} // namespace quar
