#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/diff.h"

namespace corvane::tool::catalog {
namespace {

// A content for tests: its size and digests stand for it.
struct Content {
  std::uint64_t size;
  std::uint8_t fingerprint;
  std::optional<std::uint8_t> sha256;
};

Entry entryOf(const std::string& path, const Content& content) {
  Entry entry;
  entry.path = path;
  entry.size = content.size;
  entry.fingerprint = Digest{content.fingerprint};
  if (content.sha256) entry.sha256 = Digest{*content.sha256};
  return entry;
}

Side sideOf(const std::vector<std::pair<std::string, Content>>& files) {
  Side side;
  side.roots = {"/root"};
  for (const auto& [path, content] : files) side.items.push_back({entryOf(path, content), 0, {}});
  return side;
}

std::vector<std::string> namesOf(const Side& side, const std::vector<std::size_t>& items) {
  std::vector<std::string> names;
  for (const auto i : items) names.push_back(side.nameOf(i));
  return names;
}

TEST(DiffSides, ClassifiesEveryPathAndContent) {
  const Content x{100, 1, 11}, y{100, 2, 12}, z{7, 3, std::nullopt}, xUnhashed{100, 1, std::nullopt};
  const Content xSampledAlike{100, 1, 99};  // the fingerprint's samples agree, the whole content not
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, Content>> a, b;
    std::size_t same, sameConfirmed;
    std::vector<std::string> changed, onlyA, onlyB, missing;
    std::vector<std::pair<std::string, std::string>> moved;
    std::vector<std::vector<std::string>> heldA, heldB;
  };
  const std::vector<Case> cases = {
      {"the same", {{"p", x}, {"q", z}}, {{"p", x}, {"q", z}}, 2, 1, {}, {}, {}, {}, {}, {}, {}},
      {"same by fingerprint only", {{"p", xUnhashed}}, {{"p", x}}, 1, 0, {}, {}, {}, {}, {}, {}, {}},
      {"changed", {{"p", x}}, {{"p", y}}, 0, 0, {"p"}, {}, {}, {"p"}, {}, {}, {}},
      {"changed between the samples", {{"p", x}}, {{"p", xSampledAlike}}, 0, 0, {"p"}, {}, {}, {"p"}, {}, {}, {}},
      {"moved", {{"old", x}}, {{"new", x}}, 0, 0, {}, {}, {}, {}, {{"old", "new"}}, {}, {}},
      {"only in one side", {{"p", x}, {"a", y}}, {{"p", x}, {"b", z}}, 1, 1, {}, {"a"}, {"b"}, {"a"}, {}, {}, {}},
      {"held twice in B", {{"p", x}}, {{"p", x}, {"copy", x}}, 1, 1, {}, {}, {}, {}, {}, {}, {{"p", "copy"}}},
      {"held twice in A, moved once",
       {{"one", x}, {"two", x}},
       {{"three", x}},
       0,
       0,
       {},
       {},
       {},
       {},
       {{"one", "three"}},
       {{"one", "two"}},
       {}},
      // q's content went to p, and p's own is nowhere in B.
      {"a content moved onto a changed path",
       {{"p", x}, {"q", y}},
       {{"p", y}},
       0,
       0,
       {"p"},
       {},
       {},
       {"p"},
       {{"q", "p"}},
       {},
       {}},
  };
  for (const auto& c : cases) {
    const Side a = sideOf(c.a), b = sideOf(c.b);
    const auto result = diffSides(a, b);
    EXPECT_EQ(result.same, c.same) << c.what;
    EXPECT_EQ(result.sameConfirmed, c.sameConfirmed) << c.what;
    EXPECT_EQ(namesOf(a, result.changed), c.changed) << c.what;
    EXPECT_EQ(namesOf(a, result.onlyA), c.onlyA) << c.what;
    EXPECT_EQ(namesOf(b, result.onlyB), c.onlyB) << c.what;
    EXPECT_EQ(namesOf(a, result.missing), c.missing) << c.what;
    std::vector<std::pair<std::string, std::string>> moved;
    for (const auto& pair : result.moved) moved.emplace_back(a.nameOf(pair.a), b.nameOf(pair.b));
    EXPECT_EQ(moved, c.moved) << c.what;
    std::vector<std::vector<std::string>> heldA, heldB;
    for (const auto& group : result.heldMoreThanOnce) {
      (group.sideA ? heldA : heldB).push_back(namesOf(group.sideA ? a : b, group.items));
    }
    EXPECT_EQ(heldA, c.heldA) << c.what;
    EXPECT_EQ(heldB, c.heldB) << c.what;
    EXPECT_EQ(result.differ(), !c.changed.empty() || !c.moved.empty() || !c.onlyA.empty() || !c.onlyB.empty())
        << c.what;
  }
}

}  // namespace
}  // namespace corvane::tool::catalog
