#include "dsp/effects/EQSettings.h"

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

} // namespace quar
