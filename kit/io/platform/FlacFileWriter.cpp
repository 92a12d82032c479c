#include "io/platform/FlacFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <FLAC/stream_encoder.h>

#include "dsp/ParallelFor.h"

namespace quar {

namespace {

constexpr int64_t streamInfoOffset = 8;  // after "fLaC" and the block header
constexpr size_t streamInfoBytes = 34;

// Table-driven CRCs of FLAC frames: CRC-8 (polynomial 0x07) of the header, CRC-16 (0x8005) of
// the whole frame.
template <typename T, T polynomial>
constexpr std::array<T, 256> crcTable() {
  std::array<T, 256> table{};
  constexpr int shift = 8 * sizeof(T) - 8;
  for (unsigned i = 0; i < 256; ++i) {
    T crc = static_cast<T>(i << shift);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<T>((crc & (T{1} << (8 * sizeof(T) - 1))) ? (crc << 1) ^ polynomial : crc << 1);
    table[i] = crc;
  }
  return table;
}

constexpr auto crc8Table = crcTable<uint8_t, 0x07>();
constexpr auto crc16Table = crcTable<uint16_t, 0x8005>();

uint8_t crc8(const uint8_t* data, size_t count) {
  uint8_t crc = 0;
  for (size_t i = 0; i < count; ++i) crc = crc8Table[crc ^ data[i]];
  return crc;
}

uint16_t crc16(const uint8_t* data, size_t count) {
  uint16_t crc = 0;
  for (size_t i = 0; i < count; ++i) crc = static_cast<uint16_t>((crc << 8) ^ crc16Table[(crc >> 8) ^ data[i]]);
  return crc;
}

// FLAC's UTF-8-like coding of a frame number (up to 36 bits).
void appendCodedNumber(std::vector<uint8_t>& out, uint64_t value) {
  if (value < 0x80) {
    out.push_back(static_cast<uint8_t>(value));
    return;
  }
  int continuation = 1;
  while (continuation < 6 && value >= (uint64_t{1} << (6 * continuation + 6 - continuation))) ++continuation;
  out.push_back(static_cast<uint8_t>((0xFF00 >> (continuation + 1)) | (value >> (6 * continuation))));
  for (int i = continuation - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(0x80 | ((value >> (6 * i)) & 0x3F)));
}

// Appends the frame `frame` (header, subframes, CRC-16) with its number replaced by `number`.
void appendRenumbered(std::vector<uint8_t>& out, const uint8_t* frame, size_t bytes, uint64_t number) {
  // The coded number's length: one byte for 0xxxxxxx, else as many as the lead byte's leading ones.
  size_t coded = 1;
  if (frame[4] & 0x80)
    for (coded = 0; coded < 7 && (frame[4] & (0x80 >> coded)); ++coded) {}
  const unsigned sizeCode = frame[2] >> 4, rateCode = frame[2] & 0x0F;
  const size_t extras = (sizeCode == 6 ? 1 : sizeCode == 7 ? 2 : 0) + (rateCode == 12 ? 1 : rateCode == 13 || rateCode == 14 ? 2 : 0);
  const size_t oldHeader = 4 + coded + extras;  // without its CRC-8

  const size_t start = out.size();
  out.insert(out.end(), frame, frame + 4);
  appendCodedNumber(out, number);
  out.insert(out.end(), frame + 4 + coded, frame + oldHeader);
  out.push_back(crc8(out.data() + start, out.size() - start));
  out.insert(out.end(), frame + oldHeader + 1, frame + bytes - 2);
  const uint16_t crc = crc16(out.data() + start, out.size() - start);
  out.push_back(static_cast<uint8_t>(crc >> 8));
  out.push_back(static_cast<uint8_t>(crc));
}

// One piece encoder's frames, renumbered from `firstNumber` on.
struct PieceOutput {
  std::vector<uint8_t>* bytes = nullptr;
  std::vector<int64_t> frameSizes;
  uint32_t blockSize = 0;
  uint64_t firstNumber = 0;
};

FLAC__StreamEncoderWriteStatus collectFrame(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                            uint32_t samples, uint32_t currentFrame, void* context) {
  if (samples == 0) return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;  // metadata: written once for the stream
  auto& piece = *static_cast<PieceOutput*>(context);
  const size_t before = piece.bytes->size();
  appendRenumbered(*piece.bytes, buffer, bytes, piece.firstNumber + currentFrame);
  piece.frameSizes.push_back(static_cast<int64_t>(piece.bytes->size() - before));
  return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

using Encoder = std::unique_ptr<FLAC__StreamEncoder, void (*)(FLAC__StreamEncoder*)>;

Encoder makeEncoder(int channels, int bits, uint32_t sampleRate, int level) {
  Encoder encoder(FLAC__stream_encoder_new(), &FLAC__stream_encoder_delete);
  if (!encoder) return encoder;
  auto* e = encoder.get();
  if (!FLAC__stream_encoder_set_channels(e, static_cast<uint32_t>(channels)) ||
      !FLAC__stream_encoder_set_bits_per_sample(e, static_cast<uint32_t>(bits)) ||
      !FLAC__stream_encoder_set_sample_rate(e, sampleRate) ||
      !FLAC__stream_encoder_set_compression_level(e, static_cast<uint32_t>(level)))
    encoder.reset();
  return encoder;
}

void putBits(std::array<uint8_t, streamInfoBytes>& out, size_t& bit, uint64_t value, int count) {
  for (int i = count - 1; i >= 0; --i, ++bit)
    if ((value >> i) & 1) out[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
}

} // namespace

int32_t FlacFileWriter::create(const std::filesystem::path& path, const StreamDescription& format,
                               std::unique_ptr<NativeFileWriter>& file, int* systemError) {
  const int bits = format.formatFlags == 1 ? 16 : format.formatFlags == 3 ? 24 : 0;
  const double rate = format.sampleRate;
  if (format.formatID != AudioFormatID::flac || bits == 0 || format.channelsPerFrame > 8 || !(rate >= 1) ||
      rate > 655350 || rate != std::floor(rate))
    return AudioStatus::unsupportedFormat;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int error = errno;
    if (systemError) *systemError = error;
    return AudioStatus::fromErrno(error);
  }
  std::unique_ptr<FlacFileWriter> writer(new FlacFileWriter(format, fd, bits));
  // "fLaC", STREAMINFO (filled in on close) and the VORBIS_COMMENT block libFLAC writes: the
  // vendor string and no comments.
  const std::string vendor = FLAC__VENDOR_STRING;
  const auto little = [](std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  std::vector<uint8_t> header{'f', 'L', 'a', 'C', 0x00, 0x00, 0x00, static_cast<uint8_t>(streamInfoBytes)};
  header.resize(header.size() + streamInfoBytes, 0);
  const uint32_t commentBytes = static_cast<uint32_t>(8 + vendor.size());
  header.insert(header.end(), {0x84, static_cast<uint8_t>(commentBytes >> 16), static_cast<uint8_t>(commentBytes >> 8),
                               static_cast<uint8_t>(commentBytes)});
  little(header, static_cast<uint32_t>(vendor.size()));
  header.insert(header.end(), vendor.begin(), vendor.end());
  little(header, 0);
  if (const int32_t status = writer->writeAll(header, 0); status != AudioStatus::ok) {
    if (systemError) *systemError = writer->systemError();
    return status;
  }
  writer->fileBytes_ = static_cast<int64_t>(header.size());
  file = std::move(writer);
  return AudioStatus::ok;
}

FlacFileWriter::FlacFileWriter(const StreamDescription& format, int fd, int bits)
    : NativeFileWriter(format), fd_(fd), bits_(bits), pending_(format.channelsPerFrame) {}

FlacFileWriter::~FlacFileWriter() {
  if (worker_.joinable()) worker_.join();
  if (fd_ >= 0) ::close(fd_);
}

int32_t FlacFileWriter::setCodecQuality(uint32_t quality) {
  level_ = static_cast<int>(std::lround(std::min(quality, 127u) / 127.0 * 8));
  return AudioStatus::ok;
}

int32_t FlacFileWriter::writeAll(const std::vector<uint8_t>& bytes, int64_t offset) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, offset + static_cast<int64_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) return AudioStatus::writeFailed;
    if (n < 0) {
      systemError_ = errno;
      return AudioStatus::fromErrno(systemError_);
    }
    done += static_cast<size_t>(n);
  }
  return AudioStatus::ok;
}

