// EditorWindowController: the editor's commands, the standard commands it takes and the
// validation of their menu items.
#include "window/EditorWindowController.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QMainWindow>
#include <QUrl>

#include <algorithm>
#include <array>
#include <initializer_list>

#include "document/AudioDocument.h"
#include "dsp/effects/EffectKind.h"
#include "dsp/effects/EffectSettings.h"
#include "editor/EditorModel.h"
#include "effects/AudioUnitLibrary.h"
#include "effects/EffectsRack.h"
#include "platform/DocumentController.h"
#include "recording/Recorder.h"
#include "sheets/FadeSheet.h"
#include "sheets/GainSheet.h"
#include "sheets/InsertSilenceSheet.h"
#include "sheets/NormalizeSheet.h"
#include "sheets/SampleRateSheet.h"
#include "sheets/TimePitchSheet.h"
#include "support/AudioClipboard.h"
#include "support/Preferences.h"

namespace {

// The standard commands that the controller takes besides the editor's.
const QStringList& standardCommands() {
  static const QStringList commands{
      "cut", "copy", "paste", "delete", "selectAll", "undo", "redo",
      "performClose", "performMiniaturize", "performZoom", "toggleFullScreen",
  };
  return commands;
}

// The steps of the gain envelope's dB range.
constexpr std::array<double, 5> envelopeRangeSteps{3, 6, 12, 24, 48};

} // namespace

quar::FadeShape EditorWindowController::defaultFadeShape() { return Preferences::fadeShape(); }

bool EditorWindowController::isIdle() const { return model_->canChangeDocument(); }

// Validation

bool EditorWindowController::respondsTo(const QString& command) const {
  return EditorCommands::action(command) || standardCommands().contains(command);
}

MenuItemState EditorWindowController::validateMenuItem(const QAction& item) {
  const QString command = MenuItem::command(item);
  const auto is = [&command](std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return command == QLatin1String(name); });
  };
  const EditorModel& model = *model_;
  const Recorder& recorder = model_->recorder();
  const EffectsRack& rack = model_->rack();
  const UndoManager& undo = *audioDocument_.undoManager();
  const bool hasAudio = model.content().frameCount() > 0;
  const bool idle = isIdle();
  const bool hasSelection = model.selection().has_value();
  const std::optional<quar::AudioContent>& clip = AudioClipboard::shared().content();
  const bool clipboardHasAudio = clip && clip->frameCount() > 0;
  const int channels = model.content().channelCount();

  if (is({"cut", "copy", "delete", "trimToSelection", "zoomToSelection", "playSelection", "fadeIn", "fadeOut", "showFade",
          "silenceSelection"}))
    return {idle && hasSelection};
  if (is({"exportSelection", "insertSilence", "showGain", "showNormalize", "showLoudness", "reverseAudio",
          "invertPolarity", "removeDCOffset", "changeSampleRate", "showTimePitch"}))
    return {hasAudio && idle};
  if (is({"selectAll", "zoomIn", "zoomOut", "zoomToFit", "increaseAmplitudeZoom", "decreaseAmplitudeZoom", "goToStart",
          "goToEnd"}))
    return {hasAudio};
  if (is({"showRecordingsFolder", "newRecording", "addEffect", "addAudioUnitEffect", "performClose",
          "performMiniaturize", "performZoom"}))
    return {true};
  if (is({"toggleFullScreen"})) {
    const bool fullScreen = window()->isFullScreen();
    return {true, fullScreen ? QStringLiteral("Exit Full Screen") : QStringLiteral("Enter Full Screen"), {}};
  }
  if (is({"paste", "pasteAsNew"})) return {idle && clipboardHasAudio};
  if (is({"pasteMix"})) return {idle && clipboardHasAudio && hasAudio};
  if (is({"selectNone"})) return {hasSelection};
  if (is({"selectChannel"})) {
    const int tag = MenuItem::tag(item);
    const std::set<int>& active = model.activeChannels();
    if (tag < 0) return {hasAudio && tag < channels, {}, active == EditorModel::allChannels(channels)};
    return {hasAudio && tag < channels && channels > 1, {}, active == std::set<int>{tag} && channels > 1};
  }
  if (is({"toggleSnapToZeroCrossings"})) return {true, {}, model.snapToZeroCrossings()};
  if (is({"toggleInspector"}))
    return {true, model.showInspector() ? QStringLiteral("Hide Inspector") : QStringLiteral("Show Inspector"), {}};
  if (is({"showInspectorTab"})) return {true, {}, model.showInspector() && rawValue(model.inspectorTab()) == MenuItem::tag(item)};
  if (is({"toggleLoudnessLane"})) return {true, {}, model.showLoudnessLane()};
  if (is({"toggleGrid"})) return {hasAudio, {}, model.tempo().showGrid()};
  if (is({"detectTempo", "tapTempo", "setDownbeatAtCursor"})) return {hasAudio && !model.tempo().isDetectingTempo()};
  if (is({"zoomEnvelope"})) return {model.showLoudnessLane()};
  if (is({"setTimeFormat"})) {
    const auto& formats = quar::allCases<TimeFormat>();
    const auto index = std::find(formats.begin(), formats.end(), model.timeFormat()) - formats.begin();
    return {true, {}, index == MenuItem::tag(item)};
  }
  if (is({"togglePlayback"}))
    return {hasAudio, model.transport().isPlaying() ? QStringLiteral("Pause") : QStringLiteral("Play"), {}};
  if (is({"stopPlayback"})) return {model.transport().isPlaying()};
  if (is({"toggleLoop"})) return {true, {}, model.transport().isLooping()};
  if (is({"toggleRecording"})) {
    // Stopping a take must stay possible: only a job keeps the recorder from being toggled.
    const QString title = recorder.isRecording() ? QStringLiteral("Stop Recording")
                          : recorder.isArmed()   ? QStringLiteral("Record")
                                                 : QStringLiteral("Record\u2026");
    return {!model.busy(), title, {}};
  }
  if (is({"addMarker"})) return {hasAudio && idle};
  if (is({"nextMarker", "previousMarker"})) return {!model.markers().empty()};
  if (is({"swapChannels"})) return {idle && channels == 2};
  if (is({"convertToMono"})) return {idle && hasAudio && channels > 1};
  if (is({"convertToStereo"})) return {idle && hasAudio && channels != 2};
  if (is({"applyGainEnvelope", "clearGainEnvelope"})) return {idle && !model.envelopes().isEmpty()};
  if (is({"applyEffectsRack"})) return {hasAudio && model.canApplyEffects()};
  if (is({"toggleEffectsPreview"})) return {!rack.slots().empty(), {}, rack.previewEnabled()};
  if (is({"clearEffectsRack"})) return {!rack.slots().empty()};
  if (is({"undo"})) return {idle && undo.canUndo(), undo.undoMenuItemTitle(), {}};
  if (is({"redo"})) return {idle && undo.canRedo(), undo.redoMenuItemTitle(), {}};
  return {hasAudio && idle};
}

