// A block store of the tests' own, in a temporary folder, that is the process-wide store while
// it lives and can be made full: fill() has it refuse every new block as a full disk does, so
// the tests of a full disk run without mounting one. fragmented(): a content that every splice
// compacts, so that even a splice makes blocks.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "core/AudioContent.h"
#include "core/BlockStore.h"

// The frames of `content` as segments of at most 1000 frames over its blocks.
inline quar::AudioContent fragmented(const quar::AudioContent& content) {
  std::vector<quar::Segment> segments;
  for (const quar::Segment& segment : content.segments())
    for (int64_t f = 0; f < segment.count; f += 1000)
      segments.push_back({segment.block, segment.offset + f, std::min<int64_t>(1000, segment.count - f)});
  return {content.channelCount(), content.sampleRate(), std::move(segments)};
}

class FullStore {
public:
  FullStore() : store_(quar::BlockStore::open(folder_.path().toStdString())) {
    EXPECT_TRUE(store_);
    quar::BlockStore::replaceCurrent(store_);
  }
  ~FullStore() { quar::BlockStore::replaceCurrent(nullptr); }
  FullStore(const FullStore&) = delete;
  FullStore& operator=(const FullStore&) = delete;

  // From now on no block finds room; the blocks made so far stay.
  void fill() { store_->setCapacity(store_->bytesInUse()); }
  void empty() { store_->setCapacity(std::numeric_limits<int64_t>::max()); }
  // What the editor says of an edit that found the disk full.
  QString alertText() const {
    return QStringLiteral("There isn\u2019t enough space on the disk for the audio in the folder \u201C%1\u201D.")
        .arg(folder_.path());
  }

private:
  QTemporaryDir folder_;
  std::shared_ptr<quar::BlockStore> store_;
};
