#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "dsp/effects/EffectSettings.h"

using namespace quar;

namespace {

EffectSettings decode(const std::string& text) { return Json::parse(text).get<EffectSettings>(); }

std::string decodeError(const std::string& text) {
  try {
    decode(text);
  } catch (const DecodingError& error) {
    return error.what();
  }
  return "decoded";
}

Json encoded(const EffectSettings& settings) { return settings; }

const char* const reverbFields =
    R"("preDelayMs":20,"decaySeconds":1.8,"size":0.6,"damping":0.5,"diffusion":0.8,"width":1,"lowCutHz":100,"mix":0.25)";
const char* const delayFields =
    R"("timeMs":375,"rightTimeRatio":1,"feedback":0.35,"mix":0.3,"pingPong":false,"lowCutHz":80,"highCutHz":8000)";

std::string reverbCase() { return std::string(R"({"reverb":{"_0":{)") + reverbFields + "}}}"; }

} // namespace

TEST(EffectSettingsJson, UnionShapeAndRecordMembers) {
  const Json json = encoded(ReverbSettings());
  EXPECT_EQ(json, Json::parse(reverbCase()));

  struct Case {
    EffectKind kind;
    std::vector<std::string> members;
  };
  const Case cases[] = {
      {EffectKind::eq, {"bands", "outputGainDB"}},
      {EffectKind::compressor,
       {"thresholdDB", "ratio", "kneeDB", "attackMs", "releaseMs", "makeupGainDB", "autoMakeup", "detection",
        "stereoLink", "mix"}},
      {EffectKind::gate, {"thresholdDB", "rangeDB", "attackMs", "holdMs", "releaseMs", "hysteresisDB", "stereoLink"}},
      {EffectKind::distortion, {"mode", "driveDB", "toneHz", "outputDB", "mix", "bits", "downsample"}},
      {EffectKind::delay, {"timeMs", "rightTimeRatio", "feedback", "mix", "pingPong", "lowCutHz", "highCutHz"}},
      {EffectKind::reverb,
       {"preDelayMs", "decaySeconds", "size", "damping", "diffusion", "width", "lowCutHz", "mix"}},
      {EffectKind::chorus,
       {"mode", "rateHz", "depth", "delayMs", "feedback", "voices", "stereoSpread", "mix"}},
      {EffectKind::noiseReduction, {"reductionDB", "sensitivityDB", "smoothing", "outputNoiseOnly"}},
  };
  for (const auto& c : cases) {
    const Json json = encoded(defaultSettings(c.kind));
    ASSERT_EQ(json.size(), 1u);
    const Json& wrapper = json.at(std::string(rawValue(c.kind)));
    ASSERT_EQ(wrapper.size(), 1u);
    const Json& record = wrapper.at("_0");
    std::vector<std::string> members;
    for (const auto& [key, value] : record.items()) members.push_back(key);
    std::sort(members.begin(), members.end());
    auto expected = c.members;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(members, expected) << rawValue(c.kind);
  }
}

