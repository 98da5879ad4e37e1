#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "catalog/store/store.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

// Writes a file again with other bytes of the same size, keeping its inode.
void rewriteSameSize(const fs::path& path, std::uint32_t seed) {
  const auto size = fs::file_size(path);
  std::ofstream(path, std::ios::binary | std::ios::in | std::ios::out) << patternText(size, seed);
}

struct Rescan {
  nlohmann::json counts;
  std::vector<std::string> listed;  // "change path" or "moved from -> path", relative to the tree
};

Rescan rescan(const std::string& catalog, const fs::path& tree) {
  const auto run = runCorvane({"-q", "catalog", "scan", "--json", catalog});
  EXPECT_EQ(run.status, 0) << run.err;
  Rescan result;
  const std::string prefix = tree.string() + "/";
  const auto relative = [&](const std::string& path) {
    return path.substr(path.starts_with(prefix) ? prefix.size() : 0);
  };
  for (const auto& line : lines(run.out)) {
    const auto object = nlohmann::json::parse(line);
    if (!object.contains("change")) {
      result.counts = object;
      continue;
    }
    const std::string change = object["change"];
    result.listed.push_back(change == "moved" ? "moved " + relative(object["from"]) + " -> " + relative(object["path"])
                                              : change + " " + relative(object["path"]));
  }
  return result;
}

TEST(CatalogScan, ReScanReadsOnlyWhatChangedAndNamesEachKindOfChange) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& tree)> change;
    std::vector<std::string> listed;
    int read;  // files whose content the re-scan read
  };
  const std::vector<Case> cases = {
      {"nothing", [](const fs::path&) {}, {}, 0},
      {"edit keeping the size", [](const fs::path& t) { rewriteSameSize(t / "b", 7); }, {"changed b"}, 1},
      {"edit with the modification time put back",
       [](const fs::path& t) {
         struct stat before {};
         ::stat((t / "b").c_str(), &before);
         rewriteSameSize(t / "b", 8);
         const timespec times[2] = {before.st_atim, before.st_mtim};
         ::utimensat(AT_FDCWD, (t / "b").c_str(), times, 0);  // the change time still moves
       },
       {"changed b"},
       1},
      {"rename", [](const fs::path& t) { fs::rename(t / "a", t / "sub/a2"); }, {"moved a -> sub/a2"}, 1},
      // The link changes the original's change time too: both are read, the original unchanged.
      {"hard link", [](const fs::path& t) { fs::create_hard_link(t / "a", t / "a-link"); }, {"new a-link"}, 2},
      {"delete", [](const fs::path& t) { fs::remove(t / "sub/d"); }, {"removed sub/d"}, 0},
      {"replace by a link",
       [](const fs::path& t) {
         fs::remove(t / "b");
         fs::create_symlink("a", t / "b");  // a walk leaves links out
       },
       {"removed b"},
       0},
      {"new file", [](const fs::path& t) { std::ofstream(t / "sub/e") << "new"; }, {"new sub/e"}, 1},
  };

  std::vector<std::unique_ptr<TempDir>> dirs;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    auto& dir = *dirs.emplace_back(std::make_unique<TempDir>());
    dir.write("tree/a", patternText(150'000, 1));
    dir.write("tree/b", patternText(5'000, 2));
    dir.write("tree/sub/c", patternText(300'000, 3));
    dir.write("tree/sub/d", "ten bytes!");
  }
  waitPastRacyWindow();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    const fs::path tree = dirs[i]->path() / "tree";
    const std::string catalog = dirs[i]->at("files.catalog");
    const auto first = runCorvane({"-q", "catalog", "scan", catalog, tree.string()});
    ASSERT_EQ(first.status, 0) << c.name << first.err;
    EXPECT_EQ(first.out, "4 new, 0 changed, 0 unchanged, 0 removed, 0 moved\n") << c.name;

    c.change(tree);
    const auto second = rescan(catalog, tree);
    EXPECT_EQ(second.listed, c.listed) << c.name;
    EXPECT_EQ(second.counts["read"], c.read) << c.name << " " << second.counts;
    EXPECT_EQ(second.counts["failed"], 0) << c.name;

    // What the catalog holds is what a fresh look at the tree gives.
    const auto exported = runCorvane({"catalog", "export", "--fingerprint", catalog});
    const auto fresh = runCorvane({"-q", "fingerprint", "-r", tree.string()});
    EXPECT_EQ(exported.status, 0) << c.name << exported.err;
    EXPECT_EQ(exported.out, fresh.out) << c.name;
  }
}

TEST(CatalogScan, NamesOfAnyBytesRoundTripAndHashesAreKeptForLaterScans) {
  TempDir dir;
  const std::vector<std::string> names = {
      "plain", "new\nline", "back\\slash", "carriage\rreturn", "\xff\xfe not UTF-8", "sub/spaces  and é"};
  for (const auto& name : names) dir.write("tree/" + name, "content of " + name);
  const auto tree = dir.at("tree");
  const auto catalog = dir.at("c.catalog");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", "--hash", catalog, tree}).status, 0);
  dir.write("tree/plain", "edited");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog}).status, 0);  // no --hash: still recorded

  const auto exported = runCorvane({"catalog", "export", catalog});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.out, runCorvane({"-q", "hash", "-r", tree}).out);
  const auto list = dir.write("exported.sha256", exported.out);
  EXPECT_EQ(std::system(("sha256sum --quiet -c '" + list + "'").c_str()), 0);
  EXPECT_EQ(runCorvane({"-q", "hash", "-c", list}).status, 0);

  const auto json = runCorvane({"catalog", "export", "--json", catalog});
  const auto rows = lines(json.out);
  ASSERT_EQ(rows.size(), names.size());
  std::set<std::string> exact;  // every name once, by its bytes: base64 where JSON cannot hold them
  for (const auto& row : rows) {
    const auto object = nlohmann::json::parse(row);
    EXPECT_TRUE(object["sha256"].is_string());
    EXPECT_TRUE(object["fingerprint"].is_string());
    exact.insert(object.contains("path_base64") ? runProgram("base64", {"-d"}, object["path_base64"]).out
                                                : object["path"].get<std::string>());
  }
  for (const auto& name : names) EXPECT_TRUE(exact.contains(tree + "/" + name)) << name;
}

