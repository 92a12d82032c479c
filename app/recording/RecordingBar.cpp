#include "recording/RecordingBar.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "platform/Icons.h"
#include "recording/InputMeters.h"
#include "recording/Recorder.h"
#include "recording/TakeReceiver.h"
#include "support/TimeFormat.h"
#include "widgets/ViewStyle.h"

namespace {

std::function<void()>& privacySettingsOpener() {
  static std::function<void()> opener = [] {
    QProcess::startDetached(QStringLiteral("gnome-control-center"), {QStringLiteral("privacy")});
  };
  return opener;
}

// The red circle, with a white square while recording.
class RecordButton final : public QAbstractButton {
public:
  explicit RecordButton(QWidget* parent) : QAbstractButton(parent) {
    setObjectName(QStringLiteral("recordButton"));
    setFixedSize(26, 26);
    setFocusPolicy(Qt::NoFocus);
  }
  void setRecording(bool recording) {
    if (recording == recording_) return;
    recording_ = recording;
    update();
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor red = ViewStyle::systemRed.resolved(palette());
    red.setAlphaF(recording_ ? 1.0f : 0.9f);
    if (!isEnabled()) red.setAlphaF(0.35f);
    painter.setBrush(red);
    painter.drawEllipse(QRectF(0, 0, 26, 26));
    if (recording_) {
      painter.setBrush(Qt::white);
      painter.drawRoundedRect(QRectF(8, 8, 10, 10), 2, 2);
    }
  }

private:
  bool recording_ = false;
};

QColor secondaryText(const QPalette& palette) { return ViewStyle::withAlpha(palette.color(QPalette::WindowText), 0.55); }

} // namespace

