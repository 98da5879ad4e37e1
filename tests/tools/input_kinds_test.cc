// Everything a user can point the command at besides a regular file: pipes, FIFOs, process
// substitutions, character and block devices, pseudo-files, and streams that fail or never end,
// each with sha256sum (or the same content as a file) as the oracle.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

// A script for bash, with $C the command and $F, $G two files of the test.
CommandOutput bash(const std::string& script, const std::string& c, const std::string& f, const std::string& g) {
  return runProgram("bash", {"-c", script, "bash", c, f, g});
}

std::string firstWord(const std::string& line) { return line.substr(0, line.find(' ')); }

TEST(InputKinds, EachIsReadAsSha256sumReadsIt) {
  TempDir dir;
  const auto f = dir.write("f.bin", patternBytes(3 << 20, 5));
  const auto g = dir.write("g.bin", patternBytes(70 << 20, 6));  // past what a stream keeps in memory
  const auto fifo = dir.at("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string what;
    std::string operands;  // after the command, in bash, with $1 the command, $2 and $3 the files
    std::string before = "";
  };
  const std::vector<Case> cases = {
      {"a pipe", "-", "cat \"$2\" |"},
      {"a pipe past the memory bound", "-", "cat \"$3\" |"},
      {"standard input from a file, at its offset", "-", "{ head -c 1000 >/dev/null;"},
      {"a process substitution", "<(cat \"$2\")"},
      {"a FIFO with a writer", "'" + fifo + "'", "cat \"$2\" > '" + fifo + "' &"},
      {"a FIFO named twice, with two writers in turn", "'" + fifo + "' '" + fifo + "'",
       "{ printf A > '" + fifo + "'; printf B > '" + fifo + "'; } &"},
      {"streams by the hundred under a low limit on descriptors", "$(yes /dev/null | head -n 300)", "ulimit -n 32;"},
      {"standard input twice", "- -", "cat \"$2\" |"},
      {"/dev/stdin, then standard input", "/dev/stdin -", "cat \"$2\" |"},
      {"/dev/null", "/dev/null"},
      {"an empty pipe", "-", "true |"},
      {"a pseudo-file", "/proc/sys/kernel/ostype"},
  };
  for (const auto& c : cases) {
    const bool braced = c.before.starts_with("{");
    const std::string tail = braced ? "; } < \"$2\"" : "";
    const auto theirs = bash(c.before + " sha256sum " + c.operands + tail, "", f, g);
    const auto ours = bash(c.before + " \"$1\" hash " + c.operands + tail, corvanePath(), f, g);
    EXPECT_EQ(ours.status, theirs.status) << c.what << ": " << ours.err;
    EXPECT_EQ(ours.out, theirs.out) << c.what;
  }

  // A fingerprint of a stream is the fingerprint of the same bytes as a file, however long.
  for (const auto& file : {f, g}) {
    const auto asFile = runCorvane({"fingerprint", file});
    const auto asPipe = bash("cat \"$2\" | \"$1\" fingerprint", corvanePath(), file, "");
    const auto asSubstitution = bash("\"$1\" fingerprint <(cat \"$2\")", corvanePath(), file, "");
    ASSERT_EQ(asFile.status, 0) << asFile.err;
    EXPECT_EQ(asPipe.out, firstWord(asFile.out) + "  -\n") << asPipe.err;
    EXPECT_EQ(firstWord(asSubstitution.out), firstWord(asFile.out)) << asSubstitution.err;
  }
}

TEST(InputKinds, ALoopDeviceReadsAsItsBackingFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
  TempDir dir;
  const auto image = dir.write("disk.img", patternBytes((4 << 20) + 512, 9));
  const auto attach = runProgram("losetup", {"-f", "--show", image});
  if (attach.status != 0) GTEST_SKIP() << "no loop device here: " << attach.err;
  const std::string device = attach.out.substr(0, attach.out.find('\n'));
  for (const char* method : {"hash", "fingerprint"}) {
    const auto ofDevice = runCorvane({method, device});
    const auto ofImage = runCorvane({method, image});
    EXPECT_EQ(ofDevice.status, 0) << ofDevice.err;
    EXPECT_EQ(ofDevice.out, firstWord(ofImage.out) + "  " + device + "\n") << method;
  }
  EXPECT_EQ(runCorvane({"hash", device}).out, runProgram("sha256sum", {device}).out);
  // In a walk, devices stay out, as find -type f leaves them.
  fs::create_directories(dir.at("tree"));
  ASSERT_EQ(::mknod(dir.at("tree/null").c_str(), S_IFCHR | 0600, ::makedev(1, 3)), 0);
  dir.write("tree/file", "x");
  const auto walked = runCorvane({"hash", "-r", dir.at("tree")});
  EXPECT_EQ(walked.status, 0) << walked.err;
  EXPECT_EQ(walked.out, runProgram("sha256sum", {dir.at("tree/file")}).out);
  runProgram("losetup", {"-d", device});
}

