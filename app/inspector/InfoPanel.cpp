#include "inspector/InfoPanel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QProgressBar>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "editor/EditorModel.h"
#include "inspector/InspectorText.h"
#include "inspector/SignalStatsState.h"
#include "platform/ObservedRefresh.h"
#include "support/TimeFormat.h"
#include "widgets/ToneLabel.h"

using Tone = ToneLabel::Tone;
using ViewStyle::TextStyle;

namespace {

// Removes and deletes every item of a grid.
void clear(QGridLayout* grid) {
  while (QLayoutItem* item = grid->takeAt(0)) {
    delete item->widget();
    delete item;
  }
}

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

// A value of the file grid: plain text the user can select and copy, wrapped anywhere when a
// word does not fit, at most two lines high.
class ValueText final : public QTextEdit {
public:
  ValueText(const QString& text, QWidget* parent) : QTextEdit(parent) {
    setFont(ViewStyle::font(TextStyle::callout));
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    setPlainText(text);
    fitHeight(300);
    followTextColor();
  }

protected:
  void changeEvent(QEvent* event) override {
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) followTextColor();
  }
  void resizeEvent(QResizeEvent* event) override {
    QTextEdit::resizeEvent(event);
    fitHeight(width());
  }

private:
  // Drawn like the panel's labels, in the window's text colour.
  void followTextColor() {
    QPalette own = palette();
    const QColor color = own.color(QPalette::WindowText);
    if (own.color(QPalette::Text) == color) return;
    own.setColor(QPalette::Text, color);
    setPalette(own);
  }
  void fitHeight(int width) {
    document()->setTextWidth(width);
    const double line = QFontMetricsF(font()).lineSpacing();
    setFixedHeight(static_cast<int>(std::ceil(std::min(document()->size().height(), 2 * line))));
  }
};

} // namespace

InfoPanel::InfoPanel(EditorModel* model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      stats_(new SignalStatsState(model, &quar::SignalAnalysis::stats, this)),
      observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("infoPanel"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(14);

  column->addWidget(new ToneLabel(QStringLiteral("File"), TextStyle::headline, Tone::primary, this));
  auto* files = new QWidget(this);
  files->setObjectName(QStringLiteral("fileGrid"));
  fileGrid_ = new QGridLayout(files);
  fileGrid_->setContentsMargins(0, 0, 0, 0);
  fileGrid_->setHorizontalSpacing(12);
  fileGrid_->setVerticalSpacing(6);
  fileGrid_->setColumnStretch(1, 1);
  column->addWidget(files);
  column->addWidget(ViewStyle::divider(this));

  auto* header = new QHBoxLayout;
  signalTitle_ = new ToneLabel(QString(), TextStyle::headline, Tone::primary, this);
  signalTitle_->setObjectName(QStringLiteral("signalTitle"));
  header->addWidget(signalTitle_);
  header->addStretch(1);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("statsProgress"));
  progress_->setRange(0, 0);
  progress_->setTextVisible(false);
  progress_->setFixedSize(48, 8);
  header->addWidget(progress_);
  column->addLayout(header);
  // Audio without frames has no statistics.
  noStats_ = new ToneLabel(InspectorText::notMeasured, TextStyle::callout, Tone::secondary, this);
  noStats_->setObjectName(QStringLiteral("noStats"));
  column->addWidget(noStats_);

  statsBox_ = new QWidget(this);
  statsBox_->setObjectName(QStringLiteral("statsBox"));
  auto* box = new QVBoxLayout(statsBox_);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(14);
  auto* table = new QWidget(statsBox_);
  table->setObjectName(QStringLiteral("statsGrid"));
  statsGrid_ = new QGridLayout(table);
  statsGrid_->setContentsMargins(0, 0, 0, 0);
  statsGrid_->setHorizontalSpacing(12);
  statsGrid_->setVerticalSpacing(6);
  box->addWidget(table, 0, Qt::AlignLeft);
  auto* note = new ToneLabel(QStringLiteral("Levels in dBFS."), TextStyle::caption, Tone::tertiary, statsBox_);
  note->setObjectName(QStringLiteral("statsNote"));
  box->addWidget(note);
  column->addWidget(statsBox_);

  observer_->watch(model_);
  observer_->watch(stats_);
  observer_->run();
}

