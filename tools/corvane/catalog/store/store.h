#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalog/store/connection.h"
#include "catalog/store/entry.h"
#include "platform/file_system.h"
#include "platform/unique_fd.h"

namespace corvane::tool::catalog {

enum class RootKind : std::int64_t { kFolder = 0, kLibrary = 1 };

// A scanned folder or photo library of one machine.
struct Root {
  std::int64_t id = 0;
  std::string machine;
  std::string path;  // absolute, every link resolved
  RootKind kind = RootKind::kFolder;
  bool hashes = false;         // its scans record SHA-256
  std::int64_t scannedNs = 0;  // when its last scan finished; 0 before
  // A folder's walk: the patterns it leaves out, and whether it stays on the root's file system.
  std::vector<std::string> exclusions = {};
  bool oneFileSystem = false;

  // Where an entry of it lies on its machine.
  std::string locationOf(const std::string& relative) const {
    return path == "/" ? "/" + relative : path + "/" + relative;
  }
};

// A row read from a catalog that breaks its rules: left out of every answer, never opened,
// printed as a path or merged, and reported once.
struct Flaw {
  std::string root;  // the root's path as stored (not itself sound, when `path` is empty)
  std::string path;  // the entry's path as stored; empty for a flawed root
  std::string why;
};

// A catalog: one SQLite file, or a PostgreSQL database. Opening it for reading never writes to
// it, and needs no write access to it or its folder; opening it for writing first checks that it
// is a sound catalog of ours (creating it when it does not exist). An SQLite catalog's writer
// holds the catalog's writer lock, so that writers take turns; on PostgreSQL many write at once,
// each holding the roots it writes (lockRoot). One thread uses a store at a time.
class Store {
 public:
  enum class Access {
    kRead,
    kReadChecked,  // and every page checked first: a catalog to be copied from
    kWrite,        // always checked first
  };
  // `path` is a file, or a PostgreSQL connection string (isPostgresName). `waiting` is told when
  // a writer must wait for another one to finish first.
  static Result<std::unique_ptr<Store>> open(platform::FileSystem& fileSystem, const std::string& path, Access access,
                                             const std::function<void()>& waiting = {});
  // A catalog that lives in memory only: the side of a diff that is a folder to scan.
  static Result<std::unique_ptr<Store>> openInMemory();

  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Every sound root; a flawed one is left out with its entries.
  Result<std::vector<Root>> roots();
  // The root of this machine and path, added when the catalog has none (recording SHA-256 or not).
  Result<Root> rootFor(const std::string& machine, const std::string& path, RootKind kind, bool hashes);
  Result<> updateRoot(const Root& root);
  // Records the root's walk (its exclusions and oneFileSystem), replacing what it had; inside
  // begin() and commit().
  Result<> setWalkRules(const Root& root);

  // A root's entries, in the byte order of their paths.
  Result<std::vector<Entry>> entriesOf(std::int64_t root);
  // Every entry, by root then path; `visit` may take the entry, and returns false to stop.
  Result<> forEachEntry(const std::function<bool(std::int64_t root, Entry& entry)>& visit);
  Result<std::int64_t> entryCount();
  // How many entries each root has, by root id (a root with none is not listed).
  Result<std::vector<std::pair<std::int64_t, std::int64_t>>> entryCounts();
  // A root's entries gone, and the root with them.
  Result<> forget(std::int64_t root);

  // The rows left out so far, each once, in the order met.
  const std::vector<Flaw>& flaws() const { return flaws_; }
  const std::string& name() const { return name_; }

  // Writes, inside begin() and commit(). (SQLite takes its write lock at once, so that a
  // transaction never fails half-way for another writer.)
  Result<> begin() { return db_.execute(db_.engine() == Engine::kSqlite ? "BEGIN IMMEDIATE" : "BEGIN"); }
  Result<> commit();
  // Reads that must see one state of the catalog (a scan may be writing meanwhile).
  Result<> beginRead() {
    return db_.execute(db_.engine() == Engine::kSqlite ? "BEGIN" : "BEGIN ISOLATION LEVEL REPEATABLE READ");
  }
  Result<> endRead() { return db_.execute("COMMIT"); }
  // Holds a root for this store's writes until it closes, so that no other scan, merge or forget
  // writes it meanwhile: false when another one holds it. An SQLite catalog's writer lock holds
  // every root already.
  Result<bool> lockRoot(const Root& root);
  Result<> put(std::int64_t root, const Entry& entry);
  Result<> remove(std::int64_t root, const std::string& path);
  Result<> removeAllOf(std::int64_t root);

