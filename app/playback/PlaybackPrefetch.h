// PlaybackPrefetch: keeps what playback is about to read resident in memory, so the render
// thread never waits for the disk when block samples were paged out: a thread of its own pages
// in the next seconds of the played content from the render state's position on (wrapping to
// the range's start when it loops), ten times a second. The GUI thread tells it what plays;
// it reads only the render state's position atomic and takes none of its locks.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "playback/RenderState.h"

class PlaybackPrefetch {
public:
  explicit PlaybackPrefetch(std::shared_ptr<RenderState> state);
  ~PlaybackPrefetch();
  PlaybackPrefetch(const PlaybackPrefetch&) = delete;
  PlaybackPrefetch& operator=(const PlaybackPrefetch&) = delete;

  // GUI thread: follows playback of `range` of `content` (null: nothing plays), first paging in
  // the start of what plays from `from` before it returns.
  void follow(std::shared_ptr<const quar::AudioContent> content, quar::FrameRange range, bool loop, int64_t from);
  // GUI thread: playback goes on from `frame`; its start is paged in before this returns.
  void jumpTo(int64_t frame);
  void setLooping(bool loop);

private:
  struct Program {
    std::shared_ptr<const quar::AudioContent> content;
    quar::FrameRange range;
    bool loop = false;
  };
  void run();
  static void pageIn(const Program& program, int64_t from, double seconds);

  std::shared_ptr<RenderState> state_;
  std::mutex mutex_;
  std::condition_variable wake_;
  Program program_;  // under mutex_
  bool quit_ = false;
  std::thread thread_;
};
