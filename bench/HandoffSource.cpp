#include "HandoffSource.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "base/Precondition.h"

namespace quar::bench {

HandoffSource::HandoffSource(int channels, double sampleRate, int64_t frames)
    : channels_(channels), sampleRate_(sampleRate), frames_(frames) {}

void HandoffSource::read(FrameRange range, std::span<float* const> destinations) const {
  std::unique_lock lock(mutex_);
  QUAR_PRECONDITION(range.lowerBound == position_ && range.upperBound <= frames_,
                    "HandoffSource is read in order, without gaps");
  for (int64_t done = 0; done < range.count();) {
    changed_.wait(lock, [&] { return error_ || (!chunk_.empty() && taken_ < chunk_.front().size()); });
    if (error_) std::rethrow_exception(error_);
    const size_t length = chunk_.front().size();
    const size_t n = std::min(length - taken_, static_cast<size_t>(range.count() - done));
    for (size_t c = 0; c < destinations.size() && c < chunk_.size(); ++c)
      std::memcpy(destinations[c] + done, chunk_[c].data() + taken_, n * sizeof(float));
    done += static_cast<int64_t>(n);
    taken_ += n;
    position_ += static_cast<int64_t>(n);
    if (taken_ == length) changed_.notify_all();
  }
}

void HandoffSource::hand(ChannelViews chunk) {
  if (chunk.empty() || chunk.front().empty()) return;
  std::unique_lock lock(mutex_);
  if (closed_) throw std::runtime_error("the reader stopped");
  chunk_.assign(chunk.begin(), chunk.end());
  taken_ = 0;
  changed_.notify_all();
  changed_.wait(lock, [&] { return closed_ || taken_ == chunk_.front().size(); });
  chunk_.clear();
  if (closed_) throw std::runtime_error("the reader stopped");
}

void HandoffSource::fail(std::exception_ptr error) {
  std::lock_guard lock(mutex_);
  error_ = std::move(error);
  changed_.notify_all();
}

void HandoffSource::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

} // namespace quar::bench
