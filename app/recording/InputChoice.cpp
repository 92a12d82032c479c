#include "recording/InputChoice.h"

#include <numeric>

QString InputChoice::title() const {
  if (channels.size() == 2)
    return QStringLiteral("Inputs %1\u2013%2 (stereo)").arg(channels[0] + 1).arg(channels[1] + 1);
  if (channels.size() == 1) return QStringLiteral("Input %1 (mono)").arg(channels[0] + 1);
  return QStringLiteral("All %1 inputs").arg(channels.size());
}

std::vector<InputChoice> InputChoice::choices(int channelCount) {
  std::vector<InputChoice> list;
  if (channelCount <= 0) return list;
  for (int c = 0; c + 1 < channelCount; c += 2) list.push_back({{c, c + 1}});
  for (int c = 0; c < channelCount; ++c) list.push_back({{c}});
  if (channelCount > 2) {
    std::vector<int> all(static_cast<size_t>(channelCount));
    std::iota(all.begin(), all.end(), 0);
    list.push_back({std::move(all)});
  }
  return list;
}