int32_t FlacFileWriter::writeFrames(const Planar& samples) {
  if (fd_ < 0) return AudioStatus::writeFailed;
  if (status_ != AudioStatus::ok) return status_;
  const int shift = 32 - bits_;
  constexpr int64_t batchFrames = pieceFrames * piecesPerBatch;
  for (size_t c = 0; c < pending_.size(); ++c) {
    const std::vector<int32_t>& in = samples.ints[c];
    std::vector<int32_t>& out = pending_[c];
    const size_t start = out.size();
    out.reserve(static_cast<size_t>(std::max<int64_t>(batchFrames, static_cast<int64_t>(start) + samples.frames)));
    out.resize(start + static_cast<size_t>(samples.frames));
    for (int64_t i = 0; i < samples.frames; ++i) out[start + static_cast<size_t>(i)] = in[static_cast<size_t>(i)] >> shift;
  }
  while (static_cast<int64_t>(pending_.front().size()) >= batchFrames)
    if (const int32_t status = dispatch(batchFrames); status != AudioStatus::ok) return status_ = status;
  return AudioStatus::ok;
}

int32_t FlacFileWriter::dispatch(int64_t frames) {
  if (const int32_t status = collect(); status != AudioStatus::ok) return status;
  // The pending buffers become the batch's; the batch's earlier buffers, emptied, take the
  // frames beyond it, so memory is reused from batch to batch.
  Batch& batch = inFlight_;
  batch.samples.resize(pending_.size());
  std::swap(batch.samples, pending_);
  for (size_t c = 0; c < pending_.size(); ++c) {
    std::vector<int32_t>& kept = batch.samples[c];
    pending_[c].assign(kept.begin() + frames, kept.end());
    kept.resize(static_cast<size_t>(frames));
  }
  batch.frames = frames;
  batch.firstFrame = totalFrames_;
  batch.status = AudioStatus::ok;
  worker_ = std::thread([this] {
    try {
      encode(inFlight_);
    } catch (...) {  // out of memory: the batch fails rather than the process
      inFlight_.status = AudioStatus::writeFailed;
    }
  });
  return AudioStatus::ok;
}

