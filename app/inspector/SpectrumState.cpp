#include "inspector/SpectrumState.h"

#include <QPointer>

#include <algorithm>

#include "platform/JobPool.h"
#include "platform/ObservationScope.h"
#include "platform/Observable.h"

std::string_view rawValue(FrequencyScale scale) { return scale == FrequencyScale::linear ? "linear" : "logarithmic"; }

std::string_view rawValue(AmplitudeScale scale) { return scale == AmplitudeScale::decibels ? "decibels" : "linear"; }

SpectrumState::SpectrumState(QObject* parent) : QObject(parent) {}

void SpectrumState::track(Property property) const { ObservationScope::record(this, property); }

int SpectrumState::fftSize() const { return track(Property::fftSize), fftSize_; }

void SpectrumState::setFFTSize(int size) {
  assignObserved(this, fftSize_, size, Property::fftSize);
  analyzer_.reset();
  setPeakHold({});
}

FrequencyScale SpectrumState::frequencyScale() const { return track(Property::frequencyScale), frequencyScale_; }

void SpectrumState::setFrequencyScale(FrequencyScale scale) {
  assignObserved(this, frequencyScale_, scale, Property::frequencyScale);
}

AmplitudeScale SpectrumState::amplitudeScale() const { return track(Property::amplitudeScale), amplitudeScale_; }

void SpectrumState::setAmplitudeScale(AmplitudeScale scale) {
  assignObserved(this, amplitudeScale_, scale, Property::amplitudeScale);
}

bool SpectrumState::holdPeaks() const { return track(Property::holdPeaks), holdPeaks_; }

void SpectrumState::setHoldPeaks(bool hold) {
  assignObserved(this, holdPeaks_, hold, Property::holdPeaks);
  setPeakHold({});
}

const std::vector<float>& SpectrumState::spectrum() const { return track(Property::spectrum), spectrum_; }

void SpectrumState::setSpectrum(std::vector<float> spectrum) {
  assignObserved(this, spectrum_, std::move(spectrum), Property::spectrum);
}

const std::vector<float>& SpectrumState::peakHold() const { return track(Property::peakHold), peakHold_; }

void SpectrumState::setPeakHold(std::vector<float> levels) {
  assignObserved(this, peakHold_, std::move(levels), Property::peakHold);
}

quar::SpectrumAnalyzer& SpectrumState::ensureAnalyzer() {
  if (!analyzer_ || analyzer_->fftSize() != fftSize_)
    analyzer_ = std::make_unique<quar::SpectrumAnalyzer>(fftSize_, window);
  return *analyzer_;
}

void SpectrumState::mergeLive(const std::vector<float>& fresh) {
  if (spectrum_.size() != fresh.size()) {
    setSpectrum(fresh);
    return;
  }
  std::vector<float> merged(fresh.size());
  for (size_t i = 0; i < fresh.size(); ++i) merged[i] = std::max(spectrum_[i] - liveFallDB, fresh[i]);
  setSpectrum(std::move(merged));
}

void SpectrumState::accumulateHold() {
  if (!holdPeaks_) return;
  if (peakHold_.size() != spectrum_.size()) {
    setPeakHold(spectrum_);
    return;
  }
  std::vector<float> held(spectrum_.size());
  for (size_t i = 0; i < held.size(); ++i) held[i] = std::max(peakHold_[i] - holdFallDB, spectrum_[i]);
  setPeakHold(std::move(held));
}

void SpectrumState::updateAverage(quar::AudioContent content, quar::FrameRange range) {
  const int size = fftSize_;
  averageTask_.schedule([this, content = std::move(content), range, size](DebouncedTask::Ticket ticket) {
    JobPool::start([guard = QPointer<SpectrumState>(this), content, range, size, ticket] {
      quar::SpectrumAnalyzer analyzer(size, window);
      std::vector<float> average = analyzer.averagedSpectrum(content, range, averageFrames);
      JobPool::deliver(guard, [average = std::move(average), ticket](SpectrumState& state) {
        if (!ticket.isCurrent()) return;
        state.setSpectrum(average);
        state.setPeakHold({});
      });
    });
  });
}
