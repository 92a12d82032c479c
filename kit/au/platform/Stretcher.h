// Stretcher: one offline time-pitch render in progress: the time-pitch units driven through
// render lanes (one for all channels, or one mono lane per channel when the unit cannot take
// them together), fed from a source range followed by endless silence, and a pilot lane on a
// click track whose drift tracker corrects the rate of every unit. Built for one render and
// used once, by one thread at a time; the lanes render on the calling thread or side by side on
// the shared worker pool (the source is read concurrently), the pilot and its tracker on a thread
// of the stretcher's own, which the lanes wait for only after a block that closes a click window,
// the only blocks after which the rate can change. Allocates only when a unit asks for more input
// at once than the feeders hold. SourceFeeder and ClickFeeder serve the units' input requests.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
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
  // Stops the pilot, abandoning the blocks it has not rendered yet.
  ~Stretcher();

  // Renders `frames` ([1, maxChunk]) output frames into `into`, one pointer per source channel
  // (fewer stops the program). The pilot renders the same block behind the lanes; a calibrating
  // stretcher waits for it after every block.
  // Throws QuarError::encodeFailed when a unit fails to render (a pilot failure by the next call
  // that waits for the pilot, or by `finish`).
  void render(int64_t frames, std::span<float* const> into);
  // Waits until the pilot has rendered every block so far; throws its failure.
  void finish();

  // For each lane, the source channels it carries.
  const std::vector<std::vector<int>>& laneChannels() const { return laneChannels_; }
  // Waits until the pilot has rendered every block so far.
  const DriftTracker& tracker() const;
  int64_t rendered() const { return rendered_; }

private:
  // The pilot thread: renders each queued block, feeds the tracker, and on an update sets the
  // pilot's own rate at once (the lanes' after they have waited for that block).
  void runPilot();
  // Waits for the pilot to catch up with the lanes; the lock is held on return.
  void waitForPilot(std::unique_lock<std::mutex>& lock) const;

  std::vector<std::unique_ptr<RenderLane>> lanes_;
  std::vector<std::vector<int>> laneChannels_;
  std::unique_ptr<RenderLane> pilot_;
  std::vector<PlatformParameterTree*> laneRateParameters_;  // address 0 of each lane unit that has it
  PlatformParameterTree* pilotRateParameter_ = nullptr;
  std::optional<DriftTracker> tracker_;
  const double rate_;
  const int channelCount_;
  const bool calibrating_;
  int64_t rendered_ = 0;
  int64_t nextWindow_ = 1;  // the first click whose window the lanes have not passed

  // Shared with the pilot thread, guarded by pilotMutex_.
  mutable std::mutex pilotMutex_;
  mutable std::condition_variable pilotChanged_;
  std::deque<int64_t> pilotQueue_;  // frames of each block the pilot has yet to render
  int64_t pilotBlocks_ = 0;         // blocks the pilot has finished
  int64_t queuedBlocks_ = 0;        // blocks handed to the pilot
  std::optional<float> pilotUpdate_;  // the corrected rate of the last block the pilot finished, if it changed
  std::exception_ptr pilotError_;
  bool stopping_ = false;
  std::thread pilotThread_;
};

} // namespace quar
