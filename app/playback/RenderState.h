// RenderState: what the playback engine shares with the audio render thread: the program
// (what to play) and the preview effects behind their own locks, the play position and the
// finished flag as atomics, a pending seek, and buffers prepared at construction.
//
// render() runs on the render thread: it allocates, frees and waits on nothing (it only
// tries the locks: a busy program lock gives one cycle of silence, a busy effects lock keeps
// the previous cycle's preview runtime). Everything else is for the GUI thread, which writes
// the program under its lock, and hands what it replaced (content, envelopes, runtimes) to the
// state's Retirement, which the render thread's cycles advance.
// Frames are content frames; at most 32 channels of 4096-frame slices are rendered.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/Guarded.h"
#include "playback/PlaybackProgram.h"
#include "playback/PreviewEffectsState.h"
#include "playback/Retirement.h"

class RenderState {
public:
  static constexpr int maxChannels = 32;
  static constexpr int sliceFrames = 4096;

  RenderState();
  RenderState(const RenderState&) = delete;
  RenderState& operator=(const RenderState&) = delete;

  // Render thread. Fills each non-null output (frameCount samples) with the program's content
  // from the play position on, enveloped, through the preview and scaled by the gain; more
  // content channels than outputs fold down, mono goes to the first two outputs. Sets
  // *isSilence when nothing plays or the program lock is busy.
  void render(int64_t frameCount, std::span<float* const> outputs, bool* isSilence);

  Guarded<PlaybackProgram> program;
  Guarded<PreviewEffectsState> effects;
  // The next content frame to render (relaxed); written by the render thread each cycle.
  std::atomic<int64_t> position{0};
  // Set by the render thread when the position leaves the range without loop.
  std::atomic<bool> finished{false};

  // GUI thread: the render thread continues from `frame` at its next cycle (and clears
  // `finished`). Called with the program lock held, the seek belongs to that program.
  void requestSeek(int64_t frame) { pendingSeek_.store(frame); }
  // The seek not yet taken by the render thread, if any.
  std::optional<int64_t> pendingSeek() const;
  // True when the render thread set `finished` and has no seek pending.
  bool isFinished() const;
  // Render thread: the seeks taken so far.
  uint64_t seeksTaken() const { return seeksTaken_; }

  // GUI thread: replaces the published preview runtime under the effects lock and retires
  // the one it replaces.
  void publishRuntime(std::shared_ptr<PreviewRuntime> runtime);
  // GUI thread: whether the render thread may still run a preview runtime: it took one at its
  // last cycle that got the effects lock, and the stream has not stopped since. Once the
  // preview is off, this turns false at the next such cycle.
  bool holdsRuntime() const { return runtimeInUse_.load(std::memory_order_acquire) != nullptr; }
  // GUI thread: keeps `object` alive until the render thread can no longer hold it; frees it at
  // once while the stream is stopped.
  void retire(std::shared_ptr<const void> object);
  // GUI thread: frees what was retired at least two completed render cycles ago and is not
  // the runtime the render thread holds.
  void releaseRetired();
  // GUI thread, once the stream has stopped (no render cycle runs until it starts again):
  // drops the render thread's cached runtime and frees everything retired.
  void streamStopped();
  // GUI thread, before the stream starts: what is retired from now on waits for the render
  // thread again. Until the first streamStopped() it is assumed to run.
  void streamStarting() { streamStopped_ = false; }
  size_t retiredCount() const { return retirement_.count(); }
  // Render cycles completed so far.
  uint64_t completedCycles() const { return retirement_.completedCycles(); }

private:
  void renderCycle(int64_t frameCount, std::span<float* const> outputs, bool* isSilence);
  void mix(std::span<float* const> outputs, int channels, int64_t offset, int64_t frames, float gain);

  std::atomic<int64_t> pendingSeek_{-1};  // -1: none
  uint64_t seeksTaken_ = 0;  // render thread only
  std::atomic<const PreviewRuntime*> runtimeInUse_{nullptr};  // stored under the effects lock
  PreviewRuntime* cachedRuntime_ = nullptr;                   // the render thread's, between cycles
  std::vector<std::vector<float>> scratch_;                   // maxChannels x sliceFrames
  std::vector<float*> scratchPointers_;
  std::vector<float> envelopeGains_;
  std::vector<float> envelopeScratch_;
  Retirement retirement_;
  bool streamStopped_ = false;  // GUI thread: no render cycle can run
};
