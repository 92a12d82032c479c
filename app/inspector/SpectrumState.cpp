#include "inspector/SpectrumState.h"

#include <QPointer>

#include <algorithm>

#include "editor/EditorModel.h"
#include "platform/JobPool.h"
#include "platform/ObservationScope.h"
#include "platform/Observable.h"

std::string_view rawValue(FrequencyScale scale) { return scale == FrequencyScale::linear ? "linear" : "logarithmic"; }

std::string_view rawValue(AmplitudeScale scale) { return scale == AmplitudeScale::decibels ? "decibels" : "linear"; }

SpectrumState::SpectrumState(EditorModel* model, QObject* parent) : QObject(parent), model_(model) {
  liveTimer_.setTimerType(Qt::PreciseTimer);
  liveTimer_.setInterval(liveInterval);
  connect(&liveTimer_, &QTimer::timeout, this, [this] { liveUpdate(); });
  connect(model_, &EditorModel::changed, this, [this](EditorModel::Property property) {
    using P = EditorModel::Property;
    if (property == P::contentVersion || property == P::selection || property == P::cursor) followStaticKey(false);
  });
  connect(&model_->transport(), &Transport::changed, this, [this](Transport::Property property) {
    if (property != Transport::Property::isPlaying) return;
    followPlayState();
    followStaticKey(false);
  });
  followPlayState();
  followStaticKey(true);
}

quar::FrameRange SpectrumState::staticRange(const EditorModel& model) {
  if (const std::optional<quar::FrameRange> selection = model.selection()) return *selection;
  const quar::AudioContent& content = model.content();
  const int64_t frames = content.frameCount();
  const auto half = static_cast<int64_t>(content.sampleRate() * 0.5);
  const int64_t cursor = std::clamp<int64_t>(model.cursor(), 0, frames);
  return {std::max<int64_t>(0, cursor - half), std::min(cursor + half, frames)};
}

void SpectrumState::track(Property property) const { ObservationScope::record(this, property); }

int SpectrumState::fftSize() const { return track(Property::fftSize), fftSize_; }

void SpectrumState::setFFTSize(int size) {
  assignObserved(this, fftSize_, size, Property::fftSize);
  analyzer_.reset();
  setPeakHold({});
  followStaticKey(false);
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

SpectrumState::StaticKey SpectrumState::staticKey() const {
  const std::optional<quar::FrameRange> selection = model_->selection();
  return {model_->contentVersion(),
          selection ? selection->lowerBound : -1,
          selection ? selection->upperBound : -1,
          model_->cursor(),
          fftSize_,
          model_->transport().isPlaying() ? 1 : 0};
}

void SpectrumState::followStaticKey(bool force) {
  const StaticKey key = staticKey();
  if (!force && key_ == key) return;
  key_ = key;
  if (model_->transport().isPlaying() || model_->content().frameCount() < 1) return;
  updateAverage(model_->content(), staticRange(*model_));
}

void SpectrumState::followPlayState() {
  liveTimer_.stop();
  if (!model_->transport().isPlaying()) return;
  liveUpdate();
  liveTimer_.start();
}

void SpectrumState::liveUpdate() {
  if (!model_->transport().isPlaying()) {
    liveTimer_.stop();
    return;
  }
  mergeLive(ensureAnalyzer().spectrum(model_->content(), model_->transport().playhead()));
  accumulateHold();
}
