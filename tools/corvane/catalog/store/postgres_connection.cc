#include "catalog/store/postgres_connection.h"

#include <charconv>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "catalog/store/libpq_library.h"
#include "catalog/store/postgres_name.h"

namespace corvane::tool::catalog {
namespace {

// Loaded by openPostgres before anything here is called.
const Libpq& pq() {
  std::string ignored;
  return *libpq(ignored);
}

// Type identifiers of the server's built-in types (pg_type.oid), fixed since long ago.
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kFloat4 = 700, kFloat8 = 701,
              kNumeric = 1700;

struct ConnectionCloser {
  void operator()(PGconn* conn) const { pq().PQfinish(conn); }
};
struct ResultClearer {
  void operator()(PGresult* result) const { pq().PQclear(result); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultClearer>;

// libpq's messages end in a newline and may go on over several lines: the first says it.
std::string firstLine(const char* message) {
  std::string text = message != nullptr ? message : "";
  if (const auto end = text.find('\n'); end != std::string::npos) text.resize(end);
  return text.empty() ? std::string("the PostgreSQL server gave no reason") : text;
}

std::string errorOf(const PGresult* result, PGconn* conn) {
  if (result != nullptr) {
    if (const char* primary = pq().PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)) return firstLine(primary);
    if (const char* message = pq().PQresultErrorMessage(result); message != nullptr && *message != 0)
      return firstLine(message);
  }
  return firstLine(pq().PQerrorMessage(conn));
}

std::uint64_t bigEndian(const char* bytes, int size) {
  std::uint64_t value = 0;
  for (int i = 0; i < size; ++i) value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
  return value;
}

// A NUMERIC in the binary form: digits of base 10000 with the weight of the first; an integer
// here (what sum() of integers gives), its fraction dropped.
std::int64_t numericValue(const char* bytes, int size) {
  if (size < 8) return 0;
  const auto count = static_cast<std::int16_t>(bigEndian(bytes, 2));
  const auto weight = static_cast<std::int16_t>(bigEndian(bytes + 2, 2));
  const auto sign = static_cast<std::uint16_t>(bigEndian(bytes + 4, 2));
  std::int64_t value = 0;
  for (int i = 0; i <= weight; ++i) {
    const std::int64_t digit =
        i < count && 8 + 2 * i + 2 <= size ? static_cast<std::int16_t>(bigEndian(bytes + 8 + 2 * i, 2)) : 0;
    value = value * 10000 + digit;
  }
  return sign == 0x4000 ? -value : value;
}

class PostgresStatement;

class PostgresConnection final : public ConnectionEngine {
 public:
  explicit PostgresConnection(PGconn* conn) : conn_(conn) {}

  PGconn* handle() const { return conn_.get(); }
  Engine engine() const override { return Engine::kPostgres; }
  Result<> execute(const char* sql) override;
  Result<std::unique_ptr<StatementEngine>> prepare(std::string_view sql) override;
  std::string error() const override { return firstLine(pq().PQerrorMessage(conn_.get())); }

  // The connection carries one result at a time: a statement about to send takes it over, and
  // the rows still on their way to another one are taken in for it first.
  void claim(PostgresStatement* statement);
  void release(PostgresStatement* statement) {
    if (streaming_ == statement) streaming_ = nullptr;
  }
  std::string nextName() { return "corvane_" + std::to_string(++named_); }

 private:
  std::unique_ptr<PGconn, ConnectionCloser> conn_;
  PostgresStatement* streaming_ = nullptr;
  std::uint64_t named_ = 0;
};

class PostgresStatement final : public StatementEngine {
 public:
  PostgresStatement(PostgresConnection& connection, std::string_view sql) : connection_(connection), sql_(sql) {}
  ~PostgresStatement() override {
    discard();
    connection_.release(this);
    if (!name_.empty() && pq().PQstatus(connection_.handle()) == CONNECTION_OK) {
      connection_.claim(nullptr);
      ResultPtr(pq().PQexec(connection_.handle(), ("DEALLOCATE " + name_).c_str()));
    }
  }

