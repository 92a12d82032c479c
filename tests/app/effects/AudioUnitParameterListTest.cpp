// The parameter list of a hosted plug-in: which rows show, the control of each parameter kind,
// and what reaches the plug-in (the test bundle, mda plug-ins and fake units).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <limits>

#include "EditorTestSupport.h"
#include "au/support/TestUnits.h"
#include "effects/AudioUnitParameterList.h"
#include "effects/LinkButton.h"

using namespace EditorTestSupport;
using quar::AUParameterInfo;
using quar::PlatformParameter;
using quar::test::lv2Effect;
using quar::test::mdaPlugins;
using quar::test::testPlugins;
namespace flag = quar::parameterFlag;
namespace unit = quar::parameterUnit;

namespace {

constexpr uint32_t writable = flag::isReadable | flag::isWritable;

AUParameterInfo info(uint64_t address, const char* name, const char* symbol, bool isWritable = true) {
  AUParameterInfo p;
  p.address = address;
  p.name = name;
  p.identifier = p.keyPath = symbol;
  p.isWritable = isWritable;
  return p;
}

// `count` writable parameters "P1"... with symbols "p1"...
std::vector<AUParameterInfo> numbered(uint64_t count) {
  std::vector<AUParameterInfo> list;
  for (uint64_t i = 1; i <= count; ++i)
    list.push_back(info(i, ("P" + std::to_string(i)).c_str(), ("p" + std::to_string(i)).c_str()));
  return list;
}

std::vector<uint64_t> range(uint64_t first, uint64_t last) {
  std::vector<uint64_t> values;
  for (uint64_t i = first; i <= last; ++i) values.push_back(i);
  return values;
}

// A list over an effect, shown (which loads its rows).
struct Shown {
  std::shared_ptr<quar::AudioUnitEffect> effect;
  AudioUnitParameterList list;

  explicit Shown(std::shared_ptr<quar::AudioUnitEffect> e) : effect(std::move(e)), list(effect) {
    list.resize(360, 400);
    list.show();
    QCoreApplication::processEvents();
  }

  // The identifiers of the rows shown, top to bottom.
  std::vector<std::string> rows() {
    std::vector<std::pair<int, std::string>> found;
    for (QWidget* child : list.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (child->isVisibleTo(&list) && child->objectName() != "parameterFilter" && child->objectName() != "showAll" &&
          child->objectName() != "noParameters")
        found.emplace_back(child->y(), child->objectName().toStdString());
    std::ranges::sort(found);
    std::vector<std::string> names;
    for (const auto& entry : found) names.push_back(entry.second);
    return names;
  }
  QWidget* row(const char* symbol) { return list.findChild<QWidget*>(symbol, Qt::FindDirectChildrenOnly); }
  bool visible(const char* name) { return list.findChild<QWidget*>(name)->isVisibleTo(&list); }
  QString showAllTitle() { return list.findChild<LinkButton*>("showAll")->text(); }
  void filter(const char* text) {
    list.findChild<QLineEdit*>("parameterFilter")->setText(QString::fromUtf8(text));
    QCoreApplication::processEvents();
  }
};

// A fake plug-in of these parameters, mono in and out (one instance per channel); each has a
// subtype of its own.
class FakePlugIn {
public:
  explicit FakePlugIn(std::vector<PlatformParameter> parameters)
      : component_(quar::PlatformComponent{{quar::componentType::effect, quar::fourCharCode("pl35") + nextSubtype()++,
                                             quar::fourCharCode("qtst"), 0, 0},
                                            "Fake Parameters", "Fake Maker", 1},
                   configWith(std::move(parameters))) {}

  std::shared_ptr<quar::AudioUnitEffect> effect() const {
    return quar::AudioUnitEffect::instantiate(quar::test::descriptorOf(component_.component));
  }

private:
  static uint32_t& nextSubtype() {
    static uint32_t next = 0;
    return next;
  }
  static quar::test::FakeUnitConfig configWith(std::vector<PlatformParameter> parameters) {
    quar::test::FakeUnitConfig unitConfig;
    unitConfig.inputChannels = unitConfig.outputChannels = {1};
    unitConfig.parameters = std::move(parameters);
    return unitConfig;
  }

