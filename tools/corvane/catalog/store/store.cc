#include "catalog/store/store.h"

#include <unistd.h>

#include <algorithm>

#include "catalog/store/catalog_file.h"
#include "catalog/store/schema.h"

namespace corvane::tool::catalog {
namespace {

constexpr int kBusyMilliseconds = 10'000;

Entry entryOfRow(const Statement& row, int first) {
  Entry entry;
  entry.path = std::string(row.blob(first));
  entry.size = static_cast<std::uint64_t>(row.integer(first + 1));
  entry.modifiedNs = row.integer(first + 2);
  entry.changedNs = row.integer(first + 3);
  entry.device = static_cast<std::uint64_t>(row.integer(first + 4));
  entry.inode = static_cast<std::uint64_t>(row.integer(first + 5));
  const auto digest = [&](int column) -> std::optional<Digest> {
    const auto bytes = row.blob(column);
    Digest value{};
    if (bytes.size() != value.size()) return std::nullopt;
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(value.data()));
    return value;
  };
  entry.fingerprint = digest(first + 6);
  entry.sha256 = digest(first + 7);
  entry.racy = row.integer(first + 8) != 0;
  return entry;
}

constexpr const char* kEntryColumns = "path, size, mtime, ctime, device, inode, fingerprint, sha256, racy";

Result<Database> openChecked(const std::string& path, int flags, bool thorough) {
  auto db = Database::open(path, flags);
  if (!db) return failure(db.error().within(path));
  sqlite3_busy_timeout(db->handle(), kBusyMilliseconds);
  if (auto checked = checkSchema(*db, thorough); !checked) {
    return failure(Error{path, checked.error().text() + "; it is left as it is"});
  }
  return db;
}

}  // namespace

std::string machineName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

Result<std::unique_ptr<Store>> Store::open(platform::FileSystem& fileSystem, const std::string& path, Access access) {
  auto state = examineCatalogFile(fileSystem, path);
  if (!state) return failure(state.error());
  if (*state == CatalogFile::kMissing) {
    if (access != Access::kWrite) return failure(Error{path, "no such catalog", Error::Kind::kMissing});
    if (auto made = createCatalogFile(fileSystem, path, buildSchema); !made) return failure(made.error());
    state = examineCatalogFile(fileSystem, path);
    if (!state) return failure(state.error());
    if (*state == CatalogFile::kMissing) return failure(Error{path, "the new catalog went away"});
  }
  // A read-only connection never writes, not even to fold a journal back into the file: the
  // file is looked at this way before any connection that could write to it is opened.
  auto reader = openChecked(path, SQLITE_OPEN_READONLY, access != Access::kRead);
  if (access != Access::kWrite || !reader) {
    if (!reader) return failure(reader.error());
    // Readers go through whole catalogs: mapped, the pages are not copied on their way in.
    reader->execute("PRAGMA mmap_size = 17179869184");
    return std::make_unique<Store>(Token{}, std::move(*reader));
  }
  auto writer = openChecked(path, SQLITE_OPEN_READWRITE, false);
  if (!writer) return failure(writer.error());
  // WAL with NORMAL syncs: a committed batch survives the process being killed; a power cut
  // may lose the last batches, never the catalog.
  if (auto set = writer->execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL"); !set) {
    return failure(set.error().within(path));
  }
  return std::make_unique<Store>(Token{}, std::move(*writer));
}

Result<std::unique_ptr<Store>> Store::openInMemory() {
  auto db = Database::open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (!db) return failure(db.error());
  if (auto built = buildSchema(*db); !built) return failure(built.error());
  return std::make_unique<Store>(Token{}, std::move(*db));
}

Result<Statement*> Store::statement(std::unique_ptr<Statement>& slot, const char* sql) {
  if (!slot) {
    auto prepared = db_.prepare(sql);
    if (!prepared) return failure(prepared.error());
    slot = std::make_unique<Statement>(std::move(*prepared));
  }
  return slot.get();
}

