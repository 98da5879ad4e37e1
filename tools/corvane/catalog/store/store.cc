#include "catalog/store/store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "catalog/store/catalog_file.h"
#include "catalog/store/postgres_connection.h"
#include "catalog/store/postgres_name.h"
#include "catalog/store/row_rules.h"
#include "catalog/store/schema.h"
#include "catalog/store/sqlite_connection.h"
#include "platform/file_error.h"

namespace corvane::tool::catalog {
namespace {

constexpr int kBusyMilliseconds = 10'000;

constexpr const char* kEntryColumns = "path, size, mtime, ctime, device, inode, fingerprint, sha256, racy";

// A file name as an SQLite URI ("file:…"), which can carry open parameters.
std::string uriOf(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const unsigned char c : path) {
    if (c <= 0x20 || c >= 0x7f || c == '%' || c == '?' || c == '#') {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri;
}

Result<Database> openChecked(const std::string& path, int flags, bool thorough, bool immutable = false) {
  auto db = immutable ? openSqlite(uriOf(path) + "?immutable=1", flags | SQLITE_OPEN_URI, kBusyMilliseconds)
                      : openSqlite(path, flags, kBusyMilliseconds);
  if (!db) return failure(db.error().within(path));
  if (auto checked = checkSchema(*db, thorough); !checked) {
    return failure(Error{path, checked.error().text() + "; it is left as it is"});
  }
  return db;
}

// Advisory lock keys, of the catalog's own range: the schema's making, and each root by its id.
constexpr std::int64_t kLockKeys = std::int64_t{0x4352564E} << 32;

// A catalog on PostgreSQL is looked at, and made when the database is empty, in one transaction
// that holds the making's lock: two first scans at once make it once.
Result<Database> openPostgresCatalog(const std::string& conninfo, Store::Access access) {
  const std::string name = shownPostgresName(conninfo);
  auto db = openPostgres(conninfo);
  if (!db) return failure(db.error().within(name));
  const auto fail = [&](Error error) {
    db->execute("ROLLBACK");
    return failure(std::move(error));
  };
  if (auto begun = db->execute("BEGIN"); !begun) return failure(begun.error().within(name));
  if (access == Store::Access::kWrite) {
    auto lock = db->prepare("SELECT pg_advisory_xact_lock($1)");
    if (!lock) return fail(lock.error().within(name));
    if (auto locked = lock->bind(1, kLockKeys).run(); !locked) return fail(locked.error().within(name));
  }
  // Asked of the system catalog, which lists every table whoever owns it (the information schema
  // lists only those this role may use): a database of others' tables is not taken for empty.
  const auto tables = db->integer(
      "SELECT count(*) FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
      "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p', 'v', 'm', 'f') AND c.relname <> 'meta'");
  const auto meta = db->integer(
      "SELECT count(*) FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
      "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p') AND c.relname = 'meta'");
  if (!tables) return fail(tables.error().within(name));
  if (!meta) return fail(meta.error().within(name));
  if (*meta == 0) {
    if (*tables != 0)
      return fail(Error{name,
                        "a PostgreSQL database, but not a corvane catalog (it holds other tables); "
                        "it is left as it is"});
    if (access != Store::Access::kWrite) return fail(Error{name, "no catalog in it yet", Error::Kind::kMissing});
    if (auto built = buildSchema(*db); !built) return fail(built.error().within(name + ": cannot create the catalog"));
  }
  if (auto checked = checkSchema(*db, false); !checked)
    return fail(Error{name, checked.error().text() + "; it is left as it is"});
  if (auto committed = db->execute("COMMIT"); !committed) return failure(committed.error().within(name));
  return std::move(*db);
}

}  // namespace

std::string catalogName(const std::string& argument) {
  return isPostgresName(argument) ? shownPostgresName(argument) : argument;
}

std::string machineName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

// Whether the write-ahead log beside a catalog holds anything.
bool journalHoldsPages(platform::FileSystem& fileSystem, const std::string& path) {
  const auto status = fileSystem.statusOf(nullptr, path + "-wal", platform::Resolve::kFollow);
  return status ? status->size != 0
                : !(status.error().reason == platform::FileError::Reason::kSystem && status.error().code == ENOENT);
}

// Writers take turns through a lock on the catalog file itself, held from before their
// connection opens until after it closes; the kernel drops it with a killed process. (SQLite's
// own locks are per transaction, and a scan is many.)
Result<platform::UniqueFd> writerLock(const std::string& path, const std::function<void()>& waiting) {
  platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd) return failure(Error{path, platform::FileError::system("open", path, errno).description()});
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return fd;
  if (errno != EWOULDBLOCK)
    return failure(Error{path, platform::FileError::system("flock", path, errno).description()});
  if (waiting) waiting();
  while (::flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return failure(Error{path, platform::FileError::system("flock", path, errno).description()});
  }
  return fd;
}

Result<std::unique_ptr<Store>> Store::open(platform::FileSystem& fileSystem, const std::string& path, Access access,
                                           const std::function<void()>& waiting) {
  if (isPostgresName(path)) {
    auto db = openPostgresCatalog(path, access);
    if (!db) return failure(db.error());
    return std::make_unique<Store>(Token{}, shownPostgresName(path), std::move(*db), platform::UniqueFd{},
                                   access == Access::kWrite);
  }
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
  platform::UniqueFd lock;
  if (access == Access::kWrite) {
    auto locked = writerLock(path, waiting);
    if (!locked) return failure(locked.error());
    lock = std::move(*locked);
  }
  auto reader = openChecked(path, SQLITE_OPEN_READONLY, access != Access::kRead);
  // Reading a catalog in WAL mode needs its shared-memory file, which a folder the user cannot
  // write gives no room for. With no log to play back, the file alone is the whole catalog, and
  // it is read as unchanging: a writer could not make its log there either.
  if (!reader && access != Access::kWrite && !journalHoldsPages(fileSystem, path)) {
    reader = openChecked(path, SQLITE_OPEN_READONLY, access != Access::kRead, true);
  }
  if (access != Access::kWrite || !reader) {
    if (!reader) return failure(reader.error());
    // Readers go through whole catalogs: mapped, the pages are not copied on their way in.
    reader->execute("PRAGMA mmap_size = 17179869184");
    return std::make_unique<Store>(Token{}, path, std::move(*reader));
  }
  auto writer = openChecked(path, SQLITE_OPEN_READWRITE, false);
  if (!writer) return failure(writer.error());
  // WAL with NORMAL syncs: a committed batch survives the process being killed; a power cut
  // may lose the last batches, never the catalog.
  if (auto set = writer->execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL"); !set) {
    return failure(set.error().within(path));
  }
  // A log left by a writer that failed (a full disk, say) is folded in first, giving its space back.
  writer->execute("PRAGMA wal_checkpoint(TRUNCATE)");
  if (auto upgraded = upgradeSchema(*writer); !upgraded) return failure(upgraded.error().within(path));
  return std::make_unique<Store>(Token{}, path, std::move(*writer), std::move(lock), true);
}

Store::~Store() {
  flushPuts();
  // The log is folded into the catalog and emptied when a writer ends, so that it holds no
  // space, and a catalog copied without it is whole.
  if (writer_ && db_.engine() == Engine::kSqlite) db_.execute("PRAGMA wal_checkpoint(TRUNCATE)");
}

Result<bool> Store::lockRoot(const Root& root) {
  if (db_.engine() == Engine::kSqlite ||
      std::find(lockedRoots_.begin(), lockedRoots_.end(), root.id) != lockedRoots_.end())
    return true;
  // Held by the session: a scanner that is killed, or whose connection is cut, lets go with it.
  auto lock = db_.prepare("SELECT pg_try_advisory_lock($1)");
  if (!lock) return failure(lock.error());
  lock->bind(1, kLockKeys + root.id);
  if (lock->step() != Statement::Step::kRow) return failure(lock->error());
  if (lock->integer(0) == 0) return false;
  lockedRoots_.push_back(root.id);
  return true;
}

void Store::flaw(Flaw flaw) {
  // Looked up, not searched for: a catalog may hold a great many rows that break the rules.
  if (flawsMet_.emplace(flaw.root, flaw.path).second) flaws_.push_back(std::move(flaw));
}

std::optional<std::string> Store::entryOfRow(const Statement& row, int first, Entry& entry) const {
  entry.path = std::string(row.blob(first));
  // Always written as bytes: text of the same bytes would sort apart from them, and pass a key.
  if (row.type(first) != ValueType::kBlob) return "its path is not stored as bytes";
  if (auto flaw = flawOfEntryPath(entry.path)) return flaw;
  for (int column = first + 1; column <= first + 8; ++column) {
    if (column == first + 6 || column == first + 7) continue;
    if (row.type(column) != ValueType::kInteger) return "a number of it is not an integer";
  }
  const auto size = row.integer(first + 1);
  if (size < 0) return "its size is negative";
  entry.size = static_cast<std::uint64_t>(size);
  entry.modifiedNs = row.integer(first + 2);
  entry.changedNs = row.integer(first + 3);
  // Stored as SQLite's signed integers; read back as the unsigned numbers they were.
  entry.device = static_cast<std::uint64_t>(row.integer(first + 4));
  entry.inode = static_cast<std::uint64_t>(row.integer(first + 5));
  if (!digestOfColumn(row, first + 6, entry.fingerprint) || !digestOfColumn(row, first + 7, entry.sha256))
    return "a digest of it is not 32 bytes";
  const auto racy = row.integer(first + 8);
  if (racy != 0 && racy != 1) return "its racy mark is neither 0 nor 1";
  entry.racy = racy != 0;
  return std::nullopt;
}

Result<std::unique_ptr<Store>> Store::openInMemory() {
  auto db = openSqlite(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (!db) return failure(db.error());
  if (auto built = buildSchema(*db); !built) return failure(built.error());
  return std::make_unique<Store>(Token{}, ":memory:", std::move(*db));
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
  if (auto flushed = flushPuts(); !flushed) return failure(flushed.error());
  auto query = db_.prepare("SELECT id, machine, path, kind, hashes, scanned FROM root ORDER BY machine, path");
  if (!query) return failure(query.error());
  std::vector<Root> roots;
  soundRoots_.clear();
  flawedRoots_.clear();
  Statement::Step step;
  while ((step = query->step()) == Statement::Step::kRow) {
    Root root{query->integer(0),           std::string(query->blob(1)),
              std::string(query->blob(2)), static_cast<RootKind>(query->integer(3)),
              query->integer(4) != 0,      query->integer(5)};
    std::optional<std::string> why;
    if (query->type(1) != ValueType::kBlob || query->type(2) != ValueType::kBlob)
      why = "its machine or path is not stored as bytes";
    for (int column = 3; column <= 5 && !why; ++column) {
      if (query->type(column) != ValueType::kInteger) why = "a number of it is not an integer";
    }
    if (!why) why = flawOfRootPath(root.path);
    if (!why) why = flawOfMachine(root.machine);
    if (!why && query->integer(3) != 0 && query->integer(3) != 1) why = "its kind is neither 0 nor 1";
    if (!why && query->integer(4) != 0 && query->integer(4) != 1) why = "its hashes mark is neither 0 nor 1";
    if (!why && root.scannedNs < 0) why = "its scan time is negative";
    if (why) {
      flawedRoots_.push_back(root.id);
      flaw({root.machine + ":" + root.path, {}, "a root: " + *why});
      continue;
    }
    soundRoots_.push_back(root.id);
    roots.push_back(std::move(root));
  }
  if (step == Statement::Step::kFailed) return failure(query->error());
  if (auto read = readWalkRules(roots); !read) return failure(read.error());
  std::sort(soundRoots_.begin(), soundRoots_.end());
  std::sort(flawedRoots_.begin(), flawedRoots_.end());
  if (!entryRootsChecked_) {
    entryRootsChecked_ = true;
    if (auto checked = checkEntryRoots(); !checked) return failure(checked.error());
  }
  return roots;
}

Result<> Store::readWalkRules(std::vector<Root>& roots) {
  // A catalog of schema 2 or older, read as it is, has no walk rules: its roots left nothing out.
  const auto version = schemaVersion(db_);
  if (!version) return failure(version.error());
  if (*version < 3) return {};
  std::vector<std::pair<std::int64_t, std::string>> flawed;  // root id, why
  const auto rootOf = [&](const Statement& row, const char* what) -> Root* {
    if (row.type(0) == ValueType::kInteger) {
      const auto id = row.integer(0);
      const auto found = std::find_if(roots.begin(), roots.end(), [&](const Root& r) { return r.id == id; });
      if (found != roots.end()) return &*found;
      if (std::find(flawedRoots_.begin(), flawedRoots_.end(), id) != flawedRoots_.end()) return nullptr;
    }
    std::string where = "#";  // appended, not concatenated: GCC 12 warns falsely (-Wrestrict) on the one-liner
    where.append(row.blob(0));
    flaw({std::move(where), {}, std::string(what) + " of no root"});
    return nullptr;
  };
  auto patterns = db_.prepare("SELECT root, position, pattern FROM root_exclusion ORDER BY root, position");
  if (!patterns) return failure(patterns.error());
  Statement::Step step;
  while ((step = patterns->step()) == Statement::Step::kRow) {
    Root* root = rootOf(*patterns, "an exclusion");
    if (root == nullptr) continue;
    std::string pattern(patterns->blob(2));
    std::optional<std::string> why;
    if (patterns->type(1) != ValueType::kInteger || patterns->type(2) != ValueType::kBlob)
      why = "an exclusion of it is not stored as a number and bytes";
    if (!why) why = flawOfExclusion(pattern);
    // In order from 0, none left out: a gap would be a pattern lost.
    if (!why && patterns->integer(1) != static_cast<std::int64_t>(root->exclusions.size()))
      why = "its exclusions are not numbered in order";
    if (why) {
      flawed.emplace_back(root->id, *why);
      continue;
    }
    root->exclusions.push_back(std::move(pattern));
  }
  if (step == Statement::Step::kFailed) return failure(patterns->error());
  auto walks = db_.prepare("SELECT root, one_file_system FROM root_walk ORDER BY root");
  if (!walks) return failure(walks.error());
  while ((step = walks->step()) == Statement::Step::kRow) {
    Root* root = rootOf(*walks, "a walk rule");
    if (root == nullptr) continue;
    if (walks->type(1) != ValueType::kInteger || (walks->integer(1) != 0 && walks->integer(1) != 1)) {
      flawed.emplace_back(root->id, "its one-file-system mark is neither 0 nor 1");
      continue;
    }
    root->oneFileSystem = walks->integer(1) != 0;
  }
  if (step == Statement::Step::kFailed) return failure(walks->error());
  // A root scanned by other rules than those recorded would take in, or drop, what its user
  // did not ask for: it goes, with its entries, as any other flawed root.
  for (const auto& [id, why] : flawed) {
    const auto found = std::find_if(roots.begin(), roots.end(), [&](const Root& r) { return r.id == id; });
    if (found == roots.end()) continue;
    flaw({found->machine + ":" + found->path, {}, "a root: " + why});
    flawedRoots_.push_back(id);
    std::erase(soundRoots_, id);
    roots.erase(found);
  }
  return {};
}

Result<> Store::setWalkRules(const Root& root) {
  if (auto flushed = flushPuts(); !flushed) return failure(flushed.error());
  auto clear = db_.prepare("DELETE FROM root_exclusion WHERE root = $1");
  if (!clear) return failure(clear.error());
  if (auto cleared = clear->bind(1, root.id).run(); !cleared) return cleared;
  auto insert = db_.prepare("INSERT INTO root_exclusion (root, position, pattern) VALUES ($1, $2, $3)");
  if (!insert) return failure(insert.error());
  for (std::size_t i = 0; i < root.exclusions.size(); ++i) {
    insert->reset();
    insert->bind(1, root.id).bind(2, static_cast<std::int64_t>(i)).bindBlob(3, root.exclusions[i]);
    if (auto inserted = insert->run(); !inserted) return inserted;
  }
  auto walk = db_.prepare(root.oneFileSystem ? "INSERT INTO root_walk (root, one_file_system) VALUES ($1, 1) "
                                               "ON CONFLICT (root) DO UPDATE SET one_file_system = 1"
                                             : "DELETE FROM root_walk WHERE root = $1");
  if (!walk) return failure(walk.error());
  return walk->bind(1, root.id).run();
}

Result<> Store::checkEntryRoots() {
  // Every distinct root value of the entries, in SQLite's order (numbers, then text, then
  // bytes), one index seek each: entries of a root that does not exist are in no root's answer,
  // so they are looked for here, once.
  auto first = db_.prepare("SELECT root FROM entry ORDER BY root LIMIT 1");
  auto after = db_.prepare("SELECT root FROM entry WHERE root > $1 ORDER BY root LIMIT 1");
  auto afterToo = db_.prepare("SELECT root FROM entry WHERE root > $1 ORDER BY root LIMIT 1");
  auto sample = db_.prepare("SELECT path FROM entry WHERE root = $1 LIMIT 1");
  if (!first || !after || !afterToo || !sample) return failure(db_.error());
  Statement* at = &*first;
  // A failed step says why; only the end of the entries ends the search.
  const auto next = [](Statement& statement) -> Result<bool> {
    const auto step = statement.step();
    if (step == Statement::Step::kFailed) return failure(statement.error());
    return step == Statement::Step::kRow;
  };
  auto found = next(*at);
  if (!found) return failure(found.error());
  if (!*found) return {};
  for (;;) {
    const bool known = at->type(0) == ValueType::kInteger &&
                       (std::binary_search(soundRoots_.begin(), soundRoots_.end(), at->integer(0)) ||
                        std::binary_search(flawedRoots_.begin(), flawedRoots_.end(), at->integer(0)));
    if (!known) {
      sample->reset();
      sample->bindValueOf(1, *at, 0);
      auto sampled = next(*sample);
      if (!sampled) return failure(sampled.error());
      std::string path = *sampled ? std::string(sample->blob(0)) : std::string();
      std::string where = "#";  // appended, not concatenated: GCC 12 warns falsely (-Wrestrict) on the one-liner
      where.append(at->blob(0));
      flaw({std::move(where), std::move(path), "an entry of no root"});
    }
    // The next value is sought by the statement not holding this one, which stays valid to bind.
    Statement* other = at == &*after ? &*afterToo : &*after;
    other->reset();
    other->bindValueOf(1, *at, 0);
    found = next(*other);
    if (!found) return failure(found.error());
    if (!*found) return {};
    at = other;
  }
}

Result<Root> Store::rootFor(const std::string& machine, const std::string& path, RootKind kind, bool hashes) {
  if (auto flushed = flushPuts(); !flushed) return failure(flushed.error());
  auto insert = db_.prepare(
      "INSERT INTO root (machine, path, kind, hashes, scanned) VALUES ($1, $2, $3, $4, 0) "
      "ON CONFLICT (machine, path) DO NOTHING");
  if (!insert) return failure(insert.error());
  insert->bindBlob(1, machine).bindBlob(2, path).bind(3, static_cast<std::int64_t>(kind)).bind(4, std::int64_t{hashes});
  if (auto inserted = insert->run(); !inserted) return failure(inserted.error());
  auto all = roots();
  if (!all) return failure(all.error());
  for (auto& root : *all) {
    if (root.machine == machine && root.path == path) return std::move(root);
  }
  for (const auto& flaw : flaws_) {
    if (flaw.path.empty() && flaw.root == machine + ":" + path)
      return failure(Error{path, "its row in the catalog breaks the catalog's rules (" + flaw.why + ")"});
  }
  return failure("the root was not recorded");
}

Result<> Store::updateRoot(const Root& root) {
  if (auto flushed = flushPuts(); !flushed) return failure(flushed.error());
  auto update = statement(updateRoot_, "UPDATE root SET kind = $1, hashes = $2, scanned = $3 WHERE id = $4");
  if (!update) return failure(update.error());
  (*update)->bind(1, static_cast<std::int64_t>(root.kind)).bind(2, std::int64_t{root.hashes}).bind(3, root.scannedNs);
  return (*update)->bind(4, root.id).run();
}

Result<std::vector<Entry>> Store::entriesOf(std::int64_t root) {
  if (auto flushed = flushPuts(); !flushed) return failure(flushed.error());
  auto query = db_.prepare(std::string("SELECT ") + kEntryColumns + " FROM entry WHERE root = $1 ORDER BY path");
  if (!query) return failure(query.error());
  query->bind(1, root);
  std::vector<Entry> entries;
  Statement::Step step;
  std::string rootPath;
  if (auto all = roots(); all) {
    for (const auto& r : *all) {
      if (r.id == root) rootPath = r.path;
    }
  }
  while ((step = query->step()) == Statement::Step::kRow) {
    Entry entry;
    if (auto why = entryOfRow(*query, 0, entry)) {
      flaw({rootPath, entry.path, *why});
      continue;
    }
    entries.push_back(std::move(entry));
  }
  if (step == Statement::Step::kFailed) return failure(query->error());
  return entries;
}

Result<> Store::forEachEntry(const std::function<bool(std::int64_t root, Entry& entry)>& visit) {
  if (auto flushed = flushPuts(); !flushed) return failure(flushed.error());
  auto all = roots();
  if (!all) return failure(all.error());
  auto query = db_.prepare(std::string("SELECT root, ") + kEntryColumns + " FROM entry ORDER BY root, path");
  if (!query) return failure(query.error());
  std::int64_t root = 0;
  const Root* current = nullptr;
  Statement::Step step;
  while ((step = query->step()) == Statement::Step::kRow) {
    if (query->type(0) != ValueType::kInteger) {
      std::string where = "#";  // appended, not concatenated: GCC 12 warns falsely (-Wrestrict) on the one-liner
      where.append(query->blob(0));
      flaw({std::move(where), std::string(query->blob(1)), "its root is not a number"});
      continue;
    }
    if (const auto id = query->integer(0); current == nullptr || id != root) {
      root = id;
      const auto found = std::find_if(all->begin(), all->end(), [&](const Root& r) { return r.id == id; });
      current = found == all->end() ? nullptr : &*found;
    }
    Entry entry;
    if (current == nullptr) {
      // Entries of a flawed root go with it; one of no root at all is a flaw of its own.
      if (!std::binary_search(flawedRoots_.begin(), flawedRoots_.end(), root)) {
        std::string where = "#";
        where.append(std::to_string(root));
        flaw({std::move(where), std::string(query->blob(1)), "an entry of no root"});
      }
      continue;
    }
    if (auto why = entryOfRow(*query, 1, entry)) {
      flaw({current->path, entry.path, *why});
      continue;
    }
    if (!visit(root, entry)) return {};
  }
  if (step == Statement::Step::kFailed) return failure(query->error());
  return {};
}

Result<std::int64_t> Store::entryCount() {
  if (auto flushed = flushPuts(); !flushed) return failure(flushed.error());
  return db_.integer("SELECT count(*) FROM entry");
}

Result<std::vector<std::pair<std::int64_t, std::int64_t>>> Store::entryCounts() {
  if (auto flushed = flushPuts(); !flushed) return failure(flushed.error());
  auto query = db_.prepare("SELECT root, count(*) FROM entry GROUP BY root");
  if (!query) return failure(query.error());
  std::vector<std::pair<std::int64_t, std::int64_t>> counts;
  Statement::Step step;
  while ((step = query->step()) == Statement::Step::kRow) counts.emplace_back(query->integer(0), query->integer(1));
  if (step == Statement::Step::kFailed) return failure(query->error());
  return counts;
}

Result<> Store::forget(std::int64_t root) {
  if (auto erased = removeAllOf(root); !erased) return erased;
  for (const char* sql : {"DELETE FROM root_exclusion WHERE root = $1", "DELETE FROM root_walk WHERE root = $1"}) {
    auto erase = db_.prepare(sql);
    if (!erase) return failure(erase.error());
    if (auto erased = erase->bind(1, root).run(); !erased) return erased;
  }
  auto erase = db_.prepare("DELETE FROM root WHERE id = $1");
  if (!erase) return failure(erase.error());
  return erase->bind(1, root).run();
}

namespace {

constexpr const char* kPutRow =
    "INSERT INTO entry (root, path, size, mtime, ctime, device, inode, fingerprint, sha256, racy) VALUES ";
constexpr const char* kPutConflict =
    " ON CONFLICT (root, path) DO UPDATE SET size = excluded.size, mtime = excluded.mtime, ctime = excluded.ctime, "
    "device = excluded.device, inode = excluded.inode, fingerprint = excluded.fingerprint, sha256 = excluded.sha256, "
    "racy = excluded.racy";
constexpr int kPutColumns = 10;
// Entries a PostgreSQL writer sends in one statement: one round trip for a scan's whole batch.
constexpr std::size_t kPutsAtOnce = 256;

// The statement that puts `rows` entries: their parameters numbered on, ten a row.
std::string putStatement(std::size_t rows) {
  std::string sql = kPutRow;
  for (std::size_t row = 0; row < rows; ++row) {
    sql += row == 0 ? "(" : ", (";
    for (int column = 1; column <= kPutColumns; ++column) {
      sql += (column == 1 ? "$" : ", $") + std::to_string(row * kPutColumns + static_cast<std::size_t>(column));
    }
    sql += ')';
  }
  return sql + kPutConflict;
}

void bindEntry(Statement& s, int first, std::int64_t root, const Entry& entry) {
  s.bind(first, root).bindBlob(first + 1, entry.path).bind(first + 2, entry.size);
  s.bind(first + 3, entry.modifiedNs).bind(first + 4, entry.changedNs);
  s.bind(first + 5, entry.device).bind(first + 6, entry.inode);
  if (entry.fingerprint)
    s.bindBlob(first + 7, *entry.fingerprint);
  else
    s.bindNull(first + 7);
  if (entry.sha256)
    s.bindBlob(first + 8, *entry.sha256);
  else
    s.bindNull(first + 8);
  s.bind(first + 9, std::int64_t{entry.racy});
}

}  // namespace

Result<> Store::put(std::int64_t root, const Entry& entry) {
  if (db_.engine() == Engine::kPostgres) {
    // Each statement is a round trip to the server: entries go in groups, sent before anything
    // else this store does, and at the latest by commit().
    pendingPuts_.emplace_back(root, entry);
    return pendingPuts_.size() >= kPutsAtOnce ? flushPuts() : Result<>{};
  }
  static const std::string sql = putStatement(1);
  auto insert = statement(put_, sql.c_str());
  if (!insert) return failure(insert.error());
  bindEntry(**insert, 1, root, entry);
  return (*insert)->run();
}

Result<> Store::flushPuts() {
  if (pendingPuts_.empty()) return {};
  auto pending = std::move(pendingPuts_);
  pendingPuts_.clear();
  // One statement may not change a row twice: of a path put twice, the later goes, as it would
  // one at a time.
  std::vector<std::size_t> kept;
  for (std::size_t i = 0; i < pending.size(); ++i) {
    const auto later = std::find_if(
        pending.begin() + static_cast<std::ptrdiff_t>(i) + 1, pending.end(),
        [&](const auto& p) { return p.first == pending[i].first && p.second.path == pending[i].second.path; });
    if (later == pending.end()) kept.push_back(i);
  }
  std::unique_ptr<Statement> once;
  auto& slot = kept.size() == kPutsAtOnce ? putMany_ : once;
  const std::string sql = putStatement(kept.size());
  auto insert = statement(slot, sql.c_str());
  if (!insert) return failure(insert.error());
  for (std::size_t row = 0; row < kept.size(); ++row) {
    const auto& [root, entry] = pending[kept[row]];
    bindEntry(**insert, static_cast<int>(row) * kPutColumns + 1, root, entry);
  }
  return (*insert)->run();
}

Result<> Store::commit() {
  if (auto flushed = flushPuts(); !flushed) return flushed;
  return db_.execute("COMMIT");
}

Result<> Store::remove(std::int64_t root, const std::string& path) {
  if (auto flushed = flushPuts(); !flushed) return failure(flushed.error());
  auto erase = statement(remove_, "DELETE FROM entry WHERE root = $1 AND path = $2");
  if (!erase) return failure(erase.error());
  return (*erase)->bind(1, root).bindBlob(2, path).run();
}

Result<> Store::removeAllOf(std::int64_t root) {
  if (auto flushed = flushPuts(); !flushed) return failure(flushed.error());
  auto erase = db_.prepare("DELETE FROM entry WHERE root = $1");
  if (!erase) return failure(erase.error());
  return erase->bind(1, root).run();
}

}  // namespace corvane::tool::catalog
