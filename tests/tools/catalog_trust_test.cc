#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "catalog/catalog_command.h"
#include "catalog/store/store.h"
#include "support/faulty_file_system.h"
#include "support/loop_mount.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

void sql(const std::string& path, const std::string& statement) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

std::int64_t sqlCount(const std::string& path, const std::string& query) {
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  std::int64_t count = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    count = sqlite3_column_int64(statement, 0);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return count;
}

// A catalog command run inside this process on a file system that records what it reaches, with
// its output thrown away: what it reaches is the point.
int runInProcess(const std::shared_ptr<FaultyFileSystem>& files, const std::vector<std::string>& arguments) {
  tool::catalog::CatalogOptions options;
  tool::CommonOptions common;
  CLI::App app;
  tool::catalog::addCatalogCommand(app, options, common);
  std::vector<std::string> words{"catalog"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::reverse(words.begin(), words.end());  // as CLI11 takes a vector
  app.parse(words);
  common.quiet = true;
  common.plugin = binaryDirectory() + "/libcorvane.so.1";
  const int saved[2] = {::dup(1), ::dup(2)};
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ::dup2(null, 1);
  ::dup2(null, 2);
  const int status = *tool::catalog::runCatalogCommand(app, tool::Context{common, files}, options);
  for (int fd = 1; fd <= 2; ++fd) {
    ::dup2(saved[fd - 1], fd);
    ::close(saved[fd - 1]);
  }
  ::close(null);
  return status;
}

// Rows a catalog from elsewhere could hold, each with the metadata and SHA-256 of a file outside
// the scanned tree, so that a command that followed it would find it intact.
TEST(CatalogTrust, RowsThatBreakTheRulesAreNeverOpenedPrintedOrMergedAndFailEveryCommand) {
  TempDir dir;
  const auto tree = dir.at("tree");
  dir.write("tree/a.txt", "inside\n");
  const auto outside = dir.write("outside.txt", "a secret\n");
  struct stat st {};
  ASSERT_EQ(::stat(outside.c_str(), &st), 0);
  const std::string meta = std::to_string(st.st_size) + ", " +
                           std::to_string(st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec) + ", " +
                           std::to_string(st.st_ctim.tv_sec * 1'000'000'000LL + st.st_ctim.tv_nsec) + ", " +
                           std::to_string(st.st_dev) + ", " + std::to_string(st.st_ino) + ", NULL, x'" +
                           referenceSha256(readBytes(outside)) + "', 0";
  const auto entryRow = [&](const std::string& path, const std::string& numbers) {
    return "INSERT INTO entry VALUES (1, " + path + ", " + numbers + ")";
  };
  struct Case {
    const char* name;
    std::string rows;
  };
  const std::vector<Case> cases = {
      {"a path up out of the root", entryRow("CAST('../outside.txt' AS BLOB)", meta)},
      {"an absolute path", entryRow("CAST('" + outside + "' AS BLOB)", meta)},
      {"an empty segment", entryRow("CAST('x//../../outside.txt' AS BLOB)", meta)},
      {"a NUL byte", entryRow("CAST('a.txt' || char(0) || '/../../outside.txt' AS BLOB)", meta)},
      {"an empty path", entryRow("x''", meta)},
      {"a negative size", entryRow("CAST('c.txt' AS BLOB)", "-5" + meta.substr(meta.find(',')))},
      {"a digest of the wrong length", entryRow("CAST('b.txt' AS BLOB)", "1, 2, 3, 4, 5, x'00', NULL, 0")},
      {"a root that is not clean",
       "INSERT INTO root VALUES (7, CAST('" + tool::catalog::machineName() + "' AS BLOB), CAST('" + tree +
           "/..' AS BLOB), 0, 1, 1); INSERT INTO entry VALUES (7, CAST('outside.txt' AS BLOB), " + meta + ")"},
      {"a path stored as text rather than bytes", entryRow("'zz'", meta)},
      {"an entry whose root is not a number", "INSERT INTO entry VALUES ('one', CAST('zz' AS BLOB), " + meta + ")"},
      {"a relative root", "INSERT INTO root VALUES (7, CAST('" + tool::catalog::machineName() +
                              "' AS BLOB), CAST('relative/../root' AS BLOB), 0, 1, 1)"},
  };
  waitPastRacyWindow();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto catalog = dir.at("hostile.catalog");
    fs::remove(catalog);
    ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog, tree}).status, 0);
    sql(catalog, c.rows);
    const auto merged = dir.at("merged.catalog");
    fs::remove(merged);
    const std::vector<std::vector<std::string>> commands = {
        {"verify", catalog},
        {"export", catalog},
        {"export", "--json", catalog},
        {"diff", catalog, tree},
        {"diff", "--missing", catalog, tree},
        {"roots", catalog},
        {"merge", merged, catalog},
        {"scan", catalog},
    };
    for (const auto& command : commands) {
      std::vector<std::string> arguments{"-q", "catalog"};
      arguments.insert(arguments.end(), command.begin(), command.end());
      const auto run = runCorvane(arguments);
      EXPECT_EQ(run.status, 1) << command[0] << ": " << run.out << run.err;
      EXPECT_EQ(run.out.find("outside"), std::string::npos) << command[0] << ": " << run.out;
      EXPECT_EQ(run.out.find('\0'), std::string::npos) << command[0];
      EXPECT_EQ(run.out.find("/.."), std::string::npos) << command[0] << ": " << run.out;
      EXPECT_NE(run.err.find("breaks the catalog's rules"), std::string::npos) << command[0] << ": " << run.err;
    }
    EXPECT_EQ(sqlCount(merged, "SELECT count(*) FROM entry WHERE path != CAST('a.txt' AS BLOB)"), 0);
    EXPECT_EQ(sqlCount(merged, "SELECT count(*) FROM root"), 1);
    // verify reads entries: the outside file is never reached, not even looked at.
    const auto files = std::make_shared<FaultyFileSystem>();
    EXPECT_EQ(runInProcess(files, {"verify", catalog}), 1);
    for (const auto& [device, inode] : files->reached()) {
      EXPECT_FALSE(device == st.st_dev && inode == st.st_ino) << "verify reached the file outside the tree";
    }
  }
}

