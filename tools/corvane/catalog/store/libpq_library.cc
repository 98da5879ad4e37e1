#include "catalog/store/libpq_library.h"

#include <dlfcn.h>

#include <optional>

namespace corvane::tool::catalog {
namespace {

// Debian's libpq5: the library's interface has kept this number since PostgreSQL 8.
constexpr const char* kLibraryName = "libpq.so.5";

struct Loaded {
  std::optional<Libpq> functions;
  std::string why;
};

Loaded load() {
  // Never closed: connections may live until the process ends.
  void* handle = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* error = ::dlerror();
    return {std::nullopt, std::string("PostgreSQL's client library cannot be loaded (install libpq5): ") +
                              (error != nullptr ? error : kLibraryName)};
  }
  Libpq functions;
  std::string missing;
#define CORVANE_LIBPQ_LOAD(name)                                                \
  functions.name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name)); \
  if (functions.name == nullptr && missing.empty()) missing = #name;
  CORVANE_LIBPQ_FUNCTIONS(CORVANE_LIBPQ_LOAD)
#undef CORVANE_LIBPQ_LOAD
  if (!missing.empty())
    return {std::nullopt,
            "PostgreSQL's client library " + std::string(kLibraryName) + " has no " + missing + ": it is too old"};
  return {functions, {}};
}

}  // namespace

const Libpq* libpq(std::string& why) {
  // Made once, by whichever thread comes first, and never changed after.
  static const Loaded loaded = load();
  if (!loaded.functions) why = loaded.why;
  return loaded.functions ? &*loaded.functions : nullptr;
}

}  // namespace corvane::tool::catalog
