#include "recording/Recorder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

#include "base/Decibels.h"
#include "platform/ErrorAlert.h"
#include "platform/Observable.h"
#include "platform/Platform.h"

namespace {

const QString noAccessMessage = QStringLiteral(
    "Quarnel doesn\u2019t have microphone access. Allow it in System Settings \u25B8 Privacy & Security \u25B8 "
    "Microphone.");

QString openFailure(const std::exception_ptr& error) {
  return QStringLiteral("Couldn\u2019t open the input: ") + ErrorAlert::description(error);
}

} // namespace

Recorder::Recorder(AudioBackend& backend, QObject* parent)
    : QObject(parent), backend_(backend), engine_(backend), timer_(new QTimer(this)) {
  timer_->setTimerType(Qt::PreciseTimer);
  timer_->setInterval(pollIntervalMs);
  connect(timer_, &QTimer::timeout, this, &Recorder::poll);
}

// The input stops with the engine; a take still running stays in its safety file.
Recorder::~Recorder() = default;

void Recorder::setModel(TakeReceiver* model) {
  model_ = model;
  modelObject_ = dynamic_cast<QObject*>(model);
  Q_ASSERT(!model || modelObject_);
}

void Recorder::setIsArmed(bool armed) { assignObserved(this, isArmed_, armed, Property::isArmed); }

void Recorder::setIsRecording(bool recording) {
  assignObserved(this, isRecording_, recording, Property::isRecording);
}

void Recorder::setDevices(std::vector<InputDevice> devices) {
  assignObserved(this, devices_, std::move(devices), Property::devices);
}

void Recorder::setDeviceID(std::optional<int> id) {
  if (assignObserved(this, deviceID_, id, Property::deviceID) && isArmed_ && !isRecording_) rearm();
}

void Recorder::setInputChoice(std::optional<InputChoice> choice) {
  if (assignObserved(this, inputChoice_, std::move(choice), Property::inputChoice) && isArmed_ && !isRecording_)
    rearm();
}

std::vector<InputChoice> Recorder::inputChoices() const {
  int channels = 0;
  for (const InputDevice& device : devices())
    if (device.id == deviceID()) channels = device.channelCount;
  return InputChoice::choices(channels);
}

void Recorder::setMode(RecordMode mode) { assignObserved(this, mode_, mode, Property::mode); }

void Recorder::setMonitoring(bool on) {
  assignObserved(this, monitoring_, on, Property::monitoring);
  applyMonitoring();
}

void Recorder::setPeaksDB(std::vector<double> peaks) {
  assignObserved(this, peaksDB_, std::move(peaks), Property::peaksDB);
}

void Recorder::setClipped(std::vector<bool> clipped) {
  assignObserved(this, clipped_, std::move(clipped), Property::clipped);
}

void Recorder::setElapsedFrames(int64_t frames) {
  assignObserved(this, elapsedFrames_, frames, Property::elapsedFrames);
}

void Recorder::setDeviceSampleRate(double rate) {
  assignObserved(this, deviceSampleRate_, rate, Property::deviceSampleRate);
}

void Recorder::setErrorMessage(std::optional<QString> message) {
  assignObserved(this, errorMessage_, std::move(message), Property::errorMessage);
}

void Recorder::toggle() {
  Platform::assertGuiThread();
  if (!isArmed_)
    arm();
  else if (isRecording_)
    stop();
  else
    start();
}

void Recorder::ensurePermission(MicrophoneAccess::Answer answer) {
  switch (access_.status()) {
  case MicrophoneAccess::Status::authorized: answer(true); return;
  case MicrophoneAccess::Status::notDetermined: access_.request(std::move(answer)); return;
  case MicrophoneAccess::Status::denied:
  case MicrophoneAccess::Status::restricted: answer(false); return;
  }
}

void Recorder::arm() {
  Platform::assertGuiThread();
  setErrorMessage(std::nullopt);
  ensurePermission([guard = QPointer<Recorder>(this)](bool granted) {
    if (guard) guard->armGranted(granted);
  });
}