// A TCP connection reset by its peer part-way: the reader's next read fails.
int resetStream(const std::string& sent) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener, 1) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return -1;
  }
  const int reader = ::socket(AF_INET, SOCK_STREAM, 0);
  if (::connect(reader, reinterpret_cast<sockaddr*>(&address), length) != 0) return -1;
  const int writer = ::accept(listener, nullptr, nullptr);
  ::close(listener);
  if (::write(writer, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) return -1;
  const linger abort{1, 0};
  ::setsockopt(writer, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(writer);
  return reader;
}

TEST(InputKinds, AStreamThatFailsPartWayGivesNoDigest) {
  TempDir dir;
  for (const char* method : {"hash", "fingerprint"}) {
    const int reader = resetStream(std::string(100000, 'x'));
    ASSERT_GE(reader, 0);
    const auto out = dir.at("out"), err = dir.at("err");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(reader, 0);
      ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      ::execl(corvanePath().c_str(), "corvane", method, "-", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(reader);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << method << " " << status;
    EXPECT_EQ(fs::file_size(out), 0u) << method;
    std::ifstream said(err);
    const std::string reason((std::istreambuf_iterator<char>(said)), std::istreambuf_iterator<char>());
    EXPECT_EQ(reason, "corvane: -: Connection reset by peer\n") << method;
  }
}

TEST(InputKinds, AStreamKeptForItsFingerprintNeedsRoomAndLeavesNothing) {
  TempDir dir;
  fs::create_directories(dir.at("spool"));
  const auto spool = dir.at("spool");
  // Past the memory bound, the stream goes to $TMPDIR, in a file no name leads to.
  const auto kept = runProgram("bash", {"-c", "head -c 80M /dev/zero | TMPDIR=\"$2\" \"$1\" fingerprint; ls -A \"$2\"",
                                        "bash", corvanePath(), spool});
  dir.write("zeros", "");
  fs::resize_file(dir.at("zeros"), 80 << 20);
  EXPECT_EQ(kept.out, firstWord(runCorvane({"fingerprint", dir.at("zeros")}).out) + "  -\n") << kept.err;
  // A $TMPDIR that cannot hold it: no digest, and why.
  const auto nowhere = runProgram(
      "bash", {"-c", "head -c 80M /dev/zero | TMPDIR=/nonexistent \"$1\" fingerprint", "bash", corvanePath()});
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_EQ(nowhere.out, "");
  EXPECT_NE(nowhere.err.find("/nonexistent"), std::string::npos) << nowhere.err;
}

TEST(InputKinds, AnEndlessStreamRunsUntilInterruptedAndLeavesNothing) {
  TempDir dir;
  fs::create_directories(dir.at("spool"));
  for (const char* method : {"hash", "fingerprint"}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("TMPDIR", dir.at("spool").c_str(), 1);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::execl(corvanePath().c_str(), "corvane", method, "/dev/zero", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << method << " ended by itself";
    ::kill(pid, SIGINT);
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << method << " " << status;
    EXPECT_TRUE(fs::is_empty(dir.at("spool"))) << method;
  }
}

// A memory cgroup of `bytes` for a shell script, or none (and why) where the machine has none
// the tests may use.
struct MemoryGroup {
  std::string procs;  // the cgroup.procs file to join
  std::string folder;
  ~MemoryGroup() {
    if (!folder.empty()) ::rmdir(folder.c_str());
  }
};

bool makeMemoryGroup(MemoryGroup& group, std::uint64_t bytes, std::string& whyNot) {
  const std::string name = "corvane-test-" + std::to_string(::getpid());
  const std::vector<std::pair<std::string, std::string>> kinds = {
      {"/sys/fs/cgroup/memory/", "memory.limit_in_bytes"},  // version 1
      {"/sys/fs/cgroup/", "memory.max"},                    // version 2
  };
  for (const auto& [root, limit] : kinds) {
    const std::string folder = root + name;
    if (::mkdir(folder.c_str(), 0755) != 0) continue;
    group.folder = folder;
    std::ofstream(folder + "/" + limit) << bytes;
    std::ifstream check(folder + "/" + limit);
    std::uint64_t set = 0;
    if ((check >> set) && set == bytes) {
      std::ofstream(folder + "/memory.swappiness") << 0;
      group.procs = folder + "/cgroup.procs";
      return true;
    }
    ::rmdir(folder.c_str());
    group.folder.clear();
  }
  whyNot = "no memory cgroup can be made here";
  return false;
}

TEST(InputKinds, AStreamManyTimesAMemoryLimitIsHashedWithinIt) {
  MemoryGroup group;
  std::string whyNot;
  if (!makeMemoryGroup(group, 128 << 20, whyNot)) GTEST_SKIP() << whyNot;
  TempDir dir;
  dir.write("zeros", "");
  fs::resize_file(dir.at("zeros"), std::uint64_t{512} << 20);
  const auto hashOfZeros = runProgram("sha256sum", {dir.at("zeros")}).out.substr(0, 64);
  const auto fingerprintOfZeros = firstWord(runCorvane({"fingerprint", dir.at("zeros")}).out);
  for (const std::string method : {"hash", "fingerprint"}) {
    const auto run =
        runProgram("bash", {"-c", "echo $$ > \"$3\"; head -c 512M /dev/zero | TMPDIR=\"$4\" \"$1\" " + method, "bash",
                            corvanePath(), method, group.procs, dir.path().string()});
    EXPECT_EQ(run.status, 0) << method << ": " << run.err;
    EXPECT_EQ(run.out, (method == "hash" ? hashOfZeros : fingerprintOfZeros) + "  -\n") << method;
  }
}

}  // namespace
}  // namespace corvane::testing
