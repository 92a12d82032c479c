// Time per second of output through a long reverb and delay tail: one second of noise, then
// thirty seconds of silence in 512-frame stereo blocks at 48 kHz. With flush-to-zero (as on
// every processing thread) the time per second stays flat while the tail decays towards zero;
// "--no-flush" runs without it to show what denormal arithmetic would cost.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "dsp/ScopedFlushToZero.h"
#include "dsp/effects/processors/DelayProcessor.h"
#include "dsp/effects/processors/ReverbProcessor.h"

using namespace quar;

namespace {

void runTail(const char* name, ConfigurableEffect& processor) {
  constexpr int sampleRate = 48000;
  constexpr int block = 512;
  processor.prepare(sampleRate, 2, block);
  std::vector<float> left(block), right(block);
  float* channels[] = {left.data(), right.data()};
  std::mt19937 generator(1);
  std::uniform_real_distribution<float> noise(-0.5f, 0.5f);

  std::printf("%s: microseconds per second of audio\n", name);
  for (int second = 0; second < 31; ++second) {
    const auto start = std::chrono::steady_clock::now();
    for (int done = 0; done < sampleRate; done += block) {
      for (int n = 0; n < block; ++n) {
        left[n] = second == 0 ? noise(generator) : 0.0f;
        right[n] = second == 0 ? noise(generator) : 0.0f;
      }
      processor.process(channels, 2, block);
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    std::printf("  %2d s: %8lld us, last sample %g\n", second, static_cast<long long>(elapsed.count()), left[block - 1]);
  }
}

} // namespace

int main(int argc, char** argv) {
  const bool flush = !(argc > 1 && std::strcmp(argv[1], "--no-flush") == 0);
  std::unique_ptr<ScopedFlushToZero> scope;
  if (flush) scope = std::make_unique<ScopedFlushToZero>();
  std::printf("flush-to-zero %s\n", flush ? "on" : "off");

  ReverbProcessor reverb;
  ReverbSettings reverbSettings;
  reverbSettings.mix = 1;
  reverb.apply(reverbSettings);
  runTail("reverb, 1.8 s decay", reverb);

  DelayProcessor delay;
  DelaySettings delaySettings;
  delaySettings.feedback = 0.8;
  delaySettings.mix = 1;
  delay.apply(delaySettings);
  runTail("delay, feedback 0.8", delay);
  return 0;
}