void Recorder::armGranted(bool granted) {
  if (!granted) {
    setErrorMessage(noAccessMessage);
    setIsArmed(true);
    return;
  }
  // Device ids may change when the list is read afresh; the unique identifier does not.
  QString chosenUID;
  for (const InputDevice& device : devices_)
    if (device.id == deviceID_) chosenUID = device.uid;
  if (!engine_.isRunning()) backend_.refreshDevices();
  setDevices(AudioDevices::inputDevices(backend_));
  const auto listed = [&](auto matches) -> std::optional<int> {
    for (const InputDevice& device : devices_)
      if (matches(device)) return device.id;
    return std::nullopt;
  };
  std::optional<int> choice;
  if (!chosenUID.isEmpty()) choice = listed([&](const InputDevice& d) { return d.uid == chosenUID; });
  if (!choice && deviceID_) choice = listed([&](const InputDevice& d) { return d.id == *deviceID_; });
  // The system's default input is taken even when the list lacks it (opening it then says why
  // it cannot record).
  if (!choice) choice = backend_.defaultInputDevice();
  if (!choice && !devices_.empty()) choice = devices_.front().id;
  setDeviceID(choice);
  if (devices_.empty()) {
    setErrorMessage(QStringLiteral("No audio input devices found."));
    setIsArmed(true);
    return;
  }
  setIsArmed(true);
  rearm();
}

void Recorder::rearm() {
  if (!model() || isRecording_) return;
  engine_.stop();
  InputEngine::Format format;
  try {
    format = engine_.prepare(deviceID_);
  } catch (...) {
    setErrorMessage(openFailure(std::current_exception()));
    return;
  }
  const std::vector<InputChoice> choices = inputChoices();
  std::optional<InputChoice> choice = inputChoice_;
  if (!choice || std::find(choices.begin(), choices.end(), *choice) == choices.end()) {
    const int documentChannels = model()->content().channelCount();
    const size_t wanted = static_cast<size_t>(documentChannels < 2 ? documentChannels : 2);
    const auto match = std::find_if(choices.begin(), choices.end(),
                                    [&](const InputChoice& c) { return c.channels.size() == wanted; });
    choice = match != choices.end() ? std::optional(*match)
                                    : choices.empty() ? std::nullopt : std::optional(choices.front());
  }
  assignObserved(this, inputChoice_, std::move(choice), Property::inputChoice);
  std::vector<int> inputs = inputChoice_ ? inputChoice_->channels : std::vector<int>{};
  const int outputs = takeChannels(inputs.size());
  buffer_ = std::make_shared<TakeBuffer>(std::move(inputs), outputs, format.sampleRate);
  setDeviceSampleRate(format.sampleRate);
  try {
    engine_.start(buffer_);
  } catch (...) {
    setErrorMessage(openFailure(std::current_exception()));
    return;
  }
  reportedDrops_ = 0;
  applyMonitoring();
  timer_->start();
}

void Recorder::applyMonitoring() {
  if (!engine_.isRunning()) return;
  try {
    engine_.setMonitoring(monitoring_);
  } catch (...) {
    setErrorMessage(QStringLiteral("Couldn\u2019t open the output for monitoring: ") +
                    ErrorAlert::description(std::current_exception()));
  }
}

void Recorder::poll() {
  if (!buffer_) return;
  const TakeBuffer::Meters meters = buffer_->takeMeters();
  std::vector<double> peaks = peaksDB_;
  if (peaks.size() != meters.peaks.size()) peaks.assign(meters.peaks.size(), -120);
  for (size_t c = 0; c < peaks.size(); ++c)
    peaks[c] = std::max(peaks[c] - peakFallDB, quar::Decibels::fromLinear(meters.peaks[c]));
  setPeaksDB(std::move(peaks));
  setClipped(meters.clipped);
  if (const int64_t dropped = engine_.droppedFrames(); dropped > reportedDrops_) {
    reportedDrops_ = dropped;
    setErrorMessage(QStringLiteral("The input overran: %1 frames of audio were lost.")
                        .arg(QLocale().toString(static_cast<qlonglong>(dropped))));
  }
  if (!isRecording_) return;
  reportSafetyFailure();
  setElapsedFrames(buffer_->captured());
  if (++tick_ % 3 != 0) return;
  if (std::optional<quar::AudioContent> take = buffer_->liveSnapshot(); take && model()) model()->updateLiveTake(*take);
}

int Recorder::takeChannels(size_t inputs) const {
  if (model()->content().frameCount() > 0) return model()->content().channelCount();
  return std::max(static_cast<int>(inputs), 1);
}