RecordingBar::RecordingBar(Recorder& recorder, TakeReceiver& model, QWidget* parent)
    : QWidget(parent), recorder_(recorder), model_(model) {
  setObjectName(QStringLiteral("recordingBar"));
  auto* column = new QVBoxLayout(this);
  column->setSpacing(6);
  column->setContentsMargins(12, 10, 12, 10);
  row_ = new QHBoxLayout;
  row_->setSpacing(rowSpacing);
  column->addLayout(row_);
  pickerRow_ = new QHBoxLayout;
  pickerRow_->addStretch();
  column->addLayout(pickerRow_);

  recordButton_ = new RecordButton(this);
  connect(recordButton_, &QAbstractButton::clicked, this, [this] { recorder_.toggle(); });
  row_->addWidget(recordButton_);

  statusBlock_ = new QWidget(this);
  statusBlock_->setFixedWidth(170);
  auto* statusColumn = new QVBoxLayout(statusBlock_);
  statusColumn->setSpacing(0);
  statusColumn->setContentsMargins(0, 0, 0, 0);
  elapsed_ = new QLabel(statusBlock_);
  elapsed_->setObjectName(QStringLiteral("elapsedLabel"));
  elapsed_->setFont(ViewStyle::font(18, QFont::Medium, true));
  status_ = new QLabel(statusBlock_);
  status_->setObjectName(QStringLiteral("statusLabel"));
  status_->setFont(ViewStyle::font(10));
  statusColumn->addWidget(elapsed_);
  statusColumn->addWidget(status_);
  row_->addWidget(statusBlock_);

  meters_ = new InputMeters(this);
  connect(meters_, &InputMeters::resetClips, this, [this] { recorder_.resetClipIndicators(); });
  row_->addWidget(meters_);

  // The pickers stand beside the meters while the row has room for them, else on a row of
  // their own (placePickers).
  pickers_ = new QWidget(this);
  pickers_->setObjectName(QStringLiteral("pickers"));
  auto* pickers = new QHBoxLayout(pickers_);
  pickers->setContentsMargins(0, 0, 0, 0);
  pickers->setSpacing(rowSpacing);
  row_->addWidget(pickers_);

  devicePicker_ = new QComboBox(pickers_);
  devicePicker_->setObjectName(QStringLiteral("devicePicker"));
  devicePicker_->setAccessibleName(QStringLiteral("Device"));
  devicePicker_->setMaximumWidth(190);
  devicePicker_->setFocusPolicy(Qt::NoFocus);
  connect(devicePicker_, &QComboBox::activated, this,
          [this](int index) { recorder_.setDeviceID(devicePicker_->itemData(index).toInt()); });
  pickers->addWidget(devicePicker_);

  inputPicker_ = new QComboBox(pickers_);
  inputPicker_->setObjectName(QStringLiteral("inputPicker"));
  inputPicker_->setAccessibleName(QStringLiteral("Input"));
  inputPicker_->setMaximumWidth(170);
  inputPicker_->setFocusPolicy(Qt::NoFocus);
  connect(inputPicker_, &QComboBox::activated, this, [this](int index) {
    const std::vector<InputChoice> choices = recorder_.inputChoices();
    if (index >= 0 && static_cast<size_t>(index) < choices.size()) recorder_.setInputChoice(choices[static_cast<size_t>(index)]);
  });
  pickers->addWidget(inputPicker_);

  destinationPicker_ = new QComboBox(pickers_);
  destinationPicker_->setObjectName(QStringLiteral("destinationPicker"));
  destinationPicker_->setAccessibleName(QStringLiteral("Destination"));
  destinationPicker_->setMaximumWidth(170);
  destinationPicker_->setFocusPolicy(Qt::NoFocus);
  destinationPicker_->addItems({QStringLiteral("Insert at Cursor"), QStringLiteral("Replace Selection"),
                                QStringLiteral("Append to End")});
  connect(destinationPicker_, &QComboBox::activated, this, [this](int index) {
    if (const auto mode = quar::EnumCases<RecordMode>::values; index >= 0 && static_cast<size_t>(index) < mode.size())
      recorder_.setMode(mode[static_cast<size_t>(index)]);
  });
  pickers->addWidget(destinationPicker_);
  newTake_ = new QLabel(QStringLiteral("New take"), pickers_);
  newTake_->setObjectName(QStringLiteral("newTakeLabel"));
  newTake_->setFont(ViewStyle::font(12));
  pickers->addWidget(newTake_);

  monitoring_ = new QToolButton(this);
  monitoring_->setObjectName(QStringLiteral("monitoringToggle"));
  monitoring_->setCheckable(true);
  monitoring_->setFocusPolicy(Qt::NoFocus);
  monitoring_->setIcon(Icons::get(QStringLiteral("headphones")));
  monitoring_->setToolTip(
      QStringLiteral("Hear the input while recording. Use headphones \u2014 with speakers this can feed back."));
  connect(monitoring_, &QToolButton::toggled, this, [this](bool on) { recorder_.setMonitoring(on); });
  row_->addWidget(monitoring_);
  row_->addStretch();

  close_ = new QToolButton(this);
  close_->setObjectName(QStringLiteral("closeButton"));
  close_->setAutoRaise(true);
  close_->setFocusPolicy(Qt::NoFocus);
  close_->setIcon(Icons::get(QStringLiteral("xmark.circle.fill")));
  close_->setToolTip(QStringLiteral("Close the recording controls"));
  connect(close_, &QToolButton::clicked, this, [this] { recorder_.disarm(); });
  row_->addWidget(close_);

  errorRow_ = new QWidget(this);
  errorRow_->setObjectName(QStringLiteral("errorRow"));
  auto* errorLayout = new QHBoxLayout(errorRow_);
  errorLayout->setContentsMargins(0, 0, 0, 0);
  auto* warning = new QLabel(errorRow_);
  warning->setPixmap(Icons::get(QStringLiteral("exclamationmark.triangle.fill")).pixmap(14, 14));
  errorLabel_ = new QLabel(errorRow_);
  errorLabel_->setObjectName(QStringLiteral("errorLabel"));
  errorLabel_->setFont(ViewStyle::font(12));
  errorLabel_->setWordWrap(true);
  errorLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* privacy = new QPushButton(QStringLiteral("Open Privacy Settings"), errorRow_);
  privacy->setObjectName(QStringLiteral("privacyButton"));
  privacy->setFont(ViewStyle::font(11));
  privacy->setFocusPolicy(Qt::NoFocus);
  connect(privacy, &QPushButton::clicked, this, [] {
    if (privacySettingsOpener()) privacySettingsOpener()();
  });
  privacyButton_ = privacy;
  errorLayout->addWidget(warning);
  errorLayout->addWidget(errorLabel_, 1);
  errorLayout->addWidget(privacy);
  column->addWidget(errorRow_);

  rateNote_ = new QLabel(this);
  rateNote_->setObjectName(QStringLiteral("rateNote"));
  rateNote_->setFont(ViewStyle::font(10));
  column->addWidget(rateNote_);

  connect(&recorder_, &Recorder::changed, this, [this](Recorder::Property property) {
    // The poll changes levels and time 30 times a second; they redraw alone.
    switch (property) {
    case Recorder::Property::peaksDB:
    case Recorder::Property::clipped: meters_->setLevels(recorder_.peaksDB(), recorder_.clipped()); break;
    case Recorder::Property::elapsedFrames:
      elapsed_->setText(elapsedText(recorder_.elapsedFrames(), recorder_.deviceSampleRate()));
      break;
    default: refresh();
    }
  });
  model_.watchContentAndSelection(this, [this] { refresh(); });
  refresh();
}

