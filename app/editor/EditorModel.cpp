#include "editor/EditorModel.h"

#include <algorithm>
#include <cmath>

#include "effects/EffectsRack.h"
#include "platform/Observable.h"
#include "platform/Platform.h"
#include "platform/UndoManager.h"
#include "recording/Recorder.h"
#include "support/Preferences.h"

using quar::AudioContent;
using quar::FrameRange;

EditorModel::EditorModel(AudioContent content, std::optional<quar::AudioFileInfo> fileInfo, QObject* parent)
    : QObject(parent),
      loudnessSettings_([this] { updatePreviewGain(); }),
      transport_([this] { transportTick(); }),
      content_(std::move(content)),
      analysis_(content_),
      fileInfo_(std::move(fileInfo)),
      snapToZeroCrossings_(Preferences::boolValue(Preferences::Keys::snapToZeroCrossings)),
      rack_(std::make_unique<EffectsRack>()),
      recorder_(std::make_unique<Recorder>()) {
  viewport_.setContentLength(content_.frameCount());
  activeChannels_ = allChannels(content_.channelCount());
  transport_.setMeter(MeterReading::resting(content_.channelCount()));
  contentDidChange();
  recorder_->setModel(this);
  connect(&jobs_, &JobRunner::changed, this, [this] { updateCanChangeDocument(); });
}

EditorModel::~EditorModel() { cancelBackgroundWork(); }

void EditorModel::watchContentAndSelection(QObject* context, std::function<void()> changed) {
  connect(this, &EditorModel::changed, context, [changed = std::move(changed)](Property property) {
    if (property == Property::content || property == Property::selection) changed();
  });
}

void EditorModel::watchChanges(ObservationTracker& tracker) {
  tracker.watch(this);
  tracker.watch(&transport_);
  tracker.watch(&analysis_);
  tracker.watch(&jobs_);
}

std::set<int> EditorModel::allChannels(int count) {
  std::set<int> channels;
  for (int c = 0; c < count; ++c) channels.insert(c);
  return channels;
}

void EditorModel::load(AudioContent content, std::optional<quar::AudioFileInfo> fileInfo) {
  stop(false);
  setContent(std::move(content));
  setFileInfo(std::move(fileInfo));
  setMarkers({});
  setEnvelopes({});
  setEnvelopeTarget(std::nullopt);
  setSelection(std::nullopt);
  setCursor(0);
  setActiveChannels(allChannels(content_.channelCount()));
  transport_.setMeter(MeterReading::resting(content_.channelCount()));
  viewport_.zoomToFit();
}

void EditorModel::stop(bool keepPosition) {
  if (!transport_.isPlaying()) return;
  transport_.halt();
  if (keepPosition && !selection_) {
    const int64_t frame = std::clamp<int64_t>(transport_.playhead(), 0, content_.frameCount());
    if (frame != cursor_) setCursor(frame);
  }
  transport_.setMeter(MeterReading::resting(content_.channelCount()));
}

void EditorModel::presentError(std::exception_ptr error) const {
  if (presentError_) presentError_(std::move(error));
}

void EditorModel::contentDidChange() {
  assignObserved(this, contentVersion_, contentVersion_ + 1, Property::contentVersion);
  analysis_.contentChanged(content_);
}

void EditorModel::setContent(AudioContent content) {
  content_ = std::move(content);
  viewport_.setContentLength(content_.frameCount());
  Q_EMIT changed(Property::content);
  contentDidChange();
}

void EditorModel::setFileInfo(std::optional<quar::AudioFileInfo> info) {
  assignObserved(this, fileInfo_, std::move(info), Property::fileInfo);
}

void EditorModel::setMarkers(std::vector<Marker> markers) {
  assignObserved(this, markers_, std::move(markers), Property::markers);
}

void EditorModel::setEnvelopes(quar::EnvelopeSet envelopes) {
  if (!assignObserved(this, envelopes_, std::move(envelopes), Property::envelopes)) return;
  transport_.player().setEnvelopes(envelopes_);
  analysis_.envelopesChanged(envelopes_);
}

void EditorModel::setEnvelopeTarget(std::optional<int> target) {
  assignObserved(this, envelopeTarget_, target, Property::envelopeTarget);
}

void EditorModel::setSelection(std::optional<FrameRange> selection) {
  if (selection && selection->isEmpty()) {
    setSelection(std::nullopt);
    return;
  }
  if (assignObserved(this, selection_, selection, Property::selection)) analysis_.selectionChanged(selection_);
}