void EditorWindowController::perform(const QAction& item) {
  const QString command = MenuItem::command(item);
  if (const Action action = EditorCommands::action(command))
    (static_cast<EditorCommands*>(this)->*action)(&item);
  else
    performStandard(command);
}

void EditorWindowController::performStandard(const QString& command) {
  QMainWindow* main = window();
  if (command == QLatin1String("cut") && model_->selection()) {
    model_->copy();
    model_->deleteSelection(QStringLiteral("Cut"));
  }
  if (command == QLatin1String("copy")) model_->copy();
  if (command == QLatin1String("paste")) model_->paste();
  if (command == QLatin1String("delete")) model_->deleteSelection(QStringLiteral("Delete"));
  if (command == QLatin1String("selectAll")) model_->selectAll();
  if (command == QLatin1String("undo")) model_->undo();
  if (command == QLatin1String("redo")) model_->redo();
  if (command == QLatin1String("performClose")) main->close();
  if (command == QLatin1String("performMiniaturize")) main->showMinimized();
  if (command == QLatin1String("performZoom")) main->setWindowState(main->windowState() ^ Qt::WindowMaximized);
  if (command == QLatin1String("toggleFullScreen")) main->setWindowState(main->windowState() ^ Qt::WindowFullScreen);
}

// Sheets

void EditorWindowController::presentSheet(Sheet sheet) { presentSheet(sheetBuilder(sheet, *model_)); }

EditorWindowController::SheetBuilder EditorWindowController::sheetBuilder(Sheet sheet, EditorModel& model) {
  return [sheet, &model](QWidget* window) -> QDialog* {
    switch (sheet) {
    case Sheet::insertSilence: return new InsertSilenceSheet(model, window);
    case Sheet::gain: return new GainSheet(model, window);
    case Sheet::normalize: return new NormalizeSheet(model, window);
    case Sheet::fade: return new FadeSheet(model, window);
    case Sheet::sampleRate: return new SampleRateSheet(model, window);
    case Sheet::timePitch: return new TimePitchSheet(model, window);
    }
    return nullptr;
  };
}

// Documents

