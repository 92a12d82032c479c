#include "sheets/ExportOptionsView.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>

#include "widgets/ViewStyle.h"
#include "platform/Icons.h"
#include "sheets/ExportOptionsModel.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

using quar::EncodeSettings;

namespace {

QComboBox* menu(const QString& name, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return box;
}

// Refills a menu with (title, value) items and shows the current value; no item is shown when
// none holds it.
template <typename T>
void fill(QComboBox* box, const std::vector<std::pair<QString, T>>& items, const T& current) {
  const QSignalBlocker blocker(box);
  box->clear();
  int index = -1;
  for (const auto& [title, value] : items) {
    if (value == current) index = box->count();
    box->addItem(title);
  }
  box->setCurrentIndex(index);
}

// One warning line: the info icon and the text, in the callout font and the secondary colour.
QWidget* noteLine(const QString& note, QWidget* parent) {
  auto* line = new QWidget(parent);
  auto* row = new QHBoxLayout(line);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(6);
  auto* icon = new QLabel(line);
  icon->setPixmap(Icons::tinted(QStringLiteral("info.circle"), Theme::secondaryLabel(parent->palette())).pixmap(13, 13));
  icon->setFixedSize(13, 15);
  icon->setAlignment(Qt::AlignCenter);
  auto* label = new ToneLabel(note, ViewStyle::calloutSize, ToneLabel::Tone::secondary, line);
  label->setObjectName(QStringLiteral("note"));
  label->setWordWrap(true);
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(label, 1, Qt::AlignTop);
  return line;
}

} // namespace

ExportOptionsView::ExportOptionsView(ExportOptionsModel* model, QWidget* parent)
    : QWidget(parent), model_(model), form_(new QFormLayout(this)), format_(menu(QStringLiteral("formatMenu"), this)),
      bitDepth_(menu(QStringLiteral("bitDepthMenu"), this)), bitRate_(menu(QStringLiteral("bitRateMenu"), this)),
      sampleRate_(menu(QStringLiteral("sampleRateMenu"), this)), dither_(menu(QStringLiteral("ditherMenu"), this)),
      notes_(new QWidget(this)), noteLines_(new QVBoxLayout(notes_)) {
  setObjectName(QStringLiteral("exportOptions"));
  setFixedWidth(formWidth);
  form_->setContentsMargins(24, 12, 24, 12);
  form_->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  form_->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form_->addRow(QStringLiteral("Format"), format_);
  form_->addRow(QStringLiteral("Bit depth"), bitDepth_);
  form_->addRow(QStringLiteral("Bitrate"), bitRate_);
  form_->addRow(QStringLiteral("Sample rate"), sampleRate_);
  form_->addRow(QStringLiteral("Dither"), dither_);
  notes_->setObjectName(QStringLiteral("notes"));
  noteLines_->setContentsMargins(0, 0, 0, 0);
  noteLines_->setSpacing(4);
  form_->addRow(notes_);

  const auto write = [this](auto change) {
    EncodeSettings settings = model_->settings();
    change(settings);
    model_->setSettings(settings);
  };
  connect(format_, &QComboBox::activated, this,
          [this](int index) { model_->setFormat(ExportOptionsModel::availableFormats().at(static_cast<size_t>(index))); });
  connect(bitDepth_, &QComboBox::activated, this, [this, write](int index) {
    write([&](EncodeSettings& s) { s.bitDepth = quar::supportedBitDepths(s.format).at(static_cast<size_t>(index)); });
  });
  connect(bitRate_, &QComboBox::activated, this, [this, write](int index) {
    write([&](EncodeSettings& s) { s.bitRateKbps = quar::supportedBitRates(s.format).at(static_cast<size_t>(index)); });
  });
  connect(sampleRate_, &QComboBox::activated, this, [this, write](int index) {
    write([&](EncodeSettings& s) {
      if (index == 0)
        s.sampleRate = std::nullopt;
      else
        s.sampleRate = ExportOptionsModel::sampleRateChoices(s.format).at(static_cast<size_t>(index - 1));
    });
  });
  connect(dither_, &QComboBox::activated, this, [write](int index) {
    write([&](EncodeSettings& s) { s.dither = quar::allCases<quar::DitherMode>()[static_cast<size_t>(index)]; });
  });
  connect(model_, &ExportOptionsModel::settingsChanged, this, &ExportOptionsView::refresh);
  refresh();
}

void ExportOptionsView::refresh() {
  const EncodeSettings& settings = model_->settings();

  std::vector<std::pair<QString, quar::ExportFormat>> formats;
  for (const quar::ExportFormat format : ExportOptionsModel::availableFormats())
    formats.emplace_back(QString::fromUtf8(quar::displayName(format)), format);
  fill(format_, formats, settings.format);

  std::vector<std::pair<QString, quar::PCMBitDepth>> depths;
  for (const quar::PCMBitDepth depth : quar::supportedBitDepths(settings.format))
    depths.emplace_back(QString::fromStdString(quar::displayName(depth)), depth);
  fill(bitDepth_, depths, settings.bitDepth);
  form_->setRowVisible(bitDepth_, !depths.empty());

  std::vector<std::pair<QString, int64_t>> bitRates;
  for (const int rate : quar::supportedBitRates(settings.format))
    bitRates.emplace_back(QString::asprintf("%lld kbps", static_cast<long long>(rate)), rate);
  fill(bitRate_, bitRates, settings.bitRateKbps);
  form_->setRowVisible(bitRate_, !bitRates.empty());

  std::vector<std::pair<QString, std::optional<double>>> rates{
      {QStringLiteral("Same as source (") + ExportOptionsModel::rateText(model_->sourceRate()) + QLatin1Char(')'), std::nullopt}};
  for (const double rate : model_->sampleRateChoices()) rates.emplace_back(ExportOptionsModel::rateText(rate), rate);
  fill(sampleRate_, rates, settings.sampleRate);

  std::vector<std::pair<QString, quar::DitherMode>> dithers;
  for (const quar::DitherMode mode : quar::allCases<quar::DitherMode>()) dithers.emplace_back(QString::fromUtf8(quar::displayName(mode)), mode);
  fill(dither_, dithers, settings.dither);
  form_->setRowVisible(dither_, ExportOptionsModel::offersDither(settings));

  showNotes();
}

void ExportOptionsView::showNotes() {
  while (QLayoutItem* item = noteLines_->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  const QStringList notes = model_->notes();
  for (const QString& note : notes) {
    QWidget* line = noteLine(note, notes_);
    noteLines_->addWidget(line);
    line->show();
  }
  form_->setRowVisible(notes_, !notes.empty());
}
