#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <memory>

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

// Writes a file again with other bytes of the same size, keeping its inode.
void rewriteSameSize(const fs::path& path, std::uint32_t seed) {
  const auto size = fs::file_size(path);
  std::ofstream(path, std::ios::binary | std::ios::in | std::ios::out) << bytes(size, seed);
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
  const auto relative = [&](const std::string& path) { return path.substr(path.starts_with(prefix) ? prefix.size() : 0); };
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
    dir.write("tree/a", bytes(150'000, 1));
    dir.write("tree/b", bytes(5'000, 2));
    dir.write("tree/sub/c", bytes(300'000, 3));
    dir.write("tree/sub/d", "ten bytes!");
  }
  waitPastRacyWindow();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    const fs::path tree = dirs[i]->path() / "tree";
    const std::string catalog = (dirs[i]->path() / "files.catalog").string();
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
  const std::vector<std::string> names = {"plain", "new\nline", "back\\slash", "carriage\rreturn", "\xff\xfe not UTF-8",
                                          "sub/spaces  and é"};
  for (const auto& name : names) dir.write("tree/" + name, "content of " + name);
  const auto tree = (dir.path() / "tree").string();
  const auto catalog = (dir.path() / "c.catalog").string();
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
  for (const auto& row : rows) {
    const auto object = nlohmann::json::parse(row);
    EXPECT_TRUE(object["sha256"].is_string());
    EXPECT_TRUE(object["fingerprint"].is_string());
  }
}

TEST(CatalogScan, ALibraryIsRecordedByIdentifierWithImagesKnownBySha256) {
  TempDir dir;
  const fs::path library = dir.path() / "library";
  fs::copy(CORVANE_SOURCE_DIR "/examples/library", library, fs::copy_options::recursive);
  const auto catalog = (dir.path() / "photos.catalog").string();
  waitPastRacyWindow();
  const auto first = runCorvane({"-q", "catalog", "scan", catalog, "--library", library.string()});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, "7 new, 0 changed, 0 unchanged, 0 removed, 0 moved\n");
  const auto again = runCorvane({"-q", "catalog", "scan", "--json", catalog});
  EXPECT_EQ(nlohmann::json::parse(lines(again.out).back())["read"], 0) << again.out;

  for (const auto& row : lines(runCorvane({"catalog", "export", "--json", catalog}).out)) {
    const auto object = nlohmann::json::parse(row);
    const std::string path = object["path"];
    const std::string content = readBytes(path);
    if (path.ends_with(".avi")) {  // a video: its fingerprint, and SHA-256 only when asked for
      EXPECT_EQ(object["fingerprint"], referenceFingerprint(content)) << path;
      EXPECT_TRUE(object["sha256"].is_null()) << path;
    } else {
      EXPECT_TRUE(object["fingerprint"].is_null()) << path;
      EXPECT_EQ(object["sha256"], referenceSha256({content.begin(), content.end()})) << path;
    }
  }
  // The same files seen as a folder, with SHA-256: every asset matches its file, the videos by
  // their fingerprints only.
  const auto diff = runCorvane({"-q", "catalog", "diff", "--hash", catalog, library.string()});
  EXPECT_EQ(diff.status, 0) << diff.out << diff.err;
  EXPECT_EQ(diff.out,
            "7 same (2 by fingerprint only), 0 changed, 0 moved, 0 only in A, 0 only in B, 0 held more than once in A, "
            "0 in B\n");
}

TEST(CatalogScan, VerifyFindsContentThatChangedUnderUnchangedMetadata) {
  TempDir dir;
  dir.write("tree/kept", bytes(4'000, 1));
  dir.write("tree/rotten", bytes(4'000, 2));
  dir.write("tree/edited", bytes(4'000, 3));
  dir.write("tree/gone", bytes(4'000, 4));
  const auto catalog = (dir.path() / "c.catalog").string();
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", "--hash", catalog, (dir.path() / "tree").string()}).status, 0);
  // Bit rot leaves every time stamp alone; a process cannot. So the record is made to disagree
  // with the disk instead, through SQLite's own shell, as the rot would.
  const std::string rot = "sqlite3 '" + catalog +
                          "' \"UPDATE entry SET sha256 = zeroblob(32) WHERE CAST(path AS TEXT) = 'rotten'\"";
  ASSERT_EQ(std::system(rot.c_str()), 0);
  dir.write("tree/edited", bytes(4'000, 5));
  fs::remove(dir.path() / "tree/gone");

  const auto run = runCorvane({"-q", "catalog", "verify", catalog});
  EXPECT_EQ(run.status, 1);
  const auto root = (dir.path() / "tree").string();
  EXPECT_EQ(run.out, "changed: " + root + "/edited\nmissing: " + root + "/gone\ncorrupt: " + root +
                         "/rotten\n2 re-read, 1 corrupt, 1 changed since the scan, 1 missing, 0 unreadable\n");
}

}  // namespace
}  // namespace corvane::testing

namespace corvane::testing {
namespace {

TEST(CatalogScan, MisuseIsRefusedBeforeAnyCatalogIsMade) {
  TempDir dir;
  const auto file = dir.write("file", "not a folder");
  const auto catalog = (dir.path() / "never.catalog").string();
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

}  // namespace
}  // namespace corvane::testing