TEST(CatalogScan, ALibraryIsRecordedByIdentifierWithImagesKnownBySha256) {
  TempDir dir;
  const fs::path library = dir.path() / "library";
  fs::copy(CORVANE_SOURCE_DIR "/examples/library", library, fs::copy_options::recursive);
  const auto catalog = dir.at("photos.catalog");
  waitPastRacyWindow();
  const auto first = runCorvane({"-q", "catalog", "scan", catalog, "--library", library.string()});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, "7 new, 0 changed, 0 unchanged, 0 removed, 0 moved\n");
  const auto again = runCorvane({"-q", "catalog", "scan", "--json", catalog});
  EXPECT_EQ(nlohmann::json::parse(lines(again.out).back())["read"], 0) << again.out;

  for (const auto& row : lines(runCorvane({"catalog", "export", "--json", catalog}).out)) {
    const auto object = nlohmann::json::parse(row);
    const std::string path = object["path"];
    const auto content = readBytes(path);
    if (path.ends_with(".avi")) {  // a video: its fingerprint, and its SHA-256
      EXPECT_EQ(object["fingerprint"], referenceFingerprint(content)) << path;
      EXPECT_EQ(object["sha256"], referenceSha256(content)) << path;
    } else {
      EXPECT_TRUE(object["fingerprint"].is_null()) << path;
      EXPECT_EQ(object["sha256"], referenceSha256(content)) << path;
    }
  }
  // The same files seen as a folder, with SHA-256: every asset matches its file.
  const auto diff = runCorvane({"-q", "catalog", "diff", "--hash", catalog, library.string()});
  EXPECT_EQ(diff.status, 0) << diff.out << diff.err;
  EXPECT_EQ(diff.out, "7 same, 0 changed, 0 moved, 0 only in A, 0 only in B, 0 held more than once in A, 0 in B\n");
}

