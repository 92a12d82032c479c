// TakeReceiver: what the recorder and the recording bar need of the document a take goes into
// (the editor model implements it): its audio and selection, whether a job runs, and the
// operations that place a take. GUI thread only; frames at the document's sample rate.
#pragma once

#include <QObject>

#include <exception>
#include <functional>
#include <optional>

#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "recording/RecordMode.h"

class TakeReceiver {
public:
  // What became of a finished take.
  enum class TakeResult {
    committed,  // it is in the document
    empty,      // nothing was captured; the document is as before
    refused,    // a job was running or the document changed meanwhile (with a beep)
    cancelled,  // its conversion was cancelled
    failed,     // its conversion failed; the error comes along
  };
  // Called once on the GUI thread when the take's fate is known (unless the receiver is gone).
  using TakeDone = std::function<void(TakeResult result, std::exception_ptr error)>;

  // Tracked state: the document's audio and selection, and whether a background job runs.
  virtual const quar::AudioContent& content() const = 0;
  virtual std::optional<quar::FrameRange> selection() const = 0;
  virtual bool runsJob() const = 0;
  // Calls `changed` after every change of the content or the selection while `context` lives.
  virtual void watchContentAndSelection(QObject* context, std::function<void()> changed) = 0;

  // Stops playback; with keepPosition and no selection the cursor moves to the playhead.
  virtual void stop(bool keepPosition) = 0;
  // A take at `sampleRate` Hz with `channelCount` channels starts; it goes where `mode` says.
  virtual void beginRecording(RecordMode mode, double sampleRate, int channelCount) = 0;
  // The take so far, shown live where it fits the document.
  virtual void updateLiveTake(const quar::AudioContent& take) = 0;
  // The take has ended (none: nothing could be read back); `done` learns what became of it.
  virtual void finishRecording(std::optional<quar::AudioContent> take, TakeDone done = {}) = 0;
  // Reports an error through the document.
  virtual void presentError(std::exception_ptr error) const = 0;

protected:
  ~TakeReceiver() = default;
};
