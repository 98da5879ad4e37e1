#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "support/loop_mount.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

// A file system to act on, or why there is none: where CI runs, which is root, a skip is a failure.
std::unique_ptr<LoopMount> disk(const std::string& type, std::uint64_t bytes, std::string* whyNot,
                                const std::vector<std::string>& options = {}) {
  auto mount = LoopMount::make(type, bytes, whyNot, options);
  if (!mount && std::getenv("CI") != nullptr) ADD_FAILURE() << "CI must mount file systems: " << *whyNot;
  return mount;
}

// The SHA-256 of every regular file below a folder: what must still be there at least once.
std::multiset<std::string> contents(const std::string& root) {
  std::multiset<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && !entry.is_symlink()) found.insert(referenceSha256(readBytes(entry.path())));
  }
  return found;
}

void expectAllPresent(const std::string& root, const std::set<std::string>& wanted) {
  const auto found = contents(root);
  for (const auto& digest : wanted) EXPECT_TRUE(found.contains(digest)) << "a content was lost: " << digest;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    EXPECT_EQ(entry.path().filename().string().rfind(".corvane-", 0), std::string::npos)
        << "a temporary name was left: " << entry.path();
  }
}

ino_t inodeOf(const std::string& path) {
  struct stat s {};
  return ::lstat(path.c_str(), &s) == 0 ? s.st_ino : 0;
}

// Lines of JSON, each parsed.
std::vector<nlohmann::json> jsonLines(const std::string& out) {
  std::vector<nlohmann::json> objects;
  for (const auto& line : lines(out)) {
    if (!line.empty()) objects.push_back(nlohmann::json::parse(line));
  }
  return objects;
}

// A tree of three copies, a file of other bytes of their size, and two names of one file with
// one more copy: in `root`, written to with their contents' digests known.
struct Copies {
  std::string root;
  std::set<std::string> digests;
  explicit Copies(std::string at) : root(std::move(at)) {
    const auto copy = patternText(300'000, 11), other = patternText(300'000, 12), small = patternText(5000, 13);
    put("a/one", copy);
    put("b/one", copy);
    put("b/c/one", copy);
    put("other", other);
    put("h/first", small);
    put("h/second", small);
    fs::create_hard_link(root + "/h/first", root + "/h/linked");
    // Dated a day back, as an archive's files are: none is still being written, so none needs
    // the wait for a write's time stamp to show.
    for (const char* name : {"a/one", "b/one", "b/c/one", "other", "h/first", "h/second"}) {
      fs::last_write_time(root + "/" + name, fs::file_time_type::clock::now() - std::chrono::hours(24));
    }
  }
  void put(const std::string& name, const std::string& bytes) {
    fs::create_directories(fs::path(root + "/" + name).parent_path());
    std::ofstream(root + "/" + name, std::ios::binary) << bytes;
    digests.insert(referenceSha256(bytes));
  }
  std::string at(const std::string& name) const { return root + "/" + name; }
};

