#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <map>
#include <random>
#include <thread>

#include "support/run_command.h"
#include "support/temp_dir.h"
#include "tools/catalog_support.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

std::string bytes(std::size_t size, std::uint32_t seed) {
  const auto pattern = patternBytes(size, seed);
  return {pattern.begin(), pattern.end()};
}

void sql(const std::string& path, const char* statement) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST(CatalogSafety, WhatIsNotASoundCatalogOfOursIsRefusedAndLeftByteForByte) {
  TempDir dir;
  for (int i = 0; i < 400; ++i) dir.write("tree/f" + std::to_string(i), "file " + std::to_string(i));
  const auto tree = (dir.path() / "tree").string();
  const auto good = (dir.path() / "good.catalog").string();
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", good, tree}).status, 0);

  struct Case {
    const char* name;
    std::function<std::string()> make;  // returns the file's path
    const char* says;
  };
  const std::vector<Case> cases = {
      {"a text file", [&] { return dir.write("notes.txt", "shopping list\n"); }, "not a corvane catalog"},
      {"an empty file", [&] { return dir.write("empty", ""); }, "not a corvane catalog"},
      {"another program's database",
       [&] {
         const auto path = (dir.path() / "other.db").string();
         sql(path, "CREATE TABLE entry(path BLOB); INSERT INTO entry VALUES (x'00ff');");
         return path;
       },
       "an SQLite database, but not a corvane catalog"},
      {"a newer schema",
       [&] {
         const auto path = (dir.path() / "newer.catalog").string();
         fs::copy_file(good, path);
         sql(path, "PRAGMA user_version = 2");
         return path;
       },
       "a catalog of a newer corvane (schema 2"},
      {"a damaged catalog",
       [&] {
         const auto path = (dir.path() / "damaged.catalog").string();
         fs::copy_file(good, path);
         std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
         file.seekp(4 * 4096);  // the header of the entries' first page
         file << std::string(16, '\x5a');
         return path;
       },
       "damaged"},
  };
  for (const auto& c : cases) {
    const auto path = c.make();
    const auto before = readBytes(path);
    // Writers refuse before writing; readers may fail on what they read, but write nothing.
    const auto scan = runCorvane({"-q", "catalog", "scan", path, tree});
    EXPECT_EQ(scan.status, 1) << c.name;
    EXPECT_NE(scan.err.find(c.says), std::string::npos) << c.name << ": " << scan.err;
    EXPECT_NE(scan.err.find("left as it is"), std::string::npos) << c.name << ": " << scan.err;
    EXPECT_EQ(runCorvane({"-q", "catalog", "merge", path, good}).status, 1) << c.name;
    EXPECT_EQ(runCorvane({"-q", "catalog", "merge", good, path}).status, 1) << c.name;
    for (const char* reader : {"export", "verify"}) runCorvane({"-q", "catalog", reader, path});
    runCorvane({"-q", "catalog", "diff", path, tree});
    EXPECT_TRUE(readBytes(path) == before) << c.name << ": the file was changed";
  }
  // The sound catalog went through all of it unharmed.
  EXPECT_EQ(runCorvane({"-q", "catalog", "diff", good, tree}).status, 0);
}

TEST(CatalogSafety, AScanKilledAnywhereKeepsWhatItCommittedAndTheNextOneFinishes) {
  TempDir dir;
  std::map<std::string, std::string> truth;  // path -> fingerprint
  for (int i = 0; i < 2500; ++i) {
    std::string name = "d";  // appended piece by piece: GCC 12 warns falsely (-Wrestrict) on one long concatenation
    name.append(std::to_string(i % 10)).append("/f").append(std::to_string(i));
    const auto content = bytes(1'000 + static_cast<std::size_t>(i) * 37 % 120'000, static_cast<std::uint32_t>(i));
    truth[dir.write("tree/" + name, content)] = referenceFingerprint(content);
  }
  waitPastRacyWindow();
  const auto tree = (dir.path() / "tree").string();
  const auto catalog = (dir.path() / "c.catalog").string();
  std::mt19937 random(20261206);
  std::size_t held = 0;
  for (int attempt = 0; attempt < 6; ++attempt) {
    // --hash and one call at a time make the scan long enough to be killed in its midst.
    const int pid = spawnCorvane({"-q", "catalog", "scan", "--hash", "-j", "1", catalog, tree});
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution(0, 500)(random)));
    ::kill(pid, SIGKILL);
    waitFor(pid);

    if (!fs::exists(catalog)) continue;  // killed before it was made: a catalog is made whole or not at all
    const auto exported = runCorvane({"catalog", "export", "--json", catalog});
    ASSERT_EQ(exported.status, 0) << "attempt " << attempt << ": " << exported.err;
    const auto rows = lines(exported.out);
    EXPECT_GE(rows.size(), held) << "a committed entry was lost";
    held = rows.size();
    for (const auto& row : rows) {
      const auto object = nlohmann::json::parse(row);
      EXPECT_EQ(object["fingerprint"], truth.at(object["path"])) << object["path"];
      EXPECT_TRUE(object["sha256"].is_string());
    }
  }
  // The next scan reads only what the killed ones had not recorded.
  const auto finish = runCorvane({"-q", "catalog", "scan", "--json", catalog, tree});
  ASSERT_EQ(finish.status, 0) << finish.err;
  const auto counts = nlohmann::json::parse(lines(finish.out).back());
  EXPECT_EQ(counts["read"], truth.size() - held) << counts;
  EXPECT_EQ(counts["removed"], 0);
  EXPECT_EQ(runCorvane({"catalog", "export", "--fingerprint", catalog}).out, runCorvane({"-q", "fingerprint", "-r", tree}).out);
}

TEST(CatalogSafety, ReadersWorkWhileAScanWrites) {
  TempDir dir;
  for (int i = 0; i < 3000; ++i) dir.write("tree/f" + std::to_string(i), bytes(2'000, static_cast<std::uint32_t>(i)));
  const auto tree = (dir.path() / "tree").string();
  const auto catalog = (dir.path() / "c.catalog").string();
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog, tree}).status, 0);
  for (int i = 0; i < 3000; ++i) dir.write("tree/g" + std::to_string(i), bytes(2'000, static_cast<std::uint32_t>(i + 5000)));

  const int pid = spawnCorvane({"-q", "catalog", "scan", "--hash", "-j", "1", catalog});
  ASSERT_GT(pid, 0);
  int reads = 0;
  for (; reads < 40; ++reads) {
    const auto exported = runCorvane({"catalog", "export", "--fingerprint", catalog});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_GE(lines(exported.out).size(), 3000u);
    // Each side is read in one transaction, so the two may see different moments: they may
    // differ, but nothing may fail.
    const auto diff = runCorvane({"-q", "catalog", "diff", catalog, catalog});
    ASSERT_TRUE(diff.status == 0 || diff.status == 1);
    EXPECT_EQ(diff.err, "");
  }
  EXPECT_EQ(waitFor(pid), 0);
  EXPECT_EQ(lines(runCorvane({"catalog", "export", catalog}).out).size(), 6000u);
}

}  // namespace
}  // namespace corvane::testing
