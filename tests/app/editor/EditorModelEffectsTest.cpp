#include <cmath>
#include <functional>
#include <limits>

#include "EditorModelFixture.h"
#include "base/QuarError.h"
#include "effects/EffectsRack.h"

using quar::AudioContent;
using quar::EffectKind;
using quar::FrameRange;
using namespace EditorModelFixtureSupport;

namespace {

Marker marker(int64_t frame) { return Marker{quar::Uuid::random(), frame, QStringLiteral("M")}; }

std::vector<int64_t> framesOf(const std::vector<Marker>& markers) {
  std::vector<int64_t> frames;
  for (const Marker& m : markers) frames.push_back(m.frame);
  return frames;
}

std::string messageOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const quar::QuarError& e) {
    return e.message();
  } catch (...) {
    return "?";
  }
}

} // namespace

class EditorModelEffectsTest : public EditorModelFixture {};

TEST_F(EditorModelEffectsTest, ApplyingTheRackRendersEnvelopesThenEffectsAsOneStep) {
  const AudioContent original = tone(48000, {0.5f, 0.5f});
  auto model = makeModel(original);
  model->rack().add(quar::defaultSettings(EffectKind::eq));
  model->rack().add(quar::defaultSettings(EffectKind::delay));
  model->rack().add(quar::defaultSettings(EffectKind::reverb));
  std::vector<EffectSlot> slots = model->rack().slots();
  slots[1].isEnabled = false;
  model->rack().setSlots(slots);
  model->rack().setTailMode(quar::EffectTailMode::truncate);
  model->setSelection(FrameRange(12000, 24000), std::set<int>{0});
  quar::EnvelopeSet envelopes;
  envelopes.setTrim(1, 6, 2);
  model->setEnvelopes(envelopes);
  const Snapshot before(*model);

  model->applyEffects();
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->jobs().busy().has_value(); }, 5000));
  EXPECT_EQ(model->jobs().busy()->title, QStringLiteral("Apply Parametric EQ + Reverb"));
  EXPECT_FALSE(model->rack().previewEnabled());
  ASSERT_TRUE(waitUntilIdle(*model));

  const AudioContent& result = model->content();
  EXPECT_EQ(result.frameCount(), original.frameCount());
  const float up6 = static_cast<float>(std::pow(10.0, 6.0 / 20));
  for (int64_t f : {0, 15000, 40000}) EXPECT_EQ(result.sample(1, f), original.sample(1, f) * up6);  // trimmed only
  EXPECT_EQ(result.sample(0, 11999), original.sample(0, 11999));
  EXPECT_NE(samples(result.slice(FrameRange(12000, 24000)))[0], samples(original.slice(FrameRange(12000, 24000)))[0]);
  EXPECT_TRUE(model->envelopes().isEmpty());
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Apply Parametric EQ + Reverb"));

  model->undo();
  EXPECT_TRUE(Snapshot(*model) == before);
  EXPECT_EQ(AppTestSupport::beepCount(), 0);
}

TEST_F(EditorModelEffectsTest, ApplyingWithoutAnEnabledEffectOrWhileBusyBeeps) {
  auto model = makeModel(tone(4800, {0.5f, 0.5f}));
  model->applyEffects();  // empty rack
  model->rack().add(quar::defaultSettings(EffectKind::gate));
  std::vector<EffectSlot> slots = model->rack().slots();
  slots[0].isEnabled = false;
  model->rack().setSlots(slots);
  model->applyEffects();  // only a disabled slot
  EXPECT_EQ(model->rack().chainName(), QStringLiteral("Effects"));
  slots[0].isEnabled = true;
  model->rack().setSlots(slots);
  model->reverse();
  model->applyEffects();  // a job runs
  EXPECT_EQ(AppTestSupport::beepCount(), 3);
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Reverse"));
  EXPECT_TRUE(model->rack().previewEnabled());  // no chain was built
}

