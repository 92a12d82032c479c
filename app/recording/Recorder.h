// Recorder: records an input device into its document's editor model. Armed while the
// recording bar is shown: it lists the input devices, opens the chosen one through its
// InputEngine and polls the take buffer's meters every 1/30 s; a take runs from start() to
// stop(), is copied to a safety file in the Recordings folder meanwhile, and is handed to the
// model's recording operations (a TakeReceiver), which place it by `mode`. The safety file is deleted only once
// the take is in the document. A QObject on the GUI thread; tracked getters and changed(Property)
// as every model. Levels in dB, frames at the device's rate.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "recording/RecordMode.h"
#include "platform/AudioBackend.h"
#include "platform/MicrophoneAccess.h"
#include "platform/ObservationScope.h"
#include "recording/InputChoice.h"
#include "recording/InputDevice.h"
#include "recording/InputEngine.h"
#include "recording/TakeBuffer.h"
#include "recording/TakeReceiver.h"

class QDateTime;
class QTimer;

class Recorder final : public QObject {
  Q_OBJECT
public:
  enum class Property {
    isArmed, isRecording, devices, deviceID, inputChoice, mode, monitoring, peaksDB, clipped, elapsedFrames,
    deviceSampleRate, errorMessage,
  };
  Q_ENUM(Property)

  // The poll interval (1/30 s) and how far a shown peak falls per poll.
  static constexpr int pollIntervalMs = 33;
  static constexpr double peakFallDB = 1.2;

  explicit Recorder(AudioBackend& backend = AudioBackend::shared(), QObject* parent = nullptr);
  ~Recorder() override;

  // The model that takes the recordings (not owned): a QObject, forgotten when it is destroyed.
  void setModel(TakeReceiver* model);
  TakeReceiver* model() const { return modelObject_ ? model_ : nullptr; }
  // Where microphone permission comes from (always granted by default).
  void setMicrophoneAccess(MicrophoneAccess access) { access_ = std::move(access); }

  // Tracked state.
  // The recording bar is open.
  bool isArmed() const { return track(Property::isArmed), isArmed_; }
  // A take is being captured.
  bool isRecording() const { return track(Property::isRecording), isRecording_; }
  // The input devices found by the last arm().
  const std::vector<InputDevice>& devices() const { return track(Property::devices), devices_; }
  // The chosen device; a change while armed and idle re-opens the input.
  std::optional<int> deviceID() const { return track(Property::deviceID), deviceID_; }
  void setDeviceID(std::optional<int> id);
  // The chosen input channels; a change while armed and idle re-opens the input.
  const std::optional<InputChoice>& inputChoice() const { return track(Property::inputChoice), inputChoice_; }
  void setInputChoice(std::optional<InputChoice> choice);
  // The input choices of the chosen device (none when it is not listed).
  std::vector<InputChoice> inputChoices() const;
  // Where the take goes.
  RecordMode mode() const { return track(Property::mode), mode_; }
  void setMode(RecordMode mode);
  // The input is heard on the output.
  bool monitoring() const { return track(Property::monitoring), monitoring_; }
  void setMonitoring(bool on);
  // Per recorded channel: the shown peak level in dB ([-144, 0] and above) and a sticky clip flag.
  const std::vector<double>& peaksDB() const { return track(Property::peaksDB), peaksDB_; }
  const std::vector<bool>& clipped() const { return track(Property::clipped), clipped_; }
  // Frames captured in the current take.
  int64_t elapsedFrames() const { return track(Property::elapsedFrames), elapsedFrames_; }
  // The opened input's rate in Hz; 0 before one was opened.
  double deviceSampleRate() const { return track(Property::deviceSampleRate), deviceSampleRate_; }
  // The last failure to arm or open the input, an input overrun, a safety file that cannot be
  // written, or a take that was kept out of the document; cleared by the next arm().
  const std::optional<QString>& errorMessage() const { return track(Property::errorMessage), errorMessage_; }

