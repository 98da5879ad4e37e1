#include "catalog/store/sqlite_connection.h"

#include <memory>

namespace corvane::tool::catalog {
namespace {

struct ConnectionCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

class SqliteStatement final : public StatementEngine {
 public:
  explicit SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}

  void bindInteger(int index, std::int64_t value) override { sqlite3_bind_int64(statement_.get(), index, value); }
  void bindText(int index, std::string_view text) override {
    sqlite3_bind_text64(statement_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  }
  void bindBlob(int index, std::span<const std::uint8_t> bytes) override {
    // A zero-length blob is still a blob, never NULL.
    static constexpr std::uint8_t kNothing = 0;
    sqlite3_bind_blob64(statement_.get(), index, bytes.empty() ? &kNothing : bytes.data(), bytes.size(),
                        SQLITE_TRANSIENT);
  }
  void bindNull(int index) override { sqlite3_bind_null(statement_.get(), index); }
  void bindValueOf(int index, const StatementEngine& row, int column) override {
    const auto& other = static_cast<const SqliteStatement&>(row);
    sqlite3_bind_value(statement_.get(), index, sqlite3_column_value(other.statement_.get(), column));
  }

  StepResult step() override {
    switch (sqlite3_step(statement_.get())) {
      case SQLITE_ROW: return StepResult::kRow;
      case SQLITE_DONE: return StepResult::kDone;
      default: return StepResult::kFailed;
    }
  }
  void reset() override {
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
  }

  std::int64_t integer(int column) const override { return sqlite3_column_int64(statement_.get(), column); }
  ValueType type(int column) const override {
    switch (sqlite3_column_type(statement_.get(), column)) {
      case SQLITE_INTEGER: return ValueType::kInteger;
      case SQLITE_FLOAT: return ValueType::kReal;
      case SQLITE_TEXT: return ValueType::kText;
      case SQLITE_BLOB: return ValueType::kBlob;
      default: return ValueType::kNull;
    }
  }
  std::string_view blob(int column) const override {
    const void* data = sqlite3_column_blob(statement_.get(), column);
    const int size = sqlite3_column_bytes(statement_.get(), column);
    return data == nullptr ? std::string_view()
                           : std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size));
  }
  std::string error() const override { return sqlite3_errmsg(sqlite3_db_handle(statement_.get())); }

 private:
  std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement_;
};

class SqliteConnection final : public ConnectionEngine {
 public:
  explicit SqliteConnection(sqlite3* db) : db_(db) {}

  Engine engine() const override { return Engine::kSqlite; }
  Result<> execute(const char* sql) override {
    char* message = nullptr;
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message) == SQLITE_OK) return {};
    std::string text = message != nullptr ? message : error();
    sqlite3_free(message);
    return failure(std::move(text));
  }
  Result<std::unique_ptr<StatementEngine>> prepare(std::string_view sql) override {
    sqlite3_stmt* raw = nullptr;
    const int code = sqlite3_prepare_v3(db_.get(), sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                        &raw, nullptr);
    auto statement = std::make_unique<SqliteStatement>(raw);
    if (code != SQLITE_OK) return failure(error());
    return std::unique_ptr<StatementEngine>(std::move(statement));
  }
  std::string error() const override { return sqlite3_errmsg(db_.get()); }

 private:
  std::unique_ptr<sqlite3, ConnectionCloser> db_;
};

}  // namespace

Result<Database> openSqlite(const std::string& path, int flags, int busyMilliseconds) {
  sqlite3* raw = nullptr;
  // The extended codes tell a corrupt file from a missing one.
  // One thread uses a connection at a time, so SQLite need not lock around every call.
  const int code = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_EXRESCODE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto connection = std::make_unique<SqliteConnection>(raw);
  if (code != SQLITE_OK) {
    return failure(raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(code));
  }
  if (busyMilliseconds > 0) sqlite3_busy_timeout(raw, busyMilliseconds);
  return Database(std::move(connection));
}

}  // namespace corvane::tool::catalog
