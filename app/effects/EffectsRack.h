// EffectsRack: one document's ordered chain of effect slots (built-in effects and LV2 plug-ins)
// with its preview switch, tail mode, channel mask and live plug-in instances. It keeps the
// live preview of playback up to date: a change of the slots' parameters or enabled flags is
// published at once with raised versions, a change of the chain itself rebuilds the preview's
// processors 60 ms after the last such change. It also builds the fresh processors that
// applying the rack renders with (ProcessorHandoff).
//
// A QObject on the GUI thread; every tracked getter records its Property into the innermost
// ObservationScope, every setter stores its value, runs its side effect on every assignment and
// emits changed(property) only on a change. Plug-ins are made on the user-initiated job pool
// and handed back to the GUI thread; the render thread only sees what is published into the
// RenderState's effects, which keeps each replaced runtime until the render thread lets go.
#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "au/AudioUnitEffect.h"
#include "base/EffectProcessor.h"
#include "base/Uuid.h"
#include "core/EffectTailMode.h"
#include "effects/EffectSlot.h"
#include "platform/ObservationScope.h"

class PreviewRuntime;
class QTimer;
class RenderState;

// The processors of one offline render, one per enabled slot in chain order, none prepared yet.
// The job that receives them owns them; nothing else holds them.
struct ProcessorHandoff {
  std::vector<std::shared_ptr<quar::EffectProcessor>> chain;
};

class EffectsRack final : public QObject {
  Q_OBJECT
public:
  enum class Property { slots, expandedSlotID, previewEnabled, tailMode, loadingSlots, lastError, processMask };
  Q_ENUM(Property)

  // Called on the GUI thread with a built chain, or with the error that stopped the building.
  using ChainReady = std::function<void(std::shared_ptr<ProcessorHandoff> handoff)>;
  using ChainFailed = std::function<void(std::exception_ptr error)>;

  // A change of the chain rebuilds the preview this long after the last such change.
  static constexpr std::chrono::milliseconds rebuildDelay{60};
  // How often a rebuild that waits for the render thread to let go of a plug-in looks again.
  static constexpr std::chrono::milliseconds renderThreadPoll{10};

  explicit EffectsRack(QObject* parent = nullptr);

  // Tracked state.
  // The chain in processing order. Every assignment brings the live preview up to date.
  const std::vector<EffectSlot>& slots() const { return track(Property::slots), slots_; }
  void setSlots(std::vector<EffectSlot> slots);
  // The slot whose card is expanded.
  const std::optional<quar::Uuid>& expandedSlotID() const { return track(Property::expandedSlotID), expandedSlotID_; }
  void setExpandedSlotID(std::optional<quar::Uuid> id);
  // The live-preview switch; every assignment republishes the preview.
  bool previewEnabled() const { return track(Property::previewEnabled), previewEnabled_; }
  void setPreviewEnabled(bool enabled);
  // What applying the rack does with the effects' ring-out after the range.
  quar::EffectTailMode tailMode() const { return track(Property::tailMode), tailMode_; }
  void setTailMode(quar::EffectTailMode mode);
  // Plug-in slots whose instance is still being made.
  const std::set<quar::Uuid>& loadingSlots() const { return track(Property::loadingSlots), loadingSlots_; }
  // The message of the rack's error banner.
  const std::optional<QString>& lastError() const { return track(Property::lastError), lastError_; }
  // One flag per channel: the channels the live preview processes; a change republishes.
  const std::vector<bool>& processMask() const { return track(Property::processMask), processMask_; }
  void setProcessMask(std::vector<bool> mask);

  // Derived values (tracked as `slots`).
  // The enabled slots, in chain order.
  std::vector<EffectSlot> activeSlots() const;
  // The display names of the enabled slots joined with " + "; "Effects" when none is enabled.
  QString chainName() const;

  // Untracked state.
  // The live instance of each loaded plug-in slot, by slot id. The rack owns them.
  const std::map<quar::Uuid, std::shared_ptr<quar::AudioUnitEffect>>& audioUnits() const { return audioUnits_; }
  // The live gain reduction (dB) of a slot's preview processor; none for a slot without a
  // metering processor in the current preview, and while that processor is not processing (the
  // slot bypassed, the preview switched off or being rebuilt).
  std::optional<float> gainReduction(const quar::Uuid& id) const;