std::vector<InfoPanel::Row> InfoPanel::fileRows(const std::optional<quar::AudioFileInfo>& info,
                                                const quar::AudioContent& content) {
  std::vector<Row> rows;
  if (!info) {
    rows.push_back({QStringLiteral("Name"), QStringLiteral("Untitled (not saved)")});
  } else {
    rows.push_back(
        {QStringLiteral("Name"), info->url ? fromStd(info->url->filename().string()) : QStringLiteral("Untitled")});
    rows.push_back({QStringLiteral("Container"), fromStd(info->containerName)});
    rows.push_back({QStringLiteral("Codec"), fromStd(info->codecName)});
    if (info->bitDepth)
      rows.push_back(
          {QStringLiteral("Bit depth"),
           QString::number(*info->bitDepth) + (info->isFloat ? QStringLiteral("-bit float") : QStringLiteral("-bit"))});
    if (info->bitRateKbps)
      rows.push_back({QStringLiteral("Bitrate"), QString::number(*info->bitRateKbps) + QStringLiteral(" kbps")});
    if (info->fileSize) rows.push_back({QStringLiteral("File size"), byteCount(*info->fileSize)});
    rows.push_back({QStringLiteral("Decoder"), fromStd(info->decoderName)});
  }
  // The content's rate and channels, and the file's after them where they differ (an edit or an
  // undo past a conversion): the file's rows above are the file's, not the audio's.
  const auto withFiles = [](const QString& audio, const QString& file) {
    return file.isEmpty() || file == audio ? audio : audio + QStringLiteral(" (file: ") + file + QLatin1Char(')');
  };
  const auto rateText = [](double hz) { return InspectorText::wholeNumber(hz) + QStringLiteral(" Hz"); };
  const QString fileRate = info && info->sampleRate > 0 ? rateText(info->sampleRate) : QString();
  const QString fileChannels = info && info->channelCount > 0 ? QString::number(info->channelCount) : QString();
  const double rate = content.sampleRate();
  rows.push_back({QStringLiteral("Sample rate"), withFiles(rateText(rate), fileRate)});
  rows.push_back({QStringLiteral("Channels"), withFiles(QString::number(content.channelCount()), fileChannels)});
  rows.push_back({QStringLiteral("Duration"), hmsString(content.frameCount(), rate, 3)});
  rows.push_back({QStringLiteral("Samples"), QLocale().toString(static_cast<qlonglong>(content.frameCount()))});
  return rows;
}

QString InfoPanel::byteCount(int64_t bytes) { return QLocale().formattedDataSize(bytes, 2, QLocale::DataSizeSIFormat); }

std::vector<std::vector<QString>> InfoPanel::statsRows(const quar::SignalStats& stats, const EditorModel& model) {
  const int channels = model.content().channelCount();
  std::vector<std::vector<QString>> rows{
      {QString()}, {QStringLiteral("Peak")}, {QStringLiteral("RMS")}, {QStringLiteral("DC offset")}};
  for (size_t c = 0; c < stats.peak.size(); ++c)
    rows[0].push_back(static_cast<int>(c) < channels ? model.channelName(static_cast<int>(c)) : QString::number(c + 1));
  for (const float peak : stats.peak) rows[1].push_back(InspectorText::linearLevel(peak));
  for (const double rms : stats.rms) rows[2].push_back(InspectorText::linearLevel(rms));
  for (const double dc : stats.dcOffset) rows[3].push_back(InspectorText::dcOffset(dc));
  return rows;
}

void InfoPanel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) observer_->run();
}

void InfoPanel::refresh() {
  fillFileGrid();
  signalTitle_->setText(model_->selection() ? QStringLiteral("Signal (selection)")
                                            : QStringLiteral("Signal (entire file)"));
  const std::optional<quar::SignalStats>& stats = stats_->stats();
  const bool empty = model_->content().frameCount() == 0;
  progress_->setVisible(!stats && !empty);
  noStats_->setVisible(!stats && empty);
  statsBox_->setVisible(stats.has_value());
  if (stats) fillStatsGrid(*stats);
}

void InfoPanel::fillFileGrid() {
  std::vector<Row> rows = fileRows(model_->fileInfo(), model_->content());
  if (rows == shownRows_) return;
  shownRows_ = std::move(rows);
  clear(fileGrid_);
  QWidget* owner = fileGrid_->parentWidget();
  int row = 0;
  for (const Row& fact : shownRows_) {
    auto* label = new ToneLabel(fact.label, TextStyle::callout, Tone::secondary, owner);
    auto* value = new ValueText(fact.value, owner);
    value->setObjectName(fact.label);
    fileGrid_->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignTop);
    fileGrid_->addWidget(value, row, 1, Qt::AlignTop);
    ++row;
  }
}

void InfoPanel::fillStatsGrid(const quar::SignalStats& stats) {
  std::vector<std::vector<QString>> rows = statsRows(stats, *model_);
  if (rows == shownStats_) return;
  shownStats_ = std::move(rows);
  clear(statsGrid_);
  QWidget* owner = statsGrid_->parentWidget();
  for (size_t r = 0; r < shownStats_.size(); ++r)
    for (size_t c = 0; c < shownStats_[r].size(); ++c) {
      ToneLabel* cell = nullptr;
      if (r == 0)
        cell = new ToneLabel(shownStats_[r][c], ViewStyle::font(10, QFont::DemiBold), Tone::primary, owner);
      else
        cell = new ToneLabel(shownStats_[r][c], TextStyle::callout, c == 0 ? Tone::secondary : Tone::primary, owner);
      statsGrid_->addWidget(cell, static_cast<int>(r), static_cast<int>(c), c == 0 ? Qt::AlignLeft : Qt::AlignRight);
    }
}
