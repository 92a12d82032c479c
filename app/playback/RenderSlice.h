// RenderSlice: the render thread's largest slice. The playback render works through the content
// in slices of at most maxFrames frames, and the live preview's processors are prepared for
// blocks of that many frames, so a slice never exceeds what a processor was prepared for.
#pragma once

namespace RenderSlice {

// Frames.
inline constexpr int maxFrames = 4096;

} // namespace RenderSlice
