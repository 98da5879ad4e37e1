#include "digest_run.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <thread>

#include "file_report.h"
#include "ordered_pipeline.h"
#include "output.h"
#include "thread_budget.h"

namespace corvane::tool {
namespace {

constexpr const char* kMovedSinceWalk = "changed since the walk: its path leads to another file now";

}  // namespace

const char* algorithmName(DigestKind kind) { return kind == DigestKind::kFingerprint ? "FINGERPRINT" : "SHA256"; }
const char* jsonKey(DigestKind kind) { return kind == DigestKind::kFingerprint ? "fingerprint" : "sha256"; }

DigestRun::DigestRun(const CommonOptions& common, const DigestOptions& options, DigestKind kind,
                     const std::optional<std::string>& library, Source source)
    : common_(common),
      options_(options),
      kind_(kind),
      library_(library),
      source_(std::move(source)),
      progress_(!common.quiet && !common.trace && Progress::terminalAttached(), 0) {}

DigestRun::DigestRun(const CommonOptions& common, const DigestOptions& options, DigestKind kind,
                     const std::optional<std::string>& library, std::vector<Item> items)
    : DigestRun(common, options, kind, library, [items = std::move(items)](const ItemSink& sink) mutable {
        for (auto& item : items) {
          if (!sink(std::move(item))) return;
        }
      }) {}

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
  // A file met in a walk is asked for by its path, and the answer kept only if the file read is
  // the one the walk saw (its device and inode): a folder swapped for a link since cannot pass
  // off another file's digest. A path too long to open by name is held from its walked folder
  // instead, no link followed on the way.
  std::unique_ptr<platform::PinnedFile> pinned;
  const platform::FileStatus* seen = item.walked && item.walked->status ? &*item.walked->status : nullptr;
  if (item.walked && (seen == nullptr || item.target.size() >= PATH_MAX)) {
    auto pin = pinWalked(*platform::posixFileSystem(), *item.walked);
    if (!pin) {
      const int code = pin.error().code;
      outcome.error = code == ELOOP || code == EXDEV ? kMovedSinceWalk : pin.error().description();
      outcome.missing = code == ENOENT;
      return outcome;
    }
    pinned = std::move(*pin);
  }
  const auto [reply, report] =
      callReporting(*host_, {method, host::Value(pinned ? pinned->path() : item.target)}, common_.trace);
  if (report.status) outcome.size = report.status->size;
  const auto* value = std::get_if<host::Value>(&reply);
  if (const auto* digest = value ? value->getIf<std::string>() : nullptr) {
    const bool sameFile = seen == nullptr || pinned || (report.status && report.status->sameFileAs(*seen));
    if (sameFile) {
      outcome.digest = *digest;
    } else {
      outcome.error = kMovedSinceWalk;
    }
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
  const std::size_t threads = threadBudget(options_.threads);
  HeldOutput output;
  std::size_t index = 0;
  return OrderedPipeline<Item, Outcome>::run(
      threads,
      [this](const ItemSink& sink) {
        source_([&](Item&& item) {
          progress_.addToTotal(1);
          return sink(std::move(item));
        });
      },
      [this](Item& item) {
        auto outcome = call(item);
        item.spool.reset();   // the stream's copy is no longer needed
        item.walked.reset();  // nor the walked folder
        progress_.advance(outcome.size.value_or(item.size.value_or(0)));
        return outcome;
      },
      [&](Item& item, Outcome& outcome) { return emit(index++, item, outcome); }, [&] { return output.flush(); });
}

}  // namespace corvane::tool
