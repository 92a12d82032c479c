#include "io/MP3Writer.h"

#include <dlfcn.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

#include "CollectingSink.h"
#include "FileTools.h"
#include "base/QuarError.h"

namespace quar {
namespace {

using testing::TempFolder;
using test::viewsOf;

std::vector<uint8_t> fileBytes(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), {}};
}

std::string textAt(const std::vector<uint8_t>& bytes, size_t offset, size_t count) {
  if (offset + count > bytes.size()) return {};
  return {bytes.begin() + static_cast<ptrdiff_t>(offset), bytes.begin() + static_cast<ptrdiff_t>(offset + count)};
}

std::vector<std::vector<float>> sine(int channels, int64_t frames, double rate) {
  std::vector<std::vector<float>> planar(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
  for (size_t c = 0; c < planar.size(); ++c)
    for (size_t i = 0; i < planar[c].size(); ++i)
      planar[c][i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * (440.0 + 110.0 * double(c)) * double(i) / rate));
  return planar;
}

// The stand-in library and what it recorded.
class LameStub {
public:
  LameStub() : library_(LameLibrary::load({QUAR_TEST_LAME_STUB})) {
    handle_ = ::dlopen(QUAR_TEST_LAME_STUB, RTLD_NOW | RTLD_NOLOAD);
  }
  ~LameStub() {
    if (handle_) ::dlclose(handle_);
  }
  const LameLibrary& library() const { return *library_; }
  std::string settings() const { return call<const char* (*)()>("stub_settings")(); }
  std::vector<int> encodedSlices() const {
    std::vector<int> slices;
    for (int i = 0; i < call<int (*)()>("stub_encode_calls")(); ++i) slices.push_back(call<int (*)(int)>("stub_encode_frames")(i));
    return slices;
  }
  bool sameChannels(int call_) const { return call<int (*)(int)>("stub_encode_same_channels")(call_) != 0; }

private:
  template <typename F>
  F call(const char* name) const {
    return reinterpret_cast<F>(::dlsym(handle_, name));
  }
  std::unique_ptr<LameLibrary> library_;
  void* handle_ = nullptr;
};

TEST(MP3WriterTest, ConfiguresTheEncoderAndEncodesInSlicesOfAtMost32768Frames) {
  struct Case {
    int channels;
    double rate;
    int kbps;
    int64_t frames;
    const char* settings;
    std::vector<int> slices;
  };
  const Case cases[] = {
      {1, 44100, 128, 100000, "in=44100 out=44100 channels=1 mode=3 vbr=0 brate=128 quality=2 tag=1",
       {32768, 32768, 32768, 1696}},
      {2, 48000.9, 320, 32768, "in=48000 out=48000 channels=2 mode=1 vbr=0 brate=320 quality=2 tag=1", {32768}},
      {2, 32000, 96, 400, "in=32000 out=32000 channels=2 mode=1 vbr=0 brate=96 quality=2 tag=1", {400}},
  };
  TempFolder folder;
  const LameStub stub;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    const auto path = folder / "stub.mp3";
    const auto signal = sine(c.channels, c.frames, c.rate);
    MP3Writer writer(path, stub.library(), c.rate, c.channels, c.kbps);
    EXPECT_EQ(stub.settings(), c.settings);
    writer.consume(viewsOf(signal));
    writer.finish();
    EXPECT_EQ(stub.encodedSlices(), c.slices);
    for (size_t i = 0; i < c.slices.size(); ++i) EXPECT_EQ(stub.sameChannels(int(i)), c.channels == 1);

    // Encoded bytes, then the flush; the tag frame is written over the start.
    size_t encoded = 0;
    for (int n : c.slices) encoded += size_t(n / 4);
    const auto bytes = fileBytes(path);
    ASSERT_EQ(bytes.size(), std::max<size_t>(encoded + 10, 8));
    EXPECT_EQ(textAt(bytes, 0, 8), "STUBTAG!");
    EXPECT_EQ(textAt(bytes, bytes.size() - 10, 10), std::string(10, 'F'));
  }
}

TEST(MP3WriterTest, RejectedSettingsAndUncreatableFilesFail) {
  TempFolder folder;
  const LameStub stub;
  try {
    MP3Writer writer(folder / "rejected.mp3", stub.library(), 44100, 2, 999);
    FAIL() << "expected a failure";
  } catch (const QuarError& error) {
    EXPECT_EQ(error, QuarError::encodeFailed("LAME rejected 999 kbps at 44100 Hz \u00D7 2 (error -1)"));
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "rejected.mp3"));

  try {
    MP3Writer writer(folder / "missing" / "song.mp3", stub.library(), 44100, 2, 128);
    FAIL() << "expected a failure";
  } catch (const QuarError& error) {
    EXPECT_EQ(error, QuarError::encodeFailed("can\u2019t create song.mp3"));
  }
}

