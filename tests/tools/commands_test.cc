#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

const std::string kLibrary = CORVANE_SOURCE_DIR "/examples/library";

// Every run's status and exact output; a run that fails without output says why, as corvane.
TEST(Commands, AnswerWithTheirStatusAndExactOutput) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out;
  };
  std::vector<Case> cases = {
      {{"call", "hashFile", "42"}, 0, "null\n"},
      {{"call", "hashFile", "[\"/a\"]"}, 0, "null\n"},
      // As deep as the channel carries, and past that: a usage error, never a crashed stack.
      {{"call", "hashFile", std::string(256, '[') + std::string(256, ']')}, 0, "null\n"},
      {{"call", "hashFile", std::string(20'000, '[') + std::string(20'000, ']')}, 2, ""},
      {{"call", "hashFile", std::string(20'000, '[')}, 0, "null\n"},  // not JSON: plain text
      {{"call", "noSuchMethod"}, 3, ""},
      {{"call", "GetPlatformVersion"}, 3, ""},
      {{"albums", "--library", kLibrary}, 0, "2  Family\n3  Holidays\n1  Screenshots\n"},
      {{"assets", "--library", kLibrary, "--album", "Family"},
       0,
       "video  Family/birthday.avi\nimage  Family/portrait.bmp\n"},
      {{"assets", "--library", kLibrary, "--album", "Nowhere"}, 1, ""},
      {{"in-album", "--library", kLibrary, "Holidays/beach.png", "Holidays"}, 0, "true\n"},
      {{"in-album", "--library", kLibrary, "Holidays/beach.png", "Family"}, 1, "false\n"},
      {{"in-album", "--library", kLibrary, "--any", "welcome.png", ""}, 0, "true\n"},
      {{"in-album", "--library", kLibrary, "../library/welcome.png", "Family"}, 1, "false\n"},
      {{"hash", "--library", kLibrary, "--asset", "Family/portrait.bmp"},
       0,
       referenceSha256(readBytes(kLibrary + "/Family/portrait.bmp")) + "  Family/portrait.bmp\n"},
      {{"fingerprint", "--library", kLibrary, "--asset", "Family/portrait.bmp"}, 1, ""},
      {{"albums", "--library", "/no/such/folder"}, 1, ""},
      {{"in-album", "--library", "/no/such/folder", "Holidays/beach.png", "Holidays"}, 2, ""},
  };
  // Misuse and conflicting options: status 2 and nothing on standard output.
  const std::vector<std::vector<std::string>> misuses = {
      {},
      {"nonsense"},
      {"call"},
      {"call", "a", "b", "c"},
      {"--no-such-flag", "call", "getPlatformVersion"},
      {"hash", "--no-such-option", "x"},
      {"fingerprint", "--asset", "-r", "x"},
      {"hash", "--asset"},
      {"hash", "--library", "/tmp", "x"},
      {"hash", "-c", "--json", "x"},
      {"hash", "-c", "-r", "x"},
      {"hash", "-c", "--tag", "x"},
      {"hash", "-c", "-b", "x"},
      {"hash", "--tag", "--json", "x"},
      {"hash", "-z", "--json", "x"},
      {"hash", "--tag", "-t", "x"},
      {"hash", "--status", "x"},
      {"fingerprint", "--strict", "x"},
      {"hash", "-w", "x"},
      {"hash", "--ignore-missing", "x"},
      {"-q", "hash", "-v", "x"},
      {"assets", "extra"},
      {"in-album", "only-one"},
      {"call", "hashFile", std::string(300, '[') + std::string(300, ']')},
      {"dupes"},
      {"dupes", "--library", "/tmp", "x"},
      {"dupes", "--library", "/tmp", "-r"},
      {"dupes", "--json", "-0", "x"},
      {"dupes", "--probable", "--paranoid", "x"},
      {"dupes", "--min-size", "2K", "--max-size", "1K", "x"},
  };
  for (const auto& arguments : misuses) cases.push_back({arguments, 2, ""});
  for (const auto& c : cases) {
    const auto run = runCorvane(c.arguments);
    std::string what;
    for (const auto& a : c.arguments) what += a.substr(0, 20) + " ";
    EXPECT_EQ(run.status, c.status) << what << run.err;
    EXPECT_EQ(run.out, c.out) << what;
    if (c.status != 0 && c.out.empty()) {
      EXPECT_TRUE(run.err.starts_with("corvane: ")) << what << run.err;
    }
  }
}

// A count or a size that is no such number is refused before anything runs, in a line that
// names the option, rather than read as some other number.
TEST(Commands, BadSizesAndCountsAreUsageErrorsThatNameTheOption) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"dupes", "-r", "--min-size", "-5", "."}, "--min-size"},
      {{"dupes", "-r", "--min-size", "12qq", "."}, "--min-size"},
      {{"dupes", "-r", "--min-size", "1.5K", "."}, "--min-size"},
      {{"dupes", "-r", "--min-size", "16E", "."}, "--min-size"},
      {{"dupes", "-r", "--max-size", "-1", "."}, "--max-size"},
      {{"dupes", "-r", "--max-size=", "."}, "--max-size"},
      {{"dupes", "-r", "-j", "0", "."}, "--jobs"},
      {{"hash", "-j", "abc", "x"}, "--jobs"},
      {{"hash", "-j", "0", "x"}, "--jobs"},
      {{"fingerprint", "--jobs", "-3", "x"}, "--jobs"},
      {{"fingerprint", "-j", "1025", "x"}, "--jobs"},
      {{"catalog", "scan", "-j", "0", "c", "x"}, "--jobs"},
      {{"catalog", "verify", "-j", "x", "c"}, "--jobs"},
      {{"catalog", "diff", "-j", "2k", "a", "b"}, "--jobs"},
  };
  for (const auto& [arguments, option] : cases) {
    const auto run = runCorvane(arguments);
    std::string what;
    for (const auto& a : arguments) what += a + " ";
    EXPECT_EQ(run.status, 2) << what << run.err;
    EXPECT_EQ(run.out, "") << what;
    EXPECT_TRUE(run.err.starts_with("corvane: " + option + ": ")) << what << run.err;
  }
}

