#include "DocumentBench.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QPointer>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

#include "Arguments.h"
#include "BenchSupport.h"
#include "OffscreenApplication.h"
#include "core/BlockStore.h"
#include "document/AudioDocument.h"
#include "document/AudioDocumentController.h"
#include "editor/EditorModel.h"
#include "window/EditorWindowController.h"
#include "inspector/SignalStatsState.h"
#include "platform/JobPool.h"
#include "platform/Platform.h"
#include "views/EditorRootView.h"
#include "views/TimelineView.h"

namespace quar::bench {

namespace {

using Property = EditorModel::Property;
using AnalysisProperty = LoudnessAnalysis::Property;

// Settings, recent documents and recordings go to a temporary folder, not the user's.
class PrivateFolders {
public:
  PrivateFolders() {
    if (!folder_.isValid()) throw std::runtime_error("can’t create a temporary folder");
    setenv("XDG_CONFIG_HOME", (folder_.path() + QStringLiteral("/config")).toUtf8().constData(), 1);
    setenv("XDG_DATA_HOME", (folder_.path() + QStringLiteral("/data")).toUtf8().constData(), 1);
    setenv("XDG_RUNTIME_DIR", folder_.path().toUtf8().constData(), 1);
  }

private:
  QTemporaryDir folder_;
};

// The editor's application: its memory allocation, private folders, the offscreen platform at
// two device pixels per point, the null audio device.
class EditorApplication {
public:
  EditorApplication() : application_(2) {
    Platform::configureApplication();
    EditorWindowController::installAsDocumentWindow();
  }

private:
  struct Memory {
    Memory() { Platform::configureMemory(); }
  } memory_;
  PrivateFolders folders_;
  OffscreenApplication application_;
};

// Runs the event loop until `done` holds.
void runUntil(const std::function<bool()>& done, const std::string& what) {
  QTimer wake;  // wakes the loop when nothing else happens
  wake.start(10);
  const Stopwatch watch;
  while (!done()) {
    if (watch.seconds() > 900) throw std::runtime_error("gave up waiting for " + what);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

// Reads the whole file once, so that opening it finds it in the page cache.
void readThrough(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  while (file.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || file.gcount() > 0) {}
}

// One file opened as the editor opens it, with the moments (seconds since the open began) at
// which each phase ended.
class OpenedDocument {
public:
  OpenedDocument(AudioDocumentController& controller, const std::filesystem::path& path) {
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(std::filesystem::absolute(path).string()));
    auto owned = std::make_unique<AudioDocument>();
    document_ = owned.get();
    // The Info tab shows the signal statistics, which are measured only while it is shown.
    owned->model().viewSettings().setInspectorTab(InspectorTab::info);
    const QString type = controller.typeForContentsOfUrl(url);
    owned->read(url, type);
    owned->setFileType(type);
    owned->setFileUrl(url);
    read_ = clock_.seconds();
    controller.addDocument(std::move(owned));

    EditorModel& model = document_->model();
    // A failed edit ends the benchmark with its error, where the editor would show an alert.
    model.setPresentError([this](std::exception_ptr error) { failure_ = error; });
    QObject::connect(&model.jobs(), &JobRunner::changed, &model, [this, &model] {
      if (!model.jobs().busy() && contentBuilt_ == 0) {
        contentBuilt_ = clock_.seconds();
        // Runs once the load has been installed, before the timeline's low-priority redraw.
        QMetaObject::invokeMethod(&model, [this] { modelLoaded_ = clock_.seconds(); }, Qt::QueuedConnection);
      }
    });
    QObject::connect(&model, &EditorModel::changed, &model, [this, &model](Property property) {
      const double now = clock_.seconds();
      if (property == Property::content) drawsBeforeContent_ = timeline_ ? timeline_->drawCount() : 0;
      if (property == Property::contentVersion) lastContentChange_ = now;
    });
    const LoudnessAnalysis& analysis = model.analysis();
    QObject::connect(&analysis, &LoudnessAnalysis::changed, &model, [this, &analysis](AnalysisProperty property) {
      if (property == AnalysisProperty::isAnalyzing && !analysis.isAnalyzing()) lastAnalysis_ = clock_.seconds();
    });
    document_->makeWindowControllers();
    document_->showWindows();
    window_ = clock_.seconds();
    for (const auto& controller : document_->windowControllers())
      if (auto* editor = dynamic_cast<EditorWindowController*>(controller.get())) {
        timeline_ = editor->rootView()->timeline();
        statistics_ = editor->window()->findChild<SignalStatsState*>();
      }
    if (!timeline_) throw std::runtime_error("the document has no timeline");
    if (statistics_)
      QObject::connect(statistics_, &SignalStatsState::changed, statistics_, [this] {
        if (statistics_->stats()) statisticsDone_ = clock_.seconds();
      });
  }

  EditorModel& model() const { return document_->model(); }

  // Waits for the first waveform drawn from the file's audio.
  void waitForFirstDraw() {
    runUntil(
        [&] {
          alive();
          return modelLoaded_ > 0 && model().content().frameCount() > 0 && timeline_->drawCount() > drawsBeforeContent_;
        },
        "the first draw");
    firstDraw_ = clock_.seconds();
  }

  // Waits for the file's loudness figures and the signal statistics.
  void waitForAnalyses() {
    runUntil([&] { return fileLoudnessIsCurrent(); }, "the loudness analysis");
    loudness_ = lastAnalysis_;
    if (statistics_) runUntil([&] { return statistics_->stats().has_value(); }, "the signal statistics");
  }

  // Waits until the edit begun at content version `version` is in and no job runs; throws when
  // the edit failed instead.
  void waitForEdit(int64_t version, const std::string& what) {
    runUntil(
        [&] {
          if (const std::exception_ptr failure = std::exchange(failure_, nullptr)) {
            try {
              std::rethrow_exception(failure);
            } catch (const std::exception& error) {
              throw std::runtime_error(what + " failed: " + error.what());
            }
          }
          return !model().jobs().busy() && model().contentVersion() != version;
        },
        what);
  }

  bool fileLoudnessIsCurrent() const {
    alive();
    const LoudnessAnalysis& analysis = model().analysis();
    return analysis.loudness() && !analysis.isAnalyzing() && !analysis.fileTask().isWaiting();
  }

  // Closes the document and waits until everything it started has ended and it is deleted.
  void close() {
    document_->close();
    JobPool::userInitiated().waitForDone();
    JobPool::utility().waitForDone();
    runUntil(
        [&] {
          QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
          return !document_;
        },
        "the document to go");
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();  // what the document left to run once it was gone
  }

  double now() const { return clock_.seconds(); }
  double lastContentChange() const { return lastContentChange_; }
  double lastAnalysis() const { return lastAnalysis_; }
  double firstDraw() const { return firstDraw_; }

  Json phases() const {
    return {{"read", read_},
            {"window", window_ - read_},
            {"content", contentBuilt_ - window_},
            {"modelLoad", modelLoaded_ - contentBuilt_},
            {"firstDraw", firstDraw_ - modelLoaded_}};
  }
  Json moments() const {
    return {{"firstDrawSeconds", firstDraw_},
            {"loudnessSeconds", loudness_},
            {"statisticsSeconds", statistics_ ? Json(statisticsDone_) : Json()}};
  }

private:
  void alive() const {
    if (!document_ || document_->isClosed())
      throw std::runtime_error("the document closed: the file could not be opened");
  }

  Stopwatch clock_;
  QPointer<AudioDocument> document_;
  TimelineView* timeline_ = nullptr;
  SignalStatsState* statistics_ = nullptr;
  std::exception_ptr failure_;  // what the last edit failed with
  int drawsBeforeContent_ = 0;
  double read_ = 0, window_ = 0, contentBuilt_ = 0, modelLoaded_ = 0, firstDraw_ = 0, loudness_ = 0,
         statisticsDone_ = 0, lastContentChange_ = 0, lastAnalysis_ = 0;
};

std::filesystem::path existingInput(const Arguments& arguments) {
  const std::filesystem::path path = arguments.positional(0);
  if (!std::filesystem::exists(path)) throw std::runtime_error("no such file: " + path.string());
  return path;
}

// A document opened as the editor opens it, drawn, with the analyses of its audio done.
struct AnalysedDocument {
  explicit AnalysedDocument(const std::filesystem::path& path) : opened(controller, path) {
    opened.waitForFirstDraw();
    opened.waitForAnalyses();
  }
  const EditorApplication application;
  AudioDocumentController controller;
  OpenedDocument opened;
};

} // namespace

Json openCommand(const Words& words) {
  const Arguments arguments(words, {});
  arguments.expectPositional(1, "IN");
  const std::filesystem::path path = existingInput(arguments);
  const EditorApplication application;
  readThrough(path);
  QCoreApplication::processEvents();

  AudioDocumentController controller;
  const int64_t before = residentBytes();
  OpenedDocument opened(controller, path);
  opened.waitForFirstDraw();
  opened.waitForAnalyses();
  const int64_t peak = peakResidentBytes();
  const Json openedMemory = residentByKind();
  const AudioContent& content = opened.model().content();
  const int64_t frames = content.frameCount();
  const int channels = content.channelCount();
  const double rate = content.sampleRate();
  const int64_t sampleBytes = frames * channels * static_cast<int64_t>(sizeof(float));
  Json json = opened.moments();
  json["phases"] = opened.phases();
  json["peakResidentBytes"] = peak;
  opened.close();
  const int64_t after = residentBytes();
  const Json closedMemory = residentByKind();

  // The kit's own decode of the same file, as `quar-bench decode` does it.
  const DecodedFile decoded = decodeFile(path);
  const double decodeSeconds = decoded.seconds;

  json["frames"] = frames;
  json["channels"] = channels;
  json["sampleRate"] = rate;
  json["decodeSeconds"] = decodeSeconds;
  json["decodeStages"] = stagesJson(decoded);
  json["firstDrawToDecode"] = opened.firstDraw() / decodeSeconds;
  json["sampleBytes"] = sampleBytes;
  json["peakToSampleBytes"] = static_cast<double>(peak) / static_cast<double>(sampleBytes);
  json["residentBeforeOpenBytes"] = before;
  json["residentAfterCloseBytes"] = after;
  json["residentGrowthAfterCloseBytes"] = after - before;
  json["residentAfterOpen"] = openedMemory;
  json["residentAfterClose"] = closedMemory;
  return json;
}

Json editsCommand(const Words& words) {
  const Arguments arguments(words, {});
  arguments.expectPositional(1, "IN");
  const std::filesystem::path path = existingInput(arguments);
  AnalysedDocument analysed(path);
  OpenedDocument& opened = analysed.opened;
  EditorModel& model = opened.model();
  const double rate = model.content().sampleRate();
  const double otherRate = rate == 44100 ? 48000 : 44100;

  struct Edit {
    const char* name;
    std::function<void()> run;
  };
  const Edit edits[] = {
      {"gain", [&] { model.applyGain(-1); }},
      {"undo", [&] { model.undo(); }},
      {"redo", [&] { model.redo(); }},
      {"sampleRate", [&] { model.changeSampleRate(otherRate); }},
      {"undo", [&] { model.undo(); }},
      {"timePitch", [&] {
         model.setSelection(quar::FrameRange(0, static_cast<int64_t>(10 * rate)), std::nullopt);
         model.timePitch(1.25, 0);
       }},
      {"undo", [&] { model.undo(); }},
  };
  Json results = Json::array();
  double slowest = 0;
  for (const Edit& edit : edits) {
    const double requested = opened.now();
    const int64_t version = model.contentVersion();
    edit.run();
    opened.waitForEdit(version, std::string("the edit ") + edit.name);
    const double committed = opened.lastContentChange();
    runUntil([&] { return opened.fileLoudnessIsCurrent(); }, std::string("the loudness after ") + edit.name);
    const double measured = opened.lastAnalysis() - committed;
    slowest = std::max(slowest, measured);
    results.push_back({{"edit", edit.name},
                       {"jobSeconds", committed - requested},
                       {"loudnessSeconds", measured},
                       {"resident", residentByKind()}});
    model.selectNone();
  }
  const int64_t frames = model.content().frameCount();
  opened.close();
  return {{"frames", frames}, {"edits", results}, {"slowestLoudnessSeconds", slowest}};
}

Json undoDepthCommand(const Words& words) {
  const Arguments arguments(words, {"edits"});
  arguments.expectPositional(1, "IN");
  const std::filesystem::path path = existingInput(arguments);
  const int count = static_cast<int>(arguments.number("edits").value_or(8));
  if (count < 1) throw std::runtime_error("--edits must be at least 1");
  AnalysedDocument analysed(path);
  OpenedDocument& opened = analysed.opened;
  EditorModel& model = opened.model();
  std::optional<AudioContent> kept = model.content();
  const AudioContent& original = *kept;
  Json json{{"frames", original.frameCount()}, {"firstDrawSeconds", opened.firstDraw()}, {"afterOpen", residentByKind()}};

  // Waits for the job and for the loudness figures that follow it, so edits never overlap.
  const auto timedStep = [&](const std::function<void()>& step, const std::string& what) {
    const double requested = opened.now();
    const int64_t version = model.contentVersion();
    step();
    opened.waitForEdit(version, what);
    const double seconds = opened.lastContentChange() - requested;
    runUntil([&] { return opened.fileLoudnessIsCurrent(); }, "the loudness after " + what);
    return seconds;
  };
  Json edits = Json::array();
  for (int k = 0; k < count; ++k) {
    const double seconds = timedStep([&] { model.applyGain(k % 2 == 0 ? -1 : 1); }, "a whole-file gain");
    edits.push_back({{"jobSeconds", seconds}, {"resident", residentByKind()}});
  }
  json["edits"] = edits;
  double undoSeconds = 0;
  for (int k = 0; k < count; ++k) undoSeconds += timedStep([&] { model.undo(); }, "an undo");
  json["undoAllSeconds"] = undoSeconds;
  json["afterUndo"] = residentByKind();

  // Bit for bit, chunk by chunk.
  const AudioContent& undone = model.content();
  bool identical = undone.frameCount() == original.frameCount() && undone.channelCount() == original.channelCount();
  const auto chunk = AudioBlock::preferredFrameCount;
  std::vector<std::vector<float>> a(static_cast<size_t>(original.channelCount()), std::vector<float>(chunk));
  auto b = a;
  std::vector<float*> pa, pb;
  for (size_t c = 0; c < a.size(); ++c) {
    pa.push_back(a[c].data());
    pb.push_back(b[c].data());
  }
  for (int64_t start = 0; identical && start < original.frameCount(); start += chunk) {
    const FrameRange range(start, std::min(start + chunk, original.frameCount()));
    original.read(range, pa);
    undone.read(range, pb);
    for (size_t c = 0; c < a.size() && identical; ++c)
      identical = std::memcmp(a[c].data(), b[c].data(), static_cast<size_t>(range.count()) * sizeof(float)) == 0;
  }
  json["undoneIsIdentical"] = identical;
  kept.reset();
  opened.close();
  json["afterClose"] = residentByKind();
  const auto store = BlockStore::current();
  json["storeBytesAfterClose"] = store ? store->bytesHeld() : 0;
  return json;
}

} // namespace quar::bench
