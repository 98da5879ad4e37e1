#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

TEST(DigestCommand, PrintsInTheOrderGivenWhateverTheParallelism) {
  TempDir dir;
  std::vector<std::string> arguments{"-q", "hash", "-j", "7"};
  std::string expected;
  for (int i = 0; i < 60; ++i) {
    // Large and small files mixed, so that calls finish out of order.
    const std::string content(i % 3 == 0 ? 300'000 + i : i, static_cast<char>('a' + i % 26));
    const auto path = dir.write(std::to_string(59 - i) + ".bin", content);
    arguments.push_back(path);
    expected += referenceSha256(content) + "  " + path + "\n";
  }
  const auto run = runCorvane(arguments);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected);
}

// What `find DIR -type f | LC_ALL=C sort | xargs sha256sum` prints, with these find options.
std::string findSortSha256sum(const std::string& findOptions, const std::string& root) {
  return runShell("find " + findOptions + " '" + root + "' -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum")
      .out;
}

TEST(DigestCommand, WalksAsFindListsInTheByteOrderOfWholePaths) {
  TempDir dir;
  for (const char* name :
       {"b/2", "a/z/deep", "a/1", "a-", "c", ".hidden", "a b/x", "\xff\xfe/odd", "back\\slash", "new\nline"}) {
    dir.write(name, name);
  }
  const auto root = dir.path().string();
  std::filesystem::create_symlink(dir.path() / "a", dir.path() / "linked-folder");
  std::filesystem::create_symlink(dir.path() / "c", dir.path() / "linked-file");
  std::filesystem::create_symlink(dir.path() / "missing", dir.path() / "dangling");
  ASSERT_EQ(::mkfifo((root + "/fifo").c_str(), 0600), 0);
  // Links, FIFOs and dangling links met in a walk are left out, and that is no failure.
  const auto run = runCorvane({"hash", "-r", root});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, findSortSha256sum("", root));
  const auto followed = runCorvane({"hash", "-r", "-L", root});
  EXPECT_EQ(followed.out, findSortSha256sum("-L", root));
  EXPECT_NE(followed.out.find(root + "/linked-folder/z/deep"), std::string::npos);
  // Without -r a folder is an error for that operand only.
  const auto flat = runCorvane({"-q", "hash", root, (dir.path() / "c").string()});
  EXPECT_EQ(flat.status, 1);
  EXPECT_EQ(flat.out, referenceSha256("c") + "  " + root + "/c\n");
  EXPECT_NE(flat.err.find(root + ": Is a directory"), std::string::npos) << flat.err;
}