void FlacFileWriter::encode(Batch& batch) {
  const auto channels = static_cast<int>(batch.samples.size());
  const int64_t pieces = (batch.frames + pieceFrames - 1) / pieceFrames;
  batch.encoded.resize(static_cast<size_t>(pieces));
  for (auto& piece : batch.encoded) piece.clear();
  std::vector<PieceOutput> outputs(static_cast<size_t>(pieces));
  const auto sampleRate = static_cast<uint32_t>(fileFormat_.sampleRate);
  std::vector<int32_t> statuses(static_cast<size_t>(pieces), AudioStatus::ok);
  // Task 0 feeds the digest, which needs the samples in order; the others encode one piece each.
  parallelFor(pieces + 1, true, [&](int64_t task) {
    if (task == 0) {
      const auto bytesPerSample = static_cast<size_t>(bits_ / 8);
      std::vector<uint8_t> bytes(4096 * static_cast<size_t>(channels) * bytesPerSample);
      for (int64_t start = 0; start < batch.frames; start += 4096) {
        const int64_t n = std::min<int64_t>(4096, batch.frames - start);
        uint8_t* out = bytes.data();
        for (int64_t i = start; i < start + n; ++i)
          for (const auto& channel : batch.samples) {
            const auto value = static_cast<uint32_t>(channel[static_cast<size_t>(i)]);
            for (size_t b = 0; b < bytesPerSample; ++b) *out++ = static_cast<uint8_t>(value >> (8 * b));
          }
        digest_.update(std::span<const uint8_t>(bytes.data(), static_cast<size_t>(out - bytes.data())));
      }
      return;
    }
    const auto piece = static_cast<size_t>(task - 1);
    const int64_t first = static_cast<int64_t>(piece) * pieceFrames;
    const int64_t frames = std::min(pieceFrames, batch.frames - first);
    const Encoder encoder = makeEncoder(channels, bits_, sampleRate, level_);
    PieceOutput& output = outputs[piece];
    output.bytes = &batch.encoded[piece];
    if (!encoder) {
      statuses[piece] = AudioStatus::writeFailed;
      return;
    }
    if (FLAC__stream_encoder_init_stream(encoder.get(), &collectFrame, nullptr, nullptr, nullptr, &output) !=
        FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
      statuses[piece] = AudioStatus::writeFailed;
      return;
    }
    // Frame numbers go on from the blocks before the piece: every piece but the stream's last
    // holds whole blocks. The level fixes the block size once the encoder is initialised.
    output.blockSize = FLAC__stream_encoder_get_blocksize(encoder.get());
    output.firstNumber = static_cast<uint64_t>((batch.firstFrame + first) / output.blockSize);
    std::vector<const FLAC__int32*> pointers;
    for (const auto& channel : batch.samples) pointers.push_back(channel.data() + first);
    if (!FLAC__stream_encoder_process(encoder.get(), pointers.data(), static_cast<uint32_t>(frames)) ||
        !FLAC__stream_encoder_finish(encoder.get()))
      statuses[piece] = AudioStatus::writeFailed;
  });
  batch.frameSizes.clear();
  for (size_t piece = 0; piece < outputs.size(); ++piece) {
    if (statuses[piece] != AudioStatus::ok) batch.status = statuses[piece];
    blockSize_ = outputs[piece].blockSize;
    batch.frameSizes.insert(batch.frameSizes.end(), outputs[piece].frameSizes.begin(), outputs[piece].frameSizes.end());
  }
}

