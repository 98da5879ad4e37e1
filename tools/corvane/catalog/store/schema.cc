#include "catalog/store/schema.h"

#include <string>
#include <vector>

#include "corvane/corvane.h"

namespace corvane::tool::catalog {

namespace {

// The tables as they are made, which SQLite keeps as written: a catalog whose tables say
// otherwise was changed by hand, and no rule of ours could be relied on in it.
constexpr const char* kMetaTable = "CREATE TABLE meta(key TEXT PRIMARY KEY NOT NULL, value NOT NULL) WITHOUT ROWID";
// One row a scanned folder or photo library, of one machine; `scanned` is when its last whole
// scan finished (nanoseconds since the epoch; 0 before), `hashes` whether scans of it record
// SHA-256.
constexpr const char* kRootTable =
    "CREATE TABLE root(id INTEGER PRIMARY KEY, machine BLOB NOT NULL, path BLOB NOT NULL,\n"
    "  kind INTEGER NOT NULL, hashes INTEGER NOT NULL, scanned INTEGER NOT NULL, UNIQUE (machine, path))";
// One row a file (path relative to its root) or asset (its identifier). Digests are 32 bytes;
// fingerprint is NULL for a library's images, sha256 when not recorded. `racy` (0 or 1, which
// cost no bytes) marks a file changed just before it was read: read it again.
constexpr const char* kEntryTable =
    "CREATE TABLE entry(root INTEGER NOT NULL, path BLOB NOT NULL, size INTEGER NOT NULL,\n"
    "  mtime INTEGER NOT NULL, ctime INTEGER NOT NULL, device INTEGER NOT NULL, inode INTEGER NOT NULL,\n"
    "  fingerprint BLOB, sha256 BLOB, racy INTEGER NOT NULL, PRIMARY KEY (root, path)) WITHOUT ROWID";
// What a folder root's walk leaves out, kept so that its later scans leave out the same: its
// exclusion patterns in the order given (`position` from 0), and whether folders of other file
// systems are entered (`one_file_system` 0 or 1; a root without a row enters them).
constexpr const char* kRootExclusionTable =
    "CREATE TABLE root_exclusion(root INTEGER NOT NULL, position INTEGER NOT NULL, pattern BLOB NOT NULL,\n"
    "  PRIMARY KEY (root, position)) WITHOUT ROWID";
constexpr const char* kRootWalkTable =
    "CREATE TABLE root_walk(root INTEGER PRIMARY KEY, one_file_system INTEGER NOT NULL)";

// Paths and names as text, digests as hexadecimal, for people who query a catalog with SQL.
constexpr const char* kFilesView =
    "CREATE VIEW files AS SELECT CAST(root.machine AS TEXT) AS machine, CAST(root.path AS TEXT) AS root,\n"
    "  CAST(entry.path AS TEXT) AS path, entry.size AS size, entry.mtime AS mtime, entry.ctime AS ctime,\n"
    "  lower(hex(entry.fingerprint)) AS fingerprint, lower(hex(entry.sha256)) AS sha256\n"
    "  FROM entry JOIN root ON root.id = entry.root;\n";

}  // namespace

Result<> buildSchema(Database& db) {
  const std::string limit = std::to_string(CORVANE_FINGERPRINT_WHOLE_LIMIT);
  const std::string sample = std::to_string(CORVANE_FINGERPRINT_SAMPLE_LENGTH);
  const std::string sql =
      "PRAGMA application_id = " + std::to_string(static_cast<std::int32_t>(kApplicationId)) +
      ";\n"
      "PRAGMA user_version = " +
      std::to_string(kSchemaVersion) +
      ";\n"
      "BEGIN;\n" +
      kMetaTable +
      ";\n"
      "INSERT INTO meta VALUES ('schema', " +
      std::to_string(kSchemaVersion) + "), ('fingerprint_format', " + std::to_string(kFingerprintFormat) +
      "),\n"
      "  ('fingerprint', 'SHA-256 of the size as 8 little-endian bytes, then the whole content for files of at most " +
      limit + " bytes, else five " + sample + "-byte samples at 0, size/4, 2 size/4, 3 size/4 and size - " + sample +
      "');\n" + kRootTable + ";\n" + kEntryTable + ";\n" + kRootExclusionTable + ";\n" + kRootWalkTable + ";\n" +
      kFilesView +
      "COMMIT;\n"
      "PRAGMA journal_mode = WAL;\n";
  return db.execute(sql.c_str());
}

Result<> upgradeSchema(Database& db) {
  const auto version = db.integer("PRAGMA user_version");
  if (!version) return failure(version.error());
  if (*version >= kSchemaVersion) return {};
  std::string sql = "BEGIN IMMEDIATE;\n";
  // From 1: every root was scanned without SHA-256 unless asked; from now on a root records it
  // unless told not to, so its next scan adds what it lacks.
  if (*version < 2) sql += std::string(kFilesView) + "UPDATE root SET hashes = 1;\n";
  // From 2: no root left anything out.
  if (*version < 3) sql += std::string(kRootExclusionTable) + ";\n" + kRootWalkTable + ";\n";
  sql += "UPDATE meta SET value = " + std::to_string(kSchemaVersion) + " WHERE key = 'schema';\n" +
         "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";\nCOMMIT;\n";
  if (auto done = db.execute(sql.c_str()); !done) {
    db.execute("ROLLBACK");
    return failure(done.error().within("cannot bring the catalog's schema up to date"));
  }
  return {};
}

Result<> checkSchema(Database& db, bool thorough) {
  const auto id = db.integer("PRAGMA application_id");
  if (!id) return failure(id.error());
  if (static_cast<std::uint32_t>(*id) != kApplicationId)
    return failure("an SQLite database, but not a corvane catalog");
  const auto version = db.integer("PRAGMA user_version");
  if (!version) return failure(version.error());
  if (*version > kSchemaVersion) {
    return failure("a catalog of a newer corvane (schema " + std::to_string(*version) + "; this one knows up to " +
                   std::to_string(kSchemaVersion) + ")");
  }
  if (*version < 1) return failure("a catalog without a schema version");
  const auto format = db.integer("SELECT value FROM meta WHERE key = 'fingerprint_format'");
  if (!format) return failure(format.error().within("a damaged catalog"));
  if (*format != kFingerprintFormat) {
    return failure("a catalog of fingerprints of another format (" + std::to_string(*format) + "; this corvane makes " +
                   std::to_string(kFingerprintFormat) + ")");
  }
  std::vector<std::string> tables{kMetaTable, kRootTable, kEntryTable};
  // An older catalog gets the later tables from its next writer.
  if (*version >= 3) tables.insert(tables.end(), {kRootExclusionTable, kRootWalkTable});
  for (const auto& table : tables) {
    const auto name = table.substr(13, table.find('(') - 13);  // after "CREATE TABLE "
    auto definition = db.prepare("SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?");
    if (!definition) return failure(definition.error().within("a damaged catalog"));
    definition->bind(1, std::string_view(name));
    if (definition->step() != Statement::Step::kRow || definition->blob(0) != table) {
      return failure("a catalog whose table " + name + " is not as corvane makes it (changed by hand?)");
    }
  }
  if (thorough) {
    auto check = db.prepare("PRAGMA quick_check");
    if (!check) return failure(check.error().within("a damaged catalog"));
    if (check->step() != Statement::Step::kRow) return failure(Error{"a damaged catalog", check->error()});
    if (const auto verdict = check->blob(0); verdict != "ok")
      return failure(Error{"a damaged catalog", std::string(verdict)});
  }
  return {};
}

}  // namespace corvane::tool::catalog
