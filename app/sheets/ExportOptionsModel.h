// ExportOptionsModel: the settings being chosen in one save or export panel (format, bit depth,
// bit rate, sample rate, dither) over the audio to be written, with what the options form shows
// of them: the sample rates offered, the warning notes and rate texts. Choosing another format
// takes that format's stored settings and keeps the panel's file type and the name's extension
// in step, and the bit depth of the source where the format has it; a chosen sample rate the new
// format cannot write falls back to the source's rate. Only formats this machine can write are
// offered: settings of another start from the first that it can. GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "base/AudioFormats.h"

class SavePanel;

class ExportOptionsModel final : public QObject {
  Q_OBJECT
public:
  // The sample rates the form offers (Hz), as far as the format writes them.
  static constexpr std::array<double, 8> standardSampleRates{22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000};

  // `settings` are already normalised; the panel is held weakly.
  ExportOptionsModel(quar::EncodeSettings settings, double sourceRate, int sourceChannels, SavePanel* panel,
                     QObject* parent = nullptr);

  const quar::EncodeSettings& settings() const { return settings_; }
  // Notifies settingsChanged() only when the value differs.
  void setSettings(const quar::EncodeSettings& settings);
  quar::ExportFormat format() const { return settings_.format; }
  // Another format: its stored settings, normalised, keeping the sample rate where the new format
  // offers it; then the panel follows. The current format changes nothing.
  void setFormat(quar::ExportFormat format);
  double sourceRate() const { return sourceRate_; }
  int sourceChannels() const { return sourceChannels_; }
  // The sample format of the audio's file, none when it has none of the formats' depths: the
  // current settings and each format chosen later take it where the format writes it.
  void setSourceBitDepth(std::optional<quar::PCMBitDepth> depth);
  // Chooses the offered format of a typed file extension (lower case, no dot); false when no
  // other offered format has it.
  bool selectFormatForExtension(const QString& extension);

  // The panel's one allowed file type and the name field's extension follow the format; nothing
  // once the panel is gone.
  void syncPanel();

  std::vector<double> sampleRateChoices() const { return sampleRateChoices(settings_.format); }
  QStringList notes() const { return notes(settings_, sourceRate_, sourceChannels_); }

  // The standard rates the format writes, in order.
  static std::vector<double> sampleRateChoices(quar::ExportFormat format);
  // The warnings of an export: resampling to the nearest rate the format writes (only when the
  // source's rate is kept), downmixing beyond the format's channels, lossy encoding.
  static QStringList notes(const quar::EncodeSettings& settings, double sourceRate, int sourceChannels);
  // The formats this machine can encode, in declaration order.
  static std::vector<quar::ExportFormat> availableFormats();
  // Whether this machine can encode the format: AudioEncoder::isAvailable, unless replaced.
  static bool isAvailable(quar::ExportFormat format);
  // Replaces the availability check (tests stand for a machine without a library); an empty
  // function restores the encoder's.
  static void setAvailability(std::function<bool(quar::ExportFormat)> available);
  // "48 kHz" for whole kilohertz, else "44.1 kHz".
  static QString rateText(double hz);
  // Whether the settings take a dither choice: 16- or 24-bit integer samples of a lossless format.
  static bool offersDither(const quar::EncodeSettings& settings);

Q_SIGNALS:
  void settingsChanged();

private:
  quar::EncodeSettings settings_;
  double sourceRate_;
  int sourceChannels_;
  std::optional<quar::PCMBitDepth> sourceBitDepth_;
  QPointer<SavePanel> panel_;
};