TEST_F(EditorModelEffectsTest, ADocumentChangedWhileTheChainIsBuiltIsNotRendered) {
  struct Case {
    const char* what;
    std::function<void(EditorModel&)> change;
    const char* undoTitle;
  };
  const Case cases[] = {
      {"content", [](EditorModel& m) { m.insertSilence(10); }, "Undo Insert Silence"},
      {"envelopes", [](EditorModel& m) { m.setEnvelopes(quar::EnvelopeSet{{}, {}, {3, 3}}); }, "Undo"},
      {"a job", [](EditorModel& m) { m.reverse(); }, "Undo Reverse"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    AppTestSupport::beepCount() = 0;
    undo.removeAllActions();
    auto model = makeModel(tone(4800, {0.5f, 0.5f}));
    model->rack().add(quar::defaultSettings(EffectKind::distortion));
    model->applyEffects();
    test.change(*model);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->rack().previewEnabled(); }, 5000));
    EXPECT_EQ(AppTestSupport::beepCount(), 1);
    ASSERT_TRUE(waitUntilIdle(*model));
    EXPECT_EQ(undo.undoMenuItemTitle(), QString::fromUtf8(test.undoTitle));
    EXPECT_EQ(model->envelopes().isEmpty(), std::string(test.what) != "envelopes");  // not cleared by an apply
  }
}

TEST_F(EditorModelEffectsTest, TimePitchResizesTheRangeAndMovesMarkersAndEnvelopes) {
  struct Case {
    double rate;
    int64_t newLength;
    std::vector<int64_t> markers;  // at 1000 (start), 1500 (inside), 2000 (end), 2500 (after)
    const char* title;
  };
  const Case cases[] = {
      {3, 333, {1000, 1166, 1333, 1833}, "Time & Pitch (300%, +0 ct)"},
      {0.6, 1667, {1000, 1833, 2667, 3167}, "Time & Pitch (60%, +0 ct)"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.title);
    auto model = makeModel(tone(3000, {0.5f}));
    model->setSelection(FrameRange(1000, 2000));
    model->setMarkers({marker(1000), marker(1500), marker(2000), marker(2500)});
    model->setEnvelopes(quar::EnvelopeSet{quar::GainEnvelope({quar::EnvelopePoint(2500, -6)}), {}, {}});
    const Snapshot before(*model);
    model->timePitch(test.rate, 0);
    ASSERT_TRUE(model->jobs().busy());
    EXPECT_EQ(model->jobs().busy()->title, QString::fromUtf8(test.title));
    ASSERT_TRUE(waitUntilIdle(*model));
    ASSERT_TRUE(presented.empty());
    const int64_t delta = test.newLength - 1000;
    EXPECT_EQ(model->content().frameCount(), 3000 + delta);
    EXPECT_EQ(model->selection(), FrameRange(1000, 1000 + test.newLength));
    EXPECT_EQ(framesOf(model->markers()), test.markers);
    EXPECT_EQ(model->markers()[1].id, before.markers[1].id);
    EXPECT_EQ(model->envelopes().master.points.at(0).frame, 2500 + delta);
    model->undo();
    EXPECT_TRUE(Snapshot(*model) == before);
  }
}

TEST_F(EditorModelEffectsTest, TimePitchWithoutASelectionOrWithNeutralOrUnsupportedSettings) {
  auto model = makeModel(tone(2000, {0.5f}));
  model->timePitch(1, 0);
  model->timePitch(0, 100);
  model->timePitch(-2, 0);
  EXPECT_FALSE(model->jobs().busy());
  EXPECT_EQ(AppTestSupport::beepCount(), 0);

  auto empty = makeModel(AudioContent(1, 48000));
  empty->timePitch(1.25, 0);
  ASSERT_TRUE(empty->jobs().busy());
  EXPECT_EQ(empty->jobs().busy()->title, QStringLiteral("Time & Pitch (125%, +0 ct)"));
  ASSERT_TRUE(waitUntilIdle(*empty));

  model->timePitch(1, 100);  // pitch only, the whole file
  ASSERT_TRUE(model->jobs().busy());
  EXPECT_EQ(model->jobs().busy()->title, QStringLiteral("Time & Pitch (100%, +100 ct)"));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().frameCount(), 2000);
  EXPECT_FALSE(model->selection());

  for (double rate : {10.0, std::numeric_limits<double>::quiet_NaN()}) {
    presented.clear();
    model->timePitch(rate, 0);
    ASSERT_TRUE(waitUntilIdle(*model));
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_NE(messageOf(presented[0]).find("Tempo rate"), std::string::npos);
  }
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Time & Pitch (100%, +100 ct)"));
}
