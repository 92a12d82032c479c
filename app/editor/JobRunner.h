// JobRunner: the one background job of a document and the busy state it shows meanwhile (title,
// shared ProgressToken, fraction in [0, 1] polled every 50 ms). A job's work runs on the
// user-initiated pool on a copy of what it needs; its outcome comes back on the GUI thread, the
// busy state ended first. Others show a busy state of their own (opening, saving) through
// beginExternalBusy. A QObject on the GUI thread with a tracked getter, like EditorModel's.
#pragma once

#include <QObject>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "base/Uuid.h"
#include "core/AudioContent.h"
#include "editor/BusyState.h"
#include "editor/ProgressToken.h"
#include "platform/ObservationScope.h"

class QTimer;

class JobRunner final : public QObject {
  Q_OBJECT
public:
  enum class Property { busy };
  Q_ENUM(Property)

  // What a job's result depends on: the content version and format it started from.
  struct ContentStamp {
    int64_t version;
    double sampleRate;
    int channelCount;

    bool operator==(const ContentStamp&) const = default;
  };
  // A finished job: its new content, or what it threw.
  struct Outcome {
    std::optional<quar::AudioContent> content;
    std::exception_ptr error;
  };
  // A job's work, on a pool thread: it reports progress and learns of cancellation through the
  // token; it may throw.
  using Work = std::function<quar::AudioContent(ProgressToken& token)>;
  // Gets a job's outcome on the GUI thread; runs only while the runner lives.
  using Done = std::function<void(const ProgressToken& token, const Outcome& outcome)>;

  explicit JobRunner(QObject* parent = nullptr) : QObject(parent) {}

  // Present while a job runs or an external busy state is shown. Every assignment notifies.
  const std::optional<BusyState>& busy() const { return track(Property::busy), busy_; }
  void setBusy(std::optional<BusyState> busy);

  // Runs `work` as the running job under the busy state `title`; back on the GUI thread the
  // busy state ends, then `done` gets the outcome.
  void run(const QString& title, Work work, Done done);
  // Shows a busy state (title, token, fraction polled every 50 ms) and returns its id.
  quar::Uuid beginExternalBusy(const QString& title, std::shared_ptr<ProgressToken> token);
  // Ends the busy state with that id; nothing when another busy state (or none) is shown.
  void endExternalBusy(const quar::Uuid& id);
  // Cancels the running job: it stops at its next progress check and acceptsResult refuses its
  // content.
  void cancel();

  // Whether a finished job's content may be installed: not when the job was cancelled, nor
  // (with a beep) when the content's stamp is no longer the one the job started from.
  static bool acceptsResult(const ProgressToken& token, const ContentStamp& stamp, const ContentStamp& current);
  // Whether a failed job's error is for the user: neither a cancellation nor from a cancelled job.
  static bool reportsError(const ProgressToken& token, const std::exception_ptr& error);

Q_SIGNALS:
  void changed(JobRunner::Property property);

private:
  void track(Property property) const { ObservationScope::record(this, property); }
  void busyTick(const quar::Uuid& id, const ProgressToken& token);
  void stopTimer();

  std::optional<BusyState> busy_;
  QTimer* busyTimer_ = nullptr;  // the 50 ms progress poll of the busy state
  std::shared_ptr<ProgressToken> token_;  // the running job's, until its outcome is back
};
