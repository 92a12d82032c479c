// quar-bench: times the kit's operations on audio files, alone or next to sox and ffmpeg, and
// the editor's opening of files, analyses after edits, waveform drawing and inspector.
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "Compare.h"
#include "DocumentBench.h"
#include "InspectorBench.h"
#include "TimelineBench.h"
#include "core/BlockStore.h"

namespace {

constexpr const char* usage =
    "usage: quar-bench [--heap] COMMAND ...\n"
    "  (--heap: audio blocks on the heap instead of the block store)\n"
    "  decode IN [--raw OUT.f32]\n"
    "  export IN OUT --format F [--bit-depth 16|24|32|0] [--bitrate K] [--rate R] [--dither none|tpdf]\n"
    "  loudness IN\n"
    "  normalize IN OUT --target LUFS --ceiling DBTP\n"
    "  resample IN OUT --rate R\n"
    "  effect IN OUT --settings JSON\n"
    "  stretch IN OUT --rate X [--cents C]\n"
    "  tempo IN\n"
    "  stats IN\n"
    "  splice IN\n"
    "  process gain|reverse|silence|fade-in|fade-out|normalize IN\n"
    "  timeline [--minutes M] [--width W] [--height H] [--ratio R] [--runs N]\n"
    "  inspector [--minutes M] [--fft N] [--updates U] [--runs N]\n"
    "  open IN\n"
    "  edits IN\n"
    "  undo-depth IN [--edits N]\n"
    "  compare [--minutes M]\n";

} // namespace

int main(int argc, char** argv) {
  using namespace quar::bench;
  const std::map<std::string, std::function<quar::Json(const Words&)>> commands{
      {"decode", decodeCommand},     {"export", exportCommand},     {"loudness", loudnessCommand},
      {"normalize", normalizeCommand}, {"resample", resampleCommand}, {"effect", effectCommand},
      {"stretch", stretchCommand},   {"tempo", tempoCommand},       {"stats", statsCommand},
      {"splice", spliceCommand},     {"process", processCommand},   {"timeline", timelineCommand},
      {"inspector", inspectorCommand}, {"open", openCommand},     {"edits", editsCommand},
      {"undo-depth", undoDepthCommand}};
  int first = 1;
  if (argc > 1 && std::string(argv[1]) == "--heap") {
    quar::BlockStore::replaceCurrent(nullptr);
    ++first;
  }
  if (argc <= first) {
    std::cerr << usage;
    return 2;
  }
  const std::string name = argv[first];
  const Words words(argv + first + 1, argv + argc);
  try {
    if (name == "compare") return compareCommand(words);
    const auto command = commands.find(name);
    if (command == commands.end()) throw UsageError("unknown command “" + name + "”");
    std::cout << command->second(words).dump() << std::endl;
    return 0;
  } catch (const UsageError& error) {
    std::cerr << "quar-bench: " << error.what() << " (run quar-bench without arguments for usage)\n";
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "quar-bench " << name << ": " << error.what() << "\n";
    return 1;
  }
}
