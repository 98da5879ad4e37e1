#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "cli/error.h"

namespace corvane::tool::catalog {

// The database engines a catalog can live in.
enum class Engine { kSqlite, kPostgres };

// What a row holds in a column, whatever the column was declared as.
enum class ValueType { kInteger, kReal, kText, kBlob, kNull };

enum class StepResult { kRow, kDone, kFailed };

// What one engine does for a prepared statement. Binding indexes count from 1, columns from 0.
class StatementEngine {
 public:
  virtual ~StatementEngine() = default;
  virtual void bindInteger(int index, std::int64_t value) = 0;
  virtual void bindText(int index, std::string_view text) = 0;
  virtual void bindBlob(int index, std::span<const std::uint8_t> bytes) = 0;
  virtual void bindNull(int index) = 0;
  // `row` is a statement of the same connection.
  virtual void bindValueOf(int index, const StatementEngine& row, int column) = 0;
  virtual StepResult step() = 0;
  virtual void reset() = 0;
  virtual std::int64_t integer(int column) const = 0;
  virtual ValueType type(int column) const = 0;
  virtual std::string_view blob(int column) const = 0;
  virtual std::string error() const = 0;
};

// What one engine does for a connection.
class ConnectionEngine {
 public:
  virtual ~ConnectionEngine() = default;
  virtual Engine engine() const = 0;
  // Runs one or more statements that take no parameters.
  virtual Result<> execute(const char* sql) = 0;
  virtual Result<std::unique_ptr<StatementEngine>> prepare(std::string_view sql) = 0;
  virtual std::string error() const = 0;
};

// One prepared statement, of either engine. Parameters are written `$1`, `$2`… in the order they
// first appear, which both engines read alike.
class Statement {
 public:
  using Step = StepResult;

  explicit Statement(std::unique_ptr<StatementEngine> engine) : engine_(std::move(engine)) {}

  Statement& bind(int index, std::int64_t value) {
    engine_->bindInteger(index, value);
    return *this;
  }
  Statement& bind(int index, std::uint64_t value) { return bind(index, static_cast<std::int64_t>(value)); }
  Statement& bind(int index, std::string_view text) {  // as text
    engine_->bindText(index, text);
    return *this;
  }
  Statement& bindBlob(int index, std::span<const std::uint8_t> bytes) {
    engine_->bindBlob(index, bytes);
    return *this;
  }
  Statement& bindBlob(int index, std::string_view bytes) {
    return bindBlob(index, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  }
  Statement& bindNull(int index) {
    engine_->bindNull(index);
    return *this;
  }
  // The value a row of another statement of the same connection holds, of whatever type.
  Statement& bindValueOf(int index, const Statement& row, int column) {
    engine_->bindValueOf(index, *row.engine_, column);
    return *this;
  }

  Step step() { return engine_->step(); }
  // Runs a statement that returns no rows to its end; the connection's error on failure.
  Result<> run();
  // Ready for new bindings and another run.
  void reset() { engine_->reset(); }

  std::int64_t integer(int column) const { return engine_->integer(column); }
  bool isNull(int column) const { return type(column) == ValueType::kNull; }
  // What the row holds there, whatever the column says.
  ValueType type(int column) const { return engine_->type(column); }
  // Valid until the next step or reset.
  std::string_view blob(int column) const { return engine_->blob(column); }
  std::string error() const { return engine_->error(); }

 private:
  std::unique_ptr<StatementEngine> engine_;
};

// One connection to a catalog's database, of either engine.
class Database {
 public:
  explicit Database(std::unique_ptr<ConnectionEngine> engine) : engine_(std::move(engine)) {}

  Engine engine() const { return engine_->engine(); }
  Result<> execute(const char* sql) { return engine_->execute(sql); }
  Result<Statement> prepare(std::string_view sql);
  // The first column of the first row of a query that returns one integer.
  Result<std::int64_t> integer(const char* sql);
  std::string error() const { return engine_->error(); }

 private:
  std::unique_ptr<ConnectionEngine> engine_;
};

}  // namespace corvane::tool::catalog
