// The real sha256sum is the oracle: the same lists, operands and options must give the same
// lines, messages and statuses from both.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <sstream>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

std::string sha(const std::string& content) { return referenceSha256({content.begin(), content.end()}); }

// sha256sum's messages as corvane words them: only the program's name differs.
std::string asCorvane(const std::string& err) {
  std::string out;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("sha256sum: ")) line = "corvane: " + line.substr(11);
    out += line + "\n";
  }
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
  const auto missing = (dir.path() / "missing").string();
  const std::string h = sha("plain bytes"), z(64, '0');
  std::string upper = h;
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string ok = h + "  " + plain + "\n";
  const std::string escapedBroken = std::string("\\") + sha("broken") + "  " + dir.path().string() + "/new\\nline\n";
  struct Case {
    std::string list;
    std::vector<std::string> options = {};
    bool onStdin = false;  // the list comes on standard input, named "-"
  };
  const std::vector<Case> cases = {
      {ok},
      {h + " *" + plain + "\n"},
      {h + " " + plain + "\n"},
      {h + "\t" + plain + "\n"},
      {" \t" + h + "  " + plain + "\n"},
      {upper + "  " + plain + "\r\n"},
      {"SHA256 (" + plain + ") = " + h + "\n"},
      {"SHA256(" + plain + ")=" + upper + "\r\n"},
      {"\\SHA256 (" + dir.path().string() + "/new\\nline) = " + sha("broken") + "\n"},
      {escapedBroken},
      {"\\" + h + "  " + plain + "\\q\n"},
      {"# a comment\n\n" + ok + "   # not one\n"},
      {h + " " + plain + "\n" + ok},  // the first line's form holds for the rest
      {ok + h + " " + plain + "\n"},
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
      {{}, files},
      {{"--tag"}, files},
      {{"-b"}, files},
      {{"-b", "-t"}, files},
      {{"-z"}, files},
      {{"--tag", "-z"}, files},
      {{}, {"-"}},
      {{}, {}},
      {{"--tag"}, {files[0], "-", files[1]}},
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

  // Streams: a FIFO with a writer, and a process substitution, are read as standard input is.
  const auto fifo = (dir.path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto corvane = corvanePath();
  for (const char* command : {"hash", "fingerprint"}) {
    const auto fromFifo =
        runProgram("/bin/sh", {"-c", "printf x > \"$1\" & exec \"$2\" " + std::string(command) + " \"$1\"", "sh", fifo,
                               corvane});
    const auto fromSubstitution =
        runProgram("bash", {"-c", "exec \"$1\" " + std::string(command) + " <(cat \"$2\")", "bash", corvane, files[0]});
    const auto fromFile = runCorvane({command, files[0]});
    ASSERT_EQ(fromFifo.status, 0) << fromFifo.err;
    ASSERT_EQ(fromSubstitution.status, 0) << fromSubstitution.err;
    EXPECT_EQ(fromFifo.out, fromFile.out.substr(0, 66) + fifo + "\n") << command;
    EXPECT_EQ(fromSubstitution.out.substr(0, 66), fromFile.out.substr(0, 66)) << command;
    EXPECT_TRUE(fromSubstitution.out.find("  /dev/fd/") == 64) << fromSubstitution.out;
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
      {"x: OK\nfake.png", "x: OK\\nfake.png", true},
      {"back\\slash.png", "back\\\\slash.png", true},
      {"cr\rname.png", "cr\\rname.png", true},
      {"tab\tname.png", "tab\tname.png", false},
      {"latin\xe9\xff.png", "latin\xe9\xff.png", false},
      {"it's.png", "it's.png", false},
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
  const auto assets = runCorvane({"assets", "--library", lib});
  std::vector<std::string> listed, wanted;
  std::istringstream got(assets.out);
  for (std::string line; std::getline(got, line);) listed.push_back(line);
  for (const auto& c : cases) wanted.push_back(std::string(c.escaped ? "\\" : "") + "image  " + c.inLines);
  std::sort(listed.begin(), listed.end());
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(listed, wanted);
  const auto json = runCorvane({"hash", "--json", paths[4], root + "gone/" + cases[4].name});
  std::istringstream jsonLines(json.out);
  std::string line;
  ASSERT_TRUE(std::getline(jsonLines, line));
  const auto found = nlohmann::json::parse(line);
  EXPECT_EQ(found["path_base64"], runProgram("base64", {"-w0"}, paths[4]).out);
  EXPECT_EQ(found["sha256"], sha(cases[4].name));
  ASSERT_TRUE(std::getline(jsonLines, line));
  const auto lost = nlohmann::json::parse(line);
  EXPECT_EQ(lost["error"], "No such file or directory");
  EXPECT_EQ(lost["path_base64"], runProgram("base64", {"-w0"}, root + "gone/" + cases[4].name).out);
  EXPECT_EQ(json.status, 1);
}

}  // namespace
}  // namespace corvane::testing
