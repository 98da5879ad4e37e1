#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalog/listing.h"
#include "catalog/reading.h"
#include "catalog/store/store.h"
#include "cli/context.h"
#include "inputs/photo_folder.h"

namespace corvane::tool::catalog {

enum class Change { kNew, kChanged, kUnchanged, kRemoved, kMoved };
const char* changeName(Change change);

struct ListedChange {
  Change change;
  std::string path;  // where the entry lies now (removed: lay)
  std::string from;  // moved: where it lay before
};

struct ScanCounts {
  std::size_t added = 0, changed = 0, unchanged = 0, removed = 0, moved = 0;
  std::size_t read = 0;    // files or assets whose content was read
  std::size_t failed = 0;  // could not be looked at or read: their entries are kept as they were
};

struct ScanSettings {
  // Whether to record SHA-256 beside the fingerprint (kept for the root's later scans); none: as
  // the root records.
  std::optional<bool> hash;
  std::size_t threads = 0;   // calls at once; 0: one per processor
  bool listChanges = false;  // gather every change but "unchanged"
  std::string catalog;       // where the catalog lies (canonical): its own files are never entries
};

// Whether `location` is one of the files of the catalog at `catalog`: the catalog, its journals,
// or the temporary name a new catalog is made under.
bool isCatalogFile(const std::string& location, const std::string& catalog);

// Brings a root's entries up to date. Entries whose (device, inode, size, mtime, ctime) are as
// recorded are kept without reading the file; every other file is digested through the
// plug-in's channel and recorded with the status the plug-in saw while it read it. Entries are
// written in batches, each its own transaction, so a scan that is killed keeps what it had
// committed and the next one goes on from there; entries of files that are gone are deleted
// last, and a content that went from a removed path to a new one counts as moved.
class Scanner {
 public:
  Scanner(Store& store, const Context& context, const ScanSettings& settings)
      : store_(store), context_(context), settings_(settings) {}

  // With `part`, only that folder below the root: the rest of its record stays as it is.
  Result<> scanFolder(Root& root, const std::string& part = {});
  Result<> scanLibrary(Root& root, const PhotoFolder& library);

  const ScanCounts& counts() const { return counts_; }
  const std::vector<ListedChange>& changes() const { return changes_; }

 private:
  // One scan of one root, in its steps.
  struct Pass;
  Result<> scan(Root& root, const std::vector<Found>& found, const PhotoFolder* library, const std::string& part);
  void compareWithRecord(Pass& pass);
  Result<> readWhatChanged(Pass& pass);
  std::vector<std::size_t> whatIsGone(const Pass& pass) const;
  void matchMoves(const Pass& pass, const std::vector<std::size_t>& gone);
  Result<> finish(Pass& pass, const std::vector<std::size_t>& gone);
  void note(Change change, std::string path, std::string from = {});

  Store& store_;
  const Context& context_;
  const ScanSettings settings_;
  ScanCounts counts_;
  std::vector<ListedChange> changes_;
};

}  // namespace corvane::tool::catalog
