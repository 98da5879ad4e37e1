// Questions across machines: which roots hold a content, and which contents are held more than
// once. The database does the matching and the ordering, in plain SQL that any engine runs, and
// the answers are read row by row.

#include <algorithm>
#include <unordered_map>

#include "catalog/store/row_rules.h"
#include "catalog/store/store.h"

namespace corvane::tool::catalog {
namespace {

// The columns every question reads of an entry, from 0: what it needs to name the entry, tell
// its content and tell two names of one file apart.
constexpr const char* kColumns = "e.root, e.path, e.size, e.mtime, e.device, e.inode, e.fingerprint, e.sha256";

// Reads the columns above into `entry`, or says why the row breaks the catalog's rules.
std::optional<std::string> readRow(const Statement& row, Entry& entry) {
  entry.path = std::string(row.blob(1));
  // Always written as bytes: text of the same bytes would sort apart from them.
  if (row.type(1) != ValueType::kBlob) return "its path is not stored as bytes";
  if (auto flaw = flawOfEntryPath(entry.path)) return flaw;
  for (int column = 2; column <= 5; ++column) {
    if (row.type(column) != ValueType::kInteger) return "a number of it is not an integer";
  }
  if (row.integer(2) < 0) return "its size is negative";
  entry.size = static_cast<std::uint64_t>(row.integer(2));
  entry.modifiedNs = row.integer(3);
  entry.device = static_cast<std::uint64_t>(row.integer(4));
  entry.inode = static_cast<std::uint64_t>(row.integer(5));
  if (!digestOfColumn(row, 6, entry.fingerprint) || !digestOfColumn(row, 7, entry.sha256))
    return "a digest of it is not 32 bytes";
  return std::nullopt;
}

std::int64_t bound(std::uint64_t size) {
  return static_cast<std::int64_t>(std::min<std::uint64_t>(size, std::numeric_limits<std::int64_t>::max()));
}

}  // namespace

Result<> Store::holdersOf(const Entry& file, const std::function<void(const Root&, Entry&, Held)>& visit) {
  if (!file.fingerprint || !file.sha256) return failure("a content to look for needs its fingerprint and SHA-256");
  auto all = roots();
  if (!all) return failure(all.error());
  std::unordered_map<std::int64_t, const Root*> rootOf;
  for (const auto& root : *all) rootOf[root.id] = &root;
  // An entry with a SHA-256 is judged by it alone: a fingerprint that matches beside another
  // SHA-256 is a different content whose samples agree.
  auto query = db_.prepare(std::string("SELECT ") + kColumns +
                           " FROM entry e JOIN root r ON r.id = e.root"
                           " WHERE e.size = $1 AND (e.sha256 = $2 OR (e.sha256 IS NULL AND e.fingerprint = $3))"
                           " ORDER BY r.machine, r.path, e.path");
  if (!query) return failure(query.error());
  query->bind(1, bound(file.size)).bindBlob(2, *file.sha256).bindBlob(3, *file.fingerprint);
  Statement::Step step;
  while ((step = query->step()) == Statement::Step::kRow) {
    const auto found = rootOf.find(query->integer(0));
    if (found == rootOf.end()) continue;  // a flawed root's, reported with it
    Entry entry;
    if (auto why = readRow(*query, entry)) {
      flaw({found->second->path, entry.path, *why});
      continue;
    }
    visit(*found->second, entry, entry.sha256 ? Held::kSha256 : Held::kFingerprintOnly);
  }
  if (step == Statement::Step::kFailed) return failure(query->error());
  return {};
}

Result<> Store::forEachSharedContent(Held by, SizeRange sizes, const std::function<bool(SharedContent&)>& visit) {
  auto all = roots();
  if (!all) return failure(all.error());
  std::unordered_map<std::int64_t, const Root*> rootOf;
  for (const auto& root : *all) rootOf[root.id] = &root;
  // One pass over the entries in the order of their digest, so that each content's entries arrive
  // together and only one content is held at a time. Without an index on the digests, a sort
  // of the entries is the least any engine can do: a GROUP BY ... HAVING count(*) > 1 first,
  // then a join or IN on its answer, costs that sort and a second pass besides (2 to 3 times
  // as long in SQLite, whose planner may also pair them row by row).
  const std::string sql = std::string("SELECT ") + kColumns + " FROM entry e JOIN root r ON r.id = e.root WHERE " +
                          (by == Held::kSha256 ? "e.sha256" : "e.fingerprint") +
                          " IS NOT NULL AND e.size >= $1 AND e.size <= $2" + " ORDER BY " +
                          (by == Held::kSha256 ? "e.sha256" : "e.fingerprint") + ", e.size, r.machine, r.path, e.path";
  auto query = db_.prepare(sql);
  if (!query) return failure(query.error());
  query->bind(1, bound(sizes.min)).bind(2, bound(sizes.max));
  SharedContent shared;
  shared.by = by;
  // A content counts once two of its entries keep the rules; one matched by fingerprint only
  // when some entry of it has no SHA-256 to confirm it (else the SHA-256 answered).
  bool unconfirmed = false;
  const auto hand = [&]() {
    bool going = true;
    if (shared.members.size() > 1 && (by == Held::kSha256 || unconfirmed)) going = visit(shared);
    shared.members.clear();
    unconfirmed = false;
    return going;
  };
  Statement::Step step;
  while ((step = query->step()) == Statement::Step::kRow) {
    const auto found = rootOf.find(query->integer(0));
    if (found == rootOf.end()) continue;
    Entry entry;
    if (auto why = readRow(*query, entry)) {
      flaw({found->second->path, entry.path, *why});
      continue;
    }
    const auto& digest = by == Held::kSha256 ? entry.sha256 : entry.fingerprint;
    if (!digest) continue;  // cannot be: the query matched on it
    if (shared.members.empty() || *digest != shared.digest || entry.size != shared.size) {
      if (!hand()) return {};
      shared.digest = *digest;
      shared.size = entry.size;
    }
    unconfirmed |= !entry.sha256;
    shared.members.emplace_back(found->second, std::move(entry));
  }
  if (step == Statement::Step::kFailed) return failure(query->error());
  hand();
  return {};
}

Result<Store::Tally> Store::tally(SizeRange sizes) {
  auto query = db_.prepare("SELECT count(*), count(sha256) FROM entry WHERE size >= $1 AND size <= $2");
  if (!query) return failure(query.error());
  query->bind(1, bound(sizes.min)).bind(2, bound(sizes.max));
  if (query->step() != Statement::Step::kRow) return failure(query->error());
  return Tally{query->integer(0), query->integer(1)};
}

}  // namespace corvane::tool::catalog
