// RenderState: what the playback engine shares with the audio render thread: the program
// (what to play) behind an atomic pointer, the preview effects behind their own lock, the play
// position and the finished flag as atomics, and buffers prepared at construction.
//
// render() runs on the render thread: it allocates, frees and waits on nothing. It reads the
// published program in place, so an edit never costs it a cycle; it only tries the effects
// lock, and a busy one keeps the previous cycle's preview runtime. Everything else is for the
// GUI thread, which publishes each change as a new immutable program (a seek with the program
// it belongs to) and hands what it replaced (programs with their content and envelopes,
// runtimes) to the state's Retirement, which the render thread's cycles advance.
// Frames are content frames; at most 32 channels of slices of RenderSlice::maxFrames are rendered.
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
#include "playback/RenderSlice.h"
#include "playback/Retirement.h"

class RenderState {
public:
  static constexpr int maxChannels = 32;

  RenderState();
  RenderState(const RenderState&) = delete;
  RenderState& operator=(const RenderState&) = delete;

  // Render thread. Fills each non-null output (frameCount samples) with the program's content
  // from the play position on, enveloped, through the preview and scaled by the gain; more
  // content channels than outputs fold down, mono goes to the first two outputs. Sets
  // *isSilence when nothing plays (not playing, no content or an empty range).
  void render(int64_t frameCount, std::span<float* const> outputs, bool* isSilence);

  // GUI thread: the program the render thread plays from its next cycle on.
  const PlaybackProgram& program() const { return current_->program; }
  // GUI thread: the render thread plays `program` from its next cycle on, continuing from
  // `seek` when one is given (and clearing `finished`): it takes the two together. A seek not
  // yet taken carries over into the programs published after it. Retires the program replaced.
  void publish(PlaybackProgram program, std::optional<int64_t> seek = std::nullopt);
  // GUI thread: publishes the current program as `change` leaves it.
  template <typename Change>
  void update(Change&& change) {
    PlaybackProgram p = program();
    change(p);
    publish(std::move(p));
  }

  Guarded<PreviewEffectsState> effects;
  // The next content frame to render (relaxed); written by the render thread each cycle.
  std::atomic<int64_t> position{0};
  // Set by the render thread when the position leaves the range without loop.
  std::atomic<bool> finished{false};

  // GUI thread: the render thread continues from `frame` at its next cycle (and clears
  // `finished`), with the current program.
  void requestSeek(int64_t frame) { publish(program(), frame); }
  // The seek not yet taken by the render thread, if any (GUI thread, or the render thread
  // before its render call).
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
  // What the render thread reads: a program and the last seek requested, numbered from 1
  // (0: none yet).
  struct Published {
    PlaybackProgram program;
    int64_t seek = 0;
    uint64_t seekSerial = 0;
  };

  void renderCycle(int64_t frameCount, std::span<float* const> outputs, bool* isSilence);
  void mix(std::span<float* const> outputs, int channels, int64_t offset, int64_t frames, float gain);

  std::shared_ptr<const Published> current_;  // GUI thread: owns what `published_` points to
  // Stored by the GUI thread, loaded by the render thread within its cycles; sequentially
  // consistent with Retirement's cycle count, so that a cycle that completes two after the
  // one under way when a program was retired cannot have loaded it.
  std::atomic<const Published*> published_{nullptr};
  std::atomic<uint64_t> takenSeekSerial_{0};  // written by the render thread
  uint64_t seeksTaken_ = 0;                   // render thread only
  std::atomic<const PreviewRuntime*> runtimeInUse_{nullptr};  // stored under the effects lock
  PreviewRuntime* cachedRuntime_ = nullptr;                   // the render thread's, between cycles
  std::vector<std::vector<float>> scratch_;                   // maxChannels x RenderSlice::maxFrames
  std::vector<float*> scratchPointers_;
  std::vector<float> envelopeGains_;
  std::vector<float> envelopeScratch_;
  Retirement retirement_;
  bool streamStopped_ = false;  // GUI thread: no render cycle can run
};