  quar::test::FakeComponent component_;
};

PlatformParameter parameter(uint64_t address, const char* symbol, float min, float max, float value,
                            uint32_t flags = writable, uint32_t kind = unit::generic) {
  PlatformParameter p;
  p.address = address;
  p.identifier = p.keyPath = p.displayName = symbol;
  p.minValue = min;
  p.maxValue = max;
  p.value = value;
  p.flags = flags;
  p.unit = kind;
  return p;
}

// Every value the plug-in's instances receive, main unit first.
std::vector<float> values(const quar::AudioUnitEffect& effect, uint64_t address) {
  std::vector<float> result{*effect.parameterValue(address)};
  for (const auto& clone : effect.cloneUnits()) result.push_back(clone->parameterTree()->parameter(address)->value);
  return result;
}

} // namespace

TEST(AudioUnitParameterList, VisibleRowsFollowWritabilityFilterAndShowAll) {
  std::vector<AUParameterInfo> withReadOnly = numbered(12);
  withReadOnly.insert(withReadOnly.begin() + 3, info(99, "Meter", "meter", false));
  std::vector<AUParameterInfo> named = numbered(14);
  named[4].name = "Low Comp";
  named[9].keyPath = "m_comp";
  struct Case {
    const char* name;
    std::vector<AUParameterInfo> parameters;
    const char* filter;
    bool showAll;
    std::vector<uint64_t> shown;
  };
  const Case cases[] = {
      {"twelve", numbered(12), "", false, range(1, 12)},
      {"thirteen", numbered(13), "", false, range(1, 12)},
      {"thirteen, all", numbered(13), "", true, range(1, 13)},
      {"read-only never", withReadOnly, "", false, range(1, 12)},
      {"filter by name or symbol", named, "COMP", false, {5, 10}},
      {"a filter shows more than 12", numbered(14), "p", false, range(1, 14)},
      {"no match", numbered(14), "zz", true, {}},
      {"none", {}, "", false, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AudioUnitParameterList::visible(c.parameters, QString::fromUtf8(c.filter), c.showAll), c.shown) << c.name;
  EXPECT_EQ(AudioUnitParameterList::showAllTitle(false, 13), "Show all 13 parameters");
  EXPECT_EQ(AudioUnitParameterList::showAllTitle(true, 13), "Show fewer");
}

// The test plug-in's four parameters: a dB slider, a logarithmic frequency slider, a menu for
// its enumeration and a check box for its toggle; the latency output is not a parameter.
TEST(AudioUnitParameterList, EachParameterKindGetsItsControl) {
  Shown shown(lv2Effect(testPlugins + "mono-gain"));
  EXPECT_EQ(shown.rows(), (std::vector<std::string>{"gain", "frequency", "mode", "bypass"}));
  EXPECT_FALSE(shown.visible("parameterFilter"));
  EXPECT_FALSE(shown.visible("showAll"));
  EXPECT_FALSE(shown.visible("noParameters"));

  auto* gain = shown.row("gain")->findChild<ParamSlider*>();
  EXPECT_EQ(gain->label(), "Gain");
  EXPECT_EQ(gain->range(), (ParamSlider::Range{-60, 24}));
  EXPECT_EQ(gain->unit(), "dB");
  EXPECT_EQ(gain->format(), "%.2f");
  EXPECT_EQ(gain->scale(), ParamSlider::Scale::linear);
  EXPECT_EQ(gain->defaultValue(), std::nullopt);
  auto* frequency = shown.row("frequency")->findChild<ParamSlider*>();
  EXPECT_EQ(frequency->scale(), ParamSlider::Scale::log);
  EXPECT_EQ(frequency->format(), "%.0f");
  EXPECT_EQ(text(*frequency), "1000");
  auto* mode = shown.row("mode")->findChild<QComboBox*>();
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(mode->count(), 3);
  EXPECT_EQ(mode->itemText(2), "Hard");
  EXPECT_EQ(mode->currentText(), "Soft");
  auto* bypass = shown.row("bypass")->findChild<QCheckBox*>();
  ASSERT_NE(bypass, nullptr);
  EXPECT_EQ(bypass->text(), "Bypass");
  EXPECT_FALSE(bypass->isChecked());

  // An enumeration whose labels do not cover its range ([1, 3] of [0, 3]) is a plain slider.
  Shown stereo(lv2Effect(testPlugins + "stereo-gain"));
  auto* colour = stereo.row("colour")->findChild<ParamSlider*>();
  ASSERT_NE(colour, nullptr);
  EXPECT_EQ(colour->range(), (ParamSlider::Range{0, 3}));
  EXPECT_EQ(text(*colour), "1.00");
}

TEST(AudioUnitParameterList, APlugInWithoutParametersSaysSo) {
  Shown shown(lv2Effect(testPlugins + "splitter"));
  EXPECT_TRUE(shown.rows().empty());
  EXPECT_TRUE(shown.visible("noParameters"));
  EXPECT_EQ(shown.list.findChild<QLabel*>("noParameters")->text(), "This plug-in exposes no parameters.");

  // Read-only parameters count as parameters: no rows and no note.
  FakePlugIn readOnly({parameter(0, "level", 0, 1, 0.5f, flag::isReadable), parameter(1, "peak", 0, 1, 0)});
  Shown meters(readOnly.effect());
  EXPECT_EQ(meters.rows(), std::vector<std::string>{"peak"});
  FakePlugIn allReadOnly({parameter(0, "level", 0, 1, 0.5f, flag::isReadable)});
  Shown none(allReadOnly.effect());
  EXPECT_TRUE(none.rows().empty());
  EXPECT_FALSE(none.visible("noParameters"));
}

// mda MultiBand has 13 parameters: 12 rows, the filter and "Show all 13 parameters"; a filter
// matches names and symbols in any case and hides the button.
TEST(AudioUnitParameterList, ALongListCollapsesAndFilters) {
  Shown shown(lv2Effect(mdaPlugins + "MultiBand"));
  EXPECT_EQ(shown.rows().size(), 12u);
  EXPECT_TRUE(shown.visible("parameterFilter"));
  EXPECT_EQ(shown.list.findChild<QLineEdit*>("parameterFilter")->placeholderText(), "Filter parameters");
  EXPECT_EQ(shown.showAllTitle(), "Show all 13 parameters");
  shown.list.findChild<LinkButton*>("showAll")->click();
  EXPECT_EQ(shown.rows().size(), 13u);
  EXPECT_EQ(shown.showAllTitle(), "Show fewer");
  shown.list.findChild<LinkButton*>("showAll")->click();
  EXPECT_EQ(shown.rows().size(), 12u);

  shown.filter("COMP");
  EXPECT_EQ(shown.rows(), (std::vector<std::string>{"l_comp", "m_comp", "h_comp"}));
  EXPECT_FALSE(shown.visible("showAll"));
  shown.filter("h_o");
  EXPECT_EQ(shown.rows(), std::vector<std::string>{"h_out"});
  shown.filter("");
  EXPECT_EQ(shown.rows().size(), 12u);
  EXPECT_TRUE(shown.visible("showAll"));
}

// A list shown anew starts without a filter and collapsed, whatever it showed before.
TEST(AudioUnitParameterList, ShowingAgainStartsWithoutFilterCollapsed) {
  for (const char* filter : {"", "COMP"}) {
    Shown shown(lv2Effect(mdaPlugins + "MultiBand"));
    shown.list.findChild<LinkButton*>("showAll")->click();
    shown.filter(filter);
    shown.list.hide();
    shown.list.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.list.findChild<QLineEdit*>("parameterFilter")->text(), "") << filter;
    EXPECT_EQ(shown.rows().size(), 12u) << filter;
    EXPECT_EQ(shown.showAllTitle(), "Show all 13 parameters") << filter;
    EXPECT_TRUE(shown.visible("showAll")) << filter;
  }
}

// Showing the list writes nothing; every edit reaches the main instance and its clone.
TEST(AudioUnitParameterList, EditsReachEveryInstanceAndShowingWritesNothing) {
  const auto effect = lv2Effect(testPlugins + "mono-gain");
  effect->prepare(48000, 2, 256);
  ASSERT_EQ(effect->cloneUnits().size(), 1u);
  int writes = 0;
  quar::PlatformParameterTree* tree = effect->auAudioUnit()->parameterTree();
  const int64_t token = tree->addObserver([&](uint64_t, float) { ++writes; });
  {
    Shown shown(effect);
    shown.list.hide();
    shown.list.show();  // shown again: read again
    EXPECT_EQ(writes, 0);

    slide(*shown.row("gain")->findChild<ParamSlider*>(), ParamSlider::sliderSteps / 2);
    EXPECT_EQ(values(*effect, 0), (std::vector<float>{-18, -18}));
    auto* mode = shown.row("mode")->findChild<QComboBox*>();
    mode->setCurrentIndex(2);
    Q_EMIT mode->activated(2);
    EXPECT_EQ(values(*effect, 2), (std::vector<float>{2, 2}));
    shown.row("bypass")->findChild<QCheckBox*>()->click();
    EXPECT_EQ(values(*effect, 3), (std::vector<float>{1, 1}));
    EXPECT_EQ(writes, 3);

    showActive(shown.list);
    ParamSlider* frequency = shown.row("frequency")->findChild<ParamSlider*>();
    type(*frequency, "nan");
    type(*frequency, "inf");
    EXPECT_EQ(values(*effect, 1), (std::vector<float>{20000, 20000}));
    EXPECT_EQ(writes, 4);
  }
  tree->removeObserver(token);
}

// Rows of odd parameters: an enumeration's entries stand for the integer part of the minimum
// onwards; a toggle at 0.4 is off; a log flag over a range from 0 gives a linear slider; a range
// without finite ends never sends a value that is not finite.
TEST(AudioUnitParameterList, OddParametersNeverSendAnythingButFiniteValues) {
  PlatformParameter choice = parameter(0, "choice", 1.7f, 3, 1, writable, unit::indexed);
  choice.valueStrings = std::vector<std::string>{"A", "B", "C"};
  FakePlugIn plugIn({
      choice,
      parameter(1, "toggle", 0, 1, 0.4f, writable, unit::boolean),
      parameter(2, "fromZero", 0, 20000, 100, writable | flag::displayLogarithmic),
      parameter(3, "unbounded", -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(), 0),
      parameter(4, "empty", 2, 2, 2),
  });
  const auto effect = plugIn.effect();
  effect->prepare(48000, 2, 256);
  Shown shown(effect);
  EXPECT_EQ(shown.rows(), (std::vector<std::string>{"choice", "toggle", "fromZero", "unbounded"}));
  auto* menu = shown.row("choice")->findChild<QComboBox*>();
  EXPECT_EQ(menu->currentText(), "A");  // value 1 is the first entry
  menu->setCurrentIndex(1);
  Q_EMIT menu->activated(1);
  EXPECT_EQ(values(*effect, 0), (std::vector<float>{2, 2}));
  EXPECT_FALSE(shown.row("toggle")->findChild<QCheckBox*>()->isChecked());
  EXPECT_EQ(shown.row("fromZero")->findChild<ParamSlider*>()->scale(), ParamSlider::Scale::linear);

  ParamSlider* unbounded = shown.row("unbounded")->findChild<ParamSlider*>();
  for (const int step : {0, 1, ParamSlider::sliderSteps}) slide(*unbounded, step);
  showActive(shown.list);
  type(*unbounded, "5");
  EXPECT_EQ(values(*effect, 3), (std::vector<float>{5, 5}));
  type(*unbounded, "inf");
  EXPECT_EQ(values(*effect, 3), (std::vector<float>{5, 5}));
}

// Pictures of a short and a long list, for a person to look at.
TEST(AudioUnitParameterList, SavesPictures) {
  for (const std::string& uri : {testPlugins + "mono-gain", mdaPlugins + "MultiBand"}) {
    Shown shown(lv2Effect(uri));
    shown.list.resize(340, shown.list.sizeHint().height());
    savePicture(shown.list, QStringLiteral("parameter-list-") + QString::fromStdString(uri.substr(uri.rfind('/') + 1)));
  }
}
