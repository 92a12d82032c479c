// EQProcessor: the parametric equaliser, up to EQSettings::maxBands bands of one to four biquad
// sections each plus an output gain (dB), run in double precision in place on float blocks.
// Changes glide: frequency, gain and q follow a 15 ms one-pole glide with per-sample
// coefficient ramps, a band switched on or off or changing shape cross-fades over 20 ms, and
// the output gain glides like the band parameters. Bands that have been flat for 250 ms are
// skipped. A NaN or infinite sample passes through unchanged and enters the filters as 0, so
// the other samples come out as if it were silence. apply(), process() and reset() allocate and
// lock nothing (audio-thread safe); prepare() allocates. No latency, no tail.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "dsp/effects/ConfigurableEffect.h"

namespace quar {

class EQProcessor final : public ConfigurableEffect {
public:
  // Sample rate 48000, the six default bands, 0 dB output; not prepared.
  EQProcessor();

  // Takes the eq case only; sets targets that the audio reaches by gliding.
  void apply(const EffectSettings& settings) override;
  void prepare(double sampleRate, int channelCount, int maxFrames) override;
  void process(float* const* channels, int channelCount, int frameCount) override;
  // Clears the filter memory and jumps to the targets at once, without fades.
  void reset() override;
  int64_t tailFrames() const override { return 0; }
  int64_t latencyFrames() const override { return 0; }

private:
  friend class EQProcessorProbe;  // white-box checks of the chunk paths

  static constexpr int bandSlots = EQSettings::maxBands;
  static constexpr int sectionsPerBand = 4;
  static constexpr int sectionSlots = bandSlots * sectionsPerBand;
  static constexpr int statePerChannel = sectionSlots * 2;  // z1, z2 per section
  static constexpr int movingChunk = 32;

  // A band's shape and parameters (frequency Hz, gain dB) with their logarithms for gliding.
  struct Shape {
    EQBandType type = EQBandType::peak;
    int sections = 1;
    double frequency = 1000;
    double gainDB = 0;
    double q = 0.707;
    double logF = 0;
    double logQ = 0;

    bool sameForm(const Shape& other) const { return type == other.type && sections == other.sections; }
    bool sameParameters(const Shape& other) const {
      return frequency == other.frequency && gainDB == other.gainDB && q == other.q;
    }
  };

  struct Band {
    Shape target;
    bool targetEnabled = false;
    bool running = false;  // realised: its filter runs (or idles) in the chain
    Shape current;         // the gliding values while running
    double mix = 1;        // share of the band's output in use, [0, 1]
    int64_t idle = 0;      // frames it keeps running after becoming flat
  };

  // A band processed in the current chunk.
  struct ActiveBand {
    int slot = 0;  // first section slot, band × sectionsPerBand
    int sections = 0;
    bool ramp = false;
    bool mixing = false;
    double mix0 = 0;
    double mixStep = 0;
  };

  void designInto(std::array<double, sectionSlots * 5>& target, int band, const Shape& shape) const;
  void zeroBandState(int band);
  bool isFlat(int band) const;
  int64_t idleFrames() const;
  bool isMoving() const;
  void updateChunk(int n);
  bool needsGeneralPath() const;
  void runGeneral(float* const* channels, int channelCount, int offset, int n);
  void runSteady(float* const* channels, int channelCount, int offset, int n);
  template <int Lanes>
  void runSteadyLanes(float* const* channels, int firstChannel, int offset, int n);
  void commitChunk();

  std::array<Band, bandSlots> bands_;
  // Per section slot b0, b1, b2, a1, a2: at the chunk start, increment per sample, at its end.
  std::array<double, sectionSlots * 5> coef_{};
  std::array<double, sectionSlots * 5> step_{};
  std::array<double, sectionSlots * 5> coefEnd_{};
  std::array<bool, bandSlots> ramping_{};
  std::array<ActiveBand, bandSlots> active_{};
  int activeCount_ = 0;
  // The steady-state path's gathered sections and the state offset of each.
  std::array<double, sectionSlots * 5> flatCoef_{};
  std::array<int, sectionSlots> flatSlot_{};
  int flatCount_ = 0;
  std::vector<double> pairBuffer_;  // two interleaved lanes × maxFrames
  std::vector<double> state_;       // statePerChannel values per channel, channel after channel
  int maxFrames_ = 1;
  int channelCount_ = 0;
  double sampleRate_ = 48000;
  bool prepared_ = false;
  double targetOutDB_ = 0;
  double outDB_ = 0;
  double gainStart_ = 1;  // linear output gain at the chunk start
  double gainStep_ = 0;   // and its increment per sample
};

} // namespace quar
