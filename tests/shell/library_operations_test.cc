#include <gtest/gtest.h>

#include "photo_library/file_url.h"
#include "support/channel_harness.h"
#include "support/scripted_library.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

using photo_library::AVURLAsset;
using photo_library::LibraryError;
using photo_library::MediaType;

struct Harnessed {
  std::shared_ptr<ScriptedLibrary> library = std::make_shared<ScriptedLibrary>();
  ChannelHarness harness{library};
};

TEST(VideoFingerprint, EveryRoadAnswersOnceWithItsLines) {
  TempDir dir;
  const auto content = patternBytes(300'000, 3);
  const auto video = dir.write("clip #1 100% été.mov", content);
  const auto expectedFingerprint = ChannelHarness().call("fingerprintOfFile", host::Value(video));

  struct Case {
    const char* what;
    std::string assetId;
    MediaType type;
    std::shared_ptr<const photo_library::AVAsset> delivered;
    bool answeredAtOnce;
    host::MethodReply answer;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"no such asset", "missing", MediaType::kVideo, nullptr, true, nil(), {}},
      {"an image", "img", MediaType::kImage, nullptr, true, nil(), {"It is no a video asset img"}},
      {"an audio item", "snd", MediaType::kAudio, nullptr, true, nil(), {"It is no a video asset snd"}},
      {"no AV asset",
       "v1",
       MediaType::kVideo,
       nullptr,
       false,
       nil(),
       {"Can not get a origin video path from the assetId:v1"}},
      {"not a URL asset",
       "v2",
       MediaType::kVideo,
       std::make_shared<CompositionAsset>(),
       false,
       nil(),
       {"Can not get a origin video path from the assetId:v2"}},
      {"a URL that is not a file URL",
       "v3",
       MediaType::kVideo,
       std::make_shared<AVURLAsset>("https://example.com" + video),
       false,
       nil(),
       {"Can not get a origin video path from the assetId:v3"}},
      {"a file URL, percent-encoded",
       "v4",
       MediaType::kVideo,
       std::make_shared<AVURLAsset>(photo_library::fileURLWithPath(video)),
       false,
       expectedFingerprint,
       {"File size: 300000 bytes"}},
      {"a file URL of a missing file",
       "v5",
       MediaType::kVideo,
       std::make_shared<AVURLAsset>("file:///no/such/video.mov"),
       false,
       nil(),
       {"File does not exist"}},
  };
  for (const auto& c : cases) {
    Harnessed h;
    if (c.assetId != "missing") h.library->assets[c.assetId] = {c.type, {}, {}};
    if (c.delivered) h.library->videos[c.assetId] = c.delivered;
    auto replies = h.harness.send("fingerprintOfVideoAsset", host::Value(c.assetId));
    EXPECT_EQ(replies->count(), c.answeredAtOnce ? 1u : 0u) << c.what;
    EXPECT_EQ(h.library->videoRequests, c.answeredAtOnce ? 0 : 1) << c.what;
    h.library->runPendingOnAnotherThread();
    EXPECT_EQ(replies->waitFirst(), c.answer) << c.what;
    EXPECT_EQ(replies->count(), 1u) << c.what;
    EXPECT_EQ(h.harness.console->lines(), c.lines) << c.what;
    EXPECT_EQ(h.harness.engine->answerFaults(), 0u) << c.what;
  }
}

TEST(VideoFingerprint, APluginReleasedBeforeTheHandlerRunsAnswersNilAndReadsNothing) {
  Harnessed h;
  h.library->assets["v"] = {MediaType::kVideo, {}, {}};
  h.library->videos["v"] = std::make_shared<AVURLAsset>("file:///etc/hostname");
  auto replies = h.harness.send("fingerprintOfVideoAsset", host::Value("v"));
  h.harness.engine.reset();  // the engine, its registrar and the plug-in object go
  h.harness.channel.reset();
  EXPECT_EQ(h.library->runPending(), 1);
  EXPECT_EQ(replies->waitFirst(), nil());
  EXPECT_EQ(replies->count(), 1u);
  EXPECT_TRUE(h.harness.console->lines().empty());  // no size line: the file was never looked at
}

