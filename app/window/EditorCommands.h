// EditorCommands: the editor's own menu commands, beside the standard edit, undo, document and
// window ones; an editor window's controller carries them out. Each takes the menu item that
// sent it (its tag and represented object say what to do), or null for another sender.
// commands() lists them by the names that menu items send. GUI thread only.
#pragma once

#include <QString>

#include <utility>
#include <vector>

class QAction;

class EditorCommands {
public:
  using Sender = const QAction*;
  using Action = void (EditorCommands::*)(Sender sender);

  // Every command with its name, in declaration order.
  static const std::vector<std::pair<QString, Action>>& commands();
  // The command of that name; null for a name that is none of them.
  static Action action(const QString& name);

  virtual void exportSelection(Sender sender) = 0;
  virtual void pasteMix(Sender sender) = 0;
  virtual void pasteAsNew(Sender sender) = 0;
  virtual void selectNone(Sender sender) = 0;
  virtual void trimToSelection(Sender sender) = 0;
  virtual void insertSilence(Sender sender) = 0;
  virtual void toggleSnapToZeroCrossings(Sender sender) = 0;
  virtual void selectChannel(Sender sender) = 0;
  virtual void zoomIn(Sender sender) = 0;
  virtual void zoomOut(Sender sender) = 0;
  virtual void zoomToFit(Sender sender) = 0;
  virtual void zoomToSelection(Sender sender) = 0;
  virtual void increaseAmplitudeZoom(Sender sender) = 0;
  virtual void decreaseAmplitudeZoom(Sender sender) = 0;
  virtual void toggleInspector(Sender sender) = 0;
  virtual void toggleLoudnessLane(Sender sender) = 0;
  virtual void showInspectorTab(Sender sender) = 0;
  virtual void setTimeFormat(Sender sender) = 0;
  virtual void togglePlayback(Sender sender) = 0;
  virtual void playSelection(Sender sender) = 0;
  virtual void stopPlayback(Sender sender) = 0;
  virtual void toggleLoop(Sender sender) = 0;
  virtual void goToStart(Sender sender) = 0;
  virtual void goToEnd(Sender sender) = 0;
  virtual void addMarker(Sender sender) = 0;
  virtual void nextMarker(Sender sender) = 0;
  virtual void previousMarker(Sender sender) = 0;
  virtual void showGain(Sender sender) = 0;
  virtual void showNormalize(Sender sender) = 0;
  virtual void showLoudness(Sender sender) = 0;
  virtual void fadeIn(Sender sender) = 0;
  virtual void fadeOut(Sender sender) = 0;
  virtual void showFade(Sender sender) = 0;
  virtual void silenceSelection(Sender sender) = 0;
  virtual void reverseAudio(Sender sender) = 0;
  virtual void invertPolarity(Sender sender) = 0;
  virtual void removeDCOffset(Sender sender) = 0;
  virtual void swapChannels(Sender sender) = 0;
  virtual void convertToMono(Sender sender) = 0;
  virtual void convertToStereo(Sender sender) = 0;
  virtual void changeSampleRate(Sender sender) = 0;
  virtual void showTimePitch(Sender sender) = 0;
  virtual void applyGainEnvelope(Sender sender) = 0;
  virtual void clearGainEnvelope(Sender sender) = 0;
  virtual void zoomEnvelope(Sender sender) = 0;
  virtual void toggleGrid(Sender sender) = 0;
  virtual void toggleRecording(Sender sender) = 0;
  virtual void newRecording(Sender sender) = 0;
  virtual void showRecordingsFolder(Sender sender) = 0;
  virtual void detectTempo(Sender sender) = 0;
  virtual void tapTempo(Sender sender) = 0;
  virtual void setDownbeatAtCursor(Sender sender) = 0;
  virtual void addEffect(Sender sender) = 0;
  virtual void addAudioUnitEffect(Sender sender) = 0;
  virtual void applyEffectsRack(Sender sender) = 0;
  virtual void toggleEffectsPreview(Sender sender) = 0;
  virtual void clearEffectsRack(Sender sender) = 0;

protected:
  ~EditorCommands() = default;
};