QString RecordingBar::rateText(double rate) {
  if (std::fmod(rate, 1000) == 0) return QString::number(static_cast<qlonglong>(rate / 1000)) + QStringLiteral(" kHz");
  return QString::asprintf("%.1f kHz", rate / 1000);
}

std::optional<QString> RecordingBar::rateNote(double deviceRate, int64_t documentFrames, double documentRate) {
  if (documentFrames == 0 || !(deviceRate > 0) || deviceRate == documentRate) return std::nullopt;
  return QStringLiteral("The input runs at %1; the take will be converted to %2 when you stop.")
      .arg(rateText(deviceRate), rateText(documentRate));
}

QString RecordingBar::elapsedText(int64_t frames, double rate) {
  return hmsString(frames, std::max(rate, 1.0), 1);
}

QString RecordingBar::statusText(bool recording) {
  return recording ? QStringLiteral("Recording") : QStringLiteral("Ready \u2014 set levels, then record");
}

QString RecordingBar::recordToolTip(bool recording) {
  return recording ? QStringLiteral("Stop recording (Ctrl+R or Space)") : QStringLiteral("Start recording (Ctrl+R)");
}

bool RecordingBar::offersPrivacySettings(const QString& message) { return message.contains(QStringLiteral("Privacy")); }

void RecordingBar::setPrivacySettingsOpener(std::function<void()> opener) { privacySettingsOpener() = std::move(opener); }

void RecordingBar::refresh() {
  const bool recording = recorder_.isRecording();
  static_cast<RecordButton*>(recordButton_)->setRecording(recording);
  recordButton_->setEnabled(recorder_.buffer() != nullptr);
  recordButton_->setToolTip(recordToolTip(recording));
  elapsed_->setText(elapsedText(recorder_.elapsedFrames(), recorder_.deviceSampleRate()));
  applyColors();
  status_->setText(statusText(recording));
  meters_->setLevels(recorder_.peaksDB(), recorder_.clipped());
  refreshDevices();
  refreshInputs();
  refreshDestination();
  {
    const QSignalBlocker blocker(monitoring_);
    monitoring_->setChecked(recorder_.monitoring());
  }
  close_->setEnabled(!recording);

  const quar::AudioContent& content = model_.content();
  const std::optional<QString>& error = recorder_.errorMessage();
  errorRow_->setVisible(error.has_value());
  errorLabel_->setText(error.value_or(QString()));
  privacyButton_->setVisible(error && offersPrivacySettings(*error));
  const std::optional<QString> note = error ? std::nullopt
                                            : rateNote(recorder_.deviceSampleRate(), content.frameCount(),
                                                       content.sampleRate());
  rateNote_->setVisible(note.has_value());
  rateNote_->setText(note.value_or(QString()));
  placePickers();
  update();
}

int RecordingBar::oneRowWidth() const {
  int width = meters_->minimumWidth();
  const std::initializer_list<const QWidget*> controls{recordButton_, statusBlock_, pickers_, monitoring_, close_};
  for (const QWidget* control : controls) width += control->sizeHint().width();
  return width + 5 * rowSpacing;  // between six controls (a stretch takes no spacing)
}