TEST(CallCommand, PlatformVersionIsText) {
  const auto run = runCorvane({"call", "getPlatformVersion"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.starts_with("\"iOS ")) << run.out;
  EXPECT_TRUE(run.out.ends_with("\"\n")) << run.out;
}

TEST(CallCommand, TraceShowsTheChannelBytes) {
  const auto run = runCorvane({"--trace", "call", "getPlatformVersion", "7"});
  // "getPlatformVersion" as text, then the int32 argument 7.
  EXPECT_NE(run.err.find("> 0712676574506c6174666f726d56657273696f6e0307000000\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("\n< 0007"), std::string::npos) << run.err;
  const auto unimplemented = runCorvane({"--trace", "call", "nothing"});
  EXPECT_NE(unimplemented.err.find("< \n"), std::string::npos) << unimplemented.err;
}

TEST(LibraryCommands, AssetDigestsMatchTheFileDigests) {
  for (const char* command : {"hash", "fingerprint"}) {
    const auto viaLibrary = runCorvane({"-q", command, "--library", kLibrary, "--asset", "Holidays/sea waves.avi"});
    const auto viaFile = runCorvane({"-q", command, kLibrary + "/Holidays/sea waves.avi"});
    ASSERT_EQ(viaLibrary.status, 0) << viaLibrary.err;
    EXPECT_EQ(viaLibrary.out.substr(0, 64), viaFile.out.substr(0, 64)) << command;
    EXPECT_TRUE(viaLibrary.out.ends_with("  Holidays/sea waves.avi\n"));
  }
  const auto listing = lines(runCorvane({"assets", "--library", kLibrary, "--json"}).out);
  for (const auto& line : listing) EXPECT_TRUE(nlohmann::json::parse(line).contains("mediaType"));
  EXPECT_EQ(listing.size(), 7u);
}

// Camera raw files, modern still formats and the common video containers are assets, told apart
// as images and videos; names that only look alike are not.
TEST(LibraryCommands, CameraAndModernFormatsAreAssets) {
  TempDir dir;
  struct Case {
    std::string name;
    std::string type;  // empty: no asset
  };
  const std::vector<Case> cases = {
      {"IMG_0001.CR2", "image"}, {"IMG_0002.CR3", "image"}, {"CRW_0003.CRW", "image"}, {"DSC_0004.NEF", "image"},
      {"DSC_0005.NRW", "image"}, {"DSC06.ARW", "image"},    {"DSC07.SRF", "image"},    {"DSC08.SR2", "image"},
      {"P0009.ORF", "image"},    {"P0010.RW2", "image"},    {"DSCF11.RAF", "image"},   {"IMGP12.PEF", "image"},
      {"SAM13.SRW", "image"},    {"L1000014.DNG", "image"}, {"B0015.3FR", "image"},    {"P16.IIQ", "image"},
      {"L17.RWL", "image"},      {"SDIM18.X3F", "image"},   {"photo19.heic", "image"}, {"photo20.HEIF", "image"},
      {"photo21.avif", "image"}, {"photo22.jxl", "image"},  {"clip23.MPG", "video"},   {"clip24.mpeg", "video"},
      {"clip25.M2TS", "video"},  {"clip26.MTS", "video"},   {"clip27.ts", "video"},    {"clip28.WMV", "video"},
      {"clip29.asf", "video"},   {"clip30.flv", "video"},   {"clip31.ogv", "video"},   {"VTS_01_1.VOB", "video"},
      {"tape33.dv", "video"},    {"notes.txt", ""},         {"raw.cr2.xmp", ""},       {"cr2", ""},
      {"archive.tar", ""},
  };
  std::string expected;
  for (const auto& c : cases) {
    dir.write("Raw/" + c.name, patternBytes(2000, 7));
    if (!c.type.empty()) expected += c.type + "  Raw/" + c.name + "\n";
  }
  const auto listing = runCorvane({"assets", "--library", dir.path().string()});
  ASSERT_EQ(listing.status, 0) << listing.err;
  auto sortedLines = [](const std::string& text) {
    auto all = lines(text);
    std::sort(all.begin(), all.end());
    return all;
  };
  EXPECT_EQ(sortedLines(listing.out), sortedLines(expected));
  // Identical raw files are found as duplicates across albums; the sidecar beside them is no asset.
  TempDir library;
  const auto raw = patternBytes(300'000, 8);
  library.write("Shoot/DSC_0001.NEF", raw);
  library.write("Backup/DSC_0001 copy.NEF", raw);
  library.write("Backup/DSC_0001.NEF.xmp", raw);
  library.write("Shoot/C0001.M2TS", patternBytes(300'000, 9));
  library.write("Backup/C0001.MTS", patternBytes(300'000, 9));
  const auto dupes = runCorvane({"-q", "dupes", "--library", library.path().string()});
  EXPECT_EQ(dupes.status, 0) << dupes.err;
  EXPECT_EQ(sortedLines(dupes.out),
            sortedLines("Backup/DSC_0001 copy.NEF\nShoot/DSC_0001.NEF\n\nBackup/C0001.MTS\nShoot/C0001.M2TS\n\n"));
}

}  // namespace
}  // namespace corvane::testing
