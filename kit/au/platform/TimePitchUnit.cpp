#include "au/platform/TimePitchUnit.h"

#include <algorithm>
#include <cmath>

#include <rubberband/RubberBandStretcher.h>

#include "au/platform/PlatformError.h"

namespace quar {

namespace {

using RubberBand::RubberBandStretcher;

// Largest input request: the finer engine asks for up to 16384 frames at a time at 192 kHz.
constexpr uint32_t inputCapacity = 16384;
constexpr double minRate = 1.0 / 32, maxRate = 32;
constexpr double maxCents = 2400;

PlatformParameter info(uint64_t address, const char* identifier, const char* name, uint32_t unit, float min,
                       float max, float value) {
  PlatformParameter p;
  p.address = address;
  p.identifier = identifier;
  p.keyPath = identifier;
  p.displayName = name;
  p.unit = unit;
  p.minValue = min;
  p.maxValue = max;
  p.value = value;
  p.flags = parameterFlag::isReadable | parameterFlag::isWritable;
  return p;
}

void checkFormat(const AudioStreamFormat& format) {
  if (format.channelCount < 1 || format.isInterleaved || !std::isfinite(format.sampleRate) || format.sampleRate <= 0)
    throw PlatformError(auStatus::formatNotSupported, "The time-pitch unit takes deinterleaved audio of at least "
                                                      "one channel at a positive sample rate.");
}

double timeRatio(double rate) { return 1.0 / std::clamp(std::isfinite(rate) ? rate : 1.0, minRate, maxRate); }

double pitchScale(double cents) {
  return std::exp2(std::clamp(std::isfinite(cents) ? cents : 0.0, -maxCents, maxCents) / 1200);
}

} // namespace

TimePitchUnit::TimePitchUnit() {
  inputFormat_ = outputFormat_ = {44100, 2, false, std::nullopt};
  const PlatformParameter infos[] = {
      info(rateAddress, "rate", "Playback Rate", parameterUnit::rate, static_cast<float>(minRate),
           static_cast<float>(maxRate), 1),
      info(pitchAddress, "pitch", "Pitch", parameterUnit::cents, -static_cast<float>(maxCents),
           static_cast<float>(maxCents), 0),
      info(overlapAddress, "overlap", "Overlap", parameterUnit::generic, 3, 32, 8),
      info(peakLockingAddress, "enablePeakLocking", "Peak Locking", parameterUnit::boolean, 0, 1, 1),
  };
  for (const auto& p : infos) {
    auto parameter = std::make_unique<Parameter>();
    parameter->info = p;
    parameter->value = p.value;
    parameters_.push_back(std::move(parameter));
  }
}

TimePitchUnit::~TimePitchUnit() = default;

void TimePitchUnit::setInputFormat(const AudioStreamFormat& format) {
  checkFormat(format);
  inputFormat_ = format;
}

void TimePitchUnit::setOutputFormat(const AudioStreamFormat& format) {
  checkFormat(format);
  outputFormat_ = format;
}

void TimePitchUnit::allocateRenderResources() {
  if (inputFormat_.channelCount != outputFormat_.channelCount || inputFormat_.sampleRate != outputFormat_.sampleRate)
    throw PlatformError(auStatus::formatNotSupported,
                        "The time-pitch unit needs the same channel count and sample rate on input and output.");
  deallocateRenderResources();
  channels_ = outputFormat_.channelCount;
  const auto rate = static_cast<size_t>(std::max(1.0, std::round(outputFormat_.sampleRate)));
  appliedRate_ = value(rateAddress);
  appliedPitch_ = value(pitchAddress);
  auto stretcher = std::make_unique<RubberBandStretcher>(
      rate, channels_,
      RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFiner |
          RubberBandStretcher::OptionThreadingNever,
      timeRatio(appliedRate_), pitchScale(appliedPitch_));
  stretcher->setMaxProcessSize(inputCapacity);

  const uint32_t frames = std::max<uint32_t>(maxFrames_, 1);
  allocatedFrames_ = frames;
  inputList_ = std::make_unique<AudioBufferListStorage>(channels_);
  inputPointers_.assign(channels_, nullptr);
  zeros_.assign(inputCapacity, 0.0f);
  outputs_.assign(channels_, std::vector<float>(frames, 0.0f));
  outputPointers_.assign(channels_, nullptr);
  stretcher_ = std::move(stretcher);
  startDelay_ = static_cast<int64_t>(stretcher_->getStartDelay());
  inputTime_ = {};
  inputTime_.mFlags = AudioTimeStamp::sampleTimeValid;
  padPending_ = true;
}

void TimePitchUnit::deallocateRenderResources() {
  stretcher_.reset();
  startDelay_ = 0;
}

void TimePitchUnit::reset() {
  if (!stretcher_) return;
  stretcher_->reset();
  applyParameters();
  inputTime_.mSampleTime = 0;
  padPending_ = true;
}

double TimePitchUnit::latency() const { return static_cast<double>(startDelay_) / outputFormat_.sampleRate; }

void TimePitchUnit::applyParameters() {
  const double rate = value(rateAddress), pitch = value(pitchAddress);
  if (rate != appliedRate_) stretcher_->setTimeRatio(timeRatio(rate));
  if (pitch != appliedPitch_) stretcher_->setPitchScale(pitchScale(pitch));
  appliedRate_ = rate;
  appliedPitch_ = pitch;
  startDelay_ = static_cast<int64_t>(stretcher_->getStartDelay());
}

void TimePitchUnit::feedStartPad() {
  std::fill(inputPointers_.begin(), inputPointers_.end(), zeros_.data());
  for (size_t left = stretcher_->getPreferredStartPad(); left > 0;) {
    const size_t n = std::min<size_t>(left, inputCapacity);
    stretcher_->process(inputPointers_.data(), n, false);
    left -= n;
  }
  padPending_ = false;
}

RenderBlock TimePitchUnit::renderBlock() {
  return [this](AudioUnitRenderActionFlags* flags, const AudioTimeStamp*, uint32_t frames, int64_t,
                AudioBufferList* output, const PullInputBlock* pull) { return render(flags, frames, output, pull); };
}

AUStatus TimePitchUnit::render(AudioUnitRenderActionFlags* flags, uint32_t frames, AudioBufferList* output,
                               const PullInputBlock* pull) {
  if (!stretcher_) return auStatus::uninitialized;
  if (frames > allocatedFrames_) return auStatus::tooManyFramesToProcess;
  applyParameters();
  if (padPending_) feedStartPad();

  AudioBufferList* list = inputList_->get();
  while (stretcher_->available() < static_cast<int>(frames)) {
    if (!pull) return auStatus::noConnection;
    const auto n = static_cast<uint32_t>(std::clamp<size_t>(stretcher_->getSamplesRequired(), 1, inputCapacity));
    list->mNumberBuffers = channels_;
    for (AudioBuffer& buffer : buffers(*list)) buffer = {1, n * 4, nullptr};
    if (const AUStatus status = (*pull)(flags, &inputTime_, n, 0, list)) return status;
    for (uint32_t i = 0; i < channels_; ++i) {
      const void* data = i < list->mNumberBuffers ? list->mBuffers[i].mData : nullptr;
      inputPointers_[i] = data ? static_cast<const float*>(data) : zeros_.data();
    }
    stretcher_->process(inputPointers_.data(), n, false);
    inputTime_.mSampleTime += n;
  }

  for (uint32_t j = 0; j < channels_; ++j) {
    if (j >= output->mNumberBuffers) {
      outputPointers_[j] = outputs_[j].data();  // retrieved and dropped
      continue;
    }
    AudioBuffer& buffer = output->mBuffers[j];
    if (!buffer.mData) buffer.mData = outputs_[j].data();
    buffer.mDataByteSize = frames * 4;
    buffer.mNumberChannels = 1;
    outputPointers_[j] = static_cast<float*>(buffer.mData);
  }
  stretcher_->retrieve(outputPointers_.data(), frames);
  return auStatus::noErr;
}

TimePitchUnit::Parameter* TimePitchUnit::find(uint64_t address) const {
  for (const auto& p : parameters_)
    if (p->info.address == address) return p.get();
  return nullptr;
}

float TimePitchUnit::value(uint64_t address) const { return find(address)->value; }

std::vector<PlatformParameter> TimePitchUnit::allParameters() const {
  std::vector<PlatformParameter> result;
  for (const auto& p : parameters_) result.push_back(*parameter(p->info.address));
  return result;
}

std::optional<PlatformParameter> TimePitchUnit::parameter(uint64_t address) const {
  const Parameter* p = find(address);
  if (!p) return std::nullopt;
  PlatformParameter snapshot = p->info;
  snapshot.value = p->value;
  return snapshot;
}

void TimePitchUnit::setValue(uint64_t address, float value) {
  Parameter* p = find(address);
  if (!p) return;
  p->value = value;
  std::vector<Observer> observers;
  {
    std::lock_guard lock(observerMutex_);
    for (const auto& entry : observers_) observers.push_back(entry.second);
  }
  for (const auto& observer : observers) observer(address, value);
}

int64_t TimePitchUnit::addObserver(Observer observer) {
  std::lock_guard lock(observerMutex_);
  const int64_t token = nextObserverToken_++;
  observers_.emplace_back(token, std::move(observer));
  return token;
}

void TimePitchUnit::removeObserver(int64_t token) {
  std::lock_guard lock(observerMutex_);
  std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

} // namespace quar