  // Not armed: arms (and does not record); armed: starts or stops a take.
  void toggle();
  // Asks for microphone access, lists the input devices (read afresh when no stream is open),
  // chooses one (the one chosen before when still listed, else the system's default input, listed
  // or not, else the first listed) and opens it. Armed afterwards, with errorMessage telling what failed.
  void arm();
  // Finishes a running take, closes the input and the bar.
  void disarm();
  // Starts a take: refused with a beep while the model runs a job; nothing without an opened
  // input or while recording. Re-opens the input first when the document's channel count
  // changed since it was opened.
  void start();
  // Ends the take: everything captured goes to the model; the safety file is deleted once the
  // take is in the document and kept (errorMessage says where) when it could not be added.
  void stop();
  void resetClipIndicators();
  // One tick of the poll timer: meters, overruns, elapsed frames and, every third tick while
  // recording, a live snapshot to the model.
  void poll();

  // The take buffer of the opened input; none before one was prepared.
  const std::shared_ptr<TakeBuffer>& buffer() const { return buffer_; }
  InputEngine& engine() { return engine_; }
  // The safety file of the running take.
  const std::optional<QString>& safetyPath() const { return safetyPath_; }
  // The folder of the safety files: the application support folder's "Recordings".
  static QString recordingsFolder();
  // "Take 2026-12-08T07.56.09.caf" for a take started at that time (UTC).
  static QString safetyFileName(const QDateTime& time);

Q_SIGNALS:
  void changed(Recorder::Property property);

private:
  void track(Property property) const { ObservationScope::record(this, property); }
  void setIsArmed(bool armed);
  void setIsRecording(bool recording);
  void setDevices(std::vector<InputDevice> devices);
  void setPeaksDB(std::vector<double> peaks);
  void setClipped(std::vector<bool> clipped);
  void setElapsedFrames(int64_t frames);
  void setDeviceSampleRate(double rate);
  void setErrorMessage(std::optional<QString> message);

  void ensurePermission(MicrophoneAccess::Answer answer);
  void armGranted(bool granted);
  // Re-opens the chosen device with a new take buffer; nothing while recording.
  void rearm();
  void applyMonitoring();
  // The channels a take of `inputs` recorded inputs has now: the document's, or the inputs'
  // (at least 1) for an empty document.
  int takeChannels(size_t inputs) const;
  // A safety file path for a take starting now that no file has yet.
  static QString newSafetyPath();
  // Ends a running take and hands it to the model; `closing` when the bar closes with it.
  void finishTake(bool closing);
  // Tells the user that a take stays in its safety file (`partial`: only its start, where the
  // file stopped being written): on the bar, else through the document.
  void takeKept(const std::optional<QString>& path, bool partial, std::exception_ptr error, bool onBar);
  // Once per take, at once: the bar says that the safety file cannot be made or written.
  void reportSafetyFailure();

  AudioBackend& backend_;
  InputEngine engine_;
  MicrophoneAccess access_ = MicrophoneAccess::alwaysGranted();
  TakeReceiver* model_ = nullptr;
  QPointer<QObject> modelObject_;  // the model as a QObject, null once it is gone
  bool isArmed_ = false;
  bool isRecording_ = false;
  std::vector<InputDevice> devices_;
  std::optional<int> deviceID_;
  std::optional<InputChoice> inputChoice_;
  RecordMode mode_ = RecordMode::insert;
  bool monitoring_ = false;
  std::vector<double> peaksDB_;
  std::vector<bool> clipped_;
  int64_t elapsedFrames_ = 0;
  double deviceSampleRate_ = 0;
  std::optional<QString> errorMessage_;
  std::shared_ptr<TakeBuffer> buffer_;
  QTimer* timer_;  // polls while an input is open
  int64_t tick_ = 0;              // poll ticks while recording; never reset
  int64_t reportedDrops_ = 0;     // dropped frames already reported for the open input
  std::optional<QString> safetyPath_;
  bool safetyFailureReported_ = false;  // for the running take
};