// Bytes written behind a restored modification time, a chmod, a file replaced: verify judges by
// size and modification time, and re-reads whatever else moved.
TEST(CatalogTrust, VerifyCallsContentCorruptUnderAnUnchangedSizeAndModificationTime) {
  TempDir dir;
  const std::string big = patternText(3'000'000, 1);
  struct Case {
    const char* name;
    std::function<void(const std::string& file)> change;
    const char* line;  // "" when verify must find nothing
    int status;
  };
  const auto keepTimes = [](const std::string& file, const std::function<void()>& act) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    act();
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
  };
  const std::vector<Case> cases = {
      {"bytes between the samples, time put back",
       [&](const std::string& file) {
         keepTimes(file, [&] {
           std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
           out.seekp(1'200'000);
           out << "tampered";
         });
       },
       "corrupt, its change time moved too: ", 1},
      {"a chmod alone", [](const std::string& file) { ::chmod(file.c_str(), 0600); }, "", 0},
      {"a copy with the same time put in its place",
       [&](const std::string& file) {
         keepTimes(file, [&] {
           fs::copy_file(file, file + ".new");
           fs::rename(file + ".new", file);
         });
       },
       "", 0},
      {"a new modification time", [&](const std::string&) { dir.write("tree/big", big); }, "changed: ", 0},
  };
  waitPastRacyWindow();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto file = dir.write("tree/big", big);
    const auto catalog = dir.at("c.catalog");
    fs::remove(catalog);
    ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog, dir.at("tree")}).status, 0);
    c.change(file);
    const auto run = runCorvane({"-q", "catalog", "verify", catalog});
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    const auto found = lines(run.out);
    ASSERT_FALSE(found.empty());
    if (*c.line == '\0') {
      EXPECT_EQ(found.size(), 1u) << run.out;
    } else {
      EXPECT_EQ(found.front(), c.line + file) << run.out;
    }
  }
}

// A root swapped for a link since its scan is not the folder recorded: neither read nor scanned.
TEST(CatalogTrust, ARootSwappedForALinkIsNeitherVerifiedNorScanned) {
  TempDir dir;
  dir.write("tree/a", "a\n");
  dir.write("elsewhere/a", "a\n");
  dir.write("elsewhere/b", "b\n");
  const auto catalog = dir.at("c.catalog");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog, dir.at("tree")}).status, 0);
  fs::rename(dir.at("tree"), dir.at("tree.old"));
  fs::create_directory_symlink(dir.at("elsewhere"), dir.at("tree"));
  for (const char* command : {"verify", "scan"}) {
    const auto run = runCorvane({"-q", "catalog", command, catalog});
    EXPECT_EQ(run.status, 1) << command << ": " << run.out;
    EXPECT_NE(run.err.find("leads through a link now"), std::string::npos) << command << ": " << run.err;
  }
  EXPECT_EQ(sqlCount(catalog, "SELECT count(*) FROM entry"), 1);
}

