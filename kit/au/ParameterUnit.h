// The units of a hosted plug-in's parameters, as the raw values the hosting code stores
// (AUParameterInfo::unit). Constants only.
#pragma once

#include <cstdint>

namespace quar {

namespace parameterUnit {
inline constexpr uint32_t generic = 0;
inline constexpr uint32_t indexed = 1;
inline constexpr uint32_t boolean = 2;
inline constexpr uint32_t percent = 3;
inline constexpr uint32_t seconds = 4;
inline constexpr uint32_t sampleFrames = 5;
inline constexpr uint32_t rate = 7;
inline constexpr uint32_t hertz = 8;
inline constexpr uint32_t cents = 9;
inline constexpr uint32_t relativeSemiTones = 10;
inline constexpr uint32_t midiNoteNumber = 11;
inline constexpr uint32_t decibels = 13;
inline constexpr uint32_t degrees = 15;
inline constexpr uint32_t meters = 19;
inline constexpr uint32_t octaves = 21;
inline constexpr uint32_t bpm = 22;
inline constexpr uint32_t milliseconds = 24;
} // namespace parameterUnit

} // namespace quar
