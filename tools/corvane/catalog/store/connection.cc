#include "catalog/store/connection.h"

namespace corvane::tool::catalog {

Result<> Statement::run() {
  Step result;
  while ((result = step()) == Step::kRow) {
  }
  Result<> done;
  if (result == Step::kFailed) done = failure(error());
  reset();
  return done;
}

Result<Statement> Database::prepare(std::string_view sql) {
  auto prepared = engine_->prepare(sql);
  if (!prepared) return failure(prepared.error());
  return Statement(std::move(*prepared));
}

Result<std::int64_t> Database::integer(const char* sql) {
  auto statement = prepare(sql);
  if (!statement) return failure(statement.error());
  const auto step = statement->step();
  if (step != Statement::Step::kRow) return failure(step == Statement::Step::kFailed ? statement->error() : error());
  return statement->integer(0);
}

}  // namespace corvane::tool::catalog
