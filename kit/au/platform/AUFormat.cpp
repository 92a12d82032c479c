#include "au/platform/AUFormat.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "base/Precondition.h"
#include "base/QuarError.h"

namespace quar {

namespace {

std::string unitName(const PlatformUnit& unit) {
  return curlyQuoted(unit.audioUnitName().value_or("LV2 plug-in"));
}

} // namespace

std::optional<AudioStreamFormat> AUFormat::make(double sampleRate, int64_t channels) {
  QUAR_PRECONDITION(channels >= 0 && channels <= UINT32_MAX, "Channel count out of range");
  if (channels == 0 || !std::isfinite(sampleRate) || sampleRate <= 0) return std::nullopt;
  AudioStreamFormat format{sampleRate, static_cast<uint32_t>(channels), false, std::nullopt};
  if (channels > 2) {
    if (channels > 0xFFFF) return std::nullopt;
    format.channelLayoutTag = discreteInOrderLayoutTag | static_cast<uint32_t>(channels);
  }
  return format;
}

void AUFormat::configure(PlatformUnit& unit, double sampleRate, int64_t inChannels, int64_t outChannels,
                         int64_t maxFrames) {
  QUAR_PRECONDITION(maxFrames <= UINT32_MAX, "Frame limit out of range");
  if (unit.renderResourcesAllocated()) unit.deallocateRenderResources();
  const auto outputFormat = make(sampleRate, outChannels);
  if (!outputFormat)
    throw QuarError::unsupportedFormat(std::to_string(outChannels) + "-channel Float32 at " + formatDouble(sampleRate) +
                                       " Hz");
  if (unit.outputBusCount() < 1) throw QuarError::unsupportedFormat(unitName(unit) + " has no output bus");
  if (inChannels >= 1) {
    const auto inputFormat = unit.inputBusCount() >= 1 ? make(sampleRate, inChannels) : std::nullopt;
    if (!inputFormat) throw QuarError::unsupportedFormat(unitName(unit) + " has no input bus");
    unit.setInputFormat(*inputFormat);
    unit.setInputEnabled(true);
  }
  unit.setOutputFormat(*outputFormat);
  unit.setOutputEnabled(true);
  unit.setMaximumFramesToRender(static_cast<uint32_t>(std::max<int64_t>(maxFrames, 1)));
  unit.allocateRenderResources();
}

} // namespace quar
