// Shared helpers of the editor model's tests: audio whose every sample tells its channel and
// frame, sine tones, a model with an undo manager and an error recorder, and waiting for
// background jobs and analyses.
#pragma once

#include <gtest/gtest.h>

#include <QTest>

#include <cmath>
#include <exception>
#include <map>
#include <memory>
#include <vector>

#include "AppTestSupport.h"
#include "core/AudioContent.h"
#include "editor/EditorModel.h"
#include "platform/UndoManager.h"

namespace EditorModelFixtureSupport {

// Sample (channel c, frame f) = c * 10000 + f + 1: never zero, exact in 32-bit floats below
// 10,000 frames.
inline quar::AudioContent numbered(int64_t frames, int channels = 2, double rate = 48000) {
  std::vector<std::vector<float>> data(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c)
    for (int64_t f = 0; f < frames; ++f) data[static_cast<size_t>(c)].push_back(static_cast<float>(c * 10000 + f + 1));
  return quar::AudioContent(data, rate);
}

// A 997 Hz sine with one amplitude (linear) per channel.
inline quar::AudioContent tone(int64_t frames, const std::vector<float>& amplitudes, double rate = 48000) {
  std::vector<std::vector<float>> data;
  for (float amplitude : amplitudes) {
    std::vector<float>& channel = data.emplace_back();
    for (int64_t f = 0; f < frames; ++f)
      channel.push_back(amplitude * static_cast<float>(std::sin(2 * M_PI * 997 * static_cast<double>(f) / rate)));
  }
  return quar::AudioContent(data, rate);
}

// Every sample, channel by channel.
inline std::vector<std::vector<float>> samples(const quar::AudioContent& content) {
  std::vector<std::vector<float>> data(static_cast<size_t>(content.channelCount()));
  for (int c = 0; c < content.channelCount(); ++c)
    for (int64_t f = 0; f < content.frameCount(); ++f) data[static_cast<size_t>(c)].push_back(content.sample(c, f));
  return data;
}

// The undoable part of a model's state, comparable.
struct Snapshot {
  std::vector<std::vector<float>> samples;
  double sampleRate;
  std::optional<quar::FrameRange> selection;
  std::set<int> activeChannels;
  int64_t cursor;
  std::vector<Marker> markers;
  quar::EnvelopeSet envelopes;

  explicit Snapshot(const EditorModel& model)
      : samples(EditorModelFixtureSupport::samples(model.content())),
        sampleRate(model.content().sampleRate()),
        selection(model.selection()),
        activeChannels(model.activeChannels()),
        cursor(model.cursor()),
        markers(model.markers()),
        envelopes(model.envelopes()) {}
  bool operator==(const Snapshot&) const = default;
};

// Counts the model's changed(property) notifications per property.
template <typename Model>
struct ChangeCounter {
  explicit ChangeCounter(Model& model) {
    QObject::connect(&model, &Model::changed, [this](typename Model::Property p) { ++counts[p]; });
  }
  int operator[](typename Model::Property p) const { return counts.contains(p) ? counts.at(p) : 0; }
  std::map<typename Model::Property, int> counts;
};

} // namespace EditorModelFixtureSupport

class EditorModelFixture : public AppTest {
protected:
  // A model over `content` with this fixture's undo manager and error recorder.
  std::unique_ptr<EditorModel> makeModel(quar::AudioContent content) {
    auto model = std::make_unique<EditorModel>(std::move(content), std::nullopt);
    model->setUndoManager(&undo);
    model->setPresentError([this](std::exception_ptr error) { presented.push_back(error); });
    return model;
  }

  // Spins the event loop until no job is shown (its commit has then run).
  static bool waitUntilIdle(const EditorModel& model) {
    return QTest::qWaitFor([&] { return !model.jobs().busy(); }, 20000);
  }

  // Spins the event loop until the file analysis has installed its figures, starting a waiting
  // analysis at once.
  static bool waitForAnalysis(EditorModel& model) {
    return QTest::qWaitFor(
        [&] {
          model.analysis().fileTask().fireNow();
          return !model.analysis().isAnalyzing() && !model.analysis().fileTask().isWaiting();
        },
        20000);
  }

  UndoManager undo;
  std::vector<std::exception_ptr> presented;
};
