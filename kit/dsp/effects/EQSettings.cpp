#include "dsp/effects/EQSettings.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/Numbers.h"
#include "dsp/effects/processors/EQDesign.h"

namespace quar {

std::string_view rawValue(EQBandType type) {
  switch (type) {
    case EQBandType::lowCut: return "lowCut";
    case EQBandType::lowShelf: return "lowShelf";
    case EQBandType::peak: return "peak";
    case EQBandType::notch: return "notch";
    case EQBandType::highShelf: return "highShelf";
    case EQBandType::highCut: return "highCut";
  }
  return {};
}

std::string_view displayName(EQBandType type) {
  switch (type) {
    case EQBandType::lowCut: return "Low Cut";
    case EQBandType::lowShelf: return "Low Shelf";
    case EQBandType::peak: return "Bell";
    case EQBandType::notch: return "Notch";
    case EQBandType::highShelf: return "High Shelf";
    case EQBandType::highCut: return "High Cut";
  }
  return {};
}

bool usesGain(EQBandType type) {
  return type == EQBandType::lowShelf || type == EQBandType::peak || type == EQBandType::highShelf;
}

bool usesSlope(EQBandType type) { return type == EQBandType::lowCut || type == EQBandType::highCut; }

EQBand::EQBand(EQBandType type, double frequency, double gainDB, double q, int64_t slopeDBPerOctave,
               bool isEnabled)
    : id(Uuid::random()), isEnabled(isEnabled), type(type), frequency(frequency), gainDB(gainDB), q(q),
      slopeDBPerOctave(slopeDBPerOctave) {}

namespace {

std::vector<EQBand> defaultBands() {
  using enum EQBandType;
  return {
      EQBand(lowCut, 30, 0, 0.707, 24, false),   EQBand(lowShelf, 100, 0, 0.707, 24, true),
      EQBand(peak, 400, 0, 1.0, 24, true),       EQBand(peak, 2500, 0, 1.0, 24, true),
      EQBand(highShelf, 8000, 0, 0.707, 24, true), EQBand(highCut, 18000, 0, 0.707, 24, false),
  };
}

} // namespace

EQSettings::EQSettings(std::optional<std::vector<EQBand>> bands, double outputGainDB)
    : bands(bands ? std::move(*bands) : defaultBands()), outputGainDB(outputGainDB) {}

std::vector<double> EQSettings::responseDB(std::span<const double> frequencies, double sampleRate) const {
  const double rate = sampleRate > 0 ? sampleRate : 48000;
  const double outDB = clamped(std::isfinite(outputGainDB) ? outputGainDB : 0.0, -48.0, 48.0);
  std::vector<double> result(frequencies.size(), outDB);
  const size_t used = std::min(bands.size(), size_t{maxBands});
  for (size_t b = 0; b < used; ++b) {
    const EQBand& band = bands[b];
    if (!band.isEnabled) continue;
    const int64_t slope = usesSlope(band.type) ? EQDesign::cutSections(band.slopeDBPerOctave) * 12 : 12;
    const double frequency = std::isfinite(band.frequency) ? std::max(band.frequency, 5.0) : band.frequency;
    const BiquadCascade4 cascade = EQDesign::band(band.type, frequency, band.gainDB, band.q, slope, rate);
    const auto sections = std::span(cascade.sections).first(static_cast<size_t>(cascade.count));
    if (std::all_of(sections.begin(), sections.end(), EQDesign::isFlat)) continue;
    for (size_t i = 0; i < frequencies.size(); ++i) {
      const double s = std::sin(std::numbers::pi * frequencies[i] / rate);
      const double phi = s * s;
      double power = 1;
      for (const BiquadCoefficients& c : sections) {
        const double sumB = c.b0 + c.b1 + c.b2;
        const double sumA = 1 + c.a1 + c.a2;
        const double n = sumB * sumB - 4 * phi * (c.b0 * c.b1 + 4 * c.b0 * c.b2 + c.b1 * c.b2) +
                         16 * phi * phi * c.b0 * c.b2;
        const double d = sumA * sumA - 4 * phi * (c.a1 + 4 * c.a2 + c.a1 * c.a2) + 16 * phi * phi * c.a2;
        power *= std::max(n, 0.0) / d;
      }
      result[i] += 10 * std::log10(power);
    }
  }
  return result;
}

} // namespace quar
