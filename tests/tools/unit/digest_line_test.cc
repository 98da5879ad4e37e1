#include "digest/digest_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane::tool {
namespace {

using Kind = DigestLineReader::Kind;

const std::string kDigest = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
const std::string kUpper = "9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08";

struct Read {
  Kind kind;
  std::string name = {};
};

// Each list is read by one reader, line after line, as a check reads it.
TEST(DigestLineReader, ReadsEveryFormSha256sumReadsAndRefusesTheRest) {
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    std::vector<Read> expected;
    bool zero = false;
  };
  const std::vector<Case> cases = {
      {"two blanks, text mode", {kDigest + "  a b"}, {{Kind::kEntry, "a b"}}},
      {"binary mode", {kDigest + " *a"}, {{Kind::kEntry, "a"}}},
      {"leading blanks and a tab", {" \t" + kDigest + "\ta"}, {{Kind::kEntry, "a"}}},
      {"upper-case digits, CRLF", {kUpper + "  a\r"}, {{Kind::kEntry, "a"}}},
      {"a CR belongs to the name with -z", {kDigest + "  a\r"}, {{Kind::kEntry, "a\r"}}, true},
      {"BSD form", {"SHA256 (a (1).jpg) = " + kDigest}, {{Kind::kEntry, "a (1).jpg"}}},
      {"BSD form, tight", {"SHA256(a)=" + kUpper}, {{Kind::kEntry, "a"}}},
      {"escaped names", {"\\" + kDigest + "  new\\nline\\\\and\\rcr"}, {{Kind::kEntry, "new\nline\\and\rcr"}}},
      {"escaped BSD name", {"\\SHA256 (a\\nb) = " + kDigest}, {{Kind::kEntry, "a\nb"}}},
      {"a name that starts with blanks", {kDigest + "   x"}, {{Kind::kEntry, " x"}}},
      {"comments and empty lines",
       {"# " + kDigest + "  a", "", "\r"},
       {{Kind::kIgnored}, {Kind::kIgnored}, {Kind::kIgnored}}},
      // The first line's form holds for the rest: a single blank, once refused, stays refused.
      {"single blank first", {kDigest + " a", kDigest + "  b"}, {{Kind::kEntry, "a"}, {Kind::kEntry, " b"}}},
      {"two blanks first", {kDigest + "  a", kDigest + " b"}, {{Kind::kEntry, "a"}, {Kind::kMalformed}}},
      {"a bad digest still decides the form",
       {std::string(64, 'g') + " a", kDigest + "  b"},
       {{Kind::kMalformed}, {Kind::kEntry, " b"}}},
      {"63 digits", {kDigest.substr(1) + "  a"}, {{Kind::kMalformed}}},
      {"65 digits", {kDigest + "0  a"}, {{Kind::kMalformed}}},
      {"no name", {kDigest + " "}, {{Kind::kMalformed}}},
      {"a name of one blank, as sha256sum reads it", {kDigest + "  "}, {{Kind::kEntry, " "}}},
      {"no blank", {kDigest + "a"}, {{Kind::kMalformed}}},
      {"an unknown escape", {"\\" + kDigest + "  a\\q"}, {{Kind::kMalformed}}},
      {"an escape at the end", {"\\" + kDigest + "  a\\"}, {{Kind::kMalformed}}},
      {"BSD without its digest", {"SHA256 (a) = "}, {{Kind::kMalformed}}},
      {"BSD without '='", {"SHA256 (a) " + kDigest}, {{Kind::kMalformed}}},
      {"BSD of another algorithm", {"MD5 (a) = " + kDigest}, {{Kind::kMalformed}}},
      {"plain words", {"not a digest line"}, {{Kind::kMalformed}}},
  };
  for (const auto& c : cases) {
    DigestLineReader reader("SHA256", c.zero);
    ASSERT_EQ(c.lines.size(), c.expected.size()) << c.what;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      DigestLine line;
      const auto kind = reader.read(c.lines[i], line);
      EXPECT_EQ(kind, c.expected[i].kind) << c.what << ", line " << i;
      if (kind != Kind::kEntry) continue;
      EXPECT_EQ(line.name, c.expected[i].name) << c.what;
      EXPECT_EQ(line.digest, kDigest) << c.what;
    }
  }
}

// What is written is read back as the same name, in every style.
TEST(DigestLineReader, ReadsBackWhatIsWritten) {
  const std::vector<std::string> names = {"plain", "a b", "new\nline", "back\\slash", "cr\r", "(paren)", " lead"};
  for (const bool bsd : {false, true}) {
    for (const bool binary : {false, true}) {
      if (bsd && binary) continue;
      for (const auto& name : names) {
        const auto written = formatDigestLine({"SHA256", bsd, binary, false}, kDigest, name);
        DigestLineReader reader("SHA256", false);
        DigestLine line;
        ASSERT_EQ(reader.read(written, line), Kind::kEntry) << written;
        EXPECT_EQ(line.name, name) << written;
        EXPECT_EQ(line.digest, kDigest);
      }
    }
  }
}

}  // namespace
}  // namespace corvane::tool
