#include "TimelineBench.h"

#include <QApplication>

#include <algorithm>

#include "Arguments.h"
#include "BenchSupport.h"
#include "OffscreenApplication.h"
#include "core/EnvelopeSet.h"
#include "editor/EditorModel.h"
#include "views/OverviewView.h"
#include "widgets/Theme.h"
#include "views/TimelineCanvas.h"
#include "views/TimelineLoudness.h"
#include "views/TimelineView.h"

namespace quar::bench {

namespace {

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

  const OffscreenApplication application(ratio);

  EditorModel model(syntheticStereo(minutes, 16), std::nullopt);
  TimelineView view(&model);
  view.resize(width, height);
  view.show();
  settle();

  // Full redraws at fit zoom (the first layout fitted the document) and at one frame per point:
  // drawing the backing image alone, and a whole repaint that also shows it.
  QImage image = view.backingImage();
  // Like the view, the drawings keep the loudness lane's underlay from one to the next.
  TimelineLoudness::UnderlayCache underlay;
  const auto draw = [&] {
    TimelineCanvas canvas(image, model, view.palette());
    canvas.underlayCache = &underlay;
    canvas.drawEverything();
  };
  const auto repaint = [&] {
    view.invalidate();
    view.repaint();
  };
  const double fitFramesPerPoint = model.viewport().framesPerPoint();
  const Timings fitDraw = timed(runs, draw);
  const Timings fitRepaint = timed(runs, repaint);
  // The same with what a working session shows over it: the tempo grid, markers, a selection,
  // an edited envelope and the loudness curves.
  const auto frameAt = [&](double fraction) {
    return static_cast<int64_t>(fraction * static_cast<double>(model.content().frameCount()));
  };
  model.tempo().setShowGrid(true);
  model.setMarkers({{Uuid::random(), frameAt(0.1), QStringLiteral("Intro")},
                    {Uuid::random(), frameAt(0.12), QStringLiteral("Verse")},
                    {Uuid::random(), frameAt(0.5), QStringLiteral("Chorus")}});
  model.setSelection(FrameRange(frameAt(0.2), frameAt(0.3)));
  EnvelopeSet envelopes;
  envelopes.master.insert(frameAt(0.4), 0);
  envelopes.master.insert(frameAt(0.6), -8);
  model.setEnvelopes(envelopes);
  LoudnessResult loudness;
  loudness.integratedLUFS = -16;
  loudness.hopSeconds = 0.1;
  const auto hops = static_cast<size_t>(minutes * 600);
  loudness.shortTerm.resize(hops);
  loudness.momentary.resize(hops);
  for (size_t i = 0; i < hops; ++i) {
    loudness.shortTerm[i] = -18 - static_cast<float>(i % 13);
    loudness.momentary[i] = -22 + static_cast<float>(i % 17);
  }
  model.analysis().setContentLoudness(loudness);
  settle();
  const Timings decoratedDraw = timed(runs, draw);
  // The same while an envelope point moves between drawings, as in a drag: the curves shift.
  int moves = 0;
  const Timings draggedDraw = timed(runs, [&] {
    EnvelopeSet moved;
    moved.master.insert(frameAt(0.4), 0);
    moved.master.insert(frameAt(0.6), -8 + 0.25 * (++moves % 16));
    model.setEnvelopes(moved);
    draw();
  });
  model.tempo().setShowGrid(false);
  model.setMarkers({});
  model.setSelection(std::nullopt);
  model.setEnvelopes({});
  model.analysis().setContentLoudness(std::nullopt);
  model.viewport().setFramesPerPoint(1);
  model.viewport().setScrollFrame(static_cast<double>(model.content().frameCount()) / 2);
  settle();
  const Timings sampleDraw = timed(runs, draw);
  const Timings sampleRepaint = timed(runs, repaint);

  // Playhead ticks during playback, heard 7 frames (points) further on each time: the line
  // moves, the backing image stays.
  auto heard = static_cast<int64_t>(model.viewport().scrollFrame());
  view.setAudiblePosition([&] { return heard; });
  model.transport().setIsPlaying(true);
  const int drawsBefore = view.drawCount();
  int tick = 0;
  const Timings ticks = timed(std::max(runs, 100), [&] {
    heard += 7;
    ++tick;
    view.advancePlayhead();
    settle();
  });
  const int tickRedraws = view.drawCount() - drawsBefore;
  model.transport().setIsPlaying(false);

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
          {"drawFitDecorated", json(decoratedDraw)},
          {"drawFitEnvelopeDrag", json(draggedDraw)},
          {"drawOneFramePerPoint", json(sampleDraw)},
          {"repaintOneFramePerPoint", json(sampleRepaint)},
          {"playheadTicks", tick},
          {"playheadTick", json(ticks)},
          {"redrawsDuringTicks", tickRedraws},
          {"overviewPixels", {overviewPixels.width(), overviewPixels.height()}},
          {"overviewImage", json(overview)}};
}

} // namespace quar::bench
