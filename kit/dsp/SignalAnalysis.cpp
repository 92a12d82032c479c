#include "dsp/SignalAnalysis.h"

#include <algorithm>
#include <cmath>

#include "base/FiniteSample.h"
#include "base/QuarError.h"
#include "dsp/ParallelFor.h"

namespace quar {

namespace {

constexpr int64_t kChunk = 65536;
// Frames one worker measures in order; pieces are measured concurrently.
constexpr int64_t kPiece = 16 * kChunk;
// Pieces measured between two progress checks: a few milliseconds of work per piece.
constexpr int64_t kPiecesPerCheck = 16;

// The measurements of one piece of the range, per channel.
struct PieceStats {
  std::vector<float> peak;
  std::vector<int64_t> peakFrame;
  std::vector<double> sums, squares;
};

PieceStats measure(const AudioSource& source, FrameRange piece, size_t channels) {
  PieceStats stats{std::vector<float>(channels, 0.0f), std::vector<int64_t>(channels, piece.lowerBound),
                   std::vector<double>(channels, 0.0), std::vector<double>(channels, 0.0)};
  source.forEachChunk(piece, kChunk, [&](ChannelViews chunk, int64_t firstFrame) {
    for (size_t c = 0; c < channels; ++c) {
      const std::span<const float> samples = chunk[c];
      for (size_t i = 0; i < samples.size(); ++i) {
        const float magnitude = std::fabs(finiteOrZero(samples[i]));
        if (magnitude > stats.peak[c]) {
          stats.peak[c] = magnitude;
          stats.peakFrame[c] = firstFrame + static_cast<int64_t>(i);
        }
      }
      for (const float value : samples) {
        const float sample = finiteOrZero(value);
        stats.sums[c] += sample;
        stats.squares[c] += static_cast<double>(sample) * sample;
      }
    }
  });
  return stats;
}

} // namespace

SignalStats SignalAnalysis::stats(const AudioSource& source, std::optional<FrameRange> range,
                                  const std::function<bool(double)>& progress) {
  const FrameRange full = source.fullRange();
  const FrameRange clampedRange = range.value_or(full).clamped(full);
  const auto channels = static_cast<size_t>(std::max(source.channelCount(), 0));

  SignalStats stats;
  stats.peak.assign(channels, 0.0f);
  stats.peakFrame.assign(channels, clampedRange.isEmpty() ? 0 : clampedRange.lowerBound);
  std::vector<double> sums(channels, 0.0), squares(channels, 0.0);

  // Pieces are measured concurrently and combined in order: a later piece's peak wins only
  // when larger, and each piece's sums join the totals in turn.
  std::vector<PieceStats> pieces(static_cast<size_t>((clampedRange.count() + kPiece - 1) / kPiece));
  const auto measurePiece = [&](int64_t index) {
    const int64_t start = clampedRange.lowerBound + index * kPiece;
    pieces[static_cast<size_t>(index)] = measure(source, {start, std::min(start + kPiece, clampedRange.upperBound)}, channels);
  };
  if (progress) {
    if (!progress(0)) throw CancellationError();
    parallelForBatches(static_cast<int64_t>(pieces.size()), kPiecesPerCheck, measurePiece, progress);
  } else {
    parallelFor(static_cast<int64_t>(pieces.size()), pieces.size() > 1, measurePiece);
  }
  for (const PieceStats& piece : pieces)
    for (size_t c = 0; c < channels; ++c) {
      if (piece.peak[c] > stats.peak[c]) {
        stats.peak[c] = piece.peak[c];
        stats.peakFrame[c] = piece.peakFrame[c];
      }
      sums[c] += piece.sums[c];
      squares[c] += piece.squares[c];
    }

  const auto count = static_cast<double>(std::max<int64_t>(clampedRange.count(), 1));
  for (size_t c = 0; c < channels; ++c) {
    stats.rms.push_back(std::sqrt(squares[c] / count));
    stats.dcOffset.push_back(sums[c] / count);
  }
  return stats;
}

} // namespace quar
