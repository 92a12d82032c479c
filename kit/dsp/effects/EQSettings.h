// Settings of the parametric equaliser: band shapes (EQBandType), one band (EQBand, frequency in
// Hz, gain in dB, slope in dB per octave) and the whole setting (EQSettings: ordered bands and an
// output gain in dB). Values are stored as given, never clamped; the processor limits them.
// Plain values; building bands draws fresh identifiers (takes a lock), so build them off the
// audio thread. JSON form and hashing: EffectSettings.h.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/Enums.h"
#include "base/Uuid.h"

namespace quar {

enum class EQBandType { lowCut, lowShelf, peak, notch, highShelf, highCut };

template <>
struct EnumCases<EQBandType> {
  static constexpr std::array values{EQBandType::lowCut, EQBandType::lowShelf,  EQBandType::peak,
                                     EQBandType::notch,  EQBandType::highShelf, EQBandType::highCut};
};

std::string_view rawValue(EQBandType type);
std::string_view displayName(EQBandType type);
// Whether an editor offers the gain control (shelves and peak) or the slope control (cuts).
bool usesGain(EQBandType type);
bool usesSlope(EQBandType type);

struct EQBand {
  Uuid id;  // identity of the band; equality includes it
  bool isEnabled = true;
  EQBandType type;
  double frequency;  // Hz, centre or corner
  double gainDB;
  double q;
  int64_t slopeDBPerOctave;  // used by the cut types

  // A band with a fresh random id and the given values.
  EQBand(EQBandType type, double frequency, double gainDB, double q, int64_t slopeDBPerOctave,
         bool isEnabled);

  bool operator==(const EQBand&) const = default;
};

struct EQSettings {
  // Band slots of the equaliser processor: it uses only the first maxBands bands.
  static constexpr int maxBands = 8;

  std::vector<EQBand> bands;  // display and processing order
  double outputGainDB = 0;

  // Stores `bands` unchanged however long (an empty array stays empty); without an array the
  // six default bands (30, 100, 400, 2500, 8000 and 18000 Hz, the first and last disabled),
  // each with a fresh id.
  explicit EQSettings(std::optional<std::vector<EQBand>> bands = std::nullopt, double outputGainDB = 0);

  // The response in dB at each frequency (Hz) at `sampleRate` (48000 when not above 0): the
  // output gain (0 when not finite, within [−48, 48]) plus every enabled band among the first
  // maxBands, as the equaliser designs it. For drawing the curve; allocates the result.
  std::vector<double> responseDB(std::span<const double> frequencies, double sampleRate) const;

  bool operator==(const EQSettings&) const = default;
};

} // namespace quar
