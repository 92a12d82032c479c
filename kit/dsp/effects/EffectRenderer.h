// EffectRenderer: offline rendering of a frame range of any AudioSource through an ordered
// chain of EffectProcessors in blocks of at most 4096 frames, with the chain's latency
// compensated (output frame k belongs to input frame range.lowerBound + k) and, on request,
// the chain's ring-out after the range (capped in seconds). Runs wholly on the calling thread
// with flush-to-zero set; the processors must not be in use elsewhere meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "base/AudioSource.h"
#include "base/EffectProcessor.h"
#include "base/FrameRange.h"

namespace quar {

struct EffectRenderer {
  // The largest block handed to a processor, and the maxFrames every processor is prepared for.
  static constexpr int blockSize = 4096;

  // Prepares and resets every processor for the source's format, then pushes `range` (inside
  // the source) and, with `includeTail`, min(the chain's tail, maxTailSeconds · rate) frames of
  // silence through the chain. `emit` receives consecutive blocks of output, one view per
  // channel, valid only during the call. `progress` (optional) gets the fraction done after
  // every block; false cancels with CancellationError. Errors of prepare, emit and cancellation
  // end the render; after the last block, a processor that counted failed blocks
  // (RenderFailureCounting) makes the render throw its failure. Returns the number of frames emitted: range.count() plus the tail.
  static int64_t render(const AudioSource& source, FrameRange range, std::span<EffectProcessor* const> chain,
                        bool includeTail, double maxTailSeconds, const std::function<bool(double)>& progress,
                        const std::function<void(ChannelViews)>& emit);
};

} // namespace quar