// The identity a walk takes from a folder's listing, and a read that stops at a file's stated
// end, must give what sha256sum gives whatever the tree: sizes at the edges of pages and of the
// pieces read, a file mounted over a name in the tree (its listing names what lies under it),
// and an overlay (whose listings give a lower layer's numbers).
TEST(DigestCommand, WalkedFilesGiveWhatTheirNamesHoldWhateverTheirListingsSay) {
  TempDir dir;
  std::map<std::string, std::string> contents;
  for (const std::size_t size : {0, 1, 4095, 4096, 4097, 8192, 65'537, 1 << 20, (1 << 20) + 1, 3 << 20}) {
    const std::string name = "tree/s" + std::to_string(size);
    contents[name] = std::string(size, static_cast<char>('a' + size % 23));
    if (size > 2) contents[name][size / 2] = 'X';
    dir.write(name, contents[name]);
  }
  const bool root = ::geteuid() == 0;
  const auto mount = [&](const std::vector<std::string>& arguments) {
    return root && runProgram("mount", arguments).status == 0;
  };
  struct View {
    const char* what;
    std::function<std::string()> make;  // the folder to walk, or "" where it cannot be made here
  };
  std::vector<std::string> mounted;
  const std::vector<View> views{
      {"a plain tree", [&] { return dir.at("tree"); }},
      {"a file mounted over a name",
       [&] {
         dir.write("other", "what is mounted on the name");
         if (!mount({"--bind", dir.at("other"), dir.at("tree/s4097")})) return std::string();
         mounted.push_back(dir.at("tree/s4097"));
         return dir.at("tree");
       }},
      {"an overlay",
       [&] {
         for (const char* folder : {"upper", "work", "merged"}) std::filesystem::create_directories(dir.at(folder));
         if (!mount({"-t", "overlay", "overlay", "-o",
                     "lowerdir=" + dir.at("tree") + ",upperdir=" + dir.at("upper") + ",workdir=" + dir.at("work"),
                     dir.at("merged")}))
           return std::string();
         mounted.insert(mounted.begin(), dir.at("merged"));
         return dir.at("merged");
       }},
  };
  for (const auto& view : views) {
    const auto folder = view.make();
    if (folder.empty()) continue;  // needs root, and mounts this machine allows
    const auto ours = runCorvane({"hash", "-r", folder});
    EXPECT_EQ(ours.status, 0) << view.what << ": " << ours.err;
    EXPECT_EQ(ours.out, findSortSha256sum("", folder)) << view.what;
    const auto fingerprints = runCorvane({"fingerprint", "-r", folder});
    EXPECT_EQ(fingerprints.status, 0) << view.what << ": " << fingerprints.err;
    std::string expected;
    std::istringstream lines(findSortSha256sum("", folder));
    for (std::string line; std::getline(lines, line);) {
      const auto path = line.substr(66);
      expected += referenceFingerprint(readBytes(path)) + "  " + path + "\n";
    }
    EXPECT_EQ(fingerprints.out, expected) << view.what;
  }
  for (const auto& point : mounted) runProgram("umount", {point});
}

// A folder of the tree swapped again and again with a link to a folder outside it, while every
// command that walks reads the tree: none may print or record a digest of an outside file.
TEST(DigestCommand, AFolderSwappedForALinkNeverLeadsOutsideTheTree) {
  TempDir dir;
  std::set<std::string> outside;
  for (int i = 0; i < 100; ++i) {
    std::string name = "f";  // appended: GCC 12 warns falsely (-Wrestrict) on "f" + std::to_string(i)
    name += std::to_string(i);
    const auto foreign = "outside " + name;
    dir.write("outside/" + name, foreign);
    dir.write("tree/sw/" + name, "inside " + name);
    outside.insert(referenceSha256(foreign));
    outside.insert(referenceFingerprint(foreign));
  }
  ASSERT_EQ(::symlink("../outside", dir.at("tree/swlink").c_str()), 0);
  std::atomic<bool> done{false};
  std::thread swapper([&] {
    while (!done)
      ::renameat2(AT_FDCWD, dir.at("tree/sw").c_str(), AT_FDCWD, dir.at("tree/swlink").c_str(), RENAME_EXCHANGE);
  });
  const auto quoted = [](const std::string& text) {
    std::string result(1, '\'');  // appended: GCC 12 warns falsely (-Wrestrict) on "'" + text
    return result.append(text).append(1, '\'');
  };
  const auto corvane = quoted(corvanePath()), tree = quoted(dir.at("tree")), catalog = quoted(dir.at("c.catalog"));
  const std::vector<std::string> scripts = {
      corvane + " -q hash -r -j 2 " + tree,
      corvane + " -q fingerprint -r -j 2 " + tree,
      corvane + " -q dupes -r --json " + tree,
      "rm -f " + catalog + "; " + corvane + " -q catalog scan --hash " + catalog + " " + tree + "; " + corvane +
          " catalog export --json " + catalog,
  };
  for (int round = 0; round < 15; ++round) {
    for (const auto& script : scripts) {
      const auto run = runShell(script + " 2>/dev/null");
      for (const auto& digest : outside)
        ASSERT_EQ(run.out.find(digest), std::string::npos) << script << "\n" << run.out;
    }
  }
  done = true;
  swapper.join();
}

// Files whose path is longer than the system takes in one open are still read, from their
// folder.
TEST(DigestCommand, FilesTooDeepToNameByPathAreStillRead) {
  TempDir dir;
  const std::string name(200, 'x');
  int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  std::string expected, after;
  std::string path = dir.path().string();
  // Deeper than the walk holds folders open: at depth 21, past the longest path, a file that sorts
  // after the folder below it is reached once the walk has come back up from depth 40.
  for (int depth = 0; depth < 40; ++depth) {
    ASSERT_EQ(::mkdirat(folder, name.c_str(), 0755), 0);
    const int inner = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(folder);
    folder = inner;
    path += "/" + name;
    const std::string content = "depth " + std::to_string(depth);
    for (const char* leaf : {"f", "zz"}) {
      if (*leaf == 'z' && depth != 21) continue;
      const int file = ::openat(folder, leaf, O_WRONLY | O_CREAT, 0644);
      ASSERT_EQ(::write(file, content.data(), content.size()), static_cast<ssize_t>(content.size()));
      ::close(file);
      // Appended, not concatenated: GCC 12 warns falsely (-Wrestrict) on the one-liner.
      (*leaf == 'z' ? after : expected)
          .append(referenceSha256(content))
          .append("  ")
          .append(path)
          .append("/")
          .append(leaf)
          .append("\n");
    }
  }
  // Each of a crowd of files that deep holds its folder's descriptor while it waits: under a low
  // limit on open files, the walk waits for one rather than failing files.
  for (int i = 0; i < 400; ++i) {
    std::string leaf = "g";  // appended, not concatenated: GCC 12 warns falsely (-Wrestrict)
    leaf.append(std::to_string(1000 + i));
    const int file = ::openat(folder, leaf.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::ftruncate(file, 256 << 10), 0);
    ::close(file);
    expected += referenceSha256(std::string(256 << 10, '\0')) + "  " + path + "/" + leaf + "\n";
  }
  ::close(folder);
  expected += after;
  const auto run = runShell("ulimit -n 48 && '" + corvanePath() + "' -q hash -j 3 -r '" + dir.path().string() + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected);
}

TEST(DigestCommand, BadPathsFailAloneAndTheOthersGoOn) {
  TempDir dir;
  const auto good1 = dir.write("good1", "one"), good2 = dir.write("good2", "two");
  const auto missing = (dir.path() / "missing").string();
  for (const char* command : {"hash", "fingerprint"}) {
    const auto run = runCorvane({command, good1, missing, dir.path().string(), good2});
    EXPECT_EQ(run.status, 1) << command;
    const auto out = lines(run.out);
    ASSERT_EQ(out.size(), 2u) << command << run.out;
    EXPECT_TRUE(out[0].ends_with("  " + good1));
    EXPECT_TRUE(out[1].ends_with("  " + good2));
    // The command's own reasons only: the plug-in's lines stay out unless -v asks.
    EXPECT_EQ(run.err, "corvane: " + missing + ": No such file or directory\ncorvane: " + dir.path().string() +
                           ": Is a directory\n");
  }
  const auto loud = runCorvane({"fingerprint", "-v", good1, missing});
  EXPECT_NE(loud.err.find("File size: 3 bytes\n"), std::string::npos) << loud.err;
  EXPECT_NE(loud.err.find("File does not exist\n"), std::string::npos) << loud.err;
  EXPECT_EQ(lines(loud.out).size(), 1u);
}

TEST(DigestCommand, ChecksListsAsSha256sumDoes) {
  TempDir dir;
  const auto kept = dir.write("kept", "same");
  const auto changed = dir.write("changed", "before");
  const auto gone = dir.write("gone", "here");
  const auto odd = dir.write("odd\\name\nwith break", "odd");
  for (const char* command : {"hash", "fingerprint"}) {
    const auto listed = runCorvane({"-q", command, kept, changed, gone, odd});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const auto list = dir.write(std::string("list.") + command, listed.out + "not a digest line\n");
    dir.write("changed", "after!");
    std::filesystem::remove(gone);
    const auto run = runCorvane({command, "-c", list});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, kept + ": OK\n" + changed + ": FAILED\n" + gone + ": FAILED open or read\n\\" +
                           dir.path().string() + "/odd\\\\name\\nwith break: OK\n");
    EXPECT_NE(run.err.find("WARNING: 1 line is improperly formatted"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("WARNING: 1 listed file could not be read"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("WARNING: 1 computed checksum did NOT match"), std::string::npos) << run.err;
    dir.write("changed", "before");
    dir.write("gone", "here");
  }
}

// A list of the other digest fails whole; the check says which command it is for, and fails.
TEST(DigestCommand, AListOfTheOtherDigestGetsAHint) {
  TempDir dir;
  const auto a = dir.write("a", patternBytes(300'000, 1)), b = dir.write("b", patternBytes(500'000, 2));
  const std::string sha = runCorvane({"-q", "hash", a, b}).out, fp = runCorvane({"-q", "fingerprint", a, b}).out;
  const std::string toHash = "corvane: these look like SHA-256 lines: use corvane hash -c\n";
  const std::string toFingerprint = "corvane: these look like fingerprint lines: use corvane fingerprint -c\n";
  const auto firstLine = [](const std::string& text) { return text.substr(0, text.find('\n') + 1); };
  const auto secondLine = [](const std::string& text) { return text.substr(text.find('\n') + 1); };
  struct Case {
    std::string command, list;
    std::vector<std::string> options;
    std::string out, lastErr;  // the last line on standard error
  };
  const std::string failed = a + ": FAILED\n" + b + ": FAILED\n";
  const std::string mismatch2 = "corvane: WARNING: 2 computed checksums did NOT match\n";
  const std::string mismatch1 = "corvane: WARNING: 1 computed checksum did NOT match\n";
  const std::vector<Case> cases = {
      {"fingerprint", sha, {}, failed, toHash},
      {"hash", fp, {}, failed, toFingerprint},
      {"hash", fp, {"-q"}, failed, toFingerprint},
      {"fingerprint", sha, {"--status"}, "", ""},
      // One line of the right kind: the list is not of the other kind, and passes in part.
      {"hash", firstLine(fp) + secondLine(sha), {}, a + ": FAILED\n" + b + ": OK\n", mismatch1},
      // Every line wrong for both kinds: nothing to suggest.
      {"hash", std::string(64, '0') + "  " + a + "\n" + std::string(64, '1') + "  " + b + "\n", {}, failed, mismatch2},
      // The first failure is of neither kind: no hint on the strength of the second.
      {"fingerprint", std::string(64, '0') + "  " + a + "\n" + secondLine(sha), {}, failed, mismatch2},
  };
  for (const auto& c : cases) {
    const auto list = dir.write("list", c.list);
    std::vector<std::string> arguments{c.command, "-c"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    arguments.push_back(list);
    const auto run = runCorvane(arguments);
    EXPECT_EQ(run.status, 1) << c.command << "\n" << c.list;
    EXPECT_EQ(run.out, c.out) << c.command << "\n" << c.list;
    EXPECT_TRUE(run.err.ends_with(c.lastErr)) << run.err;
    EXPECT_EQ(run.err.find("look like") != std::string::npos, c.lastErr.find("look like") != std::string::npos)
        << run.err;
  }
}

// sha256sum checks a list as it reads it: an endless one is answered line by line.
TEST(DigestCommand, AnEndlessCheckListIsAnsweredLineByLine) {
  TempDir dir;
  const auto empty = dir.write("empty", "");
  const auto run = runShell("yes '" + referenceSha256("") + "  " + empty + "' | timeout 60 '" + corvanePath() +
                            "' hash -c 2>/dev/null | head -n 2");
  EXPECT_EQ(run.out, empty + ": OK\n" + empty + ": OK\n");
}

TEST(DigestCommand, JsonGivesPathSizeAndDigest) {
  TempDir dir;
  const auto path = dir.write("photo.jpg", "abc");
  const auto hash = runCorvane({"hash", "--json", "-q", path});  // the common options also after the subcommand
  const auto fingerprint = runCorvane({"-q", "fingerprint", "--json", path});
  ASSERT_EQ(hash.status, 0);
  const auto h = nlohmann::json::parse(hash.out);
  EXPECT_EQ(h, nlohmann::json({{"path", path}, {"size", 3}, {"sha256", referenceSha256("abc")}}));
  const auto f = nlohmann::json::parse(fingerprint.out);
  EXPECT_EQ(f["fingerprint"], "ce91dc5eec0139adf091900d225971d6ad246a845bad791b5693a9d0d55dd391");
}

// The real sha256sum is the oracle: the same lists, operands and options must give the same
// lines, messages and statuses from both.

// sha256sum's messages as corvane words them: only the program's name differs.
std::string asCorvane(const std::string& err) {
  std::string out;
  for (const auto& line : lines(err))
    out += (line.starts_with("sha256sum: ") ? "corvane: " + line.substr(11) : line) + "\n";
  return out;
}

std::string join(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& w : words) text += w + " ";
  return text;
}

void expectSame(const CommandOutput& ours, const CommandOutput& theirs, const std::string& what) {
  EXPECT_EQ(ours.status, theirs.status) << what << ours.err;
  EXPECT_EQ(ours.out, theirs.out) << what;
  EXPECT_EQ(ours.err, asCorvane(theirs.err)) << what;
}

TEST(Sha256sumCompat, CheckListsReadAsSha256sumReadsThem) {
  TempDir dir;
  const auto plain = dir.write("plain", "plain bytes");
  const auto broken = dir.write("new\nline", "broken");
  const auto missing = dir.at("missing");
  const std::string h = referenceSha256("plain bytes"), z(64, '0');
  std::string upper = h;
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string ok = h + "  " + plain + "\n";
  const std::string escapedBroken =
      std::string("\\") + referenceSha256("broken") + "  " + dir.path().string() + "/new\\nline\n";
  struct Case {
    std::string list;
    std::vector<std::string> options = {};
    bool onStdin = false;  // the list comes on standard input, named "-"
  };
  // Each line form is read as DigestLineReader's own test says; here a few of them, with the
  // options, the statuses and the messages, against sha256sum itself.
  const std::vector<Case> cases = {
      {ok},
      {h + " " + plain + "\n"},
      {upper + "  " + plain + "\r\n"},
      {"SHA256 (" + plain + ") = " + h + "\n"},
      {"\\SHA256 (" + dir.path().string() + "/new\\nline) = " + referenceSha256("broken") + "\n"},
      {escapedBroken},
      {"# a comment\n\n" + ok + "   # not one\n"},
      {h + " " + plain + "\n" + ok},  // the first line's form holds for the rest
      {ok + z + "  " + plain + "\n" + h + "  " + missing + "\n" + h + "  " + dir.path().string() + "\n"},
      {h + "  " + plain},  // no final line feed
      {"not a digest line\n"},
      {h + "  " + missing + "\n", {"--ignore-missing"}},
      {z + "  " + plain + "\n", {"--ignore-missing"}},
      {h + "  " + missing + "\n" + ok, {"--ignore-missing"}},
      {ok + "garbage\n", {"--strict"}},
      {ok + "garbage\n" + z + "  " + plain + "\n", {"-w"}},
      {ok + "garbage\n" + z + "  " + plain + "\n", {"--status"}},
      {ok + z + "  " + plain + "\n" + escapedBroken, {"--quiet"}},
      // The last of --status, --warn and --quiet decides.
      {ok + "garbage\n" + z + "  " + plain + "\n", {"-w", "--status"}},
      {ok + "garbage\n" + z + "  " + plain + "\n", {"--status", "-w"}},
      {ok + "garbage\n" + z + "  " + plain + "\n", {"--quiet", "-w"}},
      {ok + "garbage\n" + z + "  " + plain + "\n", {"-w", "--quiet"}},
      {ok + h + "  -\n", {}, true},  // "-" cannot name the list it is in
  };
  for (const auto& c : cases) {
    const auto list = dir.write("list", c.list);
    auto arguments = c.options;
    arguments.insert(arguments.begin(), "-c");
    arguments.push_back(c.onStdin ? "-" : list);
    const auto theirs = runProgram("sha256sum", arguments, c.onStdin ? c.list : "");
    arguments.insert(arguments.begin(), "hash");
    expectSame(runCorvane(arguments, c.onStdin ? c.list : ""), theirs, c.list + join(c.options));
  }
  // Several lists at once, one of them unreadable, and "-" in a list naming standard input.
  const auto first = dir.write("first", ok + h + "  -\n");
  const auto second = dir.write("second", z + "  " + plain + "\n");
  const std::vector<std::string> lists = {first, missing, second};
  auto arguments = lists;
  arguments.insert(arguments.begin(), "-c");
  const auto theirs = runProgram("sha256sum", arguments, "plain bytes");
  arguments.insert(arguments.begin(), "hash");
  expectSame(runCorvane(arguments, "plain bytes"), theirs, "several lists");
}

TEST(Sha256sumCompat, DigestLinesAreSha256sums) {
  TempDir dir;
  const std::vector<std::string> files = {dir.write("plain", "x"), dir.write("back\\slash", "y"),
                                          dir.write("new\nline", "z"), dir.write("cr\rname", "w"),
                                          dir.write("spaces  and é", std::string(300'000, 'v'))};
  const std::string input = "bytes on standard input\n";
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> operands;
  };
  const std::vector<Case> cases = {
      {{}, files},           {{"--tag"}, files}, {{"-b"}, files},
      {{"-b", "-t"}, files}, {{"-z"}, files},    {{"--tag", "-z"}, files},
      {{}, {"-"}},           {{}, {}},           {{"--tag"}, {files[0], "-", files[1]}},
  };
  for (const auto& c : cases) {
    auto arguments = c.options;
    arguments.insert(arguments.end(), c.operands.begin(), c.operands.end());
    const auto theirs = runProgram("sha256sum", arguments, input);
    arguments.insert(arguments.begin(), "hash");
    const auto ours = runCorvane(arguments, input);
    expectSame(ours, theirs, join(arguments));
    // And what corvane printed checks, by sha256sum (whose 9.1 reads no NUL-ended lists) and
    // by corvane.
    if (c.operands.empty() || std::find(c.operands.begin(), c.operands.end(), "-") != c.operands.end()) continue;
    const auto list = dir.write("list", ours.out);
    const bool zero = std::find(c.options.begin(), c.options.end(), "-z") != c.options.end();
    if (!zero) {
      EXPECT_EQ(runProgram("sha256sum", {"-c", "--quiet", list}).status, 0) << join(arguments);
    }
    const auto check = runCorvane({"hash", "-c", "--quiet", zero ? "-z" : "--strict", list});
    EXPECT_EQ(check.status, 0) << join(arguments) << check.err;
    EXPECT_EQ(check.out, "") << join(arguments);
  }
}

TEST(Sha256sumCompat, HostileNamesNeverBreakALine) {
  TempDir dir;
  const auto root = dir.path().string() + "/";
  struct Case {
    std::string name;
    std::string inLines;  // the line form, after the line's leading backslash if any
    bool escaped;
  };
  const std::vector<Case> cases = {
      {"x: OK\nfake.png", "x: OK\\nfake.png", true},     {"back\\slash.png", "back\\\\slash.png", true},
      {"cr\rname.png", "cr\\rname.png", true},           {"tab\tname.png", "tab\tname.png", false},
      {"latin\xe9\xff.png", "latin\xe9\xff.png", false}, {"it's.png", "it's.png", false},
  };
  std::vector<std::string> paths;
  for (const auto& c : cases) paths.push_back(dir.write("lib/" + c.name, c.name));
  const std::string lib = root + "lib";

  // Digest lines, and the messages for missing files, are sha256sum's.
  auto arguments = paths;
  for (const auto& c : cases) arguments.push_back(root + "gone/" + c.name);
  const auto theirs = runProgram("sha256sum", arguments);
  arguments.insert(arguments.begin(), "hash");
  const auto ours = runCorvane(arguments);
  expectSame(ours, theirs, "hostile names");

  // Checking them: one line per entry, whatever the names hold, each naming its file.
  const auto list = dir.write("list", ours.out);
  const auto check = runCorvane({"hash", "-c", list});
  EXPECT_EQ(check.status, 0) << check.err;
  std::string expected;
  for (const auto& c : cases) expected += (c.escaped ? "\\" : "") + root + "lib/" + c.inLines + ": OK\n";
  EXPECT_EQ(check.out, expected);
  std::filesystem::remove_all(root + "lib/x: OK\nfake.png");
  const auto failed = runCorvane({"hash", "-c", list});
  EXPECT_NE(failed.out.find("\\" + root + "lib/x: OK\\nfake.png: FAILED open or read\n"), std::string::npos)
      << failed.out;
  dir.write("lib/" + cases[0].name, cases[0].name);

  // The library's listing, as text and as JSON (exact bytes in base64 when not UTF-8).
  auto listed = lines(runCorvane({"assets", "--library", lib}).out);
  std::vector<std::string> wanted;
  for (const auto& c : cases) wanted.push_back(std::string(c.escaped ? "\\" : "") + "image  " + c.inLines);
  std::sort(listed.begin(), listed.end());
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(listed, wanted);
  const auto json = runCorvane({"hash", "--json", paths[4], root + "gone/" + cases[4].name});
  const auto jsonLines = lines(json.out);
  ASSERT_EQ(jsonLines.size(), 2u) << json.out;
  const auto found = nlohmann::json::parse(jsonLines[0]);
  EXPECT_EQ(found["path_base64"], runProgram("base64", {"-w0"}, paths[4]).out);
  EXPECT_EQ(found["sha256"], referenceSha256(cases[4].name));
  const auto lost = nlohmann::json::parse(jsonLines[1]);
  EXPECT_EQ(lost["error"], "No such file or directory");
  EXPECT_EQ(lost["path_base64"], runProgram("base64", {"-w0"}, root + "gone/" + cases[4].name).out);
  EXPECT_EQ(json.status, 1);
}

}  // namespace
}  // namespace corvane::testing
