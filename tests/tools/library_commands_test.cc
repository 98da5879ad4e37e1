#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/run_command.h"

namespace corvane::testing {
namespace {

const std::string kLibrary = CORVANE_SOURCE_DIR "/examples/library";

TEST(LibraryCommands, ExploreTheSampleLibrary) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{"albums", "--library", kLibrary}, 0, "2  Family\n3  Holidays\n1  Screenshots\n"},
      {{"assets", "--library", kLibrary, "--album", "Family"}, 0, "video  Family/birthday.avi\nimage  Family/portrait.bmp\n"},
      {{"assets", "--library", kLibrary, "--album", "Nowhere"}, 1, ""},
      {{"in-album", "--library", kLibrary, "Holidays/beach.png", "Holidays"}, 0, "true\n"},
      {{"in-album", "--library", kLibrary, "Holidays/beach.png", "Family"}, 1, "false\n"},
      {{"in-album", "--library", kLibrary, "--any", "welcome.png", ""}, 0, "true\n"},
      {{"in-album", "--library", kLibrary, "../library/welcome.png", "Family"}, 1, "false\n"},
      {{"hash", "--library", kLibrary, "--asset", "Family/portrait.bmp"}, 0, ""},
      {{"fingerprint", "--library", kLibrary, "--asset", "Family/portrait.bmp"}, 1, ""},
      {{"albums", "--library", "/no/such/folder"}, 1, ""},
      {{"in-album", "--library", "/no/such/folder", "Holidays/beach.png", "Holidays"}, 2, ""},
  };
  for (const auto& c : cases) {
    const auto run = runCorvane(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments[0] << " " << c.arguments.back() << run.err;
    if (!c.out.empty()) {
      EXPECT_EQ(run.out, c.out) << c.arguments.back();
    }
  }
}

TEST(LibraryCommands, AssetDigestsMatchTheFileDigests) {
  for (const char* command : {"hash", "fingerprint"}) {
    const auto viaLibrary = runCorvane({"-q", command, "--library", kLibrary, "--asset", "Holidays/sea waves.avi"});
    const auto viaFile = runCorvane({"-q", command, kLibrary + "/Holidays/sea waves.avi"});
    ASSERT_EQ(viaLibrary.status, 0) << viaLibrary.err;
    EXPECT_EQ(viaLibrary.out.substr(0, 64), viaFile.out.substr(0, 64)) << command;
    EXPECT_TRUE(viaLibrary.out.ends_with("  Holidays/sea waves.avi\n"));
  }
  const auto listing = runCorvane({"assets", "--library", kLibrary, "--json"});
  ASSERT_EQ(listing.status, 0);
  std::size_t count = 0;
  std::istringstream in(listing.out);
  for (std::string line; std::getline(in, line); ++count) EXPECT_TRUE(nlohmann::json::parse(line).contains("mediaType"));
  EXPECT_EQ(count, 7u);
}

}  // namespace
}  // namespace corvane::testing