  void bindInteger(int index, std::int64_t value) override {
    std::string bytes(8, '\0');
    for (int i = 7; i >= 0; --i, value = static_cast<std::int64_t>(static_cast<std::uint64_t>(value) >> 8))
      bytes[static_cast<std::size_t>(i)] = static_cast<char>(value & 0xff);
    param(index) = {kInt8, std::move(bytes), false};
  }
  void bindText(int index, std::string_view text) override { param(index) = {kText, std::string(text), false}; }
  void bindBlob(int index, std::span<const std::uint8_t> bytes) override {
    param(index) = {kBytea, std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()), false};
  }
  void bindNull(int index) override { param(index) = {0, {}, true}; }
  void bindValueOf(int index, const StatementEngine& row, int column) override {
    const auto& other = static_cast<const PostgresStatement&>(row);
    if (other.type(column) == ValueType::kNull) return bindNull(index);
    param(index) = {pq().PQftype(other.row_.get(), column), std::string(other.blob(column)), false};
  }

  StepResult step() override;
  void reset() override {
    discard();
    connection_.release(this);
    params_.clear();
    state_ = State::kIdle;
  }

  std::int64_t integer(int column) const override {
    if (!row_ || pq().PQgetisnull(row_.get(), 0, column)) return 0;
    const char* value = pq().PQgetvalue(row_.get(), 0, column);
    const int size = pq().PQgetlength(row_.get(), 0, column);
    switch (pq().PQftype(row_.get(), column)) {
      case kInt8: return static_cast<std::int64_t>(bigEndian(value, 8));
      case kInt4: return static_cast<std::int32_t>(bigEndian(value, 4));
      case kInt2: return static_cast<std::int16_t>(bigEndian(value, 2));
      case kBool: return value[0] != 0;
      case kNumeric: return numericValue(value, size);
      default: {
        std::int64_t number = 0;
        std::from_chars(value, value + size, number);
        return number;
      }
    }
  }
  ValueType type(int column) const override {
    if (!row_ || pq().PQgetisnull(row_.get(), 0, column)) return ValueType::kNull;
    switch (pq().PQftype(row_.get(), column)) {
      case kInt8:
      case kInt4:
      case kInt2:
      case kBool:
      case kNumeric: return ValueType::kInteger;
      case kFloat4:
      case kFloat8: return ValueType::kReal;
      case kBytea: return ValueType::kBlob;
      default: return ValueType::kText;
    }
  }
  std::string_view blob(int column) const override {
    if (!row_ || pq().PQgetisnull(row_.get(), 0, column)) return {};
    return {pq().PQgetvalue(row_.get(), 0, column), static_cast<std::size_t>(pq().PQgetlength(row_.get(), 0, column))};
  }
  std::string error() const override { return error_.empty() ? connection_.error() : error_; }

  // Another statement needs the connection: the rest of this one's rows wait here.
  void takeInRest() {
    while (ResultPtr result{pq().PQgetResult(connection_.handle())}) pending_.push_back(std::move(result));
    state_ = State::kTakenIn;
  }

 private:
  struct Param {
    Oid type = 0;
    std::string bytes;
    bool null = true;
  };
  enum class State { kIdle, kStreaming, kTakenIn, kFinished };

  Param& param(int index) {
    if (static_cast<std::size_t>(index) > params_.size()) params_.resize(static_cast<std::size_t>(index));
    return params_[static_cast<std::size_t>(index - 1)];
  }
  bool send();
  // The next result of this statement: from the connection, or from those taken in.
  ResultPtr next() {
    if (state_ == State::kTakenIn) {
      if (pending_.empty()) return nullptr;
      ResultPtr result = std::move(pending_.front());
      pending_.pop_front();
      return result;
    }
    return ResultPtr(pq().PQgetResult(connection_.handle()));
  }
  // Reads this statement's results to their end, keeping none.
  void discard() {
    row_.reset();
    if (state_ == State::kStreaming) {
      while (ResultPtr(pq().PQgetResult(connection_.handle()))) {
      }
    }
    pending_.clear();
    state_ = State::kFinished;
  }

