#include <optional>
#include <thread>

#include "catalog/catalog_command.h"
#include "catalog/sides.h"
#include "cli/exit_status.h"
#include "text/json_name.h"
#include "text/line_writer.h"
#include "text/output.h"

namespace corvane::tool::catalog {
namespace {

std::string count(std::size_t n, const char* what) { return std::to_string(n) + " " + what; }

void printMissing(const Side& a, const DiffResult& result, LineWriter& out) {
  // One kind of digest for the whole list, so that one checker accepts all of it.
  const bool sha256 = std::all_of(result.missing.begin(), result.missing.end(),
                                  [&](std::size_t i) { return a.items[i].entry.sha256.has_value(); });
  std::size_t undigested = 0;
  for (const auto i : result.missing) {
    const Entry& entry = a.items[i].entry;
    const auto& digest = sha256 ? entry.sha256 : entry.fingerprint;
    if (!digest) {
      ++undigested;
      continue;
    }
    out.line(NameLine().text(textOfDigest(*digest)).text("  ").name(a.locationOf(i)).take());
  }
  if (!sha256 && !result.missing.empty()) {
    printError("--missing: fingerprints listed (check with 'corvane fingerprint -c'): not every entry has a SHA-256");
  }
  if (undigested != 0) printError("--missing: " + count(undigested, "entries without a fingerprint left out"));
}

void printText(const Side& a, const Side& b, const DiffResult& result, LineWriter& out) {
  const auto unconfirmed = [](bool confirmed) { return confirmed ? "" : " (fingerprint only)"; };
  for (const auto i : result.changed) out.line(NameLine().text("changed: ").name(a.nameOf(i)).take());
  for (const auto& pair : result.moved) {
    out.line(NameLine()
                 .text("moved: ")
                 .name(a.nameOf(pair.a))
                 .text(" -> ")
                 .name(b.nameOf(pair.b))
                 .text(unconfirmed(pair.confirmed))
                 .take());
  }
  for (const auto i : result.onlyA) out.line(NameLine().text("only in A: ").name(a.nameOf(i)).take());
  for (const auto i : result.onlyB) out.line(NameLine().text("only in B: ").name(b.nameOf(i)).take());
  for (const auto& group : result.heldMoreThanOnce) {
    const Side& side = group.sideA ? a : b;
    NameLine line;
    line.text("held " + std::to_string(group.items.size()) + " times in " + (group.sideA ? "A: " : "B: "));
    for (std::size_t k = 0; k < group.items.size(); ++k)
      line.text(k == 0 ? "" : " = ").name(side.nameOf(group.items[k]));
    out.line(line.text(unconfirmed(group.confirmed)).take());
  }
}

void printJson(const Side& a, const Side& b, const DiffResult& result, LineWriter& out) {
  const auto one = [&](const char* what, const Side& side, std::size_t i) {
    nlohmann::ordered_json object{{"diff", what}};
    putName(object, "path", side.nameOf(i));
    out.line(jsonLine(object));
  };
  for (const auto i : result.changed) one("changed", a, i);
  for (const auto& pair : result.moved) {
    nlohmann::ordered_json object{{"diff", "moved"}};
    putName(object, "a", a.nameOf(pair.a));
    putName(object, "b", b.nameOf(pair.b));
    object["confirmed"] = pair.confirmed;
    out.line(jsonLine(object));
  }
  for (const auto i : result.onlyA) one("only in A", a, i);
  for (const auto i : result.onlyB) one("only in B", b, i);
  for (const auto& group : result.heldMoreThanOnce) {
    const Side& side = group.sideA ? a : b;
    std::vector<std::string> names;
    for (const auto i : group.items) names.push_back(side.nameOf(i));
    nlohmann::ordered_json object{{"diff", "held more than once"}, {"side", group.sideA ? "A" : "B"}};
    putNames(object, "paths", names);
    object["confirmed"] = group.confirmed;
    out.line(jsonLine(object));
  }
}

std::size_t movedUnconfirmed(const DiffResult& result) {
  return static_cast<std::size_t>(
      std::count_if(result.moved.begin(), result.moved.end(), [](const DiffResult::Pair& p) { return !p.confirmed; }));
}

}  // namespace

int runDiff(const Context& context, const CatalogOptions& options) {
  const ScanSettings settings{.hash = options.hash, .threads = options.threads, .listChanges = false, .catalog = {}};
  // Two catalogs are read at once; folders are scanned one after the other, each with its calls
  // in parallel already.
  std::optional<Result<Side>> a, b;
  if (!isFolder(*context.files, options.sideA) && !isFolder(*context.files, options.sideB)) {
    std::thread reader([&] { a = loadSide(context, options.sideA, settings); });
    b = loadSide(context, options.sideB, settings);
    reader.join();
  } else {
    a = loadSide(context, options.sideA, settings);
    if (*a) b = loadSide(context, options.sideB, settings);
  }
  for (const auto* side : {&a, &b}) {
    if (*side && !**side) {
      printError((*side)->error().text());
      return kExitFailed;
    }
  }
  Side& sideA = **a;
  Side& sideB = **b;
  // What A lacks is looked for in all of B, whichever roots hold it.
  const auto lone = alignSides(sideA, sideB, !options.missing);
  const auto result = diffSides(sideA, sideB);

  LineWriter out;
  // A file that could not be read is in neither side: the comparison cannot pass as whole.
  for (const Side* side : {&sideA, &sideB}) {
    if (side->unreadable != 0) {
      printError((side == &sideA ? options.sideA : options.sideB) + ": " +
                 count(side->unreadable, side->unreadable == 1 ? "file" : "files") +
                 " could not be read and are left out of the comparison");
    }
  }
  const bool flawed = sideA.flawed || sideB.flawed || sideA.unreadable != 0 || sideB.unreadable != 0;
  if (options.missing) {
    printMissing(sideA, result, out);
    return out.flush() && result.missing.empty() && !flawed ? kExitOk : kExitFailed;
  }
  if (options.json) {
    printJson(sideA, sideB, result, out);
  } else {
    printText(sideA, sideB, result, out);
  }
  std::size_t loneA = 0, loneB = 0;
  for (const auto& root : lone) {
    ++(root.sideA ? loneA : loneB);
    const std::string where = std::string("root only in ") + (root.sideA ? "A" : "B");
    if (options.json) {
      nlohmann::ordered_json object{{"diff", where}, {"machine", root.machine}};
      putName(object, "path", root.path);
      object["entries"] = root.entries;
      out.line(jsonLine(object));
    } else {
      out.line(NameLine()
                   .text(where + ": " + root.machine + ":")
                   .name(root.path)
                   .text(" (" + count(root.entries, root.entries == 1 ? "entry)" : "entries)"))
                   .take());
    }
  }
  std::size_t groupsA = 0, groupsB = 0;
  for (const auto& group : result.heldMoreThanOnce) ++(group.sideA ? groupsA : groupsB);
  const std::size_t sameUnconfirmed = result.same - result.sameConfirmed, moveUnconfirmed = movedUnconfirmed(result);
  if (options.json) {
    out.line(jsonLine({{"same", result.same},
                       {"sameByFingerprintOnly", sameUnconfirmed},
                       {"changed", result.changed.size()},
                       {"moved", result.moved.size()},
                       {"movedByFingerprintOnly", moveUnconfirmed},
                       {"onlyInA", result.onlyA.size()},
                       {"onlyInB", result.onlyB.size()},
                       {"heldMoreThanOnceInA", groupsA},
                       {"heldMoreThanOnceInB", groupsB},
                       {"notComparable", result.notComparable},
                       {"rootsOnlyInA", loneA},
                       {"rootsOnlyInB", loneB}}));
  } else {
    std::string summary = count(result.same, "same");
    if (sameUnconfirmed != 0) summary += " (" + std::to_string(sameUnconfirmed) + " by fingerprint only)";
    summary += ", " + count(result.changed.size(), "changed") + ", " + count(result.moved.size(), "moved");
    if (moveUnconfirmed != 0) summary += " (" + std::to_string(moveUnconfirmed) + " by fingerprint only)";
    summary += ", " + count(result.onlyA.size(), "only in A") + ", " + count(result.onlyB.size(), "only in B") + ", " +
               count(groupsA, "held more than once in A") + ", " + count(groupsB, "in B");
    if (loneA + loneB != 0)
      summary +=
          "; " + count(loneA, loneA == 1 ? "root only in A" : "roots only in A") + ", " + count(loneB, "only in B");
    if (result.notComparable != 0) {
      summary += "; " + count(result.notComparable, "not comparable") +
                 " (one side has only fingerprints, the other only SHA-256)";
    }
    out.line(summary);
  }
  return out.flush() && !result.differ() && lone.empty() && !flawed ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool::catalog