TEST(EffectSettingsJson, ValueForms) {
  CompressorSettings compressor;
  compressor.detection = DetectionMode::rms;
  EXPECT_EQ(encoded(compressor)["compressor"]["_0"]["detection"], "rms");
  DistortionSettings distortion;
  distortion.mode = SaturationMode::bitcrush;
  EXPECT_EQ(encoded(distortion)["distortion"]["_0"]["mode"], "bitcrush");
  ChorusSettings chorus;
  chorus.mode = ModulationMode::flanger;
  const Json chorusJson = encoded(chorus)["chorus"]["_0"];
  EXPECT_EQ(chorusJson["mode"], "flanger");
  EXPECT_TRUE(chorusJson["voices"].is_number_integer());

  const EQSettings eq;
  const Json band = encoded(eq)["eq"]["_0"]["bands"][4];
  EXPECT_EQ(band["id"], eq.bands[4].id.uuidString());
  EXPECT_EQ(band["type"], "highShelf");
  EXPECT_EQ(band["slopeDBPerOctave"], 24);
  EXPECT_TRUE(band["slopeDBPerOctave"].is_number_integer());
  EXPECT_EQ(band["isEnabled"], true);

  EXPECT_EQ(Json(EffectKind::noiseReduction), "noiseReduction");
  EXPECT_EQ(Json(EQBandType::peak), "peak");
  EXPECT_EQ(Json::parse(R"("flanger")").get<ModulationMode>(), ModulationMode::flanger);

  // Floats are written with their own shortest text.
  NoiseReductionSettings noise;
  noise.profile = NoiseProfile{4, 44100, {0.1f, 1e-7f, std::numeric_limits<float>::max(), 0}};
  const std::string text = encoded(noise).dump();
  EXPECT_NE(text.find("[0.1,1e-07,3.4028235e+38,0.0]"), std::string::npos) << text;
  EXPECT_EQ(decode(text), EffectSettings(noise));
}

TEST(EffectSettingsJson, DefaultsRoundTripWithEquality) {
  for (EffectKind kind : allCases<EffectKind>()) {
    const EffectSettings original = defaultSettings(kind);
    const std::string text = encoded(original).dump();
    EXPECT_EQ(decode(text), original) << text;
  }

  // Every field non-default, band identities kept, a profile present.
  CompressorSettings compressor;
  compressor.ratio = 2.5;
  compressor.autoMakeup = true;
  compressor.detection = DetectionMode::rms;
  compressor.stereoLink = false;
  compressor.mix = -0.0;
  NoiseReductionSettings noise;
  noise.profile = NoiseProfile{2048, 48000, std::vector<float>(1025, 0.25f)};
  noise.outputNoiseOnly = true;
  EQSettings eq(std::vector<EQBand>{EQBand(EQBandType::notch, 60, -1.5, 8, 0, false)}, 3);
  for (const EffectSettings& original : {EffectSettings(compressor), EffectSettings(noise), EffectSettings(eq)})
    EXPECT_EQ(decode(encoded(original).dump()), original) << encoded(original).dump();
}

TEST(EffectSettingsJson, CaseMemberCountMustBeOne) {
  const std::string message = "Invalid number of keys found, expected one.";
  const std::string reverb = std::string(R"({"_0":{)") + reverbFields + "}}";
  EXPECT_EQ(decodeError(R"({"eq":{"_0":{"bands":[],"outputGainDB":0}},"reverb":)" + reverb + "}"), message);
  EXPECT_EQ(decodeError(R"({"Reverb":)" + reverb + "}"), message);
  EXPECT_EQ(decodeError("{}"), message);
  EXPECT_EQ(decode(R"({"comment":"mine","reverb":)" + reverb + "}"), EffectSettings(ReverbSettings()));
  // Other members beside "_0" are ignored; a missing "_0" is a missing key.
  EXPECT_EQ(decode(std::string(R"({"reverb":{"_1":3,"_0":{)") + reverbFields + "}}}"), EffectSettings(ReverbSettings()));
  EXPECT_EQ(decodeError(R"({"reverb":{"payload":{}}})"), R"(No value associated with key "_0".)");
  EXPECT_NE(decodeError(R"(["reverb"])"), "decoded");
  EXPECT_NE(decodeError(R"({"reverb":[]})"), "decoded");
}

