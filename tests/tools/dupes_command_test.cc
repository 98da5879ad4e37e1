#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "support/loop_mount.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;
using Group = std::set<std::string>;
using Groups = std::set<Group>;

// Larger than the fingerprint's whole-file limit: samples at 0, 75000, 150000, 225000 and
// 283616, 16384 bytes each. Offsets 40000 and 200000 fall between them.
constexpr std::size_t kLarge = 300'000;
// 21 files of this size make a group wider than the command compares in step.
constexpr std::size_t kMany = 110'000;

std::vector<std::uint8_t> flipped(std::vector<std::uint8_t> bytes, std::size_t offset) {
  bytes[offset] ^= 0x5a;
  return bytes;
}

// A tree with known groups, and traps that a careless finder falls into. Names are relative to
// `root`; `outside` is a folder that only a followed link leads to.
struct TrapTree {
  TempDir dir;
  std::string root = (dir.path() / "tree").string();
  std::string outside = (dir.path() / "outside").string();

  TrapTree() {
    const auto small = patternBytes(1000, 1), large = patternBytes(kLarge, 3), many = patternBytes(kMany, 7);
    for (const char* name : {"small/a", "small/b copy", "deep/x/a"}) put(name, small);
    put("small/c", patternBytes(1000, 2));  // the same size, other bytes
    put("big/orig", large);
    put("big/copy", large);
    // Same size and the same five samples as big/orig: the fingerprint cannot tell them apart.
    put("big/trap1", flipped(large, 40'000));
    put("big/trap2", flipped(large, 40'000));
    put("big/trap3", flipped(large, 200'000));
    for (int i = 0; i < 19; ++i) put("many/m" + std::to_string(10 + i), many);
    put("many/t1", flipped(many, 50'000));
    put("many/t2", flipped(many, 50'000));
    const auto odd = patternBytes(777, 6);
    for (const char* name : {"names/with space", "names/new\nline", "names/odd\xff\xfe", "names/back\\slash"})
      put(name, odd);
    put("e1", "");
    put("e2", "");
    put("hl/one", patternBytes(5000, 4));
    fs::create_directories(root + "/links");
    fs::create_hard_link(root + "/hl/one", root + "/hl/two");
    fs::create_hard_link(root + "/big/orig", root + "/links/hard");
    fs::create_symlink("../big/copy", root + "/links/sym");
    fs::create_symlink("../../outside", root + "/links/dir");
    dir.write("outside/dup", small);
    dir.write("outside/far", patternBytes(1000, 9));
  }

  void put(const std::string& name, const std::vector<std::uint8_t>& bytes) { dir.write("tree/" + name, bytes); }
  void put(const std::string& name, const std::string& text) { dir.write("tree/" + name, text); }

  // The groups that `dupes -r` must find.
  Groups expected() const {
    Groups groups = {{"small/a", "small/b copy", "deep/x/a"},
                     {"big/orig", "big/copy"},
                     {"big/trap1", "big/trap2"},
                     {"many/t1", "many/t2"},
                     {"names/with space", "names/new\nline", "names/odd\xff\xfe", "names/back\\slash"}};
    Group many;
    for (int i = 0; i < 19; ++i) many.insert("many/m" + std::to_string(10 + i));
    groups.insert(many);
    Groups full;
    for (const auto& group : groups) {
      Group named;
      for (const auto& name : group) named.insert(root + "/" + name);
      full.insert(named);
    }
    return full;
  }
};

// Groups as -0 prints them: names ended by NUL, groups by one more.

// Groups as the text format prints them: lines escaped as sha256sum escapes names, each group
// ended by a blank line. With `marked`, every line holds a kind and two spaces before the name.
std::vector<std::pair<std::string, Group>> lineGroups(const std::string& out, bool marked = false) {
  std::vector<std::pair<std::string, Group>> groups;
  Group group;
  std::string kind;
  std::size_t at = 0;
  for (std::size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = out.substr(at, end - at);
    if (line.empty()) {
      groups.emplace_back(std::move(kind), std::move(group));
      group.clear();
      kind.clear();
      continue;
    }
    const bool escaped = line.front() == '\\';
    if (escaped) line.erase(0, 1);
    if (marked) {
      const auto gap = line.find("  ");
      EXPECT_NE(gap, std::string::npos) << line;
      EXPECT_TRUE(kind.empty() || kind == line.substr(0, gap)) << "one kind per group: " << line;
      kind = line.substr(0, gap);
      line.erase(0, gap + 2);
    }
    std::string name;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (!escaped || line[i] != '\\') {
        name.push_back(line[i]);
        continue;
      }
      const char c = line[++i];
      name.push_back(c == 'n' ? '\n' : c == 'r' ? '\r' : c);
    }
    group.insert(name);
  }
  EXPECT_EQ(at, out.size()) << "output ends mid-line";
  EXPECT_TRUE(group.empty()) << "a group without its blank line";
  return groups;
}

// Groups as sets of files (device and inode), so that tools that keep different names of one
// file agree; a group left with one file is no group.
std::set<std::set<std::pair<dev_t, ino_t>>> byFile(const Groups& groups) {
  std::set<std::set<std::pair<dev_t, ino_t>>> files;
  for (const auto& group : groups) {
    std::set<std::pair<dev_t, ino_t>> ids;
    for (const auto& name : group) {
      struct stat s {};
      EXPECT_EQ(::stat(name.c_str(), &s), 0) << "no such file: " << name;
      ids.emplace(s.st_dev, s.st_ino);
    }
    if (ids.size() > 1) files.insert(ids);
  }
  return files;
}

std::vector<std::string> with(std::vector<std::string> arguments, const std::vector<std::string>& more) {
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

TEST(DupesCommand, FindsWhatJdupesFindsOnATreeOfTraps) {
  ASSERT_EQ(std::system("command -v jdupes >/dev/null"), 0) << "jdupes, the oracle, is missing: ./dev installs it";
  const TrapTree tree;
  struct Case {
    std::vector<std::string> ours;
    std::string jdupes;
  };
  const std::vector<Case> cases = {
      {{"-r"}, "-r"},
      {{"-r", "-L"}, "-r -s"},  // the link to a folder leads to one more copy outside
      {{"-r", "--empty"}, "-r -z"},
      {{"-r", "--paranoid", "-j", "3"}, "-r"},
      {{"-r", "-j", "1", "--min-size", "1"}, "-r"},
      {{"-r", tree.root + "/small", tree.root}, "-r"},  // names given twice over are one name each
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jdupes + " / " + c.ours.back());
    const auto theirs = nulGroups(runShell("jdupes -q -0 " + c.jdupes + " '" + tree.root + "'").out);
    const auto run = runCorvane(with({"-q", "dupes", "-0"}, with(c.ours, {tree.root})));
    EXPECT_EQ(run.status, 0) << run.err;
    auto ours = nulGroups(run.out);
    EXPECT_EQ(byFile(ours), byFile(theirs));
    if (c.ours == std::vector<std::string>{"-r"}) {
      EXPECT_EQ(ours, tree.expected());
    }
    // The text format names the same groups, names escaped as sha256sum escapes them.
    const auto text = runCorvane(with({"-q", "dupes"}, with(c.ours, {tree.root})));
    Groups fromLines;
    for (auto& [kind, group] : lineGroups(text.out)) fromLines.insert(group);
    EXPECT_EQ(fromLines, ours);
    // And JSON gives each group's size and SHA-256; it shows names that are not UTF-8 replaced,
    // so the group of odd names is left out of the comparison.
    const auto json = runCorvane(with({"-q", "dupes", "--json"}, with(c.ours, {tree.root})));
    EXPECT_EQ(json.status, 0) << json.err;
    Groups fromJson;
    for (const auto& line : lines(json.out)) {
      const auto object = nlohmann::json::parse(line);
      Group group;
      for (const auto& path : object["paths"]) group.insert(path.get<std::string>());
      const auto bytes = readBytes(*group.begin());
      EXPECT_EQ(object["sha256"], referenceSha256(bytes)) << *group.begin();
      EXPECT_EQ(object["size"], bytes.size());
      if (group.begin()->find("/names/") == std::string::npos) fromJson.insert(group);
    }
    std::erase_if(ours, [](const Group& group) { return group.begin()->find("/names/") != std::string::npos; });
    EXPECT_EQ(fromJson, ours);
  }
}

TEST(DupesCommand, MarksEveryLineThatIsNoConfirmedCopy) {
  const TrapTree tree;
  const auto r = [&](const std::string& name) { return tree.root + "/" + name; };
  struct Case {
    std::vector<std::string> arguments;
    std::vector<std::pair<std::string, Group>> expected;  // whole, for groups of these sizes
    std::size_t size;
  };
  Group many;
  for (int i = 0; i < 19; ++i) many.insert(r("many/m" + std::to_string(10 + i)));
  Group manyProbable = many;
  manyProbable.insert({r("many/t1"), r("many/t2")});
  const std::vector<Case> cases = {
      // The sampled fingerprint alone: traps and copies in one group, every line marked.
      {{"--probable"},
       {{"probable", {r("big/orig"), r("big/copy"), r("big/trap1"), r("big/trap2"), r("big/trap3")}}},
       kLarge},
      {{"--probable"}, {{"probable", manyProbable}}, kMany},
      // A whole-content digest settles small files: no mark of doubt there.
      {{"--probable"}, {{"duplicate", {r("small/a"), r("small/b copy"), r("deep/x/a")}}}, 1000},
      // Names of one file: left out of the groups, listed as such with -H.
      {{"-H"},
       {{"duplicate", {r("big/orig"), r("big/copy")}},
        {"same-file", {r("big/orig"), r("links/hard")}},
        {"duplicate", {r("big/trap1"), r("big/trap2")}}},
       kLarge},
      {{"-H"}, {{"same-file", {r("hl/one"), r("hl/two")}}}, 5000},
      {{"-H", "-L"},
       {{"duplicate", {r("big/copy"), r("big/orig")}},
        {"same-file", {r("big/copy"), r("links/sym")}},
        {"same-file", {r("big/orig"), r("links/hard")}},
        {"duplicate", {r("big/trap1"), r("big/trap2")}}},
       kLarge},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.back() + " " + std::to_string(c.size));
    const auto size = std::to_string(c.size);
    const auto run =
        runCorvane(with({"-q", "dupes", "-r", "--min-size", size, "--max-size", size}, with(c.arguments, {tree.root})));
    EXPECT_EQ(run.status, 0) << run.err;
    auto found = lineGroups(run.out, true);
    auto expected = c.expected;
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected) << run.out;
  }
}

TEST(DupesCommand, AFileThatChangesIsNeverGroupedOnTornContent) {
  // big/changing never equals the copies at any moment: of two bytes far apart, one always
  // differs. A read that takes the first byte from before a change and the second from after
  // would see one more copy; the change must show instead.
  TempDir dir;
  const std::size_t size = 8 << 20, p = 4096, q = size - 30'000;  // between the samples
  const auto original = patternBytes(size, 11);
  std::vector<std::string> copies;
  for (int i = 0; i < 7; ++i) copies.push_back(dir.write("big/copy" + std::to_string(i), original));
  const auto changing = dir.write("big/changing", flipped(original, p));
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    const int fd = ::open(changing.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const auto write = [&](std::size_t offset, bool same) {
      const auto byte = static_cast<std::uint8_t>(same ? original[offset] : original[offset] ^ 0x5a);
      EXPECT_EQ(::pwrite(fd, &byte, 1, static_cast<off_t>(offset)), 1);
    };
    for (bool atP = true; !stop; atP = !atP) {
      // Longer than a clock tick, so that each change shows in the modification time.
      std::this_thread::sleep_for(std::chrono::milliseconds(12));
      // The differing byte moves between p and q, never leaving both equal.
      write(atP ? q : p, false);
      write(atP ? p : q, true);
    }
    ::close(fd);
  });
  const std::vector<std::vector<std::string>> modes = {{}, {"--json"}, {"--paranoid"}, {"-j", "1"}};
  for (int round = 0; round < 6; ++round) {
    for (const auto& mode : modes) {
      const auto run = runCorvane(with(with({"dupes"}, mode), {dir.path().string(), "-r"}));
      const bool reported =
          run.err.find(changing + ": changed during the run; left out of every group") != std::string::npos;
      EXPECT_EQ(run.status, reported ? 1 : 0) << run.err;
      EXPECT_EQ(run.out.find("changing"), std::string::npos) << run.out;
      for (const auto& copy : copies) EXPECT_NE(run.out.find(copy), std::string::npos) << run.out;
    }
  }
  stop = true;
  writer.join();
}

TEST(DupesCommand, FindsDuplicateAssetsInALibrary) {
  TempDir dir;
  const auto image = patternBytes(4000, 1), video = patternBytes(kLarge, 2);
  dir.write("Album/a.png", image);
  dir.write("Album/b.PNG", image);
  dir.write("Album/clip.mov", image);  // a video of an image's bytes: the channel only hashes images
  dir.write("Album/v.mov", video);
  dir.write("Other/v copy.mov", video);
  dir.write("Other/trap.mov", flipped(video, 40'000));
  dir.write("Other/c.png", image);
  dir.write("Other/notes.txt", image);  // no asset
  dir.write(".hidden/d.png", image);    // no asset
  const auto library = dir.path().string();
  struct Case {
    std::vector<std::string> arguments;
    std::string out;
    bool prefix = false;  // the output starts with it (the files' statuses follow)
  };
  const std::vector<Case> cases = {
      {{}, "Album/a.png\nAlbum/b.PNG\nAlbum/clip.mov\nOther/c.png\n\nAlbum/v.mov\nOther/v copy.mov\n\n"},
      {{"--album", "Album"}, "Album/a.png\nAlbum/b.PNG\nAlbum/clip.mov\n\n"},
      {{"--paranoid", "-j", "1"},
       "Album/a.png\nAlbum/b.PNG\nAlbum/clip.mov\nOther/c.png\n\nAlbum/v.mov\nOther/v copy.mov\n\n"},
      {{"--album", "Album", "--json"},
       "{\"size\":4000,\"sha256\":\"" + referenceSha256(image) +
           "\",\"assets\":[\"Album/a.png\",\"Album/b.PNG\",\"Album/clip.mov\"],\"files\":[{\"device\":",
       true},
  };
  for (const auto& c : cases) {
    const auto run = runCorvane(with({"-q", "dupes", "--library", library}, c.arguments));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(c.prefix ? run.out.substr(0, c.out.size()) : run.out, c.out);
  }
  const auto missing = runCorvane({"-q", "dupes", "--library", library, "--album", "Nowhere"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Nowhere: no such album in the library"), std::string::npos) << missing.err;
}

TEST(DupesCommand, SummarySaysWhatWasFoundAndRead) {
  TempDir dir;
  const auto bytes = patternBytes(kLarge, 5);
  const auto a = dir.write("a", bytes), b = dir.write("b", bytes);
  dir.write("c", patternBytes(kLarge, 6));  // same size, first sample differs: the fingerprint splits it off
  const auto run = runCorvane({"dupes", dir.path().string() + "/", "-r"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, a + "\n" + b + "\n\n");
  // Three fingerprints of five samples, then the pair compared whole.
  const auto read = std::to_string(3 * 5 * 16384 + 2 * kLarge);
  EXPECT_NE(run.err.find("3 files scanned, 1 group of duplicates, 1 extra copy occupying 300000 bytes (293.0 KiB), " +
                         read + " bytes"),
            std::string::npos)
      << run.err;
  // A name that fails, given twice, however spelt, is said and counted once.
  const auto missing = dir.path().string() + "/missing", fifo = dir.at("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto twice = runCorvane({"dupes", missing, a, fifo, missing, dir.path().string() + "/./fifo", b});
  EXPECT_EQ(twice.status, 1);
  EXPECT_EQ(twice.out, a + "\n" + b + "\n\n");
  EXPECT_EQ(lines(twice.err).size(), 3u) << twice.err;  // the missing name, the FIFO, then the summary
  EXPECT_NE(twice.err.find(", 2 files unreadable"), std::string::npos) << twice.err;
}

// Two fresh file systems number their first files alike: the same inode number on two devices
// is two files, and a copy across them a duplicate.
TEST(DupesCommand, TheSameInodeNumberOnTwoFileSystemsIsTwoFiles) {
  std::string whyNot;
  const auto first = LoopMount::make("ext4", 8 << 20, &whyNot), second = LoopMount::make("ext4", 8 << 20, &whyNot);
  if (!first || !second) GTEST_SKIP() << whyNot;
  const auto bytes = patternText(5000, 3);
  for (const auto* mount : {first.get(), second.get()}) {
    std::ofstream(mount->path() + "/a", std::ios::binary) << bytes;
  }
  struct stat one {
  }, two{};
  ASSERT_EQ(::stat((first->path() + "/a").c_str(), &one), 0);
  ASSERT_EQ(::stat((second->path() + "/a").c_str(), &two), 0);
  ASSERT_EQ(one.st_ino, two.st_ino) << "the file systems numbered their first files apart";
  const auto run = runCorvane({"-q", "dupes", "-H", first->path(), second->path()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "duplicate  " + first->path() + "/a\nduplicate  " + second->path() + "/a\n\n");
}

}  // namespace
}  // namespace corvane::testing
