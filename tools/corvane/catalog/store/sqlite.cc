#include "catalog/store/sqlite.h"

namespace corvane::tool::catalog {

Statement& Statement::bind(int index, std::int64_t value) {
  sqlite3_bind_int64(statement_.get(), index, value);
  return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
  sqlite3_bind_text64(statement_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  return *this;
}

Statement& Statement::bindBlob(int index, std::span<const std::uint8_t> bytes) {
  // A zero-length blob is still a blob, never NULL.
  static constexpr std::uint8_t kNothing = 0;
  sqlite3_bind_blob64(statement_.get(), index, bytes.empty() ? &kNothing : bytes.data(), bytes.size(),
                      SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::bindBlob(int index, std::string_view bytes) {
  return bindBlob(index, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

Statement& Statement::bindValueOf(int index, const Statement& row, int column) {
  sqlite3_bind_value(statement_.get(), index, sqlite3_column_value(row.statement_.get(), column));
  return *this;
}

Statement& Statement::bindNull(int index) {
  sqlite3_bind_null(statement_.get(), index);
  return *this;
}

Statement::Step Statement::step() {
  switch (sqlite3_step(statement_.get())) {
    case SQLITE_ROW: return Step::kRow;
    case SQLITE_DONE: return Step::kDone;
    default: return Step::kFailed;
  }
}

Result<> Statement::run() {
  Step result;
  while ((result = step()) == Step::kRow) {
  }
  Result<> done;
  if (result == Step::kFailed) done = failure(error());
  reset();
  return done;
}

void Statement::reset() {
  sqlite3_reset(statement_.get());
  sqlite3_clear_bindings(statement_.get());
}

std::string_view Statement::blob(int column) const {
  const void* data = sqlite3_column_blob(statement_.get(), column);
  const int size = sqlite3_column_bytes(statement_.get(), column);
  return data == nullptr ? std::string_view()
                         : std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

std::string Statement::error() const { return sqlite3_errmsg(sqlite3_db_handle(statement_.get())); }

Result<Database> Database::open(const std::string& path, int flags) {
  sqlite3* raw = nullptr;
  // The extended codes tell a corrupt file from a missing one.
  // One thread uses a connection at a time, so SQLite need not lock around every call.
  const int code = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_EXRESCODE | SQLITE_OPEN_NOMUTEX, nullptr);
  Database db(raw);
  if (code != SQLITE_OK) {
    return failure(raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(code));
  }
  return db;
}

Result<> Database::execute(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message) == SQLITE_OK) return {};
  std::string text = message != nullptr ? message : error();
  sqlite3_free(message);
  return failure(std::move(text));
}

Result<Statement> Database::prepare(std::string_view sql) {
  sqlite3_stmt* raw = nullptr;
  const int code =
      sqlite3_prepare_v3(db_.get(), sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
  Statement statement(raw);
  if (code != SQLITE_OK) return failure(error());
  return statement;
}

Result<std::int64_t> Database::integer(const char* sql) {
  auto statement = prepare(sql);
  if (!statement) return failure(statement.error());
  if (statement->step() != Statement::Step::kRow) return failure(error());
  return statement->integer(0);
}

std::string Database::error() const { return sqlite3_errmsg(db_.get()); }

}  // namespace corvane::tool::catalog