TEST(MP3WriterTest, AFinishedOrAbortedWriterIsClosed) {
  TempFolder folder;
  const LameStub stub;
  const auto signal = sine(2, 100, 44100);
  for (const bool finished : {true, false}) {
    MP3Writer writer(folder / "closed.mp3", stub.library(), 44100, 2, 128);
    writer.consume(viewsOf(signal));
    if (finished) writer.finish();
    else writer.abort();
    try {
      writer.consume(viewsOf(signal));
      FAIL() << "expected a failure";
    } catch (const QuarError& error) {
      EXPECT_EQ(error, QuarError::encodeFailed("the encoder is closed"));
    }
    const auto size = std::filesystem::file_size(folder / "closed.mp3");
    writer.finish();  // does nothing
    EXPECT_EQ(std::filesystem::file_size(folder / "closed.mp3"), size);
  }
}

TEST(MP3WriterTest, LameFilesCarryTheInfoTagAndDecodeToTheirExactLength) {
  const LameLibrary* lame = LameLibrary::shared();
  ASSERT_NE(lame, nullptr);
  struct Case {
    const char* name;
    int channels;
    double rate;
    int kbps;
    int64_t frames;
    size_t infoOffset;  // after the frame header and side information
  };
  const Case cases[] = {
      {"stereo.mp3", 2, 44100, 128, 50000, 36},
      {"mono.mp3", 1, 48000, 96, 12345, 21},
      {"short.mp3", 2, 32000, 320, 1000, 36},
  };
  TempFolder folder;
  std::vector<std::filesystem::path> files;
  std::vector<std::vector<std::vector<float>>> signals;
  for (const Case& c : cases) {
    files.push_back(folder / c.name);
    signals.push_back(sine(c.channels, c.frames, c.rate));
    MP3Writer writer(files.back(), *lame, c.rate, c.channels, c.kbps);
    for (size_t first = 0; first < size_t(c.frames); first += 7000) writer.consume(viewsOf(signals.back(), first, 7000));
    writer.finish();
  }
  const auto decoded = testing::decodeFiles<float>(files, "f32le");
  for (size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    SCOPED_TRACE(c.name);
    const auto bytes = fileBytes(files[k]);
    EXPECT_EQ(textAt(bytes, c.infoOffset, 4), "Info");
    EXPECT_EQ(textAt(bytes, c.infoOffset + 120, 4), "LAME");
    auto stream = testing::probeStream(files[k]);
    EXPECT_EQ(stream["codec_name"], "mp3");
    EXPECT_EQ(stream["channels"], std::to_string(c.channels));
    EXPECT_EQ(stream["sample_rate"], std::to_string(int(c.rate)));
    EXPECT_EQ(stream["bit_rate"], std::to_string(c.kbps * 1000));

    // Gapless: exactly the frames written, in time with the input.
    ASSERT_EQ(decoded[k].size(), size_t(c.frames * c.channels));
    double error = 0, power = 0;
    for (size_t i = 0; i < decoded[k].size(); ++i) {
      const float input = signals[k][i % size_t(c.channels)][i / size_t(c.channels)];
      error += std::pow(decoded[k][i] - input, 2);
      power += std::pow(input, 2);
    }
    EXPECT_LT(error, 0.01 * power);
  }
}

// Samples beyond full scale are encoded at full scale and counted; NaN, encoded as silence, is
// not a clipped sample.
TEST(MP3WriterTest, NonFiniteAndHugeSamplesAreClippedAndCountedInsteadOfStoppingTheEncoder) {
  const LameLibrary* lame = LameLibrary::shared();
  ASSERT_NE(lame, nullptr);
  TempFolder folder;
  const std::vector<std::filesystem::path> files{folder / "mono.mp3", folder / "stereo.mp3"};
  std::vector<std::vector<std::vector<float>>> signals;
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), 1e30f, -3e38f};
  for (int channels = 1; channels <= 2; ++channels) {
    auto signal = sine(channels, 20000, 44100);
    const auto clean = signal;
    for (size_t i = 0; i < 500; ++i) signal[size_t(channels - 1)][5000 + i] = specials[i % std::size(specials)];
    signal[0][15000] = 1.0f;  // full scale itself is not clipped
    signal[0][15001] = -1.0f;
    signal[0][15002] = 1.0001f;
    signal[0][50] = -1.5f;  // a slice after another: counts add up
    MP3Writer writer(files[size_t(channels - 1)], *lame, 44100, channels, 128);
    writer.consume(viewsOf(signal, 0, 10000));
    writer.consume(viewsOf(signal, 10000, 10000));
    writer.finish();
    EXPECT_EQ(writer.clippedSamples(), 400 + 2);
    EXPECT_EQ(signal[size_t(channels - 1)][5000 + 3], 1e30f) << "the caller's samples stay as they are";
    signals.push_back(clean);
  }
  const auto decoded = testing::decodeFiles<float>(files, "f32le");
  for (size_t k = 0; k < 2; ++k) {
    ASSERT_EQ(decoded[k].size(), 20000 * (k + 1));
    // Away from the damaged stretch the audio is intact.
    double error = 0;
    for (size_t i = 10000 * (k + 1); i < decoded[k].size(); ++i) error += std::abs(decoded[k][i] - signals[k][i % (k + 1)][i / (k + 1)]);
    EXPECT_LT(error / double(decoded[k].size() / 2), 0.02);
    for (float x : decoded[k]) ASSERT_TRUE(std::isfinite(x));
  }
}

} // namespace
} // namespace quar
