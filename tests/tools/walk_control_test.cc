#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "support/loop_mount.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;
using Paths = std::set<std::string>;

// Where mounting is not permitted the test skips, except in CI, which runs as root and must run it.
#define SKIP_UNLESS_CI(why)                                         \
  do {                                                              \
    if (std::getenv("CI") != nullptr) FAIL() << "in CI: " << (why); \
    GTEST_SKIP() << (why);                                          \
  } while (false)

void sql(const std::string& path, const std::string& statement) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

std::int64_t sqlNumber(const std::string& path, const std::string& query) {
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  std::int64_t number = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    number = sqlite3_column_int64(statement, 0);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return number;
}

// NUL-ended records as a set.
Paths nulRecords(const std::string& out, std::size_t skip = 0) {
  Paths paths;
  for (std::size_t at = 0; at < out.size();) {
    const auto end = out.find('\0', at);
    if (end == std::string::npos) break;
    if (end > at) paths.insert(out.substr(at + skip, end - at - skip));
    at = end + 1;
  }
  return paths;
}

// What `fingerprint -r -z` walks below `root` with these options.
Paths walked(const std::string& root, std::vector<std::string> options) {
  options.insert(options.begin(), {"-q", "fingerprint", "-r", "-z"});
  options.push_back(root);
  const auto run = runCorvane(options);
  EXPECT_EQ(run.status, 0) << run.err;
  return nulRecords(run.out, 66);  // after "<64 hex digits>  "
}

// What find lists with the same patterns pruned: a name pattern as -name, an anchored or slashed
// one as -path below the root, a trailing slash as -type d.
Paths found(const std::string& root, const std::vector<std::string>& patterns, bool xdev = false) {
  std::vector<std::string> arguments{root, "-mindepth", "1"};
  if (xdev) arguments.push_back("-xdev");
  if (!patterns.empty()) {
    arguments.push_back("(");
    for (std::size_t i = 0; i < patterns.size(); ++i) {
      std::string glob = patterns[i];
      const bool folders = glob.ends_with('/');
      if (folders) glob.pop_back();
      const bool anchored = glob.starts_with('/');
      if (anchored) glob.erase(0, 1);
      if (i != 0) arguments.push_back("-o");
      arguments.push_back("(");
      if (folders) arguments.insert(arguments.end(), {"-type", "d"});
      if (anchored || glob.find('/') != std::string::npos) {
        arguments.insert(arguments.end(), {"-path", root + "/" + glob});
      } else {
        arguments.insert(arguments.end(), {"-name", glob});
      }
      arguments.push_back(")");
    }
    arguments.insert(arguments.end(), {")", "-prune", "-o"});
  }
  arguments.insert(arguments.end(), {"-type", "f", "-print0"});
  const auto run = runProgram("find", arguments);
  EXPECT_EQ(run.status, 0) << run.err;
  return nulRecords(run.out);
}

std::vector<std::string> excludeOptions(const std::vector<std::string>& patterns) {
  std::vector<std::string> options;
  for (const auto& pattern : patterns) options.push_back("--exclude=" + pattern);
  return options;
}

// A tree whose names a careless matcher or a shell mangles.
struct HostileTree {
  TempDir dir;
  std::string root = dir.at("tree");
  HostileTree() {
    for (const char* name : {"with space/f", "new\nline/f", "br[ack/f", "st*ar", "stxar", "back\\slash/f",
                             "odd\xff\xfe/f", ".hidden/f", "a/b/c/f", "a/build/f", "build/f", "x/build", "cache/f",
                             "sub/cache", "d/e/build/f", "keep", "top/f.tmp", "top/f.txt"}) {
      dir.write(std::string("tree/") + name, std::string("content of ") + name);
    }
  }
};