std::unique_ptr<AudioDocument> EditorWindowController::makeUntitledDocument() {
  DocumentController* controller = DocumentController::shared();
  if (!controller) return nullptr;
  std::unique_ptr<Document> document = controller->makeUntitledDocument(QStringLiteral("com.microsoft.waveform-audio"));
  if (!dynamic_cast<AudioDocument*>(document.get())) return nullptr;
  return std::unique_ptr<AudioDocument>(static_cast<AudioDocument*>(document.release()));
}

AudioDocument& EditorWindowController::addAndShow(std::unique_ptr<AudioDocument> document) {
  AudioDocument& added = *document;
  DocumentController::shared()->addDocument(std::move(document));
  added.makeWindowControllers();
  added.showWindows();
  return added;
}

// The editor's commands

void EditorWindowController::exportSelection(Sender) { audioDocument_.exportSelection(); }

void EditorWindowController::pasteMix(Sender) { model_->pasteMix(); }

void EditorWindowController::pasteAsNew(Sender) {
  const std::optional<quar::AudioContent>& clip = AudioClipboard::shared().content();
  if (!clip) return;
  std::unique_ptr<AudioDocument> document;
  try {
    document = makeUntitledDocument();
  } catch (...) {
    audioDocument_.presentError(std::current_exception());
    return;
  }
  if (!document) return;
  document->model().load(*clip, std::nullopt);
  addAndShow(std::move(document));
}

void EditorWindowController::selectNone(Sender) { model_->selectNone(); }

void EditorWindowController::trimToSelection(Sender) { model_->trimToSelection(); }

void EditorWindowController::insertSilence(Sender) { presentSheet(Sheet::insertSilence); }

void EditorWindowController::toggleSnapToZeroCrossings(Sender) {
  model_->setSnapToZeroCrossings(!model_->snapToZeroCrossings());
}

void EditorWindowController::selectChannel(Sender sender) {
  if (!sender) return;
  const quar::AudioContent& content = model_->content();
  if (!model_->selection()) model_->setSelection(quar::FrameRange(0, content.frameCount()));
  const int tag = MenuItem::tag(*sender);
  model_->setActiveChannels(tag < 0 ? EditorModel::allChannels(content.channelCount()) : std::set<int>{tag});
}

void EditorWindowController::zoomIn(Sender) { model_->zoom(0.5); }

void EditorWindowController::zoomOut(Sender) { model_->zoom(2.0); }

void EditorWindowController::zoomToFit(Sender) { model_->viewport().zoomToFit(); }

void EditorWindowController::zoomToSelection(Sender) { model_->zoomToSelection(); }

void EditorWindowController::increaseAmplitudeZoom(Sender) {
  model_->viewport().setAmplitudeZoom(std::min(model_->viewport().amplitudeZoom() * 2, 64.0));
}

void EditorWindowController::decreaseAmplitudeZoom(Sender) {
  model_->viewport().setAmplitudeZoom(std::max(model_->viewport().amplitudeZoom() * 0.5, 1.0));
}

void EditorWindowController::toggleInspector(Sender) { model_->setShowInspector(!model_->showInspector()); }

void EditorWindowController::toggleLoudnessLane(Sender) { model_->setShowLoudnessLane(!model_->showLoudnessLane()); }

void EditorWindowController::showInspectorTab(Sender sender) {
  if (!sender) return;
  const std::optional<InspectorTab> tab = quar::fromRawValue<InspectorTab>(MenuItem::tag(*sender));
  if (tab) revealInspectorTab(*tab);
}

void EditorWindowController::setTimeFormat(Sender sender) {
  if (!sender) return;
  const auto& formats = quar::allCases<TimeFormat>();
  const int tag = MenuItem::tag(*sender);
  if (tag >= 0 && tag < static_cast<int>(formats.size())) model_->setTimeFormat(formats[static_cast<size_t>(tag)]);
}

void EditorWindowController::togglePlayback(Sender) { model_->togglePlayback(); }

void EditorWindowController::playSelection(Sender) { model_->play(true); }

void EditorWindowController::stopPlayback(Sender) { model_->stop(false); }

void EditorWindowController::toggleLoop(Sender) { model_->transport().setIsLooping(!model_->transport().isLooping()); }

void EditorWindowController::goToStart(Sender) { model_->goToStart(); }

void EditorWindowController::goToEnd(Sender) { model_->goToEnd(); }

void EditorWindowController::addMarker(Sender) { model_->addMarker(); }

void EditorWindowController::nextMarker(Sender) { model_->jumpToMarker(true); }

void EditorWindowController::previousMarker(Sender) { model_->jumpToMarker(false); }

void EditorWindowController::showGain(Sender) { presentSheet(Sheet::gain); }

void EditorWindowController::showNormalize(Sender) { presentSheet(Sheet::normalize); }