// Bit rot: bytes of a file flipped in the image of an unmounted file system, where no time
// stamp can show it.
TEST(CatalogTrust, VerifyFindsBytesFlippedOnAnUnmountedFileSystem) {
  std::string whyNot;
  const auto disk = LoopMount::make("ext4", 64 << 20, &whyNot);
  if (!disk) GTEST_SKIP() << whyNot;
  const std::string marker = "corvane-bit-rot-marker:";
  std::vector<std::string> files;
  for (int i = 0; i < 3; ++i) {
    std::string content = patternText(1'000'000, static_cast<std::uint32_t>(i + 3));
    content.replace(600'000, marker.size() + 1, marker + std::to_string(i));  // between the samples
    files.push_back(disk->path() + "/file" + std::to_string(i));
    std::ofstream(files.back(), std::ios::binary) << content;
  }
  TempDir dir;
  const auto catalog = dir.at("disk.catalog");
  waitPastRacyWindow();
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog, disk->path()}).status, 0);
  ASSERT_TRUE(disk->unmount());
  {
    std::fstream image(disk->image(), std::ios::binary | std::ios::in | std::ios::out);
    const std::string bytes((std::istreambuf_iterator<char>(image)), std::istreambuf_iterator<char>());
    for (auto at = bytes.find(marker); at != std::string::npos; at = bytes.find(marker, at + 1)) {
      image.seekp(static_cast<std::streamoff>(at));
      image.put('C');  // for 'c': one bit
    }
  }
  ASSERT_TRUE(disk->mount());
  const auto run = runCorvane({"-q", "catalog", "verify", catalog});
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  for (const auto& file : files) EXPECT_NE(run.out.find("corrupt: " + file + "\n"), std::string::npos) << run.out;
}