TEST(DupesActions, LinkAndRemoveActOnEveryCopyOnExt4AndDryRunChangesNothing) {
  std::string whyNot;
  const auto mount = disk("ext4", 32 << 20, &whyNot);
  if (!mount) GTEST_SKIP() << whyNot;
  struct Case {
    std::vector<std::string> arguments;
    bool dryRun;
    bool removes;
  };
  const std::vector<Case> cases = {
      {{"--act", "link"}, false, false},
      {{"--act", "remove"}, false, true},
      {{"--act", "link", "--dry-run"}, true, false},
      {{"--act", "remove", "--dry-run", "--json"}, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[1] + (c.dryRun ? " dry" : ""));
    fs::remove_all(mount->path() + "/t");
    const Copies tree(mount->path() + "/t");
    const auto before = inodeOf(tree.at("b/one"));
    std::vector<std::string> arguments{"dupes", "-r", tree.root};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const auto run = runCorvane(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    // The copies of the first group and the one of the second; the second name of one file only
    // as a name of the file kept.
    EXPECT_NE(run.err.find("605000 bytes"), std::string::npos) << run.err;
    if (c.arguments.back() == "--json") {
      const auto records = jsonLines(run.out);
      ASSERT_EQ(records.size(), 3u) << run.out;
      for (const auto& record : records) EXPECT_EQ(record["outcome"], "would-do") << record;
    } else {
      EXPECT_EQ(lines(run.out).size(), 3u) << run.out;
    }
    if (c.dryRun) {
      EXPECT_EQ(inodeOf(tree.at("b/one")), before);
      EXPECT_TRUE(fs::exists(tree.at("b/c/one")));
    } else if (c.removes) {
      EXPECT_FALSE(fs::exists(tree.at("b/one")));
      EXPECT_FALSE(fs::exists(tree.at("b/c/one")));
      EXPECT_TRUE(fs::exists(tree.at("a/one")));
    } else {
      EXPECT_EQ(inodeOf(tree.at("b/one")), inodeOf(tree.at("a/one")));
      EXPECT_EQ(inodeOf(tree.at("b/c/one")), inodeOf(tree.at("a/one")));
    }
    expectAllPresent(tree.root, tree.digests);
  }
  // A copy on another file system: never linked across, refused with the reason.
  TempDir elsewhere;
  fs::remove_all(mount->path() + "/t");
  const Copies tree(mount->path() + "/t");
  const auto away = elsewhere.write("away", readBytes(tree.at("a/one")));
  const auto run = runCorvane({"-q", "dupes", "-r", tree.at("a"), away, "--act", "link"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.out.find("a hard link cannot cross"), std::string::npos) << run.out;
  EXPECT_EQ(readBytes(away), readBytes(tree.at("a/one")));
}

TEST(DupesActions, KeepRulesAndKeepInFoldersChooseTheFileKept) {
  TempDir dir;
  struct Case {
    std::vector<std::string> arguments;
    std::set<std::string> left;
  };
  const std::vector<Case> cases = {
      {{}, {"m/long name"}},
      {{"--keep", "oldest"}, {"z/old"}},
      {{"--keep", "newest"}, {"m/new"}},
      // As short as z/old, and earlier.
      {{"--keep", "shortest"}, {"m/new"}},
      {{"--keep-in", "m"}, {"m/long name", "m/new"}},
      {{"--keep-in", "z", "--keep", "newest"}, {"z/old"}},
      // Everything below kept folders: the group is left alone.
      {{"--keep-in", "m", "--keep-in", "z"}, {"m/long name", "m/new", "z/old"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.empty() ? "first" : c.arguments.back());
    const std::string root = dir.at("t");
    fs::remove_all(root);
    const auto copy = patternText(2000, 5);
    for (const char* name : {"m/long name", "m/new", "z/old"}) dir.write(std::string("t/") + name, copy);
    const auto now = fs::last_write_time(root + "/m/new");
    fs::last_write_time(root + "/m/long name", now - std::chrono::hours(1));
    fs::last_write_time(root + "/z/old", now - std::chrono::hours(2));
    std::vector<std::string> arguments{"-q", "dupes", "-r", "m", "z", "--act", "remove"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    // Relative names, from the tree's folder: --keep-in folders are matched whatever the names.
    const auto run = runShell("cd '" + root + "' && '" + corvanePath() + "'" + [&] {
      std::string quoted;
      for (const auto& a : arguments) quoted += " '" + a + "'";
      return quoted;
    }());
    EXPECT_EQ(run.status, 0) << run.err;
    std::set<std::string> left;
    for (const char* name : {"m/long name", "m/new", "z/old"}) {
      if (fs::exists(root + "/" + name)) left.insert(name);
    }
    EXPECT_EQ(left, c.left) << run.out;
  }
}

TEST(DupesActions, ReflinkSharesExtentsOnXfsOnceAndIsRefusedOnExt4) {
  std::string whyNot;
  const auto xfs = disk("xfs", 320 << 20, &whyNot, {"-m", "reflink=1"});
  if (!xfs) GTEST_SKIP() << whyNot;
  const auto ext4 = disk("ext4", 32 << 20, &whyNot);
  if (!ext4) GTEST_SKIP() << whyNot;
  {
    const Copies tree(xfs->path() + "/t");
    const auto before = inodeOf(tree.at("b/one"));
    const auto run = runCorvane({"dupes", "-r", tree.root, "--act", "reflink", "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::uint64_t shared = 0;
    for (const auto& record : jsonLines(run.out)) {
      EXPECT_EQ(record["outcome"], "done") << record;
      shared += record["bytes"].get<std::uint64_t>();
    }
    EXPECT_EQ(shared, 605'000u) << run.out;
    // Still files of their own: the names keep their inodes; readers see the same bytes.
    EXPECT_EQ(inodeOf(tree.at("b/one")), before);
    expectAllPresent(tree.root, tree.digests);
    // Shared already: nothing counted a second time.
    const auto again = runCorvane({"dupes", "-r", tree.root, "--act", "reflink"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find(" 0 bytes"), std::string::npos) << again.err;
    EXPECT_NE(again.out.find("already shares all its extents"), std::string::npos) << again.out;
  }
  {
    // Sparse copies: a hole shares nothing, and nothing is counted twice.
    const std::string sparse = xfs->path() + "/sparse";
    fs::create_directories(sparse);
    for (const char* name : {"/x", "/y"}) {
      std::ofstream(sparse + name, std::ios::binary) << patternText(1 << 20, 21);
      fs::resize_file(sparse + name, 10 << 20);
    }
    waitPastRacyWindow();
    std::vector<std::uint64_t> counted;
    for (int run = 0; run < 2; ++run) {
      const auto out = runCorvane({"dupes", "-r", sparse, "--act", "reflink", "--json"});
      EXPECT_EQ(out.status, 0) << out.err;
      const auto records = jsonLines(out.out);
      ASSERT_EQ(records.size(), 1u) << out.out;
      counted.push_back(records[0].value("bytes", std::uint64_t{0}));
    }
    EXPECT_LE(counted[0], std::uint64_t{1} << 20);
    EXPECT_EQ(counted[1], 0u);
  }
  {
    const Copies tree(ext4->path() + "/t");
    const auto run = runCorvane({"dupes", "-r", tree.root, "--act", "reflink"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(lines(run.out).size(), 3u) << run.out;
    for (const auto& line : lines(run.out)) {
      EXPECT_NE(line.find("cannot share extents"), std::string::npos) << line;
    }
    expectAllPresent(tree.root, tree.digests);
  }
}

// Every rule that keeps a copy: the report is made, the tree is tampered with, and the report is
// acted on. The files named are left as they are, the reason said, and the status is 1.
TEST(DupesActions, SafetyRulesLeaveEveryContentInPlace) {
  std::string whyNot;
  // Folders of one list of names, no hashed index: a folder full for one name is full for any longer.
  const auto mount = disk("ext4", 16 << 20, &whyNot, {"-b", "1024", "-O", "^dir_index"});
  if (!mount) GTEST_SKIP() << whyNot;
  struct Case {
    std::string name;
    std::vector<std::string> actions;
    std::function<void(Copies&, std::string& report)> tamper;
    std::string refusedPath;  // relative to the tree; empty: the report is refused whole
    std::string reason;
    std::function<void(Copies&)> undo = nullptr;
  };
  const std::string etcPasswd = referenceSha256(readBytes("/etc/passwd"));
  int writer = -1;
  const std::vector<Case> cases = {
      {"changed between report and action",
       {"link", "remove"},
       [](Copies& t, std::string&) { std::ofstream(t.at("b/one"), std::ios::binary) << patternText(300'000, 99); },
       "b/one",
       "modification time"},
      {"changed with its time set back",
       {"link", "remove"},
       [](Copies& t, std::string&) {
         const auto time = fs::last_write_time(t.at("b/one"));
         std::fstream file(t.at("b/one"), std::ios::binary | std::ios::in | std::ios::out);
         file.seekp(150'000);
         file << "x";
         file.close();
         fs::last_write_time(t.at("b/one"), time);
         t.digests.insert(referenceSha256(readBytes(t.at("b/one"))));
       },
       "b/one",
       "content differs"},
      {"a duplicate replaced by a link to /etc/passwd",
       {"link", "remove"},
       [](Copies& t, std::string&) {
         fs::remove(t.at("b/one"));
         fs::create_symlink("/etc/passwd", t.at("b/one"));
       },
       "b/one",
       "symbolic link"},
      {"a duplicate's folder replaced by a link to /etc",
       {"link", "remove"},
       [](Copies& t, std::string& report) {
         fs::rename(t.at("b/c"), t.at("moved"));
         fs::create_symlink("/etc", t.at("b/c"));
         // The report names /etc's passwd through the link, as if it were the copy.
         const auto from = report.find(t.at("b/c/one"));
         report.replace(from, t.at("b/c/one").size(), t.at("b/c/passwd"));
       },
       "b/c/passwd",
       "symbolic link"},
      {"the kept file removed before its duplicates",
       {"link", "remove"},
       [](Copies& t, std::string&) { fs::rename(t.at("a/one"), t.at("moved")); },
       "b/one",
       "kept file"},
      {"a forged report naming another file of the size",
       {"link", "remove"},
       [](Copies& t, std::string& report) {
         // The copies' group with "other", of their size, in place of b/one, its own status given.
         struct stat s {};
         ::stat(t.at("other").c_str(), &s);
         for (const auto& line : lines(report)) {
           if (line.find(t.at("a/one")) == std::string::npos) continue;
           auto forged = nlohmann::json::parse(line);
           for (std::size_t i = 0; i < forged["paths"].size(); ++i) {
             if (forged["paths"][i] != t.at("b/one")) continue;
             forged["paths"][i] = t.at("other");
             forged["files"][i] = {{"device", s.st_dev},
                                   {"inode", s.st_ino},
                                   {"size", s.st_size},
                                   {"modifiedNs", s.st_mtim.tv_sec * 1'000'000'000LL + s.st_mtim.tv_nsec}};
           }
           report = forged.dump() + "\n";
         }
       },
       "other",
       "content differs"},
      {"a duplicate held open for writing by another process",
       {"link", "remove"},
       [&](Copies& t, std::string&) { writer = ::open(t.at("b/one").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC); },
       "b/one",
       "open for writing",
       [&](Copies&) { ::close(writer); }},
      {"a duplicate of another owner",
       {"link"},
       [](Copies& t, std::string&) { ASSERT_EQ(::chown(t.at("b/one").c_str(), 65534, 65534), 0); },
       "b/one",
       "owner, group or permissions"},
      {"a malformed report",
       {"link", "remove"},
       [](Copies&, std::string& report) { report = report.substr(0, report.size() / 2) + "\n"; },
       "",
       "cannot be used"},
      {"an immutable folder",
       {"link", "remove"},
       [](Copies& t, std::string&) {
         ASSERT_EQ(runProgram("chattr", {"+i", t.at("b")}).status, 0);
       },
       "b/one",
       "Operation not permitted",
       [](Copies& t) {
         runProgram("chattr", {"-i", t.at("b")});
       }},
      {"a read-only file system",
       {"link", "remove"},
       [&](Copies&, std::string&) {
         ASSERT_EQ(runProgram("mount", {"-o", "remount,ro", mount->path()}).status, 0);
       },
       "b/one",
       "Read-only file system",
       [&](Copies&) {
         runProgram("mount", {"-o", "remount,rw", mount->path()});
       }},
      {"a full file system during link",
       {"link"},
       [](Copies& t, std::string&) {
         // No block left, and the duplicates' folders full of names: no room for one more. Both
         // folders, since a link done frees its duplicate's blocks.
         std::ofstream(t.at("fill"), std::ios::binary) << std::string(1 << 24, 'f');
         for (const char* folder : {"b/", "b/c/"}) {
           // Long names first, few to a block, so the blocks kept for the file system's own use run
           // out soon; then short ones, for what room is left in the last block.
           for (const std::size_t length : {200, 0}) {
             for (int i = 0; i < 60'000; ++i) {
               const auto name = t.at(folder + std::to_string(i) + std::string(length, 'n') + "x");
               if (::link(t.at("other").c_str(), name.c_str()) != 0) break;
             }
           }
         }
       },
       "b/one",
       "No space left"},
  };
  for (const auto& c : cases) {
    for (const auto& action : c.actions) {
      SCOPED_TRACE(c.name + ", " + action);
      fs::remove_all(mount->path() + "/t");
      Copies tree(mount->path() + "/t");
      const auto made = runCorvane({"-q", "dupes", "-r", "--json", tree.root});
      ASSERT_EQ(made.status, 0) << made.err;
      std::string report = made.out;
      c.tamper(tree, report);
      TempDir dir;
      const auto reportFile = dir.write("report.json", report);
      const auto keptInode = inodeOf(tree.at("a/one"));
      const auto run = runCorvane({"dupes", "--from", reportFile, "--act", action, "--keep-in", tree.at("a")});
      EXPECT_EQ(run.status, 1) << run.out << run.err;
      if (c.refusedPath.empty()) {
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
      } else {
        bool named = false;
        for (const auto& line : lines(run.out)) {
          if (line.find(tree.at(c.refusedPath) + "  kept") != std::string::npos) {
            named = true;
            EXPECT_TRUE(line.starts_with("refused") || line.starts_with("failed")) << line;
            EXPECT_NE(line.find(c.reason), std::string::npos) << line;
          }
        }
        EXPECT_TRUE(named) << run.out;
      }
      if (c.undo) c.undo(tree);
      EXPECT_EQ(inodeOf(tree.at("a/one")) == keptInode || !fs::exists(tree.at("a/one")), true);
      EXPECT_EQ(referenceSha256(readBytes("/etc/passwd")), etcPasswd);
      expectAllPresent(tree.root, tree.digests);
    }
  }
}

// A report read from standard input, its names exact even when they are not UTF-8; acting on it
// twice finds the work done.
TEST(DupesActions, AReportFromStandardInputNamesFilesExactly) {
  TempDir dir;
  const auto copy = patternText(3000, 31);
  const auto odd = dir.write("odd\xff\xfe name", copy);
  const auto plain = dir.write("z/plain", copy);
  const auto report = runCorvane({"-q", "dupes", "-r", "--json", dir.path().string()});
  ASSERT_EQ(report.status, 0) << report.err;
  ASSERT_NE(report.out.find("paths_base64"), std::string::npos) << report.out;
  const auto run =
      runCorvane({"-q", "dupes", "--from", "-", "--act", "link", "--json", "--keep-in", dir.at("z")}, report.out);
  EXPECT_EQ(run.status, 0) << run.err;
  const auto records = jsonLines(run.out);
  ASSERT_EQ(records.size(), 1u) << run.out;
  EXPECT_EQ(records[0]["outcome"], "done");
  EXPECT_TRUE(records[0].contains("path_base64")) << records[0];
  EXPECT_EQ(inodeOf(odd), inodeOf(plain));
  const auto again = runCorvane({"-q", "dupes", "--from", "-", "--act", "link", "--keep-in", dir.at("z")}, report.out);
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(again.out.starts_with("same-file")) << again.out;
  EXPECT_EQ(readBytes(odd), copy);
}

TEST(DupesActions, LibraryAssetsAreActedOnNeverOutsideTheLibrary) {
  TempDir dir;
  const auto photo = patternText(4000, 21);
  dir.write("library/Holidays/beach.jpg", photo);
  dir.write("library/Holidays/beach copy.jpg", photo);
  dir.write("library/Work/beach.jpg", photo);
  const auto outside = dir.write("outside.jpg", photo);
  const std::string library = dir.at("library");
  const auto report = runCorvane({"-q", "dupes", "--library", library, "--json"});
  ASSERT_EQ(report.status, 0) << report.err;
  auto group = nlohmann::json::parse(lines(report.out)[0]);
  ASSERT_EQ(group["assets"].size(), 3u) << report.out;
  // A report edited to reach out of the library: the whole group is refused.
  struct stat s {};
  ::stat(outside.c_str(), &s);
  for (const std::string& name : std::vector<std::string>{"../outside.jpg", outside}) {
    SCOPED_TRACE(name);
    auto forged = group;
    forged["assets"][2] = name;
    forged["files"][2]["device"] = s.st_dev;
    forged["files"][2]["inode"] = s.st_ino;
    forged["files"][2]["modifiedNs"] = s.st_mtim.tv_sec * 1'000'000'000LL + s.st_mtim.tv_nsec;
    const auto file = dir.write("forged.json", forged.dump() + "\n");
    const auto run = runCorvane({"dupes", "--library", library, "--from", file, "--act", "remove"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("not an asset"), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_EQ(contents(library).size(), 3u);
  }
  const auto run = runCorvane({"dupes", "--library", library, "--act", "remove", "--keep-in", library + "/Work"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(fs::exists(library + "/Work/beach.jpg"));
  EXPECT_EQ(contents(library).size(), 1u) << run.out;
  EXPECT_TRUE(fs::exists(outside));
}

// What the run did must be told: once a line cannot be written, nothing more is changed.
TEST(DupesActions, NothingMoreIsDoneOnceItsRecordCannotBeWritten) {
  TempDir dir;
  for (int i = 0; i < 6; ++i) dir.write("t/copy" + std::to_string(i), patternText(20'000, 31));
  waitPastRacyWindow();
  const auto run = runCorvane({"dupes", "-r", dir.at("t"), "--act", "remove"}, {}, Stdout::kFull);
  EXPECT_EQ(run.status, 1);
  std::size_t left = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.at("t"))) ++left;
  EXPECT_GE(left, 5u) << "removed on after the record of it failed";
}

// An overlay's merged view shows its lower layer's very file: that file is never removed as a
// duplicate of what the view shows.
TEST(DupesActions, AFileSeenThroughAnOverlayIsNeverRemovedAsItsOwnCopy) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting an overlay needs root";
  TempDir dir;
  for (const char* folder : {"lower", "upper", "work", "merged"}) fs::create_directories(dir.at(folder));
  const auto bytes = patternText(50'000, 41);
  dir.write("lower/p", bytes);
  waitPastRacyWindow();
  const auto mounted = runProgram(
      "mount", {"-t", "overlay", "overlay", "-o",
                "lowerdir=" + dir.at("lower") + ",upperdir=" + dir.at("upper") + ",workdir=" + dir.at("work"),
                dir.at("merged")});
  if (mounted.status != 0) GTEST_SKIP() << "no overlay here: " << mounted.err;
  const auto run =
      runCorvane({"dupes", dir.at("merged"), dir.at("lower"), "--act", "remove", "--keep-in", dir.at("merged")});
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("refused remove"), std::string::npos) << run.out;
  runProgram("umount", {dir.at("merged")});
  ASSERT_TRUE(fs::exists(dir.at("lower/p")));
  EXPECT_EQ(referenceSha256(readBytes(dir.at("lower/p"))), referenceSha256(bytes));
}

}  // namespace
}  // namespace corvane::testing
