#include "TimelineBench.h"

#include <QApplication>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "Arguments.h"
#include "BenchSupport.h"
#include "editor/EditorModel.h"
#include "views/OverviewView.h"
#include "views/Theme.h"
#include "views/TimelineCanvas.h"
#include "views/TimelineView.h"

namespace quar::bench {

namespace {

constexpr double sampleRate = 48000;

// Stereo audio of `minutes` over 16 distinct blocks of decaying noisy tones, repeated.
AudioContent document(double minutes) {
  const auto frames = static_cast<int64_t>(minutes * 60 * sampleRate);
  std::vector<BlockRef> blocks;
  uint32_t seed = 12345;
  for (int b = 0; b < 16; ++b) {
    std::vector<std::vector<float>> samples(2, std::vector<float>(AudioBlock::preferredFrameCount));
    for (size_t i = 0; i < samples[0].size(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      const double noise = static_cast<double>(seed >> 8) / 16777216.0 - 0.5;
      const double t = static_cast<double>(i) / sampleRate;
      const double tone = std::sin(2 * M_PI * (110 + 40 * b) * t) * std::exp(-3 * t);
      samples[0][i] = static_cast<float>(0.7 * tone + 0.1 * noise);
      samples[1][i] = static_cast<float>(0.5 * tone - 0.1 * noise);
    }
    blocks.push_back(AudioBlock::make(std::move(samples)));
  }
  std::vector<Segment> segments;
  for (int64_t start = 0, b = 0; start < frames; start += AudioBlock::preferredFrameCount, ++b)
    segments.push_back({blocks[static_cast<size_t>(b % 16)], 0,
                        std::min(AudioBlock::preferredFrameCount, frames - start)});
  return AudioContent(2, sampleRate, std::move(segments));
}

struct Timings {
  double median = 0;
  double max = 0;
};

template <typename Body>
Timings timed(int runs, Body body) {
  std::vector<double> seconds;
  for (int run = 0; run < runs; ++run) {
    const Stopwatch watch;
    body();
    seconds.push_back(watch.seconds());
  }
  std::sort(seconds.begin(), seconds.end());
  return {seconds[seconds.size() / 2], seconds.back()};
}

Json json(const Timings& timings) { return {{"medianSeconds", timings.median}, {"maxSeconds", timings.max}}; }

void settle() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

} // namespace

Json timelineCommand(const Words& words) {
  const Arguments arguments(words, {"minutes", "width", "height", "ratio", "runs"});
  arguments.expectPositional(0, "no file");
  const double minutes = arguments.number("minutes").value_or(60);
  const int width = static_cast<int>(arguments.number("width").value_or(1600));
  const int height = static_cast<int>(arguments.number("height").value_or(500));
  const double ratio = arguments.number("ratio").value_or(2);
  const int runs = static_cast<int>(arguments.number("runs").value_or(20));
  if (!(minutes > 0) || width < 100 || height < 100 || !(ratio >= 1) || runs < 1)
    throw UsageError("timeline needs --minutes > 0, --width and --height >= 100, --ratio >= 1, --runs >= 1");

  // The offscreen platform at the asked device-pixel ratio.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_SCALE_FACTOR", std::to_string(ratio).c_str(), 1);
  static int argc = 1;
  static char name[] = "quar-bench";
  static char* argv[] = {name, nullptr};
  QApplication application(argc, argv);

  EditorModel model(document(minutes), std::nullopt);
  TimelineView view(&model);
  view.resize(width, height);
  view.show();
  settle();

  // Full redraws at fit zoom (the first layout fitted the document) and at one frame per point:
  // drawing the backing image alone, and a whole repaint that also shows it.
  QImage image = view.backingImage();
  const auto draw = [&] { TimelineCanvas(image, model, view.palette()).drawEverything(); };
  const auto repaint = [&] {
    view.invalidate();
    view.repaint();
  };
  const double fitFramesPerPoint = model.framesPerPoint();
  const Timings fitDraw = timed(runs, draw);
  const Timings fitRepaint = timed(runs, repaint);
  model.setFramesPerPoint(1);
  model.setScrollFrame(static_cast<double>(model.content().frameCount()) / 2);
  settle();
  const Timings sampleDraw = timed(runs, draw);
  const Timings sampleRepaint = timed(runs, repaint);

  // Playhead ticks during playback, heard 7 frames (points) further on each time: the line
  // moves, the backing image stays.
  auto heard = static_cast<int64_t>(model.scrollFrame());
  view.setAudiblePosition([&] { return heard; });
  model.setIsPlaying(true);
  const int drawsBefore = view.drawCount();
  int tick = 0;
  const Timings ticks = timed(std::max(runs, 100), [&] {
    heard += 7;
    ++tick;
    view.advancePlayhead();
    settle();
  });
  const int tickRedraws = view.drawCount() - drawsBefore;
  model.setIsPlaying(false);

  // The overview's waveform image for the whole document across the same width.
  const QSize overviewPixels(static_cast<int>(width * ratio), static_cast<int>(40 * ratio));
  const QColor waveform = Theme::waveform.light;
  const Timings overview =
      timed(runs, [&] { OverviewView::renderWaveform(model.content(), overviewPixels, waveform); });

  return {{"frames", model.content().frameCount()},
          {"width", width},
          {"height", height},
          {"devicePixelRatio", view.devicePixelRatioF()},
          {"fitFramesPerPoint", fitFramesPerPoint},
          {"drawFit", json(fitDraw)},
          {"repaintFit", json(fitRepaint)},
          {"drawOneFramePerPoint", json(sampleDraw)},
          {"repaintOneFramePerPoint", json(sampleRepaint)},
          {"playheadTicks", tick},
          {"playheadTick", json(ticks)},
          {"redrawsDuringTicks", tickRedraws},
          {"overviewPixels", {overviewPixels.width(), overviewPixels.height()}},
          {"overviewImage", json(overview)}};
}

} // namespace quar::bench
