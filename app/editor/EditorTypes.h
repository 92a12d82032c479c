// The small values through which the editor model, its views and its jobs talk: the undo
// snapshot, markers, the running job, the meter reading, loudness delivery presets and the
// enumerations behind the inspector tabs, the analysis scope, the loudness adjustment mode
// and the recording destination. Plain values; BusyState shares its ProgressToken.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <QString>

#include "base/Enums.h"
#include "base/FrameRange.h"
#include "base/Uuid.h"
#include "core/AudioContent.h"
#include "core/EnvelopeSet.h"
#include "editor/ProgressToken.h"

struct Marker {
  quar::Uuid id;  // stays when the marker moves or is renamed
  int64_t frame = 0;
  QString name;

  bool operator==(const Marker&) const = default;
};

// One complete undo snapshot.
struct EditState {
  quar::AudioContent content;
  std::optional<quar::FrameRange> selection;
  std::set<int> activeChannels;
  int64_t cursor = 0;
  std::vector<Marker> markers;
  quar::EnvelopeSet envelope;
};

// The running background job. Not comparable: every assignment notifies.
struct BusyState {
  quar::Uuid id;  // fresh per job
  QString title;  // shown by the busy overlay; the job's undo action name
  std::shared_ptr<ProgressToken> token;
  double fraction = 0;  // 0...1, as last copied from the token
};

// Levels in dBFS per channel and loudness in LUFS; -120 everywhere at rest.
struct MeterReading {
  std::vector<double> peakDB;
  std::vector<double> holdDB;
  std::vector<double> rmsDB;
  double momentaryLUFS = -120;
  double shortTermLUFS = -120;
  double maxMomentaryLUFS = -120;

  static MeterReading resting(int channelCount);
  bool operator==(const MeterReading&) const = default;
};

// A loudness delivery target: integrated loudness (LUFS) and true-peak ceiling (dBTP).
struct LoudnessPreset {
  QString name;  // also its identity
  double lufs = 0;
  double ceiling = 0;

  bool operator==(const LoudnessPreset&) const = default;
};

// The ranges the editor offers for the loudness target (LUFS) and the true-peak ceiling (dBTP).
inline constexpr double minTargetLUFS = -36;
inline constexpr double maxTargetLUFS = -6;
inline constexpr double minCeilingDBTP = -9;
inline constexpr double maxCeilingDBTP = 0;

enum class InspectorTab { loudness, spectrum, info, markers, effects };
enum class AnalysisScope { file, selection };
enum class LoudnessAdjustMode { target, manual };
enum class RecordMode { insert, replace, append };

int rawValue(InspectorTab tab);
std::string_view rawValue(AnalysisScope scope);
std::string_view rawValue(LoudnessAdjustMode mode);
std::string_view rawValue(RecordMode mode);

template <>
struct quar::EnumCases<InspectorTab> {
  static constexpr std::array values{InspectorTab::loudness, InspectorTab::spectrum, InspectorTab::info,
                                     InspectorTab::markers, InspectorTab::effects};
};
template <>
struct quar::EnumCases<AnalysisScope> {
  static constexpr std::array values{AnalysisScope::file, AnalysisScope::selection};
};
template <>
struct quar::EnumCases<LoudnessAdjustMode> {
  static constexpr std::array values{LoudnessAdjustMode::target, LoudnessAdjustMode::manual};
};
template <>
struct quar::EnumCases<RecordMode> {
  static constexpr std::array values{RecordMode::insert, RecordMode::replace, RecordMode::append};
};

template <>
struct std::hash<Marker> {
  size_t operator()(const Marker& marker) const noexcept;
};