void Recorder::start() {
  Platform::assertGuiThread();
  if (!buffer_ || !model() || isRecording_) return;
  if (model()->runsJob()) {
    Platform::beep();
    return;
  }
  if (buffer_->outputChannels() != takeChannels(buffer_->inputChannels().size())) {
    rearm();
    if (!buffer_ || buffer_->outputChannels() != takeChannels(buffer_->inputChannels().size())) {
      Platform::beep();
      return;
    }
  }
  model()->stop(false);
  safetyPath_ = newSafetyPath();
  buffer_->resetClips();
  buffer_->beginCapture(std::filesystem::path(safetyPath_->toStdString()));
  model()->beginRecording(mode_, buffer_->sampleRate(), buffer_->outputChannels());
  setIsRecording(true);
  setElapsedFrames(0);
  safetyFailureReported_ = false;
  reportSafetyFailure();
}

void Recorder::reportSafetyFailure() {
  if (safetyFailureReported_ || !safetyPath_) return;
  const std::optional<std::string> failure = buffer_->safetyFailure();
  if (!failure) return;
  safetyFailureReported_ = true;
  const QString folder = QDir::toNativeSeparators(QFileInfo(*safetyPath_).absolutePath());
  QString message = QStringLiteral("The safety copy of this take can\u2019t be written to \u201C%1\u201D").arg(folder);
  if (!failure->empty()) message += QStringLiteral(": ") + QString::fromStdString(*failure);
  setErrorMessage(message + QStringLiteral(". Recording goes on in memory; stop the take to keep it."));
}

void Recorder::stop() {
  Platform::assertGuiThread();
  finishTake(false);
}

void Recorder::finishTake(bool closing) {
  if (!buffer_ || !isRecording_) return;
  setIsRecording(false);
  engine_.drain();
  std::optional<quar::AudioContent> take = buffer_->endCapture();
  const bool partial = buffer_->safetyFailure().has_value();
  const std::optional<QString> path = std::exchange(safetyPath_, std::nullopt);
  if (!model()) return;  // the take stays in its safety file
  model()->finishRecording(std::move(take), [guard = QPointer<Recorder>(this), path, partial, closing](
                                               TakeReceiver::TakeResult result, std::exception_ptr error) {
    if (result == TakeReceiver::TakeResult::committed || result == TakeReceiver::TakeResult::empty) {
      if (path) QFile::remove(*path);
    } else if (guard) {
      guard->takeKept(path, partial, error, !closing && guard->isArmed_);
    }
  });
}

void Recorder::takeKept(const std::optional<QString>& path, bool partial, std::exception_ptr error, bool onBar) {
  QString message = error ? QStringLiteral("Couldn\u2019t add the take to the document: ") +
                                ErrorAlert::description(error) + QStringLiteral(" ")
                          : QStringLiteral("The take wasn\u2019t added to the document. ");
  if (path && QFileInfo::exists(*path) && partial)
    message += QStringLiteral("Only its start, up to where the safety copy failed, is kept in \u201C%1\u201D.")
                   .arg(QDir::toNativeSeparators(*path));
  else if (path && QFileInfo::exists(*path))
    message += QStringLiteral("It is kept in \u201C%1\u201D.").arg(QDir::toNativeSeparators(*path));
  else
    message += QStringLiteral("No safety file could be written.");
  if (onBar || !model())
    setErrorMessage(message);
  else
    model()->presentError(std::make_exception_ptr(std::runtime_error(message.toStdString())));
}

void Recorder::disarm() {
  Platform::assertGuiThread();
  finishTake(true);
  engine_.stop();
  timer_->stop();
  buffer_.reset();
  setIsArmed(false);
  setPeaksDB({});
  setClipped({});
}

void Recorder::resetClipIndicators() {
  if (buffer_) buffer_->resetClips();
  setClipped(std::vector<bool>(clipped_.size(), false));
}

QString Recorder::recordingsFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quarnel/Recordings");
}

QString Recorder::safetyFileName(const QDateTime& time) {
  return QStringLiteral("Take ") + time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH.mm.ss")) +
         QStringLiteral(".caf");
}

QString Recorder::newSafetyPath() {
  const QString folder = recordingsFolder();
  const QString name = safetyFileName(QDateTime::currentDateTimeUtc());
  QString path = folder + QLatin1Char('/') + name;
  // Never over an earlier take's file (two takes in one second, or one kept from before).
  for (int n = 2; QFileInfo::exists(path); ++n)
    path = folder + QLatin1Char('/') + name.chopped(4) + QStringLiteral(" %1.caf").arg(n);
  return path;
}
