#include "editor/EditorTypes.h"

#include <QHash>

MeterReading MeterReading::resting(int channelCount) {
  const auto n = static_cast<size_t>(std::max(channelCount, 0));
  return MeterReading{std::vector<double>(n, -120), std::vector<double>(n, -120), std::vector<double>(n, -120),
                      -120, -120, -120};
}

int rawValue(InspectorTab tab) { return static_cast<int>(tab); }

std::string_view rawValue(AnalysisScope scope) { return scope == AnalysisScope::file ? "file" : "selection"; }

std::string_view rawValue(LoudnessAdjustMode mode) { return mode == LoudnessAdjustMode::target ? "target" : "manual"; }

std::string_view rawValue(RecordMode mode) {
  switch (mode) {
  case RecordMode::insert: return "insert";
  case RecordMode::replace: return "replace";
  case RecordMode::append: return "append";
  }
  return {};
}

size_t std::hash<Marker>::operator()(const Marker& marker) const noexcept {
  size_t h = std::hash<quar::Uuid>{}(marker.id);
  h = h * 31 + std::hash<int64_t>{}(marker.frame);
  return h * 31 + qHash(marker.name);
}