// A failure names where the failing value sits: the union object itself for the case count,
// below the path the union was read at.
TEST(EffectSettingsJson, FailuresCarryTheirCodingPath) {
  const auto failure = [](const std::string& text, const std::string& at) -> DecodingError {
    try {
      decodeEffectSettings(Json::parse(text), at);
    } catch (const DecodingError& error) {
      return error;
    }
    return DecodingError("decoded");
  };
  const std::string twoCases = R"({"eq":{"_0":{"bands":[],"outputGainDB":0}},"reverb":{"_0":{}}})";
  for (const std::string at : {"", "reverb.Warm room"}) {
    const DecodingError error = failure(twoCases, at);
    EXPECT_STREQ(error.what(), "Invalid number of keys found, expected one.");
    EXPECT_EQ(error.codingPath(), at);
  }
  EXPECT_EQ(failure("{}", "gate.Tight").codingPath(), "gate.Tight");

  const std::string delay = std::string(delayFields);
  const DecodingError mistyped =
      failure(R"({"delay":{"_0":{"timeMs":"375",)" + delay.substr(delay.find("\"rightTimeRatio")) + "}}}", "delay.Slap");
  EXPECT_EQ(mistyped.codingPath(), "delay.Slap.delay._0.timeMs");
  EXPECT_NE(std::string(mistyped.what()).find("delay.Slap.delay._0.timeMs"), std::string::npos) << mistyped.what();
  EXPECT_EQ(decodeEffectSettings(Json::parse(R"({"reverb":{"_0":{)" + std::string(reverbFields) + "}}}"), "reverb.Hall"),
            EffectSettings(ReverbSettings()));
}

TEST(EffectSettingsJson, RecordMembersAreRequiredAndTyped) {
  const std::string delay = std::string(delayFields);
  auto delayCase = [](const std::string& fields) { return R"({"delay":{"_0":{)" + fields + "}}}"; };

  EXPECT_EQ(decode(delayCase(delay)), EffectSettings(DelaySettings()));
  EXPECT_EQ(decode(delayCase(delay + R"(,"colour":"blue")")), EffectSettings(DelaySettings()));

  std::string withoutPingPong = delay;
  withoutPingPong.erase(withoutPingPong.find(R"("pingPong":false,)"), 17);
  EXPECT_EQ(decodeError(delayCase(withoutPingPong)), R"(No value associated with key "pingPong".)");

  struct Case {
    std::string text;
    std::string fragment;  // expected in the message
  };
  const std::string chorus = R"({"chorus":{"_0":{"mode":"chorus","rateHz":0.8,"depth":0.5,"delayMs":15,"feedback":0,)"
                             R"("stereoSpread":0.5,"mix":0.5,"voices":)";
  const std::string band = R"({"eq":{"_0":{"outputGainDB":0,"bands":[{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F",)"
                           R"("isEnabled":true,"gainDB":0,"q":1,"slopeDBPerOctave":12,"frequency":1000,"type":)";
  const Case cases[] = {
      {chorus + "2.5}}}", "voices"},
      {chorus + "\"2\"}}}", "voices"},
      {delayCase(R"("timeMs":"375",)" + delay.substr(delay.find("\"rightTimeRatio"))), "timeMs"},
      {delayCase(std::string(delay).replace(delay.find("false"), 5, "0")), "pingPong"},
      {band + R"("Bell"}]}}})", "Bell"},
      {band + R"("peak","id":"not-a-uuid"}]}}})", "not-a-uuid"},
      {R"({"eq":{"_0":{"outputGainDB":0,"bands":{}}}})", "bands"},
      {R"({"noiseReduction":{"_0":{"reductionDB":18,"sensitivityDB":0,"smoothing":0.5,"outputNoiseOnly":false,)"
       R"("profile":{"fftSize":4,"sampleRate":48000,"binPower":[1,1e39,1]}}}})",
       "binPower[1]"},
      {R"({"noiseReduction":{"_0":{"reductionDB":18,"sensitivityDB":0,"smoothing":0.5,"outputNoiseOnly":false,)"
       R"("profile":{"fftSize":4.5,"sampleRate":48000,"binPower":[]}}}})",
       "fftSize"},
  };
  for (const auto& c : cases) {
    const std::string message = decodeError(c.text);
    EXPECT_NE(message, "decoded") << c.text;
    EXPECT_NE(message.find(c.fragment), std::string::npos) << message;
  }
}

