#include "editor/Transport.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

#include "base/Decibels.h"
#include "dsp/Loudness.h"
#include "platform/Observable.h"

using quar::Decibels;
using quar::FrameRange;

namespace {

constexpr int transportIntervalMs = 33;  // 1/30 s
constexpr double meterFallDB = 2.0 / 3;  // per tick: 20 dB per second
constexpr double holdFallDB = 0.5;       // every holdFallTicks ticks
constexpr int64_t holdFallTicks = 45;
constexpr double emptyWindowDB = -120;

} // namespace

Transport::Transport(std::function<void()> tick, QObject* parent) : QObject(parent), tick_(std::move(tick)) {}

Transport::~Transport() = default;

void Transport::setIsPlaying(bool playing) { assignObserved(this, isPlaying_, playing, Property::isPlaying); }

void Transport::setIsLooping(bool looping) {
  assignObserved(this, isLooping_, looping, Property::isLooping);
  player_.setLooping(looping);
}

void Transport::setPlayhead(int64_t frame) { assignObserved(this, playhead_, frame, Property::playhead); }

void Transport::setMeter(MeterReading meter) { assignObserved(this, meter_, std::move(meter), Property::meter); }

void Transport::started(int64_t start, int channelCount) {
  playOrigin_ = start;
  setPlayhead(start);
  setIsPlaying(true);
  setMeter(MeterReading::resting(channelCount));
  meterTick_ = 0;
  if (!timer_) {
    timer_ = new QTimer(this);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(transportIntervalMs);
    connect(timer_, &QTimer::timeout, this, [this] { tick_(); });
  }
  timer_->start();
}

void Transport::halt() {
  player_.stop();
  setIsPlaying(false);
  if (timer_) timer_->stop();
}

void Transport::updateMeters(const quar::AudioContent& content, const quar::GainEnvelope& master, double gainDB) {
  const int64_t pos = playhead_;
  const int64_t n = content.frameCount();
  const double rate = content.sampleRate();
  const int channels = content.channelCount();
  const double offset = gainDB + master.gainDB(static_cast<double>(pos));
  // The `seconds` before the playhead, within the content.
  auto window = [&](double seconds) {
    const int64_t frames = std::max<int64_t>(static_cast<int64_t>(rate * seconds), 1);
    const int64_t upper = std::clamp<int64_t>(pos, 0, n);
    return FrameRange(std::clamp<int64_t>(pos - frames, 0, upper), upper);
  };

  MeterReading reading =
      meter_.peakDB.size() == static_cast<size_t>(channels) ? meter_ : MeterReading::resting(channels);
  const FrameRange peakWindow = window(0.05);
  for (int c = 0; c < channels; ++c) {
    const auto i = static_cast<size_t>(c);
    const quar::PeakSummary summary = content.peaks(c, peakWindow);
    double peak = emptyWindowDB, rms = emptyWindowDB;
    if (!summary.isEmpty()) {
      const float amplitude = std::max(std::abs(summary.min), std::abs(summary.max));
      peak = Decibels::fromLinear(amplitude) + offset;
      rms = Decibels::fromLinear(summary.rms()) + offset;
    }
    reading.peakDB[i] = std::max(reading.peakDB[i] - meterFallDB, peak);
    reading.rmsDB[i] = std::max(reading.rmsDB[i] - meterFallDB, rms);
    if (peak >= reading.holdDB[i])
      reading.holdDB[i] = peak;
    else if (meterTick_ % holdFallTicks == 0)
      reading.holdDB[i] -= holdFallDB;
  }
  if (const FrameRange momentary = window(0.4); !momentary.isEmpty()) {
    reading.momentaryLUFS = quar::LoudnessAnalyzer::windowLoudness(content, momentary) + offset;
    reading.maxMomentaryLUFS = std::max(reading.maxMomentaryLUFS, reading.momentaryLUFS);
  }
  if (meterTick_ % 3 == 0)
    if (const FrameRange shortTerm = window(3.0); !shortTerm.isEmpty())
      reading.shortTermLUFS = quar::LoudnessAnalyzer::windowLoudness(content, shortTerm) + offset;
  ++meterTick_;
  setMeter(std::move(reading));
}
