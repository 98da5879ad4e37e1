#pragma once

#include <string>

#include <libpq-fe.h>

namespace corvane::tool::catalog {

// The functions of libpq that the catalogs on a server call.
// clang-format off
#define CORVANE_LIBPQ_FUNCTIONS(X) \
  X(PQclear) X(PQconnectdbParams) X(PQconninfoFree) X(PQconninfoParse) X(PQerrorMessage) X(PQexec) \
  X(PQfinish) X(PQfreemem) X(PQftype) X(PQgetisnull) X(PQgetlength) X(PQgetResult) X(PQgetvalue) \
  X(PQprepare) X(PQresultErrorField) X(PQresultErrorMessage) X(PQresultStatus) X(PQsendQueryParams) \
  X(PQsendQueryPrepared) X(PQsetNoticeProcessor) X(PQsetSingleRowMode) X(PQstatus)
// clang-format on

// libpq, loaded when a catalog on a server is first named rather than with the command: it
// brings two dozen libraries that every other start of the command would load for nothing.
struct Libpq {
#define CORVANE_LIBPQ_MEMBER(name) decltype(&::name) name = nullptr;
  CORVANE_LIBPQ_FUNCTIONS(CORVANE_LIBPQ_MEMBER)
#undef CORVANE_LIBPQ_MEMBER
};

// The library, loaded at the first call and kept, unchanged, for the life of the process;
// nullptr, and why in `why`, when it is not installed or lacks a function.
const Libpq* libpq(std::string& why);

}  // namespace corvane::tool::catalog
