#include "playback/PlaybackPrefetch.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr double aheadSeconds = 8;   // what the thread keeps resident ahead of the position
constexpr double startSeconds = 0.5;  // what the GUI thread pages in before playback starts or jumps
constexpr auto interval = std::chrono::milliseconds(100);

} // namespace

PlaybackPrefetch::PlaybackPrefetch(std::shared_ptr<RenderState> state)
    : state_(std::move(state)), thread_([this] { run(); }) {}

PlaybackPrefetch::~PlaybackPrefetch() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void PlaybackPrefetch::follow(std::shared_ptr<const quar::AudioContent> content, quar::FrameRange range, bool loop,
                              int64_t from) {
  Program program{std::move(content), range, loop};
  if (program.content) pageIn(program, from, startSeconds);
  {
    std::lock_guard lock(mutex_);
    std::swap(program_, program);
  }
  wake_.notify_one();
}

void PlaybackPrefetch::jumpTo(int64_t frame) {
  Program program;
  {
    std::lock_guard lock(mutex_);
    program = program_;
  }
  if (program.content) pageIn(program, frame, startSeconds);
  wake_.notify_one();
}

void PlaybackPrefetch::setLooping(bool loop) {
  std::lock_guard lock(mutex_);
  program_.loop = loop;
}

void PlaybackPrefetch::pageIn(const Program& program, int64_t from, double seconds) {
  const quar::FrameRange range = program.range;
  if (range.isEmpty()) return;
  const auto frames = static_cast<int64_t>(seconds * program.content->sampleRate());
  const int64_t start = std::clamp(from, range.lowerBound, range.upperBound);
  const int64_t end = std::min(start + frames, range.upperBound);
  program.content->pageIn({start, end});
  if (program.loop && start + frames > range.upperBound)
    program.content->pageIn({range.lowerBound, std::min(range.lowerBound + start + frames - range.upperBound,
                                                        range.upperBound)});
}

void PlaybackPrefetch::run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (!program_.content) {
      wake_.wait(lock);
      continue;
    }
    Program program = program_;
    lock.unlock();
    // A seek the render thread has not taken yet was paged in by jumpTo on the GUI thread.
    const int64_t position = state_->position.load(std::memory_order_relaxed);
    pageIn(program, position, aheadSeconds);
    program = {};  // may free blocks, outside the lock
    lock.lock();
    wake_.wait_for(lock, interval);
  }
}
