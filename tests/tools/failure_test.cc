// Output that cannot be written, and a machine short of memory or threads: every run ends with
// one line saying so and a status, never with lost output, an abort or a core.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

const std::string kLibrary = CORVANE_SOURCE_DIR "/examples/library";

std::size_t countLines(const std::string& text, const std::string& start) {
  const auto all = lines(text);
  return static_cast<std::size_t>(
      std::count_if(all.begin(), all.end(), [&](const auto& l) { return l.starts_with(start); }));
}

TEST(Failures, WriteFailuresStopEveryCommandWithOneMessage) {
  TempDir dir;
  const auto file = dir.write("file", "content");
  const auto list = dir.write("list", std::string(64, '0') + "  " + file + "\n");
  struct Command {
    std::vector<std::string> arguments;
    int status = 1;
  };
  const std::vector<Command> commands = {
      {{"hash", file}},
      {{"fingerprint", "--tag", file}},
      {{"hash", "--json", file}},
      {{"hash", "-c", list}},
      {{"fingerprint", "-"}},
      {{"assets", "--library", kLibrary}},
      {{"albums", "--library", kLibrary, "--json"}},
      {{"in-album", "--library", kLibrary, "Holidays/beach.png", "Holidays"}, 2},
      {{"call", "getPlatformVersion"}},
      {{"--help"}},
      {{"hash", "--help"}},
      {{"--version"}},
  };
  const std::pair<Stdout, std::string> failures[] = {{Stdout::kFull, "No space left on device"},
                                                     {Stdout::kClosed, "Bad file descriptor"},
                                                     {Stdout::kBrokenPipe, "Broken pipe"}};
  for (const auto& [stdoutTo, reason] : failures) {
    for (const auto& command : commands) {
      const auto run = runCorvane(command.arguments, "input", stdoutTo);
      const std::string what = command.arguments[0] + " " + command.arguments.back() + ": " + reason;
      EXPECT_EQ(run.signal, 0) << what;
      EXPECT_EQ(run.status, command.status) << what << run.err;
      EXPECT_TRUE(run.err.ends_with("corvane: write error: " + reason + "\n")) << what << run.err;
      EXPECT_EQ(countLines(run.err, "corvane: write error"), 1u) << what << run.err;
    }
  }

  // The run stops there: of 2,000 files, only the few batches under way when the first line
  // failed are read, not the rest.
  std::vector<std::string> arguments{"--trace", "hash", "-j", "2"};
  for (int i = 0; i < 2000; ++i) arguments.push_back(dir.write("many/" + std::to_string(i), std::to_string(i)));
  const auto stopped = runCorvane(arguments, {}, Stdout::kFull);
  EXPECT_EQ(stopped.status, 1);
  EXPECT_LT(countLines(stopped.err, "> "), 100u) << stopped.err.substr(0, 2000);
}

