// Transport: playback of one document: whether it plays and loops, the playhead (frames at the
// content's sample rate), the level meters (dBFS and LUFS), the playback engine and the transport
// timer that ticks every 1/30 s while playing. The document decides what plays; this holds the
// state of playing it. A QObject on the GUI thread with tracked getters, like EditorModel's.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

#include "core/AudioContent.h"
#include "core/GainEnvelope.h"
#include "editor/MeterReading.h"
#include "platform/ObservationScope.h"
#include "playback/PlaybackEngine.h"

class QTimer;

class Transport final : public QObject {
  Q_OBJECT
public:
  enum class Property { isPlaying, isLooping, playhead, meter };
  Q_ENUM(Property)

  // `tick` runs on every tick of the transport timer.
  explicit Transport(std::function<void()> tick, QObject* parent = nullptr);
  ~Transport() override;

  bool isPlaying() const { return track(Property::isPlaying), isPlaying_; }
  void setIsPlaying(bool playing);
  // Also sets the engine's looping.
  bool isLooping() const { return track(Property::isLooping), isLooping_; }
  void setIsLooping(bool looping);
  int64_t playhead() const { return track(Property::playhead), playhead_; }
  void setPlayhead(int64_t frame);
  const MeterReading& meter() const { return track(Property::meter), meter_; }
  void setMeter(MeterReading meter);

  PlaybackEngine& player() { return player_; }
  // Where the current playback started; the playhead returns there at the end.
  int64_t playOrigin() const { return playOrigin_; }
  // The transport timer (running only while playing); none before the first play.
  const QTimer* timer() const { return timer_; }

  // After the engine started at `start`: the playhead there, playing, resting meters for
  // `channelCount` channels, and the timer running.
  void started(int64_t start, int channelCount);
  // Stops the engine and the timer; no longer playing.
  void halt();
  // Recomputes the meter reading for the playhead from `content` as heard through `master` and a
  // preview gain of `gainDB`.
  void updateMeters(const quar::AudioContent& content, const quar::GainEnvelope& master, double gainDB);

Q_SIGNALS:
  void changed(Transport::Property property);

private:
  void track(Property property) const { ObservationScope::record(this, property); }

  bool isPlaying_ = false;
  bool isLooping_ = false;
  int64_t playhead_ = 0;
  MeterReading meter_;
  PlaybackEngine player_;
  int64_t playOrigin_ = 0;
  int64_t meterTick_ = 0;
  std::function<void()> tick_;
  QTimer* timer_ = nullptr;
};
