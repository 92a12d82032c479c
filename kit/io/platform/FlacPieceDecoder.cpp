#include "io/platform/FlacPieceDecoder.h"

#include <FLAC/stream_decoder.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <memory>

#include "io/platform/AudioStatus.h"

namespace quar {

namespace {

// The state libFLAC's callbacks share for one piece.
struct Piece {
  int fd;
  int64_t fileBytes;
  int64_t position = 0;  // of the next byte read
  int64_t wanted;        // frames still to hand on
  const FlacPieceDecoder::Handler& onSamples;
  double& readSeconds;
  bool stopped = false;
  bool broken = false;  // a frame was missing
  int64_t next = -1;    // the sample number the next frame must start at; -1 before the first
  std::vector<const int32_t*> channels;
  // The header's total as libFLAC is to see it, and where it lies (-1: as the file has it).
  std::array<uint8_t, 8> totalField{};
  int64_t totalFieldOffset = -1;
};

// Replaces the header's total in the `count` bytes read from `offset` into `buffer`.
void showTotal(const Piece& piece, uint8_t* buffer, int64_t offset, int64_t count) {
  const int64_t from = std::max(offset, piece.totalFieldOffset);
  const int64_t to = std::min(offset + count, piece.totalFieldOffset + static_cast<int64_t>(piece.totalField.size()));
  for (int64_t i = from; i < to; ++i)
    buffer[i - offset] = piece.totalField[static_cast<size_t>(i - piece.totalFieldOffset)];
}

FLAC__StreamDecoderReadStatus readBytes(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes, void* data) {
  auto& piece = *static_cast<Piece*>(data);
  const auto began = std::chrono::steady_clock::now();
  ssize_t n;
  do n = ::pread(piece.fd, buffer, *bytes, piece.position);
  while (n < 0 && errno == EINTR);
  piece.readSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  if (n < 0) return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
  if (piece.totalFieldOffset >= 0) showTotal(piece, buffer, piece.position, n);
  *bytes = static_cast<size_t>(n);
  piece.position += n;
  return n == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderSeekStatus seekTo(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* data) {
  static_cast<Piece*>(data)->position = static_cast<int64_t>(offset);
  return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
}

FLAC__StreamDecoderTellStatus tell(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* data) {
  *offset = static_cast<FLAC__uint64>(static_cast<Piece*>(data)->position);
  return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus length(const FLAC__StreamDecoder*, FLAC__uint64* bytes, void* data) {
  *bytes = static_cast<FLAC__uint64>(static_cast<Piece*>(data)->fileBytes);
  return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool atEnd(const FLAC__StreamDecoder*, void* data) {
  const auto& piece = *static_cast<Piece*>(data);
  return piece.position >= piece.fileBytes;
}

FLAC__StreamDecoderWriteStatus write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                     const FLAC__int32* const buffer[], void* data) {
  auto& piece = *static_cast<Piece*>(data);
  // After the first frame (which the seek may have cut), frames must follow without a gap.
  const bool numbered = frame->header.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER;
  if (piece.next >= 0 && numbered && static_cast<int64_t>(frame->header.number.sample_number) != piece.next) {
    piece.broken = true;
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }
  if (numbered) piece.next = static_cast<int64_t>(frame->header.number.sample_number + frame->header.blocksize);
  const int64_t frames = std::min<int64_t>(frame->header.blocksize, piece.wanted);
  if (frames <= 0) return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  piece.channels.assign(buffer, buffer + frame->header.channels);
  piece.wanted -= frames;
  if (!piece.onSamples(piece.channels.data(), static_cast<int>(frame->header.channels), frames,
                       static_cast<int>(frame->header.bits_per_sample)))
    piece.stopped = true;
  return piece.stopped || piece.wanted == 0 ? FLAC__STREAM_DECODER_WRITE_STATUS_ABORT
                                            : FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

// Damaged frames are reported here (libFLAC would go on with silence or the next frame it
// finds): the whole-file decode fails on them, so the piece fails too. libFLAC reports nothing
// while it seeks.
void markBroken(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* data) {
  static_cast<Piece*>(data)->broken = true;
}

} // namespace

int32_t FlacPieceDecoder::decode(int fd, int64_t fileBytes, int64_t start, int64_t count,
                                 const std::optional<FlacStreamLength>& stream, const Handler& onSamples,
                                 double& readSeconds) {
  const std::unique_ptr<FLAC__StreamDecoder, void (*)(FLAC__StreamDecoder*)> decoder(FLAC__stream_decoder_new(),
                                                                                     &FLAC__stream_decoder_delete);
  if (!decoder) return AudioStatus::unsupportedFormat;
  Piece piece{fd, fileBytes, 0, count, onSamples, readSeconds, false, false, -1, {}, {}, -1};
  if (stream) {
    if (::pread(fd, piece.totalField.data(), piece.totalField.size(), stream->totalFieldOffset) !=
        static_cast<ssize_t>(piece.totalField.size()))
      return AudioStatus::malformedData;
    FlacStreamLength::writeTotal(piece.totalField.data(), stream->frames);
    piece.totalFieldOffset = stream->totalFieldOffset;
  }
  FLAC__StreamDecoder* d = decoder.get();
  if (FLAC__stream_decoder_init_stream(d, &readBytes, &seekTo, &tell, &length, &atEnd, &write, nullptr, &markBroken,
                                       &piece) != FLAC__STREAM_DECODER_INIT_STATUS_OK ||
      !FLAC__stream_decoder_process_until_end_of_metadata(d))
    return AudioStatus::malformedData;
  // The seek hands the frame holding `start` to `write`, from `start` on; it fails when the
  // audio ends before `start`.
  if (start > 0 && !FLAC__stream_decoder_seek_absolute(d, static_cast<FLAC__uint64>(start))) return AudioStatus::ok;
  while (piece.wanted > 0 && !piece.stopped) {
    if (!FLAC__stream_decoder_process_single(d)) break;
    if (FLAC__stream_decoder_get_state(d) == FLAC__STREAM_DECODER_END_OF_STREAM) break;
  }
  return piece.broken ? AudioStatus::malformedData : AudioStatus::ok;
}

} // namespace quar
