#include "dsp/effects/processors/EQProcessor.h"

#include <algorithm>
#include <cmath>

#include "base/Decibels.h"
#include "base/FiniteSample.h"
#include "base/Numbers.h"
#include "dsp/ScopedFlushToZero.h"
#include "dsp/effects/processors/EQDesign.h"

namespace quar {

namespace {

constexpr double glideSeconds = 0.015;
constexpr double fadeSeconds = 0.02;
constexpr double flatHoldSeconds = 0.25;

} // namespace

EQProcessor::EQProcessor() { apply(EQSettings()); }

void EQProcessor::apply(const EffectSettings& settings) {
  const auto* eq = std::get_if<EQSettings>(&settings);
  if (!eq) return;
  const size_t used = std::min(eq->bands.size(), size_t{bandSlots});
  for (size_t i = 0; i < bandSlots; ++i) {
    Band& band = bands_[i];
    if (i >= used) {
      band.targetEnabled = false;
      continue;
    }
    const EQBand& source = eq->bands[i];
    Shape& target = band.target;
    band.targetEnabled = source.isEnabled;
    target.type = source.type;
    target.sections = usesSlope(source.type) ? EQDesign::cutSections(source.slopeDBPerOctave) : 1;
    target.frequency = std::isfinite(source.frequency) ? std::max(source.frequency, 5.0) : 1000.0;
    target.gainDB = std::isfinite(source.gainDB) ? clamped(source.gainDB, -48.0, 48.0) : 0.0;
    target.q = std::isfinite(source.q) ? clamped(source.q, 0.025, 40.0) : 0.707;
    target.logF = std::log(target.frequency);
    target.logQ = std::log(target.q);
  }
  targetOutDB_ = clamped(std::isfinite(eq->outputGainDB) ? eq->outputGainDB : 0.0, -48.0, 48.0);
}

void EQProcessor::prepare(double sampleRate, int channelCount, int maxFrames) {
  maxFrames_ = std::max(maxFrames, 1);
  channelCount_ = std::max(channelCount, 0);
  state_.assign(static_cast<size_t>(std::max(channelCount_, 1)) * statePerChannel, 0.0);
  pairBuffer_.assign(static_cast<size_t>(maxFrames_) * 2, 0.0);
  sampleRate_ = preparedSampleRate(sampleRate);
  prepared_ = true;
  reset();
}

void EQProcessor::reset() {
  std::fill(state_.begin(), state_.end(), 0.0);
  for (int b = 0; b < bandSlots; ++b) {
    Band& band = bands_[b];
    designInto(coef_, b, band.target);
    designInto(coefEnd_, b, band.target);
    band.current = band.target;
    band.running = band.targetEnabled;
    band.mix = 1;
    band.idle = isFlat(b) ? 0 : idleFrames();
    ramping_[b] = false;
  }
  activeCount_ = 0;
  outDB_ = targetOutDB_;
  gainStart_ = Decibels::toLinear(outDB_);
  gainStep_ = 0;
}

void EQProcessor::process(float* const* channels, int channelCount, int frameCount) {
  if (!prepared_ || frameCount < 1 || state_.empty()) return;
  ScopedFlushToZero flushToZero;
  const int c = std::max(std::min(channelCount_, channelCount), 0);
  for (int offset = 0; offset < frameCount;) {
    const int n = std::min(isMoving() ? movingChunk : maxFrames_, frameCount - offset);
    updateChunk(n);
    if (activeCount_ >= 1 || gainStart_ != 1 || gainStep_ != 0) {
      if (needsGeneralPath())
        runGeneral(channels, c, offset, n);
      else
        runSteady(channels, c, offset, n);
    }
    commitChunk();
    offset += n;
  }
}

void EQProcessor::designInto(std::array<double, sectionSlots * 5>& target, int band, const Shape& shape) const {
  const BiquadCascade4 cascade =
      EQDesign::band(shape.type, shape.frequency, shape.gainDB, shape.q, shape.sections * 12, sampleRate_);
  double* out = target.data() + band * sectionsPerBand * 5;
  for (const BiquadCoefficients& s : cascade.sections) {
    out[0] = s.b0;
    out[1] = s.b1;
    out[2] = s.b2;
    out[3] = s.a1;
    out[4] = s.a2;
    out += 5;
  }
}

void EQProcessor::zeroBandState(int band) {
  const size_t channels = state_.size() / statePerChannel;
  for (size_t ch = 0; ch < channels; ++ch) {
    double* first = state_.data() + ch * statePerChannel + band * sectionsPerBand * 2;
    std::fill(first, first + sectionsPerBand * 2, 0.0);
  }
}

bool EQProcessor::isFlat(int band) const {
  const int sections = bands_[band].current.sections;
  for (const auto* coefficients : {&coef_, &coefEnd_}) {
    const double* c = coefficients->data() + band * sectionsPerBand * 5;
    for (int s = 0; s < sections; ++s, c += 5)
      if (!EQDesign::isFlat({c[0], c[1], c[2], c[3], c[4]})) return false;
  }
  return true;
}

int64_t EQProcessor::idleFrames() const { return static_cast<int64_t>(flatHoldSeconds * sampleRate_); }

bool EQProcessor::isMoving() const {
  if (outDB_ != targetOutDB_) return true;
  for (const Band& band : bands_) {
    if (!band.running) {
      if (band.targetEnabled) return true;
      continue;
    }
    const bool sameForm = band.current.sameForm(band.target);
    const bool sameParameters = band.current.sameParameters(band.target);
    if (band.targetEnabled && sameForm) {
      if (band.mix != 1 || !sameParameters) return true;
    } else if (band.mix != 0 || (sameForm && !sameParameters)) {
      return true;
    }
  }
  return false;
}

void EQProcessor::updateChunk(int n) {
  const double chunksPerSecond = sampleRate_ / n;
  const double g = chunksPerSecond > 0 ? std::exp(-1 / (chunksPerSecond * glideSeconds)) : 0.0;
  const double mixStep = n / (fadeSeconds * sampleRate_);
  activeCount_ = 0;

  for (int b = 0; b < bandSlots; ++b) {
    Band& band = bands_[b];
    ramping_[b] = false;
    if (!band.running && !band.targetEnabled) continue;

    if (!band.running || (band.mix == 0 && (!band.targetEnabled || !band.current.sameForm(band.target)))) {
      zeroBandState(b);
      if (!band.targetEnabled) {
        band.running = false;
        continue;
      }
      designInto(coef_, b, band.target);
      designInto(coefEnd_, b, band.target);
      band.current = band.target;
      band.running = true;
      band.idle = 0;
      band.mix = 0;
    }

    Shape& current = band.current;
    const Shape& target = band.target;
    const bool sameForm = current.sameForm(target);
    if (sameForm && !current.sameParameters(target)) {
      const double logF = target.logF + g * (current.logF - target.logF);
      const double gainDB = target.gainDB + g * (current.gainDB - target.gainDB);
      const double logQ = target.logQ + g * (current.logQ - target.logQ);
      if (std::abs(logF - target.logF) < 1e-6 && std::abs(gainDB - target.gainDB) < 1e-5 &&
          std::abs(logQ - target.logQ) < 1e-6) {
        current = target;
      } else {
        current.logF = logF;
        current.frequency = std::exp(logF);
        current.gainDB = gainDB;
        current.logQ = logQ;
        current.q = std::exp(logQ);
      }
      designInto(coefEnd_, b, current);
      const int first = b * sectionsPerBand * 5;
      for (int k = first; k < first + current.sections * 5; ++k) step_[k] = (coefEnd_[k] - coef_[k]) / n;
      ramping_[b] = true;
    }

    const bool flat = isFlat(b);
    if (!flat) {
      band.idle = idleFrames();
    } else if (band.idle > 0) {
      band.idle -= n;
      if (band.idle < 1) zeroBandState(b);
    }

    const double targetMix = band.targetEnabled && sameForm ? 1.0 : 0.0;
    const double newMix =
        band.mix < targetMix ? std::min(band.mix + mixStep, targetMix) : std::max(band.mix - mixStep, targetMix);
    if ((!flat || band.idle > 0) && (band.mix != 0 || newMix != 0)) {
      ActiveBand& active = active_[activeCount_++];
      active.slot = b * sectionsPerBand;
      active.sections = current.sections;
      active.ramp = ramping_[b];
      active.mixing = !(band.mix == 1 && newMix == 1);
      active.mix0 = band.mix;
      active.mixStep = (newMix - band.mix) / n;
    }
    band.mix = newMix;
  }

  gainStart_ = Decibels::toLinear(outDB_);
  if (outDB_ != targetOutDB_) {
    double next = targetOutDB_ + g * (outDB_ - targetOutDB_);
    if (std::abs(next - targetOutDB_) < 1e-5) next = targetOutDB_;
    outDB_ = next;
    gainStep_ = (Decibels::toLinear(next) - gainStart_) / n;
  } else {
    gainStep_ = 0;
  }
}

bool EQProcessor::needsGeneralPath() const {
  if (gainStep_ != 0) return true;
  for (int a = 0; a < activeCount_; ++a)
    if (active_[a].ramp || active_[a].mixing) return true;
  return false;
}

void EQProcessor::runGeneral(float* const* channels, int channelCount, int offset, int n) {
  const bool scaled = gainStart_ != 1 || gainStep_ != 0;
  for (int ch = 0; ch < channelCount; ++ch) {
    float* samples = channels[ch] + offset;
    double* state = state_.data() + static_cast<size_t>(ch) * statePerChannel;
    for (int j = 0; j < n; ++j) {
      const double t = j + 1;
      const float in = samples[j];
      double x = finiteOrZero(in);
      for (int a = 0; a < activeCount_; ++a) {
        const ActiveBand& active = active_[a];
        const double dry = x;
        for (int s = active.slot; s < active.slot + active.sections; ++s) {
          const double* c = coef_.data() + s * 5;
          double b0 = c[0], b1 = c[1], b2 = c[2], a1 = c[3], a2 = c[4];
          if (active.ramp) {
            const double* d = step_.data() + s * 5;
            b0 += d[0] * t;
            b1 += d[1] * t;
            b2 += d[2] * t;
            a1 += d[3] * t;
            a2 += d[4] * t;
          }
          double* z = state + s * 2;
          const double y = b0 * x + z[0];
          z[0] = z[1] + b1 * x - a1 * y;
          z[1] = b2 * x - a2 * y;
          x = y;
        }
        if (active.mixing) x = dry + (x - dry) * (active.mix0 + active.mixStep * t);
      }
      if (scaled) x *= gainStart_ + gainStep_ * t;
      samples[j] = std::isfinite(in) ? static_cast<float>(x) : in;
    }
  }
}

void EQProcessor::runSteady(float* const* channels, int channelCount, int offset, int n) {
  flatCount_ = 0;
  for (int a = 0; a < activeCount_; ++a) {
    const ActiveBand& active = active_[a];
    for (int s = active.slot; s < active.slot + active.sections; ++s) {
      std::copy_n(coef_.data() + s * 5, 5, flatCoef_.data() + flatCount_ * 5);
      flatSlot_[flatCount_++] = s * 2;
    }
  }
  for (int ch = 0; ch < channelCount; ch += 2) {
    if (channelCount - ch >= 2)
      runSteadyLanes<2>(channels, ch, offset, n);
    else
      runSteadyLanes<1>(channels, ch, offset, n);
  }
}

// Runs the gathered sections over `Lanes` channels at once, section after section over the
// chunk; each section sees the same input sequence as on the general path.
template <int Lanes>
void EQProcessor::runSteadyLanes(float* const* channels, int firstChannel, int offset, int n) {
  double* buffer = pairBuffer_.data();
  for (int j = 0; j < n; ++j)
    for (int l = 0; l < Lanes; ++l) buffer[j * Lanes + l] = finiteOrZero(channels[firstChannel + l][offset + j]);
  for (int s = 0; s < flatCount_; ++s) {
    const double* c = flatCoef_.data() + s * 5;
    const double b0 = c[0], b1 = c[1], b2 = c[2], a1 = c[3], a2 = c[4];
    double* state[Lanes];
    double z1[Lanes], z2[Lanes];
    for (int l = 0; l < Lanes; ++l) {
      state[l] = state_.data() + static_cast<size_t>(firstChannel + l) * statePerChannel + flatSlot_[s];
      z1[l] = state[l][0];
      z2[l] = state[l][1];
    }
    for (int j = 0; j < n; ++j) {
      for (int l = 0; l < Lanes; ++l) {
        const double x = buffer[j * Lanes + l];
        const double y = b0 * x + z1[l];
        z1[l] = z2[l] + b1 * x - a1 * y;
        z2[l] = b2 * x - a2 * y;
        buffer[j * Lanes + l] = y;
      }
    }
    for (int l = 0; l < Lanes; ++l) {
      state[l][0] = z1[l];
      state[l][1] = z2[l];
    }
  }
  const bool scaled = gainStart_ != 1;
  for (int j = 0; j < n; ++j) {
    for (int l = 0; l < Lanes; ++l) {
      const double y = buffer[j * Lanes + l];
      float& sample = channels[firstChannel + l][offset + j];
      if (std::isfinite(sample)) sample = static_cast<float>(scaled ? y * gainStart_ : y);
    }
  }
}

void EQProcessor::commitChunk() {
  for (int b = 0; b < bandSlots; ++b) {
    if (!ramping_[b]) continue;
    const int first = b * sectionsPerBand * 5;
    std::copy_n(coefEnd_.data() + first, sectionsPerBand * 5, coef_.data() + first);
    ramping_[b] = false;
  }
}

} // namespace quar
