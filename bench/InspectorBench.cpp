#include "InspectorBench.h"

#include <QApplication>

#include <algorithm>

#include "Arguments.h"
#include "BenchSupport.h"
#include "OffscreenApplication.h"
#include "dsp/SignalAnalysis.h"
#include "editor/EditorModel.h"
#include "inspector/SpectrumPlot.h"
#include "inspector/SpectrumState.h"

namespace quar::bench {

Json inspectorCommand(const Words& words) {
  const Arguments arguments(words, {"minutes", "fft", "updates", "runs"});
  arguments.expectPositional(0, "no file");
  const double minutes = arguments.number("minutes").value_or(60);
  const int fftSize = static_cast<int>(arguments.number("fft").value_or(8192));
  const int updates = static_cast<int>(arguments.number("updates").value_or(300));
  const int runs = static_cast<int>(arguments.number("runs").value_or(3));
  const auto& sizes = SpectrumState::fftSizes;
  if (!(minutes > 0) || std::find(sizes.begin(), sizes.end(), fftSize) == sizes.end() || updates < 1 || runs < 1)
    throw UsageError("inspector needs --minutes > 0, --fft one of 1024...32768, --updates and --runs >= 1");

  // Two device pixels per point, like the timeline's figures.
  const OffscreenApplication application(2);

  // Distinct audio well beyond the caches: 256 blocks of 65,536 stereo frames.
  EditorModel model(syntheticStereo(minutes, 256), std::nullopt);
  const AudioContent& content = model.content();

  // Live spectrum: the playhead moves 33 ms of audio per update, as during playback, and the
  // plot, at its width in the inspector, is repainted.
  SpectrumState state(&model);
  state.setFFTSize(fftSize);
  SpectrumPlot plot(&model, &state);
  plot.resize(332, SpectrumPlot::plotHeight);
  plot.show();
  QCoreApplication::processEvents();
  int64_t playhead = 0;
  const int64_t hop = 1600;
  const auto analyse = [&] {
    state.mergeLive(state.ensureAnalyzer().spectrum(content, playhead));
    state.accumulateHold();
    playhead = (playhead + hop) % std::max<int64_t>(content.frameCount(), 1);
  };
  const auto repaint = [&] { plot.repaint(); };
  const Timings analysis = timed(updates, analyse);
  const Timings drawing = timed(updates, repaint);
  const Timings update = timed(updates, [&] {
    analyse();
    repaint();
  });

  // Statistics of the whole document.
  const Timings statistics = timed(runs, [&] { (void)SignalAnalysis::stats(content); });
  const double gigabytes = static_cast<double>(content.frameCount()) * 2 * 4 / 1e9;

  return {{"frames", content.frameCount()},
          {"fftSize", fftSize},
          {"devicePixelRatio", plot.devicePixelRatioF()},
          {"liveUpdates", updates},
          {"liveAnalysis", json(analysis)},
          {"liveDraw", json(drawing)},
          {"liveUpdate", json(update)},
          {"statistics", json(statistics)},
          {"statisticsGigabytesPerSecond", gigabytes / statistics.median}};
}

} // namespace quar::bench
