#include <gtest/gtest.h>

#include "protocol/Coding.h"

namespace kestrune {
namespace {

using Kind = json::DecodingError::Kind;
using D = CLIResponseData;

CLIDeviceInfo fullDevice() {
  return {"uid-1", "Speakers", false, true, true, 75.5, false, 48000, "builtIn"};
}
CLIDeviceInfo minimalDevice() {
  return {"uid-2", "Mic", true, false, false, {}, {}, {}, {}};
}
CLIAppInfo fullApp() {
  return {"42", "Music", "com.example.music", 100, false, "uid-1", "Speakers", "Flat", -0.5};
}
CLIAppInfo minimalApp() {
  return {"7", "Game", {}, 200, true, {}, {}, {}, {}};
}

const std::string fullDeviceJSON =
    R"({"uid":"uid-1","name":"Speakers","isInput":false,"isOutput":true,"isDefault":true,)"
    R"("volume":75.5,"isMuted":false,"sampleRate":48000,"transportType":"builtIn"})";
const std::string minimalDeviceJSON =
    R"({"uid":"uid-2","name":"Mic","isInput":true,"isOutput":false,"isDefault":false})";
const std::string fullAppJSON =
    R"({"id":"42","name":"Music","bundleID":"com.example.music","volume":100,"isMuted":false,)"
    R"("deviceUID":"uid-1","deviceName":"Speakers","eqPreset":"Flat","balance":-0.5})";
const std::string minimalAppJSON = R"({"id":"7","name":"Game","volume":200,"isMuted":true})";

CLIResponse success(D::Case data) {
  return {true, CLIResponseData{std::move(data)}, {}, {}};
}

std::string withData(const std::string& caseName, const std::string& value) {
  return R"({"success":true,"data":{")" + caseName + R"(":{"_0":)" + value + "}}}";
}

// Built on demand: a table of plain pointers keeps the test quick to compile.
struct Example {
  CLIResponse (*make)();
  std::string (*json)();
};

// One response of every payload case, in declaration order, plus envelopes
// without a payload, with records' optional members present and absent.
std::vector<Example> examples() {
  static const Example all[] = {
      {[] { return success(D::Volume{42}); }, [] { return std::string(withData("volume", "42")); }},
      {[] { return success(D::Muted{true}); },
       [] { return std::string(withData("muted", "true")); }},
      {[] { return success(D::SilentMode{false}); },
       [] { return std::string(withData("silentMode", "false")); }},
      {[] { return success(D::Device{fullDevice()}); },
       [] { return std::string(withData("device", fullDeviceJSON)); }},
      {[] {
         return success(D::Devices{{fullDevice(), minimalDevice()}});
       },
       [] {
         return std::string(
             withData("devices", "[" + fullDeviceJSON + "," + minimalDeviceJSON + "]"));
       }},
      {[] {
         return success(D::Apps{{fullApp(), minimalApp()}});
       },
       [] {
         return std::string(withData("apps", "[" + fullAppJSON + "," + minimalAppJSON + "]"));
       }},
      {[] { return success(D::App{minimalApp()}); },
       [] { return std::string(withData("app", minimalAppJSON)); }},
      {[] {
         return success(D::Profiles{{{"p1", "Work", 3}, {"p2", "Home", 0}}});
       },
       [] {
         return std::string(withData(
             "profiles",
             R"([{"id":"p1","name":"Work","appCount":3},{"id":"p2","name":"Home","appCount":0}])"));
       }},
      {[] {
         return success(D::MediaInfo{{"Song", "Artist", "Album", "Player", true, 61.5, 240, 80}});
       },
       [] {
         return std::string(withData(
             "mediaInfo", R"({"title":"Song","artist":"Artist","album":"Album","player":"Player",)"
                          R"("isPlaying":true,"position":61.5,"duration":240,"volume":80})"));
       }},
      {[] {
         return success(D::MediaInfo{{{}, {}, {}, {}, false, {}, {}, {}}});
       },
       [] { return std::string(withData("mediaInfo", R"({"isPlaying":false})")); }},
      {[] {
         return success(D::Bluetooth{{{"Headphones", 80, true}, {"Speaker", {}, false}}});
       },
       [] {
         return std::string(
             withData("bluetooth", R"([{"name":"Headphones","batteryLevel":80,"isConnected":true},)"
                                   R"({"name":"Speaker","isConnected":false}])"));
       }},
      {[] {
         return success(
             D::Status{{"2.1", true, fullDevice(), minimalDevice(), 30, false, true, 4, true}});
       },
       [] {
         return std::string(
             withData("status", R"({"version":"2.1","isRunning":true,"outputDevice":)" +
                                    fullDeviceJSON + R"(,"inputDevice":)" + minimalDeviceJSON +
                                    R"(,"outputVolume":30,"isMuted":false,"isSilentMode":true,)"
                                    R"("activeAppCount":4,"cliInstalled":true})"));
       }},
      {[] {
         return success(D::Status{{"2.1", false, {}, {}, 0, true, false, 0, false}});
       },
       [] {
         return std::string(withData(
             "status", R"({"version":"2.1","isRunning":false,"outputVolume":0,"isMuted":true,)"
                       R"("isSilentMode":false,"activeAppCount":0,"cliInstalled":false})"));
       }},
      {[] {
         return success(D::Version{{"2.1", "210", "1.0.0"}});
       },
       [] {
         return std::string(
             withData("version", R"({"version":"2.1","build":"210","cliVersion":"1.0.0"})"));
       }},
      {[] {
         return success(D::Eq{{true, "Bass", {{60, 4.5}, {1000, -2}}}});
       },
       [] {
         return std::string(withData(
             "eq", R"({"isEnabled":true,"preset":"Bass","bands":[{"frequency":60,"gain":4.5},)"
                   R"({"frequency":1000,"gain":-2}]})"));
       }},
      {[] {
         return success(D::Eq{{false, {}, {}}});
       },
       [] { return std::string(withData("eq", R"({"isEnabled":false,"bands":[]})")); }},
      {[] { return success(D::Text{"caf\xC3\xA9 / ok"}); },
       [] { return std::string(withData("text", "\"caf\xC3\xA9 \\/ ok\"")); }},
      {[] { return success(D::Bool{true}); }, [] { return std::string(withData("bool", "true")); }},
      {[] {
         return success(D::EqPresets{{{"flat", false}, {"hd600", true}}});
       },
       [] {
         return std::string(withData("eqPresets", R"([{"name":"flat","isParametric":false},)"
                                                  R"({"name":"hd600","isParametric":true}])"));
       }},
      {[] {
         return CLIResponse{true, {}, {}, "Volume set"};
       },
       [] { return std::string(R"({"success":true,"message":"Volume set"})"); }},
      {[] {
         return CLIResponse{false, {}, "No such app", {}};
       },
       [] { return std::string(R"({"success":false,"error":"No such app"})"); }},
      {[] {
         return CLIResponse{true, {}, {}, {}};
       },
       [] { return std::string(R"({"success":true})"); }},
  };
  return {std::begin(all), std::end(all)};
}

TEST(CLIResponseCoding, EveryPayloadAndRecordRoundTripsToTheSameBytes) {
  std::vector<bool> casesSeen(std::variant_size_v<D::Case>);
  for (const Example& example : examples()) {
    const std::string json = example.json();
    SCOPED_TRACE(json);
    EXPECT_EQ(json, encodeCompact(example.make()));
    const CLIResponse decoded = decodeCLIResponse(json);
    EXPECT_EQ(json, encodeCompact(decoded));
    if (decoded.data) {
      casesSeen[decoded.data->value.index()] = true;
    }
  }
  EXPECT_EQ(std::vector<bool>(casesSeen.size(), true), casesSeen);
}

TEST(CLIResponseCoding, PrettyFormSortsKeys) {
  EXPECT_EQ(
      "{\n"
      "  \"data\" : {\n"
      "    \"volume\" : {\n"
      "      \"_0\" : 42\n"
      "    }\n"
      "  },\n"
      "  \"success\" : true\n"
      "}",
      encodePrettySorted(success(D::Volume{42})));
  EXPECT_EQ(
      "{\n"
      "  \"data\" : {\n"
      "    \"eq\" : {\n"
      "      \"_0\" : {\n"
      "        \"bands\" : [],\n"
      "        \"isEnabled\" : false\n"
      "      }\n"
      "    }\n"
      "  },\n"
      "  \"success\" : true\n"
      "}",
      encodePrettySorted(success(D::Eq{{false, {}, {}}})));
}

TEST(CLIResponseCoding, CaseNames) {
  EXPECT_EQ("silentMode", CLIResponseData{D::SilentMode{}}.caseName());
  EXPECT_EQ("mediaInfo", CLIResponseData{D::MediaInfo{}}.caseName());
  EXPECT_EQ("bool", CLIResponseData{D::Bool{}}.caseName());
}

TEST(CLIResponseCoding, NullAndMissingMembersAreAbsent) {
  const CLIResponse failure = decodeCLIResponse(
      R"({"success":false,"error":"Device not found","data":null,"message":null})");
  EXPECT_FALSE(failure.success);
  EXPECT_FALSE(failure.data);
  EXPECT_EQ("Device not found", failure.error);
  EXPECT_FALSE(failure.message);

  const CLIResponse device = decodeCLIResponse(withData(
      "device", R"({"uid":"u","name":"n","isInput":true,"isOutput":false,"isDefault":false,)"
                R"("volume":null,"sampleRate":44100,"extra":{"x":1}})"));
  const CLIDeviceInfo& info = std::get<D::Device>(device.data->value).value;
  EXPECT_FALSE(info.volume);
  EXPECT_EQ(44100.0, info.sampleRate);
  EXPECT_EQ(
      withData(
          "device",
          R"({"uid":"u","name":"n","isInput":true,"isOutput":false,"isDefault":false,"sampleRate":44100})"),
      encodeCompact(device));
}

json::DecodingError responseError(std::string_view text) {
  try {
    decodeCLIResponse(text);
  } catch (const json::DecodingError& error) {
    return error;
  }
  ADD_FAILURE() << "decoded: " << text;
  return json::DecodingError(Kind::dataCorrupted, {}, "none");
}

TEST(CLIResponseCoding, PayloadNeedsExactlyOneCaseName) {
  for (const char* text : {R"({"success":true,"data":{}})",
                           R"({"success":true,"data":{"volume":{"_0":1},"muted":{"_0":true}}})",
                           R"({"success":true,"data":{"Volume":{"_0":1}}})"}) {
    SCOPED_TRACE(text);
    const auto error = responseError(text);
    EXPECT_EQ(Kind::typeMismatch, error.kind());
    EXPECT_EQ("Invalid number of keys found, expected one.", error.debugDescription());
    EXPECT_EQ("Invalid number of keys found, expected one. at (root).data", error.description());
  }
  EXPECT_EQ("volume",
            decodeCLIResponse(R"({"success":true,"data":{"note":1,"volume":{"_0":1,"x":2}}})")
                .data->caseName());
}

TEST(CLIResponseCoding, MalformedResponsesFailWithWhereAndWhy) {
  EXPECT_EQ("No value for key \"success\" at (root)",
            responseError(R"({"data":{"volume":{"_0":1}}})").description());
  EXPECT_EQ("Expected to decode Bool but found a string at (root).success",
            responseError(R"({"success":"true"})").description());
  EXPECT_EQ("No value for key \"_0\" at (root).data.volume",
            responseError(R"({"success":true,"data":{"volume":{}}})").description());
  EXPECT_EQ("Expected to decode CLIResponseData but found a string at (root).data",
            responseError(R"({"success":true,"data":"volume"})").description());
  EXPECT_EQ("No value for key \"bands\" at (root).data.eq._0",
            responseError(withData("eq", R"({"isEnabled":true})")).description());
  EXPECT_EQ(
      "No value for key \"isDefault\" at (root).data.devices._0[1]",
      responseError(
          withData("devices", "[" + minimalDeviceJSON +
                                  R"(,{"uid":"u","name":"n","isInput":true,"isOutput":true}])"))
          .description());
  EXPECT_EQ("Expected to decode String but found a number at (root).data.devices._0[0].uid",
            responseError(withData("devices", R"([{"uid":1}])")).description());
  EXPECT_EQ("Expected to decode CLIDeviceInfo but found an array at (root).data.device._0",
            responseError(withData("device", "[]")).description());
  EXPECT_EQ("Expected to decode CLIResponse but found a number at (root)",
            responseError("42").description());
}

TEST(CLIResponseCoding, IntegersAndDoubles) {
  const auto count = [](const std::string& value) {
    return withData("profiles", R"([{"id":"p","name":"n","appCount":)" + value + "}]");
  };
  EXPECT_EQ(3, std::get<D::Profiles>(decodeCLIResponse(count("3")).data->value).value[0].appCount);
  const auto fraction = responseError(count("3.5"));
  EXPECT_EQ(Kind::dataCorrupted, fraction.kind());
  EXPECT_EQ("Parsed JSON number <3.5> does not fit in Int. at (root).data.profiles._0[0].appCount",
            fraction.description());
  EXPECT_EQ(Kind::dataCorrupted, responseError(count("9223372036854775808")).kind());
  EXPECT_EQ(Kind::typeMismatch, responseError(count("\"3\"")).kind());

  const CLIResponse whole = decodeCLIResponse(withData("volume", "42"));
  EXPECT_EQ(42.0, std::get<D::Volume>(whole.data->value).value);
  const CLIResponse exponent = decodeCLIResponse(withData("volume", "4.25E1"));
  EXPECT_EQ(42.5, std::get<D::Volume>(exponent.data->value).value);
}

TEST(CLIResponseCoding, NonFiniteNumbersAreRefusedWithTheirPath) {
  try {
    (void)encodePrettySorted(success(D::Volume{std::numeric_limits<double>::quiet_NaN()}));
    FAIL() << "expected an EncodingError";
  } catch (const json::EncodingError& error) {
    EXPECT_EQ("Unable to encode the number nan in JSON at (root).data.volume._0",
              error.description());
  }
}

TEST(CLIResponseCoding, LargeStringsAndDuplicatesSurviveDecoding) {
  const std::string big(100000, 'x');
  const CLIResponse text = decodeCLIResponse(withData("text", "\"" + big + "\""));
  EXPECT_EQ(big, std::get<D::Text>(text.data->value).value);
  // A repeated member: the last value is the one used.
  EXPECT_FALSE(decodeCLIResponse(R"({"success":true,"success":false})").success);
}

}  // namespace
}  // namespace kestrune
