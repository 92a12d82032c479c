#include <gtest/gtest.h>

#include <functional>

#include "AppTestSupport.h"
#include "editor/LoudnessSettings.h"

class LoudnessSettingsTest : public AppTest {};

// The owner recomputes the preview gain after every assignment of what it depends on, also of an
// unchanged value, and after no other.
TEST_F(LoudnessSettingsTest, ThePreviewGainInputsRunTheHookOnEveryAssignment) {
  int runs = 0;
  LoudnessSettings settings([&] { ++runs; });
  struct Case {
    const char* name;
    std::function<void()> assign;
    int runs;
  };
  for (const Case& c : {Case{"target", [&] { settings.setTargetLUFS(settings.targetLUFS()); }, 1},
                        Case{"manual gain", [&] { settings.setManualGainDB(2); }, 1},
                        Case{"same manual gain", [&] { settings.setManualGainDB(2); }, 1},
                        Case{"preview", [&] { settings.setPreviewLoudness(false); }, 1},
                        Case{"ceiling", [&] { settings.setCeilingDBTP(-2); }, 0},
                        Case{"limit", [&] { settings.setLimitTruePeaks(false); }, 0},
                        Case{"scope", [&] { settings.setAnalysisScope(AnalysisScope::selection); }, 0},
                        Case{"mode", [&] { settings.setAdjustMode(LoudnessAdjustMode::manual); }, 0},
                        Case{"link", [&] { settings.setLinkChannelLevels(true); }, 0}}) {
    runs = 0;
    c.assign();
    EXPECT_EQ(runs, c.runs) << c.name;
  }
}
