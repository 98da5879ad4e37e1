#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "catalog/store/store.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;
using Group = std::set<std::string>;
using Groups = std::set<Group>;

void sql(const std::string& path, const std::string& statement) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

// A name no output may break: quotes, a backslash, a line feed and a byte that is not UTF-8.
const std::string kHostile = "q'uo\"te\\back\nline\xff.txt";

// Two machines: this one's tree scanned with SHA-256, and a NAS's tree scanned with
// fingerprints only, each into a catalog of its own, then merged into one as they would be.
struct TwoMachines {
  TempDir dir;
  std::string laptop = dir.at("laptop"), nas = dir.at("nas"), catalog = dir.at("all.catalog");
  std::string here = tool::catalog::machineName();

  TwoMachines() {
    dir.write("laptop/alpha.txt", "alpha\n");
    dir.write("laptop/sub/alpha copy.txt", "alpha\n");
    dir.write("laptop/big.bin", patternBytes(300'000, 7));
    dir.write("laptop/" + kHostile, "hostile\n");
    dir.write("laptop/plain.txt", "hostile\n");
    dir.write("laptop/lone.txt", "only here\n");
    // Samples agree, the middle differs: a fingerprint match that SHA-256 refutes.
    auto lookalike = patternBytes(300'000, 9);
    dir.write("laptop/lookalike.bin", lookalike);
    lookalike[150'000 + 20'000] ^= 1;
    dir.write("nas/lookalike.bin", lookalike);
    dir.write("nas/alpha.txt", "alpha\n");
    dir.write("nas/big.bin", patternBytes(300'000, 7));
    dir.write("nas/nas only.txt", "on the nas\n");
    const auto laptopCatalog = dir.at("laptop.catalog"), nasCatalog = dir.at("nas.catalog");
    EXPECT_EQ(runCorvane({"-q", "catalog", "scan", laptopCatalog, laptop}).status, 0);
    EXPECT_EQ(runCorvane({"-q", "catalog", "scan", "--fingerprint-only", nasCatalog, nas}).status, 0);
    sql(nasCatalog, "UPDATE root SET machine = CAST('nas' AS BLOB)");
    EXPECT_EQ(runCorvane({"-q", "catalog", "merge", catalog, laptopCatalog, nasCatalog}).status, 0);
  }
  std::string onLaptop(const std::string& path) const { return here + ":" + laptop + "/" + path; }
  std::string onNas(const std::string& path) const { return "nas:" + nas + "/" + path; }
  // Where a holder's name says it lies, when it lies on this machine's disk (the NAS's tree is here too).
  std::string fileOf(const std::string& holder) const { return holder.substr(holder.find(':') + 1); }
};

std::string sha256sum(const std::string& path) {
  const auto run = runProgram("sha256sum", {"--", path});
  return run.out.substr(run.out.starts_with('\\') ? 1 : 0, 64);  // a line of an escaped name starts with '\\'
}

TEST(CatalogWhere, NamesEveryHolderOnEveryMachineByHowItMatched) {
  const TwoMachines m;
  const auto ask = m.dir.write("ask/alpha", "alpha\n");
  m.dir.write("ask/big", patternBytes(300'000, 7));
  m.dir.write("ask/nas only", "on the nas\n");
  m.dir.write("ask/nobody", "held by nobody\n");
  m.dir.write("ask/hostile", "hostile\n");
  m.dir.write("ask/lookalike", patternBytes(300'000, 9));
  const auto at = [&](const std::string& name) { return m.dir.at("ask/" + name); };
  struct Case {
    const char* name;
    std::string file;
    std::map<std::string, std::string> holders;  // name -> "sha256" or "fingerprint"
    int status;
  };
  const std::vector<Case> cases = {
      {"held by SHA-256 here, by fingerprint only there",
       at("alpha"),
       {{m.onLaptop("alpha.txt"), "sha256"},
        {m.onLaptop("sub/alpha copy.txt"), "sha256"},
        {m.onNas("alpha.txt"), "fingerprint"}},
       0},
      {"a large file, sampled", at("big"), {{m.onLaptop("big.bin"), "sha256"}, {m.onNas("big.bin"), "fingerprint"}}, 0},
      {"held by fingerprint only", at("nas only"), {{m.onNas("nas only.txt"), "fingerprint"}}, 0},
      {"held under a hostile name",
       at("hostile"),
       {{m.onLaptop(kHostile), "sha256"}, {m.onLaptop("plain.txt"), "sha256"}},
       0},
      // The NAS's copy differs between the samples: its fingerprint matches, and nothing refutes it.
      {"a SHA-256 settles what a fingerprint cannot",
       at("lookalike"),
       {{m.onLaptop("lookalike.bin"), "sha256"}, {m.onNas("lookalike.bin"), "fingerprint"}},
       0},
      {"not held", at("nobody"), {}, 1},
  };
  std::vector<std::string> all;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    all.push_back(c.file);
    const auto json = runCorvane({"-q", "catalog", "where", "--json", m.catalog, c.file});
    EXPECT_EQ(json.status, c.status) << json.err;
    ASSERT_EQ(lines(json.out).size(), 1u) << json.out;
    const auto object = nlohmann::json::parse(json.out);
    EXPECT_EQ(object["sha256"], sha256sum(c.file));
    EXPECT_EQ(object["held"], !c.holders.empty());
    std::map<std::string, std::string> holders;
    for (const auto& holder : object["holders"]) {
      const std::string path = holder.contains("path_base64") ? kHostile : holder["path"].get<std::string>();
      const auto name = holder["machine"].get<std::string>() + ":" +
                        (holder.contains("path_base64") ? m.laptop + "/" + kHostile : path);
      holders[name] = holder["match"];
      // Every holder by SHA-256 is a true copy, as sha256sum tells of the file itself.
      if (holder["match"] == "sha256") {
        EXPECT_EQ(sha256sum(m.fileOf(name)), sha256sum(c.file)) << name;
      }
    }
    EXPECT_EQ(holders, c.holders);
    // Text: a line a holder, the name escaped as sha256sum escapes it.
    const auto text = runCorvane({"-q", "catalog", "where", m.catalog, c.file});
    EXPECT_EQ(text.status, c.status);
    std::set<std::string> expected;
    for (const auto& [holder, how] : c.holders) {
      const bool odd = holder.find('\n') != std::string::npos;
      std::string escaped = holder;
      if (odd) {
        escaped.clear();
        for (const char ch : holder)
          escaped += ch == '\n' ? std::string("\\n") : ch == '\\' ? "\\\\" : std::string(1, ch);
      }
      expected.insert(std::string(odd ? "\\" : "") + c.file + ": " + escaped +
                      (how == "fingerprint" ? " (fingerprint only)" : ""));
    }
    if (c.holders.empty()) expected.insert(c.file + ": held nowhere");
    const auto got = lines(text.out);
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), expected);
  }
  // Several files at once: each answered in the order given; one unreadable, one a folder.
  auto many = all;
  many.insert(many.begin() + 1, m.dir.at("ask/missing"));
  many.push_back(m.dir.at("ask"));
  std::vector<std::string> arguments{"-q", "catalog", "where", "--json", "-j", "3", m.catalog};
  arguments.insert(arguments.end(), many.begin(), many.end());
  const auto run = runCorvane(arguments);
  EXPECT_EQ(run.status, 1);
  std::vector<std::string> answered;
  for (const auto& line : lines(run.out)) answered.push_back(nlohmann::json::parse(line)["file"]);
  EXPECT_EQ(answered, all);
  EXPECT_NE(run.err.find(m.dir.at("ask/missing") + ": No such file"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(m.dir.at("ask") + ": "), std::string::npos) << run.err;
  // Every file held: status 0; no FILE is a usage error.
  EXPECT_EQ(runCorvane({"-q", "catalog", "where", m.catalog, at("alpha"), at("nas only")}).status, 0);
  EXPECT_EQ(runCorvane({"-q", "catalog", "where", m.catalog}).status, 2);
  EXPECT_EQ(runCorvane({"-q", "catalog", "where", m.dir.at("no.catalog"), at("alpha")}).status, 1);
}

// Names of `dupes -0` groups without the mark --probable puts before each.
std::pair<Groups, Groups> confirmedAndProbable(const std::string& out) {
  Groups confirmed, probable;
  for (const auto& group : nulGroups(out)) {
    Group names;
    bool isProbable = false;
    for (const auto& name : group) {
      const auto mark = name.find("  ");
      isProbable = name.starts_with("probable  ");
      names.insert(name.starts_with("probable  ") || name.starts_with("duplicate  ") ? name.substr(mark + 2) : name);
    }
    (isProbable ? probable : confirmed).insert(names);
  }
  return {confirmed, probable};
}

TEST(DupesCatalog, GroupsWhatJdupesFindsAcrossMachinesWithoutReadingAFile) {
  ASSERT_EQ(std::system("command -v jdupes >/dev/null"), 0) << "jdupes, the oracle, is missing: ./dev installs it";
  const TwoMachines m;
  // jdupes reads both trees; its names are mapped to the machine each tree stands for.
  const auto named = [&](const std::string& path) {
    return path.starts_with(m.nas + "/") ? "nas:" + path : m.here + ":" + path;
  };
  Groups theirs, theirsHere;
  for (const auto& group : nulGroups(runShell("jdupes -q -0 -r '" + m.laptop + "' '" + m.nas + "'").out)) {
    Group names, here;
    for (const auto& path : group) {
      names.insert(named(path));
      if (path.starts_with(m.laptop + "/")) here.insert(named(path));
    }
    theirs.insert(names);
    if (here.size() > 1) theirsHere.insert(here);
  }
  const auto bytesBefore = readBytes(m.catalog);
  struct Case {
    const char* name;
    std::vector<std::string> options;
  };
  const std::vector<Case> cases = {{"confirmed only", {}}, {"with probable groups", {"--probable"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments{"dupes", "-0", "--catalog", m.catalog};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const auto run = runCorvane(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    const auto [confirmed, probable] = confirmedAndProbable(run.out);
    // Confirmed: exactly jdupes's groups of the files that have a SHA-256 (this machine's).
    EXPECT_EQ(confirmed, theirsHere);
    if (c.options.empty()) {
      EXPECT_TRUE(probable.empty());
      // The NAS's four entries have no SHA-256: left out, and counted.
      EXPECT_NE(run.err.find("4 entries without SHA-256 left out"), std::string::npos) << run.err;
      continue;
    }
    // Probable: jdupes's groups that reach the NAS, and the look-alike its samples cannot tell.
    Groups expected;
    for (const auto& group : theirs) {
      if (std::any_of(group.begin(), group.end(), [](const std::string& n) { return n.starts_with("nas:"); }))
        expected.insert(group);
    }
    expected.insert({m.onLaptop("lookalike.bin"), m.onNas("lookalike.bin")});
    EXPECT_EQ(probable, expected);
  }
  // JSON: each group's size and SHA-256, as sha256sum says of its files.
  const auto json = runCorvane({"-q", "dupes", "--json", "--catalog", m.catalog});
  EXPECT_EQ(json.status, 0);
  std::size_t groups = 0;
  for (const auto& line : lines(json.out)) {
    const auto object = nlohmann::json::parse(line);
    ++groups;
    for (const auto& name : object["paths"]) {
      if (object.contains("paths_base64")) continue;
      EXPECT_EQ(object["sha256"], sha256sum(m.fileOf(name))) << name;
    }
  }
  EXPECT_EQ(groups, theirsHere.size());
  // No file read, nothing written.
  EXPECT_EQ(readBytes(m.catalog), bytesBefore);
}

TEST(DupesCatalog, CountsNamesOfOneFileOnceLeavesOutFlawedRowsAndRefusesWhatNeedsFiles) {
  TempDir dir;
  const auto tree = dir.at("tree"), catalog = dir.at("one.catalog");
  dir.write("tree/a", "same\n");
  ASSERT_EQ(::link(dir.at("tree/a").c_str(), dir.at("tree/a-link").c_str()), 0);
  dir.write("tree/b", "twin\n");
  dir.write("tree/c", "twin\n");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog, tree}).status, 0);
  const auto machine = tool::catalog::machineName();
  auto run = runCorvane({"-q", "dupes", "-0", "--catalog", catalog});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(nulGroups(run.out), (Groups{{machine + ":" + tree + "/b", machine + ":" + tree + "/c"}}));
  // A row that breaks the rules, with the twins' SHA-256: reported, never printed.
  sql(catalog,
      "INSERT INTO entry SELECT root, CAST('../../etc/passwd' AS BLOB), size, mtime, ctime, device, inode + 99, "
      "fingerprint, sha256, racy FROM entry WHERE path = CAST('b' AS BLOB)");
  run = runCorvane({"-q", "dupes", "-0", "--catalog", catalog});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(nulGroups(run.out), (Groups{{machine + ":" + tree + "/b", machine + ":" + tree + "/c"}}));
  EXPECT_NE(run.err.find("breaks the catalog's rules"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("passwd"), std::string::npos);
  // Rows of the twins' content whose path, digest or size is stored as another type: reported,
  // never printed nor grouped (text sorts apart from the same bytes).
  for (const char* crafted : {"CAST('as-text' AS TEXT), size, mtime, ctime, device, inode + 1, fingerprint, sha256",
                              "CAST('t' AS BLOB), size, mtime, ctime, device, inode + 2, fingerprint, "
                              "CAST(sha256 AS TEXT)",
                              "CAST('r' AS BLOB), size + 0.5, mtime, ctime, device, inode + 3, fingerprint, sha256"}) {
    sql(catalog,
        std::string("INSERT INTO entry SELECT root, ") + crafted + ", racy FROM entry WHERE path = CAST('b' AS BLOB)");
  }
  run = runCorvane({"-q", "dupes", "-0", "--catalog", catalog});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(nulGroups(run.out), (Groups{{machine + ":" + tree + "/b", machine + ":" + tree + "/c"}}));
  // A copy on another disk, scanned as another root, may carry the same numbers: still a copy.
  const auto other = dir.at("other");
  dir.write("other/d", "twin\n");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog, other}).status, 0);
  sql(catalog,
      "UPDATE entry SET (device, inode, mtime) = (SELECT device, inode, mtime FROM entry WHERE path = CAST('b' AS "
      "BLOB)) WHERE path = CAST('d' AS BLOB)");
  run = runCorvane({"-q", "dupes", "-0", "--catalog", catalog});
  EXPECT_EQ(nulGroups(run.out),
            (Groups{{machine + ":" + other + "/d", machine + ":" + tree + "/b", machine + ":" + tree + "/c"}}));
  for (const auto& misuse : std::vector<std::vector<std::string>>{
           {"--act", "link"}, {"--paranoid"}, {"-r", tree}, {tree}, {"--library", tree}, {"--json", "-0"}}) {
    std::vector<std::string> arguments{"-q", "dupes", "--catalog", catalog};
    arguments.insert(arguments.end(), misuse.begin(), misuse.end());
    EXPECT_EQ(runCorvane(arguments).status, 2) << misuse.front();
  }
}

}  // namespace
}  // namespace corvane::testing