  // Slot operations.
  // Appends a new enabled built-in slot and expands it.
  void add(quar::EffectSettings settings);
  // Appends a new enabled plug-in slot, expands it and makes its instance in the background;
  // a failed load removes the slot again and reports "Couldn’t load “<name>”: …".
  void addAudioUnit(quar::AudioUnitDescriptor descriptor);
  // Removes the slot with this id (and its instance; it no longer counts as loading).
  void remove(const quar::Uuid& id);
  // Exchanges the slot with the one `offset` places away, clamped to the chain's ends.
  void move(const quar::Uuid& id, int offset);
  // Removes every slot and instance.
  void removeAll();
  void dismissError();
  // Shows a message in the rack's error banner: a failure of the rack's views (saving a preset).
  void reportError(QString message);

  // Live preview.
  // Binds the preview to playback's render state at the content's rate (Hz) and channel count:
  // the first time, or at another format, it rebuilds at once; otherwise it republishes, or
  // rebuilds when the chain changed since the last rebuild. Called before playback starts.
  void activate(const std::shared_ptr<RenderState>& renderState, double sampleRate, int channelCount);
  // Hands the current settings, enabled flags, versions, channel mask and preview switch to the
  // render thread, one entry per processor of the published runtime.
  void publishState();

  // Applying the rack: makes fresh processors for the enabled slots in order (plug-ins as new
  // instances carrying the live instance's state, rendering offline) and hands them to `ready`
  // later on the GUI thread (never during this call); `failed` gets the error when a plug-in
  // cannot be made, or its state cannot be saved or restored. Nothing is called when the rack
  // is destroyed first. The rack itself is left unchanged.
  void makeOfflineChain(ChainReady ready, ChainFailed failed);

Q_SIGNALS:
  void changed(EffectsRack::Property property);

private:
  struct Format {
    double sampleRate;
    int channelCount;
  };

  void track(Property property) const { ObservationScope::record(this, property); }
  void setLoadingSlots(std::set<quar::Uuid> ids);
  void setLastError(std::optional<QString> message);
  bool contains(const quar::Uuid& id) const;
  void stopLoading(const quar::Uuid& id);
  void finishLoad(const quar::Uuid& id, const QString& name, std::shared_ptr<quar::AudioUnitEffect> instance,
                  std::exception_ptr error);

  // Live preview.
  // Republishes after a parameter change, or schedules a rebuild after a change of the chain.
  void slotsChanged(const std::vector<EffectSlot>& previous);
  // Turns the preview off now and rebuilds after rebuildDelay without a further change.
  void scheduleRebuild();
  // Builds, prepares and publishes a new runtime; waits instead while the render thread may
  // still run a live plug-in instance that the new chain would prepare again.
  void rebuildNow();
  bool mustAwaitRenderThread(const RenderState& state) const;

  std::vector<EffectSlot> slots_;
  std::optional<quar::Uuid> expandedSlotID_;
  bool previewEnabled_ = true;
  quar::EffectTailMode tailMode_ = quar::EffectTailMode::mixIntoFollowing;
  std::set<quar::Uuid> loadingSlots_;
  std::optional<QString> lastError_;
  std::vector<bool> processMask_;
  std::map<quar::Uuid, std::shared_ptr<quar::AudioUnitEffect>> audioUnits_;

  // Live preview bookkeeping.
  std::weak_ptr<RenderState> renderState_;
  std::optional<Format> format_;  // of the last activation; none: no preview work at all
  std::shared_ptr<PreviewRuntime> runtime_;
  std::vector<QString> runtimeKeys_;       // of every slot at the last rebuild
  std::vector<quar::Uuid> preparedSlotIDs_;  // the slot of each runtime processor
  std::vector<int64_t> versions_;          // per runtime processor
  bool rebuildPending_ = false;  // the preview stays off until the rebuild
  QTimer* rebuildTimer_;
};
