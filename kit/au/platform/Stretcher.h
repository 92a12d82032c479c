// Stretcher: one offline time-pitch render in progress: the time-pitch units driven through
// render lanes (one for all channels, or one mono lane per channel when the unit cannot take
// them together), fed from a source range followed by endless silence, and a pilot lane on a
// click track whose drift tracker corrects the rate of every unit. Built for one render and
// used once, by one thread at a time; each render call runs the lanes and the pilot side by side
// on the shared worker pool (the source is read concurrently) and allocates only when a unit asks
// for more input at once than the feeders hold. SourceFeeder and ClickFeeder serve the units'
// input requests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "au/DriftTracker.h"
#include "au/platform/RenderLane.h"
#include "base/AudioSource.h"

namespace quar {

// Hands buffer `index` of an input request `frames` samples at `from`: a buffer without data is
// pointed at `from`, any other gets a copy. Either way it then holds one channel of `frames`.
void provide(AudioBufferList& list, uint32_t index, const float* from, uint32_t frames);

// Serves a unit's input requests, in order and without gaps, from `range` of the source's
// channels `channelIndices` (in lane channel order), then silence.
class SourceFeeder {
public:
  static constexpr int64_t initialCapacity = 32768;  // frames per scratch buffer

  SourceFeeder(const AudioSource& source, FrameRange range, std::vector<int> channelIndices);
  void fill(AudioBufferList& list, uint32_t frames);
  int64_t position() const { return position_; }  // frames handed out so far

private:
  const AudioSource& source_;
  const FrameRange range_;
  const std::vector<int> channelIndices_;
  int64_t position_ = 0;
  std::vector<std::vector<float>> scratch_;  // one per source channel
  std::vector<float*> scratchPointers_;
  int64_t capacity_ = initialCapacity;
};

// Serves a mono click track: 1.0 at every multiple of `period` from `period` on (never at 0).
class ClickFeeder {
public:
  static constexpr int64_t initialCapacity = 32768;

  explicit ClickFeeder(int64_t period);
  void fill(AudioBufferList& list, uint32_t frames);
  int64_t position() const { return position_; }

  const int64_t period;

private:
  int64_t position_ = 0;
  std::vector<float> scratch_;
  int64_t capacity_ = initialCapacity;
};

class Stretcher {
public:
  static constexpr int64_t maxChunk = 4096;  // frames per render call

  // Makes the units (throws their instantiation, format and frame-limit errors), lanes, feeders,
  // pilot and tracker. The source must outlive the stretcher; `range` lies inside it.
  Stretcher(const AudioSource& source, FrameRange range, double rate, double pitchCents, DriftTracker::Mode mode);
  Stretcher(const Stretcher&) = delete;
  Stretcher& operator=(const Stretcher&) = delete;

  // Renders `frames` ([1, maxChunk]) output frames into `into`, one pointer per source channel
  // (fewer stops the program).
  // Throws QuarError::encodeFailed when a unit fails to render.
  void render(int64_t frames, std::span<float* const> into);

  // For each lane, the source channels it carries.
  const std::vector<std::vector<int>>& laneChannels() const { return laneChannels_; }
  const DriftTracker& tracker() const { return *tracker_; }
  int64_t rendered() const { return rendered_; }

private:
  std::vector<std::unique_ptr<RenderLane>> lanes_;
  std::vector<std::vector<int>> laneChannels_;
  std::unique_ptr<RenderLane> pilot_;
  std::vector<PlatformParameterTree*> rateParameters_;  // address 0 of each lane unit, then the pilot's
  std::optional<DriftTracker> tracker_;
  const double rate_;
  const int channelCount_;
  int64_t rendered_ = 0;
};

} // namespace quar
