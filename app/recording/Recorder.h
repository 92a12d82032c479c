// Recorder: records an input device into its document's editor model. GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>

class EditorModel;

class Recorder final : public QObject {
  Q_OBJECT
public:
  explicit Recorder(QObject* parent = nullptr) : QObject(parent) {}

  // The model that takes the recordings (not owned).
  void setModel(EditorModel* model) { model_ = model; }
  EditorModel* model() const { return model_; }

  // Whether a take is being captured.
  bool isRecording() const { return isRecording_; }
  // Ends the take being captured.
  void stop() {}

private:
  QPointer<EditorModel> model_;
  bool isRecording_ = false;
};