TEST(WalkControl, ExclusionsLeaveOutWhatFindPrunes) {
  HostileTree tree;
  const std::vector<std::vector<std::string>> cases = {
      {"with space"},
      {"new\nline"},
      {"br[ack"},
      {"st\\*ar"},  // the literal star only, not stxar
      {"st?ar"},
      {"*\\\\*"},  // names holding a backslash
      {"odd\xff*"},
      {".*"},
      {"/build"},  // the top-level one only
      {"build"},   // folders and files of that name, at any depth
      {"a/b"},
      {"/a/build"},
      {"cache/"},  // the folder, not the file sub/cache
      {"*.tmp", "[bc]*"},
      {".*", "a/b", "x", "keep"},
      {"tree"},  // the operand's own name: the operand is never left out
  };
  const auto all = found(tree.root, {});
  for (const auto& patterns : cases) {
    const std::string name = ::testing::PrintToString(patterns);
    const auto expected = found(tree.root, patterns);
    EXPECT_EQ(walked(tree.root, excludeOptions(patterns)), expected) << name;
    if (patterns != std::vector<std::string>{"tree"}) {
      EXPECT_LT(expected.size(), all.size()) << name << " left nothing out";
    }
  }
  // '*' never crosses a slash in a pattern with one: d/e/build is three deep.
  auto expected = all;
  expected.erase(tree.root + "/a/build/f");
  expected.erase(tree.root + "/x/build");
  EXPECT_EQ(walked(tree.root, {"--exclude", "*/build"}), expected);
}

TEST(WalkControl, ExclusionsOnARealTreeLeaveOutWhatFindPrunes) {
  const std::string root = "/usr/share/doc";
  if (!fs::is_directory(root) || found(root, {}).size() < 50) GTEST_SKIP() << root << " holds too little here";
  const std::vector<std::vector<std::string>> cases = {
      {"copyright"}, {"*.gz"}, {"examples/"}, {"/lib*"}, {"*.html", "/[a-f]*", "changelog*"},
  };
  for (const auto& patterns : cases) {
    const auto expected = found(root, patterns);
    EXPECT_EQ(walked(root, excludeOptions(patterns)), expected) << ::testing::PrintToString(patterns);
  }
}

TEST(WalkControl, AnExcludedFolderIsNotEntered) {
  TempDir dir;
  dir.write("tree/kept", "kept");
  dir.write("tree/skip/inner", "inner");
  // A link back to the top closes a loop that -L reports wherever it is entered.
  fs::create_symlink("..", dir.at("tree/skip/loop"));
  const auto root = dir.at("tree");
  const auto entered = runCorvane({"-q", "hash", "-r", "-L", root});
  EXPECT_EQ(entered.status, 1);
  EXPECT_NE(entered.err.find("skip/loop"), std::string::npos) << entered.err;
  const auto skipped = runCorvane({"-q", "hash", "-r", "-L", "--exclude", "skip", root});
  EXPECT_EQ(skipped.status, 0) << skipped.err;
  EXPECT_EQ(skipped.err, "");
  EXPECT_EQ(lines(skipped.out).size(), 1u) << skipped.out;
}

