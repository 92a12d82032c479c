// RecordingBar: the strip above the timeline while the document's recorder is armed: the
// record/stop button, the elapsed time and status, the input meters, the device, input and
// destination pickers (on a row of their own when the bar is too narrow for one row), the
// monitoring toggle and the close button, and below them the recorder's error or a note that
// the input runs at another rate than the document. It holds no state of its own: controls call
// the recorder, readouts follow the recorder and the model the take goes into.
// It registers no shortcut: Ctrl+R reaches the recorder through the window's Record command.
// None of its controls takes the keyboard focus, so Space always reaches the window (play or
// stop the take), also after a click on a picker. Its texts are pure functions. GUI thread.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

class InputMeters;
class QAbstractButton;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QToolButton;
class Recorder;
class TakeReceiver;

class RecordingBar final : public QWidget {
  Q_OBJECT
public:
  RecordingBar(Recorder& recorder, TakeReceiver& model, QWidget* parent = nullptr);

  // "48 kHz" for a whole number of kilohertz, else "44.1 kHz".
  static QString rateText(double rate);
  // The note under the controls: when the document holds audio and the input runs at another
  // (known) rate than the document, "The input runs at 48 kHz; the take will be converted to
  // 44.1 kHz when you stop."; otherwise none.
  static std::optional<QString> rateNote(double deviceRate, int64_t documentFrames, double documentRate);
  // The elapsed time of `frames` at `rate` Hz (a rate below 1 counts as 1): "0:05.3".
  static QString elapsedText(int64_t frames, double rate);
  static QString statusText(bool recording);
  static QString recordToolTip(bool recording);
  // Whether an error message gets the "Open Privacy Settings" button.
  static bool offersPrivacySettings(const QString& message);

  // What "Open Privacy Settings" does (by default, the desktop's privacy settings).
  static void setPrivacySettingsOpener(std::function<void()> opener);

protected:
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  static constexpr int rowSpacing = 14;
  static constexpr int minimumPickerWidth = 80;

  void refresh();
  // The texts' colours for the palette and the recording state.
  void applyColors();
  void refreshDevices();
  void refreshInputs();
  void refreshDestination();
  // The width the first row needs with the pickers in it: every control at its preferred width,
  // the meters at their least.
  int oneRowWidth() const;
  // The pickers go beside the meters when the first row has room for them, else below it.
  void placePickers();

  Recorder& recorder_;
  TakeReceiver& model_;
  QHBoxLayout* row_;
  QHBoxLayout* pickerRow_;
  QAbstractButton* recordButton_;
  QWidget* statusBlock_;
  QLabel* elapsed_;
  QLabel* status_;
  InputMeters* meters_;
  QWidget* pickers_;
  QComboBox* devicePicker_;
  QComboBox* inputPicker_;
  QComboBox* destinationPicker_;
  QLabel* newTake_;
  QToolButton* monitoring_;
  QToolButton* close_;
  QWidget* errorRow_;
  QLabel* errorLabel_;
  QAbstractButton* privacyButton_;
  QLabel* rateNote_;
};
