// EffectsRack: one document's ordered effect slots with their live preview state. GUI thread
// only.
#pragma once

#include <QObject>

#include <memory>
#include <vector>

class RenderState;

class EffectsRack final : public QObject {
  Q_OBJECT
public:
  enum class Property { processMask };

  explicit EffectsRack(QObject* parent = nullptr) : QObject(parent) {}

  // One flag per channel: the channels that live preview processes.
  const std::vector<bool>& processMask() const { return processMask_; }
  void setProcessMask(std::vector<bool> mask);

  // Binds the live preview to playback's render state at the content's rate (Hz) and channel
  // count; called before playback starts.
  void activate(const std::shared_ptr<RenderState>& renderState, double sampleRate, int channelCount);

Q_SIGNALS:
  void changed(EffectsRack::Property property);

private:
  std::vector<bool> processMask_;
};
