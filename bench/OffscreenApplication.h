// OffscreenApplication: the Qt application the editor's benchmarks draw in: the offscreen
// platform at a device-pixel ratio (1 or more), with the null audio device so no sound
// hardware is opened. One per process, on the main thread.
#pragma once

#include <QApplication>

namespace quar::bench {

class OffscreenApplication {
public:
  explicit OffscreenApplication(double devicePixelRatio);

private:
  QApplication application_;
};

} // namespace quar::bench
