#include "dupes/saved_report.h"

#include <gtest/gtest.h>

namespace corvane::tool {
namespace {

const std::string kFiles =
    R"("files":[{"device":1,"inode":2,"size":3,"modifiedNs":4},{"device":1,"inode":5,"size":3,"modifiedNs":-6}])";

TEST(SavedReport, ReadsWhatDupesJsonWritesAndNamesExactly) {
  const auto report =
      parseSavedReport(R"({"size":3,"sha256":"ab","paths":["a","b"],)" + kFiles + "}\n\n" +
                       R"({"size":3,"sameFile":true,"paths":["c","d"]})" + "\n" +
                       R"({"size":3,"paths":["x","y"],"paths_base64":["/w==","eQ=="],)" + kFiles + "}\n");
  ASSERT_TRUE(report) << report.error().text();
  EXPECT_FALSE(report->assets);
  ASSERT_EQ(report->groups.size(), 2u);  // names of one file are nothing to act on
  const auto& first = report->groups[0];
  EXPECT_EQ(first.members[1].name, "b");
  EXPECT_EQ(first.members[1].seen.inode, 5u);
  EXPECT_EQ(first.members[1].seen.modifiedNs, -6);
  EXPECT_EQ(report->groups[1].members[0].name, "\xff");
}

// A report that is wrong anywhere is refused whole, naming the line.
TEST(SavedReport, RefusesEveryMalformedReportWhole) {
  const std::string good = R"({"size":3,"paths":["a","b"],)" + kFiles + "}\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{\"size\":3,", "line 2: not a JSON object"},
      {R"({"size":3,"paths":["a","b"]})", "no \"files\""},
      {R"({"size":3,"paths":["a"],"files":[{"device":1,"inode":2,"size":3,"modifiedNs":4}]})", "fewer than two"},
      {R"({"size":3,"paths":["a","b","c"],)" + kFiles + "}", "different lengths"},
      {R"({"size":3,"paths":["a","b"],"files":[{"device":1,"inode":2,"size":3},{"device":1}]})", "lacks"},
      {R"({"size":3,"paths":["a","b"],"paths_base64":["%%","eQ=="],)" + kFiles + "}", "not base64"},
      {R"({"size":3,"assets":["a.jpg","b.jpg"],)" + kFiles + "}", "mixed"},
      {R"({"paths":["a","b"],)" + kFiles + "}", "no \"size\""},
      {R"({"size":3,"paths":["a",""],)" + kFiles + "}", "empty"},
      {R"({"size":-3,"paths":["a","b"],)" + kFiles + "}", "no \"size\""},
      {"[1,2]", "not a JSON object"},
  };
  for (const auto& [line, why] : cases) {
    SCOPED_TRACE(line);
    const auto report = parseSavedReport(good + line + "\n");
    ASSERT_FALSE(report);
    EXPECT_NE(report.error().text().find(why), std::string::npos) << report.error().text();
  }
}

}  // namespace
}  // namespace corvane::tool
