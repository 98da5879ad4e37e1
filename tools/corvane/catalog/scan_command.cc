#include <unistd.h>

#include "catalog/catalog_command.h"
#include "catalog/opening.h"
#include "catalog/scanner.h"
#include "catalog/store/flaws.h"
#include "cli/exit_status.h"
#include "text/escape.h"
#include "text/json_name.h"
#include "text/line_writer.h"
#include "text/output.h"

namespace corvane::tool::catalog {
namespace {

struct Target {
  Root root;
  std::optional<PhotoFolder> library;  // for a library
  std::string part;                    // the folder below the root that alone is scanned; "" for all
};

// The folder root of this machine that holds `path` strictly inside it, if any.
const Root* enclosingRoot(const std::vector<Root>& roots, const std::string& machine, const std::string& path) {
  const Root* found = nullptr;
  for (const auto& root : roots) {
    if (root.machine != machine || root.kind != RootKind::kFolder || root.path == path) continue;
    const std::string prefix = root.path == "/" ? "/" : root.path + "/";
    if (path.starts_with(prefix) && (found == nullptr || root.path.size() > found->path.size())) found = &root;
  }
  return found;
}

// Whether a folder below a root, or a folder on its way there, is one the root's walk leaves out.
bool leftOut(const Exclusions& rules, const std::string& part) {
  for (auto end = part.find('/');; end = part.find('/', end + 1)) {
    if (rules.excludes(part.substr(0, end), true)) return true;
    if (end == std::string::npos) return false;
  }
}

// Records the walk rules given for a named folder root, from now on its own.
bool takeWalkRules(Store& store, Root& root, const CatalogOptions& options, const Exclusions& exclusions) {
  root.exclusions = exclusions.patterns();
  root.oneFileSystem = options.walk.oneFileSystem;
  auto set = store.begin();
  if (set) set = store.setWalkRules(root);
  if (set) set = store.commit();
  if (!set) {
    store.database().execute("ROLLBACK");
    printError(
        set.error().within("cannot write to the catalog").within(quoteName(catalogName(options.catalog))).text());
  }
  return bool(set);
}

// The roots a scan goes through: those named, or else every one of this machine.
std::optional<std::vector<Target>> targetsOf(const Context& context, Store& store, const CatalogOptions& options,
                                             const Exclusions& exclusions) {
  auto& fileSystem = *context.files;
  const std::string machine = machineName();
  std::vector<Target> targets;
  const auto add = [&](const std::string& path, RootKind kind) -> bool {
    const auto canonical = fileSystem.canonicalPath(path);
    if (!canonical) {
      printError(quoteName(path) + ": " + canonical.error().description());
      return false;
    }
    // A folder inside a root is a part of it: scanned as such, never a second root that holds
    // the same files again.
    if (kind == RootKind::kFolder) {
      auto roots = store.roots();
      if (!roots) {
        printError(roots.error().within(quoteName(catalogName(options.catalog))).text());
        return false;
      }
      if (const Root* outer = enclosingRoot(*roots, machine, *canonical)) {
        if (options.walk.given()) {
          printError(quoteName(path) + " lies inside the catalog's folder " + quoteName(outer->path) +
                     ", whose exclusions and -x it is scanned by: give them with that folder");
          return false;
        }
        std::string part = canonical->substr(outer->path == "/" ? 1 : outer->path.size() + 1);
        // Its entries would go again with the root's next scan, which does not enter it.
        if (const auto rules = Exclusions::of(outer->exclusions); rules && leftOut(*rules, part)) {
          printError(quoteName(path) + " lies in what the catalog's folder " + quoteName(outer->path) +
                     " excludes: it is not scanned");
          return false;
        }
        printError(quoteName(path) + " lies inside the catalog's folder " + quoteName(outer->path) +
                   ": scanning that part of it");
        if (!holdRoot(store, *outer)) return false;
        targets.push_back({*outer, std::nullopt, std::move(part)});
        return true;
      }
    }
    auto root = store.rootFor(machine, *canonical, kind, !options.fingerprintOnly);
    if (!root) {
      printError(root.error().within(quoteName(catalogName(options.catalog))).text());
      return false;
    }
    if (root->kind != kind) {
      printError(path + ": the catalog has it as a " + (kind == RootKind::kFolder ? "photo library" : "folder"));
      return false;
    }
    if (!holdRoot(store, *root)) return false;
    if (kind == RootKind::kFolder && options.walk.given() && !takeWalkRules(store, *root, options, exclusions))
      return false;
    targets.push_back({std::move(*root), std::nullopt, {}});
    return true;
  };
  for (const auto& path : options.paths) {
    if (!add(path, RootKind::kFolder)) return std::nullopt;
  }
  if (options.library && !add(*options.library, RootKind::kLibrary)) return std::nullopt;
  if (options.paths.empty() && !options.library) {
    auto roots = store.roots();
    if (!roots) {
      printError(roots.error().within(quoteName(catalogName(options.catalog))).text());
      return std::nullopt;
    }
    for (auto& root : *roots) {
      if (root.machine != machine) continue;
      if (!holdRoot(store, root)) return std::nullopt;
      targets.push_back({std::move(root), std::nullopt, {}});
    }
    if (targets.empty()) {
      printError(catalogName(options.catalog) + ": no folders of this machine to scan yet; name some");
      return std::nullopt;
    }
  }
  for (auto& target : targets) {
    if (target.root.kind != RootKind::kLibrary) continue;
    auto library = PhotoFolder::open(context.files, target.root.path);
    if (!library) {
      printError(library.error().within(quoteName(target.root.path)).text());
      return std::nullopt;
    }
    target.library = std::move(*library);
  }
  return targets;
}

// Every named path must be a folder; checked before a catalog is made for them.
bool allFolders(platform::FileSystem& fileSystem, const CatalogOptions& options) {
  auto paths = options.paths;
  if (options.library) paths.push_back(*options.library);
  for (const auto& path : paths) {
    const auto status = fileSystem.statusOf(nullptr, path, platform::Resolve::kFollow);
    if (!status || status->type != platform::FileType::kDirectory) {
      printError(quoteName(path) + ": " + (status ? std::string("not a folder") : status.error().description()));
      return false;
    }
  }
  return true;
}

}  // namespace

int runScan(const Context& context, const CatalogOptions& options) {
  if (options.walk.given() && options.paths.empty()) {
    printError(options.library ? "--exclude, --exclude-from and -x walk folders; they do not go with --library alone"
                               : "--exclude, --exclude-from and -x are kept with the folders they are given for: "
                                 "name them (a scan of every folder applies each one's own)");
    return kExitUsage;
  }
  const auto exclusions = exclusionsOf(*context.files, options.walk);
  if (!exclusions) {
    printError(exclusions.error().text());
    return kExitUsage;
  }
  if (!allFolders(*context.files, options)) return kExitFailed;
  // Another scan of this catalog goes first; said only to someone watching.
  const auto waiting = [&] {
    if (::isatty(STDERR_FILENO) == 1)
      printError(quoteName(catalogName(options.catalog)) + ": another scan is writing it; waiting");
  };
  auto store = Store::open(*context.files, options.catalog, Store::Access::kWrite, waiting);
  if (!store) {
    printError(store.error().text());
    return kExitFailed;
  }
  auto targets = targetsOf(context, **store, options, *exclusions);
  if (!targets) return kExitFailed;

  std::optional<bool> hash;
  if (options.hash) hash = true;
  if (options.fingerprintOnly) hash = false;
  const auto catalogLocation = context.files->canonicalPath(options.catalog);
  Scanner scanner(**store, context,
                  {.hash = hash,
                   .threads = options.threads,
                   .listChanges = options.json,
                   .catalog = catalogLocation ? *catalogLocation : std::string()});
  for (auto& target : *targets) {
    const auto scanned = target.library ? scanner.scanLibrary(target.root, *target.library)
                                        : scanner.scanFolder(target.root, target.part);
    if (!scanned) {
      printError(scanned.error().within(quoteName(catalogName(options.catalog))).text());
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
  const bool flawed = reportFlaws(**store);
  return out.flush() && counts.failed == 0 && !flawed ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool::catalog
