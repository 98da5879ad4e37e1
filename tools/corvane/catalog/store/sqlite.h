#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/error.h"

namespace corvane::tool::catalog {

struct ConnectionCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

// One prepared statement. Binding indexes count from 1, columns from 0, as SQLite's do.
class Statement {
 public:
  enum class Step { kRow, kDone, kFailed };

  explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}

  Statement& bind(int index, std::int64_t value);
  Statement& bind(int index, std::uint64_t value) { return bind(index, static_cast<std::int64_t>(value)); }
  Statement& bind(int index, std::string_view text);  // as text
  Statement& bindBlob(int index, std::span<const std::uint8_t> bytes);
  Statement& bindBlob(int index, std::string_view bytes);
  Statement& bindNull(int index);
  // The value a row of another statement holds, of whatever type.
  Statement& bindValueOf(int index, const Statement& row, int column);

  Step step();
  // Runs a statement that returns no rows to its end; the connection's error on failure.
  Result<> run();
  // Ready for new bindings and another run.
  void reset();

  std::int64_t integer(int column) const { return sqlite3_column_int64(statement_.get(), column); }
  bool isNull(int column) const { return type(column) == SQLITE_NULL; }
  // SQLITE_INTEGER, SQLITE_BLOB, SQLITE_NULL…: what the row holds there, whatever the column says.
  int type(int column) const { return sqlite3_column_type(statement_.get(), column); }
  std::string_view blob(int column) const;
  std::string error() const;

 private:
  std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement_;
};

// One connection to a database file.
class Database {
 public:
  // `flags` are SQLite's open flags.
  static Result<Database> open(const std::string& path, int flags);

  Result<> execute(const char* sql);
  Result<Statement> prepare(std::string_view sql);
  // The first column of the first row of a query that returns one integer.
  Result<std::int64_t> integer(const char* sql);
  std::string error() const;
  sqlite3* handle() const { return db_.get(); }

 private:
  explicit Database(sqlite3* db) : db_(db) {}
  std::unique_ptr<sqlite3, ConnectionCloser> db_;
};

}  // namespace corvane::tool::catalog
