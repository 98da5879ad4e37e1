#include "catalog/catalog_command.h"
#include "catalog/opening.h"
#include "catalog/reading.h"
#include "catalog/store/flaws.h"
#include "cli/exit_status.h"
#include "inputs/file_walk.h"
#include "run/ordered_runner.h"
#include "run/thread_budget.h"
#include "text/escape.h"
#include "text/json_name.h"
#include "text/line_writer.h"
#include "text/output.h"

namespace corvane::tool::catalog {
namespace {

// Where a holder lies, as every question across machines names it: MACHINE:/ROOT/PATH.
std::string holderName(const Root& root, const Entry& entry) {
  return root.machine + ":" + root.locationOf(entry.path);
}

}  // namespace

int runWhere(const Context& context, const CatalogOptions& options) {
  auto opened = openCatalog(context, options.catalog, Store::Access::kRead, true);
  if (!opened) return kExitFailed;
  auto& store = *opened->store;
  const auto& common = context.common;
  Progress progress(!common.quiet && !common.trace && Progress::terminalAttached(), options.paths.size());
  auto client = startReader(context, progress, nullptr);
  if (!client) {
    printError(client.error().text());
    return kExitFailed;
  }
  // Each file as the digest commands take it: a folder is an error, a link is followed.
  auto files = expandPaths(*context.files, options.paths, {.withStatus = true});
  LineWriter out;
  bool failed = false, unheld = false;
  const auto compute = [&](std::size_t i) -> Outcome {
    if (files[i].error) return {std::nullopt, *files[i].error};
    auto outcome = readFile(**client, *context.files, files[i], {.fingerprint = true, .sha256 = true});
    progress.advance(outcome.entry ? outcome.entry->size : 0);
    return outcome;
  };
  const auto emit = [&](std::size_t i, Outcome& outcome) {
    const std::string& name = files[i].path;
    if (!outcome.entry) {
      failed = true;
      out.flush();
      progress.printLine("corvane: " + quoteName(name) + ": " + outcome.error);
      return true;
    }
    const Entry& file = *outcome.entry;
    nlohmann::ordered_json holders = nlohmann::ordered_json::array();
    std::size_t held = 0;
    auto asked = store.holdersOf(file, [&](const Root& root, Entry& entry, Store::Held how) {
      ++held;
      const auto where = holderName(root, entry);
      if (options.json) {
        nlohmann::ordered_json holder{{"machine", root.machine}};
        putName(holder, "root", root.path);
        putName(holder, "path", root.locationOf(entry.path));
        holder["match"] = how == Store::Held::kSha256 ? "sha256" : "fingerprint";
        holders.push_back(std::move(holder));
      } else {
        out.line(NameLine()
                     .name(name)
                     .text(": ")
                     .name(where)
                     .text(how == Store::Held::kSha256 ? "" : " (fingerprint only)")
                     .take());
      }
    });
    if (!asked) {
      failed = true;
      out.flush();
      progress.printLine("corvane: " + asked.error().within(quoteName(catalogName(options.catalog))).text());
      return false;
    }
    if (held == 0) unheld = true;
    if (options.json) {
      nlohmann::ordered_json object;
      putName(object, "file", name);
      object["size"] = file.size;
      object["sha256"] = textOfDigest(*file.sha256);
      object["fingerprint"] = textOfDigest(*file.fingerprint);
      object["held"] = held != 0;
      object["holders"] = std::move(holders);
      out.line(jsonLine(object));
    } else if (held == 0) {
      out.line(NameLine().name(name).text(": held nowhere").take());
    }
    return true;
  };
  runInOrder<Outcome>(files.size(), threadBudget(options.threads), compute, emit);
  client->reset();  // before the progress display that its console writes through
  store.endRead();
  const bool written = out.flush();
  const bool flawed = reportFlaws(store);
  return written && !failed && !unheld && !flawed ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool::catalog