  Database& database() { return db_; }

 private:
  // Only open() makes stores; the token lets it use make_unique.
  struct Token {
    explicit Token() = default;
  };

 public:
  Store(Token, std::string name, Database db, platform::UniqueFd lock = {}, bool writer = false)
      : name_(std::move(name)), lock_(std::move(lock)), db_(std::move(db)), writer_(writer) {}

 private:
  Result<Statement*> statement(std::unique_ptr<Statement>& slot, const char* sql);
  // Sends the entries put and not yet sent (PostgreSQL).
  Result<> flushPuts();
  // Records a flaw unless it was met before.
  void flaw(Flaw flaw);
  // Entries whose root is no root of the catalog, found once by a seek a root value.
  Result<> checkEntryRoots();
  // Reads the roots' walk rules into `roots`; a root whose rules break the catalog's rules is
  // taken out of them as flawed.
  Result<> readWalkRules(std::vector<Root>& roots);
  // Reads an entry row, or says why it breaks the rules.
  std::optional<std::string> entryOfRow(const Statement& row, int first, Entry& entry) const;

  std::string name_;
  platform::UniqueFd lock_;  // declared before the connection: released after it closes
  Database db_;
  bool writer_;
  std::vector<Flaw> flaws_;
  std::set<std::pair<std::string, std::string>> flawsMet_;  // of flaws_: root and path
  std::vector<std::int64_t> soundRoots_, flawedRoots_;      // as the last roots() found them
  bool entryRootsChecked_ = false;
  std::unique_ptr<Statement> put_, remove_, updateRoot_;
  std::vector<std::int64_t> lockedRoots_;
  std::vector<std::pair<std::int64_t, Entry>> pendingPuts_;
  std::unique_ptr<Statement> putMany_;

  // Questions across machines, answered by the catalog alone, no file read. Each visit gets only
  // entries of sound roots that keep the catalog's rules; a row that breaks them is left out and
  // recorded among flaws(). Call them inside beginRead() and endRead() to see one state.
 public:
  // How an entry was found to hold a content.
  enum class Held {
    kSha256,           // its SHA-256 is the content's
    kFingerprintOnly,  // it has none: its size and fingerprint are the content's
  };
  // The entries that hold the content of `file` (its size, fingerprint and SHA-256, all set), by
  // machine, root path and path.
  Result<> holdersOf(const Entry& file, const std::function<void(const Root& root, Entry& entry, Held held)>& visit);

  struct SizeRange {
    std::uint64_t min = 0;
    std::uint64_t max = std::numeric_limits<std::int64_t>::max();
  };
  // Entries of one content: one SHA-256 and size (kSha256), or one size and fingerprint that not
  // every one of them confirms by SHA-256 (kFingerprintOnly).
  struct SharedContent {
    Held by = Held::kSha256;
    std::uint64_t size = 0;
    Digest digest{};  // the SHA-256, or the fingerprint
    std::vector<std::pair<const Root*, Entry>> members;
  };
  // Every content that two or more entries of sizes within `sizes` share, one at a time in the
  // order of its digest, members by machine, root path and path; `visit` returns false to stop.
  // Only one content's entries are held at a time.
  Result<> forEachSharedContent(Held by, SizeRange sizes, const std::function<bool(SharedContent& shared)>& visit);

  struct Tally {
    std::int64_t entries = 0;
    std::int64_t withSha256 = 0;
  };
  // How many entries of sizes within `sizes` the catalog holds, and how many of them have a SHA-256.
  Result<Tally> tally(SizeRange sizes);
};

// A catalog argument as messages show it: a connection string without its password.
std::string catalogName(const std::string& argument);

// The name of this machine, as roots record it.
std::string machineName();

}  // namespace corvane::tool::catalog