TEST(AssetHash, EveryRoadAnswersOnce) {
  const std::string joined = "The quick brown fox jumps over the lazy dog, in chunks.";
  struct Case {
    const char* what;
    bool exists;
    std::vector<std::string> resources;
    ScriptedLibrary::DataScript script;  // for the first resource
    bool answeredAtOnce;
    host::MethodReply answer;
  };
  std::vector<std::string> many;
  for (std::size_t i = 0; i < joined.size(); i += 3) many.push_back(joined.substr(i, 3));
  const std::vector<Case> cases = {
      {"no such asset", false, {"r"}, {}, true, nil()},
      {"no resources", true, {}, {}, true, nil()},
      {"one chunk", true, {"r"}, {{joined}, std::nullopt}, false, text(referenceSha256(joined))},
      {"many chunks", true, {"r"}, {many, std::nullopt}, false, text(referenceSha256(joined))},
      {"empty chunks around data", true, {"r"}, {{"", joined, ""}, std::nullopt}, false, text(referenceSha256(joined))},
      {"no bytes at all", true, {"r"}, {{}, std::nullopt}, false, text(referenceSha256(""))},
      {"an error after some chunks", true, {"r"}, {{"The quick ", "brown"}, LibraryError{5, "I/O"}}, false, nil()},
      {"an error at once", true, {"r"}, {{}, LibraryError{1, "gone"}}, false, nil()},
      {"several resources: the first only",
       true,
       {"original", "adjusted", "audio"},
       {{"first"}, std::nullopt},
       false,
       text(referenceSha256("first"))},
  };
  for (const auto& c : cases) {
    Harnessed h;
    if (c.exists) h.library->assets["a"] = {MediaType::kImage, {}, c.resources};
    if (!c.resources.empty()) h.library->data[c.resources[0]] = c.script;
    h.library->data["adjusted"] = {{"second"}, std::nullopt};
    auto replies = h.harness.send("hashAsset", host::Value("a"));
    EXPECT_EQ(replies->count(), c.answeredAtOnce ? 1u : 0u) << c.what;
    h.library->runPendingOnAnotherThread();
    EXPECT_EQ(replies->waitFirst(), c.answer) << c.what;
    EXPECT_EQ(replies->count(), 1u) << c.what;
    EXPECT_TRUE(h.harness.console->lines().empty()) << c.what;
    const auto requested = c.answeredAtOnce ? std::vector<std::string>{} : std::vector<std::string>{c.resources[0]};
    EXPECT_EQ(h.library->resourcesRequested(), requested) << c.what;
    EXPECT_EQ(h.harness.engine->answerFaults(), 0u) << c.what;
  }
}

TEST(AssetHash, TwoRequestsInFlightForOneAssetNeverMixTheirChunks) {
  Harnessed h;
  h.library->assets["a"] = {MediaType::kVideo, {}, {"r"}};
  h.library->data["r"] = {{"one ", "two ", "three"}, std::nullopt};
  auto first = h.harness.send("hashAsset", host::Value("a"));
  auto second = h.harness.send("hashAsset", host::Value("a"));
  EXPECT_EQ(h.library->pendingRequests(), 2u);
  h.library->runPendingOnAnotherThread();  // steps taken in turn: the chunks of both interleave
  const auto expected = text(referenceSha256("one two three"));
  EXPECT_EQ(first->waitFirst(), expected);
  EXPECT_EQ(second->waitFirst(), expected);
  EXPECT_EQ(first->count() + second->count(), 2u);
}

