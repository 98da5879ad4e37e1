#include <cerrno>
#include <thread>

#include "catalog/catalog_command.h"
#include "catalog/listing.h"
#include "catalog/opening.h"
#include "catalog/reading.h"
#include "catalog/store/flaws.h"
#include "catalog/store/store.h"
#include "cli/exit_status.h"
#include "plugin/file_report.h"
#include "run/ordered_runner.h"
#include "run/thread_budget.h"
#include "text/escape.h"
#include "text/json_name.h"
#include "text/line_writer.h"
#include "text/output.h"
#include "text/progress.h"

namespace corvane::tool::catalog {
namespace {

std::string jsonOfFinding(const char* finding, const std::string& location, const std::string& detail,
                          bool changeTimeMoved) {
  nlohmann::ordered_json object{{"finding", finding}};
  putName(object, "path", location);
  object["detail"] = detail;
  if (changeTimeMoved) object["changeTimeMoved"] = true;
  return jsonLine(object);
}

template <typename Status>
bool sameSizeAndTime(const Entry& entry, const Status& status) {
  return entry.size == status.size && entry.modifiedNs == status.modifiedNs;
}

enum class Finding { kIntact, kCorrupt, kChanged, kMissing, kUnreadable };

const char* findingName(Finding finding) {
  switch (finding) {
    case Finding::kCorrupt: return "corrupt";
    case Finding::kChanged: return "changed";
    case Finding::kMissing: return "missing";
    case Finding::kUnreadable: return "unreadable";
    default: return "intact";
  }
}

struct Counts {
  std::size_t verified = 0, bySamplesOnly = 0, corrupt = 0, changed = 0, missing = 0, unreadable = 0;
  void add(Finding finding) {
    switch (finding) {
      case Finding::kIntact: break;
      case Finding::kCorrupt: ++corrupt; break;
      case Finding::kChanged: ++changed; break;
      case Finding::kMissing: ++missing; break;
      case Finding::kUnreadable: ++unreadable; break;
    }
  }
};

struct Checked {
  Finding finding;
  std::string detail;
  bool changeTimeMoved = false;  // corrupt: as when bytes are written and the modification time put back
};

class Verifier {
 public:
  Verifier(const Context& context, const CatalogOptions& options, LineWriter& out)
      : context_(context), options_(options), out_(out) {}

  Result<> verify(const Root& root, const std::vector<Entry>& entries) {
    std::optional<PhotoFolder> library;
    std::shared_ptr<const platform::Directory> folder;
    if (root.kind == RootKind::kLibrary) {
      auto opened = PhotoFolder::open(context_.files, root.path);
      if (!opened) return failure(opened.error().within(root.path));
      library = std::move(*opened);
    } else {
      // Every entry is looked at and read below the root's open folder, never by its joined path.
      auto opened = openRootFolder(*context_.files, root.path);
      if (!opened) {
        const int code = opened.error().code;
        if (code == ELOOP || code == EXDEV) return failure(Error{root.path, "its path leads through a link now"});
        return failure(Error::ofFile(opened.error(), root.path));
      }
      folder = std::move(*opened);
    }
    // Content is judged by size and modification time, as bit-rot tools judge it: a file whose
    // two are as recorded must hold what it held, whatever its change time or inode say (both
    // move under a restored modification time, and under chmod alone). Files whose size or
    // modification time moved were changed by someone, and are not read.
    std::vector<std::size_t> work;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const Entry& entry = entries[i];
      const auto status = library
                              ? library->assetStatus(entry.path)
                              : context_.files->statusOf(folder.get(), entry.path, platform::Resolve::kBeneathNoLinks);
      if (!status) {
        const int code = status.error().code;
        if (code == ELOOP || code == EXDEV) {
          report(root, entry, {Finding::kChanged, "its path leads through a link now"});
        } else {
          report(root, entry, {Finding::kMissing, status.error().description()});
        }
      } else if (status->type != platform::FileType::kRegular) {
        report(root, entry, {Finding::kChanged, "no longer a regular file"});
      } else if (!sameSizeAndTime(entry, *status)) {
        report(root, entry, {Finding::kChanged, "changed since the scan"});
      } else {
        work.push_back(i);
      }
    }
    if (work.empty()) return {};