// Readers need no write access: a catalog alone (no journal beside it) in a folder the user
// cannot write, read as another user.
TEST(CatalogTrust, ACatalogInAReadOnlyFolderIsReadByAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  TempDir dir;
  dir.write("tree/a", "a\n");
  const auto made = dir.at("made.catalog");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", made, dir.at("tree")}).status, 0);
  const auto folder = dir.at("readonly");
  fs::create_directory(folder);
  fs::copy_file(made, folder + "/c.catalog");
  ::chmod((folder + "/c.catalog").c_str(), 0444);
  ::chmod(folder.c_str(), 0555);
  ::chmod(dir.path().c_str(), 0755);
  const auto asNobody = [&](const std::vector<std::string>& arguments) {
    std::vector<std::string> all{"--reuid=65534", "--regid=65534", "--clear-groups", corvanePath()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return runProgram("setpriv", all);
  };
  if (asNobody({"--version"}).status != 0) GTEST_SKIP() << "the built command cannot be run as nobody here";
  const auto exported = asNobody({"catalog", "export", folder + "/c.catalog"});
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.out, referenceSha256(std::string("a\n")) + "  " + dir.at("tree/a") + "\n");
  for (const char* command : {"roots", "verify"}) {
    const auto run = asNobody({"-q", "catalog", command, folder + "/c.catalog"});
    EXPECT_EQ(run.status, 0) << command << ": " << run.err;
  }
  EXPECT_EQ(asNobody({"-q", "catalog", "diff", folder + "/c.catalog", made}).status, 0);
  EXPECT_EQ(fs::directory_iterator(folder) == fs::directory_iterator(), false);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

// Scans of one catalog take turns: two at once count every file once between them.
TEST(CatalogTrust, TwoScansAtOnceTakeTurns) {
  TempDir dir;
  for (int i = 0; i < 400; ++i) dir.write("tree/f" + std::to_string(i), patternText(20'000, static_cast<unsigned>(i)));
  const auto catalog = dir.at("c.catalog");
  const std::string scan = corvanePath() + " -q catalog scan --json '" + catalog + "' '" + dir.at("tree") + "'";
  const auto run = runShell("(" + scan + " > " + dir.at("one") + ") & (" + scan + " > " + dir.at("two") + "); wait");
  ASSERT_EQ(run.status, 0) << run.err;
  std::size_t added = 0;
  for (const char* name : {"one", "two"}) {
    const auto counts = nlohmann::json::parse(lines(readBytes(dir.at(name))).back());
    added += counts["new"].get<std::size_t>();
  }
  EXPECT_EQ(added, 400u);
  EXPECT_EQ(sqlCount(catalog, "SELECT count(*) FROM entry"), 400);
}

// A scan that runs out of space fails; once space is free the next one completes, and the
// write-ahead log holds nothing after it.
TEST(CatalogTrust, AScanOnAFullDiskFailsAndTheNextOneCompletesOnceThereIsSpace) {
  std::string whyNot;
  const auto disk = LoopMount::make("ext4", 8 << 20, &whyNot);
  if (!disk) GTEST_SKIP() << whyNot;
  TempDir dir;
  for (int i = 0; i < 3000; ++i) dir.write("tree/file-with-a-long-name-" + std::to_string(i), std::to_string(i));
  const auto catalog = disk->path() + "/c.catalog";
  const auto filler = disk->path() + "/filler";
  // Fill the disk, all but a little.
  runProgram("dd", {"if=/dev/zero", "of=" + filler, "bs=64k"});
  fs::resize_file(filler, fs::file_size(filler) - (192 << 10));
  const auto full = runCorvane({"-q", "catalog", "scan", catalog, dir.at("tree")});
  EXPECT_EQ(full.status, 1) << full.out;
  fs::remove(filler);
  const auto next = runCorvane({"-q", "catalog", "scan", catalog, dir.at("tree")});
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(sqlCount(catalog, "SELECT count(*) FROM entry"), 3000);
  EXPECT_FALSE(fs::exists(catalog + "-wal") && fs::file_size(catalog + "-wal") != 0);
}

// A catalog kept in the tree it scans, a folder inside a root, and roots listed and forgotten.
TEST(CatalogRoots, PartsOfARootAreScannedAsItsOwnAndRootsAreListedAndForgotten) {
  TempDir dir;
  dir.write("tree/a", "a\n");
  dir.write("tree/sub/b", "b\n");
  const auto tree = dir.at("tree");
  const auto catalog = dir.at("tree/own.catalog");  // inside the tree it scans
  waitPastRacyWindow();
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalog, tree}).out,
            "2 new, 0 changed, 0 unchanged, 0 removed, 0 moved\n");
  // Its own files are never entries, however often it is written.
  EXPECT_EQ(runCorvane({"-q", "catalog", "scan", catalog}).out, "0 new, 0 changed, 2 unchanged, 0 removed, 0 moved\n");
  dir.write("tree/sub/c", "c\n");
  fs::remove(dir.at("tree/a"));
  const auto part = runCorvane({"-q", "catalog", "scan", catalog, dir.at("tree/sub")});
  EXPECT_EQ(part.out, "1 new, 0 changed, 1 unchanged, 0 removed, 0 moved\n");  // "a", outside the part, stays
  EXPECT_NE(part.err.find("scanning that part of it"), std::string::npos) << part.err;
  const auto roots = runCorvane({"catalog", "roots", "--json", catalog});
  ASSERT_EQ(lines(roots.out).size(), 1u) << roots.out;
  const auto root = nlohmann::json::parse(roots.out);
  EXPECT_EQ(root["path"], tree);
  EXPECT_EQ(root["entries"], 3);
  EXPECT_EQ(root["sha256"], true);
  // A root not in the catalog: nothing is forgotten.
  EXPECT_EQ(runCorvane({"-q", "catalog", "forget", catalog, tree, dir.at("elsewhere")}).status, 1);
  EXPECT_EQ(sqlCount(catalog, "SELECT count(*) FROM entry"), 3);
  const auto forgot = runCorvane({"-q", "catalog", "forget", catalog, tool::catalog::machineName() + ":" + tree});
  EXPECT_EQ(forgot.status, 0) << forgot.err;
  EXPECT_EQ(sqlCount(catalog, "SELECT count(*) FROM entry") + sqlCount(catalog, "SELECT count(*) FROM root"), 0);
}

}  // namespace
}  // namespace corvane::testing
