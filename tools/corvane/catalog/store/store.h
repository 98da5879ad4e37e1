#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/store/entry.h"
#include "catalog/store/sqlite.h"
#include "platform/file_system.h"

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

  // Where an entry of it lies on its machine.
  std::string locationOf(const std::string& relative) const {
    return path == "/" ? "/" + relative : path + "/" + relative;
  }
};

// A catalog: one SQLite file. Opening it for reading never writes to it; opening it for writing
// first checks, on a read-only connection, that it is a sound catalog of ours (creating it when
// it does not exist). One thread uses a store at a time.
class Store {
 public:
  enum class Access {
    kRead,
    kReadChecked,  // and every page checked first: a catalog to be copied from
    kWrite,        // always checked first
  };
  static Result<std::unique_ptr<Store>> open(platform::FileSystem& fileSystem, const std::string& path, Access access);
  // A catalog that lives in memory only: the side of a diff that is a folder to scan.
  static Result<std::unique_ptr<Store>> openInMemory();

  Result<std::vector<Root>> roots();
  // The root of this machine and path, added when the catalog has none.
  Result<Root> rootFor(const std::string& machine, const std::string& path, RootKind kind);
  Result<> updateRoot(const Root& root);

  // A root's entries, in the byte order of their paths.
  Result<std::vector<Entry>> entriesOf(std::int64_t root);
  // Every entry, by root then path; `visit` may take the entry, and returns false to stop. With
  // `contentOnly`, only paths, sizes and digests are read (times, device and inode are 0).
  Result<> forEachEntry(const std::function<bool(std::int64_t root, Entry& entry)>& visit, bool contentOnly = false);
  Result<std::int64_t> entryCount();

  // Writes, inside begin() and commit().
  Result<> begin() { return db_.execute("BEGIN IMMEDIATE"); }
  Result<> commit() { return db_.execute("COMMIT"); }
  // Reads that must see one state of the catalog (a scan may be writing meanwhile).
  Result<> beginRead() { return db_.execute("BEGIN"); }
  Result<> endRead() { return db_.execute("COMMIT"); }
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
  Store(Token, Database db) : db_(std::move(db)) {}

 private:
  Result<Statement*> statement(std::unique_ptr<Statement>& slot, const char* sql);

  Database db_;
  std::unique_ptr<Statement> put_, remove_, updateRoot_;
};

// The name of this machine, as roots record it.
std::string machineName();

}  // namespace corvane::tool::catalog
