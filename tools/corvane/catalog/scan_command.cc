#include "catalog/catalog_command.h"
#include "catalog/line_writer.h"
#include "catalog/scanner.h"
#include "escape.h"
#include "exit_status.h"
#include "json_name.h"
#include "output.h"

namespace corvane::tool::catalog {
namespace {

struct Target {
  Root root;
  std::shared_ptr<photo_library::FolderLibrary> library;  // for a library
};

// The roots a scan goes through: those named, or else every one of this machine.
std::optional<std::vector<Target>> targetsOf(Store& store, const CatalogOptions& options) {
  auto& fileSystem = *platform::posixFileSystem();
  const std::string machine = machineName();
  std::vector<Target> targets;
  const auto add = [&](const std::string& path, RootKind kind) -> bool {
    const auto canonical = fileSystem.canonicalPath(path);
    if (!canonical) {
      printError(quoteName(path) + ": " + canonical.error().description());
      return false;
    }
    auto root = store.rootFor(machine, *canonical, kind);
    if (!root) {
      printError(quoteName(options.catalog) + ": " + root.error());
      return false;
    }
    if (root->kind != kind) {
      printError(path + ": the catalog has it as a " + (kind == RootKind::kFolder ? "photo library" : "folder"));
      return false;
    }
    targets.push_back({std::move(*root), nullptr});
    return true;
  };
  for (const auto& path : options.paths) {
    if (!add(path, RootKind::kFolder)) return std::nullopt;
  }
  if (options.library && !add(*options.library, RootKind::kLibrary)) return std::nullopt;
  if (options.paths.empty() && !options.library) {
    auto roots = store.roots();
    if (!roots) {
      printError(quoteName(options.catalog) + ": " + roots.error());
      return std::nullopt;
    }
    for (auto& root : *roots) {
      if (root.machine == machine) targets.push_back({std::move(root), nullptr});
    }
    if (targets.empty()) {
      printError(options.catalog + ": no folders of this machine to scan yet; name some");
      return std::nullopt;
    }
  }
  for (auto& target : targets) {
    if (target.root.kind != RootKind::kLibrary) continue;
    auto library = photo_library::FolderLibrary::open(target.root.path, platform::posixFileSystem());
    if (!library) {
      printError(quoteName(target.root.path) + ": " + library.error().description());
      return std::nullopt;
    }
    target.library = std::move(*library);
  }
  return targets;
}

// Every named path must be a folder; checked before a catalog is made for them.
bool allFolders(const CatalogOptions& options) {
  auto paths = options.paths;
  if (options.library) paths.push_back(*options.library);
  for (const auto& path : paths) {
    const auto status = platform::posixFileSystem()->statusOf(nullptr, path, platform::Resolve::kFollow);
    if (!status || status->type != platform::FileType::kDirectory) {
      printError(quoteName(path) + ": " + (status ? std::string("not a folder") : status.error().description()));
      return false;
    }
  }
  return true;
}

}  // namespace

int runScan(const CommonOptions& common, const CatalogOptions& options) {
  if (!allFolders(options)) return kExitFailed;
  auto store = Store::open(options.catalog, Store::Access::kWrite);
  if (!store) {
    printError(store.error());
    return kExitFailed;
  }
  auto targets = targetsOf(**store, options);
  if (!targets) return kExitFailed;

  Scanner scanner(**store, common, {.hash = options.hash, .threads = options.threads, .listChanges = options.json});
  for (auto& target : *targets) {
    const auto failure =
        target.library ? scanner.scanLibrary(target.root, target.library) : scanner.scanFolder(target.root);
    if (failure) {
      printError(quoteName(options.catalog) + ": " + *failure);
      return kExitFailed;
    }
  }

  const auto& counts = scanner.counts();
  LineWriter out;
  if (options.json) {
    for (const auto& change : scanner.changes()) {
      nlohmann::ordered_json object{{"change", changeName(change.change)}};
      putName(object, "path", change.path);
      if (change.change == Change::kMoved) putName(object, "from", change.from);
      out.line(jsonLine(object));
    }
    out.line(jsonLine({{"new", counts.added},
                       {"changed", counts.changed},
                       {"unchanged", counts.unchanged},
                       {"removed", counts.removed},
                       {"moved", counts.moved},
                       {"read", counts.read},
                       {"failed", counts.failed}}));
  } else {
    std::string line = std::to_string(counts.added) + " new, " + std::to_string(counts.changed) + " changed, " +
                       std::to_string(counts.unchanged) + " unchanged, " + std::to_string(counts.removed) +
                       " removed, " + std::to_string(counts.moved) + " moved";
    if (counts.failed != 0) line += ", " + std::to_string(counts.failed) + " unreadable (kept as they were)";
    out.line(line);
  }
  return out.flush() && counts.failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool::catalog