TEST(Failures, ResourceLimitsEndWithOneLineAndAStatus) {
  TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all, std::filesystem::perm_options::add);
  std::vector<std::string> files;
  for (int i = 0; i < 100; ++i) files.push_back(dir.write(std::to_string(i), std::to_string(i)));
  // A check list of a gigabyte of zeros (sparse: it takes no room).
  const auto huge = dir.write("huge", "");
  std::filesystem::resize_file(huge, std::uint64_t{1} << 30);
  struct Case {
    std::string limit;  // the shell's words before the command
    std::string command;
    int status;
    std::string err;  // exactly
    std::size_t outLines;
  };
  std::string all;
  for (const auto& f : files) all += " '" + f + "'";
  std::vector<Case> cases = {
      // 64 threads' stacks do not fit: fewer threads do the work, and all of it.
      {"ulimit -v 400000; exec", "hash -j 64" + all, 0, "", files.size()},
      {"ulimit -v 300000; exec", "hash -c '" + huge + "'", 1, "corvane: out of memory\n", 0},
  };
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  cases.clear();  // sanitizers reserve more address space than these limits allow
#endif
  // Few descriptors for many threads: calls wait for one instead of failing their files, and
  // duplicates are compared a few files at a time (three groups of four 200 KB copies).
  std::string tree = " '" + dir.at("tree") + "'", copies = " '" + dir.at("copies") + "'";
  for (int i = 0; i < 1000; ++i)
    dir.write("tree/" + std::to_string(i % 10) + "/" + std::to_string(i), std::to_string(i));
  for (int i = 0; i < 12; ++i) {
    dir.write("copies/" + std::to_string(i), patternText(200'000, static_cast<std::uint32_t>(i % 3)));
  }
  cases.push_back({"ulimit -n 24; exec", "-q hash -r -j 64" + tree, 0, "", 1000});
  cases.push_back({"ulimit -n 24; exec", "-q dupes -r -j 64" + tree, 0, "", 0});
  cases.push_back({"ulimit -n 12; exec", "-q dupes -r -j 16" + copies, 0, "", 15});
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // Memory running out at any point of a run that calls from threads and compares: the run ends
  // with a status, never hangs on a reply that was lost, never crashes.
  // From the least limit the program starts under, on: its libraries map, and the static
  // objects of the libraries it is built with find room before main (where no program can
  // answer a want of memory but by aborting).
  int loads = 8'000;
  const auto starts = [&](int limit) {
    const auto run =
        runShell("ulimit -v " + std::to_string(limit) + "; exec '" + corvanePath() + "' -q hash /dev/null");
    return run.signal == 0 && run.status != 127;
  };
  while (loads < 100'000 && !starts(loads)) loads += 500;
  for (int limit = loads; limit <= loads + 3'000; limit += 250) {
    const auto run = runShell("ulimit -v " + std::to_string(limit) + "; exec timeout 30 '" + corvanePath() +
                              "' -q dupes -r -j 1" + copies);
    EXPECT_EQ(run.signal, 0) << limit;
    EXPECT_TRUE(run.status == 0 || run.status == 1) << limit << ": " << run.status << run.err;
  }
#endif
  // No thread can be started at all: the limit on processes binds users other than root. (The
  // leak checker needs a thread of its own at exit.)
#if !defined(__SANITIZE_ADDRESS__)
  if (::getuid() == 0 && runProgram("setpriv", {"--version"}).status == 0) {
    const std::string noThreads = "exec prlimit --nproc=1 setpriv --reuid=65534 --regid=65534 --clear-groups";
    cases.push_back({noThreads, "hash -j 64" + all, 0, "", files.size()});
    // The library's own threads cannot start either: its callers do its work.
    cases.push_back({noThreads, "hash --library '" + kLibrary + "' --asset Holidays/beach.png", 0, "", 1});
    // Without threads, an endless check list is still answered as it is read.
    const auto empty = dir.write("empty", "");
    const auto endless = runShell("yes '" + referenceSha256("") + "  " + empty + "' | timeout 60 " +
                                  noThreads.substr(5) + " '" + corvanePath() + "' hash -c 2>/dev/null | head -n 2");
    EXPECT_EQ(endless.out, empty + ": OK\n" + empty + ": OK\n");
    // A folder that can be listed but not searched: its files fail, as for sha256sum, and are
    // not passed over.
    const auto locked = dir.write("locked/file", "x");
    std::filesystem::permissions(dir.at("locked"), std::filesystem::perms::owner_read |
                                                       std::filesystem::perms::group_read |
                                                       std::filesystem::perms::others_read);
    cases.push_back({"exec setpriv --reuid=65534 --regid=65534 --clear-groups", "-q hash -r '" + dir.at("locked") + "'",
                     1, "corvane: " + locked + ": Permission denied\n", 0});
  }
#endif
  for (const auto& c : cases) {
    const auto run = runShell(c.limit + " '" + corvanePath() + "' " + c.command);
    EXPECT_EQ(run.signal, 0) << c.command.substr(0, 40);
    EXPECT_EQ(run.status, c.status) << c.command.substr(0, 40) << run.err;
    if (c.status != 0) {
      EXPECT_EQ(countLines(run.err, ""), 1u) << run.err;
      EXPECT_TRUE(run.err.starts_with("corvane: ")) << run.err;
    }
    if (!c.err.empty()) {
      EXPECT_EQ(run.err, c.err);
    }
    EXPECT_EQ(countLines(run.out, ""), c.outLines) << c.command.substr(0, 40);
  }
}

}  // namespace
}  // namespace corvane::testing
