// ExportOptionsView: the export options form below a save panel's file browser: "Format",
// "Bit depth", "Bitrate", "Sample rate" and "Dither" menus over an ExportOptionsModel, each
// shown only where the format has it, and the model's notes with an info icon. Every choice
// writes the model; the rows follow the model's settings at once. GUI thread only.
#pragma once

#include <QWidget>

class ExportOptionsModel;
class QComboBox;
class QFormLayout;
class QVBoxLayout;

class ExportOptionsView final : public QWidget {
  Q_OBJECT
public:
  static constexpr int formWidth = 480;

  // The view does not own the model.
  explicit ExportOptionsView(ExportOptionsModel* model, QWidget* parent = nullptr);

private:
  void refresh();
  void showNotes();

  ExportOptionsModel* model_;
  QFormLayout* form_;
  QComboBox* format_;
  QComboBox* bitDepth_;
  QComboBox* bitRate_;
  QComboBox* sampleRate_;
  QComboBox* dither_;
  QWidget* notes_;
  QVBoxLayout* noteLines_;
};