Result<std::vector<Root>> Store::roots() {
  auto query = db_.prepare("SELECT id, machine, path, kind, hashes, scanned FROM root ORDER BY machine, path");
  if (!query) return failure(query.error());
  std::vector<Root> roots;
  Statement::Step step;
  while ((step = query->step()) == Statement::Step::kRow) {
    roots.push_back({query->integer(0), std::string(query->blob(1)), std::string(query->blob(2)),
                     static_cast<RootKind>(query->integer(3)), query->integer(4) != 0, query->integer(5)});
  }
  if (step == Statement::Step::kFailed) return failure(query->error());
  return roots;
}

Result<Root> Store::rootFor(const std::string& machine, const std::string& path, RootKind kind) {
  auto insert = db_.prepare("INSERT OR IGNORE INTO root (machine, path, kind, hashes, scanned) VALUES (?, ?, ?, 0, 0)");
  if (!insert) return failure(insert.error());
  insert->bindBlob(1, machine).bindBlob(2, path).bind(3, static_cast<std::int64_t>(kind));
  if (auto inserted = insert->run(); !inserted) return failure(inserted.error());
  auto all = roots();
  if (!all) return failure(all.error());
  for (auto& root : *all) {
    if (root.machine == machine && root.path == path) return std::move(root);
  }
  return failure("the root was not recorded");
}

Result<> Store::updateRoot(const Root& root) {
  auto update = statement(updateRoot_, "UPDATE root SET kind = ?, hashes = ?, scanned = ? WHERE id = ?");
  if (!update) return failure(update.error());
  (*update)->bind(1, static_cast<std::int64_t>(root.kind)).bind(2, std::int64_t{root.hashes}).bind(3, root.scannedNs);
  return (*update)->bind(4, root.id).run();
}

Result<std::vector<Entry>> Store::entriesOf(std::int64_t root) {
  auto query = db_.prepare(std::string("SELECT ") + kEntryColumns + " FROM entry WHERE root = ? ORDER BY path");
  if (!query) return failure(query.error());
  query->bind(1, root);
  std::vector<Entry> entries;
  Statement::Step step;
  while ((step = query->step()) == Statement::Step::kRow) entries.push_back(entryOfRow(*query, 0));
  if (step == Statement::Step::kFailed) return failure(query->error());
  return entries;
}

Result<> Store::forEachEntry(const std::function<bool(std::int64_t root, Entry& entry)>& visit, bool contentOnly) {
  const std::string columns = contentOnly ? "path, size, 0, 0, 0, 0, fingerprint, sha256, 0" : kEntryColumns;
  auto query = db_.prepare("SELECT root, " + columns + " FROM entry ORDER BY root, path");
  if (!query) return failure(query.error());
  Statement::Step step;
  while ((step = query->step()) == Statement::Step::kRow) {
    auto entry = entryOfRow(*query, 1);
    if (!visit(query->integer(0), entry)) return {};
  }
  if (step == Statement::Step::kFailed) return failure(query->error());
  return {};
}

Result<std::int64_t> Store::entryCount() { return db_.integer("SELECT count(*) FROM entry"); }

Result<> Store::put(std::int64_t root, const Entry& entry) {
  auto insert = statement(put_,
                          "INSERT OR REPLACE INTO entry (root, path, size, mtime, ctime, device, inode, "
                          "fingerprint, sha256, racy) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  if (!insert) return failure(insert.error());
  auto& s = **insert;
  s.bind(1, root).bindBlob(2, entry.path).bind(3, entry.size).bind(4, entry.modifiedNs).bind(5, entry.changedNs);
  s.bind(6, entry.device).bind(7, entry.inode);
  if (entry.fingerprint)
    s.bindBlob(8, *entry.fingerprint);
  else
    s.bindNull(8);
  if (entry.sha256)
    s.bindBlob(9, *entry.sha256);
  else
    s.bindNull(9);
  s.bind(10, std::int64_t{entry.racy});
  return s.run();
}

Result<> Store::remove(std::int64_t root, const std::string& path) {
  auto erase = statement(remove_, "DELETE FROM entry WHERE root = ? AND path = ?");
  if (!erase) return failure(erase.error());
  return (*erase)->bind(1, root).bindBlob(2, path).run();
}

Result<> Store::removeAllOf(std::int64_t root) {
  auto erase = db_.prepare("DELETE FROM entry WHERE root = ?");
  if (!erase) return failure(erase.error());
  return erase->bind(1, root).run();
}

}  // namespace corvane::tool::catalog
