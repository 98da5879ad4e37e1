#pragma once

#include <cstdint>

#include "catalog/store/connection.h"

namespace corvane::tool::catalog {

// Our files say what they are in their header: PRAGMA application_id ("CRVN"); a PostgreSQL
// catalog in its meta table ("application_id").
inline constexpr std::uint32_t kApplicationId = 0x4352564E;
// The layout of the tables (PRAGMA user_version, and "schema" in the meta table).
// 2: the view `files`, and roots not marked as hashed are so by choice (a scan records SHA-256
// unless told not to; in 1 it did so only when asked).
// 3: the tables `root_exclusion` and `root_walk`: what the walk of a root leaves out.
inline constexpr std::int64_t kSchemaVersion = 3;
// How the fingerprints were made ("fingerprint_format" in the meta table): a catalog of another
// format cannot be compared with, or written by, this one.
inline constexpr std::int64_t kFingerprintFormat = 1;

// Lays out an empty catalog's tables and marks it as ours: on SQLite in a transaction of its
// own, then turning on the WAL journal; on PostgreSQL inside the caller's transaction.
Result<> buildSchema(Database& db);

// The schema version a catalog records: SQLite's user_version, PostgreSQL's meta row.
Result<std::int64_t> schemaVersion(Database& db);

// Brings a catalog of an older schema up to this one, in one transaction (a writer's first step).
Result<> upgradeSchema(Database& db);

// Checks that an open database is a catalog this command can read: ours, of a schema it knows,
// of its fingerprint format, its tables as made; with `thorough`, also (on SQLite) that no page
// of it is damaged.
Result<> checkSchema(Database& db, bool thorough);

}  // namespace corvane::tool::catalog