    const auto& common = context_.common;
    Progress progress(!common.quiet && !common.trace && Progress::terminalAttached(), work.size());
    auto client = startReader(context_, progress, library ? &*library : nullptr);
    if (!client) return failure(client.error());
    const auto compute = [&](std::size_t w) -> Checked {
      const Entry& entry = entries[work[w]];
      const Needs needs{entry.fingerprint.has_value(), entry.sha256.has_value()};
      const auto outcome = library ? readAsset(**client, *library, entry.path, needs)
                                   : readFile(**client, *context_.files,
                                              {.path = root.locationOf(entry.path),
                                               .walkRoot = folder,
                                               .belowRoot = entry.path,
                                               .belowRootOnly = true},
                                              needs);
      progress.advance(entry.size);
      if (!outcome.entry) return {Finding::kUnreadable, outcome.error};
      const Entry& now = *outcome.entry;
      // Written to while it was read, or just before.
      if (!sameSizeAndTime(entry, now)) return {Finding::kChanged, "changed since the scan"};
      if (now.fingerprint != entry.fingerprint || now.sha256 != entry.sha256) {
        std::string detail = "content changed under unchanged size and modification time";
        if (now.changedNs != entry.changedNs) {
          detail += "; its change time moved too, as when bytes are written and the modification time put back";
        }
        return {Finding::kCorrupt, detail, now.changedNs != entry.changedNs};
      }
      return {Finding::kIntact, {}};
    };
    const auto emit = [&](std::size_t w, Checked& checked) {
      const Entry& entry = entries[work[w]];
      ++counts_.verified;
      if (!entry.sha256) ++counts_.bySamplesOnly;
      report(root, entry, checked);
      return !outputFailed();  // a closed pipe or a full disk ends the run
    };
    const std::size_t threads = threadBudget(options_.threads);
    runInOrder<Checked>(work.size(), threads, compute, emit);
    client->reset();
    return {};
  }

  const Counts& counts() const { return counts_; }

 private:
  void report(const Root& root, const Entry& entry, const Checked& checked) {
    counts_.add(checked.finding);
    if (checked.finding == Finding::kIntact) return;
    const std::string location = root.locationOf(entry.path);
    std::string line =
        options_.json ? jsonOfFinding(findingName(checked.finding), location, checked.detail, checked.changeTimeMoved)
                      : NameLine()
                            .text(findingName(checked.finding))
                            .text(checked.changeTimeMoved ? ", its change time moved too" : "")
                            .text(": ")
                            .name(location)
                            .take();
    out_.line(line);
  }

  const Context& context_;
  const CatalogOptions& options_;
  LineWriter& out_;
  Counts counts_;
};

}  // namespace

int runVerify(const Context& context, const CatalogOptions& options) {
  auto opened = openCatalog(context, options.catalog, Store::Access::kRead, false);
  if (!opened) return kExitFailed;
  auto& store = opened->store;
  const auto* roots = &opened->roots;
  LineWriter out;
  Verifier verifier(context, options, out);
  const std::string machine = machineName();
  for (const auto& root : *roots) {
    if (root.machine != machine) continue;  // another machine's files are not here to read
    auto entries = store->entriesOf(root.id);
    if (!entries) {
      printError(entries.error().within(quoteName(catalogName(options.catalog))).text());
      return kExitFailed;
    }
    if (auto verified = verifier.verify(root, *entries); !verified) {
      out.flush();
      printError(verified.error().text());
      return kExitFailed;
    }
  }
  const auto& c = verifier.counts();
  if (options.json) {
    out.line(jsonLine({{"verified", c.verified},
                       {"bySamplesOnly", c.bySamplesOnly},
                       {"corrupt", c.corrupt},
                       {"changed", c.changed},
                       {"missing", c.missing},
                       {"unreadable", c.unreadable}}));
  } else {
    std::string summary = std::to_string(c.verified) + " re-read";
    if (c.bySamplesOnly != 0)
      summary += " (" + std::to_string(c.bySamplesOnly) + " by their fingerprint's samples only: no SHA-256)";
    summary += ", " + std::to_string(c.corrupt) + " corrupt, " + std::to_string(c.changed) +
               " changed since the scan, " + std::to_string(c.missing) + " missing, " + std::to_string(c.unreadable) +
               " unreadable";
    out.line(summary);
  }
  const bool flawed = reportFlaws(*store);
  return out.flush() && c.corrupt == 0 && c.unreadable == 0 && !flawed ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool::catalog