int32_t FlacFileWriter::collect() {
  if (!worker_.joinable()) return AudioStatus::ok;
  worker_.join();
  Batch& batch = inFlight_;
  if (batch.status != AudioStatus::ok) return batch.status;
  for (const auto& piece : batch.encoded) {
    if (const int32_t status = writeAll(piece, fileBytes_); status != AudioStatus::ok) return status;
    fileBytes_ += static_cast<int64_t>(piece.size());
  }
  for (int64_t size : batch.frameSizes) {
    minFrameBytes_ = minFrameBytes_ == 0 ? size : std::min(minFrameBytes_, size);
    maxFrameBytes_ = std::max(maxFrameBytes_, size);
  }
  totalFrames_ += batch.frames;
  batch.frames = 0;
  return AudioStatus::ok;
}

int32_t FlacFileWriter::close() {
  if (fd_ < 0) return AudioStatus::ok;
  int32_t status = status_;
  if (status == AudioStatus::ok && !pending_.front().empty()) status = dispatch(static_cast<int64_t>(pending_.front().size()));
  if (const int32_t collected = collect(); status == AudioStatus::ok) status = collected;
  if (status == AudioStatus::ok) {
    std::array<uint8_t, streamInfoBytes> info{};
    size_t bit = 0;
    putBits(info, bit, blockSize_, 16);
    putBits(info, bit, blockSize_, 16);
    putBits(info, bit, static_cast<uint64_t>(minFrameBytes_), 24);
    putBits(info, bit, static_cast<uint64_t>(maxFrameBytes_), 24);
    putBits(info, bit, static_cast<uint64_t>(fileFormat_.sampleRate), 20);
    putBits(info, bit, pending_.size() - 1, 3);
    putBits(info, bit, static_cast<uint64_t>(bits_ - 1), 5);
    putBits(info, bit, static_cast<uint64_t>(totalFrames_), 36);
    const Md5::Digest md5 = digest_.finish();
    std::copy(md5.begin(), md5.end(), info.begin() + 18);
    status = writeAll(std::vector<uint8_t>(info.begin(), info.end()), streamInfoOffset);
  }
  if (::close(fd_) != 0 && status == AudioStatus::ok) {
    systemError_ = errno;
    status = AudioStatus::fromErrno(systemError_);
  }
  fd_ = -1;
  return status;
}

} // namespace quar
