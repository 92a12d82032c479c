// Oversampler4x: raises one channel to four times its rate and brings it back through two
// cascaded 2x stages of linear-phase halfband FIR filters (HalfbandDesign, Kaiser window), so a
// nonlinear stage can run at 4x without aliasing. Base -> 4x -> base delays by exactly
// latencyFrames (47) base-rate frames with unity gain. One instance per channel; it allocates
// only in its constructor, so upsample(), downsample() and clear() are audio-thread safe.
#pragma once

#include <vector>

namespace quar {

// A halfband lowpass of full length 4k+3 (centre 2k+1). `taps` holds the 2k+2 non-zero taps at
// even positions 0, 2, ..., 4k+2: symmetric, summing to 0.5. The centre tap is an implicit 0.5;
// every other odd position is 0.
struct HalfbandDesign {
  int length;
  int k;
  std::vector<float> taps;

  // Windowed-sinc design with a Kaiser window for `attenuationDB` of stopband rejection.
  HalfbandDesign(int k, double attenuationDB);
};

class Oversampler4x {
public:
  static constexpr int latencyFrames = 47;

  // The shared designs (built once, thread-safely): base <-> 2x (k 20, 83 taps) and
  // 2x <-> 4x (k 5, 23 taps), both for 90 dB.
  static const HalfbandDesign& stage1();
  static const HalfbandDesign& stage2();

  // Blocks of up to max(maxFrames, 1) base-rate frames.
  explicit Oversampler4x(int maxFrames, const HalfbandDesign& stage1 = Oversampler4x::stage1(),
                         const HalfbandDesign& stage2 = Oversampler4x::stage2());
  Oversampler4x(const Oversampler4x&) = delete;
  Oversampler4x& operator=(const Oversampler4x&) = delete;

  int maxFrames() const { return maxFrames_; }
  // Where the caller writes the next block of up to maxFrames() base-rate samples.
  float* input() { return s1_.upInput.data() + s1_.upHistory; }
  // Interpolates the `count` samples written at input() to 4·count samples at signal().
  void upsample(int count);
  // The 4x signal: 4·maxFrames() samples, of which the last upsample() filled 4·count.
  float* signal() { return os_.data(); }
  // Decimates the 4·count samples at signal() to `count` samples at `output`. Nothing happens
  // when count < 1; count must not exceed maxFrames().
  void downsample(int count, float* output);
  // Zeroes every filter history, as after construction.
  void clear();

private:
  // One 2x step: the interpolation branch (upInput, fir) and the two polyphase components of
  // the decimation input (even, odd), each with its history in front.
  struct Stage {
    Stage(const HalfbandDesign& design, int capacity);

    // `count` samples at upInput[upHistory...] -> 2·count samples at `output`.
    void upsample(int count, float* output);
    void clear();

    int tapCount;
    int k;
    std::vector<float> taps;
    std::vector<float> tapsUp;  // taps × 2: restores the gain lost by zero-stuffing
    std::vector<float> upInput;
    int upHistory;
    std::vector<float> even;
    std::vector<float> odd;
    int downHistory;
    std::vector<float> fir;
  };

  int maxFrames_;
  Stage s1_;
  Stage s2_;
  std::vector<float> os_;
  std::vector<float> mid_;
};

} // namespace quar
