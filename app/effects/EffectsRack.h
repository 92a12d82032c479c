// EffectsRack: one document's ordered effect slots with their live preview state, and the
// building of fresh processor chains for applying them offline. EffectSlot: one rack entry.
// ProcessorHandoff: the processors of one offline render. GUI thread only.
#pragma once

#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "base/EffectProcessor.h"
#include "base/Uuid.h"
#include "core/EffectTailMode.h"
#include "dsp/effects/EffectSettings.h"

class RenderState;

// One rack entry: a built-in effect with its settings.
struct EffectSlot {
  quar::Uuid id;
  bool isEnabled = true;
  quar::EffectSettings settings;

  // The effect kind's display name ("Parametric EQ").
  QString displayName() const;
  bool operator==(const EffectSlot&) const = default;
};

// The processors for one offline render, in chain order and not yet prepared. The job that
// receives them owns them; nothing else holds them.
struct ProcessorHandoff {
  std::vector<std::unique_ptr<quar::EffectProcessor>> chain;
};

class EffectsRack final : public QObject {
  Q_OBJECT
public:
  enum class Property { slots, previewEnabled, tailMode, processMask };

  // Called on the GUI thread with a built chain, or with the error that stopped the building.
  using ChainReady = std::function<void(std::shared_ptr<ProcessorHandoff> handoff)>;
  using ChainFailed = std::function<void(std::exception_ptr error)>;

  explicit EffectsRack(QObject* parent = nullptr) : QObject(parent) {}

  // The chain in processing order.
  const std::vector<EffectSlot>& slots() const { return slots_; }
  void setSlots(std::vector<EffectSlot> slots);
  // Appends a new enabled slot running a built-in effect with these settings.
  void add(quar::EffectSettings settings);
  // The enabled slots, in chain order.
  std::vector<EffectSlot> activeSlots() const;
  // The display names of the enabled slots joined with " + "; "Effects" when none is enabled.
  QString chainName() const;

  // Whether the effects are applied live during playback.
  bool previewEnabled() const { return previewEnabled_; }
  void setPreviewEnabled(bool enabled);
  // What applying the rack does with the effects' ring-out after the range.
  quar::EffectTailMode tailMode() const { return tailMode_; }
  void setTailMode(quar::EffectTailMode mode);
  // One flag per channel: the channels that live preview processes.
  const std::vector<bool>& processMask() const { return processMask_; }
  void setProcessMask(std::vector<bool> mask);

  // Binds the live preview to playback's render state at the content's rate (Hz) and channel
  // count; called before playback starts.
  void activate(const std::shared_ptr<RenderState>& renderState, double sampleRate, int channelCount);

  // Builds fresh processors for the enabled slots, in order, for one offline render, and hands
  // them to `ready` later on the GUI thread (never during this call); `failed` gets the error
  // when a processor cannot be built. Nothing is called when the rack is destroyed first.
  void makeOfflineChain(ChainReady ready, ChainFailed failed);

Q_SIGNALS:
  void changed(EffectsRack::Property property);

private:
  std::vector<EffectSlot> slots_;
  bool previewEnabled_ = true;
  quar::EffectTailMode tailMode_ = quar::EffectTailMode::mixIntoFollowing;
  std::vector<bool> processMask_;
};
