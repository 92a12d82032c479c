// EditorWindowController: the editor's commands, the standard commands it takes and the
// validation of their menu items.
#include "window/EditorWindowController.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include <algorithm>

#include "document/AudioDocument.h"
#include "dsp/effects/EffectKind.h"
#include "dsp/effects/EffectSettings.h"
#include "editor/EditorModel.h"
#include "effects/AudioUnitLibrary.h"
#include "effects/EffectsRack.h"
#include "platform/DocumentController.h"
#include "window/EditorCommands.h"
#include "recording/Recorder.h"
#include "sheets/FadeSheet.h"
#include "sheets/GainSheet.h"
#include "sheets/InsertSilenceSheet.h"
#include "sheets/NormalizeSheet.h"
#include "sheets/SampleRateSheet.h"
#include "sheets/TimePitchSheet.h"
#include "support/AudioClipboard.h"
#include "support/Preferences.h"

quar::FadeShape EditorWindowController::defaultFadeShape() { return Preferences::fadeShape(); }

bool EditorWindowController::isIdle() const { return model_->canChangeDocument(); }

// Validation

bool EditorWindowController::respondsTo(const QString& identifier) const {
  return EditorCommands::handler<&Command::editor>(identifier);
}

CommandState EditorWindowController::state(const CommandCall& call) {
  const EditorHandler* handler = EditorCommands::handler<&Command::editor>(call.identifier);
  if (!handler) return {false};
  const std::optional<quar::AudioContent>& clip = AudioClipboard::shared().content();
  const EditorCommandContext context{
      *this,
      *model_,
      *audioDocument_.undoManager(),
      model_->content().frameCount() > 0,
      isIdle(),
      model_->selection().has_value(),
      clip && clip->frameCount() > 0,
      model_->content().channelCount(),
  };
  return handler->enabled(context, call.argument);
}

void EditorWindowController::perform(const CommandCall& call) {
  if (const EditorHandler* handler = EditorCommands::handler<&Command::editor>(call.identifier))
    handler->perform(*this, call.argument);
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

void EditorWindowController::pasteAsNew() {
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

void EditorWindowController::selectChannel(int channel) {
  const quar::AudioContent& content = model_->content();
  if (!model_->selection()) model_->setSelection(quar::FrameRange(0, content.frameCount()));
  model_->setActiveChannels(channel < 0 ? EditorModel::allChannels(content.channelCount()) : std::set<int>{channel});
}

void EditorWindowController::zoomEnvelope(int step) {
  ViewSettings& settings = model_->viewSettings();
  settings.setEnvelopeRangeDB(ViewSettings::steppedEnvelopeRange(settings.envelopeRangeDB(), -step));
}

void EditorWindowController::openNewRecording() {
  std::unique_ptr<AudioDocument> document;
  try {
    document = makeUntitledDocument();
  } catch (...) {
    return;
  }
  if (document) addAndShow(std::move(document)).model().recorder().arm();
}

void EditorWindowController::showRecordingsFolder() {
  const QString folder = Recorder::recordingsFolder();
  QDir().mkpath(folder);
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void EditorWindowController::revealInspectorTab(InspectorTab tab) {
  model_->viewSettings().setInspectorTab(tab);
  model_->viewSettings().setShowInspector(true);
}

void EditorWindowController::addEffect(int kind) {
  const auto& kinds = quar::allCases<quar::EffectKind>();
  if (kind < 0 || kind >= static_cast<int>(kinds.size())) return;
  model_->rack().add(quar::defaultSettings(kinds[static_cast<size_t>(kind)]));
  revealInspectorTab(InspectorTab::effects);
}

void EditorWindowController::addAudioUnitEffect(const QString& id) {
  const std::vector<quar::AudioUnitDescriptor>& available = AudioUnitLibrary::cached();
  const auto found = std::find_if(available.begin(), available.end(),
                                  [wanted = id.toStdString()](const auto& d) { return d.id() == wanted; });
  if (found == available.end()) return;
  model_->rack().addAudioUnit(*found);
  revealInspectorTab(InspectorTab::effects);
}