TEST(EffectSettingsJson, DecodingTakesValuesAsStored) {
  const auto eq = std::get<EQSettings>(decode(R"({"eq":{"_0":{"bands":[],"outputGainDB":-99}}})"));
  EXPECT_TRUE(eq.bands.empty());
  EXPECT_EQ(eq.outputGainDB, -99);

  const std::string bandText = R"({"eq":{"_0":{"outputGainDB":0,"bands":[{"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f",)"
                               R"("isEnabled":false,"gainDB":60,"q":0,"slopeDBPerOctave":7,"frequency":1,"type":"peak"}]}}})";
  const auto decoded = std::get<EQSettings>(decode(bandText));
  ASSERT_EQ(decoded.bands.size(), 1u);
  EXPECT_EQ(decoded.bands[0].id.uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_EQ(decoded.bands[0].type, EQBandType::peak);
  EXPECT_EQ(decoded.bands[0].gainDB, 60);
  EXPECT_EQ(decoded.bands[0].slopeDBPerOctave, 7);
  EXPECT_EQ(encoded(decoded)["eq"]["_0"]["bands"][0]["id"], "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

  // Integer form is a valid Double; an integral Double is a valid Int.
  const auto compressor = std::get<CompressorSettings>(decode(
      R"({"compressor":{"_0":{"thresholdDB":-18,"ratio":4,"kneeDB":6,"attackMs":10,"releaseMs":120,)"
      R"("makeupGainDB":0,"autoMakeup":false,"detection":"peak","stereoLink":true,"mix":1}}})"));
  EXPECT_EQ(compressor.attackMs, 10.0);
  const std::string chorus = R"({"chorus":{"_0":{"mode":"flanger","rateHz":0.8,"depth":0.5,"delayMs":15,)"
                             R"("feedback":0,"stereoSpread":0.5,"mix":0.5,"voices":3.0}}})";
  EXPECT_EQ(std::get<ChorusSettings>(decode(chorus)).voices, 3);

  const std::string noise = R"({"noiseReduction":{"_0":{"reductionDB":99,"sensitivityDB":0,"smoothing":0.5,)"
                            R"("outputNoiseOnly":false,"profile":null}}})";
  const auto noiseSettings = std::get<NoiseReductionSettings>(decode(noise));
  EXPECT_FALSE(noiseSettings.profile);
  EXPECT_EQ(noiseSettings.reductionDB, 99);
  EXPECT_FALSE(encoded(noiseSettings)["noiseReduction"]["_0"].contains("profile"));
}

TEST(EffectSettingsJson, NonFiniteNumbersRefuseToEncode) {
  ReverbSettings reverb;
  reverb.mix = std::numeric_limits<double>::quiet_NaN();
  Json target = "untouched";
  EXPECT_THROW(to_json(target, EffectSettings(reverb)), EncodingError);
  EXPECT_EQ(target, "untouched");
  EXPECT_THROW(target = Json(EffectSettings(reverb)), EncodingError);
  EXPECT_EQ(target, "untouched");

  DelaySettings delay;
  delay.timeMs = -std::numeric_limits<double>::infinity();
  EXPECT_THROW(encoded(delay), EncodingError);

  NoiseReductionSettings noise;
  noise.profile = NoiseProfile{4, 48000, {1, std::numeric_limits<float>::infinity(), 1}};
  try {
    encoded(noise);
    ADD_FAILURE() << "encoded";
  } catch (const EncodingError& error) {
    EXPECT_NE(std::string(error.what()).find("noiseReduction._0.profile.binPower[1]"), std::string::npos)
        << error.what();
  }
}

TEST(EffectSettingsJson, FailedDecodeLeavesTargetUntouched) {
  EffectSettings target = GateSettings();
  const Json bad = Json::parse(R"({"gate":{"_0":{"thresholdDB":-40}}})");
  EXPECT_THROW(from_json(bad, target), DecodingError);
  EXPECT_EQ(target, EffectSettings(GateSettings()));
}