TEST(AlbumQuery, AnswersOneBooleanOnEveryRoad) {
  using host::Value;
  using host::ValueMap;
  struct Case {
    const char* what;
    Value arguments;
    bool answer;
    int albumReads;  // album identifiers read: the enumeration stops at the first match
  };
  const std::vector<Case> cases = {
      {"no argument", Value{}, false, 0},
      {"text argument", Value("a"), false, 0},
      {"list argument", Value(host::ValueList{Value("a")}), false, 0},
      {"empty map", Value(ValueMap{}), false, 0},
      {"a key that is not text", Value(ValueMap{{Value("assetId"), Value("in2")}, {Value(1), Value(2)}}), false, 0},
      {"assetId missing", Value(ValueMap{{Value("pathId"), Value("B")}, {Value("isUserAlbum"), Value(true)}}), false,
       0},
      {"assetId not text", albumQuery(Value(1), Value("B"), Value(true)), false, 0},
      {"pathId not text", albumQuery(Value("in2"), Value{}, Value(true)), false, 0},
      {"isUserAlbum as text", albumQuery(Value("in2"), Value("B"), Value("true")), false, 0},
      {"isUserAlbum missing", Value(ValueMap{{Value("assetId"), Value("in2")}, {Value("pathId"), Value("B")}}), false,
       0},
      {"no such asset", albumQuery(Value("nobody"), Value("B"), Value(true)), false, 0},
      {"no such asset, any album", albumQuery(Value("nobody"), Value(""), Value(false)), false, 0},
      {"any album, empty pathId", albumQuery(Value("in2"), Value(""), Value(false)), true, 0},
      {"no such album", albumQuery(Value("in2"), Value("Z"), Value(true)), false, 0},
      {"in no album", albumQuery(Value("loose"), Value("B"), Value(true)), false, 0},
      {"the second of three: stops there", albumQuery(Value("in3"), Value("B"), Value(true)), true, 2},
      {"the last of three", albumQuery(Value("in3"), Value("C"), Value(true)), true, 3},
      {"one album, not this one", albumQuery(Value("in1"), Value("B"), Value(true)), false, 1},
      {"its only album", albumQuery(Value("in1"), Value("A"), Value(true)), true, 1},
      {"extra entries are ignored",
       Value(ValueMap{{Value("x"), Value(1)},
                      {Value("assetId"), Value("in3")},
                      {Value("pathId"), Value("A")},
                      {Value("isUserAlbum"), Value(true)}}),
       true, 1},
      // A key written twice holds its last value, as in the dictionaries the codec decodes into.
      {"a key written twice: the last counts",
       Value(ValueMap{{Value("assetId"), Value("nobody")},
                      {Value("pathId"), Value("A")},
                      {Value("isUserAlbum"), Value(true)},
                      {Value("assetId"), Value("in1")}}),
       true, 1},
      {"a key written twice: the last is no boolean",
       Value(ValueMap{{Value("assetId"), Value("in1")},
                      {Value("pathId"), Value("A")},
                      {Value("isUserAlbum"), Value(true)},
                      {Value("isUserAlbum"), Value("true")}}),
       false, 0},
  };
  for (const auto& c : cases) {
    Harnessed h;
    h.library->albums = {"A", "B", "C"};
    h.library->assets["in1"] = {MediaType::kImage, {"A"}, {}};
    h.library->assets["in2"] = {MediaType::kImage, {"A", "B"}, {}};
    h.library->assets["in3"] = {MediaType::kVideo, {"A", "B", "C"}, {}};
    h.library->assets["loose"] = {MediaType::kImage, {}, {}};
    auto replies = h.harness.send("getIfAssetExistInAlbum", c.arguments);
    EXPECT_EQ(replies->count(), 1u) << c.what;  // answered before the call returned
    EXPECT_EQ(replies->waitFirst(), boolean(c.answer)) << c.what;
    EXPECT_EQ(h.library->albumIdentifierReads, c.albumReads) << c.what;
    EXPECT_EQ(h.library->pendingRequests(), 0u);
    // The wrapper would hide a second or a missing answer; the engine counts them.
    EXPECT_EQ(h.harness.engine->answerFaults(), 0u) << c.what;
  }
}

}  // namespace
}  // namespace corvane::testing
