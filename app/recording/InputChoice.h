// InputChoice: the input channels of a device that a take records, as zero-based indices in
// order, and the choices a device of n channels offers. A plain value.
#pragma once

#include <QString>

#include <vector>

struct InputChoice {
  std::vector<int> channels;

  // "Inputs 1–2 (stereo)", "Input 3 (mono)" or "All 4 inputs".
  QString title() const;
  // For n channels: every stereo pair that fits ([0, 1], [2, 3], ...), then every channel alone,
  // then, when n > 2, all channels. Empty for n <= 0.
  static std::vector<InputChoice> choices(int channelCount);

  bool operator==(const InputChoice&) const = default;
};