TEST(WalkControl, PatternListsAndBadPatternsAreUsageErrorsThatNameThem) {
  TempDir dir;
  dir.write("tree/a.tmp", "a");
  dir.write("tree/#note", "n");
  dir.write("tree/ spaced ", "s");
  dir.write("tree/keep", "k");
  const auto root = dir.at("tree");
  // Windows line ends, a comment, empty lines, a leading '#' escaped, spaces kept.
  const auto list = dir.write("list", "# what to leave out\r\n*.tmp\r\n\r\n\n\\#note\n spaced \n");
  EXPECT_EQ(walked(root, {"--exclude-from", list}), Paths{root + "/keep"});

  const auto withNul = dir.write("nul.list", std::string("ok\nb\0d\n", 7));
  const auto longLine = dir.write("long.list", std::string(5000, 'x') + "\n");
  const auto big = dir.write("big.list", std::string(2 << 20, 'y'));
  const auto catalog = dir.at("never.catalog");
  struct Case {
    std::vector<std::string> arguments;
    const char* says;
  };
  const std::vector<Case> cases = {
      {{"hash", "--exclude", "x", root}, "go with -r"},
      {{"fingerprint", "-x", root}, "go with -r"},
      {{"hash", "-r", "--exclude", "", root}, "empty pattern"},
      {{"hash", "-r", "--exclude", "/", root}, "empty pattern"},
      {{"hash", "-r", "--exclude-from", dir.at("missing"), root}, "No such file"},
      {{"hash", "-r", "--exclude-from", root, root}, "Is a directory"},
      {{"hash", "-r", "--exclude-from", withNul, root}, "line 2: a pattern holds a NUL byte"},
      {{"fingerprint", "-r", "--exclude-from", longLine, root}, "line 1: a pattern is longer than 4096 bytes"},
      {{"dupes", "-r", "--exclude-from", big, root}, "larger than 1 MiB"},
      {{"dupes", "--library", root, "--exclude", "x"}, "do not go with --library"},
      {{"catalog", "scan", "--exclude", "x", catalog}, "name them"},
      {{"catalog", "scan", "--exclude-from", withNul, catalog, root}, "line 2"},
  };
  for (const auto& c : cases) {
    const auto run = runCorvane(c.arguments);
    const std::string name = ::testing::PrintToString(c.arguments);
    EXPECT_EQ(run.status, 2) << name << ": " << run.err;
    EXPECT_EQ(run.out, "") << name;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << name << ": " << run.err;
  }
  EXPECT_FALSE(fs::exists(catalog)) << "a catalog was made for a wrong command line";
}

// Groups as -0 prints them: names ended by NUL, groups by one more.