TEST(CatalogScan, VerifyFindsContentThatChangedUnderUnchangedMetadata) {
  TempDir dir;
  dir.write("tree/kept", patternText(4'000, 1));
  dir.write("tree/rotten", patternText(4'000, 2));
  dir.write("tree/edited", patternText(4'000, 3));
  dir.write("tree/gone", patternText(4'000, 4));
  const auto catalog = dir.at("c.catalog");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", "--hash", catalog, dir.at("tree")}).status, 0);
  // Bit rot leaves every time stamp alone; a process cannot. So the record is made to disagree
  // with the disk instead, through SQLite's own shell, as the rot would.
  const std::string rot =
      "sqlite3 '" + catalog + "' \"UPDATE entry SET sha256 = zeroblob(32) WHERE CAST(path AS TEXT) = 'rotten'\"";
  ASSERT_EQ(std::system(rot.c_str()), 0);
  dir.write("tree/edited", patternText(4'000, 5));
  fs::remove(dir.path() / "tree/gone");

  const auto run = runCorvane({"-q", "catalog", "verify", catalog});
  EXPECT_EQ(run.status, 1);
  const auto root = dir.at("tree");
  EXPECT_EQ(run.out, "changed: " + root + "/edited\nmissing: " + root + "/gone\ncorrupt: " + root +
                         "/rotten\n2 re-read, 1 corrupt, 1 changed since the scan, 1 missing, 0 unreadable\n");
}

TEST(CatalogScan, MisuseIsRefusedBeforeAnyCatalogIsMade) {
  TempDir dir;
  const auto file = dir.write("file", "not a folder");
  const auto catalog = dir.at("never.catalog");
  struct Case {
    std::vector<std::string> arguments;
    int status;
  };
  const std::vector<Case> cases = {
      {{"catalog"}, 2},
      {{"catalog", "scan"}, 2},
      {{"catalog", "diff", catalog}, 2},
      {{"catalog", "scan", catalog, "-j", "0", dir.path().string()}, 2},
      {{"catalog", "export", "--no-such-option", catalog}, 2},
      {{"catalog", "verify", catalog}, 1},  // reading a catalog that is not there
      {{"catalog", "export", catalog}, 1},
  };
  for (const auto& c : cases) {
    const auto run = runCorvane(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments.back();
    EXPECT_FALSE(run.err.empty());
    EXPECT_FALSE(fs::exists(catalog)) << c.arguments.back();
  }
  // A path that is no folder is refused before the catalog is made.
  const auto scan = runCorvane({"catalog", "scan", catalog, file});
  EXPECT_EQ(scan.status, 1);
  EXPECT_NE(scan.err.find(file + ": not a folder"), std::string::npos) << scan.err;
  EXPECT_FALSE(fs::exists(catalog));
}

// A and B: B has a file moved, one duplicated, one corrupted between the fingerprint's samples
// (the same size, one byte), one added; A has one that B lacks.
struct Trees {
  TempDir dir;
  std::string a, b, big;
  Trees() {
    big = patternText(300'000, 5);
    std::string corrupted = big;
    corrupted[120'000] ^= 1;  // between the samples at 76800 + 16384 and 153600
    for (const char* side : {"a", "b"}) {
      dir.write(std::string(side) + "/keep", patternText(5'000, 1));
      dir.write(std::string(side) + "/dup", patternText(3'000, 3));
    }
    dir.write("a/moveme", patternText(8'000, 2));
    dir.write("a/big", big);
    dir.write("a/onlyA", patternText(1'000, 4));
    dir.write("b/moved/here", patternText(8'000, 2));
    dir.write("b/dup-copy", patternText(3'000, 3));
    dir.write("b/big", corrupted);
    dir.write("b/added", patternText(2'000, 6));
    a = dir.at("a");
    b = dir.at("b");
  }
  // Scans one side into a catalog of its own and returns the catalog's path.
  std::string scan(const std::string& tree, bool hash = false) const {
    const auto catalog = tree + (hash ? "-hashed" : "") + ".catalog";
    std::vector<std::string> arguments{"-q", "catalog", "scan", catalog, tree};
    if (!hash) arguments.push_back("--fingerprint-only");
    EXPECT_EQ(runCorvane(arguments).status, 0);
    return catalog;
  }
};

TEST(CatalogDiff, MovedDuplicatedCorruptedAndAddedFilesEachSaySo) {
  Trees trees;
  const auto catalogA = trees.scan(trees.a), catalogB = trees.scan(trees.b);
  const auto hashedA = trees.scan(trees.a, true), hashedB = trees.scan(trees.b, true);
  const std::string withSha256 =
      "changed: big\n"
      "moved: moveme -> moved/here\n"
      "only in A: onlyA\n"
      "only in B: added\n"
      "held 2 times in B: dup = dup-copy\n"
      "2 same, 1 changed, 1 moved, 1 only in A, 1 only in B, 0 held more than once in A, 1 in B\n";
  // Fingerprints alone cannot see the corrupted byte, and the output says what it rests on.
  const std::string fingerprintsOnly =
      "moved: moveme -> moved/here (fingerprint only)\n"
      "only in A: onlyA\n"
      "only in B: added\n"
      "held 2 times in B: dup = dup-copy (fingerprint only)\n"
      "3 same (3 by fingerprint only), 0 changed, 1 moved (1 by fingerprint only), 1 only in A, 1 only in B, "
      "0 held more than once in A, 1 in B\n";
  struct Case {
    std::vector<std::string> arguments;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{hashedA, hashedB}, withSha256},           {{catalogA, catalogB}, fingerprintsOnly},
      {{"--hash", trees.a, trees.b}, withSha256},  // folders, scanned for the diff
      {{hashedA, trees.b, "--hash"}, withSha256},  // a catalog against a folder
      {{hashedA, catalogB}, fingerprintsOnly},     // SHA-256 on one side only confirms nothing
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"-q", "catalog", "diff"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const auto run = runCorvane(arguments);
    EXPECT_EQ(run.status, 1) << c.arguments[0] << run.err;
    EXPECT_EQ(run.out, c.out) << c.arguments[0] << " " << c.arguments[1];
  }
  const auto same = runCorvane({"-q", "catalog", "diff", hashedA, trees.a});
  EXPECT_EQ(same.status, 0) << same.out;
}

TEST(CatalogDiff, MissingListsWhatBLacksAsDigestLinesThatCheck) {
  Trees trees;
  const auto catalogA = trees.scan(trees.a, true);
  const auto run = runCorvane({"-q", "catalog", "diff", "--missing", "--hash", catalogA, trees.b});
  EXPECT_EQ(run.status, 1);
  const auto onlyA = readBytes(trees.a + "/onlyA");
  EXPECT_EQ(run.out, referenceSha256(trees.big) + "  " + trees.a + "/big\n" + referenceSha256(onlyA) + "  " + trees.a +
                         "/onlyA\n");
  const auto list = trees.dir.write("to-send.sha256", run.out);
  EXPECT_EQ(std::system(("sha256sum --quiet -c '" + list + "'").c_str()), 0);

  // Without SHA-256 on A the lines carry fingerprints, which corvane checks.
  const auto fingerprints = runCorvane({"-q", "catalog", "diff", "--missing", trees.a, trees.b});
  EXPECT_EQ(lines(fingerprints.out).size(), 1u) << fingerprints.out;  // the corrupted file looks the same
  EXPECT_EQ(fingerprints.out, referenceFingerprint(onlyA) + "  " + trees.a + "/onlyA\n");
  const auto fingerprintList = trees.dir.write("to-send.fp", fingerprints.out);
  EXPECT_EQ(runCorvane({"-q", "fingerprint", "-c", fingerprintList}).status, 0);
}

TEST(CatalogDiff, MergedCatalogsKeepEachFolderFromItsLatestScan) {
  Trees trees;
  const auto catalogA = trees.scan(trees.a), catalogB = trees.scan(trees.b);
  const auto merged = trees.dir.at("merged.catalog");
  const auto run = runCorvane({"-q", "catalog", "merge", merged, catalogA, catalogB});
  ASSERT_EQ(run.status, 0) << run.err;
  // Both folders, each named where it lies.
  const auto both = runCorvane({"catalog", "export", "--fingerprint", merged});
  EXPECT_EQ(both.out, runCorvane({"-q", "fingerprint", "-r", trees.a, trees.b}).out);
  // A newer scan of A wins over the merged copy; the merged copy does not win over it.
  trees.dir.write("a/later", "later");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalogA}).status, 0);
  EXPECT_EQ(runCorvane({"-q", "catalog", "merge", merged, catalogA}).out,
            catalogA + ": 1 taken in, 0 kept (scanned as late or later here)\n");
  EXPECT_EQ(runCorvane({"-q", "catalog", "merge", catalogA, merged}).out,
            merged + ": 1 taken in, 1 kept (scanned as late or later here)\n");
  EXPECT_EQ(runCorvane({"catalog", "export", "--fingerprint", merged}).out,
            runCorvane({"-q", "fingerprint", "-r", trees.a, trees.b}).out);
  // Compared with one of its sources, the merged catalog holds that source's folder as it is, and
  // the other folder besides: nothing moved, nothing held twice.
  const auto diff = runCorvane({"-q", "catalog", "diff", merged, catalogB});
  EXPECT_EQ(diff.status, 1);
  const std::string dups = trees.b + "/dup = " + trees.b + "/dup-copy (fingerprint only)\n";
  EXPECT_EQ(diff.out, "held 2 times in A: " + dups + "held 2 times in B: " + dups +
                          "root only in A: " + tool::catalog::machineName() + ":" + trees.a +
                          " (6 entries)\n"
                          "6 same (6 by fingerprint only), 0 changed, 0 moved, 0 only in A, 0 only in B, 1 held more "
                          "than once in A, 1 in B; 1 root only in A, 0 only in B\n");
  EXPECT_EQ(runCorvane({"-q", "catalog", "diff", catalogA, catalogA}).status, 0);
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
  const auto tree = dir.at("tree");
  const auto good = dir.at("good.catalog");
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
         const auto path = dir.at("other.db");
         sql(path, "CREATE TABLE entry(path BLOB); INSERT INTO entry VALUES (x'00ff');");
         return path;
       },
       "an SQLite database, but not a corvane catalog"},
      {"a newer schema",
       [&] {
         const auto path = dir.at("newer.catalog");
         fs::copy_file(good, path);
         sql(path, "PRAGMA user_version = 99");
         return path;
       },
       "a catalog of a newer corvane (schema 99"},
      {"a table changed by hand",
       [&] {
         const auto path = dir.at("rebuilt.catalog");
         fs::copy_file(good, path);
         sql(path,
             "BEGIN; DROP VIEW files; CREATE TABLE e2(root, path, size, mtime, ctime, device, inode, fingerprint, "
             "sha256, racy); INSERT INTO e2 SELECT * FROM entry; DROP TABLE entry; ALTER TABLE e2 RENAME TO entry; "
             "COMMIT;");
         return path;
       },
       "is not as corvane makes it"},
      {"a damaged catalog",
       [&] {
         const auto path = dir.at("damaged.catalog");
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
    // A source refused before a new catalog is made: no empty catalog is left behind.
    EXPECT_EQ(runCorvane({"-q", "catalog", "merge", dir.at("new.catalog"), good, path}).status, 1) << c.name;
    EXPECT_FALSE(fs::exists(dir.at("new.catalog"))) << c.name;
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
    const auto content = patternText(1'000 + static_cast<std::size_t>(i) * 37 % 120'000, static_cast<std::uint32_t>(i));
    truth[dir.write("tree/" + name, content)] = referenceFingerprint(content);
  }
  waitPastRacyWindow();
  const auto tree = dir.at("tree");
  const auto catalog = dir.at("c.catalog");
  std::mt19937 random(20261206);
  std::size_t held = 0;
  for (int attempt = 0; attempt < 6; ++attempt) {
    // --hash and one call at a time make the scan long enough to be killed in its midst.
    const int pid = startCorvane({"-q", "catalog", "scan", "--hash", "-j", "1", catalog, tree});
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
  // The next scan, without --hash, reads only what the killed ones had not recorded, with the
  // hashes the first one was asked for.
  const auto finish = runCorvane({"-q", "catalog", "scan", "--json", catalog, tree});
  ASSERT_EQ(finish.status, 0) << finish.err;
  const auto counts = nlohmann::json::parse(lines(finish.out).back());
  EXPECT_EQ(counts["read"], truth.size() - held) << counts;
  EXPECT_EQ(counts["removed"], 0);
  const auto fingerprints = runCorvane({"-q", "fingerprint", "-r", tree}).out;
  EXPECT_EQ(runCorvane({"catalog", "export", "--fingerprint", catalog}).out, fingerprints);
  EXPECT_EQ(runCorvane({"catalog", "export", catalog}).out, runCorvane({"-q", "hash", "-r", tree}).out);

  // A catalog removed after a killed scan leaves its journal behind; a new catalog of that name
  // must not take it in.
  const int pid = startCorvane({"-q", "catalog", "scan", "-j", "1", catalog + "2", tree});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ::kill(pid, SIGKILL);
  waitFor(pid);
  fs::remove(catalog + "2");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog + "2", tree}).status, 0);
  EXPECT_EQ(runCorvane({"catalog", "export", "--fingerprint", catalog + "2"}).out, fingerprints);
}

TEST(CatalogSafety, ReadersWorkWhileAScanWrites) {
  TempDir dir;
  for (int i = 0; i < 3000; ++i)
    dir.write("tree/f" + std::to_string(i), patternText(2'000, static_cast<std::uint32_t>(i)));
  const auto tree = dir.at("tree");
  const auto catalog = dir.at("c.catalog");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog, tree}).status, 0);
  for (int i = 0; i < 3000; ++i)
    dir.write("tree/g" + std::to_string(i), patternText(2'000, static_cast<std::uint32_t>(i + 5000)));

  const int pid = startCorvane({"-q", "catalog", "scan", "--hash", "-j", "1", catalog});
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
