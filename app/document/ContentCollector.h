// ContentCollector: gathers a decoder's blocks into AudioContent the way the kit's own decode
// does (AudioDecoder::decodeBlocks into an AudioContentAssembler): whole blocks of
// AudioBlock::preferredFrameCount frames, each decoded straight into its storage and summarised
// on the thread that decoded it, several at once for the formats the native reader reads
// concurrently. The format callback starts
// collecting for a usable stream (at least one channel, a positive finite rate); `finish` builds
// the content, and without a usable stream throws the decode error "no audio stream".
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "base/AudioFormats.h"
#include "core/AudioContent.h"
#include "core/AudioContentAssembler.h"
#include "io/DecodeHandlers.h"

class ContentCollector {
public:
  // A decoded file: its description and its audio.
  struct Decoded {
    quar::AudioFileInfo info;
    quar::AudioContent content;
  };
  // Decodes the whole file into content; `progress` may be empty, false from it cancels.
  // Throws what AudioDecoder::decodeBlocks throws, and "no audio stream".
  static Decoded decode(const std::filesystem::path& path, const quar::DecodeProgress& progress);

  // Starts again for the stream described by `format`; called before any block.
  void begin(const quar::AudioFileInfo& format);
  // Room for frames [start, start + frames) of `channels` channels; what it holds is dropped
  // before a usable format. May be called from several threads at once.
  std::unique_ptr<quar::BlockRoom> room(int channels, int64_t start, int64_t frames);
  quar::AudioContent finish();

private:
  std::optional<quar::AudioContentAssembler> assembler_;
};