TEST(WalkControl, DupesWithoutRecursionComparesTheFoldersOwnFiles) {
  TempDir dir;
  const std::string same = patternText(3000, 5);
  const auto a = dir.write("top/a", same);
  const auto b = dir.write("top/b", same);
  const auto c = dir.write("top/sub/c", same);
  const auto d = dir.write("top/sub/d", same);
  const auto e = dir.write("other/e", same);
  dir.write("top/lone", patternText(3000, 6));
  const auto top = dir.at("top"), sub = dir.at("top/sub");
  struct Case {
    std::vector<std::string> arguments;
    std::set<Paths> groups;
  };
  const std::vector<Case> cases = {
      {{top}, {{a, b}}},
      {{top, e}, {{a, b, e}}},
      {{sub, top}, {{a, b, c, d}}},
      {{"--exclude", "b", top, e}, {{a, e}}},
      {{"--exclude", "b", top}, {}},
      {{"-r", top}, {{a, b, c, d}}},
      {{"-r", "--exclude", "sub", top}, {{a, b}}},
      {{"-r", "--exclude", "/sub/d", top}, {{a, b, c}}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"-q", "dupes", "-0"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const auto run = runCorvane(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(nulGroups(run.out), c.groups) << ::testing::PrintToString(c.arguments);
  }
}

// The paths a catalog holds, as its export names them.
Paths exported(const std::string& catalog) {
  const auto run = runCorvane({"-q", "catalog", "export", "--json", catalog});
  EXPECT_EQ(run.status, 0) << run.err;
  Paths paths;
  for (const auto& line : lines(run.out)) paths.insert(nlohmann::json::parse(line)["path"].get<std::string>());
  return paths;
}

nlohmann::json rootsOf(const std::string& catalog) {
  const auto run = runCorvane({"-q", "catalog", "roots", "--json", catalog});
  EXPECT_EQ(run.status, 0) << run.err;
  const auto all = lines(run.out);
  EXPECT_EQ(all.size(), 1u) << run.out;
  return all.empty() ? nlohmann::json() : nlohmann::json::parse(all.front());
}

TEST(WalkControl, ACatalogKeepsEachRootsExclusionsForItsRescans) {
  TempDir dir;
  for (const char* name : {"keep", "cache/x", "sub/kept", "sub/skip/y", "sub/a.tmp", "other.tmp"}) {
    dir.write(std::string("tree/") + name, name);
  }
  const auto root = dir.at("tree");
  const auto catalog = dir.at("c.catalog");
  const auto list = dir.write("list", "# temporary\r\n*.tmp\r\n");
  const auto in = [&](std::initializer_list<const char*> names) {
    Paths paths;
    for (const char* name : names) paths.insert(root + "/" + name);
    return paths;
  };
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", "--exclude", "cache", "--exclude", "sub/skip", "--exclude-from", list,
                        catalog, root})
                .status,
            0);
  EXPECT_EQ(exported(catalog), in({"keep", "sub/kept"}));
  auto roots = rootsOf(catalog);
  EXPECT_EQ(roots["exclude"], nlohmann::json({"cache", "sub/skip", "*.tmp"}));
  EXPECT_EQ(roots["oneFileSystem"], false);
  const auto text = runCorvane({"-q", "catalog", "roots", catalog});
  EXPECT_NE(text.out.find("\n  exclude cache\n  exclude sub/skip\n  exclude *.tmp\n"), std::string::npos) << text.out;

  // Rescans of every root, and of the root named alone, leave out the same; so does a part of it,
  // whose paths are matched from the root.
  dir.write("tree/cache/new", "new");
  dir.write("tree/sub/skip/new", "new");
  for (const std::vector<std::string>& rescan :
       {std::vector<std::string>{catalog}, std::vector<std::string>{catalog, root},
        std::vector<std::string>{catalog, root + "/sub"}}) {
    std::vector<std::string> arguments{"-q", "catalog", "scan"};
    arguments.insert(arguments.end(), rescan.begin(), rescan.end());
    EXPECT_EQ(runCorvane(arguments).status, 0);
    EXPECT_EQ(exported(catalog), in({"keep", "sub/kept"})) << ::testing::PrintToString(rescan);
  }
  // A part that the root's rules leave out is not scanned.
  const auto excluded = runCorvane({"-q", "catalog", "scan", catalog, root + "/sub/skip"});
  EXPECT_EQ(excluded.status, 1);
  EXPECT_NE(excluded.err.find("excludes: it is not scanned"), std::string::npos) << excluded.err;
  EXPECT_EQ(exported(catalog), in({"keep", "sub/kept"}));
  // Rules for a part are refused, and nothing changes.
  const auto part = runCorvane({"-q", "catalog", "scan", "--exclude", "kept", catalog, root + "/sub"});
  EXPECT_EQ(part.status, 1);
  EXPECT_NE(part.err.find("give them with that folder"), std::string::npos) << part.err;
  EXPECT_EQ(exported(catalog), in({"keep", "sub/kept"}));

  // Naming the root with new rules replaces them all: what they no longer leave out comes in,
  // what they now leave out goes.
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", "--exclude", "keep", catalog, root}).status, 0);
  EXPECT_EQ(exported(catalog),
            in({"cache/x", "cache/new", "sub/kept", "sub/skip/y", "sub/skip/new", "sub/a.tmp", "other.tmp"}));
  EXPECT_EQ(rootsOf(catalog)["exclude"], nlohmann::json({"keep"}));
  // An empty list drops them all.
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", "--exclude-from", "/dev/null", catalog, root}).status, 0);
  EXPECT_EQ(rootsOf(catalog)["exclude"], nlohmann::json::array());
  EXPECT_EQ(exported(catalog).count(root + "/keep"), 1u);
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", "--exclude", "keep", catalog, root}).status, 0);

  // A merge takes them with the root; a forget takes them away.
  const auto merged = dir.at("merged.catalog");
  ASSERT_EQ(runCorvane({"-q", "catalog", "merge", merged, catalog}).status, 0);
  EXPECT_EQ(rootsOf(merged)["exclude"], nlohmann::json({"keep"}));
  ASSERT_EQ(runCorvane({"-q", "catalog", "forget", merged, root}).status, 0);
  EXPECT_EQ(sqlNumber(merged, "SELECT count(*) FROM root_exclusion"), 0);
}