void EditorModel::setActiveChannels(std::set<int> channels) {
  assignObserved(this, activeChannels_, std::move(channels), Property::activeChannels);
  std::vector<bool> mask(static_cast<size_t>(content_.channelCount()));
  for (size_t c = 0; c < mask.size(); ++c) mask[c] = activeChannels_.contains(static_cast<int>(c));
  if (mask != rack_->processMask()) rack_->setProcessMask(std::move(mask));
}

void EditorModel::setCursor(int64_t frame) { assignObserved(this, cursor_, frame, Property::cursor); }

void EditorModel::setSnapToZeroCrossings(bool snap) {
  assignObserved(this, snapToZeroCrossings_, snap, Property::snapToZeroCrossings);
  Preferences::setValue(Preferences::Keys::snapToZeroCrossings, snap);
}

void EditorModel::setRecordHead(std::optional<int64_t> frame) {
  assignObserved(this, recordHead_, frame, Property::recordHead);
}

void EditorModel::setLiveTakeVisible(bool visible) {
  assignObserved(this, liveTakeVisible_, visible, Property::liveTakeVisible);
}

void EditorModel::updateCanChangeDocument() {
  assignObserved(this, canChangeDocument_, !jobs_.busy() && !recordingBase_, Property::canChangeDocument);
}

// Beeps and returns true when the document may not change now.
bool EditorModel::refusesChange() {
  if (canChangeDocument_) return false;
  Platform::beep();
  return true;
}

QString EditorModel::formatSummary() const {
  const AudioContent& audio = content();
  const double rate = audio.sampleRate();
  const std::optional<quar::AudioFileInfo>& info = fileInfo();
  QStringList parts;
  if (info) parts << QString::fromStdString(info->codecName);
  parts << (std::fmod(rate, 1000) != 0 ? QString::asprintf("%.1f kHz", rate / 1000)
                                       : QString::number(static_cast<int64_t>(rate / 1000)) + QStringLiteral(" kHz"));
  if (info && info->bitDepth)
    parts << QString::number(*info->bitDepth) + (info->isFloat ? QStringLiteral("-bit float") : QStringLiteral("-bit"));
  const int channels = audio.channelCount();
  parts << (channels == 1   ? QStringLiteral("Mono")
            : channels == 2 ? QStringLiteral("Stereo")
                            : QString::number(channels) + QStringLiteral(" ch"));
  return parts.join(QStringLiteral(" · "));
}

QString EditorModel::channelName(int index) const {
  static const char* const surround[] = {"L", "R", "C", "LFE", "Ls", "Rs"};
  const int count = content().channelCount();
  QUAR_PRECONDITION(index >= 0 && index < count, "Channel index out of range");
  switch (count) {
  case 1: return QStringLiteral("Mono");
  case 2: return index == 0 ? QStringLiteral("L") : QStringLiteral("R");
  case 6: return QString::fromLatin1(surround[index]);
  default: return QString::number(index + 1);
  }
}

std::optional<std::set<int>> EditorModel::targetChannels() const {
  const std::set<int>& active = activeChannels();
  if (active == allChannels(content().channelCount())) return std::nullopt;
  return active;
}

FrameRange EditorModel::playRange() const {
  if (transport_.isLooping() && selection()) return *selection_;
  return {0, content().frameCount()};
}

const std::optional<quar::LoudnessResult>& EditorModel::activeLoudness() const {
  if (loudnessSettings_.analysisScope() == AnalysisScope::selection && selection())
    return analysis_.selectionLoudness();
  return analysis_.loudness();
}

std::optional<quar::LoudnessNormalization::Plan> EditorModel::loudnessPlan() const {
  const std::optional<quar::LoudnessResult>& result = activeLoudness();
  if (!result || !std::isfinite(result->integratedLUFS)) return std::nullopt;
  if (loudnessSettings_.adjustMode() == LoudnessAdjustMode::target)
    return quar::LoudnessNormalization::plan(*result, loudnessSettings_.targetLUFS(), loudnessSettings_.ceilingDBTP());
  quar::LoudnessNormalization::Plan plan;
  plan.gainDB = loudnessSettings_.manualGainDB();
  plan.predictedIntegratedLUFS = result->integratedLUFS + plan.gainDB;
  plan.predictedTruePeakDBTP = result->truePeakDBTP + plan.gainDB;
  plan.needsLimiting = loudnessSettings_.ceilingDBTP() < plan.predictedTruePeakDBTP;
  return plan;
}

void EditorModel::updatePreviewGain() { transport_.player().setGain(previewGain()); }
