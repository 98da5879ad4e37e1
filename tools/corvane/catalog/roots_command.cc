#include <ctime>
#include <unordered_map>

#include "catalog/catalog_command.h"
#include "catalog/opening.h"
#include "catalog/store/flaws.h"
#include "catalog/store/store.h"
#include "cli/exit_status.h"
#include "text/escape.h"
#include "text/json_name.h"
#include "text/line_writer.h"
#include "text/output.h"

namespace corvane::tool::catalog {
namespace {

// Local time with its offset, to the second; "never" before a whole scan.
std::string timeText(std::int64_t ns) {
  if (ns <= 0) return "never";
  const std::time_t seconds = static_cast<std::time_t>(ns / 1'000'000'000);
  std::tm local{};
  char text[64] = {};
  if (::localtime_r(&seconds, &local) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0)
    return std::to_string(ns);
  return text;
}

const char* kindName(RootKind kind) { return kind == RootKind::kLibrary ? "library" : "folder"; }

}  // namespace

int runRoots(const Context& context, const CatalogOptions& options) {
  auto opened = openCatalog(context, options.catalog, Store::Access::kRead, true);
  if (!opened) return kExitFailed;
  auto& store = opened->store;
  const auto* roots = &opened->roots;
  // Counted row by row, so that every row counted keeps the catalog's rules.
  std::unordered_map<std::int64_t, std::int64_t> entriesOf;
  if (auto read = store->forEachEntry([&](std::int64_t root, Entry&) { return ++entriesOf[root], true; }); !read) {
    printError(read.error().within(quoteName(catalogName(options.catalog))).text());
    return kExitFailed;
  }
  LineWriter out;
  for (const auto& root : *roots) {
    const auto entries = entriesOf[root.id];
    if (options.json) {
      nlohmann::ordered_json object{{"machine", root.machine}, {"kind", kindName(root.kind)}};
      putName(object, "path", root.path);
      object["entries"] = entries;
      object["sha256"] = root.hashes;
      object["scanned"] = root.scannedNs > 0 ? nlohmann::ordered_json(timeText(root.scannedNs)) : nullptr;
      object["scannedNs"] = root.scannedNs;
      putNames(object, "exclude", root.exclusions);
      object["oneFileSystem"] = root.oneFileSystem;
      out.line(jsonLine(object));
    } else {
      out.line(NameLine()
                   .text(root.machine + "  " + kindName(root.kind) + "  " + std::to_string(entries) +
                         (entries == 1 ? " entry  " : " entries  ") + (root.hashes ? "sha256" : "fingerprint-only") +
                         "  " + timeText(root.scannedNs) + "  ")
                   .name(root.path)
                   .take());
      // What its walk leaves out, a line each, below it.
      if (root.oneFileSystem) out.line("  one file system");
      for (const auto& pattern : root.exclusions) out.line(NameLine().text("  exclude ").name(pattern).take());
    }
  }
  const bool flawed = reportFlaws(*store);
  return out.flush() && !flawed ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool::catalog