TEST(WalkControl, OlderCatalogsAreReadAsTheyAreAndUpgradedByTheirNextWriter) {
  TempDir dir;
  dir.write("tree/keep", "keep");
  dir.write("tree/skip/x", "x");
  const auto root = dir.at("tree");
  const auto made = dir.at("made.catalog");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", made, root}).status, 0);
  struct Case {
    const char* name;
    std::string downgrade;
  };
  const std::vector<Case> cases = {
      {"schema 2",
       "DROP TABLE root_exclusion; DROP TABLE root_walk; UPDATE meta SET value = 2 WHERE key = 'schema'; "
       "PRAGMA user_version = 2;"},
      {"schema 1",
       "DROP TABLE root_exclusion; DROP TABLE root_walk; DROP VIEW files; UPDATE meta SET value = 1 WHERE key = "
       "'schema'; PRAGMA user_version = 1;"},
  };
  for (const auto& c : cases) {
    const auto catalog = dir.at(std::string(c.name) + ".catalog");
    fs::copy_file(made, catalog);
    sql(catalog, c.downgrade);
    const auto before = readBytes(catalog);
    const auto read = runCorvane({"-q", "catalog", "roots", "--json", catalog});
    EXPECT_EQ(read.status, 0) << c.name << ": " << read.err;
    EXPECT_NE(read.out.find("\"exclude\":[]"), std::string::npos) << c.name << ": " << read.out;
    EXPECT_TRUE(readBytes(catalog) == before) << c.name << ": a reader changed it";
    ASSERT_EQ(runCorvane({"-q", "catalog", "scan", "--exclude", "skip", catalog, root}).status, 0) << c.name;
    EXPECT_EQ(sqlNumber(catalog, "PRAGMA user_version"), 3) << c.name;
    EXPECT_EQ(sqlNumber(catalog, "SELECT value FROM meta WHERE key = 'schema'"), 3) << c.name;
    EXPECT_EQ(sqlNumber(catalog, "SELECT count(*) FROM files"), 1) << c.name;
    EXPECT_EQ(exported(catalog), Paths{root + "/keep"}) << c.name;
    EXPECT_EQ(rootsOf(catalog)["exclude"], nlohmann::json({"skip"})) << c.name;
  }
}

TEST(WalkControl, ExclusionRowsThatBreakTheRulesMakeTheirRootAFlaw) {
  TempDir dir;
  dir.write("tree/keep", "keep");
  dir.write("tree/skip/x", "x");
  const auto root = dir.at("tree");
  const auto made = dir.at("made.catalog");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", "-x", "--exclude", "skip", made, root}).status, 0);
  struct Case {
    const char* name;
    std::string edit;
    const char* says;
    bool rootStays;
  };
  const std::vector<Case> cases = {
      {"a NUL", "UPDATE root_exclusion SET pattern = x'736b0070'", "holds a NUL byte", false},
      {"empty", "UPDATE root_exclusion SET pattern = x'2f2f'", "is empty", false},
      {"too long", "UPDATE root_exclusion SET pattern = CAST(printf('%.5000c', 'a') AS BLOB)", "longer than 4096",
       false},
      {"text", "UPDATE root_exclusion SET pattern = 'skip'", "not stored as a number and bytes", false},
      {"a gap", "UPDATE root_exclusion SET position = 3", "not numbered in order", false},
      {"a mark of 2", "UPDATE root_walk SET one_file_system = 2", "neither 0 nor 1", false},
      {"of no root", "INSERT INTO root_exclusion VALUES (77, 0, x'61')", "an exclusion of no root", true},
      {"a walk of no root", "INSERT INTO root_walk VALUES (78, 1)", "a walk rule of no root", true},
  };
  for (const auto& c : cases) {
    const auto catalog = dir.at(std::string(c.name) + ".catalog");
    fs::copy_file(made, catalog);
    sql(catalog, c.edit);
    const auto roots = runCorvane({"-q", "catalog", "roots", catalog});
    EXPECT_EQ(roots.status, 1) << c.name;
    EXPECT_NE(roots.err.find(c.says), std::string::npos) << c.name << ": " << roots.err;
    EXPECT_EQ(roots.out.find(root) != std::string::npos, c.rootStays) << c.name << ": " << roots.out;
    // A rescan never walks the root by other rules than those recorded.
    const auto before = readBytes(catalog);
    const auto rescan = runCorvane({"-q", "catalog", "scan", catalog});
    EXPECT_EQ(rescan.status, 1) << c.name;
    if (!c.rootStays) {
      EXPECT_TRUE(readBytes(catalog) == before) << c.name << ": the flawed root was scanned";
      const auto named = runCorvane({"-q", "catalog", "scan", catalog, root});
      EXPECT_EQ(named.status, 1) << c.name;
      EXPECT_NE(named.err.find("breaks the catalog's rules (a root: "), std::string::npos) << c.name << named.err;
      EXPECT_TRUE(readBytes(catalog) == before) << c.name << ": the flawed root was scanned when named";
    }
    EXPECT_EQ(sqlNumber(catalog, "SELECT count(*) FROM entry WHERE CAST(path AS TEXT) LIKE 'skip/%'"), 0) << c.name;
  }
}

