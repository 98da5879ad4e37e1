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

int runExport(const Context& context, const CatalogOptions& options) {
  auto opened = openCatalog(context, options.catalog, Store::Access::kRead, true);
  if (!opened) return kExitFailed;
  auto& store = opened->store;
  const auto* roots = &opened->roots;
  LineWriter out;
  std::size_t left = 0;
  std::unordered_map<std::int64_t, const Root*> rootOf;
  for (const auto& root : *roots) rootOf[root.id] = &root;
  auto read = store->forEachEntry([&](std::int64_t rootId, Entry& entry) {
    const Root& root = *rootOf.at(rootId);
    const std::string location = root.locationOf(entry.path);
    if (options.json) {
      nlohmann::ordered_json object;
      putName(object, "path", location);
      object["size"] = entry.size;
      object["mtimeNs"] = entry.modifiedNs;
      object["fingerprint"] = entry.fingerprint ? nlohmann::ordered_json(textOfDigest(*entry.fingerprint)) : nullptr;
      object["sha256"] = entry.sha256 ? nlohmann::ordered_json(textOfDigest(*entry.sha256)) : nullptr;
      object["machine"] = root.machine;
      out.line(jsonLine(object));
      return true;
    }
    const auto& digest = options.fingerprint ? entry.fingerprint : entry.sha256;
    if (!digest) {
      ++left;
      return true;
    }
    out.line(NameLine().text(textOfDigest(*digest)).text("  ").name(location).take());
    return true;
  });
  if (!read) {
    out.flush();
    printError(read.error().within(quoteName(catalogName(options.catalog))).text());
    return kExitFailed;
  }
  const bool flawed = reportFlaws(*store);
  if (!out.flush() || flawed) return kExitFailed;
  if (left != 0) {
    printError(quoteName(catalogName(options.catalog)) + ": " + std::to_string(left) +
               (left == 1 ? " entry has no " : " entries have no ") +
               (options.fingerprint ? "fingerprint (a library's images are known by SHA-256 alone): not listed"
                                    : "SHA-256 (scanned with --fingerprint-only, or by an older corvane): not "
                                      "listed; 'corvane catalog scan --hash CATALOG' records it, or "
                                      "'export --fingerprint' lists fingerprint lines"));
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace corvane::tool::catalog
