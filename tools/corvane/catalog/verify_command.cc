#include <thread>

#include "catalog/catalog_command.h"
#include "catalog/line_writer.h"
#include "catalog/reading.h"
#include "catalog/store.h"
#include "escape.h"
#include "exit_status.h"
#include "file_report.h"
#include "json_name.h"
#include "ordered_runner.h"
#include "output.h"
#include "progress.h"
#include "thread_budget.h"

namespace corvane::tool::catalog {
namespace {

std::string jsonOfFinding(const char* finding, const std::string& location, const std::string& detail) {
  nlohmann::ordered_json object{{"finding", finding}};
  putName(object, "path", location);
  object["detail"] = detail;
  return jsonLine(object);
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
};

class Verifier {
 public:
  Verifier(const CommonOptions& common, const CatalogOptions& options, LineWriter& out)
      : common_(common), options_(options), out_(out) {}

  Failure verify(const Root& root, const std::vector<Entry>& entries) {
    std::shared_ptr<photo_library::FolderLibrary> library;
    if (root.kind == RootKind::kLibrary) {
      auto opened = photo_library::FolderLibrary::open(root.path, platform::posixFileSystem());
      if (!opened) return root.path + ": " + opened.error().description();
      library = std::move(*opened);
    }
    // Only what a scan would keep is re-read: files whose metadata is as recorded.
    std::vector<std::size_t> work;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const auto status = library ? assetStatus(*library, entries[i].path)
                                  : platform::posixFileSystem()->statusOf(nullptr, root.locationOf(entries[i].path),
                                                                          platform::Resolve::kNoFollow);
      if (!status) {
        report(root, entries[i], {Finding::kMissing, status.error().description()});
      } else if (status->type != platform::FileType::kRegular || !entries[i].sameMetadataAs(*status)) {
        report(root, entries[i], {Finding::kChanged, "changed since the scan"});
      } else {
        work.push_back(i);
      }
    }
    if (work.empty()) return std::nullopt;

    Progress progress(!common_.quiet && !common_.trace && Progress::terminalAttached(), work.size());
    std::string error;
    auto host = startReader(common_, progress, library.get(), error);
    if (!host) return error;
    const auto compute = [&](std::size_t w) -> Checked {
      const Entry& entry = entries[work[w]];
      const Needs needs{entry.fingerprint.has_value(), entry.sha256.has_value()};
      const auto outcome = library ? readAsset(*host, *library, entry.path, needs, common_.trace)
                                   : readFile(*host, root.locationOf(entry.path), needs, common_.trace);
      progress.advance(entry.size);
      if (!outcome.entry) return {Finding::kUnreadable, outcome.error};
      const Entry& now = *outcome.entry;
      // Read as another version than the one recorded: a change, not damage.
      if (now.size != entry.size || now.modifiedNs != entry.modifiedNs || now.changedNs != entry.changedNs ||
          now.device != entry.device || now.inode != entry.inode) {
        return {Finding::kChanged, "changed since the scan"};
      }
      if (now.fingerprint != entry.fingerprint || now.sha256 != entry.sha256) {
        return {Finding::kCorrupt, "content changed under unchanged metadata"};
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
    host.reset();
    return std::nullopt;
  }

  const Counts& counts() const { return counts_; }

 private:
  void report(const Root& root, const Entry& entry, const Checked& checked) {
    counts_.add(checked.finding);
    if (checked.finding == Finding::kIntact) return;
    const std::string location = root.locationOf(entry.path);
    std::string line = options_.json ? jsonOfFinding(findingName(checked.finding), location, checked.detail)
                                     : NameLine().text(findingName(checked.finding)).text(": ").name(location).take();
    out_.line(line);
  }

  const CommonOptions& common_;
  const CatalogOptions& options_;
  LineWriter& out_;
  Counts counts_;
};

}  // namespace

int runVerify(const CommonOptions& common, const CatalogOptions& options) {
  auto store = Store::open(options.catalog, Store::Access::kRead);
  if (!store) {
    printError(store.error());
    return kExitFailed;
  }
  auto roots = (*store)->roots();
  if (!roots) {
    printError(quoteName(options.catalog) + ": " + roots.error());
    return kExitFailed;
  }
  LineWriter out;
  Verifier verifier(common, options, out);
  const std::string machine = machineName();
  for (const auto& root : *roots) {
    if (root.machine != machine) continue;  // another machine's files are not here to read
    auto entries = (*store)->entriesOf(root.id);
    if (!entries) {
      printError(quoteName(options.catalog) + ": " + entries.error());
      return kExitFailed;
    }
    if (auto failure = verifier.verify(root, *entries)) {
      out.flush();
      printError(*failure);
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
  return out.flush() && c.corrupt == 0 && c.unreadable == 0 ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool::catalog
