#include <gtest/gtest.h>

#include <QStringList>

#include "RecordingTestSupport.h"
#include "recording/InputChoice.h"
#include "recording/InputDevice.h"

namespace {

QStringList titles(int channels) {
  QStringList list;
  for (const InputChoice& choice : InputChoice::choices(channels)) list << choice.title();
  return list;
}

} // namespace

TEST(InputChoiceTest, ADeviceOffersItsPairsThenEachChannelThenAll) {
  EXPECT_EQ(titles(4), (QStringList{QStringLiteral("Inputs 1\u20132 (stereo)"), QStringLiteral("Inputs 3\u20134 (stereo)"),
                                    QStringLiteral("Input 1 (mono)"), QStringLiteral("Input 2 (mono)"),
                                    QStringLiteral("Input 3 (mono)"), QStringLiteral("Input 4 (mono)"),
                                    QStringLiteral("All 4 inputs")}));
  EXPECT_EQ(InputChoice::choices(3), (std::vector<InputChoice>{{{0, 1}}, {{0}}, {{1}}, {{2}}, {{0, 1, 2}}}));
  EXPECT_EQ(InputChoice::choices(2), (std::vector<InputChoice>{{{0, 1}}, {{0}}, {{1}}}));
  EXPECT_EQ(InputChoice::choices(1), (std::vector<InputChoice>{{{0}}}));
  EXPECT_TRUE(InputChoice::choices(0).empty());
  EXPECT_TRUE(InputChoice::choices(-2).empty());
}

TEST(InputDeviceTest, ListsTheDevicesThatRecordWithFallbackNames) {
  RecordingTestSupport::FakeBackend backend(
      {{0, "alsa:out", "Speakers", 0, 2, 48000}, {1, "alsa:Interface", "Interface", 8, 2, 96000},
       {7, "", "", 1, 0, 0}, {9, "jack:Bus", "Bus", 2, 0, -5}},
      1);
  EXPECT_EQ(AudioDevices::inputDevices(backend),
            (std::vector<InputDevice>{{1, QStringLiteral("alsa:Interface"), QStringLiteral("Interface"), 8, 96000},
                                      {7, QStringLiteral("7"), QStringLiteral("Input 7"), 1, 0},
                                      {9, QStringLiteral("jack:Bus"), QStringLiteral("Bus"), 2, 0}}));
  RecordingTestSupport::FakeBackend none({}, std::nullopt);
  EXPECT_TRUE(AudioDevices::inputDevices(none).empty());
}