void EditorWindowController::showLoudness(Sender) { revealInspectorTab(InspectorTab::loudness); }

void EditorWindowController::fadeIn(Sender) { model_->fade(quar::FadeDirection::fadeIn, defaultFadeShape()); }

void EditorWindowController::fadeOut(Sender) { model_->fade(quar::FadeDirection::fadeOut, defaultFadeShape()); }

void EditorWindowController::showFade(Sender) { presentSheet(Sheet::fade); }

void EditorWindowController::silenceSelection(Sender) { model_->silence(); }

void EditorWindowController::reverseAudio(Sender) { model_->reverse(); }

void EditorWindowController::invertPolarity(Sender) { model_->invert(); }

void EditorWindowController::removeDCOffset(Sender) { model_->removeDC(); }

void EditorWindowController::swapChannels(Sender) { model_->swapChannels(); }

void EditorWindowController::convertToMono(Sender) { model_->convertChannels(1); }

void EditorWindowController::convertToStereo(Sender) { model_->convertChannels(2); }

void EditorWindowController::changeSampleRate(Sender) { presentSheet(Sheet::sampleRate); }

void EditorWindowController::showTimePitch(Sender) { presentSheet(Sheet::timePitch); }

void EditorWindowController::applyGainEnvelope(Sender) { model_->applyEnvelope(); }

void EditorWindowController::clearGainEnvelope(Sender) { model_->clearEnvelope(); }

void EditorWindowController::zoomEnvelope(Sender sender) {
  const auto* found = std::find(envelopeRangeSteps.begin(), envelopeRangeSteps.end(), model_->envelopeRangeDB());
  const int current = found == envelopeRangeSteps.end() ? 2 : static_cast<int>(found - envelopeRangeSteps.begin());
  const int step = sender ? MenuItem::tag(*sender) : 1;
  const int next = std::clamp(current - step, 0, static_cast<int>(envelopeRangeSteps.size()) - 1);
  model_->setEnvelopeRangeDB(envelopeRangeSteps[static_cast<size_t>(next)]);
}

void EditorWindowController::toggleGrid(Sender) { model_->tempo().setShowGrid(!model_->tempo().showGrid()); }

void EditorWindowController::toggleRecording(Sender) { model_->recorder().toggle(); }

void EditorWindowController::newRecording(Sender) { openNewRecording(); }

void EditorWindowController::openNewRecording() {
  std::unique_ptr<AudioDocument> document;
  try {
    document = makeUntitledDocument();
  } catch (...) {
    return;
  }
  if (document) addAndShow(std::move(document)).model().recorder().arm();
}

void EditorWindowController::showRecordingsFolder(Sender) {
  const QString folder = Recorder::recordingsFolder();
  QDir().mkpath(folder);
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void EditorWindowController::detectTempo(Sender) {
  model_->tempo().detectTempo(model_->content(), model_->envelopes());
}

void EditorWindowController::tapTempo(Sender) { model_->tempo().tapTempo(); }

void EditorWindowController::setDownbeatAtCursor(Sender) { model_->setDownbeatAtCursor(); }

void EditorWindowController::revealInspectorTab(InspectorTab tab) {
  model_->setInspectorTab(tab);
  model_->setShowInspector(true);
}

void EditorWindowController::addEffect(Sender sender) {
  if (!sender) return;
  const auto& kinds = quar::allCases<quar::EffectKind>();
  const int tag = MenuItem::tag(*sender);
  if (tag < 0 || tag >= static_cast<int>(kinds.size())) return;
  model_->rack().add(quar::defaultSettings(kinds[static_cast<size_t>(tag)]));
  revealInspectorTab(InspectorTab::effects);
}

void EditorWindowController::addAudioUnitEffect(Sender sender) {
  if (!sender) return;
  const QVariant id = MenuItem::representedObject(*sender);
  if (id.typeId() != QMetaType::QString) return;
  const std::vector<quar::AudioUnitDescriptor>& available = AudioUnitLibrary::cached();
  const auto found = std::find_if(available.begin(), available.end(), [wanted = id.toString().toStdString()](const auto& d) {
    return d.id() == wanted;
  });
  if (found == available.end()) return;
  model_->rack().addAudioUnit(*found);
  revealInspectorTab(InspectorTab::effects);
}

void EditorWindowController::applyEffectsRack(Sender) { model_->applyEffects(); }

void EditorWindowController::toggleEffectsPreview(Sender) {
  EffectsRack& rack = model_->rack();
  rack.setPreviewEnabled(!rack.previewEnabled());
}

void EditorWindowController::clearEffectsRack(Sender) { model_->rack().removeAll(); }
