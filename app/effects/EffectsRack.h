// EffectsRack: one document's ordered effect slots with their live preview state. GUI thread
// only.
#pragma once

#include <QObject>

#include <vector>

class EffectsRack final : public QObject {
  Q_OBJECT
public:
  enum class Property { processMask };

  explicit EffectsRack(QObject* parent = nullptr) : QObject(parent) {}

  // One flag per channel: the channels that live preview processes.
  const std::vector<bool>& processMask() const { return processMask_; }
  void setProcessMask(std::vector<bool> mask);

Q_SIGNALS:
  void changed(EffectsRack::Property property);

private:
  std::vector<bool> processMask_;
};
