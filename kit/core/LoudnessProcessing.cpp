#include "core/LoudnessProcessing.h"

#include <algorithm>
#include <cmath>

#include "base/Precondition.h"
#include "core/AudioContentBuilder.h"
#include "core/Processing.h"
#include "dsp/Loudness.h"

namespace quar {
namespace {

constexpr double lookaheadMs = 2.0;
constexpr double releaseMs = 80.0;
constexpr double limiterShare = 0.7;
constexpr double maxExtraGainDB = 12;

} // namespace

LoudnessGainSearch::LoudnessGainSearch(double planGainDB, double targetLUFS, double tolerance, int maxPasses)
    : planGain_(planGainDB), target_(targetLUFS), tolerance_(tolerance), maxPasses_(maxPasses), gain_(planGainDB) {}

bool LoudnessGainSearch::advance(double measured) {
  if (!std::isfinite(measured) || std::fabs(target_ - measured) <= tolerance_) return false;
  double slope = 1;
  if (pass_ > 0 && std::fabs(measured - previousMeasured_) > 0.001)
    slope = std::clamp((gain_ - previousGain_) / (measured - previousMeasured_), 1.0, 4.0);
  const double next = gain_ + (target_ - measured) * slope;
  if (!(next <= planGain_ + maxExtraGainDB) || pass_ + 1 == maxPasses_) return false;
  previousMeasured_ = measured;
  previousGain_ = gain_;
  gain_ = next;
  ++pass_;
  return true;
}

AudioContent adjustingLoudness(const AudioContent& content, FrameRange range, const LoudnessNormalization::Plan& plan,
                               std::optional<double> targetLUFS, double ceilingDBTP, bool limit, double tolerance,
                               int maxPasses, const std::function<bool(double)>& progress) {
  QUAR_PRECONDITION(maxPasses >= 0, "maxPasses must not be negative");
  const FrameRange clamped = range.clamped(content.fullRange());
  if (!limit || !plan.needsLimiting) return applyingGain(content, plan.gainDB, clamped);
  if (maxPasses == 0) {
    if (progress) progress(1.0);
    return content;
  }

  LoudnessGainSearch search(plan.gainDB, targetLUFS.value_or(0), tolerance, maxPasses);
  const auto reporter = [&](double offset, double share) -> std::function<bool(double)> {
    if (!progress) return {};
    return [&progress, &search, offset, share, maxPasses](double q) {
      return progress((search.pass() + offset + share * q) / maxPasses);
    };
  };
  AudioContent candidate = content;
  for (;;) {
    AudioContentBuilder builder(content.channelCount(), content.sampleRate());
    TruePeakLimiter::render(content, clamped, search.gainDB(), ceilingDBTP, lookaheadMs, releaseMs,
                            reporter(0, limiterShare), [&](ChannelViews chunk) { builder.append(chunk); });
    candidate = content;
    candidate.replaceSubrange(clamped, builder.build());
    if (!targetLUFS) break;
    const double measured =
        LoudnessAnalyzer::analyze(candidate, clamped, std::nullopt, reporter(limiterShare, 1 - limiterShare)).integratedLUFS;
    if (!search.advance(measured)) break;
  }
  if (progress) progress(1.0);
  return candidate;
}

} // namespace quar