TEST(WalkControl, OneFileSystemDoesNotEnterAMountedFolder) {
  std::string whyNot;
  const auto disk = LoopMount::make("ext4", 8 << 20, &whyNot);
  if (!disk) SKIP_UNLESS_CI(whyNot);
  // The mount point lies in a folder of its own file system, beside files of it.
  const std::string top = fs::path(disk->path()).parent_path().string();
  const std::string same = patternText(4000, 9);
  std::ofstream(top + "/outer", std::ios::binary) << same;
  fs::create_directories(top + "/near");
  std::ofstream(top + "/near/f", std::ios::binary) << "near";
  fs::create_directories(disk->path() + "/inner");
  std::ofstream(disk->path() + "/inner/copy", std::ios::binary) << same;
  std::ofstream(disk->path() + "/g", std::ios::binary) << "g";

  const Paths inside{disk->path() + "/inner/copy", disk->path() + "/g"};
  const auto all = found(top, {});
  const auto xdev = found(top, {}, true);
  for (const auto& path : inside) {
    EXPECT_EQ(all.count(path), 1u) << path;
    EXPECT_EQ(xdev.count(path), 0u) << path;
  }
  EXPECT_EQ(walked(top, {}), all);
  EXPECT_EQ(walked(top, {"-x"}), xdev);
  EXPECT_EQ(walked(top, {"--one-file-system", "--exclude", "near"}), found(top, {"near"}, true));
  // The mount point named itself is walked: only folders below it are held to its file system.
  EXPECT_EQ(walked(disk->path(), {"-x"}), inside);

  const auto dupes = runCorvane({"-q", "dupes", "-r", "-0", top});
  EXPECT_EQ(nulGroups(dupes.out), std::set<Paths>({{top + "/outer", disk->path() + "/inner/copy"}})) << dupes.err;
  const auto dupesX = runCorvane({"-q", "dupes", "-r", "-x", "-0", top});
  EXPECT_EQ(dupesX.status, 0) << dupesX.err;
  EXPECT_EQ(dupesX.out, "");

  // A catalog keeps -x for its rescans.
  TempDir elsewhere;
  const auto catalog = elsewhere.at("c.catalog");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", "-x", catalog, top}).status, 0);
  EXPECT_EQ(rootsOf(catalog)["oneFileSystem"], true);
  std::ofstream(disk->path() + "/later", std::ios::binary) << "later";
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog}).status, 0);
  EXPECT_EQ(exported(catalog), xdev);
}

}  // namespace
}  // namespace corvane::testing