void RecordingBar::placePickers() {
  const QMargins margins = layout()->contentsMargins();
  const bool beside = oneRowWidth() <= width() - margins.left() - margins.right();
  if (beside == (row_->indexOf(pickers_) >= 0)) return;
  // Beside the meters the pickers show their whole names and the meters give way; on a row of
  // their own a long device name may shorten its picker (the other pickers' titles are short).
  devicePicker_->setMinimumWidth(beside ? 0 : minimumPickerWidth);
  if (beside) {
    pickerRow_->removeWidget(pickers_);
    row_->insertWidget(row_->indexOf(meters_) + 1, pickers_);
  } else {
    row_->removeWidget(pickers_);
    pickerRow_->insertWidget(0, pickers_);
  }
}

void RecordingBar::applyColors() {
  ViewStyle::setForeground(elapsed_, recorder_.isRecording() ? ViewStyle::systemRed.resolved(palette())
                                                             : palette().color(QPalette::WindowText));
  for (QLabel* label : {status_, newTake_, rateNote_}) ViewStyle::setForeground(label, secondaryText(palette()));
}

void RecordingBar::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) applyColors();
}

void RecordingBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placePickers();
}

void RecordingBar::refreshDevices() {
  const QSignalBlocker blocker(devicePicker_);
  const std::vector<InputDevice>& devices = recorder_.devices();
  bool same = devicePicker_->count() == static_cast<int>(devices.size());
  for (int i = 0; same && i < devicePicker_->count(); ++i)
    same = devicePicker_->itemText(i) == devices[static_cast<size_t>(i)].name &&
           devicePicker_->itemData(i).toInt() == devices[static_cast<size_t>(i)].id;
  if (!same) {
    devicePicker_->clear();
    for (const InputDevice& device : devices) devicePicker_->addItem(device.name, device.id);
  }
  const std::optional<int> id = recorder_.deviceID();
  devicePicker_->setCurrentIndex(id ? devicePicker_->findData(*id) : -1);
  devicePicker_->setEnabled(!recorder_.isRecording());
}

void RecordingBar::refreshInputs() {
  const QSignalBlocker blocker(inputPicker_);
  const std::vector<InputChoice> choices = recorder_.inputChoices();
  QStringList titles;
  for (const InputChoice& choice : choices) titles << choice.title();
  QStringList shown;
  for (int i = 0; i < inputPicker_->count(); ++i) shown << inputPicker_->itemText(i);
  if (shown != titles) {
    inputPicker_->clear();
    inputPicker_->addItems(titles);
  }
  const std::optional<InputChoice>& choice = recorder_.inputChoice();
  const auto found = choice ? std::find(choices.begin(), choices.end(), *choice) : choices.end();
  inputPicker_->setCurrentIndex(found == choices.end() ? -1 : static_cast<int>(found - choices.begin()));
  inputPicker_->setEnabled(!recorder_.isRecording());
}

void RecordingBar::refreshDestination() {
  const bool hasAudio = model_.content().frameCount() != 0;
  destinationPicker_->setVisible(hasAudio);
  newTake_->setVisible(!hasAudio);
  const QSignalBlocker blocker(destinationPicker_);
  const auto& modes = quar::EnumCases<RecordMode>::values;
  destinationPicker_->setCurrentIndex(
      static_cast<int>(std::find(modes.begin(), modes.end(), recorder_.mode()) - modes.begin()));
  if (auto* items = qobject_cast<QStandardItemModel*>(destinationPicker_->model()))
    items->item(1)->setEnabled(model_.selection().has_value());
  destinationPicker_->setEnabled(!recorder_.isRecording());
}

void RecordingBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  const double tint = recorder_.isRecording() ? 0.14 : 0.05;
  painter.fillRect(rect(), ViewStyle::withAlpha(ViewStyle::systemRed.resolved(palette()), tint));
  painter.fillRect(QRect(0, height() - 1, width(), 1), ViewStyle::withAlpha(palette().color(QPalette::WindowText), 0.15));
}
