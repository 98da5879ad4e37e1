#include "dupes/catalog_dupes.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "catalog/store/flaws.h"
#include "catalog/store/store.h"
#include "cli/exit_status.h"
#include "dupes/dupes_output.h"
#include "text/escape.h"
#include "text/output.h"
#include "text/progress.h"

namespace corvane::tool {
namespace {

using catalog::Store;

std::string count(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

struct Counts {
  std::int64_t groups = 0, probable = 0, copies = 0;
  std::uint64_t occupied = 0;
};

// Prints one content's entries as a group, each file once: the names of one file (hard links
// in one root, as its scan saw them) are not copies of each other. Only within a root: two disks
// scanned one after the other under one mount point may give their copies the same numbers.
// Names in byte order, as dupes prints them. False when fewer than two files are left.
bool printShared(Store::SharedContent& shared, DupesOutput& output, Counts& counts) {
  std::set<std::tuple<std::int64_t, std::uint64_t, std::uint64_t, std::int64_t>> files;
  std::vector<std::string> names;
  for (const auto& [root, entry] : shared.members) {
    if (!files.emplace(root->id, entry.device, entry.inode, entry.modifiedNs).second) continue;
    names.push_back(root->machine + ":" + root->locationOf(entry.path));
  }
  std::sort(names.begin(), names.end());
  if (names.size() < 2) return false;
  PrintedGroup printed;
  printed.size = shared.size;
  const auto digest = catalog::textOfDigest(shared.digest);
  if (shared.by == Store::Held::kSha256) {
    printed.kind = PrintedGroup::Kind::kDuplicates;
    printed.sha256 = digest;
    ++counts.groups;
    counts.copies += static_cast<std::int64_t>(names.size() - 1);
    counts.occupied += (names.size() - 1) * shared.size;
  } else {
    printed.kind = PrintedGroup::Kind::kProbable;
    printed.fingerprint = digest;
    ++counts.probable;
  }
  printed.names.assign(names.begin(), names.end());
  output.print(printed);
  return true;
}

}  // namespace

int dupesOfCatalog(const Context& context, const DupesOptions& options) {
  auto opened = Store::open(*context.files, *options.catalog, Store::Access::kRead);
  if (!opened) {
    printError(opened.error().text());
    return kExitFailed;
  }
  Store& store = **opened;
  const auto failed = [&](const Error& error) {
    printError(error.within(quoteName(store.name())).text());
    return kExitFailed;
  };
  if (auto begun = store.beginRead(); !begun) return failed(begun.error());
  const Store::SizeRange sizes{std::max<std::uint64_t>(options.minSize, options.empty ? 0 : 1),
                               options.maxSize.value_or(Store::SizeRange{}.max)};
  DupesOutput output({options.json  ? DupesFormat::kJson
                      : options.nul ? DupesFormat::kNul
                                    : DupesFormat::kLines,
                      options.probable, "paths"});
  Counts counts;
  const auto print = [&](Store::SharedContent& shared) {
    printShared(shared, output, counts);
    return !outputFailed();
  };
  if (auto read = store.forEachSharedContent(Store::Held::kSha256, sizes, print); !read) return failed(read.error());
  if (options.probable) {
    if (auto read = store.forEachSharedContent(Store::Held::kFingerprintOnly, sizes, print); !read)
      return failed(read.error());
  }
  const auto tally = store.tally(sizes);
  if (!tally) return failed(tally.error());
  store.endRead();
  const bool written = output.finish();
  const bool flawed = reportFlaws(store);
  if (written && !context.common.quiet) {
    const auto unconfirmed = tally->entries - tally->withSha256;
    std::string text = "corvane: " + count(tally->entries, "entry", "entries") + " in the catalog, " +
                       count(counts.groups, "group", "groups") + " of duplicates, " +
                       count(counts.copies, "extra copy", "extra copies") + " occupying " +
                       std::to_string(counts.occupied) + " bytes (" + bytesText(static_cast<double>(counts.occupied)) +
                       ")";
    if (options.probable) {
      text += ", " + count(counts.probable, "probable group", "probable groups") + " (unconfirmed)";
      if (unconfirmed != 0) text += ", " + count(unconfirmed, "entry", "entries") + " without SHA-256";
    } else if (unconfirmed != 0) {
      text += ", " + count(unconfirmed, "entry", "entries") + " without SHA-256 left out (--probable matches them)";
    }
    printErr(text);
  }
  return written && !flawed ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool
