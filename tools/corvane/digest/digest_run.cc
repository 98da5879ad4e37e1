#include "digest/digest_run.h"

#include "plugin/checked_digest.h"
#include "run/ordered_pipeline.h"
#include "run/thread_budget.h"
#include "text/output.h"

namespace corvane::tool {

DigestRun::DigestRun(const Context& context, const DigestOptions& options, DigestKind kind,
                     const std::optional<std::string>& library, Source source)
    : context_(context),
      options_(options),
      kind_(kind),
      library_(library),
      source_(std::move(source)),
      progress_(!context.common.quiet && !context.common.trace && Progress::terminalAttached(), 0) {}

DigestRun::DigestRun(const Context& context, const DigestOptions& options, DigestKind kind,
                     const std::optional<std::string>& library, std::vector<Item> items)
    : DigestRun(context, options, kind, library, [items = std::move(items)](const ItemSink& sink) mutable {
        for (auto& item : items) {
          if (!sink(std::move(item))) return;
        }
      }) {}

DigestRun::~DigestRun() {
  client_.reset();  // before the progress display that its console writes through
}

Result<> DigestRun::start() {
  // The plug-in's own lines ("File size: N bytes", ...) only when asked for.
  Lending lending{context_.common.verbose
                      ? std::shared_ptr<platform::Console>(std::make_shared<ProgressConsole>(progress_))
                      : std::make_shared<platform::SilentConsole>(),
                  library_};
  auto client = PluginClient::start(context_, std::move(lending));
  if (!client) return failure(client.error());
  client_ = std::move(*client);
  return {};
}

Outcome DigestRun::call(const Item& item, DigestKind kind) const {
  Outcome outcome;
  if (item.file.error) {
    outcome.error = *item.file.error;
    return outcome;
  }
  if (options_.assets) {
    if (auto digest = client_->digestOfAsset(kind, item.file.path)) {
      outcome.digest = std::move(*digest);
    } else {
      outcome.error = kind == DigestKind::kFingerprint ? "no such video in the library, or unreadable"
                                                       : "no such asset in the library, or its data cannot be read";
    }
    return outcome;
  }
  if (item.lent) {
    if (auto opened = item.lent->open(); !opened) {
      outcome.error = opened.error().text();
      return outcome;
    }
  }
  auto digest = item.lent ? client_->digestOfLentFile(kind, item.lent->name(), item.lent->file())
                          : digestOfSeenFile(*client_, *context_.files, kind, item.file, Match::kSameFile);
  if (!digest) {
    outcome.error = digest.error().text();
    outcome.missing = digest.error().kind == Error::Kind::kMissing;
    return outcome;
  }
  if (digest->status) outcome.size = digest->status->size;
  if (item.lent) outcome.size = item.lent->bytesRead();
  outcome.digest = std::move(digest->digest);
  return outcome;
}

std::optional<Outcome> DigestRun::otherDigest(const Item& item) const {
  // A stream is read once; an item that failed has nothing to call.
  if (item.lent || item.file.error) return std::nullopt;
  return call(item, kind_ == DigestKind::kFingerprint ? DigestKind::kHash : DigestKind::kFingerprint);
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
        progress_.totalComplete();
      },
      [this](Item& item) {
        auto outcome = call(item, kind_);
        item.lent.reset();           // the stream, its copy or the device is no longer needed
        item.file.walkRoot.reset();  // nor the walked folder
        progress_.advance(outcome.size.value_or(0));
        return outcome;
      },
      [&](Item& item, Outcome& outcome) { return emit(index++, item, outcome); }, [&] { return output.flush(); },
      // A job waiting holds its name several times over on its way.
      [](const Item& item) { return 4 * item.file.path.size(); });
}

}  // namespace corvane::tool
