#include "digest_run.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "file_report.h"
#include "ordered_runner.h"

namespace corvane::tool {
namespace {

// Every thread takes address space: its stack (RLIMIT_STACK, 8 MiB by default) and the memory
// allocator's arena it will use (64 MiB reserved). Under a limit on address space (ulimit -v),
// threads get half of it at most: the plug-in's work needs the rest.
std::size_t affordableThreads(std::size_t wanted) {
  rlimit space{}, stack{};
  if (::getrlimit(RLIMIT_AS, &space) != 0 || space.rlim_cur == RLIM_INFINITY) return wanted;
  std::uint64_t stackSize = std::uint64_t{8} << 20;
  if (::getrlimit(RLIMIT_STACK, &stack) == 0 && stack.rlim_cur != RLIM_INFINITY && stack.rlim_cur != 0) {
    stackSize = stack.rlim_cur;
  }
  constexpr std::uint64_t kArena = std::uint64_t{64} << 20;
  return static_cast<std::size_t>(std::clamp<std::uint64_t>(space.rlim_cur / 2 / (stackSize + kArena), 1, wanted));
}

}  // namespace

const char* algorithmName(DigestKind kind) { return kind == DigestKind::kFingerprint ? "FINGERPRINT" : "SHA256"; }
const char* jsonKey(DigestKind kind) { return kind == DigestKind::kFingerprint ? "fingerprint" : "sha256"; }

DigestRun::DigestRun(const CommonOptions& common, const DigestOptions& options, DigestKind kind,
                     const std::optional<std::string>& library, std::vector<Item> items)
    : common_(common),
      options_(options),
      kind_(kind),
      library_(library),
      items_(std::move(items)),
      progress_(!common.quiet && !common.trace && Progress::terminalAttached(), items_.size()) {}

DigestRun::~DigestRun() {
  host_.reset();  // before the progress display that its console writes through
}

bool DigestRun::start(std::string& error) {
  LentServices services;
  services.libraryLocation = library_;
  // The plug-in's own lines ("File size: N bytes", ...) only when asked for.
  services.console = common_.verbose ? std::shared_ptr<platform::Console>(std::make_shared<ProgressConsole>(progress_))
                                     : std::make_shared<platform::SilentConsole>();
  // The plug-in tells each worker thread what it found of the file it was asked about.
  services.fileObserver = std::make_shared<FileReporter>();
  host_ = PluginHost::start(common_.plugin, services, error);
  return host_ != nullptr;
}

Outcome DigestRun::call(Item& item) const {
  Outcome outcome;
  if (item.error) {
    outcome.error = *item.error;
    return outcome;
  }
  const bool fingerprint = kind_ == DigestKind::kFingerprint;
  const char* method = options_.assets ? (fingerprint ? "fingerprintOfVideoAsset" : "hashAsset")
                                       : (fingerprint ? "fingerprintOfFile" : "hashFile");
  FileReporter::take();
  const auto reply = host_->call({method, host::Value(item.target)}, common_.trace);
  const auto report = FileReporter::take();
  if (report.status) outcome.size = report.status->size;
  const auto* value = std::get_if<host::Value>(&reply);
  if (const auto* digest = value ? value->getIf<std::string>() : nullptr) {
    outcome.digest = *digest;
  } else if (options_.assets) {
    outcome.error = fingerprint ? "no such video in the library, or unreadable"
                                : "no such asset in the library, or its data cannot be read";
  } else if (report.error) {
    // The reason the plug-in's file layer met, as it met it.
    outcome.error = report.error->description();
    outcome.missing = report.error->code == ENOENT || report.error->code == ENOTDIR;
  } else {
    outcome.error = "no answer";
  }
  return outcome;
}

bool DigestRun::run(const std::function<bool(std::size_t, const Item&, Outcome&)>& emit) {
  const std::size_t threads = affordableThreads(
      options_.threads != 0 ? options_.threads : std::max(1u, std::thread::hardware_concurrency()));
  return runInOrder<Outcome>(
      items_.size(), threads,
      [this](std::size_t i) {
        auto outcome = call(items_[i]);
        items_[i].spool.reset();  // the stream's copy is no longer needed
        progress_.advance(outcome.size.value_or(items_[i].size.value_or(0)));
        return outcome;
      },
      [&](std::size_t i, Outcome& outcome) { return emit(i, items_[i], outcome); });
}

}  // namespace corvane::tool
