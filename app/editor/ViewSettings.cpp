#include "editor/ViewSettings.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/Observable.h"
#include "support/Preferences.h"

namespace {

TimeFormat storedTimeFormat() {
  const std::string raw = Preferences::stringValue(Preferences::Keys::timeFormat).toStdString();
  return quar::fromRawValue<TimeFormat>(std::string_view(raw)).value_or(TimeFormat::hms);
}

constexpr size_t defaultEnvelopeRange = 2;

} // namespace

ViewSettings::ViewSettings(QObject* parent)
    : QObject(parent),
      showInspector_(Preferences::boolValue(Preferences::Keys::showInspector)),
      timeFormat_(storedTimeFormat()),
      showLoudnessLane_(Preferences::boolValue(Preferences::Keys::showLoudnessLane)),
      loudnessLaneHeight_(
          std::max(Preferences::doubleValue(Preferences::Keys::loudnessLaneHeight), minStoredLoudnessLaneHeight)) {}

void ViewSettings::setShowInspector(bool show) {
  assignObserved(this, showInspector_, show, Property::showInspector);
  Preferences::setValue(Preferences::Keys::showInspector, show);
}

void ViewSettings::setInspectorTab(InspectorTab tab) { assignObserved(this, inspectorTab_, tab, Property::inspectorTab); }

void ViewSettings::setTimeFormat(TimeFormat format) {
  assignObserved(this, timeFormat_, format, Property::timeFormat);
  Preferences::setValue(Preferences::Keys::timeFormat, QString::fromUtf8(rawValue(format)));
}

void ViewSettings::setShowLoudnessLane(bool show) {
  assignObserved(this, showLoudnessLane_, show, Property::showLoudnessLane);
  Preferences::setValue(Preferences::Keys::showLoudnessLane, show);
}

void ViewSettings::setLoudnessLaneHeight(double height) {
  assignObserved(this, loudnessLaneHeight_, height, Property::loudnessLaneHeight);
  Preferences::setValue(Preferences::Keys::loudnessLaneHeight, height);
}

void ViewSettings::setEnvelopeRangeDB(double range) {
  assignObserved(this, envelopeRangeDB_, range, Property::envelopeRangeDB);
}

double ViewSettings::steppedEnvelopeRange(double rangeDB, int steps) {
  const auto* found = std::find(envelopeRanges.begin(), envelopeRanges.end(), rangeDB);
  const auto index = static_cast<int>(found == envelopeRanges.end() ? defaultEnvelopeRange : found - envelopeRanges.begin());
  return envelopeRanges[static_cast<size_t>(std::clamp(index + steps, 0, static_cast<int>(envelopeRanges.size()) - 1))];
}
