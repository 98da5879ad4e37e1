#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string sha(const std::string& content) { return referenceSha256({content.begin(), content.end()}); }

TEST(DigestCommand, PrintsInTheOrderGivenWhateverTheParallelism) {
  TempDir dir;
  std::vector<std::string> arguments{"-q", "hash", "-j", "7"};
  std::string expected;
  for (int i = 0; i < 60; ++i) {
    // Large and small files mixed, so that calls finish out of order.
    const std::string content(i % 3 == 0 ? 300'000 + i : i, static_cast<char>('a' + i % 26));
    const auto path = dir.write(std::to_string(59 - i) + ".bin", content);
    arguments.push_back(path);
    expected += sha(content) + "  " + path + "\n";
  }
  const auto run = runCorvane(arguments);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected);
}

// What `find DIR -type f | LC_ALL=C sort | xargs sha256sum` prints, with these find options.
std::string findSortSha256sum(const std::string& findOptions, const std::string& root) {
  const std::string command = "find " + findOptions + " '" + root + "' -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, n);
  return out;
}

TEST(DigestCommand, WalksAsFindListsInTheByteOrderOfWholePaths) {
  TempDir dir;
  for (const char* name : {"b/2", "a/z/deep", "a/1", "a-", "c", ".hidden", "a b/x", "\xff\xfe/odd", "back\\slash", "new\nline"}) {
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
  EXPECT_EQ(flat.out, sha("c") + "  " + root + "/c\n");
  EXPECT_NE(flat.err.find(root + ": Is a directory"), std::string::npos) << flat.err;
}

TEST(DigestCommand, BadPathsFailAloneAndTheOthersGoOn) {
  TempDir dir;
  const auto good1 = dir.write("good1", "one"), good2 = dir.write("good2", "two");
  const auto missing = (dir.path() / "missing").string();
  for (const char* command : {"hash", "fingerprint"}) {
    const auto run = runCorvane({command, good1, missing, "/dev/zero", good2});
    EXPECT_EQ(run.status, 1) << command;
    const auto out = lines(run.out);
    ASSERT_EQ(out.size(), 2u) << command << run.out;
    EXPECT_TRUE(out[0].ends_with("  " + good1));
    EXPECT_TRUE(out[1].ends_with("  " + good2));
    // The command's own reasons only: the plug-in's lines stay out unless -v asks.
    EXPECT_EQ(run.err, "corvane: " + missing + ": No such file or directory\ncorvane: /dev/zero: Not a regular file\n");
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
    EXPECT_EQ(run.out, kept + ": OK\n" + changed + ": FAILED\n" + gone + ": FAILED open or read\n\\" + dir.path().string() +
                           "/odd\\\\name\\nwith break: OK\n");
    EXPECT_NE(run.err.find("WARNING: 1 line is improperly formatted"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("WARNING: 1 listed file could not be read"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("WARNING: 1 computed checksum did NOT match"), std::string::npos) << run.err;
    dir.write("changed", "before");
    dir.write("gone", "here");
  }
}

TEST(DigestCommand, HashOutputIsAcceptedBySha256sum) {
  TempDir dir;
  const auto listed = runCorvane({"-q", "hash", dir.write("plain", "x"), dir.write("back\\slash", "y"),
                                  dir.write("new\nline", "z"), dir.write("spaces  and é", "w")});
  ASSERT_EQ(listed.status, 0);
  const auto list = dir.write("list", listed.out);
  EXPECT_EQ(std::system(("sha256sum --quiet -c '" + list + "'").c_str()), 0);
  // And the other way round.
  const std::string d = dir.path().string();
  ASSERT_EQ(std::system(("sha256sum '" + d + "/plain' '" + d + "/back\\slash' > '" + d + "/theirs'").c_str()), 0);
  const auto check = runCorvane({"hash", "-c", (dir.path() / "theirs").string()});
  EXPECT_EQ(check.status, 0) << check.err;
}

TEST(DigestCommand, JsonGivesPathSizeAndDigest) {
  TempDir dir;
  const auto path = dir.write("photo.jpg", "abc");
  const auto hash = runCorvane({"hash", "--json", "-q", path});  // the common options also after the subcommand
  const auto fingerprint = runCorvane({"-q", "fingerprint", "--json", path});
  ASSERT_EQ(hash.status, 0);
  const auto h = nlohmann::json::parse(hash.out);
  EXPECT_EQ(h, nlohmann::json({{"path", path}, {"size", 3}, {"sha256", sha("abc")}}));
  const auto f = nlohmann::json::parse(fingerprint.out);
  EXPECT_EQ(f["fingerprint"], "ce91dc5eec0139adf091900d225971d6ad246a845bad791b5693a9d0d55dd391");
}

TEST(DigestCommand, MisuseAndConflictsExitWithStatus2) {
  const std::vector<std::vector<std::string>> misuses = {
      {"fingerprint", "-j", "0", "x"}, {"hash", "-j", "many", "x"}, {"hash", "--no-such-option", "x"},
      {"fingerprint", "--asset", "-r", "x"}, {"hash", "--asset"}, {"hash", "--library", "/tmp", "x"},
      {"hash", "-c", "--json", "x"}, {"hash", "-c", "-r", "x"}, {"hash", "-c", "--tag", "x"}, {"hash", "-c", "-b", "x"},
      {"hash", "--tag", "--json", "x"}, {"hash", "-z", "--json", "x"}, {"hash", "--tag", "-t", "x"},
      {"hash", "--status", "x"}, {"fingerprint", "--strict", "x"}, {"hash", "-w", "x"}, {"hash", "--ignore-missing", "x"},
      {"-q", "hash", "-v", "x"}, {"assets", "extra"}, {"in-album", "only-one"}, {"call", "hashFile", std::string(300, '[')
      + std::string(300, ']')},
  };
  for (const auto& arguments : misuses) {
    const auto run = runCorvane(arguments);
    std::string what;
    for (const auto& a : arguments) what += a.substr(0, 20) + " ";
    EXPECT_EQ(run.status, 2) << what;
    EXPECT_TRUE(run.out.empty()) << what;
    EXPECT_TRUE(run.err.starts_with("corvane: ")) << what << run.err;
  }
}

}  // namespace
}  // namespace corvane::testing
