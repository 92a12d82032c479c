#include "sheets/ExportOptionsModel.h"

#include <algorithm>
#include <cmath>

#include "io/AudioEncoder.h"
#include "io/FormatCatalog.h"
#include "platform/SavePanel.h"
#include "support/FixedText.h"
#include "support/Preferences.h"

using quar::EncodeSettings;
using quar::ExportFormat;

namespace {

bool contains(const std::vector<double>& rates, double rate) { return std::ranges::find(rates, rate) != rates.end(); }

std::function<bool(ExportFormat)>& availability() {
  static std::function<bool(ExportFormat)> available;
  return available;
}

// A rate the form has no item for is not kept: the export writes the source's rate instead.
EncodeSettings withOfferedRate(EncodeSettings settings) {
  if (settings.sampleRate && !contains(ExportOptionsModel::sampleRateChoices(settings.format), *settings.sampleRate))
    settings.sampleRate = std::nullopt;
  return settings;
}

// Settings of a format that cannot be written here become the stored ones of the first that can.
EncodeSettings writable(EncodeSettings settings) {
  if (ExportOptionsModel::isAvailable(settings.format)) return settings;
  const std::vector<ExportFormat> formats = ExportOptionsModel::availableFormats();
  if (formats.empty()) return settings;
  EncodeSettings stored = Preferences::encodeSettings(formats.front());
  stored.sampleRate = settings.sampleRate;
  return stored.normalized();
}

EncodeSettings withDepth(EncodeSettings settings, std::optional<quar::PCMBitDepth> depth) {
  const std::vector<quar::PCMBitDepth> depths = quar::supportedBitDepths(settings.format);
  if (depth && std::ranges::find(depths, *depth) != depths.end()) settings.bitDepth = *depth;
  return settings;
}

} // namespace

ExportOptionsModel::ExportOptionsModel(EncodeSettings settings, double sourceRate, int sourceChannels, SavePanel* panel,
                                       QObject* parent)
    : QObject(parent), settings_(withOfferedRate(writable(settings))), sourceRate_(sourceRate), sourceChannels_(sourceChannels),
      panel_(panel) {}

void ExportOptionsModel::setSettings(const EncodeSettings& settings) {
  if (settings == settings_) return;
  settings_ = settings;
  Q_EMIT settingsChanged();
}

void ExportOptionsModel::setFormat(ExportFormat format) {
  if (format == settings_.format) return;
  EncodeSettings stored = withDepth(Preferences::encodeSettings(format), sourceBitDepth_);
  stored.sampleRate = settings_.sampleRate;
  setSettings(withOfferedRate(stored.normalized()));
  syncPanel();
}

void ExportOptionsModel::setSourceBitDepth(std::optional<quar::PCMBitDepth> depth) {
  sourceBitDepth_ = depth;
  setSettings(withDepth(settings_, depth));
}

bool ExportOptionsModel::selectFormatForExtension(const QString& extension) {
  for (const ExportFormat format : availableFormats()) {
    const auto extensions = quar::FormatCatalog::fileExtensionsForTypeIdentifier(quar::typeIdentifier(format));
    if (!extensions || std::ranges::find(*extensions, extension.toStdString()) == extensions->end()) continue;
    if (format == settings_.format) return false;
    setFormat(format);
    return true;
  }
  return false;
}

void ExportOptionsModel::syncPanel() {
  if (!panel_) return;
  if (const auto extensions = quar::FormatCatalog::fileExtensionsForTypeIdentifier(quar::typeIdentifier(format()));
      extensions && !extensions->empty()) {
    QStringList allowed;
    for (std::string_view extension : *extensions) allowed << QString::fromUtf8(extension);
    panel_->setAllowedType(allowed.front().toUpper(), allowed);
  }
  QString name = panel_->nameFieldText();
  if (name.isEmpty()) return;
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot >= 0) name.truncate(dot);
  panel_->setNameFieldText(name + QLatin1Char('.') + QString::fromUtf8(quar::fileExtension(format())));
}

std::vector<double> ExportOptionsModel::sampleRateChoices(ExportFormat format) {
  const auto supported = quar::supportedSampleRates(format);
  std::vector<double> choices;
  for (const double rate : standardSampleRates)
    if (!supported || contains(*supported, rate)) choices.push_back(rate);
  return choices;
}

QStringList ExportOptionsModel::notes(const EncodeSettings& settings, double sourceRate, int sourceChannels) {
  QStringList notes;
  const QString name = QString::fromUtf8(quar::displayName(settings.format));
  if (const auto supported = quar::supportedSampleRates(settings.format);
      supported && !supported->empty() && !settings.sampleRate && !contains(*supported, sourceRate)) {
    double target = supported->front();
    for (const double rate : *supported)
      if (std::abs(rate - sourceRate) < std::abs(target - sourceRate)) target = rate;
    notes << name + QStringLiteral(" doesn\u2019t support ") + rateText(sourceRate) +
                 QStringLiteral("; audio will be resampled to ") + rateText(target) + QLatin1Char('.');
  }
  if (const int limit = quar::maxChannels(settings.format); sourceChannels > limit)
    notes << name + QStringLiteral(" supports at most ") + QString::number(limit) +
                 QStringLiteral(" channels; audio will be downmixed.");
  if (quar::isLossy(settings.format)) notes << QStringLiteral("Lossy format \u2014 some audio detail is discarded.");
  return notes;
}

std::vector<ExportFormat> ExportOptionsModel::availableFormats() {
  std::vector<ExportFormat> formats;
  for (const ExportFormat format : quar::allCases<ExportFormat>())
    if (isAvailable(format)) formats.push_back(format);
  return formats;
}

bool ExportOptionsModel::isAvailable(ExportFormat format) {
  return availability() ? availability()(format) : quar::AudioEncoder::isAvailable(format);
}

void ExportOptionsModel::setAvailability(std::function<bool(ExportFormat)> available) { availability() = std::move(available); }

QString ExportOptionsModel::rateText(double hz) {
  if (std::fmod(hz, 1000) == 0) return fixedText(hz / 1000, 0) + QStringLiteral(" kHz");
  return fixedText(hz / 1000, 1) + QStringLiteral(" kHz");
}

bool ExportOptionsModel::offersDither(const EncodeSettings& settings) {
  return !quar::isLossy(settings.format) &&
         (settings.bitDepth == quar::PCMBitDepth::int16 || settings.bitDepth == quar::PCMBitDepth::int24);
}