  PostgresConnection& connection_;
  std::string sql_;
  std::string name_;  // once run a second time: prepared on the server under this name
  int runs_ = 0;
  std::vector<Param> params_;
  State state_ = State::kIdle;
  ResultPtr row_;
  std::deque<ResultPtr> pending_;
  std::string error_;
};

void PostgresConnection::claim(PostgresStatement* statement) {
  if (streaming_ != nullptr && streaming_ != statement) streaming_->takeInRest();
  streaming_ = statement;
}

Result<> PostgresConnection::execute(const char* sql) {
  claim(nullptr);
  ResultPtr result(pq().PQexec(conn_.get(), sql));
  const auto status = pq().PQresultStatus(result.get());
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return {};
  return failure(errorOf(result.get(), conn_.get()));
}

Result<std::unique_ptr<StatementEngine>> PostgresConnection::prepare(std::string_view sql) {
  return std::unique_ptr<StatementEngine>(std::make_unique<PostgresStatement>(*this, sql));
}

bool PostgresStatement::send() {
  PGconn* conn = connection_.handle();
  connection_.claim(this);
  const int count = static_cast<int>(params_.size());
  std::vector<Oid> types;
  std::vector<const char*> values;
  std::vector<int> lengths, formats(params_.size(), 1);
  for (const auto& p : params_) {
    types.push_back(p.type);
    values.push_back(p.null ? nullptr : p.bytes.data());
    lengths.push_back(static_cast<int>(p.bytes.size()));
  }
  // A statement run again and again (each entry of a scan) is planned once on the server; one run
  // once goes unnamed, leaving nothing behind.
  if (++runs_ == 2) {
    std::string name = connection_.nextName();
    ResultPtr prepared(pq().PQprepare(conn, name.c_str(), sql_.c_str(), count, types.data()));
    if (pq().PQresultStatus(prepared.get()) != PGRES_COMMAND_OK) {
      error_ = errorOf(prepared.get(), conn);
      connection_.release(this);
      return false;
    }
    name_ = std::move(name);
  }
  const int sent = name_.empty() ? pq().PQsendQueryParams(conn, sql_.c_str(), count, types.data(), values.data(),
                                                          lengths.data(), formats.data(), 1)
                                 : pq().PQsendQueryPrepared(conn, name_.c_str(), count, values.data(), lengths.data(),
                                                            formats.data(), 1);
  if (sent != 1) {
    error_ = errorOf(nullptr, conn);
    connection_.release(this);
    return false;
  }
  pq().PQsetSingleRowMode(conn);
  state_ = State::kStreaming;
  return true;
}

StepResult PostgresStatement::step() {
  row_.reset();
  if (state_ == State::kFinished) return StepResult::kDone;
  if (state_ == State::kIdle) {
    error_.clear();
    if (!send()) {
      state_ = State::kFinished;
      return StepResult::kFailed;
    }
  }
  ResultPtr result = next();
  const auto status = result ? pq().PQresultStatus(result.get()) : PGRES_COMMAND_OK;
  if (status == PGRES_SINGLE_TUPLE) {
    row_ = std::move(result);
    return StepResult::kRow;
  }
  const bool failed = status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK;
  if (failed) error_ = errorOf(result.get(), connection_.handle());
  discard();
  connection_.release(this);
  return failed ? StepResult::kFailed : StepResult::kDone;
}

void ignoreNotice(void*, const char*) {}

// Whether libpq can read the string at all: its messages then quote it, or the part of it
// they could not read.
bool readable(const std::string& conninfo) {
  char* message = nullptr;
  PQconninfoOption* options = pq().PQconninfoParse(conninfo.c_str(), &message);
  pq().PQfreemem(message);  // may quote the string: never shown
  if (options != nullptr) pq().PQconninfoFree(options);
  return options != nullptr;
}

}  // namespace

Result<Database> openPostgres(const std::string& conninfo) {
  if (std::string why; libpq(why) == nullptr) return failure(why);
  if (!readable(conninfo)) return failure("not a connection string that PostgreSQL's client library can read");
  const char* keywords[] = {"dbname", "fallback_application_name", nullptr};
  const char* values[] = {conninfo.c_str(), "corvane", nullptr};
  std::unique_ptr<PGconn, ConnectionCloser> conn(pq().PQconnectdbParams(keywords, values, 1));
  if (!conn) return failure("out of memory for a PostgreSQL connection");
  if (pq().PQstatus(conn.get()) != CONNECTION_OK) {
    const std::string message = withoutPassword(firstLine(pq().PQerrorMessage(conn.get())), conninfo);
    return failure(message);
  }
  // The server's notices ("already exists, skipping") are not the command's to print.
  pq().PQsetNoticeProcessor(conn.get(), ignoreNotice, nullptr);
  return Database(std::make_unique<PostgresConnection>(conn.release()));
}

}  // namespace corvane::tool::catalog
