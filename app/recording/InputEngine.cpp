#include "recording/InputEngine.h"

#include <semaphore.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/QuarError.h"
#include "recording/InputMonitor.h"
#include "recording/InputRing.h"

namespace {

// Frames the ingest thread hands to the take buffer at a time.
constexpr int ingestChunk = 4096;

} // namespace

struct InputEngine::Session {
  Session(AudioBackend& backend, std::shared_ptr<TakeBuffer> take, const AudioStreamFormat& format)
      : buffer(std::move(take)),
        ring(format.channels, ringFrames(format.sampleRate, format.channels)),
        monitor(backend, format.sampleRate, buffer->inputChannels()),
        scratch(static_cast<size_t>(format.channels), std::vector<float>(ingestChunk)) {
    for (std::vector<float>& channel : scratch) scratchPointers.push_back(channel.data());
    sem_init(&wake, 0, 0);
  }
  ~Session() { sem_destroy(&wake); }

  // The device callback: copy, hand over, wake the ingest thread. Allocates and locks nothing.
  void capture(const float* const* inputs, int channels, int frames) {
    if (!inputs || channels != ring.channels() || frames <= 0) return;
    ring.write(inputs, frames);
    monitor.push(inputs, channels, frames);
    sem_post(&wake);
  }

  void ingestLoop() {
    while (true) {
      while (sem_wait(&wake) != 0 && errno == EINTR) {
      }
      const bool last = stopping.load(std::memory_order_acquire);
      int frames;
      while ((frames = ring.read(scratchPointers.data(), ingestChunk)) > 0)
        buffer->ingest(scratchPointers.data(), ring.channels(), frames);
      {
        std::lock_guard lock(drainMutex);
        ingested = ring.consumed();
      }
      drained.notify_all();
      if (last) return;
    }
  }

  std::shared_ptr<TakeBuffer> buffer;
  InputRing ring;
  InputMonitor monitor;
  std::vector<std::vector<float>> scratch;  // ingest thread only
  std::vector<float*> scratchPointers;
  sem_t wake;
  std::atomic<bool> stopping = false;
  std::mutex drainMutex;
  std::condition_variable drained;
  int64_t ingested = 0;  // ring frames that reached the take buffer; under drainMutex
  std::thread ingest;
};

int64_t InputEngine::ringFrames(double sampleRate, int channels) {
  const int64_t twoSeconds = std::llround(std::clamp(sampleRate, 1.0, 1e7) * 2);
  const int64_t budget = (int64_t{1} << 22) / std::max(channels, 1);  // 16 MB of samples
  return std::max<int64_t>(std::min(twoSeconds, budget), 16384);
}

InputEngine::InputEngine(AudioBackend& backend) : backend_(backend) {}

InputEngine::~InputEngine() { stop(); }

InputEngine::Format InputEngine::prepare(std::optional<int> device) {
  stop();
  prepared_.reset();
  const std::optional<int> id = device ? device : backend_.defaultInputDevice();
  std::optional<AudioDeviceInfo> info;
  if (id)
    for (AudioDeviceInfo& candidate : backend_.devices())
      if (candidate.id == *id) info = std::move(candidate);
  if (!info) throw std::runtime_error("No audio input device");
  if (!(info->defaultSampleRate > 0) || info->inputChannels <= 0)
    throw quar::QuarError::unsupportedFormat("the input device isn\u2019t delivering audio");
  prepared_ = AudioStreamFormat{info->id, info->inputChannels, info->defaultSampleRate};
  return {info->defaultSampleRate, info->inputChannels};
}

void InputEngine::start(std::shared_ptr<TakeBuffer> buffer) {
  stop();
  if (!prepared_) throw std::runtime_error("No audio input device");
  auto session = std::make_unique<Session>(backend_, std::move(buffer), *prepared_);
  Session* s = session.get();
  stream_ = backend_.openInput(*prepared_, [s](const float* const* inputs, int channels, int frames) {
    s->capture(inputs, channels, frames);
  });
  session_ = std::move(session);
  session_->ingest = std::thread([s] { s->ingestLoop(); });
  try {
    stream_->start();
  } catch (...) {
    stop();
    throw;
  }
}

void InputEngine::stop() {
  if (session_) session_->monitor.stop();
  if (stream_) stream_->stop();
  stream_.reset();
  if (!session_) return;
  session_->stopping.store(true, std::memory_order_release);
  sem_post(&session_->wake);
  session_->ingest.join();
  session_.reset();
}

bool InputEngine::isRunning() const { return session_ != nullptr; }

void InputEngine::drain() {
  if (!session_) return;
  Session& s = *session_;
  std::unique_lock lock(s.drainMutex);
  const int64_t target = s.ring.written();
  sem_post(&s.wake);
  s.drained.wait(lock, [&] { return s.ingested >= target; });
}

int64_t InputEngine::droppedFrames() const { return session_ ? session_->ring.dropped() : 0; }

void InputEngine::setMonitoring(bool on) {
  if (!session_) return;
  if (on)
    session_->monitor.start();
  else
    session_->monitor.stop();
}

bool InputEngine::isMonitoring() const { return session_ && session_->monitor.isRunning(); }
